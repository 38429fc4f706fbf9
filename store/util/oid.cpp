#include "store/util/oid.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "agent/log_writer.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

namespace {

void Banner(const char* name) { LogTrace("\n\t@@@@@ Inside %s() @@@@@ \n", name); }

// The first `length` characters of `text`, or fewer when a NUL comes first.
std::string_view Prefix(const char* text, std::int32_t length) {
  if (text == nullptr || length <= 0) return {};
  std::size_t n = 0;
  while (n < static_cast<std::size_t>(length) && text[n] != '\0') ++n;
  return std::string_view(text, n);
}

std::vector<std::string_view> SplitAtDots(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    std::size_t dot = text.find('.', from);
    parts.push_back(text.substr(from, dot == std::string_view::npos ? std::string_view::npos : dot - from));
    if (dot == std::string_view::npos) return parts;
    from = dot + 1;
  }
}

// How a component whose value is 0 must be written: the text parsers only look at its
// last character, the address check wants "0" characters only.
enum class ZeroRule { LastCharacter, AllZeros };

// The value of one component: ParseSignedInteger of at most 19 characters; -1 when
// empty, longer, not a number, or a zero written otherwise than the rule allows.
std::int32_t ComponentValue(std::string_view component, ZeroRule rule) {
  if (component.empty() || component.size() > static_cast<std::size_t>(kMaxOidComponentLength)) return -1;
  std::string text(component);
  std::int32_t value = ParseSignedInteger(text.c_str());
  if (value != 0) return value;
  bool zeroWritten = rule == ZeroRule::LastCharacter ? component.back() == '0'
                                                     : component.find_first_not_of('0') == std::string_view::npos;
  return zeroWritten ? 0 : -1;
}

// The decimal sub-identifiers from..to - 1 joined by ".", with a leading "." if asked.
std::string JoinSubIds(const std::uint32_t* subIds, std::int32_t from, std::int32_t to, bool leadingDot) {
  std::string text;
  for (std::int32_t i = from; i < to; ++i) {
    if (leadingDot || i > from) text += '.';
    text += std::to_string(subIds[i]);
  }
  return text;
}

// Copies `text` into `out` when it fits; otherwise leaves "" when possible. 1 or 0.
std::uint8_t WriteBounded(const std::string& text, char* out, std::int32_t outSize) {
  if (out == nullptr || outSize <= 0) return 0;
  if (text.size() >= static_cast<std::size_t>(outSize)) {
    out[0] = '\0';
    return 0;
  }
  std::memcpy(out, text.c_str(), text.size() + 1);
  return 1;
}

void Discard(std::uint32_t** subIds) {
  std::free(*subIds);
  *subIds = nullptr;
}

}  // namespace

std::uint8_t ReallocateAndSetOID(std::uint32_t** target, std::int32_t* countOut, const std::uint32_t* subIds,
                                 std::int32_t count) {
  LogTrace("\n\t@@@@@ Inside ReallocateAndSetOID() @@@@@ \n");
  if (target == nullptr || countOut == nullptr || count < 0 || (subIds == nullptr && count > 0)) return kVtFailure;
  auto* copy = static_cast<std::uint32_t*>(VtCalloc(static_cast<std::size_t>(count) + 1, sizeof(std::uint32_t)));
  if (copy == nullptr) {
    LogError("Unable to allocate memory");
    return kVtNoMemory;
  }
  if (count > 0) std::memcpy(copy, subIds, static_cast<std::size_t>(count) * sizeof(std::uint32_t));
  std::free(*target);
  *target = copy;
  *countOut = count;
  return kVtSuccess;
}

std::int32_t GetOidLength(const char* text, std::int32_t length) {
  Banner("GetOidLength");
  std::string_view part = Prefix(text, length);
  return static_cast<std::int32_t>(std::count(part.begin(), part.end(), '.'));
}

std::uint8_t IsValidOid(const char* text, std::int32_t length) {
  Banner("IsValidOid");
  std::string_view part = Prefix(text, length);
  return (!part.empty() && part.front() == '.' && std::count(part.begin(), part.end(), '.') > 1) ? 1 : 0;
}

std::int8_t CompareOid(const std::uint32_t* a, std::int32_t aCount, const std::uint32_t* b, std::int32_t bCount) {
  Banner("CompareOid");
  if (a == nullptr) aCount = 0;
  if (b == nullptr) bCount = 0;
  std::int32_t common = aCount < bCount ? aCount : bCount;
  for (std::int32_t i = 0; i < common; ++i) {
    if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
  }
  if (aCount == bCount) return 0;
  return aCount > bCount ? 1 : -1;
}

void CopyOid(std::uint32_t* target, const std::uint32_t* source, std::int32_t count) {
  Banner("CopyOid");
  if (target == nullptr || source == nullptr || count <= 0) return;
  std::memmove(target, source, static_cast<std::size_t>(count) * sizeof(std::uint32_t));
}

void SetNOid(std::uint32_t* target, const std::uint32_t* source, std::int32_t start, std::int32_t count) {
  Banner("SetNOid");
  if (target == nullptr || source == nullptr || start < 0 || count <= 0) return;
  std::memmove(target + start, source, static_cast<std::size_t>(count) * sizeof(std::uint32_t));
}

std::uint32_t GetNextSubId(std::uint32_t value, const std::uint32_t* subIds, std::int32_t count) {
  Banner("GetNextSubId");
  for (std::int32_t i = 0; subIds != nullptr && i < count; ++i) {
    if (subIds[i] > value) return subIds[i];
  }
  return 0;
}

