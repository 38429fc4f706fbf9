#include "store/util/strings.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agent/log_writer.h"
#include "store/util/alloc.h"

namespace {

// A new zero-terminated copy of `bytes`; null when it cannot be allocated.
char* NewString(std::string_view bytes) {
  auto* copy = static_cast<char*>(VtMalloc(bytes.size() + 1));
  if (copy == nullptr) return nullptr;
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  copy[bytes.size()] = '\0';
  return copy;
}

// Start positions of the non-overlapping occurrences, scanning left to right.
std::vector<std::size_t> Occurrences(std::string_view text, std::string_view pattern) {
  std::vector<std::size_t> found;
  if (pattern.empty()) return found;
  for (std::size_t at = text.find(pattern); at != std::string_view::npos;
       at = text.find(pattern, at + pattern.size())) {
    found.push_back(at);
  }
  return found;
}

// The text without the pattern occurrences at the given positions.
char* WithoutOccurrences(std::string_view text, std::size_t patternLength,
                         const std::vector<std::size_t>& positions) {
  std::string kept;
  std::size_t from = 0;
  for (std::size_t at : positions) {
    kept.append(text.substr(from, at - from));
    from = at + patternLength;
  }
  kept.append(text.substr(from));
  return NewString(kept);
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetterOrDigit(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

unsigned char FoldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

template <typename Keep>
char* Filter(const char* text, Keep keep) {
  if (text == nullptr) return nullptr;
  std::string kept;
  for (const char* c = text; *c != '\0'; ++c) {
    if (keep(*c)) kept.push_back(*c);
  }
  return NewString(kept);
}

// The null ordering shared by the comparisons; true when it decided.
bool CompareNulls(const void* a, const void* b, std::int32_t& result) {
  if (a != nullptr && b != nullptr) return false;
  result = (a == nullptr && b == nullptr) ? 0 : (a == nullptr ? -1 : 1);
  return true;
}

// strnlen without relying on POSIX: never reads past the first NUL or `max` bytes.
std::size_t BoundedLength(const char* text, std::size_t max) {
  std::size_t n = 0;
  while (n < max && text[n] != '\0') ++n;
  return n;
}

// The first `length` characters of `text`, or fewer when a NUL comes first.
std::string_view Prefix(const char* text, std::int32_t length) {
  if (text == nullptr || length <= 0) return {};
  return std::string_view(text, BoundedLength(text, static_cast<std::size_t>(length)));
}

void FreePieces(char** pieces, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) std::free(pieces[i]);
  std::free(pieces);
}

}  // namespace

// ---------------------------------------------------------------- string copies

std::uint8_t AllocateAndSetString(char** target, const char* text) {
  if (target == nullptr || text == nullptr) return kVtFailure;
  char* copy = NewString(text);
  if (copy == nullptr) return kVtNoMemory;
  *target = copy;
  return kVtSuccess;
}

std::uint8_t AllocateAndSetBytes(char** target, const void* bytes, std::int32_t length) {
  if (target == nullptr || length < 0 || (bytes == nullptr && length > 0)) return kVtFailure;
  char* copy = NewString(std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(length)));
  if (copy == nullptr) {
    LogError("Unable to allocate memory\n");
    return kVtNoMemory;
  }
  *target = copy;
  return kVtSuccess;
}

std::uint8_t ReallocateAndSetString(char** target, const char* text, std::int32_t length) {
  LogTrace("\n\t@@@@@ Inside ReallocateAndSetString() @@@@@ \n");
  if (target == nullptr) return kVtFailure;
  char* old = *target;
  std::uint8_t result = AllocateAndSetBytes(target, text, length);
  if (result == kVtSuccess) std::free(old);
  return result;
}

// ---------------------------------------------------------------- searching and cutting

std::int32_t CountSubString(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return -1;
  return static_cast<std::int32_t>(Occurrences(text, pattern).size());
}

std::int32_t IndexOfSubString(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return -1;
  std::vector<std::size_t> found = Occurrences(text, pattern);
  return found.empty() ? 0 : static_cast<std::int32_t>(found.front());
}

std::int32_t LastIndexOfSubString(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return -1;
  std::vector<std::size_t> found = Occurrences(text, pattern);
  return found.empty() ? -1 : static_cast<std::int32_t>(found.back());
}

