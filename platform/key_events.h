// Turns Windows console key events into the key codes of the IBM PC enhanced
// keyboard. Pure: the caller copies the event's fields and asks the system for
// the key's own character, so that every rule can be checked without a console.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/key_codes.h"

namespace qmr::keys {

// Bits of a key event's control-key state, with the values the console uses.
namespace control {
inline constexpr std::uint32_t right_alt = 0x0001;
inline constexpr std::uint32_t left_alt = 0x0002;
inline constexpr std::uint32_t right_ctrl = 0x0004;
inline constexpr std::uint32_t left_ctrl = 0x0008;
inline constexpr std::uint32_t shift = 0x0010;
inline constexpr std::uint32_t num_lock = 0x0020;
inline constexpr std::uint32_t enhanced = 0x0100;  // a grey key of the enhanced keyboard
}  // namespace control

// Virtual-key codes that the decoder treats by name.
namespace virtual_key {
inline constexpr std::uint16_t shift = 0x10;
inline constexpr std::uint16_t control = 0x11;
inline constexpr std::uint16_t alt = 0x12;  // VK_MENU
inline constexpr std::uint16_t caps_lock = 0x14;
inline constexpr std::uint16_t num_lock = 0x90;
inline constexpr std::uint16_t scroll_lock = 0x91;
inline constexpr std::uint16_t left_shift = 0xa0;  // the left and right modifiers follow
inline constexpr std::uint16_t left_alt = 0xa4;
inline constexpr std::uint16_t right_alt = 0xa5;
}  // namespace virtual_key

// One console key event, with the key's own character as MapVirtualKeyA
// (MAPVK_VK_TO_CHAR) reports it for the virtual key: capital for letters, 0 for
// keys without one.
struct key_event {
  bool key_down = true;
  std::uint16_t repeat_count = 1;
  std::uint16_t virtual_key = 0;
  std::uint16_t scan_code = 0;
  std::uint8_t character = 0;  // 0 when the event carries none
  std::uint32_t control_state = 0;
  std::uint8_t own_character = 0;
};

// Decodes a stream of key events. Keeps the number typed so far while Alt is
// held over the keypad digits, which becomes one key when Alt is released.
class key_event_decoder {
 public:
  // The key code that the event gives, or nothing (key releases, modifier and
  // lock keys alone, keys with neither a code nor a character, composing digits).
  std::optional<key_code> decode(const key_event& event);

 private:
  bool composing_ = false;
  std::uint8_t composed_ = 0;  // the number typed so far, modulo 256
};

}  // namespace qmr::keys
