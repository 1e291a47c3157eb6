// One file's work, as done by whichever thread takes it.
#include "xcopy/file_job.h"

namespace xcopy {

copy_request file_job::request(const options& opts) const {
  copy_request copy;
  copy.source_directory = folder->source.get();
  copy.source_name = name();
  copy.through_link = through_link;
  copy.as_link = as_link;
  copy.target_directory = folder->target.get();
  copy.target_name = name();
  copy.permissions = opts.permissions;
  copy.verify = opts.verify;
  return copy;
}

void run_file_job(file_job& job, const options& opts, time_comparison& times,
                  temp_files::slot& slot, bool copy, const std::atomic<bool>& abandoned) {
  job.copied = false;
  job.result = {};
  if (abandoned.load(std::memory_order_relaxed)) {
    job.verdict = {};  // a skip: nothing to report
    return;
  }
  if (!job.decided) {
    decision_request request;
    request.source_directory = job.folder->source.get();
    request.source_name = job.name();
    request.through_link = job.through_link;
    request.target_directory = job.folder->target.get();
    request.target_name = job.name();
    request.there = job.there;
    job.verdict = decide(request, opts, times);
  }
  if (copy && job.verdict.what == decision::verdict::copy) {
    job.result = copy_file(job.request(opts), slot);
    job.copied = true;
  }
}

}  // namespace xcopy
