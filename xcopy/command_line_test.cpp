#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "xcopy/command_line.h"

namespace xcopy {
namespace {

namespace fs = std::filesystem;
using outcome = parsed_command_line::outcome;
using words = std::vector<std::string>;

parsed_command_line parse(const words& arguments) {
  std::vector<const char*> argv{"xcopy"};
  for (const std::string& word : arguments) {
    argv.push_back(word.c_str());
  }
  argv.push_back(nullptr);
  return parse_command_line(static_cast<int>(arguments.size() + 1), argv.data());
}

// Every field, so that a mismatch shows which one a switch set wrongly.
std::string describe(const options& o) {
  std::ostringstream out;
  out << "source=" << o.source << " target=" << o.target
      << " recurse=" << static_cast<int>(o.recurse) << " errors=" << static_cast<int>(o.errors)
      << " dates=" << static_cast<int>(o.dates) << " since=" << o.modified_since
      << " hidden=" << static_cast<int>(o.hidden)
      << " new_target=" << static_cast<int>(o.new_target)
      << " read_only=" << static_cast<int>(o.read_only)
      << " overwrite=" << static_cast<int>(o.overwrite) << " lines=" << static_cast<int>(o.lines)
      << " what=" << static_cast<int>(o.what) << " existing=" << static_cast<int>(o.existing)
      << " permissions=" << static_cast<int>(o.permissions)
      << " links=" << static_cast<int>(o.links) << " verify=" << static_cast<int>(o.verify)
      << " per_file=" << static_cast<int>(o.per_file)
      << " before_start=" << static_cast<int>(o.before_start) << " excluded=";
  for (const std::string& s : o.excluded) {
    out << '[' << s << ']';
  }
  return out.str();
}

std::string joined(const words& arguments) {
  std::string text;
  for (const std::string& word : arguments) {
    text += (text.empty() ? "" : " ") + word;
  }
  return text;
}

std::string upper(std::string word) {
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return word;
}

// Sets an environment variable for one test and puts the old value back after it.
class scoped_env {
 public:
  explicit scoped_env(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) {
      saved_ = value;
    }
  }
  ~scoped_env() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
    tzset();
  }
  void set(const char* value) {
    setenv(name_, value, 1);
    tzset();
  }
  void unset() { unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// Each test runs with no COPYCMD preset, in UTC, with a fresh temporary directory.
class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    copycmd_.unset();
    tz_.set("UTC0");
    std::string pattern = (fs::temp_directory_path() / "xcopy_cli_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string write_file(const std::string& name, const std::string& contents) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
  }

  scoped_env copycmd_{"COPYCMD"};
  scoped_env tz_{"TZ"};
  fs::path dir_;
};

// One switch table: what each switch, alone or against another, changes in the options.
struct SwitchCase {
  words switches;
  void (*change)(options&);
};

void PrintTo(const SwitchCase& c, std::ostream* out) {
  *out << joined(c.switches);
}

class SwitchTest : public CommandLineTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchTest, SetsItsOwnFieldAndNothingElseInAnyCase) {
  options expected;
  expected.source = "src";
  expected.target = "dst";
  GetParam().change(expected);
  for (const bool in_upper_case : {false, true}) {
    words arguments;
    for (const std::string& word : GetParam().switches) {
      arguments.push_back(in_upper_case ? upper(word) : word);
    }
    arguments.insert(arguments.end(), {"src", "dst"});
    const parsed_command_line parsed = parse(arguments);
    ASSERT_EQ(parsed.result, outcome::run) << joined(arguments) << ": " << parsed.message;
    EXPECT_EQ(describe(parsed.opts), describe(expected)) << joined(arguments);
  }
}

constexpr std::time_t jan_2_2025_utc = 1735776000;

