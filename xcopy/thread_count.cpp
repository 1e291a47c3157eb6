// The number of copying threads.
#include "xcopy/thread_count.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace xcopy {

std::optional<std::size_t> parse_thread_count(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  std::size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    // Anything beyond the cap is the cap; stop counting before it could overflow.
    value =
        std::min<std::size_t>(value * 10 + static_cast<std::size_t>(c - '0'), max_copy_threads + 1);
  }
  if (value == 0) {
    return std::nullopt;
  }
  return std::min(value, max_copy_threads);
}

std::size_t copy_threads() {
  if (const char* setting = std::getenv("QMR_XCOPY_THREADS")) {
    if (const auto parsed = parse_thread_count(setting)) {
      return *parsed;
    }
  }
  // The cores this process may run on, which a container or taskset may limit
  // below the cores the machine has.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  long cores = 0;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    cores = CPU_COUNT(&allowed);
  }
  if (cores <= 0) {
    cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  }
  return std::clamp<std::size_t>(cores > 0 ? static_cast<std::size_t>(cores) : 1, 1,
                                 max_copy_threads);
}

}  // namespace xcopy
