#include "agent/object_lock.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

#include "agent/log_writer.h"
#include "agent/platform/platform.h"

namespace {

struct HeldKey {
  const void* key;
  HeldKey* next;
};

// The mutex that guards the held-keys list. Held through an atomic pointer so a
// lock taken before InitMutex (the store used without the agent's start-up) creates
// it once instead of touching a mutex that does not exist.
std::atomic<platform::Mutex*> gv_logMutex{nullptr};
// Keys currently locked, appended at the end. Changed only under gv_logMutex.
HeldKey* gv_objectLockList = nullptr;
// Grows by 10 with every contended wait of the process; waiters sleep counter/1000 ms.
std::atomic<std::int32_t> gv_lockWaitTime{0};

void CreateListMutex() {
  if (gv_logMutex.load(std::memory_order_acquire) != nullptr) return;
  auto* mutex = new (std::nothrow) platform::Mutex();
  if (mutex == nullptr || mutex->Create() != platform::kSuccess) {
    delete mutex;
    return;
  }
  platform::Mutex* expected = nullptr;
  if (!gv_logMutex.compare_exchange_strong(expected, mutex, std::memory_order_acq_rel)) {
    delete mutex;  // another thread created it first
  }
}

platform::Mutex* ListMutex() {
  platform::Mutex* mutex = gv_logMutex.load(std::memory_order_acquire);
  if (mutex == nullptr) {
    CreateListMutex();
    mutex = gv_logMutex.load(std::memory_order_acquire);
  }
  return mutex;
}

// Holds the list mutex. When no mutex can be created at all (out of memory) the
// guard holds nothing and callers see a busy lock, so they wait instead of racing.
class ListGuard {
 public:
  ListGuard() : mutex_(ListMutex()) {
    if (mutex_ != nullptr) mutex_->Lock();
  }
  ~ListGuard() {
    if (mutex_ != nullptr) mutex_->Unlock();
  }
  bool Held() const { return mutex_ != nullptr; }
  ListGuard(const ListGuard&) = delete;
  ListGuard& operator=(const ListGuard&) = delete;

 private:
  platform::Mutex* mutex_;
};

// Adds `key` unless it is held. False when it is held or the entry cannot be allocated.
bool TryAcquire(const void* key) {
  ListGuard guard;
  if (!guard.Held()) return false;
  HeldKey** tail = &gv_objectLockList;
  for (; *tail != nullptr; tail = &(*tail)->next) {
    if ((*tail)->key == key) return false;
  }
  *tail = new (std::nothrow) HeldKey{key, nullptr};
  return *tail != nullptr;
}

void BackOff() {
  std::int32_t wait = gv_lockWaitTime.fetch_add(10, std::memory_order_relaxed) + 10;
  if (wait == 0) {
    gv_lockWaitTime.store(10, std::memory_order_relaxed);
    wait = 10;
  }
  platform::SleepMilliseconds(BackOffMilliseconds(wait));
}

}  // namespace

// The counter is never reset, so without a ceiling a long-lived process would sleep
// longer and longer per contended wait (seconds after a few hundred thousand waits).
std::uint32_t BackOffMilliseconds(std::int32_t waitCounter) {
  constexpr std::uint32_t kLongestBackOffMs = 10;
  if (waitCounter < 0) return kLongestBackOffMs;  // the counter wrapped after 2^31 / 10 waits
  std::uint32_t sleepMs = static_cast<std::uint32_t>(waitCounter) / 1000u;
  return sleepMs < kLongestBackOffMs ? sleepMs : kLongestBackOffMs;
}

void InitMutex() {
  LogTrace("\n\t@@@@@ Inside InitMutex() @@@@@\n");
  CreateListMutex();
}

void CloseMutex() {
  platform::Mutex* mutex = gv_logMutex.exchange(nullptr, std::memory_order_acq_rel);
  if (mutex != nullptr) mutex->Close();
  delete mutex;
}

void InitObjectLocks() {
  ListGuard guard;
  if (!guard.Held()) return;
  while (gv_objectLockList != nullptr) {
    HeldKey* next = gv_objectLockList->next;
    delete gv_objectLockList;
    gv_objectLockList = next;
  }
}

void LockObject(const void* key) {
  while (!TryAcquire(key)) BackOff();
}

void UnlockObject(const void* key) {
  ListGuard guard;
  if (!guard.Held()) return;
  for (HeldKey** link = &gv_objectLockList; *link != nullptr; link = &(*link)->next) {
    if ((*link)->key == key) {
      HeldKey* held = *link;
      *link = held->next;
      delete held;
      return;
    }
  }
}

int GetLockWaitTime() { return gv_lockWaitTime.load(std::memory_order_relaxed); }
