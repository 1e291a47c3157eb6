// The filters and checks one file passes before it is copied.
#include "xcopy/file_decision.h"

#include "xcopy/system_calls.h"

#include <fcntl.h>

#include <cerrno>

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

}  // namespace

decision decide(const decision_request& request, const options& opts, time_comparison& times) {
  presence there = request.target_directory < 0 ? presence::absent : request.there;
  const bool existing_only = opts.existing == target_filter::existing_only;
  if (existing_only && there == presence::absent) {
    return skipped();
  }

  struct stat source {};
  const bool need_source = opts.dates == date_filter::modified_since || there != presence::absent;
  if (need_source && sys::fstatat(request.source_directory, request.source_name, &source,
                                  request.through_link ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
    return failed(decision::failure::source_unreadable, errno);
  }
  if (opts.dates == date_filter::modified_since && source.st_mtim.tv_sec < opts.modified_since) {
    return skipped();
  }

  struct stat target {};
  if (there != presence::absent) {
    if (sys::fstatat(request.target_directory, request.target_name, &target, AT_SYMLINK_NOFOLLOW) ==
        0) {
      there = presence::present;
    } else if (errno == ENOENT) {
      there = presence::absent;
    } else {
      return failed(decision::failure::target_unreadable, errno);
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

}  // namespace xcopy
