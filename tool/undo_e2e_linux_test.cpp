// The undo tool end to end on a simulated Windows machine: the real program runs
// against a machine directory and the test reads back the registry, the files, the
// calls of the icacls.exe stand-in and the log.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "agent/platform/test_machine.h"

namespace {

constexpr const char* kServiceKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\WebClient";
constexpr const char* kExplorerKey =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kLog = "C:\\Agent\\logs\\vtprereqhandler.log";
constexpr const char* kSetOwner = "Error while execute the command: icacls.exe atmfd.dll /setowner \"NT SERVICE\\TrustedInstaller\"";
constexpr const char* kRestore = "Error while execute the command: icacls.exe . /restore atmfd.dll.acl";

struct Scenario {
  const char* name;
  bool agentKey = true;
  bool serviceKey = true;
  const char* architecture = "AMD64";
  bool driverPresent = true;
  int icaclsExit = 0;
  bool explorerKey = true;
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

std::string RegistryText(const Scenario& s) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  if (s.agentKey) {
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantory\\VTAgent]\n"
            "\"VTAgentInstallDir\"=\"C:\\\\Agent\\\\\"\n"
            "\"VTAgentLogLevel\"=dword:00000003\n\n";
  }
  text += "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment]\n"
          "\"PROCESSOR_ARCHITECTURE\"=\"" + std::string(s.architecture) + "\"\n\n";
  if (s.serviceKey) text += "[" + std::string(kServiceKey) + "]\n\"Start\"=dword:00000004\n\n";
  if (s.explorerKey) text += "[" + std::string(kExplorerKey) + "]\n\"IconsOnly\"=dword:00000001\n\n";
  return text;
}

bool Is64(const Scenario& s) {
  std::string a = s.architecture;
  for (char& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return a == "AMD64";
}

std::vector<std::string> DirectoryLines(const Scenario& s, const std::string& dir) {
  std::vector<std::string> lines = {"Inside the executeCommand", "system Directory: " + dir,
                                    "File Name: " + dir + "\\x-atmfd.dll",
                                    "File Name to replcae: " + dir + "\\atmfd.dll"};
  if (s.driverPresent) {
    lines.push_back("Successfully renamed the file : " + dir + "\\x-atmfd.dll");
  } else {
    lines.push_back("Error While rename the dll File: 2");
  }
  if (s.icaclsExit != 0) {
    lines.push_back(kSetOwner);
    lines.push_back(kRestore);
  }
  lines.push_back("End of executeCommand");
  return lines;
}

// Every line the procedure itself writes, in order, for a scenario.
std::vector<std::string> ExpectedProcedureLines(const Scenario& s) {
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
                             "End of FindMachineArchitecture", "System Directory : C:\\Windows\\system32"});
  auto append = [&lines](const std::vector<std::string>& more) { lines.insert(lines.end(), more.begin(), more.end()); };
  if (Is64(s)) {
    lines.push_back("It is a 64 bit machine");
    append(DirectoryLines(s, "C:\\Windows\\system32"));
    if (restored) lines.push_back("Command executed successfully, System32");
    append(DirectoryLines(s, "C:\\Windows\\sysWOW64"));
  } else {
    lines.push_back("It is not a 64 bit machine");
    append(DirectoryLines(s, "C:\\Windows\\system32"));
  }
  if (restored) lines.push_back("Command executed successfully, System32");
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

// The starts of every text the procedure writes; other components' lines (execute's
// own report, the logger's) are not the procedure's and are left out of the comparison.
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

