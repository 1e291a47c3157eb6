// Decides whether both paths can be entered as directories before anything runs.
#include "app/frontend.h"

namespace qmr {
namespace {

constexpr char source_missing[] = "\r\n Source Path not found...";
constexpr char target_missing[] = "\r\n Target Path not found...";
constexpr char both_missing[] = "\r\n Source Path and Target Path not found...";

}  // namespace

std::int32_t probe_directory(const text& path) {
  const text start = current_directory();
  if (change_directory(path) != 0) {
    return 1;
  }
  // Going back cannot be helped when it fails; the next probe then starts from
  // the probed directory.
  change_directory(start);
  return 0;
}

void validate_paths(const text& source, const text& target) {
  const std::int32_t source_outcome = probe_directory(source);
  const std::int32_t target_outcome = probe_directory(target);
  if (source_outcome == 0 && target_outcome == 0) {
    copy_run(source, target);
  }
  const char* message = source_outcome != 0 && target_outcome != 0 ? both_missing
                        : source_outcome != 0                      ? source_missing
                                                                   : target_missing;
  print_text(message, ending::line_end);
  print_usage();
  wait_key_and_exit(exit_path_not_found);
}

}  // namespace qmr
