#include "xcopy/directory_listing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "xcopy/unique_fd.h"

namespace xcopy {
namespace {

class DirectoryListingTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xcopy-listing-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    path_ = name;
    folder_.reset(::open(name, O_RDONLY | O_DIRECTORY));
  }
  void TearDown() override {
    for (const std::string& n : made_) {
      ::unlinkat(folder_.get(), n.c_str(), 0);
      ::unlinkat(folder_.get(), n.c_str(), AT_REMOVEDIR);
    }
    ::rmdir(path_.c_str());
  }
  void make_file(const std::string& n) {
    ::close(::openat(folder_.get(), n.c_str(), O_CREAT | O_WRONLY, 0644));
    made_.push_back(n);
  }
  void make_folder(const std::string& n) {
    ::mkdirat(folder_.get(), n.c_str(), 0755);
    made_.push_back(n);
  }

  std::string path_;
  unique_fd folder_;
  std::vector<std::string> made_;
};

TEST_F(DirectoryListingTest, SortsByBytesAndSaysWhatEachEntryIs) {
  for (const char* n : {"b", "B", "a", "\xff", "-x", ".h", "a b"}) {
    make_file(n);
  }
  make_folder("dir");
  directory_listing listing;
  ASSERT_EQ(listing.read(folder_.get()), 0);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < listing.size(); ++i) {
    names.emplace_back(listing.name(listing.at(i)));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"-x", ".h", "B", "a", "a b", "b", "dir", "\xff"}));
  EXPECT_EQ(listing.at(6).kind, entry_kind::directory);
  EXPECT_TRUE(listing.at(0).kind == entry_kind::file || listing.at(0).kind == entry_kind::unknown);
  EXPECT_TRUE(listing.contains("a b"));
  EXPECT_TRUE(listing.contains("\xff"));
  EXPECT_FALSE(listing.contains("c"));
  EXPECT_FALSE(listing.contains("."));
}

}  // namespace
}  // namespace xcopy
