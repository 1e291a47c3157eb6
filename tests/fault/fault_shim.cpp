// A preloaded library, used only by tests, that makes one chosen system call of
// the program under test fail, or come back short, so that every error path of
// the copier can be walked call by call.
//
//   QMR_FAULT=GROUP:N:ERROR   fail the N-th call (1-based) of GROUP with ERROR,
//                             one of ENOSPC, EIO, EACCES, EINTR, or "short" for
//                             a read, write or copy that moves half the bytes.
//   QMR_FAULT_COUNTS=FILE     at exit, write "GROUP COUNT" lines for every group.
//   QMR_FAULT_NO_OFFLOAD=1    every copy_file_range and sendfile fails with ENOSYS and
//                             every clone with EOPNOTSUPP, uncounted, as on a kernel
//                             and file system without them, so the buffer copy is walked.
//   QMR_FAULT_NO_COPY_RANGE=1 only copy_file_range fails so, so sendfile is walked.
//   QMR_FAULT_SLOW=MS         every transfer (read, write, copy_file_range, sendfile) of
//                             a file waits MS milliseconds first, so that a copy takes
//                             long enough to be watched.
//
// A group is the call named by the issue and its variants: open (open, openat,
// open64, openat64), read (read, pread64), write (write, pwrite64),
// copy_file_range, sendfile (sendfile, sendfile64), clone (the FICLONE and
// FICLONERANGE ioctls), fsync (fsync, fdatasync), rename (rename, renameat,
// renameat2), utimensat (utimensat, futimens), mkdir (mkdir, mkdirat), close.
// Calls on the standard streams (descriptors 0 to 2) are neither counted nor
// failed: the program's own messages are not what is under test.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

enum group : int {
  g_open,
  g_read,
  g_write,
  g_copy,
  g_fsync,
  g_rename,
  g_utime,
  g_mkdir,
  g_close,
  g_sendfile,
  g_clone,
  group_count
};
constexpr const char* group_names[group_count] = {
    "open",      "read",  "write", "copy_file_range", "fsync", "rename",
    "utimensat", "mkdir", "close", "sendfile",        "clone"};

struct plan {
  int target = -1;  // the group whose call fails, -1 for none
  long nth = 0;
  int error = 0;  // 0 with `shorten` set
  bool shorten = false;
};

std::atomic<long> counts[group_count];

const plan& the_plan() {
  static const plan p = [] {
    plan result;
    const char* setting = std::getenv("QMR_FAULT");
    if (setting == nullptr)
      return result;
    char name[64] = {};
    char error[32] = {};
    long nth = 0;
    if (std::sscanf(setting, "%63[^:]:%ld:%31s", name, &nth, error) != 3)
      return result;
    for (int g = 0; g < group_count; ++g) {
      if (std::strcmp(name, group_names[g]) == 0)
        result.target = g;
    }
    result.nth = nth;
    if (std::strcmp(error, "ENOSPC") == 0)
      result.error = ENOSPC;
    if (std::strcmp(error, "EIO") == 0)
      result.error = EIO;
    if (std::strcmp(error, "EACCES") == 0)
      result.error = EACCES;
    if (std::strcmp(error, "EINTR") == 0)
      result.error = EINTR;
    if (std::strcmp(error, "short") == 0)
      result.shorten = true;
    if (result.error == 0 && !result.shorten)
      result.target = -1;
    return result;
  }();
  return p;
}

// Counts the call and tells whether it is the one to fail.
bool strikes(group g) {
  const long n = counts[g].fetch_add(1) + 1;
  const plan& p = the_plan();
  return p.target == g && n == p.nth;
}

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The fault for a call that does not move bytes: -1 with the error set. A
// "short" fault means nothing for such calls; they go through.
bool fail_with_error() {
  const plan& p = the_plan();
  if (p.shorten)
    return false;
  errno = p.error;
  return true;
}

struct report_counts {
  ~report_counts() {
    const char* file = std::getenv("QMR_FAULT_COUNTS");
    if (file == nullptr)
      return;
    if (FILE* out = std::fopen(file, "w")) {
      for (int g = 0; g < group_count; ++g)
        std::fprintf(out, "%s %ld\n", group_names[g], counts[g].load());
      std::fclose(out);
    }
  }
} reporter;

mode_t mode_argument(int flags, va_list args) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

int do_openat(const char* symbol, int dirfd, const char* path, int flags, mode_t mode) {
  if (strikes(g_open) && fail_with_error())
    return -1;
  return next<int (*)(int, const char*, int, ...)>(symbol)(dirfd, path, flags, mode);
}

int do_open(const char* symbol, const char* path, int flags, mode_t mode) {
  if (strikes(g_open) && fail_with_error())
    return -1;
  return next<int (*)(const char*, int, ...)>(symbol)(path, flags, mode);
}

// Waits as QMR_FAULT_SLOW asks before a transfer.
void slow_down() {
  static const long milliseconds = [] {
    const char* value = std::getenv("QMR_FAULT_SLOW");
    return value != nullptr ? std::atol(value) : 0L;
  }();
  if (milliseconds > 0) {
    const struct timespec pause { milliseconds / 1000, (milliseconds % 1000) * 1'000'000 };
    nanosleep(&pause, nullptr);
  }
}

