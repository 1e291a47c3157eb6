// Console output and key input on POSIX. (Key input is completed separately.)
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace qmr {
namespace {

// Writes every byte, retrying partial writes and interruptions; gives up on an
// error or on a write that reports no progress, so it can never spin.
void write_all(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(STDOUT_FILENO, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

}  // namespace

void print_text(const text& t, ending end) {
  if (!t.empty())
    write_all(t.data(), t.size());
  if (end == ending::line_end)
    write_all("\r\n", 2);
}

text poll_key() {
  return {};
}

std::int32_t await_key() {
  return 1;
}

}  // namespace qmr
