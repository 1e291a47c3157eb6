#include "platform/terminal_keys.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace qmr::keys {
namespace {

using namespace std::literals;

// The bytes with control bytes written out, for readable failure messages.
std::string visible(std::string_view bytes) {
  std::string shown;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0x1b) {
      shown += "ESC";
    } else if (b < 0x20 || b >= 0x7f) {
      static constexpr char digits[] = "0123456789abcdef";
      shown += "\\x";
      shown += digits[b >> 4];
      shown += digits[b & 15];
    } else {
      shown += c;
    }
  }
  return shown;
}

constexpr key_code ext(std::uint8_t code) {
  return extended_key(code);
}

// What one call of the decoder gives for the bytes; `ended` is the caller's
// "no more bytes are coming".
struct DecodeCase {
  std::string_view bytes;
  bool ended;
  decoded::kind what;
  std::size_t consumed;
  key_code key;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
  *out << visible(c.bytes) << (c.ended ? " (ended)" : "");
}

constexpr auto key = decoded::kind::key;
constexpr auto skipped = decoded::kind::skipped;
constexpr auto need_more = decoded::kind::need_more;

DecodeCase k(std::string_view bytes, key_code code) {
  return {bytes, false, key, bytes.size(), code};
}

class TerminalKeysTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(TerminalKeysTest, BytesGiveTheKeyCode) {
  const DecodeCase& c = GetParam();
  const decoded d = decode_terminal_input(c.bytes, c.ended);
  EXPECT_EQ(d.what, c.what);
  EXPECT_EQ(d.consumed, c.consumed);
  if (c.what == key) {
    EXPECT_EQ(d.key, c.key);
  }
}

INSTANTIATE_TEST_SUITE_P(
    SingleBytes, TerminalKeysTest,
    ::testing::Values(k("a", 'a'), k("A", 'A'), k("\r", 13), k("\t", 9),
                      k("\x7f", 8),       // Backspace as most terminals send it
                      k("\x08", 8),       // Backspace as the rest (and Ctrl+H) send it
                      k("\0"sv, ext(3)),  // Ctrl+2, Ctrl+@, Ctrl+Space
                      k("\x01", 1), k("\xe9", 0xe9), DecodeCase{"ab", false, key, 1, 'a'}));

INSTANTIATE_TEST_SUITE_P(
    AltForms, TerminalKeysTest,
    ::testing::Values(k("\033a", ext(30)), k("\033A", ext(30)),  // Alt over Shift
                      k("\033\x01", ext(30)),                    // Alt over Ctrl
                      k("\0331", ext(0x78)), k("\033=", ext(0x83)), k("\033/", ext(0x35)),
                      k("\033\x7f", ext(0x0e)),  // Alt+Backspace
                      k("\033\r", ext(0x1c)), k("\033\t", ext(0xa5)), k("\033 ", ' '),
                      k("\033\0"sv, ext(0x79)),  // Alt+Ctrl+2
                      k("\033\xe9", 0xe9),       // no key types it: the character stays
                      DecodeCase{"\033[", true, key, 2, ext(0x1a)},
                      DecodeCase{"\033O", true, key, 2, ext(0x18)},
                      DecodeCase{"\033\033", true, key, 2, ext(0x01)},
                      DecodeCase{"\033\033x", false, key, 2, ext(0x01)}));

INSTANTIATE_TEST_SUITE_P(LoneEscape, TerminalKeysTest,
                         ::testing::Values(DecodeCase{"\033", true, key, 1, 27},
                                           DecodeCase{"\033", false, need_more, 0, 0},
                                           DecodeCase{"\033\033", false, need_more, 0, 0},
                                           DecodeCase{"", true, need_more, 0, 0}));

INSTANTIATE_TEST_SUITE_P(
    Xterm, TerminalKeysTest,
    ::testing::Values(k("\033[A", ext(72)), k("\033OA", ext(72)), k("\033[B", ext(80)),
                      k("\033[C", ext(77)), k("\033[D", ext(75)), k("\033[H", ext(71)),
                      k("\033[F", ext(79)), k("\033OH", ext(71)), k("\033OF", ext(79)),
                      k("\033OP", ext(59)), k("\033OS", ext(62)), k("\033[2~", ext(82)),
                      k("\033[3~", ext(83)), k("\033[5~", ext(73)), k("\033[6~", ext(81)),
                      k("\033[15~", ext(63)), k("\033[21~", ext(68)), k("\033[23~", ext(0x85)),
                      k("\033[24~", ext(0x86)), k("\033[Z", ext(0x0f)), k("\033OM", 13)));

