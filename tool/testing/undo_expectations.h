// Tests only: the end-to-end scenarios of the undo tool and the log each must produce.
// Shared by the Linux end-to-end test and, through undo_log_check, by the Wine run of
// the Windows build, so both judge the program by the same expectations.
#pragma once

#include <string>
#include <vector>

namespace undo_testing {

struct Scenario {
  const char* name;
  bool agentKey = true;
  bool serviceKey = true;
  const char* architecture = "AMD64";
  bool driverPresent = true;
  int icaclsExit = 0;
  bool explorerKey = true;
};

// Every scenario the end-to-end runs cover.
const std::vector<Scenario>& Scenarios();
// Null when there is no scenario of that name.
const Scenario* FindScenario(const std::string& name);

// The architecture counts as 64-bit (AMD64 in any case).
bool Is64Bit(const Scenario& s);
// The directories the tool must process, e.g. {windows + "\\system32", ...}.
std::vector<std::string> SystemDirectories(const Scenario& s, const std::string& windowsDirectory);
// Every line the procedure itself writes, in order, without line breaks.
std::vector<std::string> ExpectedProcedureLines(const Scenario& s, const std::string& windowsDirectory);
// The procedure's own messages in a log text (other components' lines left out).
std::vector<std::string> ProcedureLinesOfLog(const std::string& log);

}  // namespace undo_testing
