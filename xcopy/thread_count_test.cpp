#include "xcopy/thread_count.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace xcopy {
namespace {

struct thread_case {
  std::string_view text;
  std::optional<std::size_t> expected;
};

class ThreadCountTest : public testing::TestWithParam<thread_case> {};

TEST_P(ThreadCountTest, ReadsTheSetting) {
  EXPECT_EQ(parse_thread_count(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ThreadCountTest,
    testing::Values(thread_case{"1", 1}, thread_case{"2", 2}, thread_case{" 8\t", 8},
                    thread_case{"64", 64}, thread_case{"65", 64},
                    // Far beyond any size_t: cut, never wrapped round to a small number.
                    thread_case{"99999999999999999999999999", 64}, thread_case{"007", 7},
                    thread_case{"0", std::nullopt}, thread_case{"", std::nullopt},
                    thread_case{"  ", std::nullopt}, thread_case{"-2", std::nullopt},
                    thread_case{"+2", std::nullopt}, thread_case{"2x", std::nullopt},
                    thread_case{"1.5", std::nullopt}, thread_case{"two", std::nullopt}));

TEST(ThreadCountDefaultTest, UnsetOrInvalidMeansTheCores) {
  ::setenv("QMR_XCOPY_THREADS", "3", 1);
  EXPECT_EQ(copy_threads(), 3u);
  ::setenv("QMR_XCOPY_THREADS", "none", 1);
  const std::size_t fallback = copy_threads();
  ::unsetenv("QMR_XCOPY_THREADS");
  EXPECT_EQ(copy_threads(), fallback);
  EXPECT_GE(fallback, 1u);
  EXPECT_LE(fallback, max_copy_threads);
}

}  // namespace
}  // namespace xcopy
