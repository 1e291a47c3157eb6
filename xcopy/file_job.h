// The work on one file that any thread may do: the /d, /u checks and the copy,
// up to a finished temporary file or into place. Reporting it is left to the
// thread that keeps the output in order.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "xcopy/file_copier.h"
#include "xcopy/file_decision.h"
#include "xcopy/folder_state.h"
#include "xcopy/options.h"
#include "xcopy/temp_files.h"
#include "xcopy/time_comparison.h"

namespace xcopy {

struct file_job {
  // The file's folder; it outlives the job.
  folder_state* folder = nullptr;
  // The file's path relative to SOURCE; it ends in the file's name, which
  // starts at `name_offset`.
  std::string relative;
  std::size_t name_offset = 0;
  bool through_link = false;          // a link being followed to a file
  bool as_link = false;               // /b: the link itself is copied
  presence there = presence::absent;  // what the target folder's listing says

  // The verdict; set beforehand when the walk already decided (then it is a copy).
  decision verdict;
  bool decided = false;
  // How the copy went; with `prepared` the copy waits under `temp` to be put
  // in place by the thread that keeps the order.
  copy_result result;
  bool prepared = false;
  temp_files::name temp{};

  const char* name() const { return relative.c_str() + name_offset; }
  // The copy request for this file, for the steps after the preparation.
  copy_request request(const options& opts) const;
};

// Decides (unless already decided) and prepares the copy; with `commit` also
// puts it in place. When `abandoned` is set the run has stopped, and nothing is done.
void prepare_file_job(file_job& job, const options& opts, time_comparison& times,
                      temp_files::slot& slot, bool commit, const std::atomic<bool>& abandoned);

}  // namespace xcopy
