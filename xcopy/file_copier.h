// Copies one file (or, with /b, one symbolic link) into its target folder: under
// a temporary name first, renamed over the final name only when the data,
// permission bits and times are in place.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "xcopy/options.h"
#include "xcopy/temp_files.h"

namespace xcopy {

// Everything one copy needs. It refers to folders by open descriptors only, so
// a copy is a self-contained piece of work that any thread may run.
struct copy_request {
  int source_directory = -1;
  const char* source_name = nullptr;
  // The entry is a symbolic link being followed, so it is opened through the link.
  bool through_link = false;
  // /b and the entry is a link: the link itself is copied.
  bool as_link = false;
  int target_directory = -1;
  const char* target_name = nullptr;
  permission_bits permissions = permission_bits::add_owner_write;
  verification verify = verification::none;
};

struct copy_result {
  enum class outcome : std::uint8_t {
    copied,
    special,        // the entry turned out not to be a regular file; nothing was done
    source_failed,  // opening or reading the source failed: `error`
    target_failed,  // creating, writing or renaming the copy failed: `error`
    differs,        // /v: the copy read back differs from the source
  };
  outcome result = outcome::copied;
  int error = 0;
};

// The permission bits of a copy of a file with mode `source_mode`.
mode_t copy_mode(mode_t source_mode, permission_bits permissions);

// Copies one entry. The temporary file is recorded in `slot` while it exists,
// so that an interrupt removes it; on failure it is removed here.
copy_result copy_file(const copy_request& request, temp_files::slot& slot);

}  // namespace xcopy
