// The temporary names that copies are written under before they are renamed
// into place, and the record of those in flight that a signal handler removes.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <string_view>

namespace xcopy::temp_files {

// Every temporary name is this prefix and `random_length` letters and digits.
// A name of exactly that form is ours: a run removes it from the target folders
// it reaches (a leftover of a killed run) and never copies it as a source file.
inline constexpr std::string_view prefix = ".xcopy-tmp-";
inline constexpr std::size_t random_length = 8;
inline constexpr std::size_t name_length = prefix.size() + random_length;

// A temporary name with its terminating zero.
using name = std::array<char, name_length + 1>;

// Whether `file_name` has the form of our temporary names.
bool is_temp_name(std::string_view file_name);

// A fresh random temporary name.
name new_name();

// One temporary file in flight: the folder it is in and its name. Each worker
// owns one slot, so arming and disarming need no lock; the signal handler only
// reads slots.
class slot {
 public:
  // Records the name before the file is created, so a signal between its
  // creation and this record cannot leave it behind.
  void arm(int directory_fd, const name& file_name);
  // Forgets the name once it was renamed into place or removed.
  void disarm();
  // Removes the file if one is recorded. Async-signal-safe.
  void remove_from_signal() const;

 private:
  std::atomic<int> directory_{-1};
  name name_{};
};

// The slot of worker `index` (0 for the main thread). There are `max_workers`.
inline constexpr std::size_t max_workers = 64;
slot& worker_slot(std::size_t index);

// Removes every temporary file in flight. Async-signal-safe.
void remove_all_from_signal();

}  // namespace xcopy::temp_files
