// The status line: counters the copying threads update, and a thread that
// draws them.
#include "xcopy/progress.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "xcopy/console.h"
#include "xcopy/interrupt.h"

namespace xcopy::progress {
namespace detail {
std::atomic<bool> active{false};
}
namespace {

using clock = std::chrono::steady_clock;

constexpr std::string_view erase_line = "\r\x1b[K";
constexpr auto redraw_every = std::chrono::milliseconds(100);
// A file shows how far it is once it has taken this long.
constexpr std::int64_t slow_file_ns = 1'000'000'000;

// The file each copying thread is on; a slot per thread, the last one shared
// should there be more threads than slots.
struct current_file {
  std::atomic<std::int64_t> size{0};  // 0: none
  std::atomic<std::int64_t> done{0};
  std::atomic<std::int64_t> began_ns{0};
};
constexpr std::size_t thread_slots = 66;
std::array<current_file, thread_slots> files;
std::atomic<std::size_t> next_slot{0};

std::atomic<std::uint64_t> files_copied{0};
std::atomic<std::int64_t> bytes_copied{0};

// The terminal: the drawing thread and the output of the run take turns.
std::mutex terminal;
bool held = false;               // a question is waiting: no drawing
std::atomic<bool> shown{false};  // the line is on the screen

std::mutex stopping_mutex;
std::condition_variable stopping_signal;
bool stopping = false;
pthread_t drawer;

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(clock::now().time_since_epoch())
      .count();
}

current_file& my_file() {
  thread_local current_file& mine =
      files[std::min(next_slot.fetch_add(1, std::memory_order_relaxed), thread_slots - 1)];
  return mine;
}

std::string amount(double bytes) {
  static constexpr const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < std::size(units)) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

// The rate over about the last second, from the samples of the last draws.
class rate_meter {
 public:
  double update(std::int64_t when_ns, std::int64_t bytes) {
    samples_[next_ % samples_.size()] = {when_ns, bytes};
    ++next_;
    const sample& oldest = samples_[next_ < samples_.size() ? 0 : next_ % samples_.size()];
    const double seconds = static_cast<double>(when_ns - oldest.when_ns) / 1e9;
    return seconds > 0 ? static_cast<double>(bytes - oldest.bytes) / seconds : 0;
  }

 private:
  struct sample {
    std::int64_t when_ns = 0;
    std::int64_t bytes = 0;
  };
  std::array<sample, 11> samples_{};  // ten intervals of a tenth of a second
  std::size_t next_ = 0;
};

std::string status_text(rate_meter& meter) {
  const std::int64_t now = now_ns();
  const std::int64_t bytes = bytes_copied.load(std::memory_order_relaxed);
  const std::uint64_t count = files_copied.load(std::memory_order_relaxed);
  std::string text = std::to_string(count) + (count == 1 ? " file, " : " files, ") +
                     amount(static_cast<double>(bytes)) + ", " + amount(meter.update(now, bytes)) +
                     "/s";
  // The file that has been copied longest, once it has taken over a second.
  std::int64_t earliest = now - slow_file_ns;
  int percent = -1;
  for (const current_file& f : files) {
    const std::int64_t size = f.size.load(std::memory_order_relaxed);
    const std::int64_t began = f.began_ns.load(std::memory_order_relaxed);
    if (size > 0 && began != 0 && began <= earliest) {
      earliest = began;
      percent = static_cast<int>(
          std::min<std::int64_t>(100, f.done.load(std::memory_order_relaxed) * 100 / size));
    }
  }
  if (percent >= 0) {
    text += ", current file " + std::to_string(percent) + "%";
  }
  return text;
}

// A line that wraps could no longer be erased: cut to the terminal's width.
void fit_to_terminal(std::string& text) {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
      text.size() >= size.ws_col) {
    text.resize(size.ws_col - 1u);
  }
}

void* draw(void*) {
  rate_meter meter;
  std::string drawn;
  std::unique_lock wait(stopping_mutex);
  while (!stopping_signal.wait_for(wait, redraw_every, [] { return stopping; })) {
    std::string text = status_text(meter);
    fit_to_terminal(text);
    const std::lock_guard lock(terminal);
    // A line still on the screen as it is needs no drawing.
    if (!held && !(shown.load(std::memory_order_relaxed) && text == drawn)) {
      console::write_all(STDERR_FILENO, std::string(erase_line.substr(0, 1)) + text +
                                            std::string(erase_line.substr(1)));
      shown.store(true, std::memory_order_relaxed);
      drawn = std::move(text);
    }
  }
  return nullptr;
}

void erase_if_shown() {
  if (shown.load(std::memory_order_relaxed)) {
    console::write_all(STDERR_FILENO, erase_line);
    shown.store(false, std::memory_order_relaxed);
  }
}

}  // namespace

void start() {
  if (detail::active.load() || ::isatty(STDERR_FILENO) != 1) {
    return;
  }
  stopping = false;
  // The signals that end the run are the main thread's to handle.
  const sigset_t before = block_run_ending_signals();
  const bool started = ::pthread_create(&drawer, nullptr, &draw, nullptr) == 0;
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  detail::active.store(started);
}

void stop() {
  if (!detail::active.load()) {
    return;
  }
  {
    const std::lock_guard lock(stopping_mutex);
    stopping = true;
  }
  stopping_signal.notify_all();
  ::pthread_join(drawer, nullptr);
  const std::lock_guard lock(terminal);
  erase_if_shown();
  detail::active.store(false);
}

void file_begins(off_t size) {
  if (!active()) {
    return;
  }
  current_file& f = my_file();
  f.done.store(0, std::memory_order_relaxed);
  f.size.store(size, std::memory_order_relaxed);
  f.began_ns.store(now_ns(), std::memory_order_relaxed);
}

void bytes_done(off_t bytes) {
  if (!active()) {
    return;
  }
  my_file().done.fetch_add(bytes, std::memory_order_relaxed);
  bytes_copied.fetch_add(bytes, std::memory_order_relaxed);
}

void file_ends(bool copied) {
  if (!active()) {
    return;
  }
  current_file& f = my_file();
  f.size.store(0, std::memory_order_relaxed);
  f.began_ns.store(0, std::memory_order_relaxed);
  if (copied) {
    files_copied.fetch_add(1, std::memory_order_relaxed);
  }
}

output_guard::output_guard() {
  if (active()) {
    terminal.lock();
    held_ = true;
    erase_if_shown();
  }
}

output_guard::~output_guard() {
  if (held_) {
    terminal.unlock();
  }
}

void hold() {
  if (active()) {
    const std::lock_guard lock(terminal);
    held = true;
    erase_if_shown();
  }
}

void release() {
  if (active()) {
    const std::lock_guard lock(terminal);
    held = false;
  }
}

void erase_from_signal() {
  if (shown.load(std::memory_order_relaxed)) {
    const int saved = errno;
    console::write_all(STDERR_FILENO, erase_line);
    errno = saved;
  }
}

}  // namespace xcopy::progress
