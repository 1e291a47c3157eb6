#include <gtest/gtest.h>

#include "platform/platform.h"

namespace qmr {
namespace {

TEST(ProcessTest, EmptyCommandLineRunsNothing) {
  EXPECT_EQ(run_command(""), -1);
}

TEST(ProcessTest, CommandResultIsTheInterpretersExitCode) {
  EXPECT_EQ(run_command("exit 0"), 0);
  EXPECT_EQ(run_command("exit 4"), 4);
  EXPECT_EQ(run_command("kill -TERM $$"), 128 + 15);
  EXPECT_EQ(run_command("no-such-command-anywhere 2>/dev/null"), 127);
}

TEST(ProcessTest, QuotedArgumentsReachTheCommandByteForByte) {
  const text awkward[] = {"a b",
                          "it's",
                          "$(touch /tmp/pwned)",
                          "`id`",
                          "a;b&c|d",
                          "\"q\"",
                          "back\\slash",
                          "new\nline",
                          "*",
                          "\xff\xfe",
                          "",
                          "-n",
                          "'"};
  for (const text& argument : awkward) {
    const text line = "test \"$#\" = 1 && test \"$1\" = " + quote_argument(argument) + " || exit 9";
    EXPECT_EQ(run_command("set -- " + quote_argument(argument) + "; " + line), 0) << argument;
  }
}

TEST(ProcessTest, ChangeDirectoryAndBack) {
  const text start = current_directory();
  ASSERT_FALSE(start.empty());
  EXPECT_EQ(change_directory("/"), 0);
  EXPECT_EQ(current_directory(), "/");
  EXPECT_NE(change_directory(""), 0);
  EXPECT_NE(change_directory("/no/such/directory"), 0);
  EXPECT_NE(change_directory("/etc/passwd"), 0);
  EXPECT_EQ(current_directory(), "/");
  EXPECT_EQ(change_directory(start), 0);
}

TEST(ArgumentsTest, KeptUnchangedAndEmptyPastTheEnd) {
  const char* vector[] = {"qmr", "a b", "", nullptr};
  keep_arguments(3, vector);
  EXPECT_EQ(program_argument(0), "qmr");
  EXPECT_EQ(program_argument(1), "a b");
  EXPECT_EQ(program_argument(2), "");
  EXPECT_EQ(program_argument(3), "");
  EXPECT_EQ(program_argument(5), "");
  EXPECT_EQ(program_argument(-1), "");
}

}  // namespace
}  // namespace qmr
