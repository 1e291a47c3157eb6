// Block sharing, copy_file_range and sendfile with a read/write fallback, and
// the /v comparison.
#include "xcopy/data_copy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "xcopy/progress.h"
#include "xcopy/system_calls.h"

namespace xcopy {
namespace {

// Large enough that a file copied through the buffer costs few calls.
constexpr std::size_t buffer_size = 1024 * 1024;
// The most one copy_file_range or sendfile call is asked for; the kernel caps
// calls anyway. While the progress line is kept, less, so that it moves.
constexpr off_t chunk = off_t{1} << 30;
constexpr off_t chunk_shown = off_t{16} << 20;

off_t chunk_size() {
  return progress::active() ? chunk_shown : chunk;
}

// From this size on the copy's blocks are reserved before its data is written:
// the file system can then lay it out in one piece, which the measured large
// copies wrote to the disk a little faster, for one more call per large file.
constexpr off_t preallocate_from = off_t{4} << 20;

// Set once the kernel reports that it has no copy_file_range, or no sendfile, at all.
std::atomic<bool> kernel_lacks_copy_range{false};
std::atomic<bool> kernel_lacks_sendfile{false};

// The source file systems from which a clone was refused as unsupported (or
// across file systems): one failed call per file system, not one per file.
class clone_refusals {
 public:
  bool refused(dev_t device) {
    const std::lock_guard lock(mutex_);
    return std::find(devices_.begin(), devices_.end(), device) != devices_.end();
  }
  void refuse(dev_t device) {
    const std::lock_guard lock(mutex_);
    if (std::find(devices_.begin(), devices_.end(), device) == devices_.end()) {
      devices_.push_back(device);
    }
  }

