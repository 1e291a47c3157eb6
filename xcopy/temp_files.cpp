// Temporary names: making them, recognising them, and removing those in flight.
#include "xcopy/temp_files.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace xcopy::temp_files {
namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::array<slot, max_workers> slots;
static_assert(std::atomic<int>::is_always_lock_free);

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

void slot::arm(int directory_fd, const name& file_name) {
  name_ = file_name;
  directory_.store(directory_fd, std::memory_order_release);
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

slot& worker_slot(std::size_t index) {
  return slots[index];
}

void remove_all_from_signal() {
  const int saved = errno;
  for (const slot& s : slots) {
    s.remove_from_signal();
  }
  errno = saved;
}

}  // namespace xcopy::temp_files
