#include "store/util/threads.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "agent/log_writer.h"

namespace {

// What the pool routines need to know of one started thread.
struct ThreadRecord {
  std::mutex mutex;
  std::condition_variable resumed;
  bool wakePending = false;  // guarded by mutex
  std::thread thread;        // guarded by the registry's mutex
  std::uint32_t exitCode = 0;  // written by the thread, read after joining it
};

// Handles name threads across the process, so their records live in one registry.
struct ThreadRegistry {
  std::mutex mutex;
  std::unordered_map<ThreadHandle, std::shared_ptr<ThreadRecord>> records;
  ThreadHandle last = 0;
};

// Never destroyed: records of threads still running at exit must not be torn down.
ThreadRegistry& Registry() {
  static auto* registry = new ThreadRegistry;
  return *registry;
}

// The record of the calling thread when CreateNewThread started it.
thread_local std::shared_ptr<ThreadRecord> tl_self;

// A free nonzero handle. Registry mutex held.
ThreadHandle NextHandle(ThreadRegistry& registry) {
  do {
    ++registry.last;
  } while (registry.last == 0 || registry.records.count(registry.last) != 0);
  return registry.last;
}

std::shared_ptr<ThreadRecord> FindRecord(ThreadHandle handle) {
  ThreadRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  auto found = registry.records.find(handle);
  return found == registry.records.end() ? nullptr : found->second;
}

// Removes the handle and hands back its record and thread; null when unknown.
std::shared_ptr<ThreadRecord> TakeRecord(ThreadHandle handle, std::thread& thread) {
  ThreadRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  auto found = registry.records.find(handle);
  if (found == registry.records.end()) return nullptr;
  std::shared_ptr<ThreadRecord> record = std::move(found->second);
  registry.records.erase(found);
  thread = std::move(record->thread);
  return record;
}

std::atomic_ref<std::int8_t> StateOf(ThreadPoolEntry* entry) { return std::atomic_ref<std::int8_t>(entry->state); }

ThreadHandle Start(ThreadStartRoutine startRoutine, void* argument) {
  auto record = std::make_shared<ThreadRecord>();
  ThreadRegistry& registry = Registry();
  ThreadHandle handle = 0;
  {
    std::lock_guard lock(registry.mutex);
    handle = NextHandle(registry);
    registry.records.emplace(handle, record);
  }
  try {
    std::thread thread([record, startRoutine, argument] {
      tl_self = record;
      record->exitCode = startRoutine(argument);
      tl_self.reset();
    });
    std::lock_guard lock(registry.mutex);
    record->thread = std::move(thread);
  } catch (...) {
    std::lock_guard lock(registry.mutex);
    registry.records.erase(handle);
    throw;
  }
  return handle;
}

}  // namespace

void InitThreadInfo() { LogTrace("\n\t@@@@@ Inside InitThreadInfo() @@@@@\n"); }

ThreadHandle CreateNewThread(ThreadStartRoutine startRoutine, void* argument) {
  LogTrace("\n\t@@@@@ Inside CreateNewThread() @@@@@\n");
  ThreadHandle handle = 0;
  if (startRoutine != nullptr) {
    try {
      handle = Start(startRoutine, argument);
    } catch (...) {
      handle = 0;  // no memory, or the system refused another thread
    }
  }
  if (handle == 0) LogDebug("Unable to create Thread\n");
  return handle;
}

std::uint8_t WaitForThread(ThreadHandle handle, std::uint32_t* exitCode) {
  std::thread thread;
  std::shared_ptr<ThreadRecord> record = TakeRecord(handle, thread);
  if (record == nullptr || !thread.joinable()) return 0;
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
    return 0;
  }
  thread.join();
  if (exitCode != nullptr) *exitCode = record->exitCode;
  return 1;
}

void CloseThreadHandle(ThreadHandle handle) {
  std::thread thread;
  if (TakeRecord(handle, thread) != nullptr && thread.joinable()) thread.detach();
}

std::uint8_t CheckThreadPool(const ThreadPoolEntry* entries, std::uint16_t count, std::uint16_t* index,
                             std::uint16_t maximum) {
  LogTrace("\n\t@@@@@ Inside CheckThreadPool() @@@@@\n");
  if (index == nullptr || (entries == nullptr && count != 0)) return 0;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (GetThreadPoolState(&entries[i]) == kThreadIdle) {
      *index = i;
      return kPoolIdleThread;
    }
  }
  return count < maximum ? kPoolCanGrow : kPoolFull;
}

void ParkThread(ThreadPoolEntry* entry) {
  std::shared_ptr<ThreadRecord> self = tl_self;
  if (entry == nullptr || self == nullptr) return;
  StateOf(entry).store(kThreadIdle);
  {
    std::unique_lock lock(self->mutex);
    self->resumed.wait(lock, [&self] { return self->wakePending; });
    self->wakePending = false;
  }
  StateOf(entry).store(kThreadBusy);
}

void WakeThread(ThreadPoolEntry* entry) {
  if (entry == nullptr) return;
  std::shared_ptr<ThreadRecord> record = FindRecord(entry->handle);
  if (record == nullptr) return;
  {
    std::lock_guard lock(record->mutex);
    record->wakePending = true;
  }
  record->resumed.notify_one();
}

std::int8_t GetThreadPoolState(const ThreadPoolEntry* entry) {
  if (entry == nullptr) return kThreadSlotEmpty;
  // atomic_ref needs a non-const object; the load does not write.
  return StateOf(const_cast<ThreadPoolEntry*>(entry)).load();
}

void ResetThreadPool(ThreadPoolEntry* entries, std::uint16_t count) {
  if (entries == nullptr) return;
  for (std::uint16_t i = 0; i < count; ++i) StateOf(&entries[i]).store(kThreadSlotEmpty);
}

void FreeThreadPool(ThreadPoolEntry* entries, std::uint16_t count) {
  if (entries == nullptr) return;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (StateOf(&entries[i]).exchange(kThreadSlotEmpty) == kThreadSlotEmpty) continue;
    CloseThreadHandle(entries[i].handle);
    entries[i].handle = 0;
  }
}