 private:
  std::mutex mutex_;
  std::vector<dev_t> devices_;
};

clone_refusals& refusals() {
  static clone_refusals r;
  return r;
}

std::vector<char>& buffer() {
  thread_local std::vector<char> b(buffer_size);
  return b;
}

data_result fail(data_result::side s, int error) {
  return {s, error, 0};
}

// Errors of copy_file_range or sendfile that only mean "not here, use another way".
bool means_unsupported(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP || error == EBADF || error == EPERM || error == EAGAIN ||
         error == ETXTBSY || error == EOVERFLOW;
}

// Errors that certainly come from the target, whichever call reported them.
bool from_target(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS;
}

// What an error of the kernel's copy (copy_file_range or sendfile) means: a
// failure to report, on the side it certainly comes from, or none when the
// call only cannot copy here (or hit an I/O error that the buffer will pin on
// one side). `lacks_call` is set when the kernel has no such call at all.
data_result offload_failure(int error, std::atomic<bool>& lacks_call) {
  if (error == ENOSYS) {
    lacks_call.store(true, std::memory_order_relaxed);
  }
  if (from_target(error)) {
    return fail(data_result::side::target, error);
  }
  if (!means_unsupported(error) && error != EIO) {
    return fail(data_result::side::source, error);
  }
  return {};
}

// Errors of a clone that say the file system (or the pair) cannot share blocks at all.
bool clone_unsupported(int error) {
  return error == EOPNOTSUPP || error == ENOTSUP || error == ENOTTY || error == ENOSYS ||
         error == EXDEV;
}

enum class clone_outcome : unsigned char { done, not_done, failed };

// Makes `out` share the first `size` bytes of `in`'s blocks. A range rather than
// the whole file, so that a file growing meanwhile is copied as it was; a range
// that ends short of the end of a file must be block-aligned, so such a clone
// is refused and the copy takes the other ways.
clone_outcome clone(int in, int out, off_t size, dev_t source_device, data_result& failure) {
  if (size <= 0 || refusals().refused(source_device)) {
    return clone_outcome::not_done;
  }
  file_clone_range range{};
  range.src_fd = in;
  range.src_length = static_cast<__u64>(size);
  if (::ioctl(out, FICLONERANGE, &range) == 0) {
    return clone_outcome::done;
  }
  const int error = errno;
  if (clone_unsupported(error)) {
    refusals().refuse(source_device);
  } else if (from_target(error)) {
    failure = fail(data_result::side::target, error);
    return clone_outcome::failed;
  }
  return clone_outcome::not_done;
}

data_result write_all(int out, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(out, data, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return fail(data_result::side::target, errno);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return {};
}

// Copies through the buffer from the current offsets; `remaining` < 0 copies to
// the end of the source. Adds what it copied to `bytes`.
data_result copy_through_buffer(int in, int out, off_t remaining, off_t bytes) {
  std::vector<char>& b = buffer();
  while (remaining != 0) {
    std::size_t want = b.size();
    if (remaining > 0) {
      want = static_cast<std::size_t>(std::min<off_t>(remaining, static_cast<off_t>(want)));
    }
    const ssize_t got = ::read(in, b.data(), want);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return fail(data_result::side::source, errno);
    }
    if (got == 0) {
      break;
    }
    if (const data_result r = write_all(out, b.data(), static_cast<std::size_t>(got)); !r.ok()) {
      return r;
    }
    progress::bytes_done(got);
    bytes += got;
    if (remaining > 0) {
      remaining -= got;
    }
  }
  data_result done;
  done.bytes = bytes;
  return done;
}

// Reads exactly `size` bytes at `offset`, or fewer at the end of the file.
ssize_t read_at(int fd, char* data, std::size_t size, off_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return -1;
    }
    if (got == 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

namespace {

// Copies `length` bytes from the current offset of `in` to the current offset
// of `out` by the cheapest way that works here; `before` bytes were copied
// earlier, and the result counts them in.
data_result copy_span(int in, int out, off_t length, off_t before) {
  data_result done;
  done.bytes = before + length;
  off_t remaining = length;
  bool offloaded = false;  // the kernel copied at least once, so it can here
  while (remaining > 0 && !kernel_lacks_copy_range.load(std::memory_order_relaxed)) {
    const ssize_t copied = ::copy_file_range(
        in, nullptr, out, nullptr, static_cast<std::size_t>(std::min(remaining, chunk_size())), 0);
    if (copied > 0) {
      progress::bytes_done(copied);
      remaining -= copied;
      offloaded = true;
      continue;
    }
    if (copied == 0) {
      // The source ended early (it shrank), or it is a file whose data the
      // kernel cannot copy in place: the buffer finds out which.
      return copy_through_buffer(in, out, remaining, done.bytes - remaining);
    }
    const int error = errno;
    if (error == EINTR) {
      continue;
    }
    if (const data_result failure = offload_failure(error, kernel_lacks_copy_range);
        !failure.ok()) {
      return failure;
    }
    if (error == EIO || offloaded) {
      // An I/O error that the buffer will pin on one side.
      return copy_through_buffer(in, out, remaining, done.bytes - remaining);
    }
    break;  // not between these two files: sendfile may still move the bytes in the kernel
  }
  while (remaining > 0 && !kernel_lacks_sendfile.load(std::memory_order_relaxed)) {
    const ssize_t sent =
        ::sendfile(out, in, nullptr, static_cast<std::size_t>(std::min(remaining, chunk_size())));
    if (sent > 0) {
      progress::bytes_done(sent);
      remaining -= sent;
      continue;
    }
    if (sent == 0) {
      break;
    }
    const int error = errno;
    if (error == EINTR) {
      continue;
    }
    if (const data_result failure = offload_failure(error, kernel_lacks_sendfile); !failure.ok()) {
      return failure;
    }
    break;
  }
  if (remaining == 0) {
    return done;
  }
  return copy_through_buffer(in, out, remaining, done.bytes - remaining);
}

// Copies a file that has holes extent by extent, so that the copy has the
// same holes instead of blocks of zeros: a disk image of 100 GiB holding 2 GiB
// of data takes 2 GiB again. Where the file system cannot tell where the data
// lies, the rest is copied whole.
data_result copy_with_holes(int in, int out, off_t size) {
  off_t offset = 0;
  while (offset < size) {
    const off_t data = ::lseek(in, offset, SEEK_DATA);
    if (data < 0 && errno == ENXIO) {
      break;  // nothing but a hole up to the end
    }
    if (data < 0) {
      // The file system cannot tell where the data lies: the rest goes whole.
      if (::lseek(in, offset, SEEK_SET) < 0 || ::lseek(out, offset, SEEK_SET) < 0) {
        return fail(data_result::side::source, errno);
      }
      return copy_span(in, out, size - offset, offset);
    }
    if (data >= size) {
      break;
    }
    const off_t hole = ::lseek(in, data, SEEK_HOLE);
    if (hole < 0 || ::lseek(in, data, SEEK_SET) < 0 || ::lseek(out, data, SEEK_SET) < 0) {
      return fail(data_result::side::source, errno);
    }
    const off_t end = std::min(hole, size);
    const data_result span = copy_span(in, out, end - data, data);
    if (!span.ok() || span.bytes < end) {
      return span;  // failed, or the source shrank under the copy
    }
    offset = end;
  }
  // The size is set last, which leaves a hole at the end as a hole.
  if (sys::restarting([&] { return ::ftruncate(out, size); }) != 0) {
    return fail(data_result::side::target, errno);
  }
  data_result done;
  done.bytes = size;
  return done;
}

}  // namespace

data_result copy_data(int in, int out, off_t size, off_t allocated, dev_t source_device) {
  if (size == 0) {
    return copy_through_buffer(in, out, -1, 0);
  }
  data_result done;
  done.bytes = size;
  switch (clone(in, out, size, source_device, done)) {
    case clone_outcome::done:
      progress::bytes_done(size);
      return done;
    case clone_outcome::failed:
      return done;
    case clone_outcome::not_done:
      break;
  }
  if (allocated < size) {
    return copy_with_holes(in, out, size);
  }
  if (size >= preallocate_from) {
    // Only a hint: where it fails (no support, no room) the copy itself tells.
    // The file's size is left as it is, so a copy cut short is never longer
    // than what was written.
    ::fallocate(out, FALLOC_FL_KEEP_SIZE, 0, size);
  }
  return copy_span(in, out, size, 0);
}

data_result compare_data(int original, int copy, off_t size) {
  struct stat copied {};
  if (::fstat(copy, &copied) != 0) {
    return fail(data_result::side::target, errno);
  }
  if (copied.st_size != size) {
    return fail(data_result::side::target, 0);
  }
  std::vector<char>& a = buffer();
  std::vector<char> b(buffer_size);
  for (off_t at = 0; at < size;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<off_t>(size - at, static_cast<off_t>(buffer_size)));
    const ssize_t got_a = read_at(original, a.data(), want, at);
    if (got_a < 0) {
      return fail(data_result::side::source, errno);
    }
    const ssize_t got_b = read_at(copy, b.data(), want, at);
    if (got_b < 0) {
      return fail(data_result::side::target, errno);
    }
    if (got_a != got_b || std::memcmp(a.data(), b.data(), static_cast<std::size_t>(got_a)) != 0) {
      return fail(data_result::side::target, 0);
    }
    if (got_a == 0) {
      break;
    }
    at += got_a;
  }
  return {};
}

}  // namespace xcopy
