// Output lines, error lines, the summary and the exit code.
#include "xcopy/report.h"

#include <cerrno>
#include <cstring>

#include "xcopy/console.h"
#include "xcopy/exit_status.h"
#include "xcopy/paths.h"

namespace xcopy {

exit_code target_failure_code(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EIO:
    case EROFS:
    case EFBIG:
      return exit_write_error;
    default:
      return exit_failed;
  }
}

std::string error_text(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in `buffer`.
  return ::strerror_r(error, buffer, sizeof buffer);
}

reporter::reporter(const options& opts, path_bases bases) : opts_(opts), bases_(std::move(bases)) {}

std::string reporter::source_path(std::string_view relative) const {
  return join_path(bases_.source, relative);
}

std::string reporter::target_path(std::string_view relative) const {
  return join_path(bases_.target, relative);
}

std::string reporter::source_full_path(std::string_view relative) const {
  return full_path(source_path(relative), bases_.current_directory);
}

void reporter::copied(std::string_view source_relative, std::string_view target_relative) {
  ++count_;
  switch (opts_.lines) {
    case listing::quiet:
      return;
    case listing::source_paths:
      console::write_line(printable(source_path(source_relative)));
      return;
    case listing::full_paths:
      console::write_line(
          printable(source_full_path(source_relative)) + " -> " +
          printable(full_path(target_path(target_relative), bases_.current_directory)));
      return;
  }
}

void reporter::skipped_special(std::string_view source_relative) {
  console::write_error_line("Skipped special file - " + printable(source_path(source_relative)));
}

bool reporter::failed(std::string_view what, std::string_view path, int error, exit_code code) {
  if (error == EACCES || error == EPERM) {
    return failed_because("Access denied", path, "", code);
  }
  return failed_because(what, path, error_text(error), code);
}

bool reporter::failed_because(std::string_view what, std::string_view path, std::string_view reason,
                              exit_code code) {
  std::string line(what);
  line += " - ";
  line += printable(path);
  if (!reason.empty()) {
    line += ": ";
    line += reason;
  }
  console::write_error_line(line);
  fold_exit_code(code);
  if (opts_.errors == on_error::continue_) {
    return true;
  }
  stopped_ = true;
  return false;
}

void reporter::failed_message(std::string_view line, exit_code code) {
  console::write_error_line(line);
  fold_exit_code(code);
}

void reporter::stop(exit_code code) {
  fold_exit_code(code);
  stopped_ = true;
}

exit_code reporter::finish() {
  std::string summary = std::to_string(count_);
  summary += opts_.what == action::list_only ? " File(s)" : " File(s) copied";
  console::write_line(summary);
  console::flush();
  return folded_exit_code();
}

}  // namespace xcopy
