// Signal handling: every handler only calls async-signal-safe functions.
#include "xcopy/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "xcopy/console.h"
#include "xcopy/exit_status.h"
#include "xcopy/progress.h"
#include "xcopy/temp_files.h"
#include "xcopy/terminal.h"

namespace xcopy {
namespace {

void clean_up() {
  temp_files::remove_all_from_signal();
  terminal::restore_from_signal();
  progress::erase_from_signal();
  console::flush_from_signal();
}

// Ctrl+C, SIGTERM, SIGHUP: the run is interrupted.
void on_interrupt(int) {
  clean_up();
  const exit_code code = folded_exit_code();
  ::_exit(code > exit_interrupted ? code : exit_interrupted);
}

// Any other signal that would end the process: clean up, then let it act as
// it would have (a core dump for SIGQUIT or SIGSEGV, for instance).
void on_fatal(int signal_number) {
  clean_up();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigfillset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal_number, &action, nullptr);
}

}  // namespace

void install_interrupt_handlers() {
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
    install(s, on_interrupt);
  }
  for (const int s : {SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGABRT, SIGSEGV,
                      SIGBUS, SIGFPE, SIGILL, SIGXCPU}) {
    install(s, on_fatal);
  }
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

sigset_t block_run_ending_signals() {
  sigset_t blocked;
  sigset_t before;
  sigfillset(&blocked);
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS}) {
    sigdelset(&blocked, fault);
  }
  ::pthread_sigmask(SIG_BLOCK, &blocked, &before);
  return before;
}

}  // namespace xcopy
