// Walks up from TARGET through ".." looking for SOURCE.
#include "xcopy/cyclic_check.h"

#include <fcntl.h>

#include "xcopy/paths.h"
#include "xcopy/system_calls.h"
#include "xcopy/unique_fd.h"

namespace xcopy {
namespace {

constexpr int lookup_flags = O_PATH | O_DIRECTORY | O_CLOEXEC;

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool is_same_or_inside(const std::string& path, const struct stat& source) {
  std::string at = path;
  unique_fd folder(sys::open(at.c_str(), lookup_flags));
  while (!folder) {
    const std::string up = parent_path(at);
    if (up == at) {
      return false;
    }
    at = up;
    folder.reset(sys::open(at.c_str(), lookup_flags));
  }
  struct stat here {};
  if (::fstat(folder.get(), &here) != 0) {
    return false;
  }
  for (;;) {
    if (same_file(here, source)) {
      return true;
    }
    unique_fd parent(sys::openat(folder.get(), "..", lookup_flags));
    struct stat above {};
    if (!parent || ::fstat(parent.get(), &above) != 0 || same_file(above, here)) {
      return false;  // the root, or a folder whose parent cannot be looked at
    }
    folder = std::move(parent);
    here = above;
  }
}

}  // namespace xcopy
