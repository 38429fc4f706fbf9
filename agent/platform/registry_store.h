// Linux only: the simulated machine's registry file, $SIMWIN_ROOT/registry.reg, read
// whole for every operation (other processes edit it) and replaced atomically on
// every change. Changes are serialised inside the process and, through a lock on the
// machine directory, between processes. Safe from any thread.
#pragma once

#include <functional>

#include "agent/platform/platform.h"
#include "agent/platform/reg_file.h"

namespace platform::sim {

// Reads the registry. A missing file (or no machine at all) is an empty registry;
// a file that cannot be read gives 5.
ErrorCode LoadRegistry(reg::Document& document);

// Reads the registry, lets `change` edit it and writes it back through a temporary
// file and a rename. `change` returns a Windows code; anything but 0 cancels the
// write and is returned. A registry that cannot be read or written gives 5 and the
// file is left as it was.
ErrorCode ChangeRegistry(const std::function<ErrorCode(reg::Document&)>& change);

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
const char* HiveName(Hive hive);

}  // namespace platform::sim
