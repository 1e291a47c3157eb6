// Batched lookups: io_uring statx when available, fstatat otherwise.
#include "xcopy/stat_batch.h"

#include <fcntl.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>

#include "xcopy/system_calls.h"

#if QMR_HAVE_LIBURING
#include <liburing.h>
#endif

namespace xcopy {
namespace {

#if QMR_HAVE_LIBURING

// Enough for the two lookups of each file of a window entry.
constexpr unsigned ring_entries = 64;

// One ring per thread, set up on first use. A kernel without io_uring, or one
// where it is switched off or filtered, refuses the set-up; then the thread
// looks entries up one by one.
class thread_ring {
 public:
  thread_ring() { ready_ = ::io_uring_queue_init(ring_entries, &ring_, 0) == 0; }
  ~thread_ring() {
    if (ready_) {
      ::io_uring_queue_exit(&ring_);
    }
  }
  thread_ring(const thread_ring&) = delete;
  thread_ring& operator=(const thread_ring&) = delete;

  bool ready() const { return ready_; }
  io_uring& ring() { return ring_; }
  // After a failure the ring is left alone: lookups in flight may still
  // complete into this thread's buffers.
  void give_up() { ready_ = false; }

 private:
  io_uring ring_{};
  bool ready_ = false;
};

void to_stat(const struct statx& from, struct stat& to) {
  to = {};
  to.st_dev = makedev(from.stx_dev_major, from.stx_dev_minor);
  to.st_ino = from.stx_ino;
  to.st_mode = from.stx_mode;
  to.st_nlink = from.stx_nlink;
  to.st_uid = from.stx_uid;
  to.st_gid = from.stx_gid;
  to.st_rdev = makedev(from.stx_rdev_major, from.stx_rdev_minor);
  to.st_size = static_cast<off_t>(from.stx_size);
  to.st_blksize = static_cast<blksize_t>(from.stx_blksize);
  to.st_blocks = static_cast<blkcnt_t>(from.stx_blocks);
  to.st_atim = {from.stx_atime.tv_sec, from.stx_atime.tv_nsec};
  to.st_mtim = {from.stx_mtime.tv_sec, from.stx_mtime.tv_nsec};
  to.st_ctim = {from.stx_ctime.tv_sec, from.stx_ctime.tv_nsec};
}

// Makes up to ring_entries lookups with one submission; false when the ring
// could not take them (then nothing was looked up).
template <typename Lookup>
bool run_on_ring(io_uring& ring, Lookup* first, std::size_t count) {
  thread_local std::vector<struct statx> results;
  results.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    io_uring_sqe* entry = ::io_uring_get_sqe(&ring);
    if (entry == nullptr) {
      return false;
    }
    ::io_uring_prep_statx(entry, first[i].directory, first[i].name, first[i].flags,
                          STATX_BASIC_STATS, &results[i]);
    ::io_uring_sqe_set_data64(entry, i);
  }
  int submitted = 0;
  do {
    submitted = ::io_uring_submit_and_wait(&ring, static_cast<unsigned>(count));
  } while (submitted == -EINTR);
  if (submitted < 0) {
    return false;  // nothing was submitted: the entries are taken back below
  }
  for (std::size_t done = 0; done < count;) {
    io_uring_cqe* completion = nullptr;
    const int waited = ::io_uring_wait_cqe(&ring, &completion);
    if (waited == -EINTR) {
      continue;
    }
    if (waited < 0) {
      return false;
    }
    const std::size_t i = ::io_uring_cqe_get_data64(completion);
    const int res = completion->res;
    ::io_uring_cqe_seen(&ring, completion);
    ++done;
    if (res == 0) {
      to_stat(results[i], first[i].result);
      first[i].error = 0;
    } else if (res == -EINTR || res == -EAGAIN) {
      first[i].error = look_up(first[i].directory, first[i].name, first[i].flags, first[i].result);
    } else {
      first[i].error = -res;
    }
  }
  return true;
}

#endif

}  // namespace

int look_up(int directory, const char* name, int flags, struct stat& result) {
  return sys::fstatat(directory, name, &result, flags) == 0 ? 0 : errno;
}

std::size_t stat_batch::add(int directory, const char* name, int flags) {
  lookups_.push_back({directory, name, flags, 0, {}});
  return lookups_.size() - 1;
}

void stat_batch::run() {
  std::size_t done = 0;
#if QMR_HAVE_LIBURING
  // A single lookup gains nothing from the ring.
  if (lookups_.size() > 1) {
    thread_local thread_ring ring;
    if (ring.ready()) {
      while (done < lookups_.size()) {
        const std::size_t count = std::min<std::size_t>(lookups_.size() - done, ring_entries);
        if (!run_on_ring(ring.ring(), lookups_.data() + done, count)) {
          ring.give_up();
          break;
        }
        done += count;
      }
    }
  }
#endif
  for (; done < lookups_.size(); ++done) {
    lookup& l = lookups_[done];
    l.error = look_up(l.directory, l.name, l.flags, l.result);
  }
}

int stat_batch::result(std::size_t index, struct stat& result) const {
  const lookup& l = lookups_[index];
  if (l.error == 0) {
    result = l.result;
  }
  return l.error;
}

}  // namespace xcopy
