// One run of the copier, from its options to its exit code.
#pragma once

#include "xcopy/options.h"

namespace xcopy {

// Copies (or lists) what `opts` asks for and returns the run's exit code. Reads
// `opts` only; prints the per-file lines, error lines and the summary.
exit_code run_copy(const options& opts);

}  // namespace xcopy
