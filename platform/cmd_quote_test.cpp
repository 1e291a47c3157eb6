#include "platform/cmd_quote.h"

#include <gtest/gtest.h>

#include <random>

namespace qmr {
namespace {

struct QuoteCase {
  text argument;
  text quoted;
};

class CmdQuoteTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(CmdQuoteTest, GivesTheExpectedWord) {
  EXPECT_EQ(quote_for_cmd(GetParam().argument), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CmdQuoteTest,
    ::testing::Values(QuoteCase{"C:\\a", "\"C:\\a\""}, QuoteCase{"my files", "\"my files\""},
                      QuoteCase{"a&b|c^d(e)f<g>h", "\"a&b|c^d(e)f<g>h\""},
                      QuoteCase{"%PATH%", "%\"PATH\"%\"\""}, QuoteCase{"a%b", "\"a\"%\"b\""},
                      QuoteCase{"50%", "\"50\"%\"\""}, QuoteCase{"%%", "%\"\"%\"\""},
                      QuoteCase{"C:\\dir\\", "\"C:\\dir\"\\"}, QuoteCase{"C:\\", "\"C:\"\\"},
                      QuoteCase{"\\", "\\"}, QuoteCase{"a\\%b", "\"a\"\\%\"b\""},
                      QuoteCase{"a%\\%b", "\"a\"%\"\"\\%\"b\""},
                      QuoteCase{"\\\\server\\share", "\"\\\\server\\share\""},
                      QuoteCase{"", "\"\""}));

// What every word must satisfy, checked on many arguments built from the bytes
// that matter to cmd.exe and to argument parsers.
void ExpectSafeWord(const text& argument) {
  SCOPED_TRACE("argument [" + argument + "]");
  const text word = quote_for_cmd(argument);
  text without_quotes;
  bool quoted = false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    without_quotes += c;
    if (!quoted) {
      // Outside the quotes cmd would act on anything but these two.
      ASSERT_TRUE(c == '%' || c == '\\') << "outside the quotes: " << c << " in " << word;
    }
    if (c == '%') {
      // The name a '%' could open always starts with a quote.
      ASSERT_TRUE(i + 1 < word.size() && word[i + 1] == '"') << word;
    }
    if (c == '\\' && i + 1 < word.size()) {
      // A backslash before a quote would escape it for the runtime's parser.
      ASSERT_NE(word[i + 1], '"') << word;
    }
  }
  EXPECT_FALSE(quoted) << "quotes left open: " << word;
  // The copy utility reads the quotes as grouping marks and drops them.
  EXPECT_EQ(without_quotes, argument) << word;
}

TEST(CmdQuoteRulesTest, EveryArgumentGivesASafeWord) {
  const text alphabet = "a %\\&|^()<>!";
  std::mt19937 random(2024);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 8);
  for (int round = 0; round < 5000; ++round) {
    text argument;
    for (int n = length(random); n > 0; --n)
      argument += alphabet[pick(random)];
    ExpectSafeWord(argument);
    if (HasFatalFailure())
      return;
  }
}

TEST(CmdQuoteRulesTest, QuoteCharacterKeepsTheQuotingIntact) {
  // A '"' cannot pass, but it must not open a way out of the quotes.
  const text word = quote_for_cmd("a\" & echo x & \"b");
  bool quoted = false;
  for (const char c : word) {
    if (c == '"')
      quoted = !quoted;
    else if (!quoted)
      ADD_FAILURE() << "outside the quotes: " << c << " in " << word;
  }
  EXPECT_FALSE(quoted);
}

}  // namespace
}  // namespace qmr
