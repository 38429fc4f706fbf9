// Linux only: the simulated Windows machine behind the platform layer. A machine is a
// directory named by SIMWIN_ROOT: drive C: is $SIMWIN_ROOT/C, the registry is
// $SIMWIN_ROOT/registry.reg. Path components are matched without regard to case when
// the exact name does not exist, as on Windows.
#pragma once

#include <string>

namespace platform::sim {

// $SIMWIN_ROOT without a trailing slash; empty when unset.
std::string Root();
// "C:\\Agent\\logs\\x.log" -> "$SIMWIN_ROOT/C/Agent/logs/x.log"; a path without a drive
// letter keeps its place, with backslashes turned into slashes.
std::string ToHost(const std::string& windowsPath);
// The reverse for a host path inside the machine ("$SIMWIN_ROOT/C/Windows" ->
// "C:\\Windows"); any other path comes back unchanged.
std::string ToWindows(const std::string& hostPath);
// The registry file of the machine.
std::string RegistryFile();

}  // namespace platform::sim
