// The walk over the source tree: which entries are copied, in which order, and
// the target folders they need, created as late as possible and finished
// (permission bits, times) only after everything inside them is done.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "xcopy/directory_listing.h"
#include "xcopy/file_decision.h"
#include "xcopy/folder_state.h"
#include "xcopy/options.h"
#include "xcopy/report.h"
#include "xcopy/time_comparison.h"
#include "xcopy/unique_fd.h"
#include "xcopy/work_window.h"

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

// The walk runs on the main thread. Where nothing needs asking, the work on
// each file (the /d check and the copy up to a finished temporary file) goes to
// `threads` worker threads; every output line, every rename into place and
// every folder's finishing still happens in the walk's order, so the output,
// the exit code and what the target holds do not depend on the number of threads.
class tree_walker {
 public:
  tree_walker(const options& opts, reporter& report, walk_plan& plan, std::size_t threads);

  // Walks the whole tree (or until an error stops the run).
  void run();

 private:
  // One folder of the source tree being walked.
  struct frame {
    std::unique_ptr<folder_state> dir;
    directory_listing entries;
    std::size_t next_entry = 0;       // the directory pass's position in `entries`
    std::size_t relative_length = 0;  // length of relative_ for this folder's entries
    directory_listing target_entries;
    bool target_listed = false;  // target_entries holds the target folder's names
  };

  void process_files(std::size_t index);
  // A file that passed the name filters: handed on as a job, or, where the
  // user may be asked or every file goes to one name, done here and now.
  void consider_file(std::size_t index, directory_listing::entry& entry);
  void consider_file_here(std::size_t index, directory_listing::entry& entry);
  void report_decision_failure(const decision& verdict, std::string_view relative,
                               std::string_view target_relative);
  void report_copy_result(const copy_result& result, std::string_view relative,
                          std::string_view target_relative);
  void enter_directory(std::size_t index, directory_listing::entry& entry);
  void finish(std::size_t index);
  void finish_folder(folder_state& f, const std::string& relative);

  // Looks through a link or an entry of unknown kind; false when it failed and
  // was reported.
  bool classify(frame& f, directory_listing::entry& entry);
  bool is_selected_name(std::string_view name) const;
  // Whether an /exclude: string is in the entry's full path (a folder's with a '/' after it).
  bool is_excluded_path(std::string_view relative, bool folder) const;

  // Opens an existing target folder for `f` (its name in `parent_fd`); false
  // when it is missing (nothing reported) or failed (reported; `f.state` failed).
  bool open_existing_target(folder_state& f, int parent_fd, std::string_view relative);
  // Reads an open existing target folder: its names, and removes leftover
  // temporary files of an earlier run (not with /l, which writes nothing).
  void read_target(frame& f);
  // Makes sure frame `index` has its target folder; false when it cannot.
  bool ensure_target(std::size_t index);
  bool create_target_root(folder_state& f);
  // Whether an existing target folder of ours lacks the owner's rwx, which the
  // run adds (make_writable) and finish_folder() puts back.
  static bool needs_widening(const folder_state& f);
  void make_writable(folder_state& f);

  // Reports that keep their place in the output among the files before them.
  void failed(std::string_view what, std::string path, int error, exit_code code);
  void failed_because(std::string_view what, std::string path, std::string_view reason,
                      exit_code code);
  void skipped_special(std::string relative);
  void post_message(walk_message message);
  // Without /c, before the walk changes the target itself (creates or widens a
  // folder, removes a leftover): waits until everything before is handled, so
  // that nothing is changed after an error that ends the run. False when the
  // run has stopped.
  bool settle();
  // Whether the walk goes on: no error has ended the run.
  bool stopping() const { return halted_ || report_.stopped(); }

  // The next job of the entry being filled; the entry is appended when full
  // or when anything else comes next in the output order.
  file_job& add_job(folder_state& folder);
  void flush_batch();
  // Nothing waits in the window or in the entry being filled.
  bool all_handled() const { return batch_ == nullptr && window_.empty(); }

  // The window's callbacks: work the files of an entry (any thread), and
  // handle an entry in order.
  void prepare(work_item& item, temp_files::slot& slot, bool on_worker);
  void handle(work_item& item, temp_files::slot& slot);
  void handle_file(file_job& job, temp_files::slot& slot);

  const options& opts_;
  reporter& report_;
  walk_plan& plan_;
  std::vector<frame> frames_;
  // The path of the deepest folder's entries relative to the root, ending in '/'.
  std::string relative_;
  time_comparison times_;
  bool overwrite_all_ = false;  // "All" was answered to an overwrite question
  bool recurse_ = false;
  // Files go to the window as jobs (nothing to ask, each file to its own name).
  bool jobs_ = false;
  bool keep_going_ = false;  // /c
  // The walk met an error that ends the run; it is reported in its turn.
  bool halted_ = false;
  // Set once the run has stopped, so that workers skip what is left.
  std::atomic<bool> abandoned_{false};
  // Finished folders waiting in the window; each holds two descriptors.
  std::size_t folders_waiting_ = 0;
  // The entry being filled with files, not yet appended, and how many it takes.
  work_item* batch_ = nullptr;
  std::size_t batch_limit_ = 1;
  work_window window_;
};

}  // namespace xcopy