std::vector<std::string> ProcedureLinesOfLog(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
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

class UndoToolEndToEnd : public ::testing::TestWithParam<Scenario> {
 protected:
  void SetUpMachine(const Scenario& s) {
    machine_.WriteRegistry(RegistryText(s));
    machine_.MakeDirectory("C:\\Agent");
    for (const char* dir : {"C:\\Windows\\system32", "C:\\Windows\\sysWOW64"}) {
      machine_.MakeDirectory(dir);
      if (s.driverPresent) machine_.WriteFile(std::string(dir) + "\\x-atmfd.dll", std::string("driver of ") + dir);
      machine_.WriteFile(std::string(dir) + "\\atmfd.dll.acl", "acl");
    }
    std::filesystem::copy_file(ICACLS_STANDIN_PATH, machine_.Host("C:\\Windows\\system32\\icacls.exe"));
    calls_ = machine_.Root() + "/icacls-calls.txt";
    ::setenv("VT_ICACLS_LOG", calls_.c_str(), 1);
    ::setenv("VT_ICACLS_EXIT", std::to_string(s.icaclsExit).c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("VT_ICACLS_LOG");
    ::unsetenv("VT_ICACLS_EXIT");
  }
  int RunTool() {
    int status = std::system(VTPREREQHANDLER_PATH);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    std::ifstream in(calls_);
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }

  platform::testing::TestMachine machine_;
  std::string calls_;
};

TEST_P(UndoToolEndToEnd, TakesBackWhatItCanAndLogsEveryStep) {
  const Scenario& s = GetParam();
  SetUpMachine(s);
  ASSERT_EQ(RunTool(), 0);

  if (s.serviceKey) {
    EXPECT_EQ(machine_.RegistryDword(kServiceKey, "Start"), 2u);
  }
  if (s.explorerKey) {
    EXPECT_EQ(machine_.RegistryDword(kExplorerKey, "IconsOnly"), 0u);
  }

  std::vector<std::string> dirs = {"C:\\Windows\\system32"};
  if (Is64(s)) dirs.push_back("C:\\Windows\\sysWOW64");
  std::vector<std::string> expectedCalls;
  for (const std::string& dir : dirs) {
    EXPECT_EQ(machine_.Exists(dir + "\\atmfd.dll"), s.driverPresent) << dir;
    EXPECT_FALSE(machine_.Exists(dir + "\\x-atmfd.dll")) << dir;
    std::string host = machine_.Host(dir);
    expectedCalls.push_back(host + "|atmfd.dll|/setowner|NT SERVICE\\TrustedInstaller");
    expectedCalls.push_back(host + "|.|/restore|atmfd.dll.acl");
  }
  if (!Is64(s)) {
    EXPECT_EQ(machine_.Exists("C:\\Windows\\sysWOW64\\x-atmfd.dll"), s.driverPresent) << "32-bit: SysWOW64 untouched";
  }
  EXPECT_EQ(Calls(), expectedCalls);

  if (!s.agentKey) {
    EXPECT_FALSE(machine_.Exists("C:\\Agent\\logs")) << "no agent key: no log at all";
    return;
  }
  std::string log = machine_.ReadFile(kLog);
  EXPECT_EQ(ProcedureLinesOfLog(log), ExpectedProcedureLines(s)) << log;
  EXPECT_EQ(log.rfind("Log open time: ", 0), 0u);
  EXPECT_NE(log.find("\nLog close time: "), std::string::npos);
}

const Scenario kScenarios[] = {
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

INSTANTIATE_TEST_SUITE_P(Scenarios, UndoToolEndToEnd, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST(UndoToolEndToEndLog, ASecondRunAppendsToTheSameLog) {
  platform::testing::TestMachine machine;
  machine.WriteRegistry(RegistryText(Scenario{.name = "x"}));
  machine.MakeDirectory("C:\\Agent");
  ASSERT_EQ(std::system(VTPREREQHANDLER_PATH), 0);
  ASSERT_EQ(std::system(VTPREREQHANDLER_PATH), 0);
  std::string log = machine.ReadFile(kLog);
  std::size_t runs = 0;
  for (std::size_t at = log.find("Undo RCE Vul"); at != std::string::npos; at = log.find("Undo RCE Vul", at + 1)) ++runs;
  EXPECT_EQ(runs, 2u);
}

}  // namespace
