#include <direct.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/platform.h"

namespace qmr {
namespace {

// The folder of the running test program, with a trailing backslash.
text program_folder() {
  std::vector<char> path(32768);
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  const text whole(path.data(), length);
  return whole.substr(0, whole.rfind('\\') + 1);
}

// Removes the folder and everything in it with the file API itself.
void remove_tree(const text& folder) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const text name = entry.cFileName;
      if (name == "." || name == "..")
        continue;
      const text path = folder + "\\" + name;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        remove_tree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
class ScopedTempFolder {
 public:
  ScopedTempFolder() {
    char base[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof base, base);
    path_ = text(base, length) + "qmr-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter_++);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScopedTempFolder() { remove_tree(path_); }
  const text& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  text path_;
};

// Every test starts and ends in the folder it found current, and leaves it
// before its temporary folder is removed.
class ProcessTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentDirectoryA(start_.c_str()); }
  const text start_ = current_directory();
  ScopedTempFolder folder_;
};

TEST_F(ProcessTest, ChangeDirectoryEntersAFolderAndReportsIt) {
  ASSERT_EQ(change_directory(folder_.path()), 0);
  EXPECT_EQ(current_directory(), folder_.path());
}

TEST_F(ProcessTest, ChangeDirectoryFailsWithoutMoving) {
  const text file = folder_.path() + "\\file.txt";
  std::ofstream(file) << "x";
  const text before = current_directory();
  for (const text& path : {text{}, folder_.path() + "\\missing", file}) {
    EXPECT_EQ(change_directory(path), -1) << "[" << path << "]";
    EXPECT_EQ(current_directory(), before);
  }
}

// Whether the system lets a process's current directory grow past MAX_PATH.
// Trying it where it does not is unsafe: Wine then damages its own memory.
bool long_paths_enabled() {
  using query = BOOLEAN(WINAPI*)();
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto enabled = reinterpret_cast<query>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlAreLongPathsEnabled")));
  return enabled != nullptr && enabled() != FALSE;
}

TEST_F(ProcessTest, CurrentDirectoryLongerThanMaxPathComesBackWhole) {
  if (!long_paths_enabled())
    GTEST_SKIP() << "this system keeps current directories below " << MAX_PATH << " bytes";
  ASSERT_EQ(change_directory(folder_.path()), 0);
  // Relative steps keep every single path short while the whole grows past 259.
  const text step(60, 'd');
  while (current_directory().size() <= 300) {
    if (!CreateDirectoryA(step.c_str(), nullptr) || change_directory(step) != 0)
      GTEST_SKIP() << "this system refuses a current directory longer than " << MAX_PATH;
  }
  const text deep = current_directory();
  ASSERT_GT(deep.size(), 300u);
  EXPECT_EQ(deep.substr(deep.size() - step.size() - 1), "\\" + step);
  // The probe's way back: away, then to the recorded text.
  ASSERT_EQ(change_directory(".."), 0);
  EXPECT_EQ(change_directory(deep), 0);
  EXPECT_EQ(current_directory(), deep);
}

TEST_F(ProcessTest, RunCommandReturnsTheInterpreterResult) {
  EXPECT_EQ(run_command("exit 0"), 0);
  EXPECT_EQ(run_command("exit 7"), 7);
}

TEST_F(ProcessTest, RunCommandRunsNothingForAnEmptyLine) {
  EXPECT_EQ(run_command(""), -1);
}

// Starts the echo program through cmd.exe with the argument quoted twice, as
// the copy command gives its two paths, and checks what reached it.
class QuoteThroughCmdTest : public ::testing::TestWithParam<text> {
 protected:
  void SetUp() override {
    echo_ = program_folder() + "argument_echo.exe";
    if (echo_.find_first_of(" &()^%") != text::npos)
      GTEST_SKIP() << "the echo program's own path needs quoting: " << echo_;
    output_ = folder_.path() + "\\echo.out";
    _putenv(("QMR_ECHO_OUTPUT=" + output_).c_str());
    _putenv("QMR_DEFINED=expanded");
  }

  // The items that the echo program wrote: its command line, then its
  // arguments.
  std::vector<text> echoed() const {
    std::ifstream in(output_, std::ios::binary);
    const text all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<text> items;
    std::size_t start = 0;
    for (std::size_t zero; (zero = all.find('\0', start)) != text::npos; start = zero + 1)
      items.push_back(all.substr(start, zero - start));
    return items;
  }

  ScopedTempFolder folder_;
  text echo_;
  text output_;
};

TEST_P(QuoteThroughCmdTest, ArgumentArrivesByteForByte) {
  const text& argument = GetParam();
  const text word = quote_argument(argument);
  ASSERT_EQ(run_command(echo_ + " " + word + " " + word), 0);
  const std::vector<text> items = echoed();
  ASSERT_EQ(items.size(), 3u);
  // cmd.exe passed the words on untouched: nothing expanded, nothing run. The
  // copy utility reads them as they are, dropping the quotes.
  EXPECT_EQ(items[0], echo_ + " " + word + " " + word);
  // The runtime's own parser agrees with the utility.
  EXPECT_EQ(items[1], argument);
  EXPECT_EQ(items[2], argument);
}

INSTANTIATE_TEST_SUITE_P(Arguments, QuoteThroughCmdTest,
                         ::testing::Values("plain", "with blanks", "a&b", "a|b", "a^b", "(a)",
                                           "a<b>c", "%PATH%", "%QMR_DEFINED%", "a%QMR_DEFINED%b",
                                           "%QMR_DEFINED", "100%", "%%", "a%%QMR_DEFINED%%b",
                                           "!QMR_DEFINED!", "C:\\dir\\", "a\\%QMR_DEFINED%\\",
                                           "x & echo ran", ""));

TEST_F(QuoteThroughCmdTest, NothingInTheArgumentRuns) {
  const text marker = folder_.path() + "\\ran";
  const text argument = "x\" & echo ran > \"" + marker + "\" & \"y";
  run_command(echo_ + " " + quote_argument(argument) + " " +
              quote_argument("a & echo ran>" + marker));
  EXPECT_EQ(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace qmr
