// The object lock: a process-wide lock keyed by any object's address, so code can
// serialise work on one object without giving it a mutex of its own. Waiters poll
// with a back-off that grows over the life of the process. Not re-entrant, not owned:
// a thread locking a key it holds waits for ever; any thread may unlock any key.
// InitMutex must run before the lock is used from several threads.
#pragma once

#include <cstdint>

// Creates the mutex that guards the held-keys list (gv_logMutex).
void InitMutex();
// Closes that mutex; the lock must no longer be in use.
void CloseMutex();
// Empties the held-keys list.
void InitObjectLocks();
// Returns once the calling thread holds the lock on `key`.
void LockObject(const void* key);
// Releases `key`; a key that is not held is ignored.
void UnlockObject(const void* key);

// The back-off counter: 10 more for every contended wait of the process so far.
int GetLockWaitTime();
// How long a waiter sleeps before polling again: counter / 1000 ms (the first 99 waits
// of a process only yield), never more than 10 ms.
std::uint32_t BackOffMilliseconds(std::int32_t waitCounter);

// RAII holder of one object lock.
class ObjectLockGuard {
 public:
  explicit ObjectLockGuard(const void* key) : key_(key) { LockObject(key_); }
  ~ObjectLockGuard() { UnlockObject(key_); }
  ObjectLockGuard(const ObjectLockGuard&) = delete;
  ObjectLockGuard& operator=(const ObjectLockGuard&) = delete;

 private:
  const void* key_;
};
