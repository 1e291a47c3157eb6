// Console output and key input on POSIX terminals.
//
// The key wait puts the terminal into a mode that hands over each key press at
// once and without echo, and sleeps in poll(2) until input or a signal
// arrives. Every way out of the process puts the terminal's own settings back:
// the exit steps, and the handlers of the signals that end, stop or continue
// the process. The handlers only do async-signal-safe things; the ones that
// end the wait (SIGHUP, SIGTERM) just write to a pipe that the wait watches.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/key_codes.h"
#include "platform/key_queue.h"
#include "platform/platform.h"
#include "platform/terminal_keys.h"

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

// What the signal handlers share with the main thread. The two modes are
// written once, before any handler is installed, and only read afterwards.
termios original_mode{};
termios waiting_mode{};
volatile std::sig_atomic_t have_original_mode = 0;
// Set from the first poll until the exit steps: the waiting mode belongs on
// the terminal whenever the process runs in the foreground.
volatile std::sig_atomic_t waiting = 0;
// The pipe through which SIGHUP and SIGTERM reach the wait.
int wake_pipe[2] = {-1, -1};

// The signals whose handlers change the terminal or end the wait.
constexpr int handled_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT};

// All of these are async-signal-safe.
void put_mode(const termios& mode) {
  while (tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0 && errno == EINTR) {
  }
}

void restore_terminal() {
  if (have_original_mode != 0)
    put_mode(original_mode);
}

// Whether this process owns the terminal. From the background, changing the
// terminal's mode would stop the process (SIGTTOU) and take the mode from the
// shell; the mode is put on when the job is brought forward (SIGCONT).
bool in_foreground() {
  const pid_t group = tcgetpgrp(STDIN_FILENO);
  return group <= 0 || group == getpgrp();
}

void apply_waiting_mode() {
  if (have_original_mode != 0 && waiting != 0 && in_foreground())
    put_mode(waiting_mode);
}

void set_handler(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = handler == SIG_DFL ? 0 : SA_RESTART;
  sigaction(signal_number, &action, nullptr);
}

// Ctrl+C and Ctrl+\: the terminal is restored, then the signal does what it
// would have done without us, so the process ends by it.
void on_interrupt(int signal_number) {
  const int saved_errno = errno;
  restore_terminal();
  set_handler(signal_number, SIG_DFL);
  // Blocked while this handler runs, the signal is delivered as it returns.
  raise(signal_number);
  errno = saved_errno;
}

// The terminal was closed, or the session is ending: the wait ends as by a
// key press, with its caller's code.
void on_close(int signal_number) {
  const int saved_errno = errno;
  const char note = static_cast<char>(signal_number);
  [[maybe_unused]] const ssize_t ignored = write(wake_pipe[1], &note, 1);
  errno = saved_errno;
}

void on_continue(int) {
  const int saved_errno = errno;
  apply_waiting_mode();
  errno = saved_errno;
}

// Ctrl+Z: the terminal has its own settings while the process is stopped.
void on_stop(int signal_number) {
  const int saved_errno = errno;
  restore_terminal();
  set_handler(signal_number, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, signal_number);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(signal_number);  // stops here until SIGCONT
  set_handler(signal_number, on_stop);
  apply_waiting_mode();
  errno = saved_errno;
}