char* GetTextBefore(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view whole(text);
  return NewString(whole.substr(0, static_cast<std::size_t>(IndexOfSubString(text, pattern))));
}

char* GetTextAfter(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view whole(text);
  std::size_t from = static_cast<std::size_t>(IndexOfSubString(text, pattern)) + std::strlen(pattern);
  return NewString(from < whole.size() ? whole.substr(from) : std::string_view());
}

char** SplitString(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view whole(text);
  std::vector<std::size_t> found = Occurrences(whole, pattern);
  std::size_t patternLength = std::strlen(pattern);
  auto** pieces = static_cast<char**>(VtCalloc(found.size() + 2, sizeof(char*)));
  if (pieces == nullptr) return nullptr;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= found.size(); ++i) {
    std::size_t to = i < found.size() ? found[i] : whole.size();
    pieces[i] = NewString(whole.substr(from, to - from));
    if (pieces[i] == nullptr) {
      FreePieces(pieces, i);
      return nullptr;
    }
    from = to + patternLength;
  }
  return pieces;
}

char* GetTextAfterLast(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view whole(text);
  std::vector<std::size_t> found = Occurrences(whole, pattern);
  if (found.empty()) return const_cast<char*>(text);
  return NewString(whole.substr(found.back() + std::strlen(pattern)));
}

char* RemoveSubStrings(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  return WithoutOccurrences(text, std::strlen(pattern), Occurrences(text, pattern));
}

char* RemoveFirstSubString(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::vector<std::size_t> found = Occurrences(text, pattern);
  if (found.empty()) return nullptr;
  return WithoutOccurrences(text, std::strlen(pattern), {found.front()});
}

char* RemoveLastSubString(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::vector<std::size_t> found = Occurrences(text, pattern);
  if (found.empty()) return nullptr;
  return WithoutOccurrences(text, std::strlen(pattern), {found.back()});
}

char* KeepLetters(const char* text) { return Filter(text, IsAsciiLetter); }

char* KeepLettersAndDigits(const char* text) { return Filter(text, IsLetterOrDigit); }

char* RemoveLettersAndDigits(const char* text) {
  return Filter(text, [](char c) { return !IsLetterOrDigit(c); });
}

char* TrimLeadingChar(const char* text, char character) {
  if (text == nullptr) return nullptr;
  std::string_view whole(text);
  std::size_t first = whole.find_first_not_of(character);
  if (first == std::string_view::npos) return nullptr;
  return NewString(whole.substr(first));
}

char* TrimTrailingChar(const char* text, char character) {
  if (text == nullptr) return nullptr;
  std::string_view whole(text);
  std::size_t last = whole.find_last_not_of(character);
  if (last == std::string_view::npos) return nullptr;
  return NewString(whole.substr(0, last + 1));
}

char* TrimChar(const char* text, char character) {
  char* leading = TrimLeadingChar(text, character);
  if (leading == nullptr) return nullptr;
  char* both = TrimTrailingChar(leading, character);
  std::free(leading);
  return both;
}

char* NextToken(char* text, const char* delimiters, char** cursor) {
  if (delimiters == nullptr || cursor == nullptr) return nullptr;
  char* start = text != nullptr ? text : *cursor;
  if (start == nullptr) return nullptr;
  start += std::strspn(start, delimiters);
  if (*start == '\0') {
    *cursor = nullptr;
    return nullptr;
  }
  char* end = start + std::strcspn(start, delimiters);
  if (*end == '\0') {
    *cursor = nullptr;
  } else {
    *end = '\0';
    *cursor = end + 1;
  }
  return start;
}

const char* SubString(const char* text, const char* pattern) {
  LogTrace("\n\t@@@@@ Inside SubString() @@@@@ \n");
  if (text == nullptr || pattern == nullptr) return nullptr;
  std::string_view whole(text);
  std::size_t at = whole.find(pattern);
  return at == std::string_view::npos ? nullptr : text + at;
}

std::uint8_t FindSubString(const char* text, const char* pattern) {
  LogTrace("\n\t@@@@@ Inside FindSubString() @@@@@ \n");
  if (text == nullptr || pattern == nullptr) return 0;
  return std::string_view(text).find(pattern) != std::string_view::npos ? 1 : 0;
}

