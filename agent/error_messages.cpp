#include "agent/error_messages.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "agent/log_writer.h"
#include "agent/platform/platform.h"

namespace {

struct ResultText {
  std::uint32_t code;
  const char* text;
};

// Codes the system has no text for: update-installer results and the agent's own
// message keys, which the agent's server translates.
constexpr ResultText kResultTexts[] = {
    {1508, "The requested operation is successful. Changes will not be effective until the browser is rebooted."},
    {10001, "vt.db.agent.config.script.powerscript_notfound"},
    {10002, "vt.db.agent.config.run_as_admin.credentials_not_available"},
    {10003, "vt.db.agent.config.returned_zero_failure"},
    {17021, "OfficeUpdateError: Creating temp folder."},
    {17023, "OfficeUpdateError: User cancelled installation."},
    {17024, "OfficeUpdateError: Creating folder failed."},
    {17025, "OfficeUpdateError: Patch already installed."},
    {17026, "OfficeUpdateError: Patch already installed to admin installation."},
    {17027, "OfficeUpdateError: Installation source requires full file update."},
    {17028, "OfficeUpdateError: No product installed for contained patch."},
    {17029, "OfficeUpdateError: Patch failed to install."},
    {17030, "OfficeUpdateError: Invalid CIF format."},
    {17031, "OfficeUpdateError: Invalid baseline."},
    {17034, "OfficeUpdateError: Required patch does not apply to the machine."},
    {17038, "OfficeUpdateError: You do not have sufficient privileges to complete this installation for all "
            "users of the machine. Log on as administrator and then retry this installation."},
    {17044, "OfficeUpdateError: Installer was unable to run detection for this package."},
    {17048, "OfficeUpdateError : This installation requires Windows Installer 3.1 or greater."},
    {17301, "OfficeUpdateError: General Detection error"},
    {17302, "OfficeUpdateError: Applying patch."},
    {17303, "OfficeUpdateError: Extracting file."},
    {20001, "Patch update delayed since application is used by another process"},
    {0x240006, "Patch already Installed and the changes will not be effective until the system is rebooted."},
    {0x240007, "Patch already Uninstalled and the changes will not be effective until the system is rebooted."},
};

// A malloc'd, NUL-terminated copy sized to the text; null when memory ran out.
char* NewString(std::string_view text) {
  char* copy = static_cast<char*>(std::calloc(text.size() + 1, 1));
  if (copy != nullptr) std::memcpy(copy, text.data(), text.size());
  return copy;
}

// The table's text for `code` as a new string, for callers that hand it on to be freed.
char* NewResultMessage(std::uint32_t code) {
  bool owned = false;
  const char* text = GetResultMessage(code, &owned);
  if (!owned) return text == nullptr ? nullptr : NewString(text);
  return const_cast<char*>(text);
}

// Result codes are unsigned, but the log shows them as Windows tools print them: signed.
int AsSigned(std::uint32_t code) { return static_cast<int>(code); }

void LogMessageFor(std::uint32_t code, const char* message) {
  if (message == nullptr) message = "";
  if (code != 0) {
    LogError("Error Code : %d , Error Message : %s \n", AsSigned(code), message);
  } else {
    LogInfo("Message : %s \n", message);
  }
}

std::string_view TrimSpaces(std::string_view text) {
  constexpr std::string_view kSpaces = " \t\r\n\v\f";
  std::size_t first = text.find_first_not_of(kSpaces);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kSpaces);
  return text.substr(first, last - first + 1);
}

}  // namespace

const char* GetResultMessage(std::uint32_t code, bool* owned) {
  if (owned != nullptr) *owned = false;
  for (const ResultText& entry : kResultTexts) {
    if (entry.code == code) return entry.text;
  }
  std::string text = "Unknown Error. Code : " + std::to_string(AsSigned(code));
  char* message = NewString(text);
  if (owned != nullptr) *owned = message != nullptr;
  return message;
}

bool ConvertWideToUtf8(const wchar_t* wideText, char** text) {
  if (text == nullptr) return false;
  *text = nullptr;
  if (wideText == nullptr) return false;

  std::string utf8;
  platform::ErrorCode error = platform::WideToUtf8(wideText, utf8);
  // The caller owns the text whatever happens, so it gets even a partial conversion.
  *text = NewString(utf8);
  if (*text == nullptr) return false;
  if (error == platform::kSuccess) return true;

  std::string reason;
  if (!platform::SystemMessageAnsi(error, reason)) {
    char* fallback = NewResultMessage(error);
    if (fallback != nullptr) reason = fallback;
    std::free(fallback);
  }
  LogError(" Error Message: %s\n", reason.c_str());
  return false;
}

char* GetErrorMessage(std::uint32_t code) {
  char* message = nullptr;
  std::wstring wide;
  if (platform::SystemMessageWide(code, wide)) {
    // A failed conversion leaves what it converted (normally nothing) as the message.
    ConvertWideToUtf8(wide.c_str(), &message);
  } else {
    message = NewResultMessage(code);
  }
  LogMessageFor(code, message);
  return message;
}

std::uint32_t LogErrorMessage(std::uint32_t code) {
  std::string system;
  if (platform::SystemMessageAnsi(code, system)) {
    LogMessageFor(code, std::string(TrimSpaces(system)).c_str());
    return 0;
  }
  char* message = NewResultMessage(code);
  LogMessageFor(code, message);
  std::free(message);
  return 0;
}

void LogErrorCode(std::uint32_t code) { std::free(GetErrorMessage(code)); }
