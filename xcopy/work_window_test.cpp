#include "xcopy/work_window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace xcopy {
namespace {

constexpr int entries = 3000;

// Entries whose work takes uneven times, so that workers finish them out of
// order, among entries with no work; the id rides in message.error.
struct recorder {
  std::vector<std::atomic<int>> prepared = std::vector<std::atomic<int>>(entries);
  std::vector<int> handled;
  std::atomic<bool> alone{false};
  std::atomic<int> worker_calls_after_alone{0};
  std::atomic<int> main_calls{0};

  static bool has_work(int id) { return id % 5 != 0; }

  void prepare(work_item& item, bool on_worker) {
    const int id = item.message.error;
    if (on_worker && alone.load()) {
      ++worker_calls_after_alone;
    }
    if (!on_worker) {
      ++main_calls;
    }
    std::this_thread::sleep_for(std::chrono::microseconds((id * 7919) % 13 * 20));
    ++prepared[static_cast<std::size_t>(id)];
  }
};

void append_all(work_window& window) {
  for (int id = 0; id < entries; ++id) {
    work_item& item = window.next();
    item.what = recorder::has_work(id) ? work_item::kind::files : work_item::kind::message;
    item.message.error = id;
    window.append(recorder::has_work(id));
  }
  window.finish_all();
}

void expect_each_once_in_order(const recorder& r) {
  ASSERT_EQ(r.handled.size(), static_cast<std::size_t>(entries));
  for (int id = 0; id < entries; ++id) {
    EXPECT_EQ(r.handled[static_cast<std::size_t>(id)], id);
    EXPECT_EQ(r.prepared[static_cast<std::size_t>(id)].load(), recorder::has_work(id) ? 1 : 0)
        << id;
  }
}

class WorkWindowTest : public testing::TestWithParam<std::size_t> {};

TEST_P(WorkWindowTest, HandlesInAppendOrderWhateverOrderTheWorkFinishes) {
  recorder r;
  work_window window(
      GetParam(),
      [&](work_item& item, temp_files::slot&, bool on_worker) { r.prepare(item, on_worker); },
      [&](work_item& item, temp_files::slot&) {
        // Everything before was handled, and this entry's work is done.
        const int id = item.message.error;
        if (recorder::has_work(id)) {
          EXPECT_EQ(r.prepared[static_cast<std::size_t>(id)].load(), 1) << id;
        }
        r.handled.push_back(id);
      });
  EXPECT_EQ(window.alone(), GetParam() == 0);
  append_all(window);
  expect_each_once_in_order(r);
  EXPECT_TRUE(window.empty());
  // Without workers the main thread does every entry's work.
  if (GetParam() == 0) {
    EXPECT_EQ(r.main_calls.load(), entries - entries / 5);
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, WorkWindowTest, testing::Values(0, 1, 4));

TEST(WorkWindowAloneTest, AfterGoingAloneOnlyTheMainThreadWorks) {
  recorder r;
  work_window* window_of_handler = nullptr;
  work_window window(
      4, [&](work_item& item, temp_files::slot&, bool on_worker) { r.prepare(item, on_worker); },
      [&](work_item& item, temp_files::slot&) {
        const int id = item.message.error;
        if (id == 100) {
          window_of_handler->go_alone();
          r.alone = true;  // go_alone has returned: no worker is busy any more
        }
        r.handled.push_back(id);
      });
  window_of_handler = &window;
  append_all(window);
  expect_each_once_in_order(r);
  EXPECT_TRUE(window.alone());
  EXPECT_EQ(r.worker_calls_after_alone.load(), 0);
  EXPECT_GT(r.main_calls.load(), 0);
}

// Entries of files in named folders; an entry's work can be held until the
// test lets it go, and the order in which the work started is kept.
class folder_entries {
 public:
  void hold(const std::string& entry) { held_[entry] = true; }

  void release(const std::string& entry) {
    const std::lock_guard lock(mutex_);
    held_[entry] = false;
    changed_.notify_all();
  }

  void wait_started(const std::string& entry) {
    std::unique_lock lock(mutex_);
    changed_.wait(
        lock, [&] { return std::find(started_.begin(), started_.end(), entry) != started_.end(); });
  }

  void prepare(const work_item& item) {
    std::unique_lock lock(mutex_);
    started_.push_back(item.message.text);
    changed_.notify_all();
    changed_.wait(lock, [&] { return !held_[item.message.text]; });
  }

  // Appends an entry with one file of `folder`, named like "A1".
  void append(work_window& window, const std::string& entry) {
    work_item& item = window.next();
    item.what = work_item::kind::files;
    item.message.text = entry;
    item.file_count = 0;
    item.add_file().folder = &folders_[entry.substr(0, 1)];
    window.append(true);
  }

  std::vector<std::string> started() {
    const std::lock_guard lock(mutex_);
    return started_;
  }

 private:
  std::map<std::string, folder_state> folders_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, bool> held_;
  std::vector<std::string> started_;
};

// Two workers writing into one folder take turns at its lock (one spinning
// while the other creates), so a free worker takes the files of another
// folder first, even when they come later, and only then the rest.
TEST(WorkWindowFoldersTest, AFreeWorkerPrefersAFolderNoOtherWorkerIsIn) {
  folder_entries e;
  e.hold("C1");
  e.hold("A1");
  work_window window(
      2, [&](work_item& item, temp_files::slot&, bool) { e.prepare(item); },
      [](work_item&, temp_files::slot&) {});
  e.append(window, "C1");
  e.wait_started("C1");
  e.append(window, "A1");
  e.wait_started("A1");
  // Both workers are busy, in folders C and A.
  e.append(window, "A2");
  e.append(window, "B1");
  e.release("C1");
  e.wait_started("A2");  // once B1 is under way, folder A's file is the only one left
  e.release("A1");
  window.finish_all();
  EXPECT_EQ(e.started(), (std::vector<std::string>{"C1", "A1", "B1", "A2"}));
}

}  // namespace
}  // namespace xcopy
