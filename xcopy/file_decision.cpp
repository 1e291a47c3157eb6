// The filters and checks one file passes before it is copied.
#include "xcopy/file_decision.h"

#include <fcntl.h>

#include <cerrno>
#include <vector>

#include "xcopy/stat_batch.h"

namespace xcopy {
namespace {

decision failed(decision::failure why, int error = 0) {
  decision d;
  d.what = decision::verdict::fail;
  d.why = why;
  d.error = error;
  return d;
}

decision skipped() {
  return {};
}

// What a judgement must look up: the source entry, the target entry, or neither.
struct lookups {
  bool source = false;
  bool target = false;
};

lookups needed(const decision_request& request, const options& opts) {
  const presence there = request.target_directory < 0 ? presence::absent : request.there;
  if (opts.existing == target_filter::existing_only && there == presence::absent) {
    return {};
  }
  lookups l;
  l.source = opts.dates == date_filter::modified_since || there != presence::absent;
  l.target = there != presence::absent;
  return l;
}

int source_flags(const decision_request& request) {
  return request.through_link ? 0 : AT_SYMLINK_NOFOLLOW;
}

// The judgement once the lookups are made: `source_error` and `target_error`
// are 0 (with the entry in `source` or `target`) or the lookup's errno.
decision judge(const decision_request& request, const options& opts, time_comparison& times,
               const lookups& looked, int source_error, const struct stat& source, int target_error,
               const struct stat& target) {
  presence there = request.target_directory < 0 ? presence::absent : request.there;
  const bool existing_only = opts.existing == target_filter::existing_only;
  if (existing_only && there == presence::absent) {
    return skipped();
  }
  if (looked.source && source_error != 0) {
    return failed(decision::failure::source_unreadable, source_error);
  }
  if (opts.dates == date_filter::modified_since && source.st_mtim.tv_sec < opts.modified_since) {
    return skipped();
  }
  if (looked.target) {
    if (target_error == 0) {
      there = presence::present;
    } else if (target_error == ENOENT) {
      there = presence::absent;
    } else {
      return failed(decision::failure::target_unreadable, target_error);
    }
  }
  if (existing_only && there == presence::absent) {
    return skipped();
  }
  decision d;
  d.what = decision::verdict::copy;
  if (there == presence::present) {
    d.target_exists = true;
    if (S_ISDIR(target.st_mode)) {
      return failed(decision::failure::target_is_folder, EISDIR);
    }
    if (source.st_dev == target.st_dev && source.st_ino == target.st_ino) {
      return failed(decision::failure::same_file);
    }
    if (opts.dates == date_filter::newer_than_target &&
        !times.source_is_newer(source, target, request.target_directory)) {
      return skipped();
    }
    if (S_ISREG(target.st_mode) && (target.st_mode & S_IWUSR) == 0 &&
        opts.read_only == read_only_targets::refuse) {
      return failed(decision::failure::read_only_target);
    }
  }
  return d;
}

}  // namespace

decision decide(const decision_request& request, const options& opts, time_comparison& times) {
  const lookups looked = needed(request, opts);
  struct stat source {};
  struct stat target {};
  int source_error = 0;
  int target_error = 0;
  if (looked.source) {
    source_error =
        look_up(request.source_directory, request.source_name, source_flags(request), source);
    if (source_error != 0) {
      // The target is not looked at for a source that cannot be.
      return judge(request, opts, times, looked, source_error, source, 0, target);
    }
  }
  if (looked.target) {
    target_error =
        look_up(request.target_directory, request.target_name, AT_SYMLINK_NOFOLLOW, target);
  }
  return judge(request, opts, times, looked, source_error, source, target_error, target);
}

void decide_all(const decision_request* requests, decision* verdicts, std::size_t count,
                const options& opts, time_comparison& times) {
  thread_local stat_batch batch;
  thread_local std::vector<lookups> looked;
  thread_local std::vector<std::size_t> first_lookup;
  batch.clear();
  looked.resize(count);
  first_lookup.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const decision_request& r = requests[i];
    looked[i] = needed(r, opts);
    first_lookup[i] = 0;
    if (looked[i].source) {
      first_lookup[i] = batch.add(r.source_directory, r.source_name, source_flags(r));
    }
    if (looked[i].target) {
      const std::size_t at = batch.add(r.target_directory, r.target_name, AT_SYMLINK_NOFOLLOW);
      if (!looked[i].source) {
        first_lookup[i] = at;
      }
    }
  }
  batch.run();
  for (std::size_t i = 0; i < count; ++i) {
    struct stat source {};
    struct stat target {};
    int source_error = 0;
    int target_error = 0;
    std::size_t at = first_lookup[i];
    if (looked[i].source) {
      source_error = batch.result(at++, source);
    }
    if (looked[i].target) {
      target_error = batch.result(at, target);
    }
    verdicts[i] =
        judge(requests[i], opts, times, looked[i], source_error, source, target_error, target);
  }
}

}  // namespace xcopy
