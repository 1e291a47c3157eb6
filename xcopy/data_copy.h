// Moving a file's bytes from one descriptor to another, and comparing them.
#pragma once

#include <sys/types.h>

namespace xcopy {

// Which side a data failure was on, and its errno.
struct data_result {
  enum class side : unsigned char { none, source, target };
  side failed = side::none;
  int error = 0;
  off_t bytes = 0;  // how many bytes were copied
  bool ok() const { return failed == side::none; }
};

// Copies the file behind `in` (on the file system `source_device`) to the empty
// file `out`, both at offset 0, `size` bytes as the source's fstat gave it (a
// file that grows meanwhile is copied as it was; one that shrinks, up to its
// end). A size of 0 reads to the end, for files such as those in /proc whose
// size says nothing. The cheapest way that works is taken: the copy shares the
// source's blocks (FICLONERANGE) where the file system can, else the kernel
// copies (copy_file_range, then sendfile), else, and to tell a source failure
// from a target one, the bytes go through a buffer. A source with fewer bytes
// `allocated` than its size has holes, and the copy gets the same holes.
data_result copy_data(int in, int out, off_t size, off_t allocated, dev_t source_device);

// Compares the first `size` bytes of both files (what copy_data copied) and
// checks that `copy` has exactly `size` bytes. On a mismatch the result fails on the target side
// with error 0.
data_result compare_data(int original, int copy, off_t size);

}  // namespace xcopy
