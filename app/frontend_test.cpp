#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "app/fake_platform.h"
#include "app/frontend.h"

namespace qmr {
namespace {

using fake::the_world;

const text banner = "\r\n -QMR - Quillmere- \r\n\r\n";
const text prompt = "Press any Key to exit . . .";

text usage_for(const text& program) {
  return "\r\n  Usage:\r\n  " + program + " <SourcePath> <TargetPath>\r\n\r\n";
}

class FrontEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    the_world() = fake::world{};
    the_world().directories = {"/", "/home", "/home/u", "/home/u/src", "/home/u/dst", "/data"};
    the_world().current = "/home/u";
    // Unless a test says otherwise, a key is waiting when the prompt appears.
    the_world().keys = {"k"};
  }
};

struct ArgumentCountCase {
  std::vector<text> arguments;
  text program_name;
};

void PrintTo(const ArgumentCountCase& c, std::ostream* out) {
  *out << c.arguments.size() << " arguments";
}

class ArgumentCountTest : public FrontEndTest,
                          public ::testing::WithParamInterface<ArgumentCountCase> {};

TEST_P(ArgumentCountTest, AnyCountButTwoPrintsUsageAndEndsWith87) {
  const ArgumentCountCase& c = GetParam();
  EXPECT_EQ(fake::run(c.arguments), 87);
  EXPECT_EQ(the_world().output, banner + usage_for(c.program_name) + prompt);
  EXPECT_TRUE(the_world().commands.empty());
  for (const text& call : the_world().calls) {
    EXPECT_EQ(call.rfind("change_directory", 0), text::npos) << "probed on a bad count";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ArgumentCountTest,
    ::testing::Values(ArgumentCountCase{{}, ""}, ArgumentCountCase{{"qmr"}, "qmr"},
                      ArgumentCountCase{{"qmr", "/home/u/src"}, "qmr"},
                      ArgumentCountCase{{"qmr", "/home/u/src", "/home/u/dst", "x"}, "qmr"},
                      // Argument 0 is shown exactly as the caller passed it.
                      ArgumentCountCase{{"C:\\Tools\\QMR.EXE", "a"}, "C:\\Tools\\QMR.EXE"},
                      ArgumentCountCase{{"./bin/qmr"}, "./bin/qmr"}));

struct MissingPathCase {
  text source;
  text target;
  text message;
};

void PrintTo(const MissingPathCase& c, std::ostream* out) {
  *out << '"' << c.source << "\" \"" << c.target << '"';
}

class MissingPathTest : public FrontEndTest,
                        public ::testing::WithParamInterface<MissingPathCase> {};

TEST_P(MissingPathTest, NamesWhatIsMissingShowsUsageAndEndsWith3) {
  const MissingPathCase& c = GetParam();
  EXPECT_EQ(fake::run({"qmr", c.source, c.target}), 3);
  EXPECT_EQ(the_world().output, banner + c.message + "\r\n" + usage_for("qmr") + prompt);
  EXPECT_TRUE(the_world().commands.empty());
  EXPECT_EQ(the_world().current, "/home/u");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, MissingPathTest,
    ::testing::Values(MissingPathCase{"/nowhere", "/data", "\r\n Source Path not found..."},
                      MissingPathCase{"/data", "/nowhere", "\r\n Target Path not found..."},
                      MissingPathCase{"/nowhere", "/nowhere/either",
                                      "\r\n Source Path and Target Path not found..."},
                      // An empty argument can never be entered.
                      MissingPathCase{"", "/data", "\r\n Source Path not found..."},
                      MissingPathCase{"src", "", "\r\n Target Path not found..."}));

TEST_F(FrontEndTest, ProbesSourceThenTargetReturningEachTime) {
  EXPECT_EQ(fake::run({"qmr", "/data", "dst"}), 0);
  const std::vector<text> probes(the_world().calls.begin() + 2, the_world().calls.begin() + 8);
  EXPECT_EQ(probes, (std::vector<text>{"current_directory", "change_directory:/data",
                                       "change_directory:/home/u", "current_directory",
                                       "change_directory:dst", "change_directory:/home/u"}));
}

TEST_F(FrontEndTest, RelativePathsResolveFromTheStartingDirectoryForBoth) {
  // Had the source probe stayed in src, "dst" would be looked for in src/dst.
  EXPECT_EQ(fake::run({"qmr", "src", "dst"}), 0);
  EXPECT_EQ(the_world().commands, std::vector<text>{"xcopy /s /c /d /e /h /i /r /y <src> <dst>"});
  EXPECT_EQ(the_world().current, "/home/u");
}

TEST_F(FrontEndTest, FailedSourceProbeDoesNotMoveTheCurrentDirectory) {
  EXPECT_EQ(fake::run({"qmr", "nowhere", "dst"}), 3);
  EXPECT_EQ(the_world().output,
            banner + "\r\n Source Path not found...\r\n" + usage_for("qmr") + prompt);
}

TEST_F(FrontEndTest, CopyRunFramesTheCommandAndQuotesEachPath) {
  EXPECT_EQ(fake::run({"qmr", "/home/u/src", "/data"}), 0);
  EXPECT_EQ(the_world().output, banner + " \r\n" + " \r\n" + prompt);
  EXPECT_EQ(the_world().commands,
            std::vector<text>{"xcopy /s /c /d /e /h /i /r /y </home/u/src> </data>"});
  // Nothing is printed between the framing lines: the copy owns the console then.
  const std::vector<text>& calls = the_world().calls;
  const auto run = std::find(calls.begin(), calls.end(), "run_command");
  ASSERT_NE(run, calls.end());
  EXPECT_EQ(*(run - 1), "print");
  EXPECT_EQ(*(run + 1), "print");
}

TEST_F(FrontEndTest, ComposedCommandKeepsHeadSwitchesAndSeparator) {
  EXPECT_EQ(compose_copy_command("a b", "c;d"), "xcopy /s /c /d /e /h /i /r /y <a b> <c;d>");
  EXPECT_EQ(compose_copy_command("", ""), "xcopy /s /c /d /e /h /i /r /y <> <>");
}

class CopyResultTest : public FrontEndTest, public ::testing::WithParamInterface<int> {};

TEST_P(CopyResultTest, ExitCodeIsTheCommandsOwnCode) {
  the_world().command_result = GetParam();
  EXPECT_EQ(fake::run({"qmr", "/home/u/src", "/data"}), GetParam());
  // Whatever the copy did, the closing frame and the prompt follow it.
  EXPECT_EQ(the_world().output, banner + " \r\n \r\n" + prompt);
}

INSTANTIATE_TEST_SUITE_P(Results, CopyResultTest, ::testing::Values(0, 1, 4, 5, 127, 130, -1));

TEST_F(FrontEndTest, PendingKeyEndsTheWaitWithoutSleeping) {
  EXPECT_EQ(fake::run({"qmr"}), 87);
  EXPECT_EQ(the_world().polls, 1);
  EXPECT_EQ(the_world().waits, 0);
}

TEST_F(FrontEndTest, WaitSleepsBetweenEmptyPollsUntilAKeyArrives) {
  the_world().keys.clear();
  the_world().keys_during_wait = {"", "", "\xff\x6b"};
  EXPECT_EQ(fake::run({"qmr", "/nowhere", "/data"}), 3);
  EXPECT_EQ(the_world().waits, 3);
  EXPECT_EQ(the_world().polls, 4);
  // Nothing follows the prompt, not even a line end.
  EXPECT_TRUE(the_world().output.ends_with(prompt));
}

TEST_F(FrontEndTest, NoWaitWhenNoKeyCanEverArrive) {
  the_world().keys.clear();
  the_world().await_result = 1;
  EXPECT_EQ(fake::run({"qmr", "/home/u/src", "/data"}), 0);
  EXPECT_EQ(the_world().waits, 1);
  EXPECT_EQ(the_world().calls.back(), "end_program");
}

}  // namespace
}  // namespace qmr
