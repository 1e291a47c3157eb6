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
#include "xcopy/paths.h"
#include "xcopy/prompts.h"
#include "xcopy/system_calls.h"
#include "xcopy/temp_files.h"
#include "xcopy/wildcard.h"

namespace xcopy {
namespace {

constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

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

}  // namespace

tree_walker::tree_walker(const options& opts, reporter& report, walk_plan& plan)
    : opts_(opts), report_(report), plan_(plan) {
  // Creating the tree alone needs the subfolders, whatever /s says.
  recurse_ = plan_.only_name.empty() &&
             (opts_.recurse != recursion::top_only || opts_.what == action::tree_only);
}

void tree_walker::run() {
  frame root;
  root.source = std::move(plan_.source_directory);
  if (::fstat(root.source.get(), &root.source_stat) != 0) {
    report_.failed("Unable to read", report_.source_path(""), errno, exit_failed);
    return;
  }
  if (!plan_.only_name.empty()) {
    root.entries.assign_single(plan_.only_name);
  } else if (const int error = root.entries.read(root.source.get()); error != 0) {
    report_.failed("Unable to read", report_.source_path(""), error, exit_failed);
    return;
  }
  if (plan_.target_directory_fd) {
    root.target = std::move(plan_.target_directory_fd);
    root.state = target_state::existing;
    if (::fstat(root.target.get(), &root.target_stat) != 0) {
      root.target_stat = {};
    }
  }
  frames_.push_back(std::move(root));
  if (frames_[0].state == target_state::existing) {
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
    while (recurse_ && !report_.stopped() && f.state != target_state::failed &&
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
  struct stat st {};
  if (entry.kind == entry_kind::unknown) {
    if (sys::fstatat(f.source.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      const int error = errno;
      report_.failed("Unable to read",
                     report_.source_path(relative_ + std::string(f.entries.name(entry))), error,
                     exit_failed);
      return false;
    }
    entry.kind = kind_of_mode(st.st_mode);
  }
  if (entry.kind == entry_kind::link && opts_.links == symlinks::follow) {
    if (sys::fstatat(f.source.get(), name, &st, 0) != 0) {
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
    if (report_.stopped() || f.state == target_state::failed) {
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
    const std::string relative = relative_ + std::string(name);
    if (is_excluded_path(relative, false)) {
      continue;
    }
    switch (entry.kind) {
      case entry_kind::special:
        report_.skipped_special(relative);
        continue;
      case entry_kind::dangling_link:
        report_.failed("Unable to follow link", report_.source_path(relative), entry.error,
                       exit_failed);
        continue;
      default:
        consider_file(index, entry);
    }
  }
}

void tree_walker::consider_file(std::size_t index, directory_listing::entry& entry) {
  frame& f = frames_[index];
  const std::string_view name = f.entries.name(entry);
  const std::string relative = relative_ + std::string(name);
  const bool file_mode = !plan_.target_file_name.empty();
  const std::size_t target_index = file_mode ? 0 : index;
  frame& t = frames_[target_index];
  const std::string target_name = file_mode ? plan_.target_file_name : std::string(name);
  const std::string target_relative = file_mode ? std::string() : relative;
  const bool as_link = entry.kind == entry_kind::link;  // only with /b is a link still a link
  const bool through_link = entry.kind == entry_kind::file_via_link;

  // What the target folder's names say; TARGET as a file is looked up every
  // time, since the previous file may have just created it.
  decision_request request;
  request.source_directory = f.source.get();
  request.source_name = f.entries.c_name(entry);
  request.through_link = through_link;
  request.target_directory = t.target ? t.target.get() : -1;
  request.target_name = target_name.c_str();
  if (file_mode || (t.state == target_state::existing && !t.target_listed)) {
    request.there = presence::unknown;
  } else if (t.state == target_state::existing && t.target_entries.contains(target_name)) {
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
  copy.source_directory = f.source.get();
  copy.source_name = f.entries.c_name(entry);
  copy.through_link = through_link;
  copy.as_link = as_link;
  copy.target_directory = t.target.get();
  copy.target_name = target_name.c_str();
  copy.permissions = opts_.permissions;
  copy.verify = opts_.verify;
  const copy_result result = copy_file(copy, temp_files::worker_slot(0));
  switch (result.result) {
    case copy_result::outcome::copied:
      t.modified = true;
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
  frame child;
  child.name = name;
  {
    frame& parent = frames_[index];
    const int follow = entry.kind == entry_kind::dir_via_link ? 0 : O_NOFOLLOW;
    child.source.reset(sys::openat(parent.source.get(), name.c_str(), directory_flags | follow));
  }
  if (!child.source || ::fstat(child.source.get(), &child.source_stat) != 0) {
    report_.failed("Unable to read", report_.source_path(relative), errno, exit_failed);
    return;
  }
  // A folder that is one of its own ancestors (through a link or a bind
  // mount), or that is the target folder itself, would be copied forever.
  const bool cyclic =
      std::any_of(frames_.begin(), frames_.end(),
                  [&](const frame& f) { return same_file(f.source_stat, child.source_stat); }) ||
      (plan_.target_file_name.empty() && frames_[0].target &&
       same_file(frames_[0].target_stat, child.source_stat));
  if (cyclic) {
    report_.failed_because("Cannot perform a cyclic copy", report_.source_path(relative), "",
                           exit_failed);
    return;
  }
  if (const int error = child.entries.read(child.source.get()); error != 0) {
    report_.failed("Unable to read", report_.source_path(relative), error, exit_failed);
    return;
  }

  const frame& parent = frames_[index];
  if (!plan_.target_file_name.empty()) {
    child.state = target_state::none;
  } else if (parent.state == target_state::existing &&
             (!parent.target_listed || parent.target_entries.contains(name))) {
    if (!open_existing_target(child, parent.target.get(), relative)) {
      if (child.state == target_state::failed) {
        return;
      }
    } else if (same_file(child.target_stat, child.source_stat)) {
      report_.failed_because("Cannot perform a cyclic copy", report_.source_path(relative), "",
                             exit_failed);
      return;
    }
  }
  // /u only replaces files the target has, so a folder it lacks has none.
  if (child.state == target_state::missing && opts_.existing == target_filter::existing_only) {
    return;
  }

  child.relative_length = relative_.size();
  relative_ += name;
  relative_ += '/';
  frames_.push_back(std::move(child));
  const std::size_t top = frames_.size() - 1;
  if (frames_[top].state == target_state::existing) {
    read_target(frames_[top]);
  }
  if (opts_.recurse == recursion::with_empty && opts_.what != action::list_only &&
      frames_[top].state != target_state::none) {
    ensure_target(top);
  }
  process_files(top);
}

bool tree_walker::open_existing_target(frame& f, int parent_fd, std::string_view relative) {
  f.target.reset(sys::openat(parent_fd, f.name.c_str(), directory_flags | O_NOFOLLOW));
  if (!f.target) {
    const int error = errno;
    if (error == ENOENT) {
      return false;
    }
    f.state = target_state::failed;
    if (error == ENOTDIR || error == ELOOP) {
      // A file or a link where the source has a folder: nothing of it is touched.
      report_.failed("Unable to create directory", report_.target_path(relative), EEXIST,
                     exit_failed);
    } else {
      report_.failed("Unable to open directory", report_.target_path(relative), error, exit_failed);
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
  if (f.target_entries.read(f.target.get()) != 0) {
    f.target_entries.clear();
    return;  // entries are then looked up one by one
  }
  f.target_listed = true;
  if (opts_.what == action::list_only) {
    return;
  }
  for (std::size_t i = 0; i < f.target_entries.size(); ++i) {
    const directory_listing::entry& e = f.target_entries.at(i);
    if (temp_files::is_temp_name(f.target_entries.name(e)) &&
        ::unlinkat(f.target.get(), f.target_entries.c_name(e), 0) == 0) {
      f.modified = true;
    }
  }
}

bool tree_walker::ensure_target(std::size_t index) {
  frame& f = frames_[index];
  switch (f.state) {
    case target_state::existing:
      make_writable(f);
      return true;
    case target_state::created:
      return true;
    case target_state::failed:
    case target_state::none:
      return false;
    case target_state::missing:
      break;
  }
  if (index == 0) {
    return create_target_root(f);
  }
  if (!ensure_target(index - 1)) {
    f.state = target_state::failed;
    return false;
  }
  frame& parent = frames_[index - 1];
  const std::string relative = relative_.substr(0, frames_[index].relative_length) + f.name;
  // Owner rwx at first, so the run can fill it; finish() sets the source's bits.
  if (sys::mkdirat(parent.target.get(), f.name.c_str(), (f.source_stat.st_mode & 0777) | 0700) !=
      0) {
    const int error = errno;
    if (error == EEXIST) {
      // Made since the parent was read: use it if it is a folder.
      if (open_existing_target(f, parent.target.get(), relative)) {
        make_writable(f);
        return true;
      }
      f.state = target_state::failed;
      return false;
    }
    f.state = target_state::failed;
    report_.failed("Unable to create directory", report_.target_path(relative), error,
                   target_failure_code(error));
    return false;
  }
  parent.modified = true;
  f.target.reset(sys::openat(parent.target.get(), f.name.c_str(), directory_flags | O_NOFOLLOW));
  if (!f.target) {
    f.state = target_state::failed;
    report_.failed("Unable to open directory", report_.target_path(relative), errno, exit_failed);
    return false;
  }
  f.state = target_state::created;
  return true;
}

bool tree_walker::create_target_root(frame& f) {
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
      report_.failed("Unable to create directory", report_.target_path(""), error,
                     target_failure_code(error));
      return false;
    }
  }
  f.target.reset(sys::open(path.c_str(), directory_flags));
  if (!f.target) {
    const int error = errno;
    f.state = target_state::failed;
    report_.failed("Unable to create directory", report_.target_path(""),
                   error == ENOTDIR ? EEXIST : error, exit_failed);
    return false;
  }
  if (::fstat(f.target.get(), &f.target_stat) != 0) {
    f.target_stat = {};
  }
  f.state = target_state::created;
  return true;
}

void tree_walker::make_writable(frame& f) {
  // Root needs no write bit; anyone else can change only their own folders.
  constexpr mode_t owner_wx = S_IWUSR | S_IXUSR;
  if (f.made_writable || (f.target_stat.st_mode & owner_wx) == owner_wx || ::geteuid() == 0 ||
      f.target_stat.st_uid != ::geteuid()) {
    return;
  }
  if (sys::fchmod(f.target.get(), (f.target_stat.st_mode & 07777) | owner_wx) == 0) {
    f.made_writable = true;
  }
}

void tree_walker::finish(std::size_t index) {
  frame& f = frames_[index];
  const std::string relative =
      index == 0 ? std::string() : relative_.substr(0, f.relative_length) + f.name;
  const bool copy_of_source = index > 0 && f.target &&
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
  relative_.resize(f.relative_length);
  frames_.pop_back();
}

}  // namespace xcopy
