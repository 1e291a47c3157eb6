// What SOURCE names: a folder, one file, or a pattern in a folder.
#pragma once

#include <cstdint>
#include <string>

#include "xcopy/options.h"

namespace xcopy {

struct source_argument {
  enum class kind : std::uint8_t {
    directory,  // its contents are copied
    file,       // this one file (or, with /b, this one link)
    pattern,    // the files whose names match, in the folder (and, with /s, below it)
  };
  kind what = kind::directory;
  // The folder to open and walk: SOURCE itself, or the folder part of a file or pattern.
  std::string folder;
  // For a file, its name in `folder`; for a pattern, the pattern.
  std::string name;
  // What the output lines start with: SOURCE as given for a folder, and the
  // folder part as written for a file or pattern ("" for one in the current folder).
  std::string shown_base;
};

// Works out what `source` names. An existing path is taken as it is, even if
// it has * or ? in it; otherwise a * or ? in the last component makes it a
// pattern, whose folder must exist. Links are followed (the user named it),
// except that with /b a link to something that is not a folder is the file to
// copy. Returns 0, or the errno explaining why `source` names nothing usable
// (ENOENT for one that is not there).
int resolve_source(const std::string& source, symlinks links, source_argument& out);

}  // namespace xcopy