INSTANTIATE_TEST_SUITE_P(
    EverySwitch, SwitchTest,
    ::testing::Values(
        SwitchCase{{"/s"}, [](options& o) { o.recurse = recursion::subdirectories; }},
        SwitchCase{{"/e"}, [](options& o) { o.recurse = recursion::with_empty; }},
        SwitchCase{{"/e", "/s"}, [](options& o) { o.recurse = recursion::with_empty; }},
        SwitchCase{{"/s", "/e"}, [](options& o) { o.recurse = recursion::with_empty; }},
        SwitchCase{{"/c"}, [](options& o) { o.errors = on_error::continue_; }},
        SwitchCase{{"/d"}, [](options& o) { o.dates = date_filter::newer_than_target; }},
        SwitchCase{{"/d:1-2-2025"},
                   [](options& o) {
                     o.dates = date_filter::modified_since;
                     o.modified_since = jan_2_2025_utc;
                   }},
        SwitchCase{{"/d:1-2-2025", "/d"},
                   [](options& o) { o.dates = date_filter::newer_than_target; }},
        SwitchCase{{"/d", "/d:1-2-2025"},
                   [](options& o) {
                     o.dates = date_filter::modified_since;
                     o.modified_since = jan_2_2025_utc;
                   }},
        SwitchCase{{"/h"}, [](options& o) { o.hidden = hidden_entries::include; }},
        SwitchCase{{"/i"}, [](options& o) { o.new_target = missing_target::directory; }},
        SwitchCase{{"/r"}, [](options& o) { o.read_only = read_only_targets::overwrite; }},
        SwitchCase{{"/y"}, [](options& o) { o.overwrite = overwrite_prompt::never_ask; }},
        SwitchCase{{"/-y"}, [](options& o) { o.overwrite = overwrite_prompt::ask; }},
        SwitchCase{{"/-y", "/y"}, [](options& o) { o.overwrite = overwrite_prompt::never_ask; }},
        SwitchCase{{"/y", "/-y"}, [](options& o) { o.overwrite = overwrite_prompt::ask; }},
        SwitchCase{{"/q"}, [](options& o) { o.lines = listing::quiet; }},
        SwitchCase{{"/f"}, [](options& o) { o.lines = listing::full_paths; }},
        SwitchCase{{"/q", "/f"}, [](options& o) { o.lines = listing::full_paths; }},
        SwitchCase{{"/f", "/q"}, [](options& o) { o.lines = listing::quiet; }},
        SwitchCase{{"/l"}, [](options& o) { o.what = action::list_only; }},
        SwitchCase{{"/t"}, [](options& o) { o.what = action::tree_only; }},
        SwitchCase{{"/l", "/t"}, [](options& o) { o.what = action::list_only; }},
        SwitchCase{{"/t", "/l"}, [](options& o) { o.what = action::list_only; }},
        SwitchCase{{"/u"}, [](options& o) { o.existing = target_filter::existing_only; }},
        SwitchCase{{"/k"}, [](options& o) { o.permissions = permission_bits::keep; }},
        SwitchCase{{"/b"}, [](options& o) { o.links = symlinks::copy_as_links; }},
        SwitchCase{{"/v"}, [](options& o) { o.verify = verification::compare; }},
        SwitchCase{{"/p"}, [](options& o) { o.per_file = per_file_prompt::ask; }},
        SwitchCase{{"/w"}, [](options& o) { o.before_start = start_prompt::wait_for_key; }}));

TEST_F(CommandLineTest, TheProgramsFixedCommandLine) {
  const parsed_command_line parsed =
      parse({"/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y", "/home/u/src", "/home/u/dst"});
  ASSERT_EQ(parsed.result, outcome::run) << parsed.message;
  options expected;
  expected.source = "/home/u/src";
  expected.target = "/home/u/dst";
  expected.recurse = recursion::with_empty;
  expected.errors = on_error::continue_;
  expected.dates = date_filter::newer_than_target;
  expected.hidden = hidden_entries::include;
  expected.new_target = missing_target::directory;
  expected.read_only = read_only_targets::overwrite;
  expected.overwrite = overwrite_prompt::never_ask;
  EXPECT_EQ(describe(parsed.opts), describe(expected));
}

// Joined switches, and switches before, between or after the paths, all mean the same.
TEST_F(CommandLineTest, JoinedSwitchesMeanTheSameAsSeparateOnes) {
  const std::vector<std::pair<words, words>> cases = {
      {{"/s/e/y", "src", "dst"}, {"/s", "/e", "/y", "src", "dst"}},
      {{"src", "/S/c/D/e/H/i/R/y", "dst"},
       {"/s", "/c", "/d", "/e", "/h", "/i", "/r", "/y", "src", "dst"}},
      {{"/q/-Y/d:12-31-2025", "src"}, {"/q", "/-y", "/d:12-31-2025", "src"}},
      {{"/y/-y/Y", "src"}, {"/y", "/-y", "/y", "src"}},
      {{"src", "dst", "/s"}, {"/s", "src", "dst"}},
      {{"src", "/s", "dst"}, {"/s", "src", "dst"}},
      {{"/l", "src", "/f", "dst", "/k"}, {"/l", "/f", "/k", "src", "dst"}},
  };
  for (const auto& [given, meaning] : cases) {
    const parsed_command_line a = parse(given);
    const parsed_command_line b = parse(meaning);
    ASSERT_EQ(a.result, outcome::run) << joined(given) << ": " << a.message;
    ASSERT_EQ(b.result, outcome::run) << joined(meaning) << ": " << b.message;
    EXPECT_EQ(describe(a.opts), describe(b.opts)) << joined(given);
  }
}

