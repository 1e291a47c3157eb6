// The walk: one folder at a time, its files in name order, then its
// subfolders in name order, with an explicit stack instead of recursion so
// that no depth of tree can exhaust the call stack.
#include "xcopy/tree_walker.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "xcopy/exclude_list.h"
#include "xcopy/file_copier.h"
#include "xcopy/file_decision.h"
#include "xcopy/file_job.h"
#include "xcopy/paths.h"
#include "xcopy/prompts.h"
#include "xcopy/system_calls.h"
#include "xcopy/temp_files.h"
#include "xcopy/wildcard.h"

namespace xcopy {
namespace {

constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Finished folders that may wait in the window before the walk waits for them:
// each keeps two descriptors open.
constexpr std::size_t max_folders_waiting = 64;

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

entry_kind kind_of_mode(mode_t mode) {
  if (S_ISREG(mode)) {
    return entry_kind::file;
  }
  if (S_ISDIR(mode)) {
    return entry_kind::directory;
  }
  if (S_ISLNK(mode)) {
    return entry_kind::link;
  }
  return entry_kind::special;
}

bool is_directory_kind(entry_kind kind) {
  return kind == entry_kind::directory || kind == entry_kind::dir_via_link;
}

// Files can be handed on as jobs when nothing about one file waits for the
// user and each file has a name of its own in the target.
bool files_as_jobs(const options& opts, const walk_plan& plan) {
  return opts.what == action::copy && opts.per_file == per_file_prompt::none &&
         opts.overwrite == overwrite_prompt::never_ask && plan.target_file_name.empty();
}

// Failures that copies running side by side may cause each other: one file
// finds the disk full (or the descriptors used up) because of another. Such a
// failure is tried again with nothing else running, as the file would have been
// copied by a single thread.
bool shared_resource_error(int error) {
  return error == ENOSPC || error == EDQUOT || error == EMFILE || error == ENFILE ||
         error == ENOMEM;
}

// Whether a copy failed in a way that copies running beside it may have caused.
bool failed_for_want_of_room(const file_job& job) {
  const copy_result& r = job.result;
  return job.copied &&
         (r.result == copy_result::outcome::target_failed ||
          r.result == copy_result::outcome::source_failed) &&
         shared_resource_error(r.error);
}

}  // namespace

tree_walker::tree_walker(const options& opts, reporter& report, walk_plan& plan,
                         std::size_t threads)
    : opts_(opts),
      report_(report),
      plan_(plan),
      jobs_(files_as_jobs(opts, plan)),
      keep_going_(opts.errors == on_error::continue_),
      window_(
          jobs_ && threads > 1 ? threads : 0,
          [this](work_item& item, temp_files::slot& slot, bool on_worker) {
            prepare(item, slot, on_worker);
          },
          [this](work_item& item, temp_files::slot& slot) { handle(item, slot); }) {
  // On a terminal each file's line shows as soon as the file is done, and
  // not when the files of its entry are.
  batch_limit_ = ::isatty(STDOUT_FILENO) == 1 ? 1 : work_item::max_files;
  // Creating the tree alone needs the subfolders, whatever /s says.
  recurse_ = plan_.only_name.empty() &&
             (opts_.recurse != recursion::top_only || opts_.what == action::tree_only);
}

void tree_walker::run() {
  frame root;
  root.dir = std::make_unique<folder_state>();
  folder_state& dir = *root.dir;
  dir.source = std::move(plan_.source_directory);
  if (::fstat(dir.source.get(), &dir.source_stat) != 0) {
    report_.failed("Unable to read", report_.source_path(""), errno, exit_failed);
    return;
  }
  if (!plan_.only_name.empty()) {
    root.entries.assign_single(plan_.only_name);
  } else if (const int error = root.entries.read(dir.source.get()); error != 0) {
    report_.failed("Unable to read", report_.source_path(""), error, exit_failed);
    return;
  }
  if (plan_.target_directory_fd) {
    dir.target = std::move(plan_.target_directory_fd);
    dir.state = target_state::existing;
    if (::fstat(dir.target.get(), &dir.target_stat) != 0) {
      dir.target_stat = {};
    }
  }
  frames_.push_back(std::move(root));
  if (frames_[0].dir->state == target_state::existing) {
    read_target(frames_[0]);
  }
  if (opts_.recurse == recursion::with_empty && opts_.what != action::list_only &&
      opts_.existing == target_filter::any && plan_.target_file_name.empty() &&
      plan_.only_name.empty()) {
    ensure_target(0);
  }
  process_files(0);

  while (!frames_.empty()) {
    const std::size_t top = frames_.size() - 1;
    frame& f = frames_[top];
    bool entered = false;
    while (recurse_ && !stopping() && f.dir->state != target_state::failed &&
           f.next_entry < f.entries.size()) {
      directory_listing::entry& entry = f.entries.at(f.next_entry++);
      if (is_directory_kind(entry.kind)) {
        const std::size_t before = frames_.size();
        enter_directory(top, entry);
        if (frames_.size() != before) {
          entered = true;
          break;
        }
      }
    }
    if (!entered) {
      finish(top);
    }
  }
  flush_batch();
  window_.finish_all();
}

bool tree_walker::is_selected_name(std::string_view name) const {
  // Our own temporary files are never copied, even with /h.
  if (temp_files::is_temp_name(name)) {
    return false;
  }
  return opts_.hidden == hidden_entries::include || !name.starts_with('.');
}

bool tree_walker::is_excluded_path(std::string_view relative, bool folder) const {
  if (opts_.excluded.empty()) {
    return false;
  }
  std::string path = report_.source_full_path(relative);
  if (folder) {
    path += '/';
  }
  return is_excluded(opts_.excluded, path);
}

bool tree_walker::classify(frame& f, directory_listing::entry& entry) {
  const char* name = f.entries.c_name(entry);
  const int source = f.dir->source.get();
  struct stat st {};
  if (entry.kind == entry_kind::unknown) {
    if (sys::fstatat(source, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      const int error = errno;
      failed("Unable to read", report_.source_path(relative_ + std::string(f.entries.name(entry))),
             error, exit_failed);
      return false;
    }
    entry.kind = kind_of_mode(st.st_mode);
  }
  if (entry.kind == entry_kind::link && opts_.links == symlinks::follow) {
    if (sys::fstatat(source, name, &st, 0) != 0) {
      entry.kind = entry_kind::dangling_link;
      entry.error = static_cast<std::uint8_t>(errno);
      return true;
    }
    switch (kind_of_mode(st.st_mode)) {
      case entry_kind::file:
        entry.kind = entry_kind::file_via_link;
        break;
      case entry_kind::directory:
        entry.kind = entry_kind::dir_via_link;
        break;
      default:
        entry.kind = entry_kind::special;
        break;
    }
  }
  return true;
}

void tree_walker::process_files(std::size_t index) {
  frame& f = frames_[index];
  for (std::size_t i = 0; i < f.entries.size(); ++i) {
    if (stopping() || f.dir->state == target_state::failed) {
      return;
    }
    directory_listing::entry& entry = f.entries.at(i);
    const std::string_view name = f.entries.name(entry);
    if (is_directory_kind(entry.kind) || !is_selected_name(name)) {
      continue;
    }
    if ((entry.kind == entry_kind::unknown || entry.kind == entry_kind::link) &&
        !classify(f, entry)) {
      continue;
    }
    if (is_directory_kind(entry.kind)) {
      continue;  // a link to a folder: the directory pass takes it
    }
    if (!plan_.pattern.empty() && !matches_wildcard(plan_.pattern, name)) {
      continue;
    }
    std::string relative = relative_ + std::string(name);
    if (is_excluded_path(relative, false)) {
      continue;
    }
    switch (entry.kind) {
      case entry_kind::special:
        skipped_special(std::move(relative));
        continue;
      case entry_kind::dangling_link:
        failed("Unable to follow link", report_.source_path(relative), entry.error, exit_failed);
        continue;
      default:
        consider_file(index, entry);
    }
  }
}

void tree_walker::consider_file(std::size_t index, directory_listing::entry& entry) {
  if (!jobs_) {
    consider_file_here(index, entry);
    return;
  }
  frame& f = frames_[index];
  folder_state& dir = *f.dir;
  const std::string_view name = f.entries.name(entry);
  const bool through_link = entry.kind == entry_kind::file_via_link;
  const bool as_link = entry.kind == entry_kind::link;  // only with /b is a link still a link
  presence there = presence::absent;
  if (dir.state == target_state::existing) {
    there = !f.target_listed                  ? presence::unknown
            : f.target_entries.contains(name) ? presence::present
                                              : presence::absent;
  }

  // A folder that is not there yet is created only for a file that is copied,
  // and a folder of ours without write access is opened up only then: the walk
  // decides such files itself. Any other file is decided by the job.
  decision verdict;
  const bool decide_here = dir.state == target_state::missing || needs_widening(dir);
  if (decide_here) {
    decision_request request;
    request.source_directory = dir.source.get();
    request.source_name = f.entries.c_name(entry);
    request.through_link = through_link;
    request.target_directory = dir.target ? dir.target.get() : -1;
    request.target_name = request.source_name;
    request.there = there;
    verdict = decide(request, opts_, times_);
    if (verdict.what == decision::verdict::skip) {
      return;
    }
    // A failure is reported in its turn, as a job that has already been decided.
    if (verdict.what != decision::verdict::fail && !ensure_target(index)) {
      return;
    }
  }
  file_job& job = add_job(dir);
  job.relative = relative_;
  job.relative += name;
  job.name_offset = relative_.size();
  job.through_link = through_link;
  job.as_link = as_link;
  job.there = there;
  job.decided = decide_here;
  job.verdict = verdict;
  if (verdict.what == decision::verdict::fail && !keep_going_) {
    halted_ = true;
  }
  if (batch_->file_count >= batch_limit_) {
    flush_batch();
  }
}

file_job& tree_walker::add_job(folder_state& folder) {
  // An entry holds the files of one folder, so that the threads spread over folders.
  if (batch_ != nullptr && batch_->jobs[0].folder != &folder) {
    flush_batch();
  }
  if (batch_ == nullptr) {
    batch_ = &window_.next();
    batch_->what = work_item::kind::files;
  }
  file_job& job = batch_->add_file();
  job.folder = &folder;
  return job;
}

void tree_walker::flush_batch() {
  if (batch_ != nullptr) {
    batch_ = nullptr;
    window_.append(true);
  }
}

void tree_walker::consider_file_here(std::size_t index, directory_listing::entry& entry) {
  frame& f = frames_[index];
  const std::string_view name = f.entries.name(entry);
  const std::string relative = relative_ + std::string(name);
  const bool file_mode = !plan_.target_file_name.empty();
  const std::size_t target_index = file_mode ? 0 : index;
  frame& t = frames_[target_index];
  folder_state& target_dir = *t.dir;
  const std::string target_name = file_mode ? plan_.target_file_name : std::string(name);
  const std::string target_relative = file_mode ? std::string() : relative;
  const bool as_link = entry.kind == entry_kind::link;  // only with /b is a link still a link
  const bool through_link = entry.kind == entry_kind::file_via_link;

  // What the target folder's names say; TARGET as a file is looked up every
  // time, since the previous file may have just created it.
  decision_request request;
  request.source_directory = f.dir->source.get();
  request.source_name = f.entries.c_name(entry);
  request.through_link = through_link;
  request.target_directory = target_dir.target ? target_dir.target.get() : -1;
  request.target_name = target_name.c_str();
  if (file_mode || (target_dir.state == target_state::existing && !t.target_listed)) {
    request.there = presence::unknown;
  } else if (target_dir.state == target_state::existing && t.target_entries.contains(target_name)) {
    request.there = presence::present;
  }
  const decision verdict = decide(request, opts_, times_);
  if (verdict.what == decision::verdict::skip) {
    return;
  }
  if (verdict.what == decision::verdict::fail) {
    report_decision_failure(verdict, relative, target_relative);
    return;
  }
  const bool target_exists = verdict.target_exists;

  if (opts_.what == action::list_only) {
    report_.copied(relative, target_relative);
    return;
  }
  if (opts_.what == action::copy && opts_.per_file == per_file_prompt::ask) {
    const std::string shown = report_.source_path(relative);
    const answer a = ask_copy(shown);
    if (a == answer::unanswerable) {
      report_.failed_because("Cannot ask without a terminal", shown, "", exit_interrupted);
      report_.stop(exit_interrupted);
      return;
    }
    if (a == answer::no) {
      return;
    }
  }
  if (opts_.what == action::copy && target_exists && opts_.overwrite == overwrite_prompt::ask &&
      !overwrite_all_) {
    const std::string shown = report_.target_path(target_relative);
    const answer a = ask_overwrite(shown);
    if (a == answer::unanswerable) {
      report_.failed_because("Cannot ask without a terminal", "Overwrite " + shown, "",
                             exit_interrupted);
      report_.stop(exit_interrupted);
      return;
    }
    if (a == answer::no) {
      return;
    }
    if (a == answer::all) {
      overwrite_all_ = true;
    }
  }
  if (!ensure_target(target_index) || opts_.what == action::tree_only) {
    return;
  }

  copy_request copy;
  copy.source_directory = f.dir->source.get();
  copy.source_name = f.entries.c_name(entry);
  copy.through_link = through_link;
  copy.as_link = as_link;
  copy.target_directory = target_dir.target.get();
  copy.target_name = target_name.c_str();
  copy.permissions = opts_.permissions;
  copy.verify = opts_.verify;
  const copy_result result = copy_file(copy, temp_files::slot_at(0));
  if (result.result == copy_result::outcome::copied) {
    target_dir.modified = true;
  }
  report_copy_result(result, relative, target_relative);
}

void tree_walker::report_copy_result(const copy_result& result, std::string_view relative,
                                     std::string_view target_relative) {
  switch (result.result) {
    case copy_result::outcome::copied:
      report_.copied(relative, target_relative);
      return;
    case copy_result::outcome::special:
      report_.skipped_special(relative);
      return;
    case copy_result::outcome::source_failed:
      report_.failed("Unable to read", report_.source_path(relative), result.error, exit_failed);
      return;
    case copy_result::outcome::target_failed:
      report_.failed("Unable to write", report_.target_path(target_relative), result.error,
                     target_failure_code(result.error));
      return;
    case copy_result::outcome::differs:
      report_.failed_because("Verify failed", report_.target_path(target_relative),
                             "the copy differs from its source", exit_write_error);
      return;
  }
}

void tree_walker::report_decision_failure(const decision& verdict, std::string_view relative,
                                          std::string_view target_relative) {
  const std::string source = report_.source_path(relative);
  const std::string target = report_.target_path(target_relative);
  switch (verdict.why) {
    case decision::failure::source_unreadable:
      report_.failed("Unable to read", source, verdict.error, exit_failed);
      return;
    case decision::failure::target_unreadable:
      report_.failed("Unable to read", target, verdict.error, exit_failed);
      return;
    case decision::failure::target_is_folder:
      report_.failed("Unable to create file", target, EISDIR, exit_failed);
      return;
    case decision::failure::same_file:
      report_.failed_because("File cannot be copied onto itself", source, "", exit_failed);
      return;
    case decision::failure::read_only_target:
      report_.failed_because("Access denied", target, "read-only file", exit_failed);
      return;
    case decision::failure::none:
      return;
  }
}

void tree_walker::enter_directory(std::size_t index, directory_listing::entry& entry) {
  const std::string name(frames_[index].entries.name(entry));
  if (!is_selected_name(name)) {
    return;
  }
  const std::string relative = relative_ + name;
  // Every path below a folder starts with the folder's path and a '/', so a
  // string found in that already excludes all of it.
  if (is_excluded_path(relative, true)) {
    return;
  }
  // Each folder waiting to be finished keeps descriptors open; let some go first.
  flush_batch();
  while (folders_waiting_ >= max_folders_waiting) {
    window_.make_progress();
  }
  frame child;
  child.dir = std::make_unique<folder_state>();
  folder_state& dir = *child.dir;
  dir.name = name;
  {
    const folder_state& parent = *frames_[index].dir;
    const int follow = entry.kind == entry_kind::dir_via_link ? 0 : O_NOFOLLOW;
    dir.source.reset(sys::openat(parent.source.get(), name.c_str(), directory_flags | follow));
  }
  if (!dir.source || ::fstat(dir.source.get(), &dir.source_stat) != 0) {
    failed("Unable to read", report_.source_path(relative), errno, exit_failed);
    return;
  }
  // A folder that is one of its own ancestors (through a link or a bind
  // mount), or that is the target folder itself, would be copied forever.
  const folder_state& root = *frames_[0].dir;
  const bool cyclic =
      std::any_of(frames_.begin(), frames_.end(),
                  [&](const frame& f) { return same_file(f.dir->source_stat, dir.source_stat); }) ||
      (plan_.target_file_name.empty() && root.target &&
       same_file(root.target_stat, dir.source_stat));
  if (cyclic) {
    failed_because("Cannot perform a cyclic copy", report_.source_path(relative), "", exit_failed);
    return;
  }
  if (const int error = child.entries.read(dir.source.get()); error != 0) {
    failed("Unable to read", report_.source_path(relative), error, exit_failed);
    return;
  }

  const frame& parent = frames_[index];
  if (!plan_.target_file_name.empty()) {
    dir.state = target_state::none;
  } else if (parent.dir->state == target_state::existing &&
             (!parent.target_listed || parent.target_entries.contains(name))) {
    if (!open_existing_target(dir, parent.dir->target.get(), relative)) {
      if (dir.state == target_state::failed) {
        return;
      }
    } else if (same_file(dir.target_stat, dir.source_stat)) {
      failed_because("Cannot perform a cyclic copy", report_.source_path(relative), "",
                     exit_failed);
      return;
    }
  }
  // /u only replaces files the target has, so a folder it lacks has none.
  if (dir.state == target_state::missing && opts_.existing == target_filter::existing_only) {
    return;
  }

  child.relative_length = relative_.size();
  relative_ += name;
  relative_ += '/';
  frames_.push_back(std::move(child));
  const std::size_t top = frames_.size() - 1;
  if (frames_[top].dir->state == target_state::existing) {
    read_target(frames_[top]);
  }
  if (opts_.recurse == recursion::with_empty && opts_.what != action::list_only &&
      frames_[top].dir->state != target_state::none) {
    ensure_target(top);
  }
  process_files(top);
}

bool tree_walker::open_existing_target(folder_state& f, int parent_fd, std::string_view relative) {
  f.target.reset(sys::openat(parent_fd, f.name.c_str(), directory_flags | O_NOFOLLOW));
  if (!f.target) {
    const int error = errno;
    if (error == ENOENT) {
      return false;
    }
    f.state = target_state::failed;
    if (error == ENOTDIR || error == ELOOP) {
      // A file or a link where the source has a folder: nothing of it is touched.
      failed("Unable to create directory", report_.target_path(relative), EEXIST, exit_failed);
    } else {
      failed("Unable to open directory", report_.target_path(relative), error, exit_failed);
    }
    return false;
  }
  if (::fstat(f.target.get(), &f.target_stat) != 0) {
    f.target_stat = {};
  }
  f.state = target_state::existing;
  return true;
}

void tree_walker::read_target(frame& f) {
  folder_state& dir = *f.dir;
  if (f.target_entries.read(dir.target.get()) != 0) {
    f.target_entries.clear();
    return;  // entries are then looked up one by one
  }
  f.target_listed = true;
  if (opts_.what == action::list_only) {
    return;
  }
  for (std::size_t i = 0; i < f.target_entries.size(); ++i) {
    const directory_listing::entry& e = f.target_entries.at(i);
    if (temp_files::is_temp_name(f.target_entries.name(e)) && settle() &&
        ::unlinkat(dir.target.get(), f.target_entries.c_name(e), 0) == 0) {
      dir.modified = true;
    }
  }
}

bool tree_walker::ensure_target(std::size_t index) {
  folder_state& f = *frames_[index].dir;
  switch (f.state) {
    case target_state::existing:
      if (needs_widening(f)) {
        if (!settle()) {
          return false;
        }
        make_writable(f);
      }
      return true;
    case target_state::created:
      return true;
    case target_state::failed:
    case target_state::none:
      return false;
    case target_state::missing:
      break;
  }
  if (!settle()) {
    return false;
  }
  if (index == 0) {
    return create_target_root(f);
  }
  if (!ensure_target(index - 1)) {
    f.state = target_state::failed;
    return false;
  }
  folder_state& parent = *frames_[index - 1].dir;
  const std::string relative = relative_.substr(0, frames_[index].relative_length) + f.name;
  // Owner rwx at first, so the run can fill it; the finish sets the source's bits.
  if (sys::mkdirat(parent.target.get(), f.name.c_str(), (f.source_stat.st_mode & 0777) | 0700) !=
      0) {
    const int error = errno;
    if (error == EEXIST) {
      // Made since the parent was read: use it if it is a folder.
      if (open_existing_target(f, parent.target.get(), relative)) {
        if (needs_widening(f)) {
          make_writable(f);
        }
        return true;
      }
      f.state = target_state::failed;
      return false;
    }
    f.state = target_state::failed;
    failed("Unable to create directory", report_.target_path(relative), error,
           target_failure_code(error));
    return false;
  }
  parent.modified = true;
  f.target.reset(sys::openat(parent.target.get(), f.name.c_str(), directory_flags | O_NOFOLLOW));
  if (!f.target) {
    f.state = target_state::failed;
    failed("Unable to open directory", report_.target_path(relative), errno, exit_failed);
    return false;
  }
  f.state = target_state::created;
  return true;
}

bool tree_walker::create_target_root(folder_state& f) {
  // TARGET and its missing parents, like mkdir -p, with the usual mode: they
  // are not copies of any source folder.
  const std::string& path = plan_.target_directory;
  std::vector<std::string> missing;
  std::string at = path;
  struct stat st {};
  while (::stat(at.c_str(), &st) != 0 && errno == ENOENT) {
    missing.push_back(at);
    const std::string up = parent_path(at);
    if (up == at) {
      break;
    }
    at = up;
  }
  for (auto p = missing.rbegin(); p != missing.rend(); ++p) {
    if (::mkdir(p->c_str(), plan_.new_directory_mode) != 0 && errno != EEXIST) {
      const int error = errno;
      f.state = target_state::failed;
      failed("Unable to create directory", report_.target_path(""), error,
             target_failure_code(error));
      return false;
    }
  }
  f.target.reset(sys::open(path.c_str(), directory_flags));
  if (!f.target) {
    const int error = errno;
    f.state = target_state::failed;
    failed("Unable to create directory", report_.target_path(""), error == ENOTDIR ? EEXIST : error,
           exit_failed);
    return false;
  }
  if (::fstat(f.target.get(), &f.target_stat) != 0) {
    f.target_stat = {};
  }
  f.state = target_state::created;
  return true;
}

bool tree_walker::needs_widening(const folder_state& f) {
  // Root needs no write bit; anyone else can change only their own folders.
  constexpr mode_t owner_wx = S_IWUSR | S_IXUSR;
  return f.state == target_state::existing && !f.made_writable &&
         (f.target_stat.st_mode & owner_wx) != owner_wx && ::geteuid() != 0 &&
         f.target_stat.st_uid == ::geteuid();
}

void tree_walker::make_writable(folder_state& f) {
  constexpr mode_t owner_wx = S_IWUSR | S_IXUSR;
  if (sys::fchmod(f.target.get(), (f.target_stat.st_mode & 07777) | owner_wx) == 0) {
    f.made_writable = true;
  }
}

void tree_walker::finish(std::size_t index) {
  frame& f = frames_[index];
  std::string relative =
      index == 0 ? std::string() : relative_.substr(0, f.relative_length) + f.dir->name;
  relative_.resize(f.relative_length);
  std::unique_ptr<folder_state> dir = std::move(f.dir);
  frames_.pop_back();
  flush_batch();
  if (window_.empty()) {
    finish_folder(*dir, relative);
    return;
  }
  // The folder's files may still be being copied: it is finished in its turn.
  work_item& item = window_.next();
  item.what = work_item::kind::finish;
  item.folder = std::move(dir);
  item.relative = std::move(relative);
  ++folders_waiting_;
  window_.append(false);
}

void tree_walker::finish_folder(folder_state& f, const std::string& relative) {
  const bool copy_of_source = !relative.empty() && f.target &&
                              (f.state == target_state::created || f.modified) &&
                              f.state != target_state::none;
  if (copy_of_source) {
    // Bits last but one and times last, once nothing more goes into the folder.
    const mode_t wanted = f.source_stat.st_mode & 0777;
    if (f.state == target_state::created && wanted != (wanted | 0700) &&
        sys::fchmod(f.target.get(), wanted) != 0) {
      report_.failed("Unable to set permissions", report_.target_path(relative), errno,
                     exit_failed);
    }
    const struct timespec times[2] = {f.source_stat.st_atim, f.source_stat.st_mtim};
    if (sys::futimens(f.target.get(), times) != 0) {
      report_.failed("Unable to set times", report_.target_path(relative), errno, exit_failed);
    }
  }
  if (f.made_writable) {
    sys::fchmod(f.target.get(), f.target_stat.st_mode & 07777);
  }
}

void tree_walker::failed(std::string_view what, std::string path, int error, exit_code code) {
  walk_message message;
  message.what = walk_message::kind::failed;
  message.text = what;
  message.path = std::move(path);
  message.error = error;
  message.code = code;
  post_message(std::move(message));
}

void tree_walker::failed_because(std::string_view what, std::string path, std::string_view reason,
                                 exit_code code) {
  walk_message message;
  message.what = walk_message::kind::failed_because;
  message.text = what;
  message.path = std::move(path);
  message.reason = reason;
  message.code = code;
  post_message(std::move(message));
}

void tree_walker::skipped_special(std::string relative) {
  walk_message message;
  message.what = walk_message::kind::skipped_special;
  message.path = std::move(relative);
  post_message(std::move(message));
}

void tree_walker::post_message(walk_message message) {
  const bool failure = message.what != walk_message::kind::skipped_special;
  if (failure && !keep_going_) {
    halted_ = true;  // the walk goes no further; the error still waits for its turn
  }
  flush_batch();
  work_item& item = window_.next();
  item.what = work_item::kind::message;
  item.message = std::move(message);
  window_.append(false);
}

bool tree_walker::settle() {
  if (!keep_going_ && !all_handled()) {
    flush_batch();
    window_.finish_all();
  }
  return !report_.stopped();
}

void tree_walker::prepare(work_item& item, temp_files::slot& slot, bool on_worker) {
  // With /c no error ends the run, so a worker makes its copies at once.
  // Without it nothing may be written after an error that ends the run, so
  // workers only judge the files ahead and each copy is made in its turn.
  run_file_jobs(item.jobs.data(), item.file_count, opts_, times_, slot, keep_going_, abandoned_);
  for (std::size_t i = 0; i < item.file_count; ++i) {
    item.jobs[i].alongside = on_worker && item.jobs[i].copied;
  }
}

void tree_walker::handle(work_item& item, temp_files::slot& slot) {
  switch (item.what) {
    case work_item::kind::files:
      for (std::size_t i = 0; i < item.file_count; ++i) {
        handle_file(item.jobs[i], slot);
      }
      break;
    case work_item::kind::message: {
      const walk_message& m = item.message;
      if (report_.stopped()) {
        break;
      }
      switch (m.what) {
        case walk_message::kind::failed:
          report_.failed(m.text, m.path, m.error, m.code);
          break;
        case walk_message::kind::failed_because:
          report_.failed_because(m.text, m.path, m.reason, m.code);
          break;
        case walk_message::kind::skipped_special:
          report_.skipped_special(m.path);
          break;
      }
      break;
    }
    case work_item::kind::finish:
      --folders_waiting_;
      finish_folder(*item.folder, item.relative);
      break;
  }
  if (report_.stopped()) {
    abandoned_.store(true, std::memory_order_relaxed);
  }
}

void tree_walker::handle_file(file_job& job, temp_files::slot& slot) {
  // Everything after an error that ended the run is dropped unseen.
  if (report_.stopped() || job.verdict.what == decision::verdict::skip) {
    return;
  }
  if (job.verdict.what == decision::verdict::fail) {
    report_decision_failure(job.verdict, job.relative, job.relative);
  } else {
    if (!job.copied) {
      job.result = copy_file(job.request(opts_), slot);
    } else if (job.alongside && failed_for_want_of_room(job)) {
      // Copies beside it may have taken the room: from now on one copy at a
      // time, and this one again, as a single thread would have made it.
      window_.go_alone();
      job.result = copy_file(job.request(opts_), slot);
    }
    if (job.result.result == copy_result::outcome::copied) {
      job.folder->modified = true;
    }
    report_copy_result(job.result, job.relative, job.relative);
  }
  if (report_.stopped()) {
    abandoned_.store(true, std::memory_order_relaxed);
  }
}

}  // namespace xcopy
