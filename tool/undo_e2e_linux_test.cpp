// The undo tool end to end on a simulated Windows machine: the real program runs
// against a machine directory and the test reads back the registry, the files, the
// calls of the icacls.exe stand-in and the log.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "agent/platform/test_machine.h"
#include "tool/testing/undo_expectations.h"

namespace undo_testing {
void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }
}  // namespace undo_testing

namespace {

using undo_testing::Scenario;

constexpr const char* kServiceKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\WebClient";
constexpr const char* kExplorerKey =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kLog = "C:\\Agent\\logs\\vtprereqhandler.log";

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

int RunTool() {
  int status = std::system(VTPREREQHANDLER_PATH);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
  std::vector<std::string> Calls() const {
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

  std::vector<std::string> expectedCalls;
  for (const std::string& dir : undo_testing::SystemDirectories(s, "C:\\Windows")) {
    EXPECT_EQ(machine_.Exists(dir + "\\atmfd.dll"), s.driverPresent) << dir;
    EXPECT_FALSE(machine_.Exists(dir + "\\x-atmfd.dll")) << dir;
    std::string host = machine_.Host(dir);
    expectedCalls.push_back(host + "|atmfd.dll|/setowner|NT SERVICE\\TrustedInstaller");
    expectedCalls.push_back(host + "|.|/restore|atmfd.dll.acl");
  }
  if (!undo_testing::Is64Bit(s)) {
    EXPECT_EQ(machine_.Exists("C:\\Windows\\sysWOW64\\x-atmfd.dll"), s.driverPresent) << "32-bit: SysWOW64 untouched";
  }
  EXPECT_EQ(Calls(), expectedCalls);

  if (!s.agentKey) {
    EXPECT_FALSE(machine_.Exists("C:\\Agent\\logs")) << "no agent key: no log at all";
    return;
  }
  std::string log = machine_.ReadFile(kLog);
  EXPECT_EQ(undo_testing::ProcedureLinesOfLog(log), undo_testing::ExpectedProcedureLines(s, "C:\\Windows")) << log;
  EXPECT_EQ(log.rfind("Log open time: ", 0), 0u);
  EXPECT_NE(log.find("\nLog close time: "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, UndoToolEndToEnd, ::testing::ValuesIn(undo_testing::Scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST(UndoToolEndToEndLog, ASecondRunAppendsToTheSameLog) {
  platform::testing::TestMachine machine;
  machine.WriteRegistry(RegistryText(Scenario{.name = "x"}));
  machine.MakeDirectory("C:\\Agent");
  ASSERT_EQ(RunTool(), 0);
  ASSERT_EQ(RunTool(), 0);
  std::string log = machine.ReadFile(kLog);
  std::size_t runs = 0;
  for (std::size_t at = log.find("Undo RCE Vul"); at != std::string::npos; at = log.find("Undo RCE Vul", at + 1)) ++runs;
  EXPECT_EQ(runs, 2u);
}

}  // namespace
