#include "agent/agent_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "agent/platform/test_machine.h"

namespace {

constexpr const char kKeyPath[] = "HKEY_LOCAL_MACHINE\\Software\\Quillon\\Vantory\\VTAgent";

// A machine whose agent key holds `values` (registry file lines), and a trace log at
// level 4 so every line of the readers is visible.
class AgentSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMutex();
    ASSERT_TRUE(InitLogSettings());
    ASSERT_TRUE(SetLogSettings("trace.log", "C:\\trace", 4));
    ASSERT_TRUE(OpenLogFile(2));
  }
  void TearDown() override {
    CloseLogFile();
    FreeLogSettings();
    CloseMutex();
  }
  void Registry(const std::string& values) const {
    machine_.WriteRegistry("Windows Registry Editor Version 5.00\n\n[" + std::string(kKeyPath) + "]\n" + values);
  }
  std::vector<std::string> Messages() const {
    std::fflush(gv_logFilePtr.load());
    std::vector<std::string> messages;
    const std::regex prefix(R"(^\[ [-0-9: ]+ \] \[ -?\d+ \] \[[A-Z]+\] )");
    std::stringstream in(machine_.ReadFile("C:\\trace\\trace.log"));
    for (std::string line; std::getline(in, line);) messages.push_back(std::regex_replace(line, prefix, ""));
    return messages;
  }
  bool Logged(const std::string& tagged) const {
    std::fflush(gv_logFilePtr.load());
    return machine_.ReadFile("C:\\trace\\trace.log").find(tagged) != std::string::npos;
  }

  platform::testing::TestMachine machine_;
};

TEST_F(AgentSettingsTest, DwordReaderResults) {
  const struct {
    const char* registry;  // the key's value lines; null: no key at all
    const char* value;
    std::uint32_t result;
    std::uint32_t data;  // what the caller's DWORD holds afterwards (it starts at 77)
    const char* line;    // the tagged line written, or null
  } cases[] = {
      {"\"VTAgentLogLevel\"=dword:00000104\n", "VTAgentLogLevel", 0, 0x104, nullptr},
      {nullptr, "VTAgentLogLevel", 2, 77, "[DEBUG] ReadDwordRegistryData:  value  VTAgentLogLevel Not found: 2 \n"},
      {"\"Other\"=dword:00000001\n", "VTAgentLogLevel", 2, 77,
       "[DEBUG] ReadDwordRegistryData:  value  VTAgentLogLevel Not found: 2 \n"},
      {"\"VTAgentLogLevel\"=\"three\"\n", "VTAgentLogLevel", 13, 77,
       "[ERROR] ReadDwordRegistryData: Error while reading DWORD value of VTAgentLogLevel : 13 \n"},
  };
  for (const auto& c : cases) {
    if (c.registry != nullptr) {
      Registry(c.registry);
    } else {
      machine_.WriteRegistry("Windows Registry Editor Version 5.00\n");
    }
    std::uint32_t data = 77;
    EXPECT_EQ(ReadDwordRegistryData(platform::Hive::LocalMachine, kAgentRegistryKey, c.value, &data), c.result)
        << (c.registry ? c.registry : "no key");
    EXPECT_EQ(data, c.data) << (c.registry ? c.registry : "no key");
    if (c.line != nullptr) {
      EXPECT_TRUE(Logged(c.line)) << c.line;
    }
  }
}

TEST_F(AgentSettingsTest, StringReaderHandsOutATerminatedCopy) {
  Registry("\"VTAgentInstallDir\"=\"C:\\\\Program Files\\\\Agent\\\\\"\n");
  char* dir = reinterpret_cast<char*>(1);
  ASSERT_EQ(GetAgentInstallDir(&dir), 0u);
  ASSERT_NE(dir, nullptr);
  EXPECT_STREQ(dir, "C:\\Program Files\\Agent\\");
  std::free(dir);
}

TEST_F(AgentSettingsTest, StringReaderFailures) {
  machine_.WriteRegistry("Windows Registry Editor Version 5.00\n");
  char* value = reinterpret_cast<char*>(1);
  EXPECT_EQ(ReadRegSZ(platform::Hive::LocalMachine, kAgentRegistryKey, "VTAgentInstallDir", &value), 2u);
  EXPECT_EQ(value, nullptr);
  EXPECT_TRUE(Logged("[ERROR] ReadRegSZ: Error while opening registry key Software\\Quillon\\Vantory\\VTAgent ,and "
                     "the error is  2 \n"));

  // A missing value fails at the size query: no buffer and no line.
  Registry("\"Other\"=\"x\"\n");
  const std::size_t linesBefore = Messages().size();
  value = reinterpret_cast<char*>(1);
  EXPECT_EQ(ReadRegSZ(platform::Hive::LocalMachine, kAgentRegistryKey, "VTAgentInstallDir", &value), 2u);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(Messages().size(), linesBefore);

  // A DWORD has a size but no text: the caller gets the empty buffer and the error.
  Registry("\"VTAgentInstallDir\"=dword:00000001\n");
  std::uint32_t result = ReadRegSZ(platform::Hive::LocalMachine, kAgentRegistryKey, "VTAgentInstallDir", &value);
  EXPECT_NE(result, 0u);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "");
  std::free(value);
  EXPECT_TRUE(Logged("[ERROR] ReadRegSZ: Error while reading DWORD value! " + std::to_string(result) + " \n"));
}

TEST_F(AgentSettingsTest, EventFlagFallsBackToOne) {
  const struct {
    const char* registry;
    std::uint32_t flag;
  } cases[] = {
      {"", 1},
      {"\"VTEventEnabled\"=dword:00000000\n", 0},
      {"\"VTEventEnabled\"=dword:00000005\n", 5},
      {"\"VTEventEnabled\"=\"no\"\n", 1},
  };
  for (const auto& c : cases) {
    Registry(c.registry);
    std::uint32_t flag = 9;
    EXPECT_EQ(ReadEventEnabled(&flag), 0u);
    EXPECT_EQ(flag, c.flag) << c.registry;
  }
}

}  // namespace