// Words that start with '/' but are no switches: paths when they exist, or when
// they clearly name a place below an existing top directory.
TEST_F(CommandLineTest, WordsStartingWithSlashThatAreNoSwitchesArePaths) {
  const std::string top_directory = "/" + std::next(dir_.begin())->string();  // e.g. /tmp
  ASSERT_TRUE(fs::is_directory(top_directory));
  const words paths = {
      dir_.string(),                 // an existing directory, given in full
      dir_.string() + "/not-yet",    // a new name in an existing directory
      top_directory,                 // an existing "/WORD"
      top_directory + "/qmr-new/x",  // below an existing top directory
      "/qmr-no-such-top/file",       // nowhere, but no switch either
      "/",                           // the root directory
  };
  for (const std::string& path : paths) {
    const parsed_command_line parsed = parse({"/s", path, "/y"});
    ASSERT_EQ(parsed.result, outcome::run) << path << ": " << parsed.message;
    EXPECT_EQ(parsed.opts.source, path);
    EXPECT_EQ(parsed.opts.target, ".");
    EXPECT_EQ(parsed.opts.recurse, recursion::subdirectories);
  }
}

// A word made of switches is switches even where a path of that name might exist;
// "--" is how to name such a path.
TEST_F(CommandLineTest, DoubleDashEndsTheSwitches) {
  struct dash_case {
    words arguments;
    std::string source;
    std::string target;
    recursion recurse;
  };
  const std::vector<dash_case> cases = {
      {{"--", "/s", "dst"}, "/s", "dst", recursion::top_only},
      {{"/s", "--", "/e"}, "/e", ".", recursion::subdirectories},
      {{"src", "--", "--"}, "src", "--", recursion::top_only},
      {{"--", "/?"}, "/?", ".", recursion::top_only},
      {{"-s", "-y"}, "-s", "-y", recursion::top_only},  // only '/' starts a switch
  };
  for (const dash_case& c : cases) {
    const parsed_command_line parsed = parse(c.arguments);
    ASSERT_EQ(parsed.result, outcome::run) << joined(c.arguments) << ": " << parsed.message;
    EXPECT_EQ(parsed.opts.source, c.source) << joined(c.arguments);
    EXPECT_EQ(parsed.opts.target, c.target) << joined(c.arguments);
    EXPECT_EQ(parsed.opts.recurse, c.recurse) << joined(c.arguments);
  }
}

TEST_F(CommandLineTest, TargetDefaultsToTheCurrentDirectory) {
  const parsed_command_line parsed = parse({"/e", "src"});
  ASSERT_EQ(parsed.result, outcome::run) << parsed.message;
  EXPECT_EQ(parsed.opts.source, "src");
  EXPECT_EQ(parsed.opts.target, ".");
}

struct ErrorCase {
  words arguments;
  std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << joined(c.arguments);
}

class CommandLineErrorTest : public CommandLineTest,
                             public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(CommandLineErrorTest, IsRefusedWithItsMessage) {
  const parsed_command_line parsed = parse(GetParam().arguments);
  EXPECT_EQ(parsed.result, outcome::error);
  EXPECT_EQ(parsed.message, GetParam().message);
}

// Windows-only switches are refused, never ignored, and named as typed.
INSTANTIATE_TEST_SUITE_P(
    WindowsOnlySwitches, CommandLineErrorTest,
    ::testing::Values(ErrorCase{{"/a", "src", "dst"}, "Invalid switch - /a"},
                      ErrorCase{{"src", "/M", "dst"}, "Invalid switch - /M"},
                      ErrorCase{{"src", "dst", "/n"}, "Invalid switch - /n"},
                      ErrorCase{{"/o", "src"}, "Invalid switch - /o"},
                      ErrorCase{{"/X", "src"}, "Invalid switch - /X"},
                      ErrorCase{{"/g", "src"}, "Invalid switch - /g"},
                      ErrorCase{{"/z", "src"}, "Invalid switch - /z"},
                      ErrorCase{{"/j", "src"}, "Invalid switch - /j"},
                      ErrorCase{{"/Compress", "src"}, "Invalid switch - /Compress"},
                      ErrorCase{{"/s/e/Z", "src"}, "Invalid switch - /Z"},
                      ErrorCase{{"/s/z/qmr-new", "src"}, "Invalid switch - /z"},
                      // Not a path below /z or /compress: those name refused switches.
                      ErrorCase{{"src", "/z/qmr-new"}, "Invalid switch - /z"},
                      ErrorCase{{"src", "/COMPRESS/qmr-new"}, "Invalid switch - /COMPRESS"}));

