// Terminal input for the prompts: whole lines, or one key in non-canonical mode.
#include "xcopy/terminal.h"

#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace xcopy::terminal {
namespace {

// The settings to put back while wait_for_key has the terminal in key mode.
termios original{};
std::atomic<bool> have_original{false};

// Reads one byte, retrying after signals that did not end the process.
ssize_t read_byte(char& c) {
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got >= 0 || errno != EINTR) {
      return got;
    }
  }
}

}  // namespace

bool available() {
  return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> read_line() {
  if (!available()) {
    return std::nullopt;
  }
  std::string line;
  for (;;) {
    char c = 0;
    if (read_byte(c) <= 0) {
      // End of input with nothing typed cannot answer a question.
      if (line.empty()) {
        return std::nullopt;
      }
      return line;
    }
    if (c == '\n') {
      return line;
    }
    line += c;
  }
}

bool wait_for_key() {
  if (!available()) {
    return false;
  }
  termios settings{};
  if (::tcgetattr(STDIN_FILENO, &settings) != 0) {
    return false;
  }
  original = settings;
  have_original.store(true, std::memory_order_release);
  termios keys = settings;
  keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &keys);
  char c = 0;
  const ssize_t got = read_byte(c);
  have_original.store(false, std::memory_order_release);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &original);
  return got == 1;
}

void restore_from_signal() {
  if (have_original.load(std::memory_order_acquire)) {
    const int saved = errno;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &original);
    errno = saved;
  }
}

}  // namespace xcopy::terminal
