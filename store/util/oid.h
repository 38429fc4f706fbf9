// Object identifiers (arrays of unsigned 32-bit sub-identifiers, text form ".1.3.6.1")
// and IPv4 addresses (four sub-identifiers, text form "10.1.2.3"): copies, comparisons
// and conversions to and from text. New arrays and texts come from VtMalloc and are freed
// by the caller with free; routines writing into a caller's buffer are given its size.
// No routine keeps state, so all are safe from several threads.
#pragma once

#include <cstdint>

// Longest text of one component that the text parsers accept.
inline constexpr std::int32_t kMaxOidComponentLength = 19;

// *target = a new array of count + 1 entries (the last 0) holding `count` sub-identifiers,
// *countOut = count; then the old *target is freed. 1; 99 with
// "Unable to allocate memory" when out of memory (the old target is then kept); 0 for a
// null pointer or a negative count.
std::uint8_t ReallocateAndSetOID(std::uint32_t** target, std::int32_t* countOut, const std::uint32_t* subIds,
                                 std::int32_t count);
// The number of "." in the first `length` characters (stopping at a NUL).
std::int32_t GetOidLength(const char* text, std::int32_t length);
// 1 when the first `length` characters start with "." and hold more than one ".".
std::uint8_t IsValidOid(const char* text, std::int32_t length);
// Compares as unsigned numbers up to the shorter length; with an equal common part the
// longer OID is greater. -1, 0 or 1.
std::int8_t CompareOid(const std::uint32_t* a, std::int32_t aCount, const std::uint32_t* b, std::int32_t bCount);
// Copies `count` sub-identifiers to the start of / from position `start` of the target.
void CopyOid(std::uint32_t* target, const std::uint32_t* source, std::int32_t count);
void SetNOid(std::uint32_t* target, const std::uint32_t* source, std::int32_t start, std::int32_t count);
// The first sub-identifier greater than `value`, or 0.
std::uint32_t GetNextSubId(std::uint32_t value, const std::uint32_t* subIds, std::int32_t count);
// New text form of an OID whose byte length (4 per sub-identifier) *length gives on
// entry; on return *length is the text's length. Null for a null pointer, a negative
// length or no memory (*length then untouched).
char* ConvertToStringFromOID(const std::uint32_t* subIds, std::int32_t* length);
// Writes the text form of `count` sub-identifiers into `out` of `outSize` bytes. 1; 0, with
// out set to "" when it has room for that, when the text does not fit or a pointer is null.
std::uint8_t ConvertToStringFromOid(const std::uint32_t* subIds, std::int32_t count, char* out,
                                    std::int32_t outSize);
// Writes sub-identifiers start .. end - 1 as decimals joined by "." (no leading dot) into
// `out` of `outSize` bytes. 1; 0 (out "" when it has room) when it does not fit or an
// argument is invalid.
std::uint8_t ConvertToIpAddressFromOid(char* out, std::int32_t outSize, const std::uint32_t* subIds,
                                       std::int32_t start, std::int32_t end);
// out[i] = sub-identifier start + i modulo 255 for i below `length`, then a zero byte
// (out holds length + 1 bytes).
void ConvertToCharArray(std::uint8_t* out, const std::uint32_t* subIds, std::int32_t start, std::int32_t length);
// One sub-identifier per character of the text, taken as a signed byte.
void CopyStringToOid(std::uint32_t* target, const char* text);
// One sub-identifier per byte, taken as unsigned.
void CopyStringToOID(std::uint32_t* target, const std::uint8_t* bytes, std::int32_t length);
// Parses an OID text (isIp 0) or an address text into a new array at *subIds and returns
// the number of components. -1 for a malformed text (no "." gives
// "Incorrect format of OID\n" or "Incorrect format of IpAddress\n"), a component longer
// than 19 characters, no memory or a null pointer; *subIds is then null. 0 when fewer
// components were read than the dots promise; the array is then still the caller's.
std::int32_t ConvertToOidOrIpFromString(std::uint32_t** subIds, const char* text, std::uint8_t isIp);
// 1 for a dotted quad of decimal components 0-255 within the first `length` characters.
std::uint8_t IsValidIPAddress(const char* text, std::int32_t length);
// Writes each byte with LogDebug in `format`, then "\n".
void PrintStream(const std::uint8_t* bytes, std::int32_t length, const char* format);
// Writes "%lu\t" per sub-identifier with LogDebug, then "\n".
void PrintOid(const std::uint32_t* subIds, std::int32_t count);
