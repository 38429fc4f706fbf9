#include "agent/agent_logger.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/log_writer.h"
#include "agent/platform/test_machine.h"

namespace {

constexpr const char kKeyPath[] = "HKEY_LOCAL_MACHINE\\Software\\Quillon\\Vantory\\VTAgent";
constexpr const char kLive[] = "C:\\Agent\\logs\\vtprereqhandler.log";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class AgentLoggerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    StopLogger();
    std::free(gv_agentInstallDir);
    gv_agentInstallDir = nullptr;
    gv_eventEnabled = 1;
  }
  void Registry(const std::string& values) const {
    machine_.WriteRegistry("Windows Registry Editor Version 5.00\n\n[" + std::string(kKeyPath) + "]\n" +
                           "\"VTAgentInstallDir\"=\"C:\\\\Agent\\\\\"\n" + values);
  }

  platform::testing::TestMachine machine_;
};

TEST_F(AgentLoggerTest, StartProcessLogRotatesBeforeItOpensTheLog) {
  Registry("\"VTAgentLogLevel\"=dword:00000001\n");
  const std::string previous(2000000, 'p');
  machine_.WriteFile(kLive, previous);
  machine_.WriteFile("C:\\Agent\\logs\\vtprereqhandler1.log", "generation one");

  ASSERT_EQ(StartProcessLog("vtprereqhandler.log"), 0u);
  EXPECT_STREQ(gv_agentInstallDir, "C:\\Agent\\");
  EXPECT_NE(gv_loggerTimerQueue.load(), nullptr);
  LogInfo("an information line\n");
  LogError("an error line\n");
  EXPECT_EQ(StopLogger(), 0u);
  EXPECT_EQ(gv_loggerTimerQueue.load(), nullptr);

  EXPECT_EQ(machine_.ReadFile("C:\\Agent\\logs\\vtprereqhandler1.log"), previous);
  EXPECT_EQ(machine_.ReadFile("C:\\Agent\\logs\\vtprereqhandler2.log"), "generation one");
  // The rotation ran while no log was open: its lines are dropped and the emptied live
  // file starts with the open line.
  std::vector<std::string> lines = Lines(machine_.ReadFile(kLive));
  ASSERT_EQ(lines.size(), 3u) << machine_.ReadFile(kLive);
  EXPECT_EQ(lines[0].rfind("Log open time: ", 0), 0u);
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[ [-0-9: ]+ \] \[ -?\d+ \] \[INFO\] an information line)")))
      << lines[1];
  EXPECT_EQ(lines[2].rfind("Log close time: ", 0), 0u);
}

TEST_F(AgentLoggerTest, UnreadableInstallDirectoryLeavesLoggingOff) {
  machine_.WriteRegistry("Windows Registry Editor Version 5.00\n\n[" + std::string(kKeyPath) + "]\n");
  EXPECT_EQ(StartProcessLog("vtprereqhandler.log"), 2u);
  EXPECT_EQ(gv_logFilePtr.load(), nullptr);
  EXPECT_EQ(gv_loggerTimerQueue.load(), nullptr);
  EXPECT_EQ(gv_agentInstallDir, nullptr);
  EXPECT_FALSE(machine_.Exists("C:\\Agent\\logs"));
}

TEST_F(AgentLoggerTest, LevelComesFromTheLowByteOfTheRegistryValue) {
  const struct {
    const char* value;  // VTAgentLogLevel line, empty when missing
    const char* tags;   // written of Info, Error, Debug, Trace
  } cases[] = {
      {"", "IE"},
      {"\"VTAgentLogLevel\"=dword:00000000\n", ""},
      {"\"VTAgentLogLevel\"=dword:00000100\n", ""},
      {"\"VTAgentLogLevel\"=dword:00000001\n", "I"},
      {"\"VTAgentLogLevel\"=dword:00000103\n", "IED"},
      {"\"VTAgentLogLevel\"=\"4\"\n", "IE"},
  };
  machine_.MakeDirectory("C:\\Agent\\logs");
  for (const auto& c : cases) {
    Registry(c.value);
    ASSERT_EQ(InitAgentLogger("level.log", "C:\\Agent\\logs", 2), 0u) << c.value;
    LogInfo("m\n");
    LogError("m\n");
    LogDebug("m\n");
    LogTrace("m\n");
    StopLogger();
    std::string tags;
    for (const std::string& line : Lines(machine_.ReadFile("C:\\Agent\\logs\\level.log"))) {
      if (line.find("[INFO] m") != std::string::npos) tags += 'I';
      if (line.find("[ERROR] m") != std::string::npos) tags += 'E';
      if (line.find("[DEBUG] m") != std::string::npos) tags += 'D';
      if (line.find("[TRACE] m") != std::string::npos) tags += 'T';
    }
    EXPECT_EQ(tags, c.tags) << c.value;
  }
}

TEST_F(AgentLoggerTest, InitAgentLoggerReadsTheEventFlagAndReportsFailureAs13) {
  Registry("\"VTEventEnabled\"=dword:00000000\n");
  // No "/" in the path and no C:\Missing: the folder cannot be made, the log not opened.
  EXPECT_EQ(InitAgentLogger("x.log", "C:\\Missing\\logs", 1), 13u);
  EXPECT_EQ(gv_eventEnabled, 0u);
  EXPECT_EQ(gv_logFilePtr.load(), nullptr);
}

}  // namespace