char* ConvertToStringFromOID(const std::uint32_t* subIds, std::int32_t* length) {
  Banner("ConvertToStringFromOID");
  if (length == nullptr || *length < 0 || (subIds == nullptr && *length >= 4)) return nullptr;
  std::int32_t count = *length / 4;
  std::string text;
  for (std::int32_t i = 0; i < count; ++i) {
    LogTrace("The SubId IS %ld\n", static_cast<long>(subIds[i]));
    std::string piece = std::to_string(subIds[i]);
    LogTrace("The String rep as SubId is %s\n", piece.c_str());
    text += '.';
    text += piece;
  }
  LogTrace("The String rep as OID is %s\n", text.c_str());
  char* copy = nullptr;
  if (AllocateAndSetString(&copy, text.c_str()) != kVtSuccess) {
    LogError("Unable to allocate buffer !!! \n");
    return nullptr;
  }
  *length = static_cast<std::int32_t>(text.size());
  return copy;
}

std::uint8_t ConvertToStringFromOid(const std::uint32_t* subIds, std::int32_t count, char* out,
                                    std::int32_t outSize) {
  Banner("ConvertToStringFromOid");
  if (subIds == nullptr || count < 0) {
    WriteBounded(std::string(), out, outSize);
    return 0;
  }
  return WriteBounded(JoinSubIds(subIds, 0, count, true), out, outSize);
}

std::uint8_t ConvertToIpAddressFromOid(char* out, std::int32_t outSize, const std::uint32_t* subIds,
                                       std::int32_t start, std::int32_t end) {
  LogTrace("\n\t@@@@@ Inside ConvertToIpAddressFromOid()\t@@@@@ \n");
  if (subIds == nullptr || start < 0 || end < start) {
    WriteBounded(std::string(), out, outSize);
    return 0;
  }
  return WriteBounded(JoinSubIds(subIds, start, end, false), out, outSize);
}

void ConvertToCharArray(std::uint8_t* out, const std::uint32_t* subIds, std::int32_t start, std::int32_t length) {
  Banner("ConvertToCharArray");
  if (out == nullptr || length < 0 || start < 0 || (subIds == nullptr && length > 0)) return;
  for (std::int32_t i = 0; i < length; ++i) out[i] = static_cast<std::uint8_t>(subIds[start + i] % 255);
  out[length] = 0;
}

void CopyStringToOid(std::uint32_t* target, const char* text) {
  Banner("CopyStringToOid");
  if (target == nullptr || text == nullptr) return;
  for (std::size_t i = 0; text[i] != '\0'; ++i) {
    target[i] = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(text[i])));
  }
}

void CopyStringToOID(std::uint32_t* target, const std::uint8_t* bytes, std::int32_t length) {
  Banner("CopyStringToOID");
  if (target == nullptr || bytes == nullptr) return;
  for (std::int32_t i = 0; i < length; ++i) target[i] = bytes[i];
}

std::int32_t ConvertToOidOrIpFromString(std::uint32_t** subIds, const char* text, std::uint8_t isIp) {
  LogTrace("\n\t@@@@@ Inside ConvertToOidOrIpFromString() @@@@@ \n");
  if (subIds == nullptr) return -1;
  *subIds = nullptr;
  if (text == nullptr) return -1;
  std::string_view whole(text);
  std::size_t dots = static_cast<std::size_t>(std::count(whole.begin(), whole.end(), '.'));
  if (dots == 0) {
    LogError(isIp != 0 ? "Incorrect format of IpAddress\n" : "Incorrect format of OID\n");
    return -1;
  }
  // An OID text starts with its "." and has one component per dot; an address has one more.
  std::size_t expected = isIp != 0 ? dots + 1 : dots;
  std::vector<std::string_view> components = SplitAtDots(isIp != 0 ? whole : whole.substr(1));
  *subIds = static_cast<std::uint32_t*>(VtCalloc(expected + 1, sizeof(std::uint32_t)));
  if (*subIds == nullptr) {
    LogError("Unable to allocate buffer !!! \n");
    return -1;
  }
  std::size_t read = 0;
  for (std::string_view component : components) {
    std::int32_t value = ComponentValue(component, ZeroRule::LastCharacter);
    if (value == -1 || read > expected) {
      Discard(subIds);
      return -1;
    }
    (*subIds)[read++] = static_cast<std::uint32_t>(value);
  }
  return read == expected ? static_cast<std::int32_t>(read) : 0;
}

std::uint8_t IsValidIPAddress(const char* text, std::int32_t length) {
  Banner("IsValidIPAddress");
  LogTrace("len is %d\n", length);
  std::string_view address = Prefix(text, length);
  if (address.empty() || address.front() == '.' || address.back() == '.') return 0;
  if (address.find("..") != std::string_view::npos) return 0;
  std::vector<std::string_view> parts = SplitAtDots(address);
  if (parts.size() != 4) return 0;
  for (std::string_view part : parts) {
    std::int32_t value = ComponentValue(part, ZeroRule::AllZeros);
    if (value < 0 || value > 255) return 0;
  }
  return 1;
}

void PrintStream(const std::uint8_t* bytes, std::int32_t length, const char* format) {
  Banner("PrintStream");
  if (bytes == nullptr || format == nullptr) return;
  for (std::int32_t i = 0; i < length; ++i) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    LogDebug(format, bytes[i]);
#pragma GCC diagnostic pop
  }
  LogDebug("\n");
}

void PrintOid(const std::uint32_t* subIds, std::int32_t count) {
  Banner("PrintOid");
  for (std::int32_t i = 0; subIds != nullptr && i < count; ++i) LogDebug("%lu\t", static_cast<unsigned long>(subIds[i]));
  LogDebug("\n");
}
