// The /exclude: lists: files of strings, one a line, that keep matching
// source files out of the copy.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xcopy {

// The strings of one list file's contents: one per line, without its LF or CR LF
// ending. A leading UTF-8 byte-order mark (Windows editors write one) and lines of
// nothing but blanks are dropped; every other byte is kept as written.
std::vector<std::string> exclude_strings(std::string_view contents);

// Reads the list file at `path` (a regular file, or a pipe such as /dev/stdin).
// Nothing when it cannot be read: missing, no access, a directory or a device.
std::optional<std::vector<std::string>> read_exclude_file(const std::string& path);

// True when `path` contains any of `strings`. Byte for byte, so case-sensitive,
// as POSIX file names are; an empty string matches nothing. Given a source file's
// absolute path, as the Windows utility matches, "/obj/" also catches SOURCE/obj.
bool is_excluded(const std::vector<std::string>& strings, std::string_view path);

}  // namespace xcopy
