// File-system redirection of 32-bit programs on 64-bit Windows: such a program sees
// SysWOW64 when it names System32 unless it switches the redirection off.
// Redirection is a per-thread setting; FsRedirectionOff changes only the calling
// thread's and must be destroyed on the thread that made it.
// Elsewhere (64-bit programs, Linux) there is no redirection and both do nothing.
#pragma once

#include "agent/platform/platform.h"

namespace platform {

// True for a 32-bit program running on 64-bit Windows.
bool IsWow64Process();

// Switches the calling thread's redirection off for the object's lifetime and back on
// when it is destroyed. Active() tells whether it was switched off.
class FsRedirectionOff {
 public:
  FsRedirectionOff();
  ~FsRedirectionOff();
  FsRedirectionOff(const FsRedirectionOff&) = delete;
  FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

  bool Active() const { return active_; }
  // The system error when switching off failed; 0 otherwise.
  ErrorCode Error() const { return error_; }

 private:
  [[maybe_unused]] void* previous_ = nullptr;
  bool active_ = false;
  ErrorCode error_ = kSuccess;
};

}  // namespace platform
