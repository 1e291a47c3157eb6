// The keys that have arrived and not yet been polled, shared by every
// platform's key input.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "platform/key_codes.h"

namespace qmr::keys {

// A ring of 512 slots, so at most 511 keys wait; a key that arrives when the
// ring is full pushes out the oldest one. One thread takes keys; any thread may
// append them (a console's control-handler thread does, while the main thread
// polls). Appends are serialised among themselves by a spin flag held for a
// few instructions, so append must not be called from a POSIX signal handler:
// a handler there wakes the poller through a pipe instead.
class key_queue {
 public:
  static constexpr std::uint32_t slot_count = 512;
  static constexpr std::uint32_t capacity = slot_count - 1;

  // Adds the key at the tail, dropping the oldest key when the ring is full.
  // The key is written into its slot first and the tail advanced afterwards,
  // so a concurrent take sees either no key or the whole key.
  void append(key_code key) {
    while (appending_.test_and_set(std::memory_order_acquire)) {
    }
    const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
    std::uint32_t head = head_.load(std::memory_order_acquire);
    if (tail - head >= capacity) {
      // Full: push the oldest key out. When the taker got there first, the
      // exchange fails and there is room anyway.
      head_.compare_exchange_strong(head, head + 1, std::memory_order_acq_rel);
    }
    slots_[tail % slot_count].store(key, std::memory_order_relaxed);
    tail_.store(tail + 1, std::memory_order_release);
    appending_.clear(std::memory_order_release);
  }

  // Removes and returns the oldest key; nothing when no key waits. Only one
  // thread may take.
  std::optional<key_code> take() {
    std::uint32_t head = head_.load(std::memory_order_acquire);
    for (;;) {
      if (head == tail_.load(std::memory_order_acquire))
        return std::nullopt;
      const key_code key = slots_[head % slot_count].load(std::memory_order_relaxed);
      // An append that pushed this key out meanwhile may have reused its slot;
      // the exchange then fails and the read is retried at the new head.
      if (head_.compare_exchange_weak(head, head + 1, std::memory_order_acq_rel))
        return key;
    }
  }

  // The number of keys waiting. The head is read first: it never passes the
  // tail, so the difference cannot come out negative.
  std::uint32_t size() const {
    const std::uint32_t head = head_.load(std::memory_order_acquire);
    return tail_.load(std::memory_order_acquire) - head;
  }
  bool empty() const { return size() == 0; }

 private:
  std::array<std::atomic<key_code>, slot_count> slots_{};
  // Counters of keys taken or dropped and of keys appended; unsigned, so their
  // difference stays right when they wrap around.
  std::atomic<std::uint32_t> head_{0};
  std::atomic<std::uint32_t> tail_{0};
  std::atomic_flag appending_{};
};

}  // namespace qmr::keys
