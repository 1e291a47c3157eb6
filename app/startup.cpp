// The program's entry, the usage text and the exit prompt that every run ends in.
#include "app/frontend.h"

namespace qmr {
namespace {

constexpr char banner[] = "\r\n -QMR - Quillmere- \r\n";
constexpr char usage_head[] = "\r\n  Usage:\r\n  ";
constexpr char usage_tail[] = " <SourcePath> <TargetPath>";
constexpr char usage_end[] = "\r\n";
constexpr char exit_prompt[] = "Press any Key to exit . . .";

}  // namespace

void run_program(std::int32_t count, const char* const* vector) {
  keep_arguments(count, vector);
  print_text(banner, ending::line_end);
  // Too few and too many arguments are treated alike: nothing is probed or run.
  if (count != 3) {
    print_usage();
    wait_key_and_exit(exit_invalid_parameter);
  }
  validate_paths(program_argument(1), program_argument(2));
}

void print_usage() {
  // Built whole first so that it goes out in one write.
  const text usage = usage_head + program_argument(0) + usage_tail + usage_end;
  print_text(usage, ending::line_end);
}

void wait_key_and_exit(std::int32_t code) {
  print_text(exit_prompt, ending::none);
  // A key pressed while the program was still working ends the wait at once;
  // between empty polls the wait sleeps instead of spinning.
  while (poll_key().empty()) {
    if (await_key() != 0) {
      break;  // no key can ever arrive: standard input is not a terminal
    }
  }
  end_program(code);
}

}  // namespace qmr
