#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "xcopy/exclude_list.h"

namespace xcopy {
namespace {

namespace fs = std::filesystem;
using strings = std::vector<std::string>;

struct ContentsCase {
  std::string contents;
  strings expected;
};

void PrintTo(const ContentsCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.contents);
}

class ExcludeStringsTest : public ::testing::TestWithParam<ContentsCase> {};

TEST_P(ExcludeStringsTest, OneStringPerLine) {
  EXPECT_EQ(exclude_strings(GetParam().contents), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ExcludeStringsTest,
    ::testing::Values(ContentsCase{"", {}}, ContentsCase{"\n\n", {}},
                      ContentsCase{".obj", {".obj"}}, ContentsCase{".obj\n", {".obj"}},
                      ContentsCase{"a\nb\n", {"a", "b"}},
                      ContentsCase{"a\r\nb\r\n", {"a", "b"}},  // written on Windows
                      ContentsCase{"a\r", {"a"}}, ContentsCase{"a\n\r\n\nb", {"a", "b"}},
                      ContentsCase{" \t \n\t\r\n/obj/\n", {"/obj/"}},
                      // Blanks around a name are part of it; a CR inside a line is kept.
                      ContentsCase{" name with blanks \n", {" name with blanks "}},
                      ContentsCase{"a\rb\n", {"a\rb"}},
                      ContentsCase{"\xEF\xBB\xBF.obj\r\n.tmp", {".obj", ".tmp"}},
                      ContentsCase{"x\n\xEF\xBB\xBFy", {"x", "\xEF\xBB\xBFy"}},
                      ContentsCase{"caf\xE9\n\xFF\xFE", {"caf\xE9", "\xFF\xFE"}}));

struct MatchCase {
  strings list;
  std::string path;
  bool excluded;
};

void PrintTo(const MatchCase& c, std::ostream* out) {
  *out << c.path;
}

class IsExcludedTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(IsExcludedTest, WhenThePathContainsAnyString) {
  EXPECT_EQ(is_excluded(GetParam().list, GetParam().path), GetParam().excluded);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, IsExcludedTest,
    ::testing::Values(
        MatchCase{{".obj"}, "/src/main.obj", true}, MatchCase{{".obj"}, "/src/main.obj.bak", true},
        MatchCase{{"/obj/"}, "/src/obj/a.c", true}, MatchCase{{"/obj/"}, "/src/objects/a.c", false},
        MatchCase{{".tmp", "/obj/"}, "/src/obj/a.c", true},
        MatchCase{{".OBJ"}, "/src/main.obj", false},  // case-sensitive
        MatchCase{{"/src/a.c"}, "/src/a.c", true}, MatchCase{{"/src/a.c/"}, "/src/a.c", false},
        MatchCase{{}, "/src/a.c", false}, MatchCase{{""}, "/src/a.c", false}));

class ReadExcludeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "xcopy_exclude_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path dir_;
};

TEST_F(ReadExcludeFileTest, ReadsFilesAndLinksToThem) {
  const fs::path list = dir_ / "list.txt";
  std::ofstream(list, std::ios::binary) << "\xEF\xBB\xBF.obj\r\n\r\n/tmp/";
  fs::create_symlink(list, dir_ / "link.txt");
  for (const fs::path& path : {list, dir_ / "link.txt"}) {
    EXPECT_EQ(read_exclude_file(path.string()), (strings{".obj", "/tmp/"})) << path;
  }
}

TEST_F(ReadExcludeFileTest, ReadsWhatAPipeHolds) {
  // As bash's <(...) hands it over: a /dev/fd name for a pipe.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const std::string text = "a\nb\n";
  ASSERT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(ends[1]);
  const auto read = read_exclude_file("/dev/fd/" + std::to_string(ends[0]));
  close(ends[0]);
  EXPECT_EQ(read, (strings{"a", "b"}));
}

TEST_F(ReadExcludeFileTest, WaitsForAPipeWriterThatIsStillWriting) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::thread writer([write_end = ends[1]] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string text = "late\n";
    EXPECT_EQ(write(write_end, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(write_end);
  });
  const auto read = read_exclude_file("/dev/fd/" + std::to_string(ends[0]));
  writer.join();
  close(ends[0]);
  EXPECT_EQ(read, strings{"late"});
}

TEST_F(ReadExcludeFileTest, AFifoWithoutWriterReadsEmptyAndDoesNotHang) {
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A hang ends the test program (and fails this test) instead of running into
  // the suite's time-out.
  alarm(20);
  EXPECT_EQ(read_exclude_file(fifo.string()), strings{});
  alarm(0);
}

TEST_F(ReadExcludeFileTest, RefusesWhatIsNoListFile) {
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
  for (const fs::path& path :
       {dir_ / "missing.txt", dir_ / "dangling", dir_, fs::path("/dev/null"), fs::path("")}) {
    EXPECT_EQ(read_exclude_file(path.string()), std::nullopt) << path;
  }
}

}  // namespace
}  // namespace xcopy