// Words that start like switches but do not parse as known switches.
INSTANTIATE_TEST_SUITE_P(
    UnknownSwitches, CommandLineErrorTest,
    ::testing::Values(ErrorCase{{"/qmr-no-such-word", "src"}, "Invalid switch - /qmr-no-such-word"},
                      ErrorCase{{"src", "/s/q9"}, "Invalid switch - /q9"},
                      ErrorCase{{"src", "/s/qmr-new-dir"}, "Invalid switch - /qmr-new-dir"},
                      ErrorCase{{"/s//e", "src"}, "Invalid switch - /"},
                      ErrorCase{{"/s/", "src"}, "Invalid switch - /"},
                      ErrorCase{{"/-n", "src"}, "Invalid switch - /-n"},
                      ErrorCase{{"/?x", "src"}, "Invalid switch - /?x"},
                      ErrorCase{{"/exclude", "src"}, "Invalid switch - /exclude"},
                      ErrorCase{{"/exclude:", "src"}, "Invalid switch - /exclude:"},
                      ErrorCase{{"/Exclude:a++b", "src"}, "Invalid switch - /Exclude:a++b"},
                      ErrorCase{{"/exclude:a+", "src"}, "Invalid switch - /exclude:a+"},
                      ErrorCase{{"/exclude:+a", "src"}, "Invalid switch - /exclude:+a"},
                      // The first bad switch is the one named, and it beats a bad count.
                      ErrorCase{{"/zz"}, "Invalid switch - /zz"},
                      ErrorCase{{"/q1", "a", "b", "c", "/q2"}, "Invalid switch - /q1"}));

INSTANTIATE_TEST_SUITE_P(
    ParameterCounts, CommandLineErrorTest,
    ::testing::Values(ErrorCase{{}, "Invalid number of parameters"},
                      ErrorCase{{"/s", "/e"}, "Invalid number of parameters"},
                      ErrorCase{{"--"}, "Invalid number of parameters"},
                      ErrorCase{{"a", "b", "c"}, "Invalid number of parameters"},
                      ErrorCase{{"a", "/s", "b", "c"}, "Invalid number of parameters"},
                      ErrorCase{{"a", "--", "b", "c"}, "Invalid number of parameters"},
                      ErrorCase{{"", "dst"}, "Invalid path - \"\""},
                      ErrorCase{{"src", ""}, "Invalid path - \"\""}));

// Dates that are not M-D-YYYY or not in the calendar make the word no switch.
INSTANTIATE_TEST_SUITE_P(
    BadDates, CommandLineErrorTest,
    ::testing::Values(ErrorCase{{"/d:2-29-2025", "src"}, "Invalid switch - /d:2-29-2025"},
                      ErrorCase{{"/d:2-29-1900", "src"}, "Invalid switch - /d:2-29-1900"},
                      ErrorCase{{"/D:13-1-2025", "src"}, "Invalid switch - /D:13-1-2025"},
                      ErrorCase{{"/d:0-1-2025", "src"}, "Invalid switch - /d:0-1-2025"},
                      ErrorCase{{"/d:4-31-2025", "src"}, "Invalid switch - /d:4-31-2025"},
                      ErrorCase{{"/d:1-0-2025", "src"}, "Invalid switch - /d:1-0-2025"},
                      ErrorCase{{"/d:1-32-2025", "src"}, "Invalid switch - /d:1-32-2025"},
                      ErrorCase{{"/d:1-1-25", "src"}, "Invalid switch - /d:1-1-25"},
                      ErrorCase{{"/d:1-1-02025", "src"}, "Invalid switch - /d:1-1-02025"},
                      ErrorCase{{"/d:001-1-2025", "src"}, "Invalid switch - /d:001-1-2025"},
                      ErrorCase{{"/d:1-1-0000", "src"}, "Invalid switch - /d:1-1-0000"},
                      ErrorCase{{"/d:+1-1-2025", "src"}, "Invalid switch - /d:+1-1-2025"},
                      ErrorCase{{"/d:-1-1-2025", "src"}, "Invalid switch - /d:-1-1-2025"},
                      ErrorCase{{"/d:1--2025", "src"}, "Invalid switch - /d:1--2025"},
                      ErrorCase{{"/d:1-1-2025-", "src"}, "Invalid switch - /d:1-1-2025-"},
                      ErrorCase{{"/d:a-1-2025", "src"}, "Invalid switch - /d:a-1-2025"},
                      ErrorCase{{"/d:12-31-2025x", "src"}, "Invalid switch - /d:12-31-2025x"},
                      ErrorCase{{"/d:", "src"}, "Invalid switch - /d:"},
                      ErrorCase{{"/d:1/1/2025", "src"}, "Invalid switch - /d:1"}));

