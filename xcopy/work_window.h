// The run's window of work in output order: the walk appends entries, worker
// threads prepare the file work among them in any order, and the main thread
// handles the entries strictly in the order they were appended (prints lines,
// finishes folders). The window holds a fixed number of entries, so memory
// does not grow with the tree.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "xcopy/temp_files.h"
#include "xcopy/work_item.h"

namespace xcopy {

class work_window {
 public:
  // The most entries in the window; each has a temporary-file slot of its own.
  static constexpr std::size_t capacity = temp_files::slot_count - 1;

  // Does an entry's work; called on a worker (`on_worker`), or on the main
  // thread when the entries are worked one at a time. Gets the entry's own
  // temporary-file slot.
  using prepare_function = std::function<void(work_item&, temp_files::slot&, bool on_worker)>;
  // Handles an entry on the main thread, in order, with the entry's slot.
  using handle_function = std::function<void(work_item&, temp_files::slot&)>;

  // Starts `workers` threads (none: everything happens on the main thread as
  // the entries are appended). Threads that cannot be started are done without.
  work_window(std::size_t workers, prepare_function prepare, handle_function handle);
  ~work_window();
  work_window(const work_window&) = delete;
  work_window& operator=(const work_window&) = delete;

  // The entry to fill next; waits (handling entries) while the window is full.
  work_item& next();
  // Appends the entry from next(); `needs_work` when it has files to prepare.
  // Handles whatever is ready at the head of the window.
  void append(bool needs_work);
  // Handles entries until at least one more was handled, or the window is empty.
  void make_progress();
  // Waits until every entry is handled.
  void finish_all();
  // From now on entries are worked one at a time, in order, on the main thread;
  // returns once no worker is busy any more. For the handler: a failure that
  // work running side by side may have caused is then tried again alone.
  void go_alone();

  bool empty() const { return head_ == tail_; }
  // Whether entries are worked one at a time on the main thread.
  bool alone() const;

 private:
  enum class state : std::uint8_t { free, waiting, running, ready };
  struct cell {
    work_item item;
    state now = state::free;
  };

  static void* worker_main(void* self);
  void work();
  cell& at(std::uint64_t sequence) { return cells_[sequence % capacity]; }
  temp_files::slot& slot_of(std::uint64_t sequence) {
    return temp_files::slot_at(1 + sequence % capacity);
  }
  // Handles ready entries at the head; false when none was.
  bool handle_ready(std::unique_lock<std::mutex>& lock);
  void advance_frontier();
  bool claimable();
  // The waiting entry a worker takes next (claimable() said there is one).
  std::uint64_t pick();
  // Waits until the frontier reaches `target`, or, with `idle`, no worker runs.
  void wait(std::unique_lock<std::mutex>& lock, std::uint64_t target, bool idle);

  prepare_function prepare_;
  handle_function handle_;
  std::vector<cell> cells_;
  std::vector<pthread_t> threads_;
  // The folders whose files workers are copying now, one per running entry.
  std::vector<const folder_state*> busy_folders_;

  mutable std::mutex mutex_;
  std::condition_variable work_ready_;  // workers wait here for entries
  std::condition_variable progress_;    // the main thread waits here
  // Entries [head_, tail_) are in the window; those before frontier_ are ready.
  // Workers look for waiting entries from claim_ on.
  std::uint64_t head_ = 0;
  std::uint64_t tail_ = 0;
  std::uint64_t frontier_ = 0;
  std::uint64_t claim_ = 0;
  std::size_t running_ = 0;
  std::size_t idle_workers_ = 0;
  bool alone_ = false;
  bool closing_ = false;
  // What the main thread waits for, so that workers wake it only then.
  bool main_waits_ = false;
  bool main_waits_for_idle_ = false;
  std::uint64_t main_target_ = 0;
};

}  // namespace xcopy
