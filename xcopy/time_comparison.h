// When a source file counts as newer than its copy (/d), on target file systems
// that keep times to the nanosecond and on those that round them.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace xcopy {

// The rule: the source is newer when its modification time is later than the
// target's by more than the target file system can have rounded away. A copy
// gets the source's exact time, which the target file system may round down
// (whole seconds, 2-second FAT times, 100 ns); so a later time within that
// rounding is the same time, not a newer one, and an unchanged file is never
// copied again. Should a source be later within that rounding and differ in
// size, it was changed after its copy and counts as newer after all.
//
// The rounding is measured once per target file system on an unnamed file
// (O_TMPFILE, which adds no entry to any folder and vanishes when closed). Where
// that cannot be done, a target time with no fraction of a second is taken to
// be rounded by up to 2 seconds, the coarsest common rounding.
//
// One object serves every thread of a run; its measurements are kept under a lock.
class time_comparison {
 public:
  // Whether `source` is newer than `target`, which is in the open folder
  // `target_directory`. Safe to call from any thread.
  bool source_is_newer(const struct stat& source, const struct stat& target, int target_directory);

  // The largest amount, in nanoseconds, by which the file system that holds
  // `directory` rounds a modification time down: 0 for exact times, -1 when it
  // cannot be measured.
  static std::int64_t measure_rounding(int directory);

 private:
  struct measured {
    dev_t device;
    std::int64_t rounding;
  };
  std::mutex mutex_;             // guards known_
  std::vector<measured> known_;  // one entry per target file system met
};

// Nanoseconds since the epoch.
std::int64_t nanoseconds(const struct timespec& t);

}  // namespace xcopy
