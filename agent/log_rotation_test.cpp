#include "agent/log_rotation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "agent/platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Rotated files live in logs/, the writer's own log (level 4, so every message of the
// rotation is visible) in trace/: a rotation that counts every name of its folder must
// not see the trace.
class RotationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const unsigned salt = std::random_device{}();
    root_ = fs::temp_directory_path() /
            ("rotation-" + std::to_string(salt) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "logs");
    fs::create_directories(root_ / "trace");
    InitMutex();
    ASSERT_TRUE(InitLogSettings());
    ASSERT_TRUE(SetLogSettings("trace.log", (root_ / "trace").string().c_str(), 4));
    ASSERT_TRUE(OpenLogFile(2));
  }
  void TearDown() override {
    CloseLogFile();
    FreeLogSettings();
    CloseMutex();
    fs::remove_all(root_);
  }

  std::string Dir() const { return (root_ / "logs").string(); }
  fs::path At(const std::string& name) const { return root_ / "logs" / name; }
  std::string PathOf(const std::string& name) const { return Dir() + "\\" + name; }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(At(name), std::ios::binary) << content;
  }
  std::string Read(const std::string& name) const { return ReadAll(At(name)); }
  bool Exists(const std::string& name) const { return fs::exists(At(name)); }
  // The trace so far, one message per line with the line prefix cut off.
  std::vector<std::string> Messages() const {
    std::fflush(gv_logFilePtr.load());
    std::vector<std::string> messages;
    const std::regex prefix(R"(^\[ [-0-9: ]+ \] \[ -?\d+ \] \[[A-Z]+\] )");
    for (const std::string& line : Lines(ReadAll(root_ / "trace" / "trace.log"))) {
      messages.push_back(std::regex_replace(line, prefix, ""));
    }
    return messages;
  }
  bool Logged(const std::string& message) const {
    for (const std::string& m : Messages()) {
      if (m == message) return true;
    }
    return false;
  }
  // Live file "app.log" with content "live" and copies 1..n with "copy<n>".
  void MakeGenerations(int copies) const {
    Write("app.log", "live");
    for (int n = 1; n <= copies; ++n) Write("app" + std::to_string(n) + ".log", "copy" + std::to_string(n));
  }

  fs::path root_;
};

TEST(RotatedLogNameTest, BaseIsTheNameBeforeItsFirstDotLog) {
  const struct {
    const char* directory;
    const char* fileName;
    int n;
    const char* expected;
  } cases[] = {
      {"C:\\Agent\\logs", "vtprereqhandler.log", 1, "C:\\Agent\\logs\\vtprereqhandler1.log"},
      {"C:\\Agent\\logs", "vtprereqhandler.log", 12, "C:\\Agent\\logs\\vtprereqhandler12.log"},
      {"d", "agentlog", 2, "d\\2.log"},
      {"d", "a.log.log", 3, "d\\a3.log"},
      {"d", "a.logfile", 4, "d\\a4.log"},
      {"d", "APP.LOG", 1, "d\\1.log"},  // the search for ".log" is exact
  };
  for (const auto& c : cases) {
    char* name = GetRotatedLogName(c.directory, c.fileName, c.n);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, c.expected) << c.fileName << " " << c.n;
    std::free(name);
  }
  EXPECT_EQ(GetRotatedLogName(nullptr, "a.log", 1), nullptr);
}

