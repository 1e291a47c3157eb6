// The walk over the source tree: which entries are copied, in which order, and
// the target folders they need, created as late as possible and finished
// (permission bits, times) only after everything inside them is done.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <vector>

#include "xcopy/directory_listing.h"
#include "xcopy/file_decision.h"
#include "xcopy/options.h"
#include "xcopy/report.h"
#include "xcopy/time_comparison.h"
#include "xcopy/unique_fd.h"

namespace xcopy {

// Where a walk starts and where its copies go, as the run worked it out.
struct walk_plan {
  // The folder walked: SOURCE itself, a pattern's folder, or a single file's folder.
  unique_fd source_directory;
  // A single file to copy from that folder (SOURCE named a file), else empty.
  std::string only_name;
  // The pattern the files' names must match (SOURCE ended in one), else empty.
  std::string pattern;
  // The folder the copies go into, as a path: TARGET, or TARGET's folder when
  // TARGET names a file. Open in `target_directory_fd` when it exists; created
  // (with its missing parents, mode `new_directory_mode`) when first needed.
  std::string target_directory;
  unique_fd target_directory_fd;
  mode_t new_directory_mode = 0755;
  // When TARGET names a file: its name in `target_directory`; every file goes there.
  std::string target_file_name;
};

class tree_walker {
 public:
  tree_walker(const options& opts, reporter& report, walk_plan& plan);

  // Walks the whole tree (or until an error stops the run).
  void run();

 private:
  enum class target_state : unsigned char {
    missing,   // not there yet: created when something needs it
    existing,  // was there before the run; open
    created,   // created by this run; open
    failed,    // could not be created or opened: nothing goes into it
    none,      // no folder of its own (TARGET names a file)
  };

  // One folder of the source tree being walked, and its counterpart in the target.
  struct frame {
    std::string name;  // the folder's name in its parent ("" for the root)
    unique_fd source;
    struct stat source_stat {};
    directory_listing entries;
    std::size_t next_entry = 0;       // the directory pass's position in `entries`
    std::size_t relative_length = 0;  // length of relative_ for this folder's entries

    target_state state = target_state::missing;
    unique_fd target;
    struct stat target_stat {};  // for an existing target folder
    directory_listing target_entries;
    bool target_listed = false;  // target_entries holds the target folder's names
    bool modified = false;       // this run added or replaced an entry in it
    bool made_writable = false;  // the owner's rwx were added for the run: put back
  };

  void process_files(std::size_t index);
  void consider_file(std::size_t index, directory_listing::entry& entry);
  void report_decision_failure(const decision& verdict, std::string_view relative,
                               std::string_view target_relative);
  void enter_directory(std::size_t index, directory_listing::entry& entry);
  void finish(std::size_t index);

  // Looks through a link or an entry of unknown kind; false when it failed and
  // was reported.
  bool classify(frame& f, directory_listing::entry& entry);
  bool is_selected_name(std::string_view name) const;
  // Whether an /exclude: string is in the entry's full path (a folder's with a '/' after it).
  bool is_excluded_path(std::string_view relative, bool folder) const;

  // Opens an existing target folder for `f` (its name in `parent_fd`); false
  // when it is missing (nothing reported) or failed (reported; `f.state` failed).
  bool open_existing_target(frame& f, int parent_fd, std::string_view relative);
  // Reads an open existing target folder: its names, and removes leftover
  // temporary files of an earlier run (not with /l, which writes nothing).
  void read_target(frame& f);
  // Makes sure frame `index` has its target folder; false when it cannot.
  bool ensure_target(std::size_t index);
  bool create_target_root(frame& f);
  // Adds the owner's rwx to an existing target folder of ours that lacks them,
  // so the run can write into it; finish() puts the bits back.
  void make_writable(frame& f);

  const options& opts_;
  reporter& report_;
  walk_plan& plan_;
  std::vector<frame> frames_;
  // The path of the deepest folder's entries relative to the root, ending in '/'.
  std::string relative_;
  time_comparison times_;
  bool overwrite_all_ = false;  // "All" was answered to an overwrite question
  bool recurse_ = false;
};

}  // namespace xcopy
