// Linux: timer queues. Each open queue has one worker thread that sleeps until its
// earliest timer is due and runs the callbacks one after the other. The pending
// timers live in a state shared by the queue and its worker, so a callback that
// re-arms itself while the queue is deleted finds the queue closed instead of a
// dangling object, and a queue deleted from its own callback lets its worker finish.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "agent/platform/platform.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
  TimerCallback callback;
  void* parameter;
};

struct QueueState {
  std::mutex mutex;
  std::condition_variable changed;
  std::multimap<Clock::time_point, Timer> pending;  // equal times keep their order
  std::uintptr_t nextId = 1;
  bool stopping = false;
};

void RunQueue(const std::shared_ptr<QueueState>& state) {
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->stopping) {
    if (state->pending.empty()) {
      state->changed.wait(lock);
      continue;
    }
    auto first = state->pending.begin();
    if (Clock::now() < first->first) {
      // A copy: the wait reads the time again on waking, when Delete may have
      // cleared the map entry.
      const Clock::time_point due = first->first;
      state->changed.wait_until(lock, due);
      continue;
    }
    Timer timer = first->second;
    state->pending.erase(first);
    lock.unlock();
    timer.callback(timer.parameter, true);
    lock.lock();
  }
}

ErrorCode AddTimer(QueueState& state, std::uint32_t dueMs, TimerCallback callback, void* parameter,
                   TimerHandle& handle) {
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.stopping) return kInvalidHandle;
  state.pending.emplace(Clock::now() + std::chrono::milliseconds(dueMs), Timer{callback, parameter});
  // The handle only names the timer (nothing can be done with it but compare it).
  handle = reinterpret_cast<TimerHandle>(state.nextId++);
  state.changed.notify_all();
  return kSuccess;
}

}  // namespace

struct TimerQueue::Impl {
  std::mutex mutex;  // guards the two members below, never held while waiting
  std::shared_ptr<QueueState> state;  // null while closed
  std::thread worker;
};

TimerQueue::TimerQueue() : impl_(std::make_unique<Impl>()) {}

TimerQueue::~TimerQueue() {
  if (IsOpen()) Delete();
}

ErrorCode TimerQueue::Create() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->state) return kSuccess;
  auto state = std::make_shared<QueueState>();
  try {
    impl_->worker = std::thread([state] { RunQueue(state); });
  } catch (const std::system_error&) {
    return kNotEnoughMemory;
  }
  impl_->state = std::move(state);
  return kSuccess;
}

ErrorCode TimerQueue::Delete() {
  std::shared_ptr<QueueState> state;
  std::thread worker;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    state = std::move(impl_->state);
    worker = std::move(impl_->worker);
  }
  if (!state) return kInvalidHandle;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->stopping = true;
    state->pending.clear();
    state->changed.notify_all();
  }
  // From one of its own callbacks the worker cannot be waited for; it ends when the
  // callback returns.
  if (worker.get_id() == std::this_thread::get_id())
    worker.detach();
  else
    worker.join();
  return kSuccess;
}

bool TimerQueue::IsOpen() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->state != nullptr;
}

ErrorCode TimerQueue::AddOneShot(TimerQueue* queue, std::uint32_t dueMs, TimerCallback callback,
                                 void* parameter, TimerHandle& timer) {
  if (callback == nullptr) return kInvalidParameter;
  if (queue == nullptr) {
    // The process's default queue lives as long as the process; it is never deleted,
    // so its worker is still there for timers added during exit.
    static TimerQueue* const defaultQueue = [] {
      auto* created = new TimerQueue();
      created->Create();
      return created;
    }();
    queue = defaultQueue;
  }
  std::shared_ptr<QueueState> state;
  {
    std::lock_guard<std::mutex> lock(queue->impl_->mutex);
    state = queue->impl_->state;
  }
  if (!state) return kInvalidHandle;
  return AddTimer(*state, dueMs, callback, parameter, timer);
}

}  // namespace platform
