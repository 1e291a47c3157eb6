// The argument vector, kept as the platform's start-up produced it. The same on
// every platform: the start-up code has already parsed (and on Windows
// expanded) the command line by the time main() runs.
#include <vector>

#include "platform/platform.h"

namespace qmr {
namespace {

std::vector<text>& kept() {
  static std::vector<text> arguments;
  return arguments;
}

}  // namespace

void keep_arguments(std::int32_t count, const char* const* vector) {
  kept().assign(vector, vector + (count > 0 ? count : 0));
}

text program_argument(std::int32_t n) {
  const std::vector<text>& arguments = kept();
  return n >= 0 && static_cast<std::size_t>(n) < arguments.size() ? arguments[n] : text{};
}

}  // namespace qmr
