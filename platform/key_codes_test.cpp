#include <gtest/gtest.h>

#include <ostream>

#include "platform/key_codes.h"

namespace qmr::keys {
namespace {

struct TableCase {
  std::uint8_t scan_code;
  modifier held;
  bool grey;
  key_code expected;
};

void PrintTo(const TableCase& c, std::ostream* out) {
  *out << "scan " << int{c.scan_code} << " modifier " << static_cast<int>(c.held)
       << (c.grey ? " grey" : "");
}

class KeyCodesTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(KeyCodesTest, KeyWithModifierGivesTheBiosCode) {
  const TableCase& c = GetParam();
  const entry e = c.grey ? grey_key(c.scan_code, c.held) : standard_key(c.scan_code, c.held);
  ASSERT_FALSE(e.gives_nothing());
  EXPECT_EQ(e.code(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    KnownCodes, KeyCodesTest,
    ::testing::Values(TableCase{scan::f1, modifier::none, false, extended_key(59)},
                      TableCase{scan::f1, modifier::shift, false, extended_key(84)},
                      TableCase{scan::f1, modifier::ctrl, false, extended_key(94)},
                      TableCase{scan::f1, modifier::alt, false, extended_key(104)},
                      TableCase{0x3e, modifier::alt, false, extended_key(107)},  // Alt+F4
                      TableCase{scan::f12, modifier::alt, false, extended_key(0x8c)},
                      TableCase{0x1e, modifier::alt, false, extended_key(30)},  // Alt+A
                      TableCase{0x1e, modifier::shift, false, character_key('A')},
                      TableCase{0x1e, modifier::ctrl, false, character_key(1)},
                      TableCase{scan::up, modifier::none, true, extended_key(72)},
                      TableCase{scan::home, modifier::ctrl, true, extended_key(119)},
                      TableCase{scan::del, modifier::alt, true, extended_key(0xa3)},
                      TableCase{scan::up, modifier::shift, false, character_key('8')},
                      TableCase{scan::escape, modifier::none, false, character_key(27)}));

TEST(KeyTextTest, CharactersAreOneByteExtendedCodesTwo) {
  EXPECT_EQ(key_text(character_key('a')), "a");
  EXPECT_EQ(key_text(character_key(0xff)), "\xff");
  EXPECT_EQ(key_text(extended_key(107)), "\xff\x6b");
}

TEST(KeyTableTest, KeysWithoutAnEntryGiveNothing) {
  EXPECT_TRUE(standard_key(0x02, modifier::ctrl).gives_nothing());  // Ctrl+1
  EXPECT_TRUE(standard_key(0x47, modifier::alt).gives_nothing());   // Alt+keypad 7 composes
  EXPECT_TRUE(standard_key(0x7f, modifier::none).gives_nothing());  // no such key
  EXPECT_TRUE(grey_key(0x3b, modifier::none).gives_nothing());      // F1 is not grey
}

TEST(KeyTableTest, CharactersMapBackToTheirMainBlockKey) {
  EXPECT_EQ(scan_code_of('a'), 0x1e);
  EXPECT_EQ(scan_code_of('A'), 0x1e);
  EXPECT_EQ(scan_code_of('7'), 0x08);  // the main block's 7, not the keypad's
  EXPECT_EQ(scan_code_of('+'), 0x0d);
  EXPECT_EQ(scan_code_of('\t'), scan::tab);
  EXPECT_EQ(scan_code_of(' '), scan::space);
  EXPECT_EQ(scan_code_of('*'), 0x09);  // Shift+8, not the keypad's *
  EXPECT_EQ(scan_code_of(0xe9), 0);
}

}  // namespace
}  // namespace qmr::keys
