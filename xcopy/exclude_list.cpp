// Reads /exclude: list files and matches source paths against their strings.
#include "xcopy/exclude_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace xcopy {
namespace {

constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

// A list is read only from a regular file or a pipe: a device may never end
// (/dev/zero) or may act on being opened (a tape rewinds), and a directory has no lines.
bool is_readable_kind(mode_t mode) {
  return S_ISREG(mode) || S_ISFIFO(mode);
}

// Reads everything from `fd` into `contents`; false on a read error.
bool read_all(int fd, std::string& contents) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) {
      return true;
    }
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    contents.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::vector<std::string> exclude_strings(std::string_view contents) {
  if (contents.starts_with(utf8_byte_order_mark)) {
    contents.remove_prefix(utf8_byte_order_mark.size());
  }
  std::vector<std::string> strings;
  while (!contents.empty()) {
    const std::size_t end = contents.find('\n');
    std::string_view line = contents.substr(0, end);
    contents = end == std::string_view::npos ? std::string_view{} : contents.substr(end + 1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    // A blank-only line would match every path with a blank in it, which no one
    // writing a list means; blanks inside or around a name are kept.
    if (line.find_first_not_of(" \t") == std::string_view::npos) {
      continue;
    }
    strings.emplace_back(line);
  }
  return strings;
}

std::optional<std::vector<std::string>> read_exclude_file(const std::string& path) {
  // The kind is checked before opening so that a device is never opened at all.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0 || !is_readable_kind(before.st_mode)) {
    return std::nullopt;
  }
  // O_NONBLOCK: opening a FIFO that has no writer must not wait for one.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat opened {};
  bool ok = ::fstat(fd, &opened) == 0 && is_readable_kind(opened.st_mode);
  // Reads wait again from here on, so a pipe's writer that is still writing is
  // heard out; a FIFO without any writer reads as empty at once.
  const int flags = ok ? ::fcntl(fd, F_GETFL) : -1;
  ok = ok && flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
  std::string contents;
  ok = ok && read_all(fd, contents);
  ::close(fd);
  if (!ok) {
    return std::nullopt;
  }
  return exclude_strings(contents);
}

bool is_excluded(const std::vector<std::string>& strings, std::string_view path) {
  return std::any_of(strings.begin(), strings.end(), [path](const std::string& s) {
    return !s.empty() && path.find(s) != std::string_view::npos;
  });
}

}  // namespace xcopy
