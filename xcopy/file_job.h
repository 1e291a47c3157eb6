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
  // How the copy went, once `copied` says it was made; `alongside` when a
  // worker made it while other work ran beside it.
  copy_result result;
  bool copied = false;
  bool alongside = false;

  const char* name() const { return relative.c_str() + name_offset; }
  // The copy request for this file.
  copy_request request(const options& opts) const;
};

// Decides the jobs the walk has not decided (all together, see decide_all)
// and, with `copy`, makes their copies one after another, in order. Once
// `abandoned` is set the run has stopped, and what is left is not done.
void run_file_jobs(file_job* jobs, std::size_t count, const options& opts, time_comparison& times,
                   temp_files::slot& slot, bool copy, const std::atomic<bool>& abandoned);

}  // namespace xcopy
