// Whether one source file is copied, judged against what the target holds.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>

#include "xcopy/options.h"
#include "xcopy/time_comparison.h"

namespace xcopy {

// What the target folder's listing says about a file's copy.
enum class presence : std::uint8_t {
  absent,   // the folder does not have the name (or does not exist yet)
  present,  // the folder has the name
  unknown,  // not listed: look it up
};

// One file to judge. Folders are open descriptors, so the judgement is a
// self-contained piece of work that any thread may run.
struct decision_request {
  int source_directory = -1;
  const char* source_name = nullptr;
  bool through_link = false;  // the entry is a link being followed
  int target_directory = -1;  // -1 while the target folder does not exist
  const char* target_name = nullptr;
  presence there = presence::absent;
};

struct decision {
  enum class verdict : std::uint8_t {
    skip,  // a filter leaves it out (/d, /d:date, /u): nothing to say
    copy,  // copy it
    fail,  // it cannot be copied: `why` and `error`
  };
  enum class failure : std::uint8_t {
    none,
    source_unreadable,  // the source could not be looked at: `error`
    target_unreadable,  // the target entry could not be looked at: `error`
    target_is_folder,   // the target has a folder where the source has a file
    same_file,          // source and target are the same file
    read_only_target,   // the target file lacks the owner's write bit, and no /r
  };
  verdict what = verdict::skip;
  failure why = failure::none;
  int error = 0;
  bool target_exists = false;  // a copy would replace a file (for /-y)
};

// Applies /d, /d:date and /u and the checks against the target entry. Looks at
// the source only when it must: for a new file the copy itself opens it.
decision decide(const decision_request& request, const options& opts, time_comparison& times);

// The same for many files at once, the entries looked up together (see
// stat_batch): `verdicts[i]` is decide(requests[i]).
void decide_all(const decision_request* requests, decision* verdicts, std::size_t count,
                const options& opts, time_comparison& times);

}  // namespace xcopy
