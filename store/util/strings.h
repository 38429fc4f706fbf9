// String copies and utilities of the store: searching, cutting, splitting, trimming,
// comparing and parsing NUL-terminated strings and counted byte buffers.
// Every routine that returns a new string or array allocates it through VtMalloc; the
// caller releases it with free. Inputs are never modified (NextToken excepted).
// Nothing here keeps state between calls, so every routine is safe from several
// threads as long as the threads do not share the buffers they pass in.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- string copies

// *target = a new copy of `text`. 1, or 99 when the copy cannot be allocated (no
// message). 0 for a null argument. On any failure *target is left as it was.
std::uint8_t AllocateAndSetString(char** target, const char* text);
// *target = a new buffer holding the `length` bytes and a terminating zero. 1, or 99 with
// "Unable to allocate memory\n"; 0 for a null target, a negative length or null bytes
// with a positive length. On any failure *target is left as it was.
std::uint8_t AllocateAndSetBytes(char** target, const void* bytes, std::int32_t length);
// As AllocateAndSetBytes, then frees the old *target. The new copy is made first, so
// `text` may point into the old target, and on failure the old target is kept.
std::uint8_t ReallocateAndSetString(char** target, const char* text, std::int32_t length);

// ---------------------------------------------------------------- searching and cutting
// An occurrence is found scanning left to right; the scan resumes behind it, so
// occurrences never overlap. An empty pattern never occurs. Positions count from 0.
// A routine returning a new string gives null for a null argument or when the copy
// cannot be allocated.

// The number of occurrences; -1 when an argument is null.
std::int32_t CountSubString(const char* text, const char* pattern);
// The position of the first occurrence, 0 when there is none; -1 when an argument is null.
std::int32_t IndexOfSubString(const char* text, const char* pattern);
// The position of the last occurrence; -1 when there is none or an argument is null.
std::int32_t LastIndexOfSubString(const char* text, const char* pattern);
// New string: the text before the first occurrence (empty when the pattern is absent).
char* GetTextBefore(const char* text, const char* pattern);
// New string: the text after the first occurrence; with the pattern absent, the text
// without its first pattern-length characters (empty when the text is not that long).
char* GetTextAfter(const char* text, const char* pattern);
// New null-terminated array of n + 1 new strings (n = CountSubString): the pieces between
// the occurrences and the final remainder. Free each string, then the array.
char** SplitString(const char* text, const char* pattern);
// The text behind the last occurrence as a new string; with no occurrence, `text` itself
// (not a copy): free the result only when it differs from `text`.
char* GetTextAfterLast(const char* text, const char* pattern);
// New strings: the text without every / the first / the last occurrence. The last two
// give null when the pattern does not occur.
char* RemoveSubStrings(const char* text, const char* pattern);
char* RemoveFirstSubString(const char* text, const char* pattern);
char* RemoveLastSubString(const char* text, const char* pattern);
// New strings of the ASCII letters / letters and digits / all other characters, in order.
char* KeepLetters(const char* text);
char* KeepLettersAndDigits(const char* text);
char* RemoveLettersAndDigits(const char* text);
// New strings without the leading / trailing / both runs of `character`; null when the
// text is empty or consists only of that character.
char* TrimLeadingChar(const char* text, char character);
char* TrimTrailingChar(const char* text, char character);
char* TrimChar(const char* text, char character);
// Re-entrant tokenizer: starts at `text`, or with null text continues at *cursor. Skips
// delimiters, cuts the token by overwriting the delimiter behind it with a NUL and sets
// *cursor behind it (null when the token ends the string). Null at the end, or when
// the delimiter set or the cursor is null.
char* NextToken(char* text, const char* delimiters, char** cursor);
// Pointer into `text` at the first match of `pattern` (an empty pattern matches at the
// start); null when the pattern is longer than the text, absent, or an argument null.
const char* SubString(const char* text, const char* pattern);
// 1 when SubString would find the pattern, else 0.
std::uint8_t FindSubString(const char* text, const char* pattern);
// The position of `character` within the first `length` bytes of the buffer; -1 when
// absent, when length is 0 or below or the text is null.
std::int32_t GetIndex(const char* text, std::int32_t length, char character);
// 1 when one of the comma-separated items of the first `listLength` bytes of `list` has
// exactly the candidate's bytes (blanks around commas belong to the items); else 0.
std::uint8_t IsStringMatched(const char* list, std::int32_t listLength, const char* candidate,
                             std::int32_t candidateLength);

// ---------------------------------------------------------------- byte buffers

