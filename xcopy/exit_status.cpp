// The highest exit code met, kept where a signal handler can read it.
#include "xcopy/exit_status.h"

#include <atomic>

namespace xcopy {
namespace {

// Lock-free on every platform we build for, so reading it in a signal handler is safe.
std::atomic<int> highest{exit_ok};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void fold_exit_code(exit_code code) {
  int seen = highest.load(std::memory_order_relaxed);
  while (code > seen && !highest.compare_exchange_weak(seen, code, std::memory_order_relaxed)) {
  }
}

exit_code folded_exit_code() {
  return static_cast<exit_code>(highest.load(std::memory_order_relaxed));
}

}  // namespace xcopy
