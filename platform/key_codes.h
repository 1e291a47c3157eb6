// The key codes of the IBM PC enhanced keyboard as its BIOS reports them, shared
// by every platform's key input so that the same key gives the same code
// wherever the program runs.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qmr::keys {

// A key code as poll_key hands it out: a character byte below 256, or the byte
// 255 in the low half with an extended key code in the high half.
using key_code = std::uint16_t;

constexpr key_code character_key(std::uint8_t c) {
  return c;
}
constexpr key_code extended_key(std::uint8_t code) {
  return static_cast<key_code>(0xff | code << 8);
}

// The text poll_key returns for a key: one byte, or 255 and the extended code.
text key_text(key_code key);

// The modifier that counts for a key press: Alt over Ctrl over Shift.
enum class modifier : std::uint8_t { none, shift, ctrl, alt };

// What a key gives with a modifier held.
struct entry {
  enum class kind : std::uint8_t { nothing, character, extended };
  kind what = kind::nothing;
  std::uint8_t value = 0;

  bool gives_nothing() const { return what == kind::nothing; }
  key_code code() const {
    return what == kind::extended ? extended_key(value) : character_key(value);
  }
};

// Scan codes (set 1) of the keys that terminals and consoles report by name.
namespace scan {
inline constexpr std::uint8_t escape = 0x01;
inline constexpr std::uint8_t backspace = 0x0e;
inline constexpr std::uint8_t tab = 0x0f;
inline constexpr std::uint8_t enter = 0x1c;
inline constexpr std::uint8_t space = 0x39;
inline constexpr std::uint8_t f1 = 0x3b;  // F1 to F10 follow one by one
inline constexpr std::uint8_t f10 = 0x44;
inline constexpr std::uint8_t f11 = 0x57;
inline constexpr std::uint8_t f12 = 0x58;
inline constexpr std::uint8_t home = 0x47;
inline constexpr std::uint8_t up = 0x48;
inline constexpr std::uint8_t page_up = 0x49;
inline constexpr std::uint8_t left = 0x4b;
inline constexpr std::uint8_t keypad_center = 0x4c;
inline constexpr std::uint8_t right = 0x4d;
inline constexpr std::uint8_t end = 0x4f;
inline constexpr std::uint8_t down = 0x50;
inline constexpr std::uint8_t page_down = 0x51;
inline constexpr std::uint8_t insert = 0x52;
inline constexpr std::uint8_t del = 0x53;
inline constexpr std::uint8_t keypad_slash = 0x35;  // grey '/' shares the '/' key's code
}  // namespace scan

// The entry of a key of the main block, the function keys or the numeric keypad
// (with Num Lock off), by its scan code. Nothing for scan codes the keyboard
// does not have.
entry standard_key(std::uint8_t scan_code, modifier m);

// The entry of one of the grey cursor and editing keys (Home, End, Page Up,
// Page Down, Insert, Delete, the arrows), the grey '/' and the grey Enter,
// which share their scan codes with keypad keys but give other codes.
entry grey_key(std::uint8_t scan_code, modifier m);

// The scan code of the main-block key that types the character, unshifted or
// with Shift; 0 when no key types it. Used to turn Alt plus a character into
// the Alt form of its key.
std::uint8_t scan_code_of(std::uint8_t c);

}  // namespace qmr::keys
