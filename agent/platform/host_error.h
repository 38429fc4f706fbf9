// Linux only: turns host errno values into the Windows error codes the platform layer
// reports, and answers the one question errno cannot: whether a missing path lacks its
// last component (2) or a directory on the way (3).
// Stateless; safe from any thread.
#pragma once

#include <string>

#include "agent/platform/platform.h"

namespace platform::host {

// The Windows code for `err` after an operation on `hostPath` failed. ENOENT becomes 2
// when the parent directory exists and 3 when it does not.
ErrorCode PathError(int err, const std::string& hostPath);

// The Windows code for `err` when no path is involved.
ErrorCode Error(int err);

// True when `hostPath` names an existing directory.
bool IsDirectory(const std::string& hostPath);

}  // namespace platform::host
