// Refusing to copy a folder into itself.
#pragma once

#include <sys/stat.h>

#include <string>

namespace xcopy {

// Whether the folder at `path` is the folder `source` or inside it, after
// links are resolved; a `path` that does not exist yet is judged by its
// deepest existing folder. Folders are compared by device and inode while
// walking up through "..", so a bind mount of the source is caught as well.
bool is_same_or_inside(const std::string& path, const struct stat& source);

}  // namespace xcopy
