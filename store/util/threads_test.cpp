#include "store/util/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "store/util/log_capture_for_tests.h"

namespace {

// Gives up the processor until `done` holds; the tests wait for events, never for time.
// Packed entries: gtest binds references, so handles are copied out first.
ThreadHandle HandleOf(const ThreadPoolEntry& entry) { return entry.handle; }

template <typename Done>
void WaitUntil(Done done) {
  while (!done()) std::this_thread::yield();
}

struct StartProbe {
  std::thread::id ranOn;
  int argument = 0;
};

std::uint32_t RecordStart(void* argument) {
  auto* probe = static_cast<StartProbe*>(argument);
  probe->ranOn = std::this_thread::get_id();
  probe->argument = 41;
  return 7;
}

std::uint32_t ReturnAtOnce(void*) { return 0; }

TEST(Threads, CreateNewThreadRunsTheRoutineOnAnotherThread) {
  LogCapture log;
  InitThreadInfo();
  StartProbe probe;
  ThreadHandle handle = CreateNewThread(RecordStart, &probe);
  ASSERT_NE(handle, 0u);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(WaitForThread(handle, &exitCode), 1);
  EXPECT_EQ(exitCode, 7u);
  EXPECT_EQ(probe.argument, 41);
  EXPECT_NE(probe.ranOn, std::this_thread::get_id());
  EXPECT_EQ(WaitForThread(handle, &exitCode), 0);  // released
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside InitThreadInfo() @@@@@\n"));
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside CreateNewThread() @@@@@\n"));
}

TEST(Threads, CreateNewThreadWithoutARoutineFails) {
  LogCapture log;
  EXPECT_EQ(CreateNewThread(nullptr, nullptr), 0u);
  EXPECT_TRUE(log.HasDebug("Unable to create Thread\n"));
}

TEST(Threads, HandlesAreDistinctAndUnknownOnesAreRefused) {
  StartProbe a;
  ThreadHandle first = CreateNewThread(RecordStart, &a);
  ThreadHandle second = CreateNewThread(ReturnAtOnce, nullptr);  // runs on unwatched
  EXPECT_NE(first, second);
  EXPECT_EQ(WaitForThread(first, nullptr), 1);
  CloseThreadHandle(second);
  EXPECT_EQ(WaitForThread(second, nullptr), 0);
  EXPECT_EQ(WaitForThread(0, nullptr), 0);
}

TEST(ThreadPool, CheckThreadPoolTable) {
  LogCapture log;
  struct Case {
    std::vector<std::int8_t> states;
    std::uint16_t maximum;
    std::uint8_t result;
    std::uint16_t index;
  };
  const Case cases[] = {
      {{2, 1, 0}, 3, 1, 1}, {{1, 1}, 2, 1, 0}, {{2, 2}, 4, 4, 99}, {{2, 2}, 2, 5, 99},
      {{0, 0}, 2, 5, 99},   {{}, 0, 5, 99},    {{}, 1, 4, 99},
  };
  for (const Case& c : cases) {
    std::vector<ThreadPoolEntry> pool;
    for (std::int8_t state : c.states) pool.push_back(ThreadPoolEntry{state, 0});
    std::uint16_t index = 99;
    EXPECT_EQ(CheckThreadPool(pool.data(), static_cast<std::uint16_t>(pool.size()), &index, c.maximum), c.result);
    EXPECT_EQ(index, c.index);
  }
  ThreadPoolEntry one{1, 0};
  EXPECT_EQ(CheckThreadPool(&one, 1, nullptr, 2), 0);
  std::uint16_t index = 0;
  EXPECT_EQ(CheckThreadPool(nullptr, 1, &index, 2), 0);
  EXPECT_TRUE(log.HasTrace("\n\t@@@@@ Inside CheckThreadPool() @@@@@\n"));
}

struct ParkProbe {
  ThreadPoolEntry* entry;
  std::atomic<bool> mayPark{true};
  std::atomic<int> resumed{0};
};

std::uint32_t ParkOnce(void* argument) {
  auto* probe = static_cast<ParkProbe*>(argument);
  WaitUntil([probe] { return probe->mayPark.load(); });
  ParkThread(probe->entry);
  probe->resumed.fetch_add(1);
  return 0;
}

TEST(ThreadPool, ParkedThreadIsIdleUntilWoken) {
  ThreadPoolEntry entry{kThreadSlotEmpty, 0};
  ParkProbe probe;
  probe.entry = &entry;
  probe.mayPark = false;
  entry.handle = CreateNewThread(ParkOnce, &probe);
  ASSERT_NE(HandleOf(entry), 0u);
  probe.mayPark = true;
  WaitUntil([&entry] { return GetThreadPoolState(&entry) == kThreadIdle; });
  std::uint16_t index = 9;
  EXPECT_EQ(CheckThreadPool(&entry, 1, &index, 1), 1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(probe.resumed.load(), 0);
  WakeThread(&entry);
  ASSERT_EQ(WaitForThread(entry.handle, nullptr), 1);
  EXPECT_EQ(probe.resumed.load(), 1);
  EXPECT_EQ(GetThreadPoolState(&entry), kThreadBusy);
}

TEST(ThreadPool, AWakeBeforeTheParkIsNotLost) {
  ThreadPoolEntry entry{kThreadSlotEmpty, 0};
  ParkProbe probe;
  probe.entry = &entry;
  probe.mayPark = false;
  entry.handle = CreateNewThread(ParkOnce, &probe);
  ASSERT_NE(HandleOf(entry), 0u);
  WakeThread(&entry);     // the worker has not parked yet
  probe.mayPark = true;   // now it parks, and must return at once
  ASSERT_EQ(WaitForThread(entry.handle, nullptr), 1);
  EXPECT_EQ(probe.resumed.load(), 1);
  EXPECT_EQ(GetThreadPoolState(&entry), kThreadBusy);
}

TEST(ThreadPool, ParkOnAThreadNotStartedHereReturnsAtOnce) {
  ThreadPoolEntry entry{kThreadBusy, 0};
  ParkThread(&entry);
  EXPECT_EQ(GetThreadPoolState(&entry), kThreadBusy);
  ParkThread(nullptr);
  WakeThread(nullptr);
  WakeThread(&entry);  // handle 0 names no thread
}

// A small server: workers park in the pool; a dispatcher wakes an idle one per job.
struct Pool {
  static constexpr std::uint16_t kSize = 3;
  ThreadPoolEntry entries[kSize] = {};
  std::atomic<bool> stop{false};
  std::atomic<int> jobsDone{0};
  std::atomic<int> started{0};
};

struct Worker {
  Pool* pool;
  std::uint16_t slot;
};

std::uint32_t WorkerLoop(void* argument) {
  auto* worker = static_cast<Worker*>(argument);
  Pool* pool = worker->pool;
  // The dispatcher publishes the handle before it lets the worker park.
  WaitUntil([pool] { return pool->started.load() == Pool::kSize; });
  for (;;) {
    ParkThread(&pool->entries[worker->slot]);
    if (pool->stop.load()) return 0;
    pool->jobsDone.fetch_add(1);
  }
}

TEST(ThreadPool, DispatcherWakesIdleWorkersForEveryJob) {
  Pool pool;
  std::vector<Worker> workers;
  for (std::uint16_t i = 0; i < Pool::kSize; ++i) workers.push_back(Worker{&pool, i});
  for (std::uint16_t i = 0; i < Pool::kSize; ++i) {
    pool.entries[i].handle = CreateNewThread(WorkerLoop, &workers[i]);
    ASSERT_NE(HandleOf(pool.entries[i]), 0u);
    pool.started.fetch_add(1);
  }
  constexpr int kJobs = 60;
  for (int job = 0; job < kJobs; ++job) {
    std::uint16_t index = 0;
    WaitUntil([&] { return CheckThreadPool(pool.entries, Pool::kSize, &index, Pool::kSize) == kPoolIdleThread; });
    // Claimed here so the next job does not pick the same worker before it resumes.
    std::atomic_ref<std::int8_t>(pool.entries[index].state).store(kThreadBusy);
    WakeThread(&pool.entries[index]);
  }
  WaitUntil([&] { return pool.jobsDone.load() == kJobs; });
  pool.stop = true;
  for (ThreadPoolEntry& entry : pool.entries) {
    WakeThread(&entry);
    EXPECT_EQ(WaitForThread(entry.handle, nullptr), 1);
  }
  EXPECT_EQ(pool.jobsDone.load(), kJobs);
}

TEST(ThreadPool, ResetAndFreeClearStatesAndReleaseHandles) {
  ThreadPoolEntry pool[3] = {{kThreadBusy, 0}, {kThreadSlotEmpty, 0}, {kThreadIdle, 0}};
  pool[0].handle = CreateNewThread(ReturnAtOnce, nullptr);
  pool[1].handle = CreateNewThread(ReturnAtOnce, nullptr);
  pool[2].handle = CreateNewThread(ReturnAtOnce, nullptr);
  ThreadHandle empty = pool[1].handle;

  ThreadPoolEntry copy[3] = {pool[0], pool[1], pool[2]};
  ResetThreadPool(copy, 3);
  for (const ThreadPoolEntry& entry : copy) EXPECT_EQ(GetThreadPoolState(&entry), kThreadSlotEmpty);
  EXPECT_EQ(HandleOf(copy[2]), HandleOf(pool[2]));  // handles are kept

  ThreadHandle busy = pool[0].handle;
  FreeThreadPool(pool, 3);
  for (const ThreadPoolEntry& entry : pool) EXPECT_EQ(GetThreadPoolState(&entry), kThreadSlotEmpty);
  EXPECT_EQ(HandleOf(pool[0]), 0u);
  EXPECT_EQ(HandleOf(pool[2]), 0u);
  EXPECT_EQ(HandleOf(pool[1]), empty);  // an empty entry is left alone
  EXPECT_EQ(WaitForThread(busy, nullptr), 0);  // released
  EXPECT_EQ(WaitForThread(empty, nullptr), 1);
  ResetThreadPool(nullptr, 3);
  FreeThreadPool(nullptr, 3);
}

}  // namespace
