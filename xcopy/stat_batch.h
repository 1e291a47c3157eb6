// Looks up many directory entries at once: through io_uring where the kernel
// and the build offer it (one system call for the whole batch instead of one
// per entry, which is what a re-run with nothing to do mostly costs), else
// with one fstatat each.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <vector>

namespace xcopy {

// One lookup on its own (fstatat, made again when interrupted): 0 with
// `result` filled in, or the errno.
int look_up(int directory, const char* name, int flags, struct stat& result);

class stat_batch {
 public:
  // Adds a lookup of `name` (which must stay valid until run() returns) in the
  // open folder `directory`, with fstatat's `flags`; returns its number.
  std::size_t add(int directory, const char* name, int flags);
  // Makes every lookup added since the last clear().
  void run();
  // The outcome of lookup `index`: 0 with `result` filled in, or the errno.
  int result(std::size_t index, struct stat& result) const;
  void clear() { lookups_.clear(); }

 private:
  struct lookup {
    int directory;
    const char* name;
    int flags;
    int error;
    struct stat result;
  };
  std::vector<lookup> lookups_;
};

}  // namespace xcopy
