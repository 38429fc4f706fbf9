// The agent's settings in its registry key under HKEY_LOCAL_MACHINE: the installation
// directory, the log level and the event flag.
// Strings handed out (ReadRegSZ, GetAgentInstallDir) are malloc'd; the caller frees
// them with free. The readers are safe from any thread; gv_agentInstallDir and
// gv_eventEnabled are written only by the agent's start-up, before other threads run.
#pragma once

#include <cstdint>

#include "agent/platform/platform.h"

// The agent's registry key under HKEY_LOCAL_MACHINE.
inline constexpr const char kAgentRegistryKey[] = "Software\\Quillon\\Vantory\\VTAgent";

// Installation directory as stored (used as a prefix: the log folder is it + "logs");
// malloc'd, null until StartProcessLog has read it.
extern char* gv_agentInstallDir;
// Event-logging flag for agent components; 1 unless the registry says otherwise.
extern std::uint32_t gv_eventEnabled;

// Reads a DWORD value into *data and returns the Windows error (0 on success). A missing
// key or value gives 2 with a debug line; other failures are logged as errors. *data is
// written only on success.
std::uint32_t ReadDwordRegistryData(platform::Hive hive, const char* subKey, const char* valueName,
                                    std::uint32_t* data);
// Reads a string value into a new zero-filled buffer of the reported size plus 5 bytes,
// so the text is always terminated. *value is null first; it stays null when the key
// cannot be opened or the size cannot be read; after a failed read of the text it holds
// the empty buffer, which the caller frees like any other result.
std::uint32_t ReadRegSZ(platform::Hive hive, const char* subKey, const char* valueName, char** value);
// VTAgentInstallDir through ReadRegSZ.
std::uint32_t GetAgentInstallDir(char** installDir);
// Reads VTEventEnabled into *flag; 1 when it cannot be read. Always returns 0.
std::uint32_t ReadEventEnabled(std::uint32_t* flag);
