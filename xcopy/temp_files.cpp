// Temporary names: making them, recognising them, and removing those in flight.
#include "xcopy/temp_files.h"

#include <fcntl.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace xcopy::temp_files {
namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::array<slot, slot_count> slots;
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// Set by the signal handler before it looks at the slots: from then on no
// thread starts creating a temporary file.
std::atomic<bool> ending{false};

// The slot this thread is creating a file in, if any: a handler that runs on
// this thread must not wait for it.
thread_local const slot* creating_here = nullptr;

// How long the handler waits for another thread's creation to finish: one
// open or symlink call, which takes microseconds unless the file system hangs.
constexpr long wait_step_ns = 1'000'000;
constexpr int wait_steps = 2000;

bool is_name_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A per-thread generator seeded from the kernel: names only need to be unlikely
// to collide (creation uses O_EXCL and retries), not secret.
std::uint64_t next_random() {
  thread_local std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
      seed =
          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
          (static_cast<std::uint64_t>(::getpid()) << 32);
    }
    return seed | 1;
  }();
  // xorshift64*
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  return state * 0x2545F4914F6CDD1DULL;
}

}  // namespace

bool is_temp_name(std::string_view file_name) {
  if (file_name.size() != name_length || !file_name.starts_with(prefix)) {
    return false;
  }
  for (const char c : file_name.substr(prefix.size())) {
    if (!is_name_char(c)) {
      return false;
    }
  }
  return true;
}

name new_name() {
  name result{};
  std::size_t at = 0;
  for (const char c : prefix) {
    result[at++] = c;
  }
  std::uint64_t bits = next_random();
  for (std::size_t i = 0; i < random_length; ++i) {
    result[at++] = alphabet[bits % alphabet.size()];
    bits /= alphabet.size();
  }
  result[at] = '\0';
  return result;
}

void slot::begin_create(int directory_fd, const name& file_name) {
  // The handler sets `ending` and then reads `creating_`; this thread sets
  // `creating_` and then reads `ending`. With both in one total order, either
  // the handler waits for this creation or this creation does not happen.
  creating_.store(true, std::memory_order_seq_cst);
  if (ending.load(std::memory_order_seq_cst)) {
    creating_.store(false, std::memory_order_seq_cst);
    for (;;) {
      ::pause();
    }
  }
  name_ = file_name;
  directory_.store(directory_fd, std::memory_order_release);
  creating_here = this;
}

void slot::end_create() {
  creating_here = nullptr;
  creating_.store(false, std::memory_order_seq_cst);
}

void slot::disarm() {
  directory_.store(-1, std::memory_order_release);
}

void slot::remove_from_signal() const {
  const int directory = directory_.load(std::memory_order_acquire);
  if (directory >= 0) {
    ::unlinkat(directory, name_.data(), 0);
  }
}

slot& slot_at(std::size_t index) {
  return slots[index];
}

void remove_all_from_signal() {
  const int saved = errno;
  ending.store(true, std::memory_order_seq_cst);
  for (const slot& s : slots) {
    for (int step = 0;
         &s != creating_here && step < wait_steps && s.creating_.load(std::memory_order_seq_cst);
         ++step) {
      const struct timespec pause_for { 0, wait_step_ns };
      ::nanosleep(&pause_for, nullptr);
    }
    s.remove_from_signal();
  }
  errno = saved;
}

}  // namespace xcopy::temp_files
