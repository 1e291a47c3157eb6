// The run: works out SOURCE and TARGET, refuses a copy into itself, then walks.
#include "xcopy/copy_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "xcopy/cyclic_check.h"
#include "xcopy/interrupt.h"
#include "xcopy/progress.h"
#include "xcopy/prompts.h"
#include "xcopy/report.h"
#include "xcopy/source_argument.h"
#include "xcopy/system_calls.h"
#include "xcopy/target_argument.h"
#include "xcopy/thread_count.h"
#include "xcopy/tree_walker.h"

namespace xcopy {
namespace {

// The walk keeps two folders open per level; a deep tree needs the most the
// system allows.
void raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

std::string current_directory() {
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) : std::string("/");
}

}  // namespace

exit_code run_copy(const options& opts) {
  install_interrupt_handlers();
  raise_descriptor_limit();
  // Copies get exactly the bits they are created with; TARGET and the parents
  // made for it still follow the user's umask.
  const mode_t user_mask = ::umask(0);

  source_argument source;
  const int source_error = resolve_source(opts.source, opts.links, source);
  reporter report(opts, {source_error == 0 ? source.shown_base : opts.source, opts.target,
                         current_directory()});
  if (source_error != 0) {
    if (source_error == ENOENT || source_error == ENOTDIR) {
      report.failed_because("File not found", opts.source, "", exit_failed);
    } else {
      report.failed("Unable to read", opts.source, source_error, exit_failed);
    }
    report.stop(exit_failed);
    return report.finish();
  }
  walk_plan plan;
  plan.source_directory.reset(sys::open(source.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat source_folder {};
  if (!plan.source_directory || ::fstat(plan.source_directory.get(), &source_folder) != 0) {
    report.failed("Unable to read", opts.source, errno, exit_failed);
    report.stop(exit_failed);
    return report.finish();
  }

  target_argument target;
  if (const target_outcome outcome = resolve_target(opts, source.what, report, target);
      outcome != target_outcome::ready) {
    report.stop(outcome == target_outcome::unanswered ? exit_interrupted : exit_failed);
    return report.finish();
  }
  // A single file's folder is not copied, so only a folder or pattern can be cyclic.
  if (source.what != source_argument::kind::file &&
      is_same_or_inside(target.file_name.empty() ? target.folder : opts.target, source_folder)) {
    report.failed_message("Cannot perform a cyclic copy", exit_failed);
    report.stop(exit_failed);
    return report.finish();
  }
  if (opts.before_start == start_prompt::wait_for_key &&
      wait_before_start() == answer::unanswerable) {
    report.failed_message("Cannot ask without a terminal - press a key to begin", exit_interrupted);
    report.stop(exit_interrupted);
    return report.finish();
  }

  if (source.what == source_argument::kind::file) {
    plan.only_name = source.name;
  } else if (source.what == source_argument::kind::pattern) {
    plan.pattern = source.name;
  }
  plan.target_directory = target.folder;
  plan.target_directory_fd = std::move(target.folder_fd);
  plan.target_file_name = target.file_name;
  plan.new_directory_mode = 0777 & ~user_mask;
  progress::start();
  tree_walker(opts, report, plan, copy_threads()).run();
  progress::stop();
  return report.finish();
}

}  // namespace xcopy
