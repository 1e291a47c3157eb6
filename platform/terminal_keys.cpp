#include "platform/terminal_keys.h"

#include <string>
#include <vector>

namespace qmr::keys {
namespace {

constexpr unsigned char esc = 0x1b;
constexpr unsigned char del = 0x7f;

// A key as a terminal names it: the key, whether it is one of the grey keys
// (which share scan codes with the keypad) and the modifier that counts.
struct key_id {
  std::uint8_t scan_code;
  bool grey;
  modifier held;
};

constexpr key_id grey(std::uint8_t scan_code, modifier m = modifier::none) {
  return {scan_code, true, m};
}
constexpr key_id plain(std::uint8_t scan_code, modifier m = modifier::none) {
  return {scan_code, false, m};
}

// The scan code of function key Fn.
constexpr std::uint8_t f(int n) {
  return n == 11 ? scan::f11 : n == 12 ? scan::f12 : static_cast<std::uint8_t>(scan::f1 + n - 1);
}

// Alt over Ctrl over Shift: the stronger of two modifiers is the one that counts.
constexpr modifier stronger(modifier a, modifier b) {
  return a > b ? a : b;
}

// Keys that xterm and its relatives send as CSI or SS3 and one letter. With a
// modifier xterm sends CSI "1;m" and the letter, older terminals SS3, the
// digit m and the letter.
struct letter_key {
  char final;
  key_id key;
};
constexpr letter_key letter_keys[] = {
    {'A', grey(scan::up)},
    {'B', grey(scan::down)},
    {'C', grey(scan::right)},
    {'D', grey(scan::left)},
    {'H', grey(scan::home)},
    {'F', grey(scan::end)},
    {'P', plain(f(1))},
    {'Q', plain(f(2))},
    {'R', plain(f(3))},
    {'S', plain(f(4))},
    {'E', plain(scan::keypad_center)},
};

// Keys sent as CSI, a number and '~' (VT220, xterm, the Linux console, rxvt).
// xterm puts ";m" before the '~'; rxvt replaces the '~' with '$' for Shift,
// '^' for Ctrl and '@' for both.
struct numbered_key {
  int number;
  key_id key;
};
constexpr numbered_key numbered_keys[] = {
    {1, grey(scan::home)},  // VT220 Find; Home on the Linux console
    {2, grey(scan::insert)},
    {3, grey(scan::del)},
    {4, grey(scan::end)},  // VT220 Select; End on the Linux console
    {5, grey(scan::page_up)},
    {6, grey(scan::page_down)},
    {7, grey(scan::home)},  // rxvt
    {8, grey(scan::end)},   // rxvt
    {11, plain(f(1))},      // F1 to F4 of VT220, rxvt and PuTTY
    {12, plain(f(2))},
    {13, plain(f(3))},
    {14, plain(f(4))},
    {15, plain(f(5))},
    {17, plain(f(6))},
    {18, plain(f(7))},
    {19, plain(f(8))},
    {20, plain(f(9))},
    {21, plain(f(10))},
    {23, plain(f(11))},
    {24, plain(f(12))},
    // F13 to F20, which the Linux console and rxvt send for Shift+F3 to
    // Shift+F10 (their Shift+F1 and Shift+F2 are F11 and F12).
    {25, plain(f(3), modifier::shift)},
    {26, plain(f(4), modifier::shift)},
    {28, plain(f(5), modifier::shift)},
    {29, plain(f(6), modifier::shift)},
    {31, plain(f(7), modifier::shift)},
    {32, plain(f(8), modifier::shift)},
    {33, plain(f(9), modifier::shift)},
    {34, plain(f(10), modifier::shift)},
};

struct rxvt_suffix {
  char final;
  modifier held;
};
constexpr rxvt_suffix rxvt_suffixes[] = {
    {'$', modifier::shift}, {'^', modifier::ctrl}, {'@', modifier::ctrl}};

// Sequences outside those two schemes, each sent by one family of terminals.
struct fixed_sequence {
  std::string_view bytes;
  key_id key;
};
constexpr fixed_sequence fixed_sequences[] = {
    {"\x1b[[A", plain(f(1))},  // the Linux console's F1 to F5
    {"\x1b[[B", plain(f(2))},
    {"\x1b[[C", plain(f(3))},
    {"\x1b[[D", plain(f(4))},
    {"\x1b[[E", plain(f(5))},
    {"\x1b[G", plain(scan::keypad_center)},       // the Linux console's keypad 5
    {"\x1b[a", grey(scan::up, modifier::shift)},  // rxvt's Shift+arrows
    {"\x1b[b", grey(scan::down, modifier::shift)},
    {"\x1b[c", grey(scan::right, modifier::shift)},
    {"\x1b[d", grey(scan::left, modifier::shift)},
    {"\x1bOa", grey(scan::up, modifier::ctrl)},  // rxvt's Ctrl+arrows
    {"\x1bOb", grey(scan::down, modifier::ctrl)},
    {"\x1bOc", grey(scan::right, modifier::ctrl)},
    {"\x1bOd", grey(scan::left, modifier::ctrl)},
    {"\x1b[Z", plain(scan::tab, modifier::shift)},  // back-tab
    {"\x1bOM", grey(scan::enter)},                  // the keypad in application mode
    {"\x1bOo", grey(scan::keypad_slash)},
    {"\x1bOj", plain(0x37)},  // keypad *
    {"\x1bOm", plain(0x4a)},  // keypad -
    {"\x1bOk", plain(0x4e)},  // keypad +
};

// xterm's modifier parameter m is 1 plus the sum of Shift 1, Alt 2, Ctrl 4 and
// Meta 8; Meta is taken as Alt, which is what it is on most keyboards.
constexpr int highest_modifier_parameter = 16;
constexpr modifier modifier_of_parameter(int m) {
  const int bits = m - 1;
  return (bits & 10) != 0  ? modifier::alt
         : (bits & 4) != 0 ? modifier::ctrl
         : (bits & 1) != 0 ? modifier::shift
                           : modifier::none;
}

struct sequence {
  std::string bytes;
  key_id key;
};

void add(std::vector<sequence>& table, std::string bytes, key_id key, modifier m) {
  table.push_back({std::move(bytes), {key.scan_code, key.grey, stronger(key.held, m)}});
}

// Every sequence the decoder knows, spelled out once from the rows above, in
// the way a terminfo entry lists them.
std::vector<sequence> build_sequences() {
  std::vector<sequence> table;
  for (const letter_key& k : letter_keys) {
    add(table, std::string("\x1b[") + k.final, k.key, modifier::none);
    add(table, std::string("\x1bO") + k.final, k.key, modifier::none);
    for (int m = 2; m <= highest_modifier_parameter; ++m) {
      add(table, "\x1b[1;" + std::to_string(m) + k.final, k.key, modifier_of_parameter(m));
      if (m <= 9)
        add(table, "\x1bO" + std::to_string(m) + k.final, k.key, modifier_of_parameter(m));
    }
  }
  for (const numbered_key& k : numbered_keys) {
    const std::string head = "\x1b[" + std::to_string(k.number);
    add(table, head + "~", k.key, modifier::none);
    for (int m = 2; m <= highest_modifier_parameter; ++m)
      add(table, head + ";" + std::to_string(m) + "~", k.key, modifier_of_parameter(m));
    for (const rxvt_suffix& s : rxvt_suffixes)
      add(table, head + s.final, k.key, s.held);
  }
  for (const fixed_sequence& s : fixed_sequences)
    add(table, std::string(s.bytes), s.key, modifier::none);
  return table;
}

const std::vector<sequence>& known_sequences() {
  static const std::vector<sequence> table = build_sequences();
  return table;
}

// Single bytes that stand for a key other than their own character: DEL is
// what most terminals send for Backspace, NUL what they send for Ctrl+2
// (Ctrl+@, Ctrl+Space).
struct byte_key {
  unsigned char byte;
  key_id key;
};
constexpr byte_key byte_keys[] = {
    {del, plain(scan::backspace)},
    {0x00, plain(0x03, modifier::ctrl)},
};

// What the decoder found, before it is turned into a key code.
struct outcome {
  decoded::kind what = decoded::kind::need_more;
  std::size_t consumed = 0;
  key_id key{};
  bool by_character = false;  // the key is `character` itself, not a key_id
  unsigned char character = 0;
};

outcome need_more() {
  return {};
}
outcome skipped(std::size_t consumed) {
  return {decoded::kind::skipped, consumed};
}
outcome found(key_id key, std::size_t consumed) {
  return {decoded::kind::key, consumed, key};
}
outcome found_character(unsigned char c, std::size_t consumed) {
  return {decoded::kind::key, consumed, {}, true, c};
}

// The key that a byte stands for when it arrives after ESC: its own main-block
// key, or for a control byte the key that types it with Ctrl.
bool key_of_byte(unsigned char c, key_id& key) {
  for (const byte_key& b : byte_keys) {
    if (b.byte == c) {
      key = b.key;
      return true;
    }
  }
  if (const std::uint8_t s = scan_code_of(c); s != 0) {
    key = plain(s);
    return true;
  }
  for (std::uint8_t s = 1; s <= scan::space; ++s) {
    const entry e = standard_key(s, modifier::ctrl);
    if (e.what == entry::kind::character && e.value == c) {
      key = plain(s, modifier::ctrl);
      return true;
    }
  }
  return false;
}

// ESC and a character is how terminals send Alt with that character's key. A
// character no key types (a byte of a multi-byte character) stays itself.
outcome alt_form(unsigned char c, std::size_t consumed) {
  key_id key{};
  if (!key_of_byte(c, key))
    return found_character(c, consumed);
  key.held = modifier::alt;
  return found(key, consumed);
}

bool is_parameter(unsigned char c) {
  return c >= 0x30 && c <= 0x3f;
}
bool is_intermediate(unsigned char c) {
  return c >= 0x20 && c <= 0x2f;
}
bool is_final(unsigned char c) {
  return c >= 0x40 && c <= 0x7e;
}

// The length of the CSI or SS3 sequence at the front of the input by the
// grammar that all of them follow, so that an unknown one can be dropped
// whole; 0 while its end has not arrived. A byte that cannot be part of a
// sequence ends it early, so that the byte itself is not swallowed.
std::size_t sequence_length(std::string_view input) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(input[i]); };
  std::size_t i = 2;
  if (byte(1) == '[' && input.size() > 2 && byte(2) == '[') {
    // The Linux console's CSI '[' and one letter.
    return input.size() >= 4 ? 4 : 0;
  }
  while (i < input.size() && is_parameter(byte(i)))
    ++i;
  if (byte(1) == '[') {
    while (i < input.size() && is_intermediate(byte(i)))
      ++i;
  }
  if (i == input.size())
    return 0;
  return is_final(byte(i)) ? i + 1 : i;
}

