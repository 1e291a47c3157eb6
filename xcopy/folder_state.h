// One folder of the source tree and its counterpart in the target.
#pragma once

#include <sys/stat.h>

#include <string>

#include "xcopy/unique_fd.h"

namespace xcopy {

// Where a source folder's copies go, as far as the run knows.
enum class target_state : unsigned char {
  missing,   // not there yet: created when something needs it
  existing,  // was there before the run; open
  created,   // created by this run; open
  failed,    // could not be created or opened: nothing goes into it
  none,      // no folder of its own (TARGET names a file)
};

// A folder lives as long as anything refers to it: the walk while it is inside
// it, copies of its files still in progress after the walk has moved on, and
// the finishing of the folder (bits and times) once all of those are done.
struct folder_state {
  std::string name;  // the folder's name in its parent ("" for the root)
  unique_fd source;
  struct stat source_stat {};
  target_state state = target_state::missing;
  unique_fd target;
  struct stat target_stat {};  // for an existing target folder
  bool modified = false;       // this run added or replaced an entry in it
  bool made_writable = false;  // the owner's rwx were added for the run: put back
};

}  // namespace xcopy
