// Win32: timer queues with one-shot timers.
//
// The system calls back with one pointer; a small heap record carries the platform's
// callback and parameter to it. A record is freed by the trampoline once its timer has
// fired, or by TimerQueue::Delete for timers the deletion cancelled. Records of the
// default queue (never deleted) are freed only by their trampoline.
#include <windows.h>

#include <mutex>
#include <new>
#include <unordered_set>

#include "agent/platform/platform.h"

namespace platform {

namespace {

struct PendingTimer;

// The records of one queue whose timers have not fired yet.
struct PendingSet {
  std::mutex mutex;
  std::unordered_set<PendingTimer*> records;
};

struct PendingTimer {
  TimerCallback callback;
  void* parameter;
  PendingSet* owner;  // null for the default queue
};

void CALLBACK Trampoline(void* context, BOOLEAN timerFired) {
  auto* record = static_cast<PendingTimer*>(context);
  const TimerCallback callback = record->callback;
  void* const parameter = record->parameter;
  if (record->owner != nullptr) {
    std::lock_guard<std::mutex> lock(record->owner->mutex);
    record->owner->records.erase(record);
  }
  delete record;
  // Called without the set's lock: the callback may add the next timer to this queue.
  callback(parameter, timerFired != FALSE);
}

}  // namespace

struct TimerQueue::Impl {
  HANDLE queue = nullptr;
  PendingSet pending;
};

TimerQueue::TimerQueue() = default;

TimerQueue::~TimerQueue() {
  if (IsOpen() && Delete() != kSuccess) {
    // Callbacks may still run and reach the records and the set: leaking them is the
    // only safe choice left.
    static_cast<void>(impl_.release());
  }
}

ErrorCode TimerQueue::Create() {
  if (IsOpen()) return kAlreadyExists;
  HANDLE queue = ::CreateTimerQueue();
  if (queue == nullptr) return ::GetLastError();
  impl_ = std::make_unique<Impl>();
  impl_->queue = queue;
  return kSuccess;
}

ErrorCode TimerQueue::Delete() {
  if (!IsOpen()) return kInvalidHandle;
  // INVALID_HANDLE_VALUE: cancel pending timers and wait for a running callback.
  // (Plain DeleteTimerQueue may report 997 while still deleting.)
  if (!::DeleteTimerQueueEx(impl_->queue, INVALID_HANDLE_VALUE)) return ::GetLastError();
  // No callback runs any more: what is left in the set was cancelled.
  for (PendingTimer* record : impl_->pending.records) delete record;
  impl_.reset();
  return kSuccess;
}

bool TimerQueue::IsOpen() const { return impl_ != nullptr; }

ErrorCode TimerQueue::AddOneShot(TimerQueue* queue, std::uint32_t dueMs, TimerCallback callback,
                                 void* parameter, TimerHandle& timer) {
  if (callback == nullptr) return kInvalidParameter;
  if (queue != nullptr && !queue->IsOpen()) return kInvalidHandle;
  PendingSet* owner = queue != nullptr ? &queue->impl_->pending : nullptr;
  auto* record = new (std::nothrow) PendingTimer{callback, parameter, owner};
  if (record == nullptr) return kNotEnoughMemory;
  if (owner != nullptr) {
    std::lock_guard<std::mutex> lock(owner->mutex);
    owner->records.insert(record);
  }
  HANDLE handle = nullptr;
  if (!::CreateTimerQueueTimer(&handle, queue != nullptr ? queue->impl_->queue : nullptr,
                               Trampoline, record, dueMs, 0, WT_EXECUTEDEFAULT)) {
    const ErrorCode error = ::GetLastError();
    if (owner != nullptr) {
      std::lock_guard<std::mutex> lock(owner->mutex);
      owner->records.erase(record);
    }
    delete record;
    return error;
  }
  // The record may already be gone (a due time of 0 can fire at once); it is not
  // touched again here.
  timer = handle;
  return kSuccess;
}

}  // namespace platform
