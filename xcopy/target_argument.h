// What TARGET names: the folder the copies go into, or one file.
#pragma once

#include <cstdint>
#include <string>

#include "xcopy/options.h"
#include "xcopy/report.h"
#include "xcopy/source_argument.h"
#include "xcopy/unique_fd.h"

namespace xcopy {

struct target_argument {
  // The folder the copies go into: TARGET, or TARGET's folder when TARGET names a file.
  std::string folder;
  // Open when the folder exists; otherwise the walk creates it when first needed.
  unique_fd folder_fd;
  // When TARGET names a file: its name in `folder`; empty otherwise.
  std::string file_name;
};

enum class target_outcome : std::uint8_t {
  ready,       // `out` is filled in
  failed,      // reported; the run copies nothing
  unanswered,  // the file-or-folder question could not be asked; reported
};

// Works out what TARGET is. An existing folder is the folder; an existing file
// is the file (unless SOURCE is a folder, which is an error). A TARGET that does
// not exist is a folder when SOURCE is a folder (its contents can go nowhere
// else), when TARGET ends in '/', or with /i; otherwise the user is asked.
target_outcome resolve_target(const options& opts, source_argument::kind source, reporter& report,
                              target_argument& out);

}  // namespace xcopy
