// Value conversions exchanged with network-management peers: hexadecimal text, case
// copies, numbers as text, 64-bit counters in two halves, date-and-time octets and date
// texts, plus a directory test and the key scrambler. (OIDs and addresses: oid.h.)
// New texts, arrays and records come from VtMalloc; the caller frees them with free.
// No routine keeps state, so all are safe from several threads.
#pragma once

#include <cstdint>
#include <ctime>

// A 64-bit counter as two unsigned 32-bit words, high half first.
struct Counter64 {
  std::uint32_t high;
  std::uint32_t low;
};

// Longest date text the date routines accept; longer texts give their failure result.
inline constexpr std::int32_t kMaxDateTextLength = 255;

// New copies with A-Z turned into a-z (or a-z into A-Z); other bytes unchanged. Null for
// a null text, or with "Unable to allocate buffer !!! \n" when out of memory.
char* ToLowerCaseCopy(const char* text);
char* ToUpperCaseCopy(const char* text);

// "0"-"9" give 0-9, "A"-"F" and "a"-"f" 10-15; any other character its own code (0-255).
std::int32_t GetHexValue(char ch);
// The same mapping, but any other character gives 0.
std::uint8_t ConvertToDecimalFromHexa(char ch);
// Packs pairs of hexadecimal digits (high digit first) into bytes written over the start
// of `text` and returns their number (length / 2). -1, with the text untouched, for more
// than 64 digits, a negative length or a null text.
std::int32_t ConvertToHexValue(char* text, std::int32_t length);
// Writes each byte's high and low 4-bit values (0-15, not digit characters) into
// 2 * length bytes of `out`.
void ConvertToStringFromHex(std::uint8_t* out, const std::uint8_t* bytes, std::int32_t length);

// New signed decimal text of `value`; null when out of memory.
char* ConvertToStringFromInteger(std::int32_t value);
// New unsigned decimal text; *lengthOut = its number of digits (when not null).
char* ConvertToStringFromUnsignedInteger(std::uint32_t value, std::int32_t* lengthOut);
// kind 0: ConvertToStringFromInteger of the int32 `value` points to (null value: null);
// kind 1: a new "TRUE" when value is not null, "FALSE" when it is; other kinds: null.
char* ToString(const void* value, const void* reserved, std::int32_t kind);
// New "%lld" text of the counter's 64-bit value (logged at debug level).
char* ConvertToStringFromCounter64(Counter64 counter);

Counter64 ConvertToCounter64FromULongLong(std::uint64_t value);
std::uint64_t ConvertToULongLongFromCounter64(std::uint32_t high, std::uint32_t low);
// Reads a big-endian number of up to 8 bytes (a 9-byte input's leading sign byte is
// skipped) into *counter: the last four bytes are the low half, those before them the
// high half. Returns the low half. 0, with *counter untouched, for more than 9 bytes, a
// negative length or a null pointer.
std::uint32_t ConvertToCounter64(Counter64* counter, const std::uint8_t* bytes, std::int32_t length);

// New text of date-and-time octets: "%d-%d-%d,%d:%d:%d.%d" for 8 octets, with
// ",%c%d:%d" added for 11 or more (only the first 11 are read); *length becomes the
// text's length. Null, with *length untouched, for any other length or a null pointer.
char* ConvertToStringFromDateTime(const std::uint8_t* octets, std::int32_t* length);
// The inverse: a new array of 11 octets (all ten fields read) or 8 (the first seven);
// *length = 11 or 8. Null, with *length untouched, for any other number of fields, a
// text longer than 255 characters or a null pointer.
std::uint8_t* ConvertToDateTimeFromString(const char* text, std::int32_t* length);
// "Jan" to "Dec" in any case give 0 to 11; anything else -1.
std::int32_t ParseMonth(const char* name);
// A new broken-down time (day, month 0-11, year - 1900, hour, minutes, seconds; other
// fields 0) from "Tue 09 Dec 2026 16:14:41 UTC", "Tue 09-Dec-2026 16:14:41 UTC" or
// "Tue Dec 9 16:14:41 2026", tried in that order. Null when none matches completely,
// the month is unknown, the text is longer than 255 characters or null.
std::tm* ParseDateTime(const char* text);
// 1 when a is later than or equal to b (year down to second), 0 when earlier or a
// pointer is null.
std::uint8_t CompareTime(const std::tm* a, const std::tm* b);
// 1 when `path` names a directory; 0 otherwise, also when it does not exist.
std::uint8_t IsDirectory(const char* path);
// XORs every byte with the low byte of k = seed + 9 (k >= 256 becomes k mod 255).
// Applying it twice with the same seed restores the buffer.
void EncryptDecryptKey(void* buffer, std::int32_t length, std::int32_t seed);
