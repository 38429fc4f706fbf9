#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "agent/platform/platform.h"
#include "agent/platform/test_machine.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAgentKey = "SOFTWARE\\Quillon\\Vantory\\VTAgent";
constexpr const char* kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

const char* const kRegistry =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; kept as it is\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantory\\VTAgent]\n"
    "\"VTAgentInstallDir\"=\"C:\\\\Agent\\\\\"\n"
    "\"VTAgentLogLevel\"=dword:00000004\n"
    "\"Blob\"=hex:de,ad,\\\n"
    "  be,ef\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\WebClient]\n"
    "\"Start\"=dword:00000004\n"
    "\"DisplayName\"=\"WebClient\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced]\n"
    "\"IconsOnly\"=dword:00000001\n";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_.WriteRegistry(kRegistry); }
  ino_t RegistryInode() const {
    struct stat st {};
    EXPECT_EQ(0, ::stat((machine_.Root() + "/registry.reg").c_str(), &st));
    return st.st_ino;
  }
  testing::TestMachine machine_;
};

TEST_F(RegistryTest, ReadsStringsDwordsAndSizes) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, "software\\quillon\\VANTORY\\VTAgent", RegAccess::Query));
  std::string dir;
  EXPECT_EQ(kSuccess, key.QueryString("vtagentinstalldir", dir));
  EXPECT_EQ("C:\\Agent\\", dir);
  std::uint32_t size = 0;
  EXPECT_EQ(kSuccess, key.QueryValueSize("VTAgentInstallDir", size));
  EXPECT_EQ(10u, size);
  EXPECT_EQ(kSuccess, key.QueryValueSize("Blob", size));
  EXPECT_EQ(4u, size);
  std::uint32_t level = 0;
  EXPECT_EQ(kSuccess, key.QueryDword("VTAgentLogLevel", level));
  EXPECT_EQ(4u, level);
}

TEST_F(RegistryTest, WrongTypesLimitsAndMissingValuesGiveWindowsCodes) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::Query));
  std::string text = "unchanged";
  std::uint32_t number = 77;
  EXPECT_EQ(kFileNotFound, key.QueryString("Missing", text));
  EXPECT_EQ(kFileNotFound, key.QueryDword("Missing", number));
  EXPECT_EQ(kFileNotFound, key.QueryValueSize("Missing", number));
  EXPECT_EQ(kInvalidData, key.QueryString("VTAgentLogLevel", text));
  EXPECT_EQ(kInvalidData, key.QueryDword("VTAgentInstallDir", number));
  EXPECT_EQ(kInvalidData, key.QueryDword("Blob", number));
  EXPECT_EQ(kMoreData, key.QueryString("VTAgentInstallDir", text, 9));  // needs 10 bytes
  EXPECT_EQ("unchanged", text);
  EXPECT_EQ(77u, number);
  EXPECT_EQ(kSuccess, key.QueryString("VTAgentInstallDir", text, 10));
  EXPECT_EQ("C:\\Agent\\", text);

  RegistryKey closed;
  EXPECT_EQ(kInvalidHandle, closed.QueryDword("VTAgentLogLevel", number));
}

TEST_F(RegistryTest, MissingKeysGiveTwoAndLeaveTheKeyClosed) {
  RegistryKey key;
  EXPECT_EQ(kFileNotFound, key.Open(Hive::LocalMachine, "SOFTWARE\\Nobody", RegAccess::Query));
  EXPECT_FALSE(key.IsOpen());
  // The same path in the other hive does not exist.
  EXPECT_EQ(kFileNotFound, key.Open(Hive::CurrentUser, kAgentKey, RegAccess::Query));
  // Parents of a written key exist, as after importing the file.
  EXPECT_EQ(kSuccess, key.Open(Hive::LocalMachine, "SOFTWARE\\Quillon", RegAccess::Query));
  EXPECT_TRUE(key.IsOpen());
}

TEST_F(RegistryTest, MissingRegistryFileIsAnEmptyRegistry) {
  fs::remove(machine_.Root() + "/registry.reg");
  RegistryKey key;
  EXPECT_EQ(kFileNotFound, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::All));
}

TEST_F(RegistryTest, EveryOpenAndQuerySeesTheFileAsItIsNow) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::Query));
  machine_.WriteRegistry(
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantory\\VTAgent]\n"
      "\"VTAgentLogLevel\"=dword:00000001\n");
  std::uint32_t level = 0;
  EXPECT_EQ(kSuccess, key.QueryDword("VTAgentLogLevel", level));
  EXPECT_EQ(1u, level);
  RegistryKey explorer;
  EXPECT_EQ(kFileNotFound, explorer.Open(Hive::CurrentUser,
                                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                                         RegAccess::All));
}

