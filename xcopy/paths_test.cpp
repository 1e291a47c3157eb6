#include "xcopy/paths.h"

#include <gtest/gtest.h>

#include <tuple>

namespace xcopy {
namespace {

TEST(PathsTest, JoinsWithOneSlash) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"src", "a/b.txt", "src/a/b.txt"},
      {"src/", "b", "src/b"},
      {"", "b", "b"},
      {"src", "", "src"},
      {"/", "b", "/b"},
      {".", "b", "./b"},
  };
  for (const auto& [base, relative, joined] : cases) {
    EXPECT_EQ(join_path(base, relative), joined) << base << " + " << relative;
  }
}

TEST(PathsTest, FullPathsResolveDotsByText) {
  const std::tuple<const char*, const char*> cases[] = {
      {"src/a", "/home/me/src/a"},
      {"./src//a/", "/home/me/src/a"},
      {"../x", "/home/x"},
      {"/abs/./b", "/abs/b"},
      {"/../..", "/"},
      {".", "/home/me"},
  };
  for (const auto& [path, full] : cases) {
    EXPECT_EQ(full_path(path, "/home/me"), full) << path;
  }
}

TEST(PathsTest, ParentPaths) {
  const std::tuple<const char*, const char*> cases[] = {
      {"a/b", "a"}, {"a/b/", "a"}, {"a", "."}, {"/a", "/"}, {"/", "/"}, {"a//b", "a"},
  };
  for (const auto& [path, parent] : cases) {
    EXPECT_EQ(parent_path(path), parent) << path;
  }
}

TEST(PathsTest, ControlBytesAreShownEscapedAndNothingElse) {
  EXPECT_EQ(printable("new\nline"), "new\\x0aline");
  EXPECT_EQ(printable(std::string_view("esc\x1b[2J\x7f", 8)), "esc\\x1b[2J\\x7f");
  EXPECT_EQ(printable("bad\xff name \xc3\xa9"), "bad\xff name \xc3\xa9");
}

}  // namespace
}  // namespace xcopy
