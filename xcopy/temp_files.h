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

// One temporary file in flight: the folder it is in and its name. A slot
// belongs to one piece of work at a time, so arming and disarming need no
// lock; the signal handler only reads slots.
class slot {
 public:
  // Starts creating the file `file_name` in `directory_fd`: records the name
  // before the file exists, so that a signal cannot leave it behind. Once a
  // signal handler has begun removing the files in flight, this never returns
  // (the process is about to end), so no file appears after the handler looked.
  void begin_create(int directory_fd, const name& file_name);
  // Ends what begin_create started, whether or not the file was created.
  void end_create();
  // Forgets the name once it was renamed into place or removed.
  void disarm();
  // Removes the file if one is recorded. Async-signal-safe.
  void remove_from_signal() const;

 private:
  friend void remove_all_from_signal();
  std::atomic<int> directory_{-1};
  // Set while a file of this slot may be being created.
  std::atomic<bool> creating_{false};
  name name_{};
};

// Slot 0 is the main thread's; the others belong to the entries of the copy
// window, one each, whichever thread works on the entry.
inline constexpr std::size_t slot_count = 257;
slot& slot_at(std::size_t index);

// Removes every temporary file in flight, after waiting for creations that
// other threads have under way. Async-signal-safe.
void remove_all_from_signal();

}  // namespace xcopy::temp_files
