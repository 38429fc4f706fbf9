// The one door to the heap for the store's C-style API, and its result codes.
// Blocks come from malloc, so every block handed to a caller is released with free.
// A test can make the n-th allocation from now fail (VtFailAllocationAt) to check
// that a routine reports 99, leaks nothing and leaves its inputs as they were.
// All functions are safe from several threads.
#pragma once

#include <cstddef>
#include <cstdint>

// Results of the status routines.
inline constexpr std::uint8_t kVtFailure = 0;
inline constexpr std::uint8_t kVtSuccess = 1;
// A memory allocation failed; the routine left its inputs unchanged unless it says so.
inline constexpr std::uint8_t kVtNoMemory = 99;

// As malloc/calloc/realloc; null when the heap is exhausted or a failure is armed.
// VtRealloc leaves the block untouched when it fails.
void* VtMalloc(std::size_t size);
void* VtCalloc(std::size_t count, std::size_t size);
void* VtRealloc(void* block, std::size_t size);

// Arms one failure: the n-th allocation from now (1 = the next) returns null.
// 0 or a negative n disarms it.
void VtFailAllocationAt(long n);
