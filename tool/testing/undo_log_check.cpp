// Tests only: judges a log of the undo tool against a scenario's expectations, for the
// Wine run of the Windows build.
//   undo_log_check --list                      scenario names, one a line
//   undo_log_check --describe NAME             the scenario as shell assignments
//   undo_log_check NAME WINDOWS_DIR LOG_FILE   0 when the log holds exactly the expected
//                                              procedure lines, else 1 and both listings
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "tool/testing/undo_expectations.h"

using undo_testing::Scenario;

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (const Scenario& s : undo_testing::Scenarios()) std::cout << s.name << '\n';
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--describe") {
    const Scenario* s = undo_testing::FindScenario(argv[2]);
    if (s == nullptr) return 2;
    std::cout << "agentKey=" << s->agentKey << " serviceKey=" << s->serviceKey << " architecture=" << s->architecture
              << " driverPresent=" << s->driverPresent << " icaclsExit=" << s->icaclsExit
              << " explorerKey=" << s->explorerKey << " is64=" << undo_testing::Is64Bit(*s) << '\n';
    return 0;
  }
  if (argc != 4) {
    std::cerr << "usage: undo_log_check --list | --describe NAME | NAME WINDOWS_DIR LOG_FILE\n";
    return 2;
  }
  const Scenario* s = undo_testing::FindScenario(argv[1]);
  if (s == nullptr) return 2;
  std::ifstream in(argv[3], std::ios::binary);
  if (!in) {
    std::cerr << "no log " << argv[3] << '\n';
    return 1;
  }
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto expected = undo_testing::ExpectedProcedureLines(*s, argv[2]);
  auto actual = undo_testing::ProcedureLinesOfLog(log);
  if (expected == actual) return 0;
  std::cerr << "expected:\n";
  for (const auto& line : expected) std::cerr << "  " << line << '\n';
  std::cerr << "found:\n";
  for (const auto& line : actual) std::cerr << "  " << line << '\n';
  return 1;
}
