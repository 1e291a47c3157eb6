#include "xcopy/stat_batch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "xcopy/unique_fd.h"

namespace xcopy {
namespace {

// A batch must tell exactly what fstatat tells, entry by entry, whichever way
// it looks the entries up and however many there are.
class StatBatchTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/xcopy-stat-batch-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    path_ = name;
    folder_.reset(::open(name, O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(folder_);
  }
  void TearDown() override {
    for (const std::string& n : made_) {
      ::unlinkat(folder_.get(), n.c_str(), 0);
      ::unlinkat(folder_.get(), n.c_str(), AT_REMOVEDIR);
    }
    ::rmdir(path_.c_str());
  }
  void made(const std::string& n) { made_.push_back(n); }

  std::string path_;
  unique_fd folder_;
  std::vector<std::string> made_;
};

TEST_F(StatBatchTest, TellsWhatFstatatTells) {
  // More files than one submission takes, each of its own size and time.
  std::vector<std::string> names;
  for (int i = 0; i < 70; ++i) {
    const std::string n = "file" + std::to_string(i);
    const int fd = ::openat(folder_.get(), n.c_str(), O_CREAT | O_WRONLY, 0600 + i % 8);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, n.data(), static_cast<std::size_t>(i % 7)), i % 7);
    const struct timespec times[2] = {{1'600'000'000 + i, i * 1000 + 7},
                                      {1'700'000'000 + i, i * 3000 + 9}};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
    made(n);
    names.push_back(n);
  }
  ASSERT_EQ(::mkdirat(folder_.get(), "dir", 0750), 0);
  made("dir");
  ASSERT_EQ(::symlinkat("file3", folder_.get(), "link"), 0);
  made("link");
  ASSERT_EQ(::symlinkat("missing", folder_.get(), "dangling"), 0);
  made("dangling");
  for (const char* n : {"dir", "link", "dangling", "missing", "file1/below"}) {
    names.emplace_back(n);
  }

  stat_batch batch;
  struct expectation {
    int error;
    struct stat st;
  };
  std::vector<expectation> wanted;
  for (const std::string& n : names) {
    for (const int flags : {0, AT_SYMLINK_NOFOLLOW}) {
      batch.add(folder_.get(), n.c_str(), flags);
      expectation e{};
      e.error = ::fstatat(folder_.get(), n.c_str(), &e.st, flags) == 0 ? 0 : errno;
      wanted.push_back(e);
    }
  }
  batch.run();
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    SCOPED_TRACE(names[i / 2] + (i % 2 == 0 ? " (followed)" : " (not followed)"));
    struct stat got {};
    const int error = batch.result(i, got);
    ASSERT_EQ(error, wanted[i].error);
    if (error != 0) {
      continue;
    }
    const struct stat& w = wanted[i].st;
    EXPECT_EQ(got.st_dev, w.st_dev);
    EXPECT_EQ(got.st_ino, w.st_ino);
    EXPECT_EQ(got.st_mode, w.st_mode);
    EXPECT_EQ(got.st_size, w.st_size);
    EXPECT_EQ(got.st_uid, w.st_uid);
    EXPECT_EQ(got.st_mtim.tv_sec, w.st_mtim.tv_sec);
    EXPECT_EQ(got.st_mtim.tv_nsec, w.st_mtim.tv_nsec);
    // Following a link reads it, which may move the link's own access time
    // between the two looks; files and folders are not read by a lookup.
    if (!S_ISLNK(w.st_mode)) {
      EXPECT_EQ(got.st_atim.tv_sec, w.st_atim.tv_sec);
      EXPECT_EQ(got.st_atim.tv_nsec, w.st_atim.tv_nsec);
    }
  }

  // The batch can be used again.
  batch.clear();
  batch.add(folder_.get(), "file5", 0);
  batch.run();
  struct stat again {};
  EXPECT_EQ(batch.result(0, again), 0);
  EXPECT_EQ(again.st_size, 5);
}

}  // namespace
}  // namespace xcopy
