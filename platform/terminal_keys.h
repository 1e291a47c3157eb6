// Turns the bytes a terminal sends for key presses into the key codes of the
// shared key-code table. Pure: it reads no device and keeps no state, so every
// terminal's sequences can be checked by feeding it byte strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/key_codes.h"

namespace qmr::keys {

// What the decoder made of the front of its input.
struct decoded {
  enum class kind : std::uint8_t {
    key,        // one key press, `consumed` bytes long
    skipped,    // `consumed` bytes that give no key (an unknown or cut-off sequence)
    need_more,  // the input is the start of something longer; nothing consumed
  };
  kind what = kind::need_more;
  std::size_t consumed = 0;
  key_code key = 0;
};

// How long the input waits for the rest of an escape sequence before what it
// has is taken as it stands (a lone ESC, or ESC and a character).
inline constexpr int escape_timeout_ms = 50;

// Decodes the first key of the input. `input_ended` tells that no more bytes
// are coming soon (the caller waited escape_timeout_ms): then the decoder
// never asks for more, and a lone ESC is the Esc key. Empty input needs more.
decoded decode_terminal_input(std::string_view input, bool input_ended);

}  // namespace qmr::keys