INSTANTIATE_TEST_SUITE_P(XtermModifiers, TerminalKeysTest,
                         ::testing::Values(k("\033[1;2P", ext(84)),   // Shift+F1
                                           k("\033[1;5P", ext(94)),   // Ctrl+F1
                                           k("\033[1;3P", ext(104)),  // Alt+F1
                                           k("\033[1;3S", ext(107)),  // Alt+F4
                                           k("\033[1;5H", ext(119)),  // Ctrl+Home
                                           k("\033[1;2A", ext(72)),   // Shift+Up is Up
                                           k("\033[1;5A", ext(0x8d)), k("\033[1;3A", ext(0x98)),
                                           k("\033[1;6A", ext(0x8d)),  // Ctrl+Shift: Ctrl counts
                                           k("\033[1;4A", ext(0x98)),  // Alt+Shift: Alt counts
                                           k("\033[1;7A", ext(0x98)),  // Ctrl+Alt: Alt counts
                                           k("\033[1;8A", ext(0x98)),
                                           k("\033[1;9A", ext(0x98)),  // Meta is Alt
                                           k("\033O2P", ext(84)), k("\033O5Q", ext(95)),
                                           k("\033[15;2~", ext(88)), k("\033[24;5~", ext(0x8a)),
                                           k("\033[23;3~", ext(0x8b)), k("\033[3;3~", ext(0xa3)),
                                           k("\033[6;5~", ext(0x76)), k("\033[5;5~", ext(0x84)),
                                           k("\033[2;5~", ext(0x92))));

INSTANTIATE_TEST_SUITE_P(
    LinuxConsoleAndVt220, TerminalKeysTest,
    ::testing::Values(k("\033[[A", ext(59)), k("\033[[E", ext(63)), k("\033[1~", ext(71)),
                      k("\033[4~", ext(79)), k("\033[11~", ext(59)), k("\033[14~", ext(62)),
                      k("\033[17~", ext(64)), k("\033[25~", ext(86)),  // F13: Shift+F3
                      k("\033[34~", ext(93)),                          // F20: Shift+F10
                      DecodeCase{"\033[G", false, skipped, 3, 0}));    // keypad 5 gives nothing

INSTANTIATE_TEST_SUITE_P(
    Rxvt, TerminalKeysTest,
    ::testing::Values(k("\033[a", ext(72)), k("\033Oa", ext(0x8d)), k("\033Od", ext(0x73)),
                      k("\033[7~", ext(71)), k("\033[8~", ext(79)), k("\033[2$", ext(82)),
                      k("\033[2^", ext(0x92)), k("\033[7^", ext(119)), k("\033[11^", ext(94)),
                      k("\033[23$", ext(0x87)), k("\033[24@", ext(0x8a)),
                      k("\033\033[A", ext(0x98)),    // Alt+Up as ESC and the sequence
                      k("\033\033[11~", ext(104)),   // Alt+F1
                      k("\033\033Oa", ext(0x98))));  // Alt over Ctrl

INSTANTIATE_TEST_SUITE_P(
    CutOffAndUnknown, TerminalKeysTest,
    ::testing::Values(
        DecodeCase{"\033[", false, need_more, 0, 0}, DecodeCase{"\033[1;", false, need_more, 0, 0},
        DecodeCase{"\033[1;5", false, need_more, 0, 0}, DecodeCase{"\033[1;5", true, skipped, 5, 0},
        DecodeCase{"\033[15", true, skipped, 4, 0}, DecodeCase{"\033[[", false, need_more, 0, 0},
        DecodeCase{"\033[[", true, skipped, 3, 0}, DecodeCase{"\033[9", false, need_more, 0, 0},
        DecodeCase{"\033\033[1", false, need_more, 0, 0},
        DecodeCase{"\033\033[1", true, skipped, 4, 0}, DecodeCase{"\033[99~", false, skipped, 5, 0},
        DecodeCase{"\033[200~", false, skipped, 6, 0},
        DecodeCase{"\033[?1;2c", false, skipped, 7, 0}, DecodeCase{"\033[[Z", false, skipped, 4, 0},
        DecodeCase{"\033Oz", false, skipped, 3, 0},
        DecodeCase{"\033\033[99~", false, skipped, 6, 0},
        // A byte that cannot be in a sequence ends it without being eaten.
        DecodeCase{"\033[1\x03", false, skipped, 3, 0},
        DecodeCase{"\033[1;\033[B", false, skipped, 4, 0}));

