// Starts the disk writes of large copies while the run goes on.
//
// A copy lands in the page cache at several times the disk's speed, and the
// kernel writes it out only once it has aged or piled up; a run of large files
// would end with gigabytes still to write, so that whoever waits for them (a
// sync, an unmount, the next program) waits for the whole of them after the
// copy. Handing each large file to the disk as soon as its data is in place
// overlaps that writing with the rest of the run.
#pragma once

#include <sys/types.h>

namespace xcopy::write_behind {

// Files from this size on are handed on; smaller ones are left to the kernel,
// where the extra work per file would cost more than the overlap gains.
inline constexpr off_t from = off_t{8} << 20;

// Asks, on a thread of its own, for the writing of everything written to
// `fd` so far to begin; never waits for the disk, and drops the request when
// earlier ones are still queued up. `fd` stays the caller's.
void start(int fd);

}  // namespace xcopy::write_behind
