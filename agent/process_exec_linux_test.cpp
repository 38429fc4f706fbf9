// Runs real child programs: shell scripts written by each test into its own directory.
#include "agent/process_exec.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "agent/error_messages_test.h"
#include "agent/platform/platform.h"
#include "agent/platform/test_machine.h"

namespace {

namespace fs = std::filesystem;
using vt_test::ExecuteClosing;
using vt_test::ExecuteOpening;
using vt_test::MessageFor;
using vt_test::MessageLine;
using vt_test::ReadFile;

// Polls for `done` for up to ten seconds; true once it holds.
template <typename Condition>
bool Eventually(Condition done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

class ExecuteChildTest : public vt_test::LogFixture {
 protected:
  void SetUp() override {
    LogFixture::SetUp();
    work_ = dir_ / "work";
    fs::create_directories(work_);
  }

  // Writes an executable shell script into the working directory.
  void Script(const std::string& name, const std::string& body) {
    fs::path path = work_ / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  }

  // Runs `commandLine` in the working directory with execute's own limit in minutes.
  std::uint32_t Run(const std::string& commandLine, std::string& message, std::uint32_t minutes = 1,
                    int showWindow = 0) {
    char* text = nullptr;
    std::uint32_t result = execute(work_.c_str(), commandLine.c_str(), &text, minutes, showWindow);
    message = text != nullptr ? text : "<null>";
    std::free(text);
    return result;
  }

  std::string Opening(const std::string& commandLine) const {
    return ExecuteOpening(startDirectory_, commandLine, work_.c_str());
  }
  static std::string Created(const std::string& commandLine) {
    return "[INFO] execute : Process successfully created for application " + commandLine + " \n";
  }

  fs::path work_;
};

TEST_F(ExecuteChildTest, ExitCodesPassThroughWithTheirMessages) {
  struct Case {
    std::uint32_t exitCode;
    int showWindow;
  };
  const Case cases[] = {{0, 0}, {2, 0}, {3, 1}, {87, 0}, {255, 1}};
  std::string expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exitCode);
    const std::string name = "exit_" + std::to_string(c.exitCode) + ".sh";
    Script(name, "exit " + std::to_string(c.exitCode));
    std::string message;
    EXPECT_EQ(Run(name, message, 1, c.showWindow), c.exitCode);
    EXPECT_EQ(message, MessageFor(c.exitCode));
    EXPECT_EQ(CurrentDirectory(), startDirectory_);
    expected += Opening(name) + Created(name) + MessageLine(c.exitCode) +
                "[INFO] execute : Exit code for the application : " + std::to_string(c.exitCode) + " \n" +
                ExecuteClosing(c.exitCode, name);
  }
  EXPECT_EQ(LogBody(), expected);
}

TEST_F(ExecuteChildTest, ProgramRunsInTheWorkingDirectoryWithItsArguments) {
  Script("where.sh", "pwd > where.txt\nfor a in \"$@\"; do echo \"[$a]\"; done > args.txt");
  std::string message;
  EXPECT_EQ(Run("where.sh \"two words\" plain", message), 0u);
  EXPECT_EQ(ReadFile(work_ / "where.txt"), fs::canonical(work_).string() + "\n");
  EXPECT_EQ(ReadFile(work_ / "args.txt"), "[two words]\n[plain]\n");
}

TEST_F(ExecuteChildTest, SystemProgramRunsInAWindowsWorkingDirectoryOfTheMachine) {
  platform::testing::TestMachine machine;
  machine.MakeDirectory("C:\\Work");
  machine.WriteProgram("C:\\Windows\\system32\\tool.exe", "#!/bin/sh\npwd > here.txt\nexit 5\n");
  const std::string commandLine = "tool.exe /flag";
  char* text = nullptr;

  EXPECT_EQ(execute("C:\\Work", commandLine.c_str(), &text, 10, 0), 5u);

  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), MessageFor(5));
  std::free(text);
  EXPECT_EQ(machine.ReadFile("C:\\Work\\here.txt"), fs::canonical(machine.Host("C:\\Work")).string() + "\n");
  EXPECT_EQ(CurrentDirectory(), startDirectory_);
  EXPECT_EQ(LogBody(), ExecuteOpening(startDirectory_, commandLine, "C:\\Work") + Created(commandLine) +
                           MessageLine(5) + "[INFO] execute : Exit code for the application : 5 \n" +
                           ExecuteClosing(5, commandLine));
}

TEST_F(ExecuteChildTest, RelativeWorkingDirectoryIsTakenFromTheCurrentDirectoryOnce) {
  Script("where.sh", "pwd > where.txt");
  ASSERT_EQ(platform::SetWorkingDirectory(dir_.string()), 0u);
  char* text = nullptr;
  EXPECT_EQ(execute("work", "where.sh", &text, 1, 0), 0u);
  std::free(text);
  EXPECT_EQ(ReadFile(work_ / "where.txt"), fs::canonical(work_).string() + "\n");
  EXPECT_EQ(fs::canonical(CurrentDirectory()), fs::canonical(dir_));
}

