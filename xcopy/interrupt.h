// What happens when a signal ends the run: temporary files are removed, the
// terminal is restored, and the run ends with its exit code.
#pragma once

#include <signal.h>

namespace xcopy {

// Installs the handlers. SIGINT, SIGTERM and SIGHUP end the run with code 2 (or
// the higher code already met). Other signals that would end the process first
// remove the temporary files, then take their default action. SIGPIPE is
// ignored (a closed output stream does not stop the copy) and so is SIGXFSZ (a
// file size limit becomes a write error for that file).
void install_interrupt_handlers();

// Blocks, on the calling thread, every signal but the faults (a crash still
// reaches the handler on the thread that crashed), so that threads started
// before the returned mask is put back leave the signals that end the run to
// the main thread, which prints and removes temporary files.
sigset_t block_run_ending_signals();

}  // namespace xcopy
