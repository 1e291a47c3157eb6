// The xcopy stand-in: reads the command line, then runs the copy.
#include <cstdio>

#include "xcopy/command_line.h"
#include "xcopy/copy_run.h"
#include "xcopy/paths.h"

int main(int argc, char** argv) {
  const xcopy::parsed_command_line parsed = xcopy::parse_command_line(argc, argv);
  switch (parsed.result) {
    case xcopy::parsed_command_line::outcome::help:
      std::fputs(xcopy::help_text(), stdout);
      return xcopy::exit_ok;
    case xcopy::parsed_command_line::outcome::error:
      // The message may quote a word of the command line: its control bytes
      // are shown as \xHH so that the message stays one line.
      std::fprintf(stderr, "%s\n", xcopy::printable(parsed.message).c_str());
      return xcopy::exit_failed;
    case xcopy::parsed_command_line::outcome::run:
      break;
  }
  return xcopy::run_copy(parsed.opts);
}
