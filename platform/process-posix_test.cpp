#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

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

// A directory deeper than the longest path the kernel takes in one call,
// built and removed one level at a time, as only relative steps reach it.
class DeepDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    start = current_directory();
    ASSERT_FALSE(start.empty());
    char pattern[] = "/tmp/qmr-deep-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top = pattern;
    ASSERT_EQ(chdir(top.c_str()), 0);
    deep = top;
    while (deep.size() <= PATH_MAX + 200) {
      ASSERT_EQ(mkdir(component.c_str(), 0700), 0);
      ASSERT_EQ(chdir(component.c_str()), 0);
      deep += "/" + component;
      ++depth;
    }
  }

  void TearDown() override {
    ASSERT_EQ(change_directory(deep), 0);
    for (; depth > 0; --depth) {
      ASSERT_EQ(chdir(".."), 0);
      ASSERT_EQ(rmdir(component.c_str()), 0);
    }
    rmdir(top.c_str());
    change_directory(start);
  }

  const text component = text(200, 'd');
  text start, top, deep;
  int depth = 0;
};

TEST_F(DeepDirectoryTest, CurrentDirectoryLongerThanPathMaxComesBackWhole) {
  EXPECT_EQ(current_directory(), deep);
}

TEST_F(DeepDirectoryTest, ChangeDirectoryReturnsToADirectoryLongerThanPathMax) {
  ASSERT_EQ(change_directory("/"), 0);
  ASSERT_EQ(change_directory(deep), 0);
  EXPECT_EQ(current_directory(), deep);
  // Relative and with parent steps, still longer than PATH_MAX.
  ASSERT_EQ(change_directory(top), 0);
  const text relative = deep.substr(top.size() + 1) + "/../" + component;
  ASSERT_GT(relative.size(), static_cast<std::size_t>(PATH_MAX));
  ASSERT_EQ(change_directory(relative), 0);
  EXPECT_EQ(current_directory(), deep);
}

TEST_F(DeepDirectoryTest, FailedLongChangeLeavesTheCurrentDirectory) {
  ASSERT_EQ(change_directory("/"), 0);
  EXPECT_NE(change_directory(deep + "/missing/" + component), 0);
  EXPECT_NE(change_directory(deep + "/" + text(300, 'x')), 0);
  EXPECT_EQ(current_directory(), "/");
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
