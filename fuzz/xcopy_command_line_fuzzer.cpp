// The copier's command-line parser on any argument vector: either a clear
// message (and the run ends with code 4) or a complete, valid options
// structure, never both and never a crash.
//
// The input is split at zero bytes into arguments, as the kernel hands them to
// a program. The parser looks at the file system to tell paths from switches,
// so the fuzzer runs in an empty scratch directory.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "xcopy/command_line.h"

namespace {

bool starts_with_any(const std::string& message) {
  for (const std::string_view known : {"Invalid switch - ", "Invalid number of parameters",
                                       "Invalid path - ", "Can't read file: "}) {
    if (message.starts_with(known))
      return true;
  }
  return false;
}

void check(bool condition) {
  if (!condition)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char scratch[] = "/tmp/qmr-fuzz-cli-XXXXXX";
  if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0)
    std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments{"xcopy"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  using outcome = xcopy::parsed_command_line::outcome;
  const xcopy::parsed_command_line parsed =
      xcopy::parse_command_line(static_cast<int>(arguments.size()), argv.data());
  switch (parsed.result) {
    case outcome::error:
      // The message may quote the offending word, newlines and all; the
      // program shows its control bytes as \xHH when it prints it.
      check(starts_with_any(parsed.message));
      break;
    case outcome::help:
      check(parsed.message.empty());
      break;
    case outcome::run: {
      const xcopy::options& o = parsed.opts;
      check(parsed.message.empty());
      check(!o.source.empty() && !o.target.empty());
      check(o.dates == xcopy::date_filter::modified_since || o.modified_since == 0);
      for (const std::string& excluded : o.excluded)
        check(!excluded.empty());
      break;
    }
  }
  return 0;
}
