// What happens when a signal ends the run: temporary files are removed, the
// terminal is restored, and the run ends with its exit code.
#pragma once

namespace xcopy {

// Installs the handlers. SIGINT, SIGTERM and SIGHUP end the run with code 2 (or
// the higher code already met). Other signals that would end the process first
// remove the temporary files, then take their default action. SIGPIPE is
// ignored (a closed output stream does not stop the copy) and so is SIGXFSZ (a
// file size limit becomes a write error for that file).
void install_interrupt_handlers();

}  // namespace xcopy
