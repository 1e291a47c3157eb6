// The /exclude: list reader on any file contents: every string it returns is
// a non-empty piece of one line of the input, without line ends, and each
// one then matches the path it was taken from.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "xcopy/exclude_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string contents(reinterpret_cast<const char*>(data), size);
  for (const std::string& excluded : xcopy::exclude_strings(contents)) {
    if (excluded.empty() || excluded.find('\n') != std::string::npos)
      std::abort();
    if (contents.find(excluded) == std::string::npos)
      std::abort();  // not from the file
    const std::string path = "/some/where/" + excluded + "/file";
    if (!xcopy::is_excluded({excluded}, path))
      std::abort();
  }
  return 0;
}