// Runs a change of the shared state with the handled signals held back, so no
// handler sees it half done.
template <typename Change>
void with_signals_held(Change change) {
  sigset_t held, before;
  sigemptyset(&held);
  for (const int s : handled_signals)
    sigaddset(&held, s);
  sigprocmask(SIG_BLOCK, &held, &before);
  change();
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

void leave_waiting_mode() {
  with_signals_held([] {
    waiting = 0;
    restore_terminal();
  });
}

// The state of the key input, kept by the main thread.
struct key_input {
  bool set_up = false;
  bool from_terminal = false;
  // The terminal is gone: no key can arrive any more.
  bool hung_up = false;
  // Bytes read but not yet decoded: the start of an escape sequence whose
  // rest has not arrived.
  std::array<char, 256> pending{};
  std::size_t pending_size = 0;
  // The wait timed out with bytes pending: decode them as they stand.
  bool pending_complete = false;
  // Polls in a row that found the terminal readable but read nothing.
  int empty_reads = 0;
  keys::key_queue queue;
};

key_input& input() {
  static key_input state;
  return state;
}

constexpr keys::key_code close_key = keys::extended_key(107);  // Alt+F4
constexpr int empty_reads_of_a_dead_terminal = 8;

bool ignored_at_start(int signal_number) {
  struct sigaction before {};
  sigaction(signal_number, nullptr, &before);
  return before.sa_handler == SIG_IGN;
}

// On the first poll: keeps the terminal's settings, installs the handlers and
// the exit step, and switches to the waiting mode. Nothing is done when
// standard input is not a terminal: no key can come from it.
void set_up_input() {
  key_input& in = input();
  if (in.set_up)
    return;
  in.set_up = true;
  in.from_terminal = isatty(STDIN_FILENO) == 1;
  if (!in.from_terminal)
    return;
  if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    wake_pipe[0] = wake_pipe[1] = -1;
  if (tcgetattr(STDIN_FILENO, &original_mode) == 0) {
    waiting_mode = original_mode;
    // Each byte as it comes, no echo. Signals stay on, so Ctrl+C, Ctrl+\ and
    // Ctrl+Z keep working; Enter gives CR and Ctrl+S, Ctrl+Q, Ctrl+V are keys.
    waiting_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    waiting_mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
    waiting_mode.c_cc[VMIN] = 0;
    waiting_mode.c_cc[VTIME] = 0;
    have_original_mode = 1;
  }
  // A signal that our parent set to be ignored stays ignored.
  const struct {
    int number;
    void (*handler)(int);
  } handlers[] = {{SIGINT, on_interrupt}, {SIGQUIT, on_interrupt}, {SIGTERM, on_close},
                  {SIGHUP, on_close},     {SIGTSTP, on_stop},      {SIGCONT, on_continue}};
  for (const auto& h : handlers) {
    if (!ignored_at_start(h.number))
      set_handler(h.number, h.handler);
  }
  std::atexit(leave_waiting_mode);
  with_signals_held([] {
    waiting = 1;
    apply_waiting_mode();
  });
}

// SIGHUP and SIGTERM that arrived since the last poll, each as Alt+F4.
void take_notifications(key_input& in) {
  std::array<char, 16> notes{};
  for (;;) {
    const ssize_t count = read(wake_pipe[0], notes.data(), notes.size());
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      return;
    for (ssize_t i = 0; i < count; ++i)
      in.queue.append(close_key);
  }
}

void hang_up(key_input& in) {
  // Treated like SIGHUP, which may have been ignored: the wait ends, and the
  // terminal is never read again, so nothing can spin on it.
  if (!in.hung_up)
    in.queue.append(close_key);
  in.hung_up = true;
}

// Reads what the terminal has, without ever waiting for more.
void read_terminal(key_input& in) {
  pollfd terminal{STDIN_FILENO, POLLIN, 0};
  if (poll(&terminal, 1, 0) <= 0)
    return;
  if ((terminal.revents & POLLIN) != 0) {
    const std::size_t room = in.pending.size() - in.pending_size;
    const ssize_t count = read(STDIN_FILENO, in.pending.data() + in.pending_size, room);
    if (count > 0) {
      in.pending_size += static_cast<std::size_t>(count);
      in.empty_reads = 0;
    } else if (count < 0 && errno != EINTR && errno != EAGAIN) {
      hang_up(in);  // EIO: the terminal has been hung up
    } else if (count == 0 && ++in.empty_reads >= empty_reads_of_a_dead_terminal) {
      // Readable yet empty: another reader (a shell, while this process was
      // stopped in the background) may have taken the bytes. Over and over,
      // it is a terminal at its end, and the wait must not spin on it.
      hang_up(in);
    }
  }
  if ((terminal.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
    hang_up(in);
}

// Turns the pending bytes into keys, keeping the start of an unfinished
// escape sequence for the next poll.
void decode_pending(key_input& in) {
  std::size_t start = 0;
  while (start < in.pending_size) {
    // A buffer filled by one unfinished sequence can take no more of it: what
    // it holds is decoded as it stands, so the wait always moves on.
    const bool full = in.pending_size == in.pending.size();
    const keys::decoded d = keys::decode_terminal_input(
        std::string_view(in.pending.data() + start, in.pending_size - start),
        in.pending_complete || full);
    if (d.what == keys::decoded::kind::need_more || d.consumed == 0)
      break;
    if (d.what == keys::decoded::kind::key)
      in.queue.append(d.key);
    start += d.consumed;
  }
  in.pending_complete = false;
  std::memmove(in.pending.data(), in.pending.data() + start, in.pending_size - start);
  in.pending_size -= start;
}

}  // namespace

void print_text(const text& t, ending end) {
  if (!t.empty())
    write_all(t.data(), t.size());
  if (end == ending::line_end)
    write_all("\r\n", 2);
}

text poll_key() {
  set_up_input();
  key_input& in = input();
  if (in.from_terminal) {
    take_notifications(in);
    if (!in.hung_up)
      read_terminal(in);
    decode_pending(in);
  }
  const std::optional<keys::key_code> key = in.queue.take();
  return key ? keys::key_text(*key) : text{};
}

std::int32_t await_key() {
  set_up_input();
  key_input& in = input();
  if (!in.queue.empty())
    return 0;
  if (!in.from_terminal || in.hung_up)
    return 1;
  pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
  // Without bytes pending the sleep has no end; with the start of an escape
  // sequence pending it lasts only as long as the rest may take to come.
  const int timeout = in.pending_size > 0 ? keys::escape_timeout_ms : -1;
  const int ready = poll(watched, 2, timeout);
  if (ready == 0)
    in.pending_complete = true;
  // A poll that cannot sleep at all would make the wait spin: give up instead.
  if (ready < 0 && errno != EINTR)
    return 1;
  return 0;
}

}  // namespace qmr
