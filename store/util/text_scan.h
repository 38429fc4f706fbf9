// A bounded reader of fixed-layout texts in the manner of sscanf, for the conversions:
// it reads into std::string and checked integers, so no input can overrun a buffer or
// overflow a number. It owns no memory beyond its results and keeps no state between
// calls; safe from several threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One field read by ScanText: a number (%d), a word (%s, %Ns) or a character (%c).
struct ScannedField {
  std::int32_t number = 0;
  std::string word;
  char character = 0;
};

// Reads `text` against `format` as sscanf would: "%d" (optional sign and digits, after
// blanks; a value beyond 32 bits stops the scan), "%s" and "%Ns" (a word of non-blank
// characters, at most N, after blanks), "%c" (one character), a blank (any run of
// blanks, also none) and any other character (itself). Stops at the first mismatch and
// returns the fields read until then.
std::vector<ScannedField> ScanText(std::string_view text, std::string_view format);
