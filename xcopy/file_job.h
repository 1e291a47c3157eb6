// The work on one file that any thread may do: the /d and /u checks, and,
// where nothing can end the run early, the copy itself. Reporting it is left
// to the thread that keeps the output in order.
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
  // How the copy went, once `copied` says it was made.
  copy_result result;
  bool copied = false;

  const char* name() const { return relative.c_str() + name_offset; }
  // The copy request for this file.
  copy_request request(const options& opts) const;
};

// Decides the job (unless the walk did) and, with `copy`, makes the copy. When
// `abandoned` is set the run has stopped, and nothing is done.
void run_file_job(file_job& job, const options& opts, time_comparison& times,
                  temp_files::slot& slot, bool copy, const std::atomic<bool>& abandoned);

}  // namespace xcopy
