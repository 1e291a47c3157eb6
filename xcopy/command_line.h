// Turns the copier's argument vector into its options.
#pragma once

#include <string>

#include "xcopy/options.h"

namespace xcopy {

// The outcome of reading the command line.
struct parsed_command_line {
  enum class outcome : std::uint8_t {
    run,    // `opts` is complete and valid
    help,   // /? was given: print the help and exit 0
    error,  // `message` says what is wrong; exit with exit_failed
  };
  outcome result = outcome::error;
  options opts;
  std::string message;  // e.g. "Invalid switch - /Z", "Invalid number of parameters"
};

// Reads argv[1..argc-1]. Switches are case-insensitive, may stand anywhere and
// may be joined; a token is a switch only when it parses completely as known
// switches, and "--" ends them. Reads the /exclude: files it names.
parsed_command_line parse_command_line(int argc, const char* const* argv);

// The text that /? prints: every switch, one line each.
const char* help_text();

}  // namespace xcopy
