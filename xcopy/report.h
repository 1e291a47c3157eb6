// What the run tells the user: a line per file copied (or listed), a line per
// failed or skipped entry, the summary, and the exit code they add up to.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "xcopy/options.h"

namespace xcopy {

// The code a failure to write or create something on the target ends the run
// with: exit_write_error for no space, quota, I/O errors, a read-only file
// system and files too large for it; exit_failed for anything else.
exit_code target_failure_code(int error);

// The text of an errno value, for the one place that turns errors into words.
std::string error_text(int error);

// The beginnings of the paths in output lines.
struct path_bases {
  std::string source;  // SOURCE as given; for a file or pattern, its folder part as written
  std::string target;  // TARGET as given
  std::string current_directory;  // what relative paths are relative to, for full paths
};

// Reports entries in the order it is told about them; the walk keeps that order fixed.
class reporter {
 public:
  reporter(const options& opts, path_bases bases);

  // Paths as the user gave them, joined to a path relative to SOURCE or TARGET.
  std::string source_path(std::string_view relative) const;
  std::string target_path(std::string_view relative) const;
  // The full (absolute) path of a source entry, as /exclude: strings are matched against.
  std::string source_full_path(std::string_view relative) const;

  // A file was copied (or, with /l, would be): its line, and one more in the count.
  void copied(std::string_view source_relative, std::string_view target_relative);

  // A FIFO, socket or device was skipped. Not an error.
  void skipped_special(std::string_view source_relative);

  // An entry failed: "WHAT - PATH: REASON", or "Access denied - PATH" when the
  // errno says so. Folds `code` into the exit code. Returns whether the run goes
  // on (/c), and otherwise marks it stopped.
  bool failed(std::string_view what, std::string_view path, int error, exit_code code);
  // The same with the reason in words ("" for none).
  bool failed_because(std::string_view what, std::string_view path, std::string_view reason,
                      exit_code code);

  // A failure that concerns no single path: the line as it is.
  void failed_message(std::string_view line, exit_code code);

  // Ends the run early with `code` without a message (a prompt that could not be answered).
  void stop(exit_code code);

  bool stopped() const { return stopped_; }
  std::size_t count() const { return count_; }

  // Writes the summary line and returns the exit code of the run.
  exit_code finish();

 private:
  const options& opts_;
  path_bases bases_;
  std::size_t count_ = 0;
  bool stopped_ = false;
};

}  // namespace xcopy
