// The names in one directory, sorted by their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xcopy {

// What an entry is, as far as the walk knows. The directory gives `file`,
// `directory`, `link`, `special` or `unknown`; the walk refines a link or an
// unknown entry with a stat and writes the answer back.
enum class entry_kind : std::uint8_t {
  unknown,        // the file system did not say; needs a stat
  file,           // a regular file
  directory,      // a directory
  link,           // a symbolic link, not looked through yet
  special,        // a FIFO, socket or device: never opened
  file_via_link,  // a link to a regular file
  dir_via_link,   // a link to a directory
  dangling_link,  // a link that could not be followed; `error` says why
};

// One directory's entries (without "." and ".."), sorted by byte order of their
// names. The names share one block of memory, so a directory of a million
// entries costs little more than its names.
class directory_listing {
 public:
  struct entry {
    std::uint32_t offset;    // where the name starts in the block
    std::uint16_t length;    // the name's length (at most 255 on Linux)
    entry_kind kind;         // see entry_kind
    std::uint8_t error = 0;  // for dangling_link: the errno of following it
  };

  // Reads every entry of the open directory `fd` and sorts them. Returns 0, or
  // the errno of the failed read.
  int read(int fd);

  std::size_t size() const { return entries_.size(); }
  entry& at(std::size_t i) { return entries_[i]; }
  const entry& at(std::size_t i) const { return entries_[i]; }
  std::string_view name(const entry& e) const { return {names_.data() + e.offset, e.length}; }
  // The name with its terminating zero, for the *at() system calls.
  const char* c_name(const entry& e) const { return names_.data() + e.offset; }

  // Makes the listing hold the one entry `name`, of a kind yet unknown.
  void assign_single(std::string_view name);

  // Whether `name` is in the listing (a binary search).
  bool contains(std::string_view name) const;

  // Frees the memory (a finished directory's names are no longer needed).
  void clear();

 private:
  std::string names_;  // every name, each followed by a zero byte
  std::vector<entry> entries_;
};

}  // namespace xcopy
