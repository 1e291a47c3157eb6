// The window: a ring of entries, worker threads, and the main thread's handling.
#include "xcopy/work_window.h"

#include <signal.h>

#include <algorithm>

#include "xcopy/interrupt.h"

namespace xcopy {
namespace {

// When the window is full, the main thread sleeps until this share of it can be
// handled, rather than waking for every file.
constexpr std::size_t wake_batch = work_window::capacity / 8;

// How far past the first waiting entry a worker looks for one in a folder that
// no other worker is in.
constexpr std::uint64_t look_ahead = 8;

// The folder whose files an entry copies; none for other entries.
const folder_state* folder_of(const work_item& item) {
  return item.what == work_item::kind::files && item.file_count > 0 ? item.jobs[0].folder : nullptr;
}

}  // namespace

work_window::work_window(std::size_t workers, prepare_function prepare, handle_function handle)
    : prepare_(std::move(prepare)), handle_(std::move(handle)), cells_(capacity) {
  if (workers > 0) {
    // Signals that end the run are handled on the main thread, which is the
    // one that prints and removes temporary files; workers block them. Faults
    // (a crash in a worker) still reach the handler on the worker itself.
    const sigset_t before = block_run_ending_signals();
    for (std::size_t i = 0; i < workers; ++i) {
      pthread_t thread;
      if (::pthread_create(&thread, nullptr, &worker_main, this) != 0) {
        break;  // fewer threads, same result
      }
      threads_.push_back(thread);
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  }
  // The workers already read it, under the lock.
  const std::lock_guard lock(mutex_);
  alone_ = threads_.empty();
}

work_window::~work_window() {
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
  }
  work_ready_.notify_all();
  for (const pthread_t thread : threads_) {
    ::pthread_join(thread, nullptr);
  }
}

void* work_window::worker_main(void* self) {
  static_cast<work_window*>(self)->work();
  return nullptr;
}

bool work_window::claimable() {
  while (claim_ < tail_ && at(claim_).now != state::waiting) {
    ++claim_;
  }
  return claim_ < tail_;
}

std::uint64_t work_window::pick() {
  // Creating and renaming a file lock its folder, and a folder being written to
  // by two threads makes one of them spin on that lock (long on file systems
  // where each create searches for a free inode). So a worker prefers the files
  // of a folder that no other worker is in, which keeps both busy on their own.
  const std::uint64_t end = std::min(tail_, claim_ + look_ahead);
  for (std::uint64_t sequence = claim_; sequence < end; ++sequence) {
    const cell& c = at(sequence);
    if (c.now != state::waiting) {
      continue;
    }
    const folder_state* folder = folder_of(c.item);
    if (folder == nullptr ||
        std::find(busy_folders_.begin(), busy_folders_.end(), folder) == busy_folders_.end()) {
      return sequence;
    }
  }
  return claim_;
}

void work_window::advance_frontier() {
  while (frontier_ < tail_ && at(frontier_).now == state::ready) {
    ++frontier_;
  }
}

void work_window::work() {
  std::unique_lock lock(mutex_);
  while (!closing_) {
    if (alone_ || !claimable()) {
      ++idle_workers_;
      work_ready_.wait(lock);
      --idle_workers_;
      continue;
    }
    const std::uint64_t sequence = pick();
    cell& c = at(sequence);
    c.now = state::running;
    ++running_;
    const folder_state* folder = folder_of(c.item);
    busy_folders_.push_back(folder);
    lock.unlock();
    prepare_(c.item, slot_of(sequence), true);
    lock.lock();
    busy_folders_.erase(std::find(busy_folders_.begin(), busy_folders_.end(), folder));
    c.now = state::ready;
    --running_;
    advance_frontier();
    if (main_waits_ && (main_waits_for_idle_ ? running_ == 0 : frontier_ >= main_target_)) {
      progress_.notify_one();
    }
  }
}

void work_window::wait(std::unique_lock<std::mutex>& lock, std::uint64_t target, bool idle) {
  main_waits_ = true;
  main_waits_for_idle_ = idle;
  main_target_ = target;
  if (!idle && idle_workers_ > 0) {
    work_ready_.notify_all();
  }
  progress_.wait(lock, [&] { return idle ? running_ == 0 : frontier_ >= target; });
  main_waits_ = false;
}

void work_window::go_alone() {
  std::unique_lock lock(mutex_);
  alone_ = true;
  wait(lock, 0, true);
}

bool work_window::handle_ready(std::unique_lock<std::mutex>& lock) {
  bool handled_any = false;
  while (head_ < tail_) {
    const std::uint64_t sequence = head_;
    cell& c = at(sequence);
    if (c.now == state::waiting && alone_) {
      c.now = state::running;
      lock.unlock();
      prepare_(c.item, slot_of(sequence), false);
      lock.lock();
      c.now = state::ready;
      advance_frontier();
    }
    if (c.now != state::ready) {
      break;
    }
    lock.unlock();
    handle_(c.item, slot_of(sequence));
    c.item.reset();
    lock.lock();
    c.now = state::free;
    ++head_;
    handled_any = true;
  }
  return handled_any;
}

work_item& work_window::next() {
  std::unique_lock lock(mutex_);
  while (tail_ - head_ == capacity) {
    if (!handle_ready(lock)) {
      wait(lock, std::min(head_ + wake_batch, tail_), false);
    }
  }
  return at(tail_).item;
}

void work_window::append(bool needs_work) {
  std::unique_lock lock(mutex_);
  at(tail_).now = needs_work ? state::waiting : state::ready;
  ++tail_;
  advance_frontier();
  if (needs_work && !alone_ && idle_workers_ > 0) {
    work_ready_.notify_one();
  }
  handle_ready(lock);
}

void work_window::make_progress() {
  std::unique_lock lock(mutex_);
  if (handle_ready(lock) || head_ == tail_) {
    return;
  }
  wait(lock, head_ + 1, false);
  handle_ready(lock);
}

void work_window::finish_all() {
  std::unique_lock lock(mutex_);
  for (;;) {
    handle_ready(lock);
    if (head_ == tail_) {
      return;
    }
    // Each entry as soon as it is ready, so that its lines show without delay.
    wait(lock, head_ + 1, false);
  }
}

bool work_window::alone() const {
  const std::lock_guard lock(mutex_);
  return alone_;
}

}  // namespace xcopy