std::int32_t GetIndex(const char* text, std::int32_t length, char character) {
  LogTrace("\n\t@@@@@ Inside GetIndex() @@@@@ \n");
  if (text == nullptr || length <= 0) return -1;
  const void* at = std::memchr(text, static_cast<unsigned char>(character), static_cast<std::size_t>(length));
  return at == nullptr ? -1 : static_cast<std::int32_t>(static_cast<const char*>(at) - text);
}

std::uint8_t IsStringMatched(const char* list, std::int32_t listLength, const char* candidate,
                             std::int32_t candidateLength) {
  LogTrace("\n\t@@@@@ Inside IsStringMatched() @@@@@ \n");
  if (list == nullptr || candidate == nullptr || candidateLength < 0) return 0;
  std::int32_t* lengths = nullptr;
  std::uint16_t count = 0;
  char** items = SplitBuffer(list, listLength, ',', &lengths, &count);
  if (items == nullptr) return 0;
  std::uint8_t matched = 0;
  for (std::uint16_t i = 0; i < count && matched == 0; ++i) {
    if (lengths[i] == candidateLength &&
        std::memcmp(items[i], candidate, static_cast<std::size_t>(candidateLength)) == 0) {
      matched = 1;
    }
  }
  FreeStringArray(items, count);
  std::free(lengths);
  return matched;
}

// ---------------------------------------------------------------- byte buffers

char** SplitBuffer(const char* data, std::int32_t length, char separator, std::int32_t** lengths,
                   std::uint16_t* count) {
  if (data == nullptr || length < 0 || lengths == nullptr || count == nullptr) return nullptr;
  std::string_view bytes(data, static_cast<std::size_t>(length));
  std::size_t pieceCount = 1;
  for (char c : bytes) pieceCount += (c == separator) ? 1 : 0;
  if (pieceCount > UINT16_MAX) return nullptr;

  auto** pieces = static_cast<char**>(VtCalloc(pieceCount, sizeof(char*)));
  auto* sizes = static_cast<std::int32_t*>(VtCalloc(pieceCount, sizeof(std::int32_t)));
  if (pieces == nullptr || sizes == nullptr) {
    std::free(pieces);
    std::free(sizes);
    return nullptr;
  }
  std::size_t from = 0;
  for (std::size_t i = 0; i < pieceCount; ++i) {
    std::size_t to = bytes.find(separator, from);
    if (to == std::string_view::npos) to = bytes.size();
    pieces[i] = NewString(bytes.substr(from, to - from));
    if (pieces[i] == nullptr) {
      FreePieces(pieces, i);
      std::free(sizes);
      return nullptr;
    }
    sizes[i] = static_cast<std::int32_t>(to - from);
    from = to + 1;
  }
  *lengths = sizes;
  *count = static_cast<std::uint16_t>(pieceCount);
  return pieces;
}

std::uint16_t CountByte(const void* data, std::int32_t length, std::uint8_t byte) {
  if (data == nullptr || length <= 0) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint32_t found = 0;
  for (std::int32_t i = 0; i < length && found < UINT16_MAX; ++i) found += (bytes[i] == byte) ? 1 : 0;
  return static_cast<std::uint16_t>(found);
}

void FreeStringArray(char** array, std::int32_t count) {
  LogTrace("\n\t@@@@@ Inside FreeStringArray() @@@@@ \n");
  if (array == nullptr) return;
  FreePieces(array, count > 0 ? static_cast<std::size_t>(count) : 0);
}

std::int32_t ConvertToInteger(const std::uint8_t* bytes, std::int32_t length) {
  LogTrace("\n\t@@@@@ Inside ConvertToInteger() @@@@@ \n");
  if (bytes == nullptr || length < 0 || length > 4) return -1;
  if (length == 0) return 0;
  // Built as unsigned so shifting a negative value in is well defined.
  std::uint32_t value = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(bytes[0])));
  for (std::int32_t i = 1; i < length; ++i) value = (value << 8) | bytes[i];
  return static_cast<std::int32_t>(value);
}

