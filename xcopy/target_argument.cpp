// Deciding whether TARGET is a folder or a file, asking when only the user knows.
#include "xcopy/target_argument.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "xcopy/paths.h"
#include "xcopy/prompts.h"
#include "xcopy/system_calls.h"

namespace xcopy {
namespace {

void as_folder(const std::string& target, bool exists, target_argument& out) {
  out.folder = target;
  out.file_name.clear();
  if (exists) {
    out.folder_fd.reset(sys::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
}

void as_file(const std::string& target, target_argument& out) {
  out.folder = parent_path(target);
  out.file_name = last_component(without_trailing_slashes(target));
  out.folder_fd.reset(sys::open(out.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

target_outcome resolve_target(const options& opts, source_argument::kind source, reporter& report,
                              target_argument& out) {
  const std::string& target = opts.target;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      as_folder(target, true, out);
      if (!out.folder_fd) {
        report.failed("Unable to open directory", target, errno, exit_failed);
        return target_outcome::failed;
      }
      return target_outcome::ready;
    }
    if (source == source_argument::kind::directory) {
      report.failed("Unable to create directory", target, EEXIST, exit_failed);
      return target_outcome::failed;
    }
    as_file(target, out);
    return target_outcome::ready;
  }
  if (errno != ENOENT) {
    const int error = errno;
    report.failed("Unable to create directory", target, error == ENOTDIR ? EEXIST : error,
                  exit_failed);
    return target_outcome::failed;
  }
  if (source == source_argument::kind::directory || target.ends_with('/') ||
      opts.new_target == missing_target::directory) {
    as_folder(target, false, out);
    return target_outcome::ready;
  }
  switch (ask_file_or_directory(target)) {
    case answer::file:
      as_file(target, out);
      return target_outcome::ready;
    case answer::directory:
      as_folder(target, false, out);
      return target_outcome::ready;
    default:
      report.failed_because("Cannot ask without a terminal",
                            "does " + target + " name a file or a directory? (/i: a directory)", "",
                            exit_interrupted);
      return target_outcome::unanswered;
  }
}

}  // namespace xcopy
