// The program's own logic, from its entry to its exit code. Every run ends in
// wait_key_and_exit, with the code that the step which ended it chose.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qmr {

// The program's exit codes. 3 and 87 are the platform's ERROR_PATH_NOT_FOUND and
// ERROR_INVALID_PARAMETER; a copy that failed ends with the copy command's own
// code instead of 0.
inline constexpr std::int32_t exit_copied = 0;
inline constexpr std::int32_t exit_path_not_found = 3;
inline constexpr std::int32_t exit_invalid_parameter = 87;

// The entry: keeps the arguments, prints the banner and goes on to path
// validation when exactly two arguments were given. Never returns.
[[noreturn]] void run_program(std::int32_t count, const char* const* vector);

// Prints the usage text, naming the program as argument 0 has it.
void print_usage();

// Prints the exit prompt, waits for a key press (at once when no key can ever
// arrive) and ends the process with the code. Never returns.
[[noreturn]] void wait_key_and_exit(std::int32_t code);

// 0 when the path can be entered as a directory, 1 when it cannot. Returns to
// the directory that was current before, so that later relative paths are
// resolved from the same place.
std::int32_t probe_directory(const text& path);

// Probes the source and then the target; names what is missing and ends with
// code 3, or goes on to the copy run. Never returns.
[[noreturn]] void validate_paths(const text& source, const text& target);

// The command line that has the copy utility copy the source tree into the
// target, each path quoted for the command interpreter.
text compose_copy_command(const text& source, const text& target);

// Runs the copy between two framing lines and ends with the command's code.
// Never returns.
[[noreturn]] void copy_run(const text& source, const text& target);

}  // namespace qmr
