// Hands the tree copy to the platform's xcopy utility through the command
// interpreter and frames its output.
#include "app/frontend.h"

namespace qmr {
namespace {

constexpr char command_head[] = "xcopy /s /c /d /e /h /i /r /y ";
constexpr char separator[] = " ";
constexpr char framing_line[] = " ";

}  // namespace

text compose_copy_command(const text& source, const text& target) {
  // Quoted, each path reaches the utility as one argument whatever it holds:
  // blanks do not split it and metacharacters run nothing.
  return command_head + quote_argument(source) + separator + quote_argument(target);
}

void copy_run(const text& source, const text& target) {
  print_text(framing_line, ending::line_end);
  const std::int32_t result = run_command(compose_copy_command(source, target));
  print_text(framing_line, ending::line_end);
  // A copy that failed is not reported as success: its own code is passed on.
  wait_key_and_exit(result == 0 ? exit_copied : result);
}

}  // namespace qmr