TEST_F(RotationTest, WorkedRotationWithFiveCopies) {
  MakeGenerations(4);
  EXPECT_EQ(RotateLoggerForEverRunningProcess(Dir().c_str(), "app.log", 5, 4), 0u);
  EXPECT_EQ(Read("app.log"), "");
  EXPECT_EQ(Read("app1.log"), "live");
  EXPECT_EQ(Read("app2.log"), "copy1");
  EXPECT_EQ(Read("app3.log"), "copy2");
  EXPECT_EQ(Read("app4.log"), "copy3");
  EXPECT_FALSE(Exists("app5.log"));

  const std::string folder = Dir() + "\\";
  EXPECT_TRUE(Logged("RotateLoggerForEverRunningProcess : cSfileName : " + folder + "app.log "));
  EXPECT_TRUE(Logged("CheckLogSizeReached : The log file size of " + folder + "app.log is given by 4 "));
  EXPECT_TRUE(Logged("CheckLogSizeReached : The size is greater than the given size ........."));
  EXPECT_TRUE(Logged(" @@@@@@@@@@@@@@@Inside RotateSpecificLogs Method @@@@@@@@@@@@@"));
  EXPECT_TRUE(Logged("RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method is : 5 "));
  EXPECT_TRUE(Logged("RotateSpecificLogs : The file " + folder + "\\app4.log was successfully deleted..:"));
  EXPECT_TRUE(Logged("RotateSpecificLogs : File copied from " + folder + "\\app3.log to  " + folder +
                     "\\app4.log . "));
  EXPECT_TRUE(Logged(" @@@@@@@@@@@@@@@ End of RotateSpecificLogs Method with error code 0 @@@@@@@@@@@@@"));
}

TEST_F(RotationTest, CopiesLeftByALargerConfigurationAreCutBackToTheKeptNumber) {
  MakeGenerations(6);
  EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "app.log", 5, 0, kRotateAndTruncate), 0u);
  EXPECT_TRUE(Logged("RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method is : 7 "));
  EXPECT_FALSE(Exists("app6.log"));
  EXPECT_EQ(Read("app5.log"), "copy5");  // beyond the kept copies: never touched
  EXPECT_EQ(Read("app4.log"), "copy3");
  EXPECT_EQ(Read("app3.log"), "copy2");
  EXPECT_EQ(Read("app2.log"), "copy1");
  EXPECT_EQ(Read("app1.log"), "live");
  EXPECT_EQ(Read("app.log"), "");
}

TEST_F(RotationTest, FirstRotationEverCopiesAndTruncates) {
  Write("app.log", "only");
  EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "app.log", 5, 0, kRotateAndTruncate), 0u);
  EXPECT_EQ(Read("app1.log"), "only");
  EXPECT_EQ(Read("app.log"), "");
  EXPECT_FALSE(Exists("app2.log"));
}

TEST_F(RotationTest, FileExactlyAtTheLimitRotatesOneByteBelowDoesNot) {
  constexpr int kLimit = 2000000;
  const struct {
    std::size_t size;
    int reached;
  } cases[] = {{kLimit, 1}, {kLimit - 1, 0}, {kLimit + 1, 1}, {0, 0}};
  for (const auto& c : cases) {
    fs::remove_all(root_ / "logs");
    fs::create_directories(root_ / "logs");
    Write("app.log", std::string(c.size, 'x'));
    EXPECT_EQ(CheckLogSizeReached(PathOf("app.log").c_str(), kLimit), c.reached) << c.size;
    EXPECT_EQ(RotateLoggerForEverRunningProcess(Dir().c_str(), "app.log", 5, kLimit), 0u);
    EXPECT_EQ(Exists("app1.log"), c.reached == 1) << c.size;
    EXPECT_EQ(fs::file_size(At("app.log")), c.reached == 1 ? 0u : c.size) << c.size;
  }
  EXPECT_TRUE(Logged("CheckLogSizeReached : The size is less the required size "));
}

TEST_F(RotationTest, SizesBeyondFourGigabytesArePrintedWhole) {
  Write("big.log", "");
  fs::resize_file(At("big.log"), 5000000000ull);  // sparse where the file system allows
  EXPECT_EQ(CheckLogSizeReached(PathOf("big.log").c_str(), 2000000), 1);
  EXPECT_TRUE(Logged("CheckLogSizeReached : The log file size of " + PathOf("big.log") + " is given by 5000000000 "));
  std::int64_t size = 0;
  EXPECT_NE(GetFileSize64(PathOf("big.log").c_str(), &size), 0);
  EXPECT_EQ(size, 5000000000ll);
}

