// Linux: the system's message texts. Windows keeps one English text per error code;
// the simulated machine knows those of the codes this system meets and nothing else,
// so callers fall back to their own tables for every other code.
#include <string>

#include "agent/platform/platform.h"
#include "agent/platform/utf8.h"

namespace platform {
namespace {

constexpr ErrorCode kNoUnicodeTranslation = 1113;

struct Message {
  ErrorCode code;
  const char* text;
};

// Windows' English texts, on one line each.
constexpr Message kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {17, "The system cannot move the file to a different disk drive."},
    {18, "There are no more files."},
    {32, "The process cannot access the file because it is being used by another process."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {145, "The directory is not empty."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {997, "Overlapped I/O operation is in progress."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1060, "The specified service does not exist as an installed service."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1237, "The operation could not be completed. A retry should be performed."},
};

const char* Find(ErrorCode code) {
  for (const Message& message : kMessages)
    if (message.code == code) return message.text;
  return nullptr;
}

}  // namespace

bool SystemMessageWide(ErrorCode code, std::wstring& text) {
  const char* found = Find(code);
  if (found == nullptr) return false;
  // The table is ASCII: each byte is its own code point.
  text.assign(found, found + std::char_traits<char>::length(found));
  return true;
}

bool SystemMessageAnsi(ErrorCode code, std::string& text) {
  const char* found = Find(code);
  if (found == nullptr) return false;
  text = found;
  return true;
}

ErrorCode WideToUtf8(const wchar_t* wide, std::string& utf8) {
  if (wide == nullptr) return kInvalidParameter;
  utf8.clear();
  for (const wchar_t* p = wide; *p != L'\0'; ++p) {
    const auto cp = static_cast<std::uint32_t>(*p);
    // Surrogates are no characters in UTF-32, and nothing lies beyond U+10FFFF.
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return kNoUnicodeTranslation;
    AppendUtf8(utf8, cp);
  }
  return kSuccess;
}

}  // namespace platform
