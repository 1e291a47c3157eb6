// The wording of the questions and how typed answers are read.
#include "xcopy/prompts.h"

#include <optional>
#include <string>

#include "xcopy/console.h"
#include "xcopy/paths.h"
#include "xcopy/progress.h"
#include "xcopy/terminal.h"

namespace xcopy {
namespace {

struct choice {
  char key;  // the answer's first letter, lower case
  answer meaning;
};

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Puts the question until a line starts with one of the choices' letters (blanks
// before it are allowed; "yes", "Y" and "y" all answer yes).
template <std::size_t n>
answer ask_on_terminal(const std::string& question, const choice (&choices)[n]) {
  for (;;) {
    console::write_prompt(question);
    const std::optional<std::string> line = terminal::read_line();
    if (!line) {
      console::write_prompt("\n");
      return answer::unanswerable;
    }
    const std::size_t first = line->find_first_not_of(" \t\r");
    if (first != std::string::npos) {
      for (const choice& c : choices) {
        if (lower((*line)[first]) == c.key) {
          return c.meaning;
        }
      }
    }
  }
}

// The progress line keeps away while the question waits.
template <std::size_t n>
answer ask(const std::string& question, const choice (&choices)[n]) {
  if (!terminal::available()) {
    return answer::unanswerable;
  }
  progress::hold();
  const answer given = ask_on_terminal(question, choices);
  progress::release();
  return given;
}

}  // namespace

answer ask_overwrite(std::string_view target_path) {
  static constexpr choice choices[] = {{'y', answer::yes}, {'n', answer::no}, {'a', answer::all}};
  return ask("Overwrite " + printable(target_path) + " (Yes/No/All)? ", choices);
}

answer ask_copy(std::string_view source_path) {
  static constexpr choice choices[] = {{'y', answer::yes}, {'n', answer::no}};
  return ask(printable(source_path) + " (Y/N)? ", choices);
}

answer ask_file_or_directory(std::string_view target) {
  static constexpr choice choices[] = {{'f', answer::file}, {'d', answer::directory}};
  return ask("Does " + printable(target) +
                 " specify a file name\nor directory name on the target\n"
                 "(F = file, D = directory)? ",
             choices);
}

answer wait_before_start() {
  if (!terminal::available()) {
    return answer::unanswerable;
  }
  console::write_prompt("Press any key when ready to begin copying file(s)");
  const bool pressed = terminal::wait_for_key();
  console::write_prompt("\n");
  return pressed ? answer::yes : answer::unanswerable;
}

}  // namespace xcopy
