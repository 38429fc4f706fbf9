#include "tool/undo_procedure.h"

#include <cctype>
#include <cstdlib>

#include "agent/agent_logger.h"
#include "agent/log_writer.h"
#include "agent/platform/platform.h"
#include "agent/platform/redirection.h"
#include "agent/process_exec.h"

bool gv_is64BitMachine = false;

namespace {

constexpr const char* kServiceName = "WebClient";
constexpr const char* kEnvironmentKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kExplorerKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kSetOwnerCommand = "icacls.exe atmfd.dll /setowner \"NT SERVICE\\TrustedInstaller\"";
constexpr const char* kRestoreCommand = "icacls.exe . /restore atmfd.dll.acl";
constexpr std::uint32_t kCommandMinutes = 10;
// The architecture is read as into a 255-byte buffer; a longer value is an error.
constexpr std::uint32_t kArchitectureBytes = 255;

// A restore that reports 2 (a file it names is missing) still counts as done.
bool CommandSucceeded(std::uint32_t result) { return result == 0 || result == 2; }

// Log lines print result codes as Windows' %ld of a DWORD does: as a signed 32-bit value.
long AsLogged(std::uint32_t code) { return static_cast<long>(static_cast<std::int32_t>(code)); }

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Runs one command through execute; the message it hands back is ours to free.
std::uint32_t RunCommand(const std::string& directory, const char* commandLine) {
  char* message = nullptr;
  std::uint32_t result = execute(directory.c_str(), commandLine, &message, kCommandMinutes, 0);
  std::free(message);
  return result;
}

std::uint32_t ExecuteInSystem32(const std::string& system32) {
  if (!NeedsNativeSystem32(gv_is64BitMachine, platform::IsWow64Process())) return executeCommand(system32);
  platform::FsRedirectionOff native;
  return executeCommand(system32);
}

}  // namespace

bool NeedsNativeSystem32(bool is64BitMachine, bool isWow64Process) { return is64BitMachine && isWow64Process; }

std::uint32_t EnableService() {
  LogInfo("Inside the %s\n", "EnableService");
  platform::ServiceManager manager;
  std::uint32_t result = manager.Open();
  if (result != 0) {
    LogInfo("OpenSCManager failed (%d)\n", static_cast<int>(result));
    return result;
  }
  platform::ServiceHandle service;
  result = manager.OpenServiceForConfig(kServiceName, service);
  if (result != 0) {
    LogInfo("OpenService failed (%d)\n", static_cast<int>(result));
    return result;
  }
  result = service.SetStartType(platform::kServiceAutoStart);
  if (result == 0) {
    LogInfo("Service enabled successfully.\n");
  } else {
    LogInfo("ChangeServiceConfig failed (%d)\n", static_cast<int>(result));
  }
  service.Close();
  manager.Close();
  return result;
}

std::uint32_t FindMachineArchitecture() {
  LogInfo("Inside the %s\n", "FindMachineArchitecture");
  platform::RegistryKey key;
  std::uint32_t result = key.Open(platform::Hive::LocalMachine, kEnvironmentKey, platform::RegAccess::All);
  if (result != 0) LogError("Error while open the regkey of architecture.\n");
  std::string architecture;
  result = key.IsOpen() ? key.QueryString("PROCESSOR_ARCHITECTURE", architecture, kArchitectureBytes)
                        : platform::kInvalidHandle;
  if (result != 0) {
    LogError("Error while read the process architecture.\n");
  } else {
    LogInfo("machine Architecture is %s\n", architecture.c_str());
    gv_is64BitMachine = EqualsIgnoringCase(architecture, "AMD64");
  }
  LogInfo("End of %s\n", "FindMachineArchitecture");
  return result;
}

std::uint32_t executeCommand(const std::string& directory) {
  LogInfo("Inside the %s\n", "executeCommand");
  LogInfo("system Directory: %s\n", directory.c_str());
  platform::SetWorkingDirectory(directory);

  const std::string target = directory + "\\atmfd.dll";
  const std::string source = directory + "\\x-atmfd.dll";
  LogInfo("File Name: %s\n", source.c_str());
  LogInfo("File Name to replcae: %s\n", target.c_str());
  if (std::uint32_t error = platform::RenameFile(source, target); error != 0) {
    LogError("Error While rename the dll File: %ld\n", AsLogged(error));
  } else {
    LogInfo("Successfully renamed the file : %s\n", source.c_str());
  }

  if (RunCommand(directory, kSetOwnerCommand) != 0) {
    LogInfo("Error while execute the command: %s\n", kSetOwnerCommand);
  }
  std::uint32_t result = RunCommand(directory, kRestoreCommand);
  if (result != 0) LogInfo("Error while execute the command: %s\n", kRestoreCommand);
  LogInfo("End of %s\n", "executeCommand");
  return result;
}

std::uint32_t undoRenameATMFD() {
  LogInfo("Insied the %s\n", "undoRenameATMFD");
  FindMachineArchitecture();
  std::string windows;
  platform::WindowsDirectory(windows);  // on failure the directories become relative to the drive
  const std::string system32 = windows + "\\system32";
  const std::string sysWow64 = windows + "\\sysWOW64";
  LogInfo("System Directory : %s\n", system32.c_str());

  std::uint32_t result = 0;
  if (gv_is64BitMachine) {
    LogInfo("It is a 64 bit machine\n");
    result = ExecuteInSystem32(system32);
    if (CommandSucceeded(result)) LogInfo("Command executed successfully, System32\n");
    result = executeCommand(sysWow64);
  } else {
    LogInfo("It is not a 64 bit machine\n");
    result = ExecuteInSystem32(system32);
  }
  if (CommandSucceeded(result)) LogInfo("Command executed successfully, System32\n");
  LogInfo("End of %s\n", "undoRenameATMFD");
  return result;
}

std::uint32_t ResetIconsOnly() {
  platform::RegistryKey key;
  std::uint32_t result = key.Open(platform::Hive::CurrentUser, kExplorerKey, platform::RegAccess::All);
  if (result != 0) {
    LogError("Error while open the regkey.\n");
    return result;
  }
  result = key.SetDword("IconsOnly", 0);
  if (result != 0) {
    LogError("Error while update the registry.\n");
    return result;
  }
  LogInfo("value update in the registry, Always show icons enabled.\n");
  return 0;
}

int RunUndoProcedure() {
  StartProcessLog("vtprereqhandler.log");
  LogInfo("Undo RCE Vul\n");
  LogInfo("Enable the service: %s\n", kServiceName);
  if (EnableService() != 0) LogError("Error while enable the service\n");

  std::uint32_t result = undoRenameATMFD();
  if (!CommandSucceeded(result)) {
    LogError("error while rename the dll file : %ld\n", AsLogged(result));
  } else {
    LogInfo("successfully Renamed the atmft.dll\n");
  }

  if (ResetIconsOnly() != 0) {
    LogError("Error while Undo the workaround.\n");
  } else {
    LogInfo("undo Workarounds are applied successfully.\n");
  }
  StopLogger();
  return 0;
}