TEST_F(RotationTest, MissingFileCountsAsEmpty) {
  EXPECT_EQ(CheckLogSizeReached(PathOf("none.log").c_str(), 0), 1);  // 0 >= 0
  EXPECT_EQ(CheckLogSizeReached(PathOf("none.log").c_str(), 1), 0);
  EXPECT_TRUE(Logged("CheckLogSizeReached : Unable to get the file handle "));
  EXPECT_TRUE(Logged("CheckLogSizeReached : Error occurred in getting the size 6 "));
  std::int64_t size = 7;
  EXPECT_EQ(GetFileSize64(PathOf("none.log").c_str(), &size), 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(GetFileSize64(nullptr, &size), 0);
}

TEST_F(RotationTest, NameWithoutDotLogRotatesIntoNumberedDotLogCopies) {
  Write("agentlog", "first");
  EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "agentlog", 5, 0, kRotateAndTruncate), 0u);
  EXPECT_EQ(Read("1.log"), "first");
  EXPECT_EQ(Read("agentlog"), "");
  Write("agentlog", "second");
  EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "agentlog", 5, 0, kRotateAndTruncate), 0u);
  EXPECT_EQ(Read("1.log"), "second");
  EXPECT_EQ(Read("2.log"), "first");
  EXPECT_EQ(Read("agentlog"), "");
}

TEST_F(RotationTest, ModeZeroMovesFilesOverTheLimitAndLeavesTheOthers) {
  Write("big.log", "0123456789");
  Write("small.log", "0123");
  Write("big1.log", "older");
  EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "big.log;small.log;;missing.log", 5, 5, kRotateIfOverLimit), 0u);
  EXPECT_FALSE(Exists("big.log"));
  EXPECT_EQ(Read("big1.log"), "0123456789");
  EXPECT_EQ(Read("big2.log"), "older");
  EXPECT_EQ(Read("small.log"), "0123");
  EXPECT_FALSE(Exists("small1.log"));
  EXPECT_TRUE(Logged("RotateSpecificLogs : Sucessfully got the " + PathOf("big.log") + " File size = 10 "));
  EXPECT_TRUE(Logged("RotateSpecificLogs : File successfully copied from " + PathOf("big.log") + " to  " +
                     PathOf("big1.log") + " . "));
  EXPECT_TRUE(Logged("RotateSpecificLogs : The file " + PathOf("big.log") + " was successfully deleted..:"));
  EXPECT_TRUE(Logged("RotateSpecificLogs : hFile is NULL or not AVAILABLE (Errorcode : 2) for the file name " +
                     PathOf("missing.log") + " . "));
}

TEST_F(RotationTest, ModeZeroSkipsAFileHeldWithoutSharing) {
  Write("held.log", "0123456789");
  platform::File holder;
  ASSERT_EQ(holder.Open(PathOf("held.log"), platform::FileAccess::ReadWrite, platform::FileShare::None,
                        platform::FileDisposition::OpenExisting),
            platform::kSuccess);
  EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "held.log", 5, 1, kRotateIfOverLimit), 0u);
  holder.Close();
  EXPECT_EQ(Read("held.log"), "0123456789");
  EXPECT_FALSE(Exists("held1.log"));
  EXPECT_TRUE(Logged("RotateSpecificLogs : hFile is NULL or not AVAILABLE (Errorcode : 32) for the file name " +
                     PathOf("held.log") + " . "));
}

TEST_F(RotationTest, OtherModesRotateNothing) {
  Write("app.log", "0123456789");
  EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "app.log", 5, -1, 2), 0u);
  EXPECT_EQ(Read("app.log"), "0123456789");
  EXPECT_FALSE(Exists("app1.log"));
}

// A copy that cannot be written must leave the live log as it was, in both modes.
TEST_F(RotationTest, FailedCopyKeepsTheLiveFile) {
  for (int mode : {kRotateAndTruncate, kRotateIfOverLimit}) {
    Write("app.log", "precious");
    fs::create_directories(At("app1.log"));  // a folder where copy 1 should go
    EXPECT_EQ(RotateSpecificLogs(Dir().c_str(), "app.log", 5, 1, mode), 0u);
    EXPECT_EQ(Read("app.log"), "precious") << "mode " << mode;
    EXPECT_TRUE(fs::is_directory(At("app1.log")));
    bool failureLogged = false;
    for (const std::string& m : Messages()) {
      failureLogged |= m.rfind("RotateSpecificLogs : CopyFile failed to move from " + PathOf("app.log") + " to  " +
                                   PathOf("app1.log") + " and the error code is ",
                               0) == 0;
    }
    EXPECT_TRUE(failureLogged) << "mode " << mode;
    fs::remove_all(At("app1.log"));
  }
}

