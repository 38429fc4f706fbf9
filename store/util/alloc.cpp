#include "store/util/alloc.h"

#include <atomic>
#include <cstdlib>

namespace {

// Allocations left before the armed failure; 0 when none is armed.
std::atomic<long> gv_allocCountdown{0};

// True when this allocation is the one that must fail.
bool ArmedFailureDue() {
  long left = gv_allocCountdown.load(std::memory_order_relaxed);
  while (left > 0) {
    if (gv_allocCountdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
      return left == 1;
    }
  }
  return false;
}

}  // namespace

void* VtMalloc(std::size_t size) {
  if (ArmedFailureDue()) return nullptr;
  // malloc(0) may return null; a one-byte block keeps null meaning "no memory".
  return std::malloc(size == 0 ? 1 : size);
}

void* VtCalloc(std::size_t count, std::size_t size) {
  if (ArmedFailureDue()) return nullptr;
  if (count == 0 || size == 0) return std::calloc(1, 1);
  return std::calloc(count, size);
}

void* VtRealloc(void* block, std::size_t size) {
  if (ArmedFailureDue()) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

void VtFailAllocationAt(long n) { gv_allocCountdown.store(n > 0 ? n : 0, std::memory_order_relaxed); }
