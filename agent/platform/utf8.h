// UTF-8 encoding of single code points, shared by the registry text reader and the
// Linux message functions. Bytes are appended to the caller's string; nothing is
// allocated that the caller must free. Portable, stateless; safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Appends the UTF-8 bytes of `codePoint` (at most U+10FFFF; the caller rejects or
// replaces anything else, surrogates included).
void AppendUtf8(std::string& out, std::uint32_t codePoint);

}  // namespace platform
