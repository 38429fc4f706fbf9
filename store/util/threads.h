// Worker threads and the pool of parked workers. A thread is known by a handle, a
// nonzero 32-bit number that stays valid until WaitForThread or CloseThreadHandle
// releases it (FreeThreadPool releases the handles of its entries). The pool is a
// caller-owned array of packed entries. Every routine is safe from any thread; an
// entry's state is read and written atomically, its handle is set by its creator.
#pragma once

#include <cstdint>

// A thread's handle; 0 means none.
using ThreadHandle = std::uint32_t;
// The body of a thread; its result becomes the thread's exit code.
using ThreadStartRoutine = std::uint32_t (*)(void* argument);

// Pool entry states.
inline constexpr std::int8_t kThreadSlotEmpty = 0;
inline constexpr std::int8_t kThreadIdle = 1;  // parked, waiting for WakeThread
inline constexpr std::int8_t kThreadBusy = 2;

// CheckThreadPool results.
inline constexpr std::uint8_t kPoolIdleThread = 1;
inline constexpr std::uint8_t kPoolCanGrow = 4;
inline constexpr std::uint8_t kPoolFull = 5;

#pragma pack(push, 1)
struct ThreadPoolEntry {
  std::int8_t state;    // kThreadSlotEmpty, kThreadIdle or kThreadBusy
  ThreadHandle handle;  // the worker's handle from CreateNewThread
};
#pragma pack(pop)
static_assert(sizeof(ThreadPoolEntry) == 5, "pool entries are packed");

// Writes its entry banner; nothing else.
void InitThreadInfo();
// Starts a thread running startRoutine(argument) at once and returns its handle; 0 with
// "Unable to create Thread\n" (debug level) when it cannot be started.
ThreadHandle CreateNewThread(ThreadStartRoutine startRoutine, void* argument);
// Waits for the thread to end, stores its exit code (when exitCode is not null) and
// releases the handle. 0 for an unknown handle, or when called by that thread itself
// (the handle is then released without waiting).
std::uint8_t WaitForThread(ThreadHandle handle, std::uint32_t* exitCode);
// Releases the handle without waiting; the thread runs on. Unknown handles are ignored.
void CloseThreadHandle(ThreadHandle handle);

// 1 and *index = the first entry in state kThreadIdle; otherwise 4 when count is below
// maximum (the pool may grow) or 5 when it is not. 0 for a null index, or null entries
// with a nonzero count.
std::uint8_t CheckThreadPool(const ThreadPoolEntry* entries, std::uint16_t count, std::uint16_t* index,
                             std::uint16_t maximum);
// Called by a worker started with CreateNewThread on its own entry: state idle, then the
// thread waits until WakeThread resumes it, then state busy. A wake that came first is
// kept, so it is never lost. A thread not started by CreateNewThread returns at once.
void ParkThread(ThreadPoolEntry* entry);
// Resumes the entry's thread (or lets its next ParkThread return at once).
void WakeThread(ThreadPoolEntry* entry);
// The entry's state, read atomically (workers change it while others look).
std::int8_t GetThreadPoolState(const ThreadPoolEntry* entry);
// State empty for every entry; handles are kept.
void ResetThreadPool(ThreadPoolEntry* entries, std::uint16_t count);
// For every entry not empty: state empty, and its handle released as by
// CloseThreadHandle (the thread is neither stopped nor waited for) and cleared.
void FreeThreadPool(ThreadPoolEntry* entries, std::uint16_t count);
