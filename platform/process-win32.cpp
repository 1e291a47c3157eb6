// Directories, the command interpreter and the end of the process on Windows.
#include <direct.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/cmd_quote.h"
#include "platform/platform.h"

namespace qmr {

text current_directory() {
  // Asked with too small a buffer, the system reports the size it needs; the
  // directory may change in between, so ask until it fits.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0)
      return {};
    if (length < buffer.size())
      return text(buffer.data(), length);
    buffer.resize(length);
  }
}

std::int32_t change_directory(const text& path) {
  if (path.empty())
    return -1;
  return _chdir(path.c_str());
}

text quote_argument(const text& argument) {
  return quote_for_cmd(argument);
}

std::int32_t run_command(const text& line) {
  if (line.empty())
    return -1;
  return std::system(line.c_str());
}

void end_program(std::int32_t code) {
  std::exit(code);
}

}  // namespace qmr
