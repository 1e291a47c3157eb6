// Test helper: writes the command line it was started with and its arguments as
// the runtime parsed them, each followed by a zero byte, to the file that
// QMR_ECHO_OUTPUT names, and ends with the exit code that QMR_ECHO_EXIT gives
// (0 without it). The quoting tests start it through cmd.exe; the end-to-end
// tests put it in place of xcopy.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const char* path = std::getenv("QMR_ECHO_OUTPUT");
  if (path == nullptr)
    return 2;
  std::FILE* output = std::fopen(path, "wb");
  if (output == nullptr)
    return 3;
  const char* line = GetCommandLineA();
  std::fwrite(line, 1, std::strlen(line) + 1, output);
  for (int i = 1; i < argc; ++i)
    std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, output);
  if (std::fclose(output) != 0)
    return 4;
  const char* code = std::getenv("QMR_ECHO_EXIT");
  return code != nullptr ? std::atoi(code) : 0;
}