// Moves bytes, or fails, or moves half of them when asked to come back short.
template <typename Call>
ssize_t transfer(group g, int fd, size_t length, Call call) {
  if (fd <= 2)
    return call(length);
  slow_down();
  if (!strikes(g))
    return call(length);
  const plan& p = the_plan();
  if (p.shorten)
    return call(length > 1 ? length / 2 : length);
  errno = p.error;
  return -1;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return do_open("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return do_open("open64", path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return do_openat("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = mode_argument(flags, args);
  va_end(args);
  return do_openat("openat64", dirfd, path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t length) {
  static auto real = next<ssize_t (*)(int, void*, size_t)>("read");
  return transfer(g_read, fd, length, [&](size_t n) { return real(fd, buffer, n); });
}

ssize_t pread64(int fd, void* buffer, size_t length, off_t offset) {
  static auto real = next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
  return transfer(g_read, fd, length, [&](size_t n) { return real(fd, buffer, n, offset); });
}

ssize_t write(int fd, const void* buffer, size_t length) {
  static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
  return transfer(g_write, fd, length, [&](size_t n) { return real(fd, buffer, n); });
}

ssize_t pwrite64(int fd, const void* buffer, size_t length, off_t offset) {
  static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64");
  return transfer(g_write, fd, length, [&](size_t n) { return real(fd, buffer, n, offset); });
}

ssize_t copy_file_range(int in, loff_t* in_offset, int out, loff_t* out_offset, size_t length,
                        unsigned int flags) {
  static auto real =
      next<ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned int)>("copy_file_range");
  static const bool no_copy_range = std::getenv("QMR_FAULT_NO_OFFLOAD") != nullptr ||
                                    std::getenv("QMR_FAULT_NO_COPY_RANGE") != nullptr;
  if (no_copy_range) {
    errno = ENOSYS;
    return -1;
  }
  return transfer(g_copy, out, length,
                  [&](size_t n) { return real(in, in_offset, out, out_offset, n, flags); });
}

ssize_t sendfile(int out, int in, off_t* offset, size_t length) {
  static auto real = next<ssize_t (*)(int, int, off_t*, size_t)>("sendfile");
  static const bool no_offload = std::getenv("QMR_FAULT_NO_OFFLOAD") != nullptr;
  if (no_offload) {
    errno = ENOSYS;
    return -1;
  }
  return transfer(g_sendfile, out, length, [&](size_t n) { return real(out, in, offset, n); });
}

ssize_t sendfile64(int out, int in, off_t* offset, size_t length) {
  static auto real = next<ssize_t (*)(int, int, off_t*, size_t)>("sendfile64");
  static const bool no_offload = std::getenv("QMR_FAULT_NO_OFFLOAD") != nullptr;
  if (no_offload) {
    errno = ENOSYS;
    return -1;
  }
  return transfer(g_sendfile, out, length, [&](size_t n) { return real(out, in, offset, n); });
}

// Only the clone requests are counted or failed; every other request goes through.
int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  static auto real = next<int (*)(int, unsigned long, ...)>("ioctl");
  if (request == FICLONE || request == FICLONERANGE) {
    static const bool no_offload = std::getenv("QMR_FAULT_NO_OFFLOAD") != nullptr;
    if (no_offload) {
      errno = EOPNOTSUPP;
      return -1;
    }
    if (fd > 2 && strikes(g_clone) && fail_with_error())
      return -1;
  }
  return real(fd, request, argument);
}

int fsync(int fd) {
  if (fd > 2 && strikes(g_fsync) && fail_with_error())
    return -1;
  return next<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd) {
  if (fd > 2 && strikes(g_fsync) && fail_with_error())
    return -1;
  return next<int (*)(int)>("fdatasync")(fd);
}

int rename(const char* from, const char* to) {
  if (strikes(g_rename) && fail_with_error())
    return -1;
  return next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  if (strikes(g_rename) && fail_with_error())
    return -1;
  return next<int (*)(int, const char*, int, const char*)>("renameat")(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
  if (strikes(g_rename) && fail_with_error())
    return -1;
  return next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2")(
      from_dir, from, to_dir, to, flags);
}

int utimensat(int dirfd, const char* path, const struct timespec times[2], int flags) {
  if (strikes(g_utime) && fail_with_error())
    return -1;
  return next<int (*)(int, const char*, const struct timespec*, int)>("utimensat")(dirfd, path,
                                                                                   times, flags);
}

int futimens(int fd, const struct timespec times[2]) {
  if (strikes(g_utime) && fail_with_error())
    return -1;
  return next<int (*)(int, const struct timespec*)>("futimens")(fd, times);
}

int mkdir(const char* path, mode_t mode) {
  if (strikes(g_mkdir) && fail_with_error())
    return -1;
  return next<int (*)(const char*, mode_t)>("mkdir")(path, mode);
}

int mkdirat(int dirfd, const char* path, mode_t mode) {
  if (strikes(g_mkdir) && fail_with_error())
    return -1;
  return next<int (*)(int, const char*, mode_t)>("mkdirat")(dirfd, path, mode);
}

int close(int fd) {
  static auto real = next<int (*)(int)>("close");
  if (fd <= 2 || !strikes(g_close))
    return real(fd);
  // Linux releases the descriptor even when close reports an error, so the
  // fault does the same: a copier that retried would close someone else's file.
  real(fd);
  if (!fail_with_error())
    return 0;
  return -1;
}

}  // extern "C"
