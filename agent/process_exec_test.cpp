#include "agent/process_exec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "agent/error_messages_test.h"

namespace {

using vt_test::ExecuteClosing;
using vt_test::ExecuteOpening;
using vt_test::MessageFor;
using vt_test::MessageLine;

constexpr char kMissingProgram[] = "no_such_program_q7x.exe /flag";

class ExecuteTest : public vt_test::LogFixture {
 protected:
  void TearDown() override {
    gv_shutdownInProgress = 0;
    LogFixture::TearDown();
  }
  std::string Dir(const char* name) const { return (dir_ / name).string(); }
};

TEST_F(ExecuteTest, ShutdownRefusesWithItsFixedMessageBeforeAnythingElse) {
  gv_shutdownInProgress = 1;
  const std::string before = CurrentDirectory();
  const std::string missingDir = Dir("missing");
  // The caller's old string is overwritten, not freed: it stays the caller's.
  char* previous = static_cast<char*>(std::malloc(1));
  char* message = previous;

  EXPECT_EQ(execute(missingDir.c_str(), kMissingProgram, &message, 10, 0), 1237u);

  ASSERT_NE(message, nullptr);
  EXPECT_NE(message, previous);
  EXPECT_STREQ(message, "Machine is shutdown. Installation will retried in the next reboot");
  EXPECT_EQ(CurrentDirectory(), before);
  std::free(message);
  std::free(previous);
  EXPECT_EQ(LogBody(), std::string("[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ \n") +
                           "[ERROR] execute : Shutdown is in Progress. So returning without executing the process " +
                           kMissingProgram + " .\n");
}

TEST_F(ExecuteTest, MissingProgramGivesFileNotFoundAndTheDirectoryIsRestored) {
  const std::string before = CurrentDirectory();
  const std::string workDir = dir_.string();
  const char* directories[] = {workDir.c_str(), nullptr};
  std::string expected;
  for (const char* directory : directories) {
    SCOPED_TRACE(directory != nullptr ? directory : "(no working directory)");
    char* message = nullptr;
    EXPECT_EQ(execute(directory, kMissingProgram, &message, 10, 0), 2u);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::string(message), MessageFor(2));
    EXPECT_EQ(CurrentDirectory(), before);
    std::free(message);
    expected += ExecuteOpening(before, kMissingProgram, directory) +
                "[INFO] execute : Failed to Create the Process for the application \n" + MessageLine(2) +
                ExecuteClosing(2, kMissingProgram);
  }
  EXPECT_EQ(LogBody(), expected);
}

TEST_F(ExecuteTest, MissingWorkingDirectoryGivesTheSystemErrorWithoutRemarks) {
  const std::string before = CurrentDirectory();
  const std::string missingDir = Dir("no-such-directory");
  char* message = nullptr;

  std::uint32_t result = execute(missingDir.c_str(), kMissingProgram, &message, 10, 0);

  EXPECT_NE(result, 0u);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(std::string(message), MessageFor(result));
  EXPECT_EQ(CurrentDirectory(), before);
  std::free(message);
  // LogErrorCode and the out message each log the error once; the failure line ends
  // with a space after its line feed.
  EXPECT_EQ(LogBody(), ExecuteOpening(before, kMissingProgram, missingDir.c_str()) +
                           "[ERROR] execute : Failed to set the WorkingDirectory " + missingDir + " \n " +
                           MessageLine(result) + MessageLine(result));
}

TEST_F(ExecuteTest, NoCommandLineStartsNothingAndLeavesTheDirectoryAlone) {
  const std::string before = CurrentDirectory();
  const std::string workDir = dir_.string();
  struct Case {
    const char* directory;
    const char* commandLine;
  };
  const Case cases[] = {{workDir.c_str(), nullptr}, {workDir.c_str(), ""}, {nullptr, nullptr}};
  std::string expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine == nullptr ? "(null)" : "(empty)");
    char* message = nullptr;
    EXPECT_EQ(execute(c.directory, c.commandLine, &message, 10, 0), 87u);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(std::string(message), MessageFor(87));
    EXPECT_EQ(CurrentDirectory(), before);
    std::free(message);
    expected += "[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ \n"
                "[ERROR] execute : No command line given, nothing is executed.\n" +
                MessageLine(87);
  }
  EXPECT_EQ(LogBody(), expected);
}

TEST_F(ExecuteTest, WithoutAnOutVariableTheMessageIsNotLeaked) {
  // Under the leak checker this fails if the message were dropped instead of freed.
  EXPECT_EQ(execute(nullptr, kMissingProgram, nullptr, 1, 0), 2u);
  gv_shutdownInProgress = 1;
  EXPECT_EQ(execute(nullptr, kMissingProgram, nullptr, 1, 0), 1237u);
}

}  // namespace
