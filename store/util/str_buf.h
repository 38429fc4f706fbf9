// StrBuf: a growable NUL-terminated text buffer that grows by whole steps of the
// user's choosing. The buffer owns its text block (from VtMalloc); there is no release
// operation: the owner frees `text` with free, or hands it on together with ownership.
// A buffer is used by one thread at a time.
#pragma once

#include <cstdint>

struct StrBuf {
  std::int32_t length;    // bytes of text, not counting the NUL
  char* text;             // capacity + 1 bytes, always NUL-terminated
  std::int32_t capacity;  // text bytes the block holds
  std::int32_t step;      // the unit by which capacity grows
};

inline constexpr std::int32_t kStrBufDefaultCapacity = 10000;
inline constexpr std::int32_t kStrBufDefaultStep = 1000;

// Empty text in a zero-filled block of capacity + 1 bytes. 1; 99 when the block cannot be
// allocated (text is then null); 0 for a null buffer or a negative capacity or step.
std::uint8_t StrBufInit(StrBuf* buffer, std::int32_t capacity, std::int32_t step);
// StrBufInit with capacity 10000 and step 1000.
std::uint8_t StrBufInitDefault(StrBuf* buffer);
// Appends `text`, growing the block by the fewest whole steps that make it fit. 1; 99
// when the larger block cannot be allocated; 0 for a null argument, a buffer without a
// block, a buffer that must grow with a step of 0, or a length beyond 32 bits. On any
// failure the buffer is unchanged.
std::uint8_t StrBufAppend(StrBuf* buffer, const char* text);
