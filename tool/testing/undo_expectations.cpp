#include "tool/testing/undo_expectations.h"

#include <cctype>
#include <sstream>

namespace undo_testing {
namespace {

constexpr const char* kSetOwnerError =
    "Error while execute the command: icacls.exe atmfd.dll /setowner \"NT SERVICE\\TrustedInstaller\"";
constexpr const char* kRestoreError = "Error while execute the command: icacls.exe . /restore atmfd.dll.acl";

std::vector<std::string> DirectoryLines(const Scenario& s, const std::string& dir) {
  std::vector<std::string> lines = {"Inside the executeCommand", "system Directory: " + dir,
                                    "File Name: " + dir + "\\x-atmfd.dll",
                                    "File Name to replcae: " + dir + "\\atmfd.dll"};
  lines.push_back(s.driverPresent ? "Successfully renamed the file : " + dir + "\\x-atmfd.dll"
                                  : "Error While rename the dll File: 2");
  if (s.icaclsExit != 0) {
    lines.push_back(kSetOwnerError);
    lines.push_back(kRestoreError);
  }
  lines.push_back("End of executeCommand");
  return lines;
}

// The starts of every text the procedure writes.
bool IsProcedureLine(const std::string& message) {
  static const char* const kStarts[] = {
      "Undo RCE Vul", "Enable the service:", "Inside the ", "OpenSCManager failed", "OpenService failed",
      "Service enabled successfully.", "ChangeServiceConfig failed", "Error while enable the service",
      "Insied the ", "Error while open the regkey", "Error while read the process architecture.",
      "machine Architecture is ", "End of ", "System Directory : ", "It is a 64 bit machine",
      "It is not a 64 bit machine", "Command executed successfully", "system Directory: ", "File Name: ",
      "File Name to replcae: ", "Error While rename the dll File: ", "Successfully renamed the file : ",
      "Error while execute the command: ", "error while rename the dll file : ",
      "successfully Renamed the atmft.dll", "Error while update the registry.", "value update in the registry",
      "Error while Undo the workaround.", "undo Workarounds are applied successfully."};
  for (const char* start : kStarts)
    if (message.rfind(start, 0) == 0) return true;
  return false;
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios = {
      {.name = "AllPresent64Bit"},
      {.name = "NoServiceKey", .serviceKey = false},
      {.name = "DriverAlreadyGone", .driverPresent = false},
      {.name = "IcaclsExits2", .icaclsExit = 2},
      {.name = "IcaclsExits5", .icaclsExit = 5},
      {.name = "Machine32Bit", .architecture = "x86"},
      {.name = "LowerCaseAmd64", .architecture = "amd64"},
      {.name = "NoAgentKey", .agentKey = false},
      {.name = "NoExplorerKey", .explorerKey = false},
  };
  return scenarios;
}

const Scenario* FindScenario(const std::string& name) {
  for (const Scenario& s : Scenarios())
    if (name == s.name) return &s;
  return nullptr;
}

bool Is64Bit(const Scenario& s) {
  std::string a = s.architecture;
  for (char& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return a == "AMD64";
}

std::vector<std::string> SystemDirectories(const Scenario& s, const std::string& windowsDirectory) {
  std::vector<std::string> dirs = {windowsDirectory + "\\system32"};
  if (Is64Bit(s)) dirs.push_back(windowsDirectory + "\\sysWOW64");
  return dirs;
}

std::vector<std::string> ExpectedProcedureLines(const Scenario& s, const std::string& windowsDirectory) {
  const bool restored = s.icaclsExit == 0 || s.icaclsExit == 2;
  std::vector<std::string> lines = {"Undo RCE Vul", "Enable the service: WebClient", "Inside the EnableService"};
  if (s.serviceKey) {
    lines.push_back("Service enabled successfully.");
  } else {
    lines.push_back("OpenService failed (1060)");
    lines.push_back("Error while enable the service");
  }
  lines.insert(lines.end(), {"Insied the undoRenameATMFD", "Inside the FindMachineArchitecture",
                             "machine Architecture is " + std::string(s.architecture),
                             "End of FindMachineArchitecture", "System Directory : " + windowsDirectory + "\\system32"});
  std::vector<std::string> dirs = SystemDirectories(s, windowsDirectory);
  lines.push_back(Is64Bit(s) ? "It is a 64 bit machine" : "It is not a 64 bit machine");
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    std::vector<std::string> more = DirectoryLines(s, dirs[i]);
    lines.insert(lines.end(), more.begin(), more.end());
    if (restored) lines.push_back("Command executed successfully, System32");
  }
  lines.push_back("End of undoRenameATMFD");
  lines.push_back(restored ? "successfully Renamed the atmft.dll"
                           : "error while rename the dll file : " + std::to_string(s.icaclsExit));
  if (s.explorerKey) {
    lines.push_back("value update in the registry, Always show icons enabled.");
    lines.push_back("undo Workarounds are applied successfully.");
  } else {
    lines.push_back("Error while open the regkey.");
    lines.push_back("Error while Undo the workaround.");
  }
  return lines;
}

std::vector<std::string> ProcedureLinesOfLog(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows text-mode streams
    if (line.rfind("[ ", 0) != 0) continue;
    // "[ time ] [ thread ] [TAG] message"
    std::size_t tag = line.find("] [", line.find("] [") + 3);
    if (tag == std::string::npos) continue;
    std::size_t message = line.find("] ", tag + 3);
    if (message == std::string::npos) continue;
    std::string text = line.substr(message + 2);
    if (IsProcedureLine(text)) lines.push_back(text);
  }
  return lines;
}

}  // namespace undo_testing
