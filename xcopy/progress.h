// The status line kept on standard error while a copy runs and standard error
// is a terminal: files and bytes copied so far, the current rate, and for a
// file that takes more than a second how far it is. It is erased before any
// other output and at the end, so the screen's history holds exactly the
// lines a run without it prints.
#pragma once

#include <sys/types.h>

#include <atomic>

namespace xcopy::progress {

namespace detail {
extern std::atomic<bool> active;
}

// Starts the line when standard error is a terminal: a thread of its own
// redraws it at most ten times a second. Otherwise nothing happens, and every
// call below costs a single load.
void start();
// Stops the thread and erases the line.
void stop();

inline bool active() {
  return detail::active.load(std::memory_order_relaxed);
}

// What the copying threads report, each about the file it copies.
void file_begins(off_t size);
void bytes_done(off_t bytes);
void file_ends(bool copied);

// Keeps the terminal while other output is written: erases the status line
// first and keeps it from being redrawn in between.
class output_guard {
 public:
  output_guard();
  ~output_guard();
  output_guard(const output_guard&) = delete;
  output_guard& operator=(const output_guard&) = delete;

 private:
  bool held_ = false;
};

// Keeps the line away while a question waits for an answer.
void hold();
void release();

// Erases the line from a signal handler. Async-signal-safe.
void erase_from_signal();

}  // namespace xcopy::progress
