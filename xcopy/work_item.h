// One entry of a run's output order: files to copy (consecutive files of one
// folder, worked by one thread one after another), a message the walk
// produced, or a folder to finish once everything before it is done.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  // The most files in one entry: enough that handing them on costs little per
  // file, few enough that the threads share a folder's files out.
  static constexpr std::size_t max_files = 32;

  enum class kind : std::uint8_t { files, message, finish };
  kind what = kind::files;
  // kind::files: jobs[0, file_count); the vector keeps its jobs for reuse.
  std::vector<file_job> jobs;
  std::size_t file_count = 0;
  walk_message message;                  // kind::message
  std::unique_ptr<folder_state> folder;  // kind::finish: the folder to finish
  std::string relative;                  // kind::finish: its path relative to SOURCE

  // The next job of a kind::files entry, its inputs to be filled in.
  file_job& add_file() {
    if (file_count == jobs.size()) {
      jobs.emplace_back();
    }
    file_job& added = jobs[file_count++];
    added.relative.clear();
    added.copied = false;
    added.alongside = false;
    added.decided = false;
    added.verdict = {};
    added.result = {};
    return added;
  }

  // Makes the entry reusable; strings keep their memory, a folder is closed.
  void reset() {
    file_count = 0;
    message.text.clear();
    message.path.clear();
    message.reason.clear();
    folder.reset();
    relative.clear();
  }
};

}  // namespace xcopy
