#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent/platform/command_line.h"
#include "agent/platform/platform.h"
#include "agent/platform/test_machine.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

// Writes each argument on its own line between < and > into args.txt of its
// working directory.
constexpr const char* kPrintArgs =
    "#!/bin/sh\nfor a in \"$@\"; do printf '<%s>\\n' \"$a\"; done > args.txt\n";

Words Lines(const std::string& text) {
  Words lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool ProcessGone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  return !stat.is_open();
}

// Waits (at most about ten seconds) for a process to disappear from the system.
bool EventuallyGone(pid_t pid) {
  for (int i = 0; i < 1000 && !ProcessGone(pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ProcessGone(pid);
}

class ProcessTest : public ::testing::Test {
 protected:
  // The pid a child wrote (with "echo $$ > pid.txt") into the working directory,
  // waiting up to about ten seconds for the line to be complete.
  pid_t ChildPid() {
    const fs::path file = machine_.Host("C:\\Work\\pid.txt");
    for (int i = 0; i < 1000; ++i) {
      std::string text = fs::exists(file) ? machine_.ReadFile("C:\\Work\\pid.txt") : "";
      if (!text.empty() && text.back() == '\n') return std::stoi(text);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the child wrote no pid";
    return 0;
  }
  void SetUp() override {
    machine_.MakeDirectory("C:\\Work");
    machine_.WriteProgram("C:\\Windows\\system32\\icacls.exe", kPrintArgs);
  }
  // Runs a command line to its end; the exit code, or the start error.
  std::uint32_t Run(const std::string& commandLine, const std::string* directory) {
    Process process;
    ErrorCode started = process.Start(commandLine, directory, false);
    if (started != kSuccess) return started;
    ErrorCode error = 0;
    EXPECT_EQ(Process::WaitResult::Exited, process.Wait(30000, error)) << commandLine;
    std::uint32_t code = 12345;
    EXPECT_EQ(kSuccess, process.ExitCode(code));
    return code;
  }
  testing::TestMachine machine_;
  const std::string work_ = "C:\\Work";
};

TEST_F(ProcessTest, ExitCodesPassThrough) {
  for (std::uint32_t code : {0u, 1u, 2u, 87u, 255u}) {
    EXPECT_EQ(code, Run("/bin/sh -c \"exit " + std::to_string(code) + "\"", &work_)) << code;
  }
}

TEST_F(ProcessTest, ArgumentsReachTheChildExactly) {
  struct Case {
    const char* line;
    Words args;
  } const cases[] = {
      {"icacls.exe atmfd.dll /setowner \"NT SERVICE\\TrustedInstaller\"",
       {"<atmfd.dll>", "</setowner>", "<NT SERVICE\\TrustedInstaller>"}},
      {"icacls.exe . /restore atmfd.dll.acl", {"<.>", "</restore>", "<atmfd.dll.acl>"}},
      {"icacls.exe \"a \\\"quoted\\\" word\" \"\" x\\\\\\\"y \"tail\\\\\"",
       {"<a \"quoted\" word>", "<>", "<x\\\"y>", "<tail\\>"}},
      {"icacls.exe a\"b\"\" c d", {"<ab\" c d>"}},
      {"icacls.exe", {}},
  };
  for (const Case& c : cases) {
    fs::remove(machine_.Host("C:\\Work\\args.txt"));
    ASSERT_EQ(0u, Run(c.line, &work_)) << c.line;
    EXPECT_EQ(c.args, Lines(machine_.ReadFile("C:\\Work\\args.txt"))) << c.line;
  }
}

TEST_F(ProcessTest, QuotedArgumentsSurviveTheTrip) {
  const Words words = {"with space", "tab\there", "\"", "\\", "\\\"", "end\\\\", ""};
  std::string line = "icacls.exe";
  Words expected;
  for (const std::string& w : words) {
    line += " " + QuoteArgument(w);
    expected.push_back("<" + w + ">");
  }
  ASSERT_EQ(0u, Run(line, &work_));
  EXPECT_EQ(expected, Lines(machine_.ReadFile("C:\\Work\\args.txt")));
}

TEST_F(ProcessTest, ProgramIsLookedUpInWorkingDirectorySystem32AndPath) {
  // system32 when the working directory has no such program; names match without case.
  ASSERT_EQ(0u, Run("ICACLS.EXE one", &work_));
  EXPECT_EQ(Words{"<one>"}, Lines(machine_.ReadFile("C:\\Work\\args.txt")));
  // The working directory comes first.
  machine_.WriteProgram("C:\\Work\\icacls.exe", "#!/bin/sh\necho local > args.txt\n");
  ASSERT_EQ(0u, Run("icacls.exe two", &work_));
  EXPECT_EQ(Words{"local"}, Lines(machine_.ReadFile("C:\\Work\\args.txt")));
  // PATH last.
  EXPECT_EQ(3u, Run("sh -c \"exit 3\"", &work_));
  // The name is used as given: no ".exe" is added or dropped.
  machine_.WriteProgram("C:\\Windows\\system32\\tool.exe", "#!/bin/sh\nexit 0\n");
  EXPECT_EQ(kFileNotFound, Run("tool", &work_));
  EXPECT_EQ(kFileNotFound, Run("sh.exe -c true", &work_));
  // A path names the file itself.
  EXPECT_EQ(0u, Run("C:\\Windows\\system32\\tool.exe", &work_));
  EXPECT_EQ(kPathNotFound, Run("C:\\Nowhere\\tool.exe", &work_));
}

TEST_F(ProcessTest, WithoutWorkingDirectoryTheCurrentOneIsUsed) {
  std::string saved;
  ASSERT_EQ(kSuccess, GetWorkingDirectory(saved));
  ASSERT_EQ(kSuccess, SetWorkingDirectory("C:\\Work"));
  machine_.WriteProgram("C:\\Work\\here.exe", "#!/bin/sh\npwd > where.txt\n");
  const std::uint32_t code = Run("here.exe", nullptr);
  ASSERT_EQ(kSuccess, SetWorkingDirectory(saved));
  EXPECT_EQ(0u, code);
  EXPECT_EQ(fs::canonical(machine_.Host("C:\\Work")).string() + "\n",
            machine_.ReadFile("C:\\Work\\where.txt"));
}

TEST_F(ProcessTest, StartFailures) {
  const std::string missingDirectory = "C:\\NoSuchDir";
  struct Case {
    const char* line;
    const std::string* directory;
    ErrorCode expected;
  } const cases[] = {
      {"nosuchprogram.exe", &work_, kFileNotFound},
      {"icacls.exe x", &missingDirectory, 267},
      {"", &work_, kInvalidParameter},
      {"   ", &work_, kInvalidParameter},
  };
  for (const Case& c : cases) {
    Process process;
    EXPECT_EQ(c.expected, process.Start(c.line, c.directory, false)) << c.line;
    ErrorCode error = 0;
    EXPECT_EQ(Process::WaitResult::Failed, process.Wait(0, error));
    EXPECT_EQ(kInvalidHandle, error);
    std::uint32_t code = 0;
    EXPECT_EQ(kInvalidHandle, process.ExitCode(code));
  }
  // A file that cannot be executed.
  machine_.WriteFile("C:\\Work\\data.exe", "not a program");
  Process process;
  EXPECT_EQ(kAccessDenied, process.Start("data.exe", &work_, false));
}

TEST_F(ProcessTest, SleepingChildTimesOutAndIsTerminated) {
  Process process;
  ASSERT_EQ(kSuccess, process.Start("sh -c \"echo $$ > pid.txt; exec sleep 60\"", &work_, false));
  ErrorCode error = 0;
  EXPECT_EQ(Process::WaitResult::TimedOut, process.Wait(200, error));
  std::uint32_t code = 0;
  EXPECT_EQ(kSuccess, process.ExitCode(code));
  EXPECT_EQ(259u, code);
  const pid_t pid = ChildPid();
  EXPECT_FALSE(ProcessGone(pid));

  ASSERT_EQ(kSuccess, process.Terminate(42));
  EXPECT_EQ(Process::WaitResult::Exited, process.Wait(30000, error));
  EXPECT_EQ(kSuccess, process.ExitCode(code));
  EXPECT_EQ(42u, code);
  EXPECT_EQ(kAccessDenied, process.Terminate(1));
  process.Close();
  EXPECT_TRUE(ProcessGone(pid));
}

TEST_F(ProcessTest, KilledChildIsReapedByClose) {
  Process process;
  ASSERT_EQ(kSuccess, process.Start("sh -c \"echo $$ > pid.txt; exec sleep 60\"", &work_, false));
  const pid_t pid = ChildPid();
  ASSERT_EQ(kSuccess, process.Terminate(0));
  process.Close();  // no Wait: closing must still reap the killed child
  EXPECT_TRUE(ProcessGone(pid));
}

TEST_F(ProcessTest, ChildLeftRunningIsReapedWhenItEnds) {
  machine_.WriteFile("C:\\Work\\go", "");
  pid_t pid = 0;
  {
    Process process;
    ASSERT_EQ(kSuccess,
              process.Start("sh -c \"echo $$ > pid.txt; while [ -e go ]; do sleep 0.05; done\"",
                            &work_, false));
    ErrorCode error = 0;
    ASSERT_EQ(Process::WaitResult::TimedOut, process.Wait(100, error));
    pid = ChildPid();
  }
  EXPECT_FALSE(ProcessGone(pid)) << "the child must outlive its handle";
  fs::remove(machine_.Host("C:\\Work\\go"));
  EXPECT_TRUE(EventuallyGone(pid)) << "no zombie may stay behind";
}

TEST_F(ProcessTest, ChildInheritsNoDescriptorButTheStandardOnes) {
  std::FILE* log = OpenLogStream("C:\\Work\\agent.log", false);
  ASSERT_NE(nullptr, log);
  // Even a descriptor opened without close-on-exec stays behind.
  const std::string plain = machine_.Host("C:\\Work\\plain.txt");
  const int fd = ::open(plain.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  machine_.WriteProgram("C:\\Work\\fds.exe",
                        "#!/bin/sh\nls -l /proc/$$/fd > fds.txt\n");
  EXPECT_EQ(0u, Run("fds.exe", &work_));
  std::fclose(log);
  ::close(fd);
  const std::string listing = machine_.ReadFile("C:\\Work\\fds.txt");
  EXPECT_NE(std::string::npos, listing.find("fds.txt")) << listing;  // the listing works
  EXPECT_EQ(std::string::npos, listing.find("agent.log")) << listing;
  EXPECT_EQ(std::string::npos, listing.find("plain.txt")) << listing;
}

TEST_F(ProcessTest, StartWithoutWaitingAndMovingHandles) {
  Process first;
  ASSERT_EQ(kSuccess, first.Start("sh -c \"exit 5\"", &work_, false));
  Process second = std::move(first);
  ErrorCode error = 0;
  EXPECT_EQ(Process::WaitResult::Exited, second.Wait(30000, error));
  std::uint32_t code = 0;
  EXPECT_EQ(kSuccess, second.ExitCode(code));
  EXPECT_EQ(5u, code);
  EXPECT_EQ(kAccessDenied, second.Terminate(1));
}

}  // namespace
}  // namespace platform
