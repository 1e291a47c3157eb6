#include "xcopy/temp_files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace xcopy::temp_files {
namespace {

TEST(TempFilesTest, FreshNamesAreRecognisedAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const name n = new_name();
    EXPECT_TRUE(is_temp_name(n.data())) << n.data();
    seen.insert(n.data());
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(TempFilesTest, OnlyTheExactFormIsOurs) {
  // A user's file that merely starts like ours is copied, never removed.
  for (const char* other : {".xcopy-tmp-", ".xcopy-tmp-abc", ".xcopy-tmp-abcdefghi",
                            ".xcopy-tmp-abc.efgh", "xcopy-tmp-abcdefgh", ".xcopy-tmp-abcdefg\n"}) {
    EXPECT_FALSE(is_temp_name(other)) << other;
  }
  EXPECT_TRUE(is_temp_name(".xcopy-tmp-aB3dE6gH"));
}

}  // namespace
}  // namespace xcopy::temp_files
