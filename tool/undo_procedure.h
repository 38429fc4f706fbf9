// The undo procedure: takes back the three temporary mitigations (the WebClient
// service's start type, the renamed font driver with its owner and ACL, the Explorer
// value IconsOnly) and logs every step to the agent's "vtprereqhandler.log".
// Runs on one thread; it changes the process's current directory and leaves it at
// the last system directory it processed.
#pragma once

#include <cstdint>
#include <string>

// Set by FindMachineArchitecture: the machine reports PROCESSOR_ARCHITECTURE AMD64.
extern bool gv_is64BitMachine;

// The whole procedure: log start, the three steps in order, log stop. Always 0.
int RunUndoProcedure();

// 0 when the start type was changed to automatic, else the failing call's error.
std::uint32_t EnableService();
// The registry result of reading the architecture (0 on success).
std::uint32_t FindMachineArchitecture();
// The result of the last executeCommand.
std::uint32_t undoRenameATMFD();
// Renames x-atmfd.dll back in `directory` and restores owner and ACL with icacls.exe;
// returns the result of the restore command.
std::uint32_t executeCommand(const std::string& directory);
// 0 on success, else the registry error.
std::uint32_t ResetIconsOnly();

// Whether the System32 step must switch file-system redirection off so that it acts
// on the native System32: only a 32-bit program on a 64-bit machine is redirected.
bool NeedsNativeSystem32(bool is64BitMachine, bool isWow64Process);
