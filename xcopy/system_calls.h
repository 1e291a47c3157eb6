// The system calls of the engine, made again when a signal interrupted them
// before they did anything. An interruption is not a failure of the entry:
// the signals that end the run are handled on their own, and any other one
// must not turn into a file reported as unreadable or uncreatable.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace xcopy::sys {

template <typename Call>
auto restarting(Call call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) {
      return result;
    }
  }
}

inline int open(const char* path, int flags, mode_t mode = 0) {
  return restarting([&] { return ::open(path, flags, mode); });
}

inline int openat(int directory, const char* path, int flags, mode_t mode = 0) {
  return restarting([&] { return ::openat(directory, path, flags, mode); });
}

inline int fstatat(int directory, const char* path, struct stat* result, int flags) {
  return restarting([&] { return ::fstatat(directory, path, result, flags); });
}

inline int mkdirat(int directory, const char* path, mode_t mode) {
  return restarting([&] { return ::mkdirat(directory, path, mode); });
}

inline int renameat(int from_directory, const char* from, int to_directory, const char* to) {
  return restarting([&] { return ::renameat(from_directory, from, to_directory, to); });
}

inline int symlinkat(const char* link_text, int directory, const char* path) {
  return restarting([&] { return ::symlinkat(link_text, directory, path); });
}

inline int utimensat(int directory, const char* path, const struct timespec times[2], int flags) {
  return restarting([&] { return ::utimensat(directory, path, times, flags); });
}

inline int futimens(int fd, const struct timespec times[2]) {
  return restarting([&] { return ::futimens(fd, times); });
}

inline int fchmod(int fd, mode_t mode) {
  return restarting([&] { return ::fchmod(fd, mode); });
}

// Linux releases the descriptor even when close reports an interruption, so
// it must not be closed again, and nothing was lost: that is a success.
inline int close(int fd) {
  const int result = ::close(fd);
  return result != 0 && errno == EINTR ? 0 : result;
}

}  // namespace xcopy::sys
