#include "platform/key_events.h"

namespace qmr::keys {
namespace {

constexpr std::uint32_t any_alt = control::left_alt | control::right_alt;
constexpr std::uint32_t any_ctrl = control::left_ctrl | control::right_ctrl;

modifier modifier_of(std::uint32_t state) {
  if ((state & any_alt) != 0)
    return modifier::alt;
  if ((state & any_ctrl) != 0)
    return modifier::ctrl;
  if ((state & control::shift) != 0)
    return modifier::shift;
  return modifier::none;
}

bool is_modifier_or_lock(std::uint16_t key) {
  return key == virtual_key::shift || key == virtual_key::control || key == virtual_key::alt ||
         key == virtual_key::caps_lock || key == virtual_key::num_lock ||
         key == virtual_key::scroll_lock ||
         (key >= virtual_key::left_shift && key <= virtual_key::right_alt);
}

bool is_alt_key(std::uint16_t key) {
  return key == virtual_key::alt || key == virtual_key::left_alt || key == virtual_key::right_alt;
}

// The digit of a numeric-keypad digit key, whatever Num Lock says, or -1. The
// grey keys share these scan codes but carry the enhanced flag.
int keypad_digit(const key_event& event) {
  if ((event.control_state & control::enhanced) != 0)
    return -1;
  switch (event.scan_code) {
    case scan::insert:
      return 0;
    case scan::end:
      return 1;
    case scan::down:
      return 2;
    case scan::page_down:
      return 3;
    case scan::left:
      return 4;
    case scan::keypad_center:
      return 5;
    case scan::right:
      return 6;
    case scan::home:
      return 7;
    case scan::up:
      return 8;
    case scan::page_up:
      return 9;
    default:
      return -1;
  }
}

// Num Lock on turns the keypad's cursor keys into digit keys, which Shift turns
// back: the code set has the digits as the Shift forms of those keys.
modifier keypad_modifier(const key_event& event, modifier held) {
  const bool keypad_key =
      keypad_digit(event) >= 0 ||
      ((event.control_state & control::enhanced) == 0 && event.scan_code == scan::del);
  if (!keypad_key || (event.control_state & control::num_lock) == 0)
    return held;
  if (held == modifier::none)
    return modifier::shift;
  if (held == modifier::shift)
    return modifier::none;
  return held;
}

std::uint8_t lower(std::uint8_t c) {
  return c >= 'A' && c <= 'Z' ? static_cast<std::uint8_t>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<key_code> key_event_decoder::decode(const key_event& event) {
  if (!event.key_down) {
    // Releasing Alt ends a composition; every other release gives nothing.
    if (composing_ && is_alt_key(event.virtual_key)) {
      const std::uint8_t number = composed_;
      composing_ = false;
      composed_ = 0;
      if (number != 0)
        return character_key(number);
    }
    return std::nullopt;
  }
  // A modifier held down repeats its key-down; that must not end a composition.
  if (event.repeat_count == 0 || is_modifier_or_lock(event.virtual_key))
    return std::nullopt;

  const std::uint32_t state = event.control_state;
  const int digit = keypad_digit(event);
  if (digit >= 0 && (state & any_alt) != 0 && (state & (any_ctrl | control::shift)) == 0) {
    composing_ = true;
    composed_ = static_cast<std::uint8_t>(composed_ * 10 + digit);
    return std::nullopt;
  }
  composing_ = false;
  composed_ = 0;

  const modifier held = keypad_modifier(event, modifier_of(state));
  entry found;
  if (event.scan_code <= 0xff) {
    const auto code = static_cast<std::uint8_t>(event.scan_code);
    found = (state & control::enhanced) != 0 ? grey_key(code, held) : standard_key(code, held);
  }
  // An extended code wins over the character that the key itself types (Alt+A
  // types 'a'), but not over one that a layout puts on it (AltGr+Q types '@').
  if (found.what == entry::kind::extended &&
      (event.character == 0 || lower(event.character) == lower(event.own_character))) {
    return found.code();
  }
  if (event.character != 0)
    return character_key(event.character);
  return std::nullopt;
}

}  // namespace qmr::keys
