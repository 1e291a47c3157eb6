#include "xcopy/time_comparison.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "xcopy/unique_fd.h"

namespace xcopy {
namespace {

constexpr std::int64_t second = 1'000'000'000;

struct stat file_at(std::int64_t mtime_ns, off_t size = 10) {
  struct stat st {};
  st.st_mtim.tv_sec = static_cast<time_t>(mtime_ns / second);
  st.st_mtim.tv_nsec = static_cast<long>(mtime_ns % second);
  st.st_size = size;
  st.st_dev = 42;
  return st;
}

struct newer_case {
  const char* what;
  std::int64_t source;
  std::int64_t target;
  off_t target_size;
  bool exact_target;  // the target folder's rounding can be measured (and is none)
  bool newer;
};

// How a case shows in test names.
void PrintTo(const newer_case& c, std::ostream* out) {
  *out << c.what;
}

class TimeComparisonTest : public testing::TestWithParam<newer_case> {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xcopy-time-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    path_ = name;
    folder_.reset(::open(name, O_RDONLY | O_DIRECTORY));
  }
  void TearDown() override { ::rmdir(path_.c_str()); }

  std::string path_;
  unique_fd folder_;
};

TEST_P(TimeComparisonTest, SourceIsNewerOnlyBeyondTheTargetsRounding) {
  const newer_case& c = GetParam();
  time_comparison rule;
  // An invalid folder stands for a target file system whose rounding cannot be measured.
  const int folder = c.exact_target ? folder_.get() : -1;
  EXPECT_EQ(rule.source_is_newer(file_at(c.source), file_at(c.target, c.target_size), folder),
            c.newer)
      << c.what;
}

constexpr std::int64_t base_ns = 1'700'000'000 * second;

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeComparisonTest,
    testing::Values(
        newer_case{"same time", base_ns + 5, base_ns + 5, 10, true, false},
        newer_case{"target newer", base_ns, base_ns + 1, 10, true, false},
        newer_case{"one nanosecond later, exact target", base_ns + 1, base_ns, 10, true, true},
        newer_case{"within 2 s of a whole-second target, unmeasured", base_ns + 1'999'999'999,
                   base_ns, 10, false, false},
        newer_case{"2 s after a whole-second target, unmeasured", base_ns + 2 * second, base_ns, 10,
                   false, true},
        newer_case{"later than a target with a fraction, unmeasured", base_ns + 2, base_ns + 1, 10,
                   false, true},
        newer_case{"within the rounding but another size", base_ns + 1, base_ns, 11, false, true}));

TEST(TimeComparisonMeasureTest, ThisFileSystemKeepsNanoseconds) {
  unique_fd folder(::open("/tmp", O_RDONLY | O_DIRECTORY));
  const std::int64_t rounding = time_comparison::measure_rounding(folder.get());
  // -1 where /tmp cannot make unnamed files; 0 on ext4, tmpfs, xfs, btrfs.
  EXPECT_TRUE(rounding == 0 || rounding == -1) << rounding;
  EXPECT_EQ(time_comparison::measure_rounding(-1), -1);
}

}  // namespace
}  // namespace xcopy
