#include "store/util/str_buf.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "store/util/alloc.h"

namespace {

// The capacity after the fewest whole steps (at least one) that hold `needed` bytes;
// -1 when no step can get there within 32 bits.
std::int64_t GrownCapacity(const StrBuf& buffer, std::int64_t needed) {
  if (buffer.step <= 0) return -1;
  std::int64_t missing = needed - buffer.capacity;
  std::int64_t steps = (missing + buffer.step - 1) / buffer.step;
  std::int64_t capacity = buffer.capacity + steps * buffer.step;
  return capacity > INT32_MAX - 1 ? -1 : capacity;
}

}  // namespace

std::uint8_t StrBufInit(StrBuf* buffer, std::int32_t capacity, std::int32_t step) {
  if (buffer == nullptr || capacity < 0 || step < 0 || capacity == INT32_MAX) return kVtFailure;
  buffer->length = 0;
  buffer->capacity = capacity;
  buffer->step = step;
  buffer->text = static_cast<char*>(VtCalloc(static_cast<std::size_t>(capacity) + 1, 1));
  return buffer->text == nullptr ? kVtNoMemory : kVtSuccess;
}

std::uint8_t StrBufInitDefault(StrBuf* buffer) {
  return StrBufInit(buffer, kStrBufDefaultCapacity, kStrBufDefaultStep);
}

std::uint8_t StrBufAppend(StrBuf* buffer, const char* text) {
  if (buffer == nullptr || text == nullptr || buffer->text == nullptr) return kVtFailure;
  std::size_t n = std::strlen(text);
  std::int64_t needed = static_cast<std::int64_t>(buffer->length) + static_cast<std::int64_t>(n);
  if (needed > INT32_MAX) return kVtFailure;
  if (needed > buffer->capacity) {
    std::int64_t capacity = GrownCapacity(*buffer, needed);
    if (capacity < 0) return kVtFailure;
    auto* grown = static_cast<char*>(VtCalloc(static_cast<std::size_t>(capacity) + 1, 1));
    if (grown == nullptr) return kVtNoMemory;
    // Both copies come before the old block goes: `text` may lie inside it.
    std::memcpy(grown, buffer->text, static_cast<std::size_t>(buffer->length));
    std::memcpy(grown + buffer->length, text, n + 1);
    std::free(buffer->text);
    buffer->text = grown;
    buffer->capacity = static_cast<std::int32_t>(capacity);
  } else {
    std::memmove(buffer->text + buffer->length, text, n + 1);
  }
  buffer->length = static_cast<std::int32_t>(needed);
  return kVtSuccess;
}