TEST(TerminalInputTest, LongSequenceIsWaitedForAndDroppedWholeWhenCutOff) {
  // However long a sequence runs, none of it may come out as keys: cut off
  // early, its digits and final letter would be typed as characters.
  const std::string unfinished = "\033[" + std::string(40, '1');
  EXPECT_EQ(decode_terminal_input(unfinished, false).what, decoded::kind::need_more);
  const decoded cut_off = decode_terminal_input(unfinished, true);
  EXPECT_EQ(cut_off.what, decoded::kind::skipped);
  EXPECT_EQ(cut_off.consumed, unfinished.size());
  const decoded whole = decode_terminal_input(unfinished + "A" + "x", false);
  EXPECT_EQ(whole.what, decoded::kind::skipped);
  EXPECT_EQ(whole.consumed, unfinished.size() + 1);
}

// Decodes a whole buffer as the key input does and lists the keys.
std::vector<key_code> keys_of(std::string_view bytes, bool ended) {
  std::vector<key_code> keys;
  while (!bytes.empty()) {
    const decoded d = decode_terminal_input(bytes, ended);
    if (d.what == decoded::kind::need_more)
      break;
    if (d.what == decoded::kind::key)
      keys.push_back(d.key);
    bytes.remove_prefix(d.consumed);
  }
  return keys;
}

struct BufferCase {
  std::string_view bytes;
  std::vector<key_code> keys;
};

void PrintTo(const BufferCase& c, std::ostream* out) {
  *out << visible(c.bytes);
}

class TerminalBufferTest : public ::testing::TestWithParam<BufferCase> {};

TEST_P(TerminalBufferTest, SeveralKeysInOneBufferComeOutInOrder) {
  EXPECT_EQ(keys_of(GetParam().bytes, true), GetParam().keys);
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, TerminalBufferTest,
    ::testing::Values(BufferCase{"ab", {'a', 'b'}}, BufferCase{"\033[A\033[B", {ext(72), ext(80)}},
                      BufferCase{"\033OP\033[15~x", {ext(59), ext(63), 'x'}},
                      BufferCase{"\033\033[Ax", {ext(0x98), 'x'}},
                      BufferCase{"\033\033x", {ext(0x01), 'x'}},
                      BufferCase{"\033[1;5\033[B", {ext(80)}}, BufferCase{"\033[99~q", {'q'}},
                      BufferCase{"\033[200~hi\033[201~", {'h', 'i'}},
                      BufferCase{"\033a\033", {ext(30), 27}}, BufferCase{"\033[1;5", {}}));

// Bytes that look like terminal input: mostly the pieces of escape sequences.
std::string random_input(std::mt19937& random) {
  static constexpr std::string_view alphabet =
      "\033\033\033[[OO0123456789;;~$^@ABCDHFPSZaxE\x7f\xe9";
  std::uniform_int_distribution<std::size_t> length(1, 12);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string bytes;
  for (std::size_t n = length(random); n > 0; --n)
    bytes += alphabet[pick(random)];
  return bytes;
}

TEST(TerminalInputTest, EndedInputIsAlwaysConsumed) {
  // Once no more bytes are coming the decoder must take something, or the
  // key input would keep its pending bytes for ever.
  std::mt19937 random(12345);
  for (int n = 0; n < 20000; ++n) {
    const std::string bytes = random_input(random);
    const decoded d = decode_terminal_input(bytes, true);
    ASSERT_NE(d.what, decoded::kind::need_more) << visible(bytes);
    ASSERT_GE(d.consumed, 1u) << visible(bytes);
    ASSERT_LE(d.consumed, bytes.size()) << visible(bytes);
  }
}

TEST(TerminalInputTest, HowReadsSplitTheInputDoesNotMatter) {
  // The bytes of one burst may arrive in any number of reads: asking for more
  // must never change what the bytes so far would have given.
  std::mt19937 random(54321);
  for (int n = 0; n < 20000; ++n) {
    const std::string bytes = random_input(random) + random_input(random);
    std::vector<key_code> one_at_a_time;
    std::string pending;
    for (const char c : bytes) {
      pending += c;
      std::string_view rest = pending;
      while (!rest.empty()) {
        const decoded d = decode_terminal_input(rest, false);
        if (d.what == decoded::kind::need_more)
          break;
        if (d.what == decoded::kind::key)
          one_at_a_time.push_back(d.key);
        rest.remove_prefix(d.consumed);
      }
      pending = std::string(rest);
    }
    for (const key_code k : keys_of(pending, true))
      one_at_a_time.push_back(k);

    std::vector<key_code> whole;
    std::string_view rest = bytes;
    while (!rest.empty()) {
      const decoded d = decode_terminal_input(rest, false);
      if (d.what == decoded::kind::need_more)
        break;
      if (d.what == decoded::kind::key)
        whole.push_back(d.key);
      rest.remove_prefix(d.consumed);
    }
    for (const key_code k : keys_of(rest, true))
      whole.push_back(k);
    ASSERT_EQ(one_at_a_time, whole) << visible(bytes);
  }
}

}  // namespace
}  // namespace qmr::keys
