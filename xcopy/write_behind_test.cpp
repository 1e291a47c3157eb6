#include "xcopy/write_behind.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace xcopy {
namespace {

// cachestat(2) (Linux 6.5) tells how many of a file's pages are dirty; the
// system headers here predate it.
struct cache_range {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;  // to the end of the file
};
struct cache_state {
  std::uint64_t cached, dirty, writeback, evicted, recently_evicted;
};
constexpr long cachestat_call = 451;

// Dirty pages of the file; -1 when the kernel cannot tell.
long dirty_pages(int fd) {
  cache_range range;
  cache_state state{};
  if (::syscall(cachestat_call, fd, &range, &state, 0) != 0) {
    return -1;
  }
  return static_cast<long>(state.dirty);
}

// A file of 32 MiB just written, so its pages are dirty: the kernel leaves
// them so for half a minute unless something starts their writing.
class WriteBehindTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp != nullptr ? tmp : "/tmp") + "/write-behind-XXXXXX";
    fd_ = ::mkstemp(path_.data());
    ASSERT_GE(fd_, 0) << errno;
    struct statfs fs {};
    ASSERT_EQ(::fstatfs(fd_, &fs), 0);
    if (fs.f_type == 0x01021994) {  // tmpfs: nothing is ever written out
      GTEST_SKIP() << "the temporary folder is on tmpfs";
    }
    const std::vector<char> chunk(1 << 20, 'x');
    for (int i = 0; i < 32; ++i) {
      ASSERT_EQ(::write(fd_, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    }
    const long dirty = dirty_pages(fd_);
    if (dirty < 0) {
      GTEST_SKIP() << "cachestat is not available: " << errno;
    }
    if (dirty == 0) {
      GTEST_SKIP() << "something wrote the file out already (a sync elsewhere)";
    }
  }

  void TearDown() override {
    if (fd_ >= 0) {
      ::close(fd_);
      ::unlink(path_.c_str());
    }
  }

  // Waits up to 10 s, far less than the kernel's own half minute, for the
  // file to have no dirty page left.
  bool becomes_clean(int fd) {
    for (int i = 0; i < 1000; ++i) {
      if (dirty_pages(fd) == 0) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string path_;
  int fd_ = -1;
};

TEST_F(WriteBehindTest, StartsTheWritingOfAFileTheCallerClosesAtOnce) {
  const int watcher = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(watcher, 0);
  write_behind::start(fd_);
  ::close(fd_);  // the copy is done with its descriptor; the writing goes on
  fd_ = watcher;
  EXPECT_TRUE(becomes_clean(watcher)) << dirty_pages(watcher) << " pages still dirty";
}

}  // namespace
}  // namespace xcopy
