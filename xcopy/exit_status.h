// The run's exit code so far: the highest code met.
#pragma once

#include "xcopy/options.h"

namespace xcopy {

// Keeps the higher of `code` and the code met so far. Safe to call from any thread.
void fold_exit_code(exit_code code);

// The highest code met so far. Async-signal-safe, so that an interrupted run can
// still end with it.
exit_code folded_exit_code();

}  // namespace xcopy
