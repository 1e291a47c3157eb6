#include "xcopy/wildcard.h"

#include <gtest/gtest.h>

#include <ostream>

namespace xcopy {
namespace {

struct wildcard_case {
  const char* pattern;
  const char* name;
  bool matches;
};

// How a case shows in test names: the pattern and the name, bytes outside
// printable ASCII as hex.
void PrintTo(const wildcard_case& c, std::ostream* out) {
  for (const char* text : {c.pattern, " ~ ", c.name}) {
    for (const char* at = text; *at != '\0'; ++at) {
      const auto byte = static_cast<unsigned char>(*at);
      if (byte >= 0x20 && byte < 0x7f) {
        *out << *at;
      } else {
        *out << "<" << std::hex << static_cast<int>(byte) << std::dec << ">";
      }
    }
  }
}

class WildcardTest : public testing::TestWithParam<wildcard_case> {};

TEST_P(WildcardTest, MatchesAsOnWindows) {
  const wildcard_case& c = GetParam();
  EXPECT_EQ(matches_wildcard(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, WildcardTest,
    testing::Values(wildcard_case{"*.txt", "a.txt", true}, wildcard_case{"*.txt", ".txt", true},
                    wildcard_case{"*.txt", "a.txt.bak", false},
                    wildcard_case{"*.TXT", "a.txt", true},  // ASCII letters match either case
                    wildcard_case{"a?c", "abc", true}, wildcard_case{"a?c", "ac", false},
                    wildcard_case{"a?c",
                                  "a\xc3\xa9"
                                  "c",
                                  true},  // ? takes a whole UTF-8 character
                    wildcard_case{"a?c",
                                  "a\xff\xfe"
                                  "c",
                                  false},  // but one byte of what is not UTF-8
                    wildcard_case{"a??c",
                                  "a\xff\xfe"
                                  "c",
                                  true},
                    wildcard_case{"*", "anything", true}, wildcard_case{"*", "", true},
                    wildcard_case{"*.*", "no-dot", true},  // Windows: *.* is every name
                    wildcard_case{"name.*", "name", true}, wildcard_case{"name.*", "names", false},
                    wildcard_case{"a*b*c", "aXbYbZc", true},
                    wildcard_case{"a*b*c", "aXbYbZ", false}, wildcard_case{"**x", "x", true},
                    wildcard_case{"*a", "bbb", false}));

TEST(WildcardTest, KnowsWhichComponentsArePatterns) {
  EXPECT_TRUE(has_wildcards("*.txt"));
  EXPECT_TRUE(has_wildcards("a?"));
  EXPECT_FALSE(has_wildcards("plain.txt"));
}

}  // namespace
}  // namespace xcopy
