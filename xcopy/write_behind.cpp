// One thread that starts the write-out of files handed to it, one at a time.
#include "xcopy/write_behind.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "xcopy/interrupt.h"

namespace xcopy::write_behind {
namespace {

// More waiting files than this means the disk is far behind: requests beyond
// it are dropped, and the kernel writes those files out on its own.
constexpr std::size_t queue_size = 16;

struct writer {
  std::mutex mutex;
  std::condition_variable queued;
  std::array<int, queue_size> fds{};
  std::size_t head = 0;
  std::size_t count = 0;
  bool running = false;

  // The thread's loop. It is never joined: the process may end while it waits
  // for the next file or starts a write-out, and neither holds anything the
  // run needs.
  void serve() {
    std::unique_lock lock(mutex);
    for (;;) {
      queued.wait(lock, [&] { return count > 0; });
      const int fd = fds[head];
      head = (head + 1) % queue_size;
      --count;
      lock.unlock();
      // SYNC_FILE_RANGE_WRITE queues the writes and returns; it does not wait
      // for them. A failure here is only a lost head start: the data is in the
      // page cache either way, and errors show where they always do.
      ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
      ::close(fd);
      lock.lock();
    }
  }

  static void* thread_main(void* self) {
    // It runs only when a core has nothing else to do, so that starting the
    // writes never takes processor time from the copies themselves.
    const sched_param idle{};
    ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &idle);
    static_cast<writer*>(self)->serve();
    return nullptr;
  }

  // Starts the thread on first use; false when it cannot be started.
  bool ensure_running() {
    if (running) {
      return true;
    }
    const sigset_t before = block_run_ending_signals();
    pthread_t thread;
    running = ::pthread_create(&thread, nullptr, &thread_main, this) == 0;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (running) {
      ::pthread_detach(thread);
    }
    return running;
  }
};

// Never destroyed: the thread may still be waiting on it while the process ends.
writer& the_writer() {
  static writer* const instance = new writer;
  return *instance;
}

}  // namespace

void start(int fd) {
  writer& w = the_writer();
  const std::lock_guard lock(w.mutex);
  if (w.count == queue_size || !w.ensure_running()) {
    return;
  }
  // A descriptor of its own, so the copy may close its file at once.
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) {
    return;
  }
  w.fds[(w.head + w.count) % queue_size] = own;
  ++w.count;
  w.queued.notify_one();
}

}  // namespace xcopy::write_behind
