// The questions the copier may ask. Each is asked only when standard input is a
// terminal; without one, the answer is `unanswerable` at once and the run ends
// with exit code 2 rather than guess or wait.
#pragma once

#include <cstdint>
#include <string_view>

namespace xcopy {

enum class answer : std::uint8_t {
  yes,
  no,
  all,           // "Overwrite ... (Yes/No/All)?": yes to this and every later file
  file,          // "(F = file, D = directory)?": TARGET names a file
  directory,     // ... TARGET names a directory
  unanswerable,  // no terminal, or it reported the end of input
};

// "Overwrite PATH (Yes/No/All)?" before an existing target file is replaced (/-y).
answer ask_overwrite(std::string_view target_path);

// "PATH (Y/N)?" before each file (/p).
answer ask_copy(std::string_view source_path);

// Whether a TARGET that does not exist names a file or a directory.
answer ask_file_or_directory(std::string_view target);

// "Press any key when ready to begin copying file(s)" (/w). Returns yes once a
// key was pressed.
answer wait_before_start();

}  // namespace xcopy