// A CSI or SS3 sequence (the input starts with ESC and '[' or 'O').
outcome decode_sequence(std::string_view input, bool input_ended) {
  std::size_t longest_match = 0;
  key_id key{};
  bool longer_known = false;
  for (const sequence& s : known_sequences()) {
    if (input.starts_with(s.bytes) && s.bytes.size() > longest_match) {
      longest_match = s.bytes.size();
      key = s.key;
    } else if (s.bytes.size() > input.size() && std::string_view(s.bytes).starts_with(input)) {
      longer_known = true;
    }
  }
  if (longer_known && !input_ended)
    return need_more();
  if (longest_match > 0)
    return found(key, longest_match);
  if (input.size() == 2) {
    // Nothing more came: ESC '[' or ESC 'O' was Alt with that character.
    return input_ended ? alt_form(static_cast<unsigned char>(input[1]), 2) : need_more();
  }
  if (const std::size_t length = sequence_length(input); length > 0)
    return skipped(length);
  // Cut off for good: dropped whole. Until then the sequence is waited for
  // however long it is, so that no part of it is ever taken for keys; how much
  // it may hold is up to the caller's buffer.
  if (input_ended)
    return skipped(input.size());
  return need_more();
}

bool starts_sequence(unsigned char c) {
  return c == '[' || c == 'O';
}