// /d:M-D-YYYY selects from the first second of that date in the local time zone.
struct DateCase {
  const char* time_zone;
  std::string word;
  std::time_t expected;
};

void PrintTo(const DateCase& c, std::ostream* out) {
  *out << c.word << " in " << c.time_zone;
}

class DateTest : public CommandLineTest, public ::testing::WithParamInterface<DateCase> {};

TEST_P(DateTest, StartsAtTheFirstLocalSecondOfTheDay) {
  tz_.set(GetParam().time_zone);
  const parsed_command_line parsed = parse({GetParam().word, "src"});
  ASSERT_EQ(parsed.result, outcome::run) << parsed.message;
  EXPECT_EQ(parsed.opts.dates, date_filter::modified_since);
  EXPECT_EQ(parsed.opts.modified_since, GetParam().expected);
}

// Clocks go forward at midnight on the first Sunday of October (5 Oct 2025, so
// that day starts at 01:00) and back from 01:00 to midnight on the third Sunday of
// February (16 Feb 2025, so that midnight comes twice).
constexpr char midnight_gap[] = "AAA3BBB,M10.1.0/0,M2.3.0/0";
constexpr char midnight_twice[] = "AAA3BBB,M10.1.0/0,M2.3.0/1";

INSTANTIATE_TEST_SUITE_P(
    ValidDates, DateTest,
    ::testing::Values(DateCase{"UTC0", "/d:12-31-2025", 1767139200},
                      DateCase{"UTC0", "/D:01-01-1970", 0},
                      DateCase{"UTC0", "/d:1-1-1969", -31536000},
                      DateCase{"UTC0", "/d:2-29-2024", 1709164800},
                      DateCase{"UTC0", "/d:2-29-2000", 951782400},
                      DateCase{"EST5", "/d:12-31-2025", 1767139200 + 5 * 3600},
                      DateCase{"JST-9", "/d:1-1-1970", -9 * 3600},
                      DateCase{midnight_gap, "/d:10-4-2025", 1759633200 - 86400},
                      DateCase{midnight_gap, "/d:10-5-2025", 1759633200},
                      DateCase{midnight_twice, "/d:2-16-2025", 1739671200},
                      DateCase{midnight_twice, "/d:2-17-2025", 1739671200 + 86400 + 3600}));

// COPYCMD presets /Y or /-Y; the command line overrides it.
TEST_F(CommandLineTest, CopycmdPresetsTheOverwritePrompt) {
  struct preset_case {
    const char* copycmd;
    words switches;
    overwrite_prompt expected;
  };
  const std::vector<preset_case> cases = {
      {"", {}, overwrite_prompt::ask},
      {"/Y", {}, overwrite_prompt::never_ask},
      {" /q  /y ", {}, overwrite_prompt::never_ask},
      {"/y /-Y", {}, overwrite_prompt::ask},
      {"/Y", {"/-y"}, overwrite_prompt::ask},
      {"/-Y", {"/y"}, overwrite_prompt::never_ask},
  };
  for (const preset_case& c : cases) {
    copycmd_.set(c.copycmd);
    words arguments = c.switches;
    arguments.push_back("src");
    const parsed_command_line parsed = parse(arguments);
    ASSERT_EQ(parsed.result, outcome::run) << c.copycmd << ": " << parsed.message;
    EXPECT_EQ(parsed.opts.overwrite, c.expected) << c.copycmd << " with " << joined(c.switches);
    // Its other words are for other commands: /q here changes nothing.
    EXPECT_EQ(parsed.opts.lines, listing::source_paths) << c.copycmd;
  }
}

