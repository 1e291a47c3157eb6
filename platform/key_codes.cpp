#include "platform/key_codes.h"

#include <array>

namespace qmr::keys {
namespace {

constexpr entry nothing{};
constexpr entry chr(std::uint8_t c) {
  return {entry::kind::character, c};
}
constexpr entry ext(std::uint8_t code) {
  return {entry::kind::extended, code};
}

struct row {
  std::uint8_t scan_code;
  entry normal, shift, ctrl, alt;
};

// One row per key: what it gives alone, with Shift, with Ctrl and with Alt.
// Keypad rows are for Num Lock off; Alt with a keypad digit composes a
// character instead (the console does that, so the digits give nothing here).
constexpr row standard_rows[] = {
    {0x01, chr(0x1b), chr(0x1b), chr(0x1b), ext(0x01)},  // Esc
    {0x02, chr('1'), chr('!'), nothing, ext(0x78)},
    {0x03, chr('2'), chr('@'), ext(0x03), ext(0x79)},
    {0x04, chr('3'), chr('#'), nothing, ext(0x7a)},
    {0x05, chr('4'), chr('$'), nothing, ext(0x7b)},
    {0x06, chr('5'), chr('%'), nothing, ext(0x7c)},
    {0x07, chr('6'), chr('^'), chr(0x1e), ext(0x7d)},
    {0x08, chr('7'), chr('&'), nothing, ext(0x7e)},
    {0x09, chr('8'), chr('*'), nothing, ext(0x7f)},
    {0x0a, chr('9'), chr('('), nothing, ext(0x80)},
    {0x0b, chr('0'), chr(')'), nothing, ext(0x81)},
    {0x0c, chr('-'), chr('_'), chr(0x1f), ext(0x82)},
    {0x0d, chr('='), chr('+'), nothing, ext(0x83)},
    {0x0e, chr(0x08), chr(0x08), chr(0x7f), ext(0x0e)},  // Backspace
    {0x0f, chr(0x09), ext(0x0f), ext(0x94), ext(0xa5)},  // Tab
    {0x10, chr('q'), chr('Q'), chr(0x11), ext(0x10)},
    {0x11, chr('w'), chr('W'), chr(0x17), ext(0x11)},
    {0x12, chr('e'), chr('E'), chr(0x05), ext(0x12)},
    {0x13, chr('r'), chr('R'), chr(0x12), ext(0x13)},
    {0x14, chr('t'), chr('T'), chr(0x14), ext(0x14)},
    {0x15, chr('y'), chr('Y'), chr(0x19), ext(0x15)},
    {0x16, chr('u'), chr('U'), chr(0x15), ext(0x16)},
    {0x17, chr('i'), chr('I'), chr(0x09), ext(0x17)},
    {0x18, chr('o'), chr('O'), chr(0x0f), ext(0x18)},
    {0x19, chr('p'), chr('P'), chr(0x10), ext(0x19)},
    {0x1a, chr('['), chr('{'), chr(0x1b), ext(0x1a)},
    {0x1b, chr(']'), chr('}'), chr(0x1d), ext(0x1b)},
    {0x1c, chr(0x0d), chr(0x0d), chr(0x0a), ext(0x1c)},  // Enter
    {0x1e, chr('a'), chr('A'), chr(0x01), ext(0x1e)},
    {0x1f, chr('s'), chr('S'), chr(0x13), ext(0x1f)},
    {0x20, chr('d'), chr('D'), chr(0x04), ext(0x20)},
    {0x21, chr('f'), chr('F'), chr(0x06), ext(0x21)},
    {0x22, chr('g'), chr('G'), chr(0x07), ext(0x22)},
    {0x23, chr('h'), chr('H'), chr(0x08), ext(0x23)},
    {0x24, chr('j'), chr('J'), chr(0x0a), ext(0x24)},
    {0x25, chr('k'), chr('K'), chr(0x0b), ext(0x25)},
    {0x26, chr('l'), chr('L'), chr(0x0c), ext(0x26)},
    {0x27, chr(';'), chr(':'), nothing, ext(0x27)},
    {0x28, chr('\''), chr('"'), nothing, ext(0x28)},
    {0x29, chr('`'), chr('~'), nothing, ext(0x29)},
    {0x2b, chr('\\'), chr('|'), chr(0x1c), ext(0x2b)},
    {0x2c, chr('z'), chr('Z'), chr(0x1a), ext(0x2c)},
    {0x2d, chr('x'), chr('X'), chr(0x18), ext(0x2d)},
    {0x2e, chr('c'), chr('C'), chr(0x03), ext(0x2e)},
    {0x2f, chr('v'), chr('V'), chr(0x16), ext(0x2f)},
    {0x30, chr('b'), chr('B'), chr(0x02), ext(0x30)},
    {0x31, chr('n'), chr('N'), chr(0x0e), ext(0x31)},
    {0x32, chr('m'), chr('M'), chr(0x0d), ext(0x32)},
    {0x33, chr(','), chr('<'), nothing, ext(0x33)},
    {0x34, chr('.'), chr('>'), nothing, ext(0x34)},
    {0x35, chr('/'), chr('?'), nothing, ext(0x35)},
    {0x37, chr('*'), chr('*'), ext(0x96), ext(0x37)},    // keypad *
    {0x39, chr(' '), chr(' '), chr(' '), chr(' ')},      // Space
    {0x3b, ext(0x3b), ext(0x54), ext(0x5e), ext(0x68)},  // F1
    {0x3c, ext(0x3c), ext(0x55), ext(0x5f), ext(0x69)},
    {0x3d, ext(0x3d), ext(0x56), ext(0x60), ext(0x6a)},
    {0x3e, ext(0x3e), ext(0x57), ext(0x61), ext(0x6b)},  // F4: Alt+F4 is 107
    {0x3f, ext(0x3f), ext(0x58), ext(0x62), ext(0x6c)},
    {0x40, ext(0x40), ext(0x59), ext(0x63), ext(0x6d)},
    {0x41, ext(0x41), ext(0x5a), ext(0x64), ext(0x6e)},
    {0x42, ext(0x42), ext(0x5b), ext(0x65), ext(0x6f)},
    {0x43, ext(0x43), ext(0x5c), ext(0x66), ext(0x70)},
    {0x44, ext(0x44), ext(0x5d), ext(0x67), ext(0x71)},  // F10
    {0x47, ext(0x47), chr('7'), ext(0x77), nothing},     // keypad Home
    {0x48, ext(0x48), chr('8'), ext(0x8d), nothing},     // keypad Up
    {0x49, ext(0x49), chr('9'), ext(0x84), nothing},     // keypad Page Up
    {0x4a, chr('-'), chr('-'), ext(0x8e), ext(0x4a)},    // keypad -
    {0x4b, ext(0x4b), chr('4'), ext(0x73), nothing},     // keypad Left
    {0x4c, nothing, chr('5'), ext(0x8f), nothing},       // keypad 5
    {0x4d, ext(0x4d), chr('6'), ext(0x74), nothing},     // keypad Right
    {0x4e, chr('+'), chr('+'), ext(0x90), ext(0x4e)},    // keypad +
    {0x4f, ext(0x4f), chr('1'), ext(0x75), nothing},     // keypad End
    {0x50, ext(0x50), chr('2'), ext(0x91), nothing},     // keypad Down
    {0x51, ext(0x51), chr('3'), ext(0x76), nothing},     // keypad Page Down
    {0x52, ext(0x52), chr('0'), ext(0x92), nothing},     // keypad Insert
    {0x53, ext(0x53), chr('.'), ext(0x93), nothing},     // keypad Delete
    {0x57, ext(0x85), ext(0x87), ext(0x89), ext(0x8b)},  // F11
    {0x58, ext(0x86), ext(0x88), ext(0x8a), ext(0x8c)},  // F12
};

// The grey keys give the same codes as their keypad twins alone and with Ctrl,
// keep them with Shift, and have Alt forms of their own.
constexpr row grey_rows[] = {
    {0x1c, chr(0x0d), chr(0x0d), chr(0x0a), ext(0xa6)},  // grey Enter
    {0x35, chr('/'), chr('/'), ext(0x95), ext(0xa4)},    // grey /
    {0x47, ext(0x47), ext(0x47), ext(0x77), ext(0x97)},  // Home
    {0x48, ext(0x48), ext(0x48), ext(0x8d), ext(0x98)},  // Up
    {0x49, ext(0x49), ext(0x49), ext(0x84), ext(0x99)},  // Page Up
    {0x4b, ext(0x4b), ext(0x4b), ext(0x73), ext(0x9b)},  // Left
    {0x4d, ext(0x4d), ext(0x4d), ext(0x74), ext(0x9d)},  // Right
    {0x4f, ext(0x4f), ext(0x4f), ext(0x75), ext(0x9f)},  // End
    {0x50, ext(0x50), ext(0x50), ext(0x91), ext(0xa0)},  // Down
    {0x51, ext(0x51), ext(0x51), ext(0x76), ext(0xa1)},  // Page Down
    {0x52, ext(0x52), ext(0x52), ext(0x92), ext(0xa2)},  // Insert
    {0x53, ext(0x53), ext(0x53), ext(0x93), ext(0xa3)},  // Delete
};

template <std::size_t n>
entry look_up(const row (&rows)[n], std::uint8_t scan_code, modifier m) {
  for (const row& r : rows) {
    if (r.scan_code != scan_code)
      continue;
    switch (m) {
      case modifier::none:
        return r.normal;
      case modifier::shift:
        return r.shift;
      case modifier::ctrl:
        return r.ctrl;
      case modifier::alt:
        return r.alt;
    }
  }
  return nothing;
}

}  // namespace

text key_text(key_code key) {
  const auto low = static_cast<char>(key & 0xff);
  const auto high = static_cast<char>(key >> 8);
  return (key & 0xff) == 0xff && (key >> 8) != 0 ? text{low, high} : text(1, low);
}

entry standard_key(std::uint8_t scan_code, modifier m) {
  return look_up(standard_rows, scan_code, m);
}

entry grey_key(std::uint8_t scan_code, modifier m) {
  return look_up(grey_rows, scan_code, m);
}

std::uint8_t scan_code_of(std::uint8_t c) {
  // Only the main block, Space included: a character that the keypad also
  // types ('7', '+', '*') belongs to its main-block key.
  for (const row& r : standard_rows) {
    if (r.scan_code > scan::space)
      break;
    for (const entry& e : {r.normal, r.shift}) {
      if (e.what == entry::kind::character && e.value == c)
        return r.scan_code;
    }
  }
  return 0;
}

}  // namespace qmr::keys
