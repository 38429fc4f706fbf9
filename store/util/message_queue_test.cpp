#include "store/util/message_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

struct AllocationFailure {
  explicit AllocationFailure(long n) { VtFailAllocationAt(n); }
  ~AllocationFailure() { VtFailAllocationAt(0); }
};

class MessageQueueTest : public ::testing::Test {
 protected:
  MessageQueueTest() { InitVector(&queue_, nullptr); }
  void TearDown() override { FreeVector(&queue_); }
  Vector queue_{};
  int messages_[8] = {};
};

TEST_F(MessageQueueTest, MessagesComeOutInArrivalOrder) {
  LogCapture log;
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue_), nullptr);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(AddRcvdMsgToQueue(&queue_, &messages_[i]), 1);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue_), &messages_[i]);
  ASSERT_EQ(AddRcvdMsgToQueue(&queue_, &messages_[4]), 1);
  for (int i = 2; i < 5; ++i) EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue_), &messages_[i]);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue_), nullptr);
  EXPECT_EQ(queue_.count, 0);
  EXPECT_EQ(queue_.head, nullptr);
  EXPECT_EQ(queue_.tail, nullptr);
  // Usable again after running empty: the tail was reset with the head.
  ASSERT_EQ(AddRcvdMsgToQueue(&queue_, &messages_[5]), 1);
  EXPECT_EQ(queue_.tail, queue_.head);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue_), &messages_[5]);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside AddRcvdMsgToQueue() @@@@@\n"));
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside ReadMsgFromQueueForProcessing() @@@@@\n"));
}

TEST_F(MessageQueueTest, NullQueueAndFailedLinks) {
  LogCapture log;
  EXPECT_EQ(AddRcvdMsgToQueue(nullptr, &messages_[0]), 0);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(nullptr), nullptr);
  ASSERT_EQ(AddRcvdMsgToQueue(&queue_, &messages_[0]), 1);
  {
    AllocationFailure fail(1);
    EXPECT_EQ(AddRcvdMsgToQueue(&queue_, &messages_[1]), 0);
  }
  EXPECT_TRUE(log.HasError("Buffer allocation is failed !!!\n"));
  EXPECT_EQ(queue_.count, 1);
  EXPECT_EQ(ReadMsgFromQueueForProcessing(&queue_), &messages_[0]);
}

std::int8_t SameAddress(VectorNode* a, VectorNode* b) {
  return static_cast<std::int8_t>(a->element < b->element ? -1 : (a->element > b->element ? 1 : 0));
}

TEST_F(MessageQueueTest, ARefusedMessageLeavesNoLinkBehind) {
  static const VectorCompare compare = SameAddress;
  InitVector(&queue_, &compare);
  ASSERT_EQ(AddRcvdMsgToQueue(&queue_, &messages_[0]), 1);
  EXPECT_EQ(AddRcvdMsgToQueue(&queue_, &messages_[0]), 0);  // LeakSanitizer checks the link
  EXPECT_EQ(queue_.count, 1);
}

// Producers and consumers share one queue; every message is read exactly once and each
// producer's messages are read in the order they were sent.
TEST(MessageQueueThreads, ProducersAndConsumersShareOneQueue) {
  constexpr int kProducers = 3;
  constexpr int kConsumers = 2;
  constexpr int kPerProducer = 200;
  Vector queue{};
  InitVector(&queue, nullptr);
  std::vector<int> messages(kProducers * kPerProducer);
  for (int i = 0; i < static_cast<int>(messages.size()); ++i) messages[i] = i;

  std::atomic<int> consumed{0};
  std::vector<std::vector<int>> seen(kConsumers);
  std::vector<std::thread> threads;
  for (int p = 0; p < kProducers; ++p) {
    threads.emplace_back([&queue, &messages, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        ASSERT_EQ(AddRcvdMsgToQueue(&queue, &messages[p * kPerProducer + i]), 1);
      }
    });
  }
  for (int c = 0; c < kConsumers; ++c) {
    threads.emplace_back([&queue, &consumed, &seen, c] {
      while (consumed.load() < kProducers * kPerProducer) {
        void* message = ReadMsgFromQueueForProcessing(&queue);
        if (message == nullptr) {
          std::this_thread::yield();
          continue;
        }
        seen[c].push_back(*static_cast<int*>(message));
        consumed.fetch_add(1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::vector<int> all;
  for (const std::vector<int>& reads : seen) {
    std::vector<int> last(kProducers, -1);
    for (int value : reads) {
      EXPECT_GT(value, last[value / kPerProducer]);
      last[value / kPerProducer] = value;
      all.push_back(value);
    }
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, messages);
  EXPECT_EQ(queue.count, 0);
  FreeVector(&queue);
}

}  // namespace