TEST_F(CommandLineTest, ExcludeListsAreReadInOrder) {
  const std::string a = write_file("a.txt", "one\r\ntwo\n\n");
  const std::string b = write_file("b.txt", "three");
  struct list_case {
    words arguments;
    std::vector<std::string> expected;
  };
  const std::vector<list_case> cases = {
      {{"/exclude:" + a + "+" + b, "src"}, {"one", "two", "three"}},
      {{"/EXCLUDE:" + b, "src", "/exclude:" + a}, {"three", "one", "two"}},
      {{"/s/Exclude:" + b + "+" + b, "src"}, {"three", "three"}},
  };
  for (const list_case& c : cases) {
    const parsed_command_line parsed = parse(c.arguments);
    ASSERT_EQ(parsed.result, outcome::run) << joined(c.arguments) << ": " << parsed.message;
    EXPECT_EQ(parsed.opts.excluded, c.expected) << joined(c.arguments);
    EXPECT_EQ(parsed.opts.source, "src");
  }
}

TEST_F(CommandLineTest, ExcludeListNamesAreRelativeToTheCurrentDirectory) {
  write_file("list.txt", "obj\n");
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  const parsed_command_line parsed = parse({"/exclude:list.txt", "src"});
  fs::current_path(before);
  ASSERT_EQ(parsed.result, outcome::run) << parsed.message;
  EXPECT_EQ(parsed.opts.excluded, std::vector<std::string>{"obj"});
}

TEST_F(CommandLineTest, UnreadableExcludeListIsAnError) {
  const std::string good = write_file("good.txt", "x\n");
  const std::string missing = (dir_ / "missing.txt").string();
  const std::string directory = dir_.string();
  const std::vector<ErrorCase> cases = {
      {{"/exclude:" + missing, "src"}, "Can't read file: " + missing},
      {{"/exclude:" + directory, "src"}, "Can't read file: " + directory},
      {{"/exclude:" + good + "+" + missing + "+" + directory, "src"},
       "Can't read file: " + missing},
      {{"/exclude:nowhere.txt", "src"}, "Can't read file: nowhere.txt"},
      // A line that is wrong anyway is reported as such before any list is read.
      {{"/exclude:" + missing}, "Invalid number of parameters"},
      {{"/exclude:" + missing, "src", "/zz"}, "Invalid switch - /zz"},
  };
  for (const ErrorCase& c : cases) {
    const parsed_command_line parsed = parse(c.arguments);
    EXPECT_EQ(parsed.result, outcome::error) << joined(c.arguments);
    EXPECT_EQ(parsed.message, c.message) << joined(c.arguments);
  }
}

// /? anywhere asks for help, whatever else the line holds.
TEST_F(CommandLineTest, QuestionMarkAsksForHelp) {
  const std::vector<words> cases = {
      {"/?"},
      {"src", "dst", "/?"},
      {"/s/?", "src"},
      {"a", "b", "c", "/?"},
      {"/zz", "/?"},
      {"/?", "--", "x"},
      {"/exclude:" + (dir_ / "missing.txt").string(), "/?"},
  };
  for (const words& arguments : cases) {
    EXPECT_EQ(parse(arguments).result, outcome::help) << joined(arguments);
  }
}

TEST(HelpTextTest, HasTheUsageAndOneLinePerSwitch) {
  const std::string help = help_text();
  std::vector<std::string> lines;
  std::istringstream in(help);
  for (std::string line; std::getline(in, line);) {
    EXPECT_LE(line.size(), 79U) << line;  // fits an 80-column console
    lines.push_back(line);
  }
  const auto lines_starting = [&](const std::string& start) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.starts_with(start); });
  };
  EXPECT_EQ(lines_starting("XCOPY source [destination]"), 1);
  EXPECT_EQ(lines_starting("QMR_XCOPY_THREADS "), 1);
  for (const char* name : {"/S ", "/E ",  "/C ", "/D ", "/D:m-d-yyyy ", "/H ", "/I ", "/R ",
                           "/Y ", "/-Y ", "/Q ", "/F ", "/L ",          "/T ", "/U ", "/K ",
                           "/B ", "/V ",  "/P ", "/W ", "/EXCLUDE:",    "/? ", "-- "}) {
    EXPECT_EQ(lines_starting(std::string("  ") + name), 1) << name;
  }
  for (const char* refused :
       {"/A ", "/M ", "/N ", "/O ", "/X ", "/G ", "/Z ", "/J ", "/COMPRESS"}) {
    EXPECT_EQ(lines_starting(std::string("  ") + refused), 0) << refused;
  }
}

}  // namespace
}  // namespace xcopy
