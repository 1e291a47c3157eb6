// PROVISIONAL: stands in until the shared queue lands; replaced byte for byte then.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include "platform/key_codes.h"

namespace qmr::keys {

class key_queue {
 public:
  static constexpr std::size_t slots = 512;
  void push(key_code key) {
    codes_[tail_] = key;
    tail_ = (tail_ + 1) % slots;
    if (tail_ == head_)
      head_ = (head_ + 1) % slots;
  }
  std::optional<key_code> pop() {
    if (head_ == tail_)
      return std::nullopt;
    const key_code key = codes_[head_];
    head_ = (head_ + 1) % slots;
    return key;
  }

 private:
  std::array<key_code, slots> codes_{};
  std::size_t head_ = 0;
  std::size_t tail_ = 0;
};

}  // namespace qmr::keys
