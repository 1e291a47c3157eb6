// One file's work, as done by whichever thread takes it.
#include "xcopy/file_job.h"

#include <vector>

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

void run_file_jobs(file_job* jobs, std::size_t count, const options& opts, time_comparison& times,
                   temp_files::slot& slot, bool copy, const std::atomic<bool>& abandoned) {
  thread_local std::vector<decision_request> requests;
  thread_local std::vector<decision> verdicts;
  thread_local std::vector<file_job*> undecided;
  requests.clear();
  undecided.clear();
  for (std::size_t i = 0; i < count; ++i) {
    file_job& job = jobs[i];
    job.copied = false;
    job.result = {};
    if (job.decided) {
      continue;
    }
    decision_request request;
    request.source_directory = job.folder->source.get();
    request.source_name = job.name();
    request.through_link = job.through_link;
    request.target_directory = job.folder->target.get();
    request.target_name = job.name();
    request.there = job.there;
    requests.push_back(request);
    undecided.push_back(&job);
  }
  if (!abandoned.load(std::memory_order_relaxed) && !requests.empty()) {
    verdicts.resize(requests.size());
    decide_all(requests.data(), verdicts.data(), requests.size(), opts, times);
    for (std::size_t i = 0; i < undecided.size(); ++i) {
      undecided[i]->verdict = verdicts[i];
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    file_job& job = jobs[i];
    if (abandoned.load(std::memory_order_relaxed)) {
      job.verdict = {};  // a skip: nothing to report
      continue;
    }
    if (copy && job.verdict.what == decision::verdict::copy) {
      job.result = copy_file(job.request(opts), slot);
      job.copied = true;
    }
  }
}

}  // namespace xcopy
