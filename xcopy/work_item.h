// One entry of a run's output order: a file to copy, a message the walk
// produced, or a folder to finish once everything before it is done.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "xcopy/file_job.h"
#include "xcopy/folder_state.h"
#include "xcopy/options.h"

namespace xcopy {

// A report the walk made, kept until everything before it has been reported.
struct walk_message {
  enum class kind : std::uint8_t {
    failed,          // reporter::failed(what, path, error, code)
    failed_because,  // reporter::failed_because(what, path, reason, code)
    skipped_special  // reporter::skipped_special(path), path relative to SOURCE
  };
  kind what = kind::failed;
  std::string text;  // the "what" of a failure
  std::string path;
  std::string reason;
  int error = 0;
  exit_code code = exit_ok;
};

struct work_item {
  enum class kind : std::uint8_t { file, message, finish };
  kind what = kind::file;
  file_job job;                          // kind::file
  walk_message message;                  // kind::message
  std::unique_ptr<folder_state> folder;  // kind::finish: the folder to finish
  std::string relative;                  // kind::finish: its path relative to SOURCE

  // Makes the entry reusable; strings keep their memory, a folder is closed.
  void reset() {
    job.relative.clear();
    job.copied = false;
    job.decided = false;
    job.folder = nullptr;
    message.text.clear();
    message.path.clear();
    message.reason.clear();
    folder.reset();
    relative.clear();
  }
};

}  // namespace xcopy