TEST_F(RegistryTest, SetDwordReplacesTheFileAndKeepsEverythingElse) {
  const ino_t before = RegistryInode();
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::CurrentUser,
                               "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                               RegAccess::All));
  ASSERT_EQ(kSuccess, key.SetDword("IconsOnly", 0));
  EXPECT_NE(before, RegistryInode()) << "the registry must be replaced, not rewritten in place";

  std::string expected = kRegistry;
  expected.replace(expected.find("\"IconsOnly\"=dword:00000001"),
                   std::string("\"IconsOnly\"=dword:00000001").size(), "\"IconsOnly\"=dword:00000000");
  EXPECT_EQ(expected, machine_.ReadRegistry());
  EXPECT_FALSE(fs::exists(machine_.Root() + "/registry.reg.new"));

  // A new value appears and reads back through a fresh key.
  ASSERT_EQ(kSuccess, key.SetDword("NewValue", 0x12345678));
  RegistryKey again;
  ASSERT_EQ(kSuccess, again.Open(Hive::CurrentUser,
                                 "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                                 RegAccess::Query));
  std::uint32_t value = 0;
  EXPECT_EQ(kSuccess, again.QueryDword("newvalue", value));
  EXPECT_EQ(0x12345678u, value);
  EXPECT_NE(std::string::npos, machine_.ReadRegistry().find("\"Blob\"=hex:de,ad,\\\n  be,ef\n"));
}

TEST_F(RegistryTest, SetDwordNeedsAllAccess) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::Query));
  EXPECT_EQ(kAccessDenied, key.SetDword("VTAgentLogLevel", 1));
  EXPECT_EQ(kRegistry, machine_.ReadRegistry());
}

// Tests run as root, so permissions cannot make the registry unwritable; a directory
// standing where the file must go can.
TEST_F(RegistryTest, UnwritableRegistryGivesFiveAndChangesNothing) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::All));
  fs::create_directory(machine_.Root() + "/registry.reg.new");
  fs::create_directory(machine_.Root() + "/registry.reg.new/busy");
  EXPECT_EQ(kAccessDenied, key.SetDword("VTAgentLogLevel", 1));
  EXPECT_EQ(kRegistry, machine_.ReadRegistry());

  fs::remove_all(machine_.Root() + "/registry.reg.new");
  fs::remove(machine_.Root() + "/registry.reg");
  fs::create_directory(machine_.Root() + "/registry.reg");
  EXPECT_EQ(kAccessDenied, key.SetDword("VTAgentLogLevel", 1));
  EXPECT_TRUE(fs::is_directory(machine_.Root() + "/registry.reg"));
  RegistryKey other;
  EXPECT_EQ(kAccessDenied, other.Open(Hive::LocalMachine, kAgentKey, RegAccess::Query));
}

TEST_F(RegistryTest, KeyRemovedByAnotherWriterIsNotRecreated) {
  RegistryKey key;
  ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::All));
  machine_.WriteRegistry("Windows Registry Editor Version 5.00\n\n");
  EXPECT_NE(kSuccess, key.SetDword("VTAgentLogLevel", 1));
  EXPECT_EQ("Windows Registry Editor Version 5.00\n\n", machine_.ReadRegistry());
}

TEST_F(RegistryTest, ConcurrentWritersLoseNoValue) {
  constexpr int kThreads = 4;
  constexpr int kWrites = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      RegistryKey key;
      ASSERT_EQ(kSuccess, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::All));
      for (int i = 0; i < kWrites; ++i)
        ASSERT_EQ(kSuccess, key.SetDword("T" + std::to_string(t) + "_" + std::to_string(i),
                                         static_cast<std::uint32_t>(i)));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(static_cast<std::uint32_t>(i),
                machine_.RegistryDword(std::string("HKEY_LOCAL_MACHINE\\") + kAgentKey,
                                       "T" + std::to_string(t) + "_" + std::to_string(i)));
}

TEST_F(RegistryTest, ServiceStartTypeIsTheStartValueOfItsKey) {
  ServiceManager manager;
  ASSERT_EQ(kSuccess, manager.Open());
  ServiceHandle service;
  ASSERT_EQ(kSuccess, manager.OpenServiceForConfig("webclient", service));
  EXPECT_TRUE(service.IsOpen());
  ASSERT_EQ(kSuccess, service.SetStartType(kServiceAutoStart));
  EXPECT_EQ(2u, machine_.RegistryDword(std::string(kServices) + "\\WebClient", "Start"));
  EXPECT_EQ("WebClient", machine_.RegistryString(std::string(kServices) + "\\WebClient", "DisplayName"));
  EXPECT_EQ(kInvalidParameter, service.SetStartType(5));
  EXPECT_EQ(2u, machine_.RegistryDword(std::string(kServices) + "\\WebClient", "Start"));
}

TEST_F(RegistryTest, MissingServiceGives1060) {
  ServiceManager manager;
  ASSERT_EQ(kSuccess, manager.Open());
  ServiceHandle service;
  EXPECT_EQ(kServiceDoesNotExist, manager.OpenServiceForConfig("NoSuchService", service));
  EXPECT_FALSE(service.IsOpen());
  // A service key without a Start value still exists; its start type is then added.
  machine_.WriteRegistry(std::string("[") + kServices + "\\Bare]\n");
  ASSERT_EQ(kSuccess, manager.OpenServiceForConfig("Bare", service));
  ASSERT_EQ(kSuccess, service.SetStartType(kServiceAutoStart));
  EXPECT_EQ(2u, machine_.RegistryDword(std::string(kServices) + "\\Bare", "Start"));
  // Removed after it was opened.
  machine_.WriteRegistry("");
  EXPECT_EQ(kServiceDoesNotExist, service.SetStartType(kServiceAutoStart));
}

TEST(ServiceManagerTest, OpensWithoutAMachineButFindsNoService) {
  testing::TestMachine machine;
  ::unsetenv("SIMWIN_ROOT");
  ServiceManager manager;
  ASSERT_EQ(kSuccess, manager.Open());
  ServiceHandle service;
  EXPECT_EQ(kServiceDoesNotExist, manager.OpenServiceForConfig("WebClient", service));
  RegistryKey key;
  EXPECT_EQ(kFileNotFound, key.Open(Hive::LocalMachine, kAgentKey, RegAccess::All));
}

}  // namespace
}  // namespace platform
