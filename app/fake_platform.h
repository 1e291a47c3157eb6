// A scripted stand-in for the platform services, so the front end's tests can
// check every byte it prints, every directory it enters and every command it
// runs without a console, a file system or a command interpreter.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qmr::fake {

// Thrown by the fake end_program so a test regains control with the code.
struct program_ended {
  std::int32_t code;
};

// The world the fake services act on, and what they were asked to do.
struct world {
  // Directories that can be entered, as absolute paths without a trailing '/'.
  std::set<text> directories{"/"};
  // The current directory; the empty text stands for one the platform cannot report.
  text current = "/";
  // Keys that poll_key hands out, oldest first.
  std::deque<text> keys;
  // Keys that arrive during each await_key, one entry per call.
  std::deque<text> keys_during_wait;
  // What await_key returns once keys_during_wait is used up.
  std::int32_t await_result = 1;
  // What run_command returns for a non-empty line.
  std::int32_t command_result = 0;

  // Every byte print_text wrote.
  text output;
  // Every service call in order, as "name" or "name:argument".
  std::vector<text> calls;
  // Lines handed to run_command.
  std::vector<text> commands;
  // Number of polls and of waits.
  int polls = 0;
  int waits = 0;
};

// The world the fake services use; reset by each test.
world& the_world();

// Runs the program's entry with the arguments and returns its exit code.
std::int32_t run(const std::vector<text>& arguments);

}  // namespace qmr::fake