outcome decode_escape(std::string_view input, bool input_ended) {
  if (input.size() == 1)
    return input_ended ? found(plain(scan::escape), 1) : need_more();
  const auto second = static_cast<unsigned char>(input[1]);
  if (starts_sequence(second))
    return decode_sequence(input, input_ended);
  if (second != esc)
    return alt_form(second, 2);
  // ESC ESC: Alt with a key that sends a sequence (rxvt, and xterm when Meta
  // sends Escape), or Alt+Esc.
  if (input.size() == 2)
    return input_ended ? alt_form(esc, 2) : need_more();
  if (!starts_sequence(static_cast<unsigned char>(input[2])))
    return alt_form(esc, 2);
  outcome inner = decode_sequence(input.substr(1), input_ended);
  if (inner.what == decoded::kind::need_more)
    return inner;
  ++inner.consumed;
  if (inner.what == decoded::kind::key && !inner.by_character)
    inner.key.held = modifier::alt;
  return inner;
}

outcome decode_byte(unsigned char c) {
  for (const byte_key& b : byte_keys) {
    if (b.byte == c)
      return found(b.key, 1);
  }
  return found_character(c, 1);
}

}  // namespace

decoded decode_terminal_input(std::string_view input, bool input_ended) {
  if (input.empty())
    return {};
  const auto first = static_cast<unsigned char>(input[0]);
  const outcome o = first == esc ? decode_escape(input, input_ended) : decode_byte(first);
  if (o.what != decoded::kind::key)
    return {o.what, o.consumed, 0};
  if (o.by_character)
    return {decoded::kind::key, o.consumed, character_key(o.character)};
  const entry e = o.key.grey ? grey_key(o.key.scan_code, o.key.held)
                             : standard_key(o.key.scan_code, o.key.held);
  // A key that gives nothing with this modifier (keypad 5 alone) is dropped
  // with its bytes.
  if (e.gives_nothing())
    return {decoded::kind::skipped, o.consumed, 0};
  return {decoded::kind::key, o.consumed, e.code()};
}

}  // namespace qmr::keys
