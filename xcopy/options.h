// What one run of the copier is asked to do. The command-line parser fills one
// of these; the engine reads it and never looks at the command line.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace xcopy {

// Exit codes of the copier. With /c a run goes on after an error and ends with
// the highest code met.
enum exit_code : int {
  exit_ok = 0,           // finished, every selected file copied (or nothing to do)
  exit_interrupted = 2,  // Ctrl+C, SIGTERM, SIGHUP, or a prompt that could not be answered
  exit_failed = 4,  // bad command line, missing source, cyclic copy, an entry not read or created
  exit_write_error = 5,  // no space, quota, I/O error or read-only filesystem on the target
};

// How far below SOURCE the copy reaches (/s, /e).
enum class recursion : std::uint8_t {
  top_only,        // the files of SOURCE itself
  subdirectories,  // /s: directories too; those that end up empty are not created
  with_empty,      // /e: directories too, empty ones included
};

// What an error does to the rest of the run (/c).
enum class on_error : std::uint8_t {
  stop,      // the first error ends the run
  continue_  // /c: report it and go on with the next entry
};

// Which source files are selected by their modification time (/d, /d:M-D-YYYY).
enum class date_filter : std::uint8_t {
  any,                // every file
  newer_than_target,  // /d: the target has none, or the source is newer
  modified_since,     // /d:date: modified on or after `modified_since`
};

// Whether entries whose names start with '.' take part (/h).
enum class hidden_entries : std::uint8_t { skip, include };

// What a missing TARGET is when it is not plain from the source (/i).
enum class missing_target : std::uint8_t {
  ask,        // ask on the terminal whether it names a file or a directory
  directory,  // /i: a directory, created with missing parents
};

// What happens to a target file without the owner's write bit (/r).
enum class read_only_targets : std::uint8_t { refuse, overwrite };

// Whether an existing target file is overwritten without asking (/y, /-y).
enum class overwrite_prompt : std::uint8_t { ask, never_ask };

// The per-file lines on standard output (/q, /f).
enum class listing : std::uint8_t {
  source_paths,  // SOURCE joined to the relative path
  quiet,         // /q: no per-file lines; the summary stays
  full_paths,    // /f: "SOURCE_FILE -> TARGET_FILE", both full paths
};

// What is done with what was selected (/l, /t).
enum class action : std::uint8_t {
  copy,
  list_only,  // /l: list what would be copied, write nothing
  tree_only,  // /t: create the directory tree, copy no files
};

// Which selected files are copied by whether the target has them (/u).
enum class target_filter : std::uint8_t { any, existing_only };

// The permission bits a copy gets (/k).
enum class permission_bits : std::uint8_t {
  add_owner_write,  // the source's bits plus the owner's write bit
  keep,             // /k: exactly the source's bits
};

// What a symbolic link in the source becomes (/b).
enum class symlinks : std::uint8_t {
  follow,         // its target's content or tree is copied
  copy_as_links,  // /b: a link with the same target text
};

// Whether each written file is read back and compared (/v).
enum class verification : std::uint8_t { none, compare };

// Whether the user is asked before each file (/p).
enum class per_file_prompt : std::uint8_t { none, ask };

// Whether the run waits for a key before starting (/w).
enum class start_prompt : std::uint8_t { none, wait_for_key };

struct options {
  // SOURCE as given: a directory, a file, or a pattern with * and ? in its last component.
  std::string source;
  // TARGET as given; "." when the command line names none.
  std::string target = ".";

  recursion recurse = recursion::top_only;
  on_error errors = on_error::stop;
  date_filter dates = date_filter::any;
  // With date_filter::modified_since: the first second of the given local date.
  std::time_t modified_since = 0;
  hidden_entries hidden = hidden_entries::skip;
  missing_target new_target = missing_target::ask;
  read_only_targets read_only = read_only_targets::refuse;
  overwrite_prompt overwrite = overwrite_prompt::ask;
  listing lines = listing::source_paths;
  action what = action::copy;
  target_filter existing = target_filter::any;
  permission_bits permissions = permission_bits::add_owner_write;
  symlinks links = symlinks::follow;
  verification verify = verification::none;
  per_file_prompt per_file = per_file_prompt::none;
  start_prompt before_start = start_prompt::none;
  // Strings from the /exclude: files; a source file whose path contains any is skipped.
  std::vector<std::string> excluded;
};

}  // namespace xcopy