TEST_F(RotationTest, RepeatedNamesCountEveryEntryStartingWithTheBase) {
  EXPECT_EQ(FindNoOfRepeatedFileNames(Dir().c_str(), "app"), -1);
  EXPECT_TRUE(Logged("FindNumberOfRepeatedFileNames : Unable to find the files/folder."));
  MakeGenerations(2);
  Write("other.log", "");
  EXPECT_EQ(FindNoOfRepeatedFileNames(Dir().c_str(), "app"), 3);
  EXPECT_TRUE(Logged("FindNoOfRepeatedFileNames : Successfully allocated szFormattedPath and the value is " + Dir() +
                     "\\app*.*  ."));
  EXPECT_TRUE(Logged("FindNoOfRepeatedFileNames : after memset of szSrcPath is  " + PathOf("app1.log") + "  ."));
  EXPECT_TRUE(Logged("@@@@@@@@@@@@End of FindNoOfRepeatedFileNames Method with return value of No of file count : 3\t  "
                     "@@@@@@@@@"));
}

// Writers keep logging while the live log is rotated again and again: every line
// must end up whole, exactly once, in the live file or one of its copies.
TEST_F(RotationTest, LinesWrittenDuringRotationAreNeitherLostNorTorn) {
  CloseLogFile();
  FreeLogSettings();
  ASSERT_TRUE(InitLogSettings());
  ASSERT_TRUE(SetLogSettings("live.log", Dir().c_str(), 1));
  // Appending, as the agent opens its log: after a truncation the next line starts
  // the emptied file.
  ASSERT_TRUE(OpenLogFile(1));

  constexpr int kWriters = 4;
  constexpr int kRotations = 8;
  constexpr int kCopies = 20;  // more than the rotations: no generation is dropped
  std::atomic<bool> rotating{true};
  std::vector<int> written(kWriters, 0);
  std::vector<std::thread> writers;
  for (int t = 0; t < kWriters; ++t) {
    writers.emplace_back([t, &rotating, &written] {
      int n = 0;
      // At least a few lines each, then on until the rotations are over.
      while (n < 50 || rotating.load()) {
        LogInfo("worker %d line %d payload-abcdefghijklmnopqrstuvwxyz\n", t, n++);
        std::this_thread::yield();
      }
      written[t] = n;
    });
  }
  for (int r = 0; r < kRotations; ++r) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    RotateSpecificLogs(Dir().c_str(), "live.log", kCopies, 0, kRotateAndTruncate);
  }
  rotating = false;
  for (std::thread& w : writers) w.join();
  CloseLogFile();

  const std::regex whole(R"(^\[ [-0-9: ]+ \] \[ -?\d+ \] \[INFO\] worker (\d) line (\d+) payload-abcdefghijklmnopqrstuvwxyz$)");
  std::map<std::pair<int, int>, int> seen;
  for (int n = 0; n <= kCopies; ++n) {
    const std::string name = n == 0 ? "live.log" : "live" + std::to_string(n) + ".log";
    if (n > kRotations) {
      EXPECT_FALSE(Exists(name)) << name;
    }
    for (const std::string& line : Lines(Read(name))) {
      if (line.find("worker") == std::string::npos && line.find("payload") == std::string::npos) continue;
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, whole)) << name << ": " << line;
      ++seen[{std::stoi(m[1]), std::stoi(m[2])}];
    }
  }
  EXPECT_TRUE(Exists("live" + std::to_string(kRotations) + ".log"));
  for (int t = 0; t < kWriters; ++t) {
    for (int n = 0; n < written[t]; ++n) {
      auto it = seen.find({t, n});
      ASSERT_TRUE(it != seen.end()) << "lost: worker " << t << " line " << n;
      EXPECT_EQ(it->second, 1) << "worker " << t << " line " << n;
    }
  }
  std::size_t total = 0;
  for (int t = 0; t < kWriters; ++t) total += static_cast<std::size_t>(written[t]);
  EXPECT_EQ(seen.size(), total);
}

}  // namespace
