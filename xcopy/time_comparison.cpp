// The /d comparison and the measurement of a file system's time rounding.
#include "xcopy/time_comparison.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "xcopy/system_calls.h"
#include "xcopy/unique_fd.h"

namespace xcopy {
namespace {

constexpr std::int64_t billion = 1'000'000'000;

// What is assumed when nothing could be measured: a time with no fraction of a
// second may have lost up to 2 seconds (FAT); a finer one, nothing.
std::int64_t assumed_rounding(const struct timespec& target) {
  return target.tv_nsec == 0 ? 2 * billion - 1 : 0;
}

}  // namespace

std::int64_t nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * billion + t.tv_nsec;
}

std::int64_t time_comparison::measure_rounding(int directory) {
  unique_fd probe(sys::openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (!probe) {
    return -1;
  }
  // An odd second, so that 2-second rounding shows; fractions near both ends
  // and the middle, so that rounding down, to the nearest and up all show.
  constexpr std::int64_t second = 1'000'000'001;
  std::int64_t rounding = 0;
  for (const long fraction : {999'999'999L, 500'000'000L, 1L}) {
    const struct timespec set { static_cast<time_t>(second), fraction };
    const struct timespec times[2] = {set, set};
    struct stat got {};
    if (sys::futimens(probe.get(), times) != 0 || ::fstat(probe.get(), &got) != 0) {
      return -1;
    }
    rounding = std::max(rounding, nanoseconds(set) - nanoseconds(got.st_mtim));
  }
  return rounding;
}

bool time_comparison::source_is_newer(const struct stat& source, const struct stat& target,
                                      int target_directory) {
  const std::int64_t later_by = nanoseconds(source.st_mtim) - nanoseconds(target.st_mtim);
  if (later_by <= 0) {
    return false;
  }
  if (source.st_size != target.st_size) {
    return true;
  }
  std::int64_t measured_rounding = 0;
  {
    // Measured while the lock is held, so that a file system is measured once.
    const std::lock_guard lock(mutex_);
    auto found = std::find_if(known_.begin(), known_.end(),
                              [&](const measured& m) { return m.device == target.st_dev; });
    if (found == known_.end()) {
      known_.push_back({target.st_dev, measure_rounding(target_directory)});
      found = known_.end() - 1;
    }
    measured_rounding = found->rounding;
  }
  const std::int64_t rounding =
      measured_rounding >= 0 ? measured_rounding : assumed_rounding(target.st_mtim);
  return later_by > rounding;
}

}  // namespace xcopy
