// Path text: joining, full paths, and the form paths take in output lines.
#pragma once

#include <string>
#include <string_view>

namespace xcopy {

// `base` and `relative` joined with one '/'; `base` alone when `relative` is
// empty, `relative` alone when `base` is empty. No '/' is added after a base
// that already ends in one.
std::string join_path(std::string_view base, std::string_view relative);

// Everything up to and including the last '/', as written ("" when there is none).
std::string_view directory_part(std::string_view path);

// Everything after the last '/'.
std::string_view last_component(std::string_view path);

// `path` without trailing slashes, except that "/" stays "/".
std::string_view without_trailing_slashes(std::string_view path);

// The path one level up, by its text: "a/b" -> "a", "a" -> ".", "/a" -> "/".
std::string parent_path(std::string_view path);

// The absolute form of `path` against `current_directory`, by its text alone:
// empty and "." components are dropped and ".." removes the component before
// it. Links are not resolved, as the Windows utility's full paths do not.
std::string full_path(std::string_view path, std::string_view current_directory);

// `path` as it goes into an output line: every control byte (below 0x20, and
// 0x7F) as \xHH, so that a name with a line end in it still takes one line and
// cannot send commands to a terminal. Every other byte is written as it is.
std::string printable(std::string_view path);

}  // namespace xcopy
