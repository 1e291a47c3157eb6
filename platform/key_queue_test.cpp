#include "platform/key_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace qmr::keys {
namespace {

class KeyQueueTest : public ::testing::Test {
 protected:
  // Heap-allocated: the ring is too big to sit comfortably in a test's frame.
  std::unique_ptr<key_queue> queue = std::make_unique<key_queue>();
};

TEST_F(KeyQueueTest, KeysComeOutOldestFirst) {
  EXPECT_FALSE(queue->take().has_value());
  queue->append('a');
  queue->append(extended_key(107));
  queue->append('b');
  EXPECT_EQ(queue->size(), 3u);
  EXPECT_EQ(queue->take(), key_code{'a'});
  EXPECT_EQ(queue->take(), extended_key(107));
  EXPECT_EQ(queue->take(), key_code{'b'});
  EXPECT_FALSE(queue->take().has_value());
  EXPECT_TRUE(queue->empty());
}

TEST_F(KeyQueueTest, FullQueueHolds511AndDropsTheOldest) {
  for (key_code k = 1; k <= 520; ++k)
    queue->append(k);
  EXPECT_EQ(queue->size(), 511u);
  // 520 keys went in, 511 fit: keys 1 to 9 were pushed out.
  for (key_code k = 10; k <= 520; ++k)
    ASSERT_EQ(queue->take(), k);
  EXPECT_FALSE(queue->take().has_value());
}

TEST_F(KeyQueueTest, WrapsAroundTheRingManyTimes) {
  key_code next_in = 0;
  key_code next_out = 0;
  for (int round = 0; round < 2000; ++round) {
    for (int n = 0; n < 7; ++n)
      queue->append(next_in++);
    for (int n = 0; n < 7; ++n)
      ASSERT_EQ(queue->take(), next_out++);
  }
  EXPECT_TRUE(queue->empty());
}

TEST_F(KeyQueueTest, KeysFromAnotherThreadArriveWholeAndInOrder) {
  // A console's control handler appends on a thread of its own while the main
  // thread polls. Every key that comes out must be one that went in, in the
  // order it went in; some may have been dropped while the ring was full, but
  // never the newest.
  constexpr key_code last = 60000;
  std::atomic<bool> finished{false};
  std::thread producer([&] {
    for (key_code k = 1; k <= last; ++k)
      queue->append(k);
    finished = true;
  });
  bool in_order = true;
  key_code previous = 0;
  for (;;) {
    const bool all_appended = finished;
    if (const std::optional<key_code> k = queue->take()) {
      in_order = in_order && *k > previous;
      previous = *k;
    } else if (all_appended) {
      break;
    }
  }
  producer.join();
  EXPECT_TRUE(in_order);
  EXPECT_EQ(previous, last);
}

}  // namespace
}  // namespace qmr::keys
