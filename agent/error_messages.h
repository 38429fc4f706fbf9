// Messages for result codes: the system's text when it has one, otherwise the agent's
// own table (update-installer codes, agent message keys, "Unknown Error. Code : %d").
// Strings returned as "new" are malloc'd and freed by the caller with free.
// All routines are safe from any thread (they only read tables and log).
#pragma once

#include <cstdint>

// The message for `code`, logged ("Error Code : ..." or "Message : ..." for 0).
// New string; never null unless memory ran out.
char* GetErrorMessage(std::uint32_t code);
// Logs the message for `code` (system text in the ANSI code page, trimmed); returns 0.
std::uint32_t LogErrorMessage(std::uint32_t code);
// Logs the message for `code` through GetErrorMessage and frees it.
void LogErrorCode(std::uint32_t code);

// The agent's own text for `code`. For a code in the table the result is a constant
// the caller must not free; for any other code it is a new string the caller frees
// ("Unknown Error. Code : %d", the code as a signed decimal), null only when memory
// ran out. `owned` (optional) tells which of the two it is.
const char* GetResultMessage(std::uint32_t code, bool* owned = nullptr);

// Converts NUL-terminated wide text to a new UTF-8 string stored in *text at once
// (the caller owns it whatever happens). False when the conversion failed (logged;
// *text then holds what was converted) or memory ran out (*text null).
bool ConvertWideToUtf8(const wchar_t* wideText, char** text);
