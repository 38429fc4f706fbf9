#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "agent/platform/platform.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// What the callbacks of one test record, with a way to wait for it.
struct Probe {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> fired;  // tags in firing order
  std::thread::id thread;
  bool flag = true;
  TimerQueue* queue = nullptr;
  int rearmUntil = 0;

  void Record(int tag, bool timerFired) {
    std::lock_guard<std::mutex> lock(mutex);
    fired.push_back(tag);
    thread = std::this_thread::get_id();
    flag = flag && timerFired;
    changed.notify_all();
  }
  // Waits (at most 30 seconds, a hang guard, not a speed check) for `count` firings.
  bool WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, 30s, [&] { return fired.size() >= count; });
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return fired.size();
  }
};

struct Tagged {
  Probe* probe;
  int tag;
};

void RecordTag(void* parameter, bool timerFired) {
  auto* tagged = static_cast<Tagged*>(parameter);
  tagged->probe->Record(tagged->tag, timerFired);
}

void Rearm(void* parameter, bool timerFired) {
  auto* probe = static_cast<Probe*>(parameter);
  probe->Record(1, timerFired);
  if (static_cast<int>(probe->Count()) < probe->rearmUntil) {
    TimerHandle next = nullptr;
    TimerQueue::AddOneShot(probe->queue, 0, Rearm, probe, next);
  }
}

TEST(TimerQueueTest, OneShotFiresOnceOnTheQueueThread) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  EXPECT_TRUE(queue.IsOpen());
  Probe probe;
  Tagged tagged{&probe, 7};
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 10, RecordTag, &tagged, timer));
  EXPECT_NE(nullptr, timer);
  ASSERT_TRUE(probe.WaitFor(1));
  std::this_thread::sleep_for(100ms);  // room for a wrong second firing
  std::lock_guard<std::mutex> lock(probe.mutex);
  EXPECT_EQ(std::vector<int>{7}, probe.fired);
  EXPECT_TRUE(probe.flag);
  EXPECT_NE(std::this_thread::get_id(), probe.thread);
}

TEST(TimerQueueTest, TimersFireInOrderOfTheirDueTime) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  Probe probe;
  Tagged late{&probe, 3}, early{&probe, 1}, middle{&probe, 2};
  TimerHandle a = nullptr, b = nullptr, c = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 600, RecordTag, &late, a));
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 200, RecordTag, &early, b));
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 400, RecordTag, &middle, c));
  EXPECT_NE(a, b);
  EXPECT_NE(b, c);
  ASSERT_TRUE(probe.WaitFor(3));
  std::lock_guard<std::mutex> lock(probe.mutex);
  EXPECT_EQ((std::vector<int>{1, 2, 3}), probe.fired);
}

TEST(TimerQueueTest, CallbackRearmsItself) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  Probe probe;
  probe.queue = &queue;
  probe.rearmUntil = 5;
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 1, Rearm, &probe, timer));
  ASSERT_TRUE(probe.WaitFor(5));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(5u, probe.Count());
}

TEST(TimerQueueTest, DeleteCancelsPendingTimers) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  Probe probe;
  Tagged tagged{&probe, 1};
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 60000, RecordTag, &tagged, timer));
  ASSERT_EQ(kSuccess, queue.Delete());
  EXPECT_FALSE(queue.IsOpen());
  EXPECT_EQ(0u, probe.Count());
  EXPECT_EQ(kInvalidHandle, TimerQueue::AddOneShot(&queue, 0, RecordTag, &tagged, timer));
  EXPECT_EQ(kInvalidHandle, queue.Delete());
  // The queue can be created again.
  ASSERT_EQ(kSuccess, queue.Create());
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 0, RecordTag, &tagged, timer));
  EXPECT_TRUE(probe.WaitFor(1));
}

struct Slow {
  std::atomic<bool> entered{false};
  std::atomic<bool> finished{false};
};

TEST(TimerQueueTest, DeleteWaitsForTheRunningCallback) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  Slow slow;
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 0, [](void* p, bool) {
    auto* s = static_cast<Slow*>(p);
    s->entered = true;
    std::this_thread::sleep_for(300ms);
    s->finished = true;
  }, &slow, timer));
  while (!slow.entered) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(kSuccess, queue.Delete());
  EXPECT_TRUE(slow.finished) << "Delete returned while its callback was running";
}

TEST(TimerQueueTest, DeleteWhileACallbackKeepsRearming) {
  TimerQueue queue;
  ASSERT_EQ(kSuccess, queue.Create());
  Probe probe;
  probe.queue = &queue;
  probe.rearmUntil = 1 << 30;  // for ever
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 0, Rearm, &probe, timer));
  ASSERT_TRUE(probe.WaitFor(50));
  ASSERT_EQ(kSuccess, queue.Delete());
  const std::size_t atDelete = probe.Count();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(atDelete, probe.Count()) << "a callback ran after Delete returned";
}

TEST(TimerQueueTest, DestructorDeletesTheQueue) {
  Probe probe;
  Tagged tagged{&probe, 1};
  {
    TimerQueue queue;
    ASSERT_EQ(kSuccess, queue.Create());
    TimerHandle timer = nullptr;
    ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(&queue, 200, RecordTag, &tagged, timer));
  }
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(0u, probe.Count());
}

TEST(TimerQueueTest, DeleteFromItsOwnCallbackStopsTheQueue) {
  auto queue = std::make_unique<TimerQueue>();
  ASSERT_EQ(kSuccess, queue->Create());
  struct Context {
    TimerQueue* queue = nullptr;
    std::atomic<ErrorCode> result{99};
    Probe probe;
  } context;
  context.queue = queue.get();
  Tagged later{&context.probe, 2};
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(queue.get(), 0, [](void* p, bool fired) {
    auto* c = static_cast<Context*>(p);
    c->result = c->queue->Delete();
    c->probe.Record(1, fired);
  }, &context, timer));
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(queue.get(), 300, RecordTag, &later, timer));
  ASSERT_TRUE(context.probe.WaitFor(1));
  EXPECT_EQ(kSuccess, context.result.load());
  EXPECT_FALSE(queue->IsOpen());
  queue.reset();
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(1u, context.probe.Count());
}

TEST(TimerQueueTest, NullQueueIsTheDefaultQueue) {
  Probe probe;
  Tagged tagged{&probe, 4};
  TimerHandle timer = nullptr;
  ASSERT_EQ(kSuccess, TimerQueue::AddOneShot(nullptr, 5, RecordTag, &tagged, timer));
  ASSERT_TRUE(probe.WaitFor(1));
  EXPECT_EQ(kInvalidParameter, TimerQueue::AddOneShot(nullptr, 5, nullptr, &tagged, timer));
  TimerQueue closed;
  EXPECT_FALSE(closed.IsOpen());
  EXPECT_EQ(kInvalidHandle, TimerQueue::AddOneShot(&closed, 5, RecordTag, &tagged, timer));
}

}  // namespace
}  // namespace platform
