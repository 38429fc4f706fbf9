#include "agent/platform/redirection.h"

namespace platform {

// A Linux machine runs no 32-bit Windows programs: nothing is ever redirected.
bool IsWow64Process() { return false; }

FsRedirectionOff::FsRedirectionOff() = default;
FsRedirectionOff::~FsRedirectionOff() = default;

}  // namespace platform