// Splits the first `length` bytes at every `separator` into new zero-terminated pieces
// (empty pieces kept). Returns the piece array; *lengths receives a new array of their
// lengths and *count their number. Release with FreeStringArray(pieces, count) and
// free(*lengths). Null, with the outputs untouched, on allocation failure, a null
// argument, or more pieces than a 16-bit count holds.
char** SplitBuffer(const char* data, std::int32_t length, char separator, std::int32_t** lengths,
                   std::uint16_t* count);
// The number of `byte` in the first `length` bytes; saturates at 65535.
std::uint16_t CountByte(const void* data, std::int32_t length, std::uint8_t byte);
// Frees the first `count` strings of the array, then the array.
void FreeStringArray(char** array, std::int32_t count);
// Signed big-endian integer of 1 to 4 bytes (shorter inputs sign-extended); -1 when
// length is above 4 or negative or bytes is null; 0 for length 0.
std::int32_t ConvertToInteger(const std::uint8_t* bytes, std::int32_t length);
// Unsigned big-endian integer; only the last 4 bytes of a longer input count.
std::uint32_t ConvertToUnsignedInteger(const std::uint8_t* bytes, std::int32_t length);
// Reverses the first `length` bytes in place.
void ReverseBytes(void* buffer, std::int32_t length);

// ---------------------------------------------------------------- comparing
// Null sorts before any text: both null 0, only a null -1, only b null 1.

// Case-insensitive ASCII: the difference of the first differing bytes after folding A-Z.
std::int32_t CompareNoCase(const char* a, const char* b);
// Case-insensitive ASCII over at most `limit` characters: -1 or 1 at the first
// difference; 0 when the limit was reached or the strings are equal, else the longer
// string is the greater.
std::int32_t CompareNoCaseN(const char* a, const char* b, std::int32_t limit);
// The difference of the first differing bytes within `length` (as unsigned values).
std::int32_t CompareBytes(const void* a, const void* b, std::int32_t length);
// 1 when dataLength >= prefixLength and the data starts with the prefix bytes.
std::uint8_t StartsWithBytes(const void* data, std::int32_t dataLength, const void* prefix,
                             std::int32_t prefixLength);
// Case-sensitive: the difference of the first differing bytes (as unsigned values).
std::int32_t CompareStrings(const char* a, const char* b);
// The number of characters; 0 for a null text.
std::int32_t StringLength(const char* text);

// ---------------------------------------------------------------- numbers in text

// An optional "+" or "-" and decimal digits. -1 when any other character occurs, when
// the value does not fit in 32 bits or the text is null; 0 for an empty text.
std::int32_t ParseSignedInteger(const char* text);
// Digits with an optional point and fraction, as a double; 0 when a character other
// than a digit occurs (besides the one point) or the text is null.
double ParseUnsignedDecimal(const char* text);
// 1 when the first `length` characters are an optional sign and digits (length 0: 1).
std::uint8_t IsIntegerText(const char* text, std::int32_t length);
// 1 when the first `length` characters are digits with at most one point.
std::uint8_t IsDecimalText(const char* text, std::int32_t length);
// base multiplied exponent times (1 for an exponent of 0 or below); wraps on overflow.
std::int64_t IntegerPower(std::int64_t base, std::int32_t exponent);

// ---------------------------------------------------------------- bounded copies

// Copies at most size - 1 characters and terminates; returns the source length. 0 and
// nothing written when size is 0 or below or a pointer is null.
std::int32_t CopyStringBounded(char* destination, const char* source, std::int32_t size);
// Appends what fits into a destination of `size` bytes including its terminator; returns
// the length the full result would have. 0 for a null pointer or a size of 0 or below.
std::int32_t AppendStringBounded(char* destination, const char* source, std::int32_t size);

// ---------------------------------------------------------------- standard primitives
// The usual semantics; null pointers give null (or 0) instead of a crash.

// Copies the source with its terminator; null for a null argument.
char* StringCopy(char* destination, const char* source);
// Copies at most n characters, stopping after the terminator (no zero padding).
char* StringCopyN(char* destination, const char* source, std::size_t n);
char* StringAppend(char* destination, const char* source);
void* ByteCopy(void* destination, const void* source, std::size_t n);
void* ByteFill(void* destination, int value, std::size_t n);
const void* ByteFind(const void* data, int value, std::size_t n);
const char* CharFind(const char* text, int character);
std::size_t CharSpan(const char* text, const char* accept);
const char* CharBreak(const char* text, const char* accept);
std::int32_t StringCompareN(const char* a, const char* b, std::size_t n);
