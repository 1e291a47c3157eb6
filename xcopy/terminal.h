// Reading answers from the terminal. Nothing here ever reads from a stream that
// is not a terminal, so a run without one can never wait for an answer.
#pragma once

#include <optional>
#include <string>

namespace xcopy::terminal {

// Whether standard input is a terminal that a question can be put to.
bool available();

// One line typed on the terminal, without its line end. Nothing when there is
// no terminal or it reports the end of input (Ctrl+D).
std::optional<std::string> read_line();

// Waits for one key press, without echo and without Enter. False when there is
// no terminal or it reports the end of input.
bool wait_for_key();

// Puts back the terminal settings that wait_for_key changed, if it is waiting.
// Async-signal-safe, for the interrupt handler.
void restore_from_signal();

}  // namespace xcopy::terminal