std::uint32_t ConvertToUnsignedInteger(const std::uint8_t* bytes, std::int32_t length) {
  if (bytes == nullptr) return 0;
  std::uint32_t value = 0;
  for (std::int32_t i = 0; i < length; ++i) value = (value << 8) | bytes[i];
  return value;
}

void ReverseBytes(void* buffer, std::int32_t length) {
  if (buffer == nullptr || length <= 1) return;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  for (std::int32_t i = 0, j = length - 1; i < j; ++i, --j) std::swap(bytes[i], bytes[j]);
}

// ---------------------------------------------------------------- comparing

std::int32_t CompareNoCase(const char* a, const char* b) {
  std::int32_t result = 0;
  if (CompareNulls(a, b, result)) return result;
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (; FoldCase(*x) == FoldCase(*y); ++x, ++y) {
    if (*x == '\0') return 0;
  }
  return static_cast<std::int32_t>(FoldCase(*x)) - static_cast<std::int32_t>(FoldCase(*y));
}

std::int32_t CompareNoCaseN(const char* a, const char* b, std::int32_t limit) {
  std::int32_t result = 0;
  if (CompareNulls(a, b, result)) return result;
  if (limit <= 0) return 0;
  std::size_t max = static_cast<std::size_t>(limit);
  std::size_t aLength = BoundedLength(a, max);
  std::size_t bLength = BoundedLength(b, max);
  std::size_t common = std::min(aLength, bLength);
  for (std::size_t i = 0; i < common; ++i) {
    unsigned char x = FoldCase(static_cast<unsigned char>(a[i]));
    unsigned char y = FoldCase(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (aLength == bLength) return 0;  // equal, or both reach the limit
  return aLength < bLength ? -1 : 1;
}

std::int32_t CompareBytes(const void* a, const void* b, std::int32_t length) {
  std::int32_t result = 0;
  if (CompareNulls(a, b, result)) return result;
  const auto* x = static_cast<const std::uint8_t*>(a);
  const auto* y = static_cast<const std::uint8_t*>(b);
  for (std::int32_t i = 0; i < length; ++i) {
    if (x[i] != y[i]) return static_cast<std::int32_t>(x[i]) - static_cast<std::int32_t>(y[i]);
  }
  return 0;
}

std::uint8_t StartsWithBytes(const void* data, std::int32_t dataLength, const void* prefix,
                             std::int32_t prefixLength) {
  if (data == nullptr || prefix == nullptr || prefixLength < 0 || dataLength < prefixLength) return 0;
  return std::memcmp(data, prefix, static_cast<std::size_t>(prefixLength)) == 0 ? 1 : 0;
}

std::int32_t CompareStrings(const char* a, const char* b) {
  std::int32_t result = 0;
  if (CompareNulls(a, b, result)) return result;
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (; *x == *y; ++x, ++y) {
    if (*x == '\0') return 0;
  }
  return static_cast<std::int32_t>(*x) - static_cast<std::int32_t>(*y);
}

std::int32_t StringLength(const char* text) {
  return text == nullptr ? 0 : static_cast<std::int32_t>(std::strlen(text));
}

// ---------------------------------------------------------------- numbers in text

std::int32_t ParseSignedInteger(const char* text) {
  if (text == nullptr) return -1;
  std::string_view digits(text);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  std::int64_t value = 0;
  for (char c : digits) {
    if (!IsAsciiDigit(c)) return -1;
    value = value * 10 + (c - '0');
    if (value > static_cast<std::int64_t>(INT32_MAX) + 1) return -1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return -1;
  return static_cast<std::int32_t>(value);
}

double ParseUnsignedDecimal(const char* text) {
  if (text == nullptr) return 0;
  std::string_view number(text);
  std::size_t point = number.find('.');
  std::string_view whole = number.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : number.substr(point + 1);
  for (std::string_view part : {whole, fraction}) {
    for (char c : part) {
      if (!IsAsciiDigit(c)) return 0;
    }
  }
  if (whole.empty() && fraction.empty()) return 0;
  // Rebuilt as "W.F" so that "5." and ".5" both parse.
  std::string canonical = std::string(whole.empty() ? "0" : whole) + "." + std::string(fraction.empty() ? "0" : fraction);
  double value = 0;
  std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
  return value;
}

std::uint8_t IsIntegerText(const char* text, std::int32_t length) {
  if (length <= 0) return 1;
  if (text == nullptr) return 0;
  std::string_view digits = Prefix(text, length);
  if (digits.size() != static_cast<std::size_t>(length)) return 0;  // a NUL came first
  if (digits.front() == '+' || digits.front() == '-') digits.remove_prefix(1);
  for (char c : digits) {
    if (!IsAsciiDigit(c)) return 0;
  }
  return 1;
}

std::uint8_t IsDecimalText(const char* text, std::int32_t length) {
  if (length <= 0) return 1;
  if (text == nullptr) return 0;
  std::string_view digits = Prefix(text, length);
  if (digits.size() != static_cast<std::size_t>(length)) return 0;
  int points = 0;
  for (char c : digits) {
    if (c == '.') {
      if (++points > 1) return 0;
    } else if (!IsAsciiDigit(c)) {
      return 0;
    }
  }
  return 1;
}

std::int64_t IntegerPower(std::int64_t base, std::int32_t exponent) {
  std::uint64_t result = 1;
  for (std::int32_t i = 0; i < exponent; ++i) result *= static_cast<std::uint64_t>(base);
  return static_cast<std::int64_t>(result);
}

// ---------------------------------------------------------------- bounded copies

std::int32_t CopyStringBounded(char* destination, const char* source, std::int32_t size) {
  if (destination == nullptr || source == nullptr || size <= 0) return 0;
  std::size_t length = std::strlen(source);
  std::size_t copied = std::min(length, static_cast<std::size_t>(size) - 1);
  std::memmove(destination, source, copied);
  destination[copied] = '\0';
  return static_cast<std::int32_t>(length);
}

std::int32_t AppendStringBounded(char* destination, const char* source, std::int32_t size) {
  if (destination == nullptr || source == nullptr || size <= 0) return 0;
  std::size_t capacity = static_cast<std::size_t>(size);
  std::size_t used = BoundedLength(destination, capacity);
  std::size_t length = std::strlen(source);
  if (used == capacity) return static_cast<std::int32_t>(capacity + length);  // not terminated within size
  std::size_t copied = std::min(length, capacity - used - 1);
  std::memmove(destination + used, source, copied);
  destination[used + copied] = '\0';
  return static_cast<std::int32_t>(used + length);
}

// ---------------------------------------------------------------- standard primitives

char* StringCopy(char* destination, const char* source) {
  if (destination == nullptr || source == nullptr) return nullptr;
  return std::strcpy(destination, source);
}

char* StringCopyN(char* destination, const char* source, std::size_t n) {
  if (destination == nullptr || source == nullptr) return nullptr;
  for (std::size_t i = 0; i < n; ++i) {
    destination[i] = source[i];
    if (source[i] == '\0') break;
  }
  return destination;
}

char* StringAppend(char* destination, const char* source) {
  if (destination == nullptr || source == nullptr) return nullptr;
  return std::strcat(destination, source);
}

void* ByteCopy(void* destination, const void* source, std::size_t n) {
  if (destination == nullptr || source == nullptr) return nullptr;
  return n == 0 ? destination : std::memcpy(destination, source, n);
}

void* ByteFill(void* destination, int value, std::size_t n) {
  if (destination == nullptr) return nullptr;
  return std::memset(destination, value, n);
}

const void* ByteFind(const void* data, int value, std::size_t n) {
  if (data == nullptr) return nullptr;
  return std::memchr(data, value, n);
}

const char* CharFind(const char* text, int character) {
  if (text == nullptr) return nullptr;
  return std::strchr(text, character);
}

std::size_t CharSpan(const char* text, const char* accept) {
  if (text == nullptr || accept == nullptr) return 0;
  return std::strspn(text, accept);
}

const char* CharBreak(const char* text, const char* accept) {
  if (text == nullptr || accept == nullptr) return nullptr;
  return std::strpbrk(text, accept);
}

std::int32_t StringCompareN(const char* a, const char* b, std::size_t n) {
  std::int32_t result = 0;
  if (CompareNulls(a, b, result)) return result;
  return std::strncmp(a, b, n);
}
