// How many threads copy files: QMR_XCOPY_THREADS, or one per processor core.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace xcopy {

// The most threads a run uses, whatever is asked for.
inline constexpr std::size_t max_copy_threads = 64;

// Reads a QMR_XCOPY_THREADS value: a whole number from 1 up (larger ones are
// cut to max_copy_threads), surrounding blanks allowed. Anything else is no value.
std::optional<std::size_t> parse_thread_count(std::string_view text);

// The threads this run copies with: the environment's setting when it is valid,
// else the number of processor cores this process may run on. 1 means the main
// thread does all the work and no other thread is started.
std::size_t copy_threads();

}  // namespace xcopy
