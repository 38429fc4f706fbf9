#include <windows.h>

#include "agent/platform/redirection.h"

namespace platform {

bool IsWow64Process() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

FsRedirectionOff::FsRedirectionOff() {
  if (!IsWow64Process()) return;
  if (::Wow64DisableWow64FsRedirection(&previous_)) {
    active_ = true;
  } else {
    error_ = ::GetLastError();
  }
}

FsRedirectionOff::~FsRedirectionOff() {
  if (active_) ::Wow64RevertWow64FsRedirection(previous_);
}

}  // namespace platform
