#include "agent/object_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

class ObjectLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMutex();
    InitObjectLocks();
  }
};

TEST_F(ObjectLockTest, SecondLockerOfOneKeyWaitsForTheUnlock) {
  int key = 0;
  LockObject(&key);
  std::atomic<bool> acquired{false};
  std::thread second([&] {
    LockObject(&key);
    acquired = true;
    UnlockObject(&key);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(acquired.load());
  UnlockObject(&key);
  second.join();
  EXPECT_TRUE(acquired.load());
}

TEST_F(ObjectLockTest, DifferentKeysDoNotBlockEachOther) {
  int first = 0;
  int second = 0;
  LockObject(&first);
  std::thread other([&] {
    LockObject(&second);
    UnlockObject(&second);
  });
  other.join();  // would hang if the keys were confused
  UnlockObject(&first);
}

TEST_F(ObjectLockTest, CriticalSectionsOfOneKeyNeverOverlap) {
  int key = 0;
  long counter = 0;  // deliberately plain: the object lock is its only guard
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        ObjectLockGuard guard(&key);
        if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
        ++counter;
        inside.fetch_sub(1);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
  EXPECT_EQ(overlaps.load(), 0);
}

TEST_F(ObjectLockTest, UnlockingAKeyThatIsNotHeldChangesNothing) {
  int held = 0;
  int stranger = 0;
  LockObject(&held);
  UnlockObject(&stranger);
  std::atomic<bool> acquired{false};
  std::thread other([&] {
    LockObject(&held);
    acquired = true;
    UnlockObject(&held);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(acquired.load()) << "the held key must still be held";
  UnlockObject(&held);
  other.join();
  // The stranger key was never held and can be locked now.
  LockObject(&stranger);
  UnlockObject(&stranger);
}

TEST_F(ObjectLockTest, ContendedWaitsGrowTheBackOffCounter) {
  int key = 0;
  int before = GetLockWaitTime();
  LockObject(&key);
  std::thread waiter([&] {
    LockObject(&key);
    UnlockObject(&key);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  UnlockObject(&key);
  waiter.join();
  int after = GetLockWaitTime();
  EXPECT_GT(after, before);
  EXPECT_EQ((after - before) % 10, 0);
}

TEST(ObjectLockBackOff, GrowsOneMillisecondPerHundredWaitsUpToACeiling) {
  struct Case {
    std::int32_t counter;
    std::uint32_t sleepMs;
  };
  const Case cases[] = {{10, 0},     {990, 0},     {1000, 1},        {1990, 1}, {5000, 5},
                        {10000, 10}, {10010, 10},  {2000000000, 10}, {-20, 10}};
  for (const Case& c : cases) EXPECT_EQ(BackOffMilliseconds(c.counter), c.sleepMs) << c.counter;
}

TEST(ObjectLockWithoutInit, LockingBeforeInitMutexWorks) {
  CloseMutex();
  int key = 0;
  LockObject(&key);
  UnlockObject(&key);
  InitMutex();
}

}  // namespace
