// Buffered standard output that a signal handler can still flush.
#include "xcopy/console.h"

#include "xcopy/progress.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace xcopy::console {
namespace {

// Whole lines only: `used` grows after a line is in place, so a handler that
// reads it sees complete lines. `flushing` keeps the handler from writing again
// what a flush in progress is writing.
constexpr std::size_t buffer_size = 64 * 1024;
char buffer[buffer_size];
std::atomic<std::size_t> used{0};
std::atomic<bool> flushing{false};
int line_buffered = -1;  // -1 until the first line tells whether stdout is a terminal

// Writes out the buffer; the caller keeps the terminal from the progress line.
void flush_buffer() {
  const std::size_t size = used.load(std::memory_order_acquire);
  if (size == 0) {
    return;
  }
  flushing.store(true, std::memory_order_seq_cst);
  write_all(STDOUT_FILENO, {buffer, size});
  used.store(0, std::memory_order_seq_cst);
  flushing.store(false, std::memory_order_seq_cst);
}

}  // namespace

// A closed pipe must not stop the copy, which is the job; SIGPIPE is ignored for this.
void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

void flush() {
  if (used.load(std::memory_order_acquire) == 0) {
    return;
  }
  const progress::output_guard guard;
  flush_buffer();
}

void flush_from_signal() {
  if (flushing.load(std::memory_order_seq_cst)) {
    return;
  }
  const int saved = errno;
  write_all(STDOUT_FILENO, {buffer, used.load(std::memory_order_seq_cst)});
  used.store(0, std::memory_order_seq_cst);
  errno = saved;
}

void write_line(std::string_view line) {
  if (line_buffered < 0) {
    line_buffered = ::isatty(STDOUT_FILENO) ? 1 : 0;
  }
  const std::size_t needed = line.size() + 1;
  if (used.load(std::memory_order_relaxed) + needed > buffer_size) {
    flush();
  }
  if (needed > buffer_size) {
    std::string whole(line);
    whole += '\n';
    write_all(STDOUT_FILENO, whole);
    return;
  }
  const std::size_t at = used.load(std::memory_order_relaxed);
  std::memcpy(buffer + at, line.data(), line.size());
  buffer[at + line.size()] = '\n';
  used.store(at + needed, std::memory_order_release);
  if (line_buffered == 1) {
    flush();
  }
}

void write_error_line(std::string_view line) {
  const progress::output_guard guard;
  flush_buffer();
  std::string whole(line);
  whole += '\n';
  write_all(STDERR_FILENO, whole);
}

void write_prompt(std::string_view text) {
  const progress::output_guard guard;
  flush_buffer();
  write_all(STDOUT_FILENO, text);
}

}  // namespace xcopy::console