TEST_F(ExecuteChildTest, UnreadableCurrentDirectoryStartsNothing) {
  // A current directory that was deleted has no path any more.
  Script("marker.sh", "echo ran > ran.txt");
  const fs::path gone = dir_ / "gone";
  fs::create_directories(gone);
  ASSERT_EQ(platform::SetWorkingDirectory(gone.string()), 0u);
  fs::remove(gone);
  char* text = nullptr;

  std::uint32_t result = execute(work_.c_str(), "marker.sh", &text, 1, 0);

  EXPECT_NE(result, 0u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), MessageFor(result));
  std::free(text);
  EXPECT_FALSE(fs::exists(work_ / "ran.txt"));
  EXPECT_EQ(LogBody(), "[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ \n"
                       "[ERROR] execute: Failed to get the CurrentWorkingDirectory \n" +
                           MessageLine(result) + MessageLine(result));
}

TEST_F(ExecuteChildTest, TimeLimitZeroStartsTheProgramAndReturnsAtOnce) {
  // The child waits for the test to release it, so a call that waited for it would
  // run into its (long) limit instead of returning 0.
  Script("held.sh", "i=0\nwhile [ ! -e release ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
                    "echo ran > ran.txt");
  char* text = nullptr;
  std::uint32_t result = ExecuteWithLimit(work_.c_str(), "held.sh", &text, 0, 0, 20000);
  std::ofstream(work_ / "release") << "go";

  EXPECT_EQ(result, 0u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), MessageFor(0));
  std::free(text);
  EXPECT_EQ(CurrentDirectory(), startDirectory_);
  EXPECT_TRUE(Eventually([&] { return ReadFile(work_ / "ran.txt") == "ran\n"; })) << "the program never ran";
  EXPECT_EQ(LogBody(), Opening("held.sh") + Created("held.sh") + MessageLine(0) + ExecuteClosing(0, "held.sh"));
}

TEST_F(ExecuteChildTest, ProgramOutlivingItsLimitIsKilledWith258) {
  Script("sleeper.sh", "echo $$ > pid.tmp && mv pid.tmp pid\nexec sleep 30");
  char* text = nullptr;
  std::uint32_t result = ExecuteWithLimit(work_.c_str(), "sleeper.sh", &text, 3, 0, 300);

  EXPECT_EQ(result, 258u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), MessageFor(258));
  std::free(text);
  EXPECT_EQ(CurrentDirectory(), startDirectory_);
  EXPECT_EQ(LogBody(), Opening("sleeper.sh") + Created("sleeper.sh") +
                           "[INFO] execute : Terminating the Process for application sleeper.sh as time is "
                           "exceeded 3 Minutes \n" +
                           MessageLine(258) + "[INFO] execute : The process has been successfully terminated ..! \n" +
                           ExecuteClosing(258, "sleeper.sh"));

  // A surviving child would have written its id by now; a killed one is gone or a zombie.
  if (Eventually([&] { return fs::exists(work_ / "pid"); })) {
    const std::string stat = "/proc/" + std::to_string(std::stoi(ReadFile(work_ / "pid"))) + "/stat";
    EXPECT_TRUE(Eventually([&] {
      std::string state = ReadFile(stat);
      return state.empty() || state.find(") Z ") != std::string::npos;
    })) << "the child still runs: "
        << ReadFile(stat);
  }
}

TEST_F(ExecuteChildTest, LongLimitDoesNotWrapIntoAShortOne) {
  // 2^27 minutes in milliseconds is a multiple of 2^32: a 32-bit product would not wait at all.
  Script("slow_exit.sh", "sleep 0.3\nexit 7");
  std::string message;
  EXPECT_EQ(Run("slow_exit.sh", message, 134217728u), 7u);
}

TEST_F(ExecuteChildTest, ChildDoesNotHoldTheLogOpen) {
  // The test process itself holds the log open, so a leaked descriptor would show.
  const fs::path log = fs::canonical(LogPath());
  bool parentHoldsLog = false;
  for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    if (fs::read_symlink(fd.path(), ignored) == log) parentHoldsLog = true;
  }
  ASSERT_TRUE(parentHoldsLog);

  Script("fds.sh", "ls -l /proc/self/fd/ > fds.txt");
  std::string message;
  ASSERT_EQ(Run("fds.sh", message), 0u);
  const std::string fds = ReadFile(work_ / "fds.txt");
  EXPECT_NE(fds.find("fds.txt"), std::string::npos) << "the listing shows no open files:\n" << fds;
  EXPECT_EQ(fds.find(log.string()), std::string::npos) << "the child inherited the log:\n" << fds;
}

}  // namespace
