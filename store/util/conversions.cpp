#include "store/util/conversions.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "agent/log_writer.h"
#include "store/util/alloc.h"
#include "store/util/text_scan.h"

namespace {

constexpr std::int32_t kMaxHexDigits = 64;
constexpr std::int32_t kShortDateTimeOctets = 8;
constexpr std::int32_t kLongDateTimeOctets = 11;

void Banner(const char* name) { LogTrace("\n\t@@@@@ Inside %s() @@@@@ \n", name); }

// A new copy of `text`; null with the allocation message when out of memory.
char* NewText(std::string_view text) {
  auto* copy = static_cast<char*>(VtMalloc(text.size() + 1));
  if (copy == nullptr) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

std::string Format(const char* format, ...) VT_PRINTF_FORMAT(1, 2);
std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

template <typename Map>
char* MappedCopy(const char* text, Map map) {
  if (text == nullptr) return nullptr;
  std::string copy(text);
  for (char& c : copy) c = map(c);
  return NewText(copy);
}

std::int32_t HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

std::int32_t HexValueOrCode(char ch) {
  std::int32_t digit = HexDigit(ch);
  return digit >= 0 ? digit : static_cast<unsigned char>(ch);
}

bool TextTooLong(const char* text) {
  std::size_t n = 0;
  while (n <= static_cast<std::size_t>(kMaxDateTextLength) && text[n] != '\0') ++n;
  return n > static_cast<std::size_t>(kMaxDateTextLength);
}

// The broken-down time of one ParseDateTime layout, or null when the layout does not
// match all its fields. `fail` is set when it matched but the month is unknown.
struct DateLayout {
  const char* format;
  std::size_t fields;
  std::size_t day, month, year, hour;  // positions among the fields
};

constexpr DateLayout kDateLayouts[] = {
    {"%s %d %s %d %d:%d:%d %s", 8, 1, 2, 3, 4},
    {"%s %d-%3s-%d %d:%d:%d %s", 8, 1, 2, 3, 4},
    {"%s %s %d %d:%d:%d %d", 7, 2, 1, 6, 3},
};

std::tm* NewBrokenDownTime(const std::vector<ScannedField>& f, const DateLayout& layout) {
  std::int32_t month = ParseMonth(f[layout.month].word.c_str());
  if (month < 0) return nullptr;
  auto* time = static_cast<std::tm*>(VtCalloc(1, sizeof(std::tm)));
  if (time == nullptr) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  time->tm_mday = f[layout.day].number;
  time->tm_mon = month;
  time->tm_year = f[layout.year].number - 1900;
  time->tm_hour = f[layout.hour].number;
  time->tm_min = f[layout.hour + 1].number;
  time->tm_sec = f[layout.hour + 2].number;
  return time;
}

}  // namespace

char* ToLowerCaseCopy(const char* text) {
  return MappedCopy(text, [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; });
}

char* ToUpperCaseCopy(const char* text) {
  return MappedCopy(text, [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; });
}

std::int32_t GetHexValue(char ch) {
  Banner("GetHexValue");
  return HexValueOrCode(ch);
}

std::uint8_t ConvertToDecimalFromHexa(char ch) {
  Banner("ConvertToDecimalFromHexa");
  std::int32_t digit = HexDigit(ch);
  return digit >= 0 ? static_cast<std::uint8_t>(digit) : 0;
}

std::int32_t ConvertToHexValue(char* text, std::int32_t length) {
  Banner("ConvertToHexValue");
  if (text == nullptr || length < 0 || length > kMaxHexDigits) return -1;
  std::int32_t bytes = length / 2;
  // Each byte lands on or before the digits it came from, so packing in place is safe.
  for (std::int32_t i = 0; i < bytes; ++i) {
    std::int32_t value = HexValueOrCode(text[2 * i]) * 16 + HexValueOrCode(text[2 * i + 1]);
    text[i] = static_cast<char>(value & 0xFF);
  }
  return bytes;
}

void ConvertToStringFromHex(std::uint8_t* out, const std::uint8_t* bytes, std::int32_t length) {
  Banner("ConvertToStringFromHex");
  if (out == nullptr || bytes == nullptr) return;
  for (std::int32_t i = 0; i < length; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(bytes[i] >> 4);
    out[2 * i + 1] = static_cast<std::uint8_t>(bytes[i] & 0x0F);
  }
}

char* ConvertToStringFromInteger(std::int32_t value) {
  Banner("ConvertToStringFromInteger");
  std::string text = std::to_string(value);
  LogTrace("The string is %s\n", text.c_str());
  return NewText(text);
}

char* ConvertToStringFromUnsignedInteger(std::uint32_t value, std::int32_t* lengthOut) {
  Banner("ConvertToStringFromUnsignedInteger");
  LogTrace("The value is %d\n", static_cast<int>(value));
  std::string text = std::to_string(value);
  LogTrace("The string is %s\n", text.c_str());
  char* copy = NewText(text);
  if (copy != nullptr && lengthOut != nullptr) *lengthOut = static_cast<std::int32_t>(text.size());
  return copy;
}

char* ToString(const void* value, const void* /*reserved*/, std::int32_t kind) {
  LogTrace("\n\t@@@@@ Inside ToString() @@@@@\n");
  if (kind == 0) {
    if (value == nullptr) return nullptr;
    return ConvertToStringFromInteger(*static_cast<const std::int32_t*>(value));
  }
  if (kind == 1) return NewText(value != nullptr ? "TRUE" : "FALSE");
  return nullptr;
}

char* ConvertToStringFromCounter64(Counter64 counter) {
  std::uint64_t value = ConvertToULongLongFromCounter64(counter.high, counter.low);
  std::string text = Format("%lld", static_cast<long long>(value));
  LogDebug("The String is : %s\n", text.c_str());
  return NewText(text);
}

Counter64 ConvertToCounter64FromULongLong(std::uint64_t value) {
  Banner("ConvertToCounter64FromULongLong");
  return Counter64{static_cast<std::uint32_t>(value >> 32), static_cast<std::uint32_t>(value & 0xFFFFFFFFu)};
}

std::uint64_t ConvertToULongLongFromCounter64(std::uint32_t high, std::uint32_t low) {
  Banner("ConvertToULongLongFromCounter64");
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

std::uint32_t ConvertToCounter64(Counter64* counter, const std::uint8_t* bytes, std::int32_t length) {
  Banner("ConvertToCounter64");
  if (counter == nullptr || (bytes == nullptr && length > 0) || length < 0 || length > 9) return 0;
  if (length == 9) {
    ++bytes;  // the sign byte of the network encoding
    --length;
  }
  std::int32_t lowBytes = length < 4 ? length : 4;
  std::uint32_t high = 0;
  std::uint32_t low = 0;
  for (std::int32_t i = 0; i < length - lowBytes; ++i) high = (high << 8) | bytes[i];
  for (std::int32_t i = length - lowBytes; i < length; ++i) low = (low << 8) | bytes[i];
  counter->high = high;
  counter->low = low;
  return low;
}

char* ConvertToStringFromDateTime(const std::uint8_t* octets, std::int32_t* length) {
  LogTrace("\n\t@@@@@ Inside ConvertToStringFromDateTime() @@@@@\n");
  if (octets == nullptr || length == nullptr) return nullptr;
  if (*length != kShortDateTimeOctets && *length < kLongDateTimeOctets) return nullptr;
  int year = octets[0] * 256 + octets[1];
  std::string text = Format("%d-%d-%d,%d:%d:%d.%d", year, octets[2], octets[3], octets[4], octets[5], octets[6],
                            octets[7]);
  if (*length != kShortDateTimeOctets) text += Format(",%c%d:%d", octets[8], octets[9], octets[10]);
  LogTrace("The retVal is %s\n", text.c_str());
  char* copy = NewText(text);
  if (copy != nullptr) *length = static_cast<std::int32_t>(text.size());
  return copy;
}

std::uint8_t* ConvertToDateTimeFromString(const char* text, std::int32_t* length) {
  Banner("ConvertToDateTimeFromString");
  if (text == nullptr || length == nullptr || TextTooLong(text)) return nullptr;
  std::vector<ScannedField> f = ScanText(text, "%d-%d-%d,%d:%d:%d.%d,%c%d:%d");
  if (f.size() != 10 && f.size() != 7) return nullptr;
  std::int32_t count = f.size() == 10 ? kLongDateTimeOctets : kShortDateTimeOctets;
  auto* octets = static_cast<std::uint8_t*>(VtCalloc(static_cast<std::size_t>(count), 1));
  if (octets == nullptr) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  std::uint32_t year = static_cast<std::uint32_t>(f[0].number);
  octets[0] = static_cast<std::uint8_t>(year >> 8);
  octets[1] = static_cast<std::uint8_t>(year);
  for (std::size_t i = 1; i < 7; ++i) octets[i + 1] = static_cast<std::uint8_t>(f[i].number);
  if (count == kLongDateTimeOctets) {
    octets[8] = static_cast<std::uint8_t>(f[7].character);
    octets[9] = static_cast<std::uint8_t>(f[8].number);
    octets[10] = static_cast<std::uint8_t>(f[9].number);
  }
  for (std::int32_t i = 0; i < count; ++i) LogTrace("%.02x\n", octets[i]);
  *length = count;
  return octets;
}

std::int32_t ParseMonth(const char* name) {
  Banner("ParseMonth");
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  if (name == nullptr || std::strlen(name) != 3) return -1;
  for (std::int32_t m = 0; m < 12; ++m) {
    bool same = true;
    for (int i = 0; i < 3 && same; ++i) {
      char c = name[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
      same = c == kMonths[m][i];
    }
    if (same) return m;
  }
  return -1;
}

std::tm* ParseDateTime(const char* text) {
  LogTrace("\n\t@@@@@ Inside ParseDateTime() @@@@@\n");
  if (text == nullptr || TextTooLong(text)) return nullptr;
  for (const DateLayout& layout : kDateLayouts) {
    std::vector<ScannedField> fields = ScanText(text, layout.format);
    if (fields.size() == layout.fields) return NewBrokenDownTime(fields, layout);
  }
  return nullptr;
}

std::uint8_t CompareTime(const std::tm* a, const std::tm* b) {
  Banner("CompareTime");
  if (a == nullptr || b == nullptr) return 0;
  const int left[] = {a->tm_year, a->tm_mon, a->tm_mday, a->tm_hour, a->tm_min, a->tm_sec};
  const int right[] = {b->tm_year, b->tm_mon, b->tm_mday, b->tm_hour, b->tm_min, b->tm_sec};
  for (int i = 0; i < 6; ++i) {
    if (left[i] != right[i]) return left[i] > right[i] ? 1 : 0;
  }
  return 1;
}

std::uint8_t IsDirectory(const char* path) {
  Banner("IsDirectory");
  if (path == nullptr) return 0;
  std::error_code error;
  return std::filesystem::is_directory(path, error) ? 1 : 0;
}

void EncryptDecryptKey(void* buffer, std::int32_t length, std::int32_t seed) {
  LogTrace("\t\t@@@@@ Inside EncryptDecryptKey() @@@@@\n");
  if (buffer == nullptr) return;
  std::int64_t k = static_cast<std::int64_t>(seed) + 9;
  if (k >= 256) k %= 255;
  auto mask = static_cast<std::uint8_t>(static_cast<std::uint64_t>(k) & 0xFF);
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  for (std::int32_t i = 0; i < length; ++i) bytes[i] ^= mask;
}
