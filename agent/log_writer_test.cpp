#include "agent/log_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent/store_root.h"

namespace fs = std::filesystem;

namespace {

// Test programs of several build configurations may run at once: keep their files apart.
std::string Unique(const std::string& stem) {
  static const unsigned salt = std::random_device{}();
  return stem + "-" + std::to_string(salt);
}

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

class LogWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(fs::temp_directory_path().generic_string()) /
           Unique(std::string("logwriter-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    CloseLogFile();
    FreeLogSettings();
    gv_storeRoot = nullptr;
    fs::remove_all(dir_);
  }
  // Configures the writer the way the store's start-up does and opens the log.
  void Open(std::uint8_t level, int mode = 1) {
    ASSERT_TRUE(InitLogSettings());
    ASSERT_TRUE(SetLogSettings("test.log", dir_.string().c_str(), level));
    ASSERT_TRUE(OpenLogFile(mode));
  }
  fs::path LogPath() const { return dir_ / "test.log"; }

  fs::path dir_;
};

TEST_F(LogWriterTest, LineCarriesTimeThreadAndTagBeforeTheMessage) {
  Open(4);
  LogInfo("hello %s %d\n", "world", 7);
  CloseLogFile();
  std::vector<std::string> lines = Lines(ReadAll(LogPath()));
  ASSERT_EQ(lines.size(), 3u);
  const std::string stamp = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3})";
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("Log open time: " + stamp))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[ )" + stamp + R"( \] \[ -?\d+ \] \[INFO\] hello world 7)")))
      << lines[1];
  EXPECT_TRUE(std::regex_match(lines[2], std::regex("Log close time: " + stamp))) << lines[2];
}

TEST_F(LogWriterTest, LevelFiltersEachCall) {
  struct Case {
    std::uint8_t level;
    const char* expected;  // tags written, in call order Info Error Debug Trace
  };
  const Case cases[] = {
      {0, ""},           {1, "I"},          {2, "IE"},         {3, "IED"},
      {4, "IEDT"},       {9, "IEDT"},
  };
  for (const Case& c : cases) {
    Open(c.level);
    LogInfo("m\n");
    LogError("m\n");
    LogDebug("m\n");
    LogTrace("m\n");
    CloseLogFile();
    FreeLogSettings();
    std::string written;
    for (const std::string& line : Lines(ReadAll(LogPath()))) {
      if (line.find("[INFO]") != std::string::npos) written += 'I';
      if (line.find("[ERROR]") != std::string::npos) written += 'E';
      if (line.find("[DEBUG]") != std::string::npos) written += 'D';
      if (line.find("[TRACE]") != std::string::npos) written += 'T';
    }
    EXPECT_EQ(written, c.expected) << "level " << int(c.level);
    fs::remove(LogPath());
  }
}

TEST_F(LogWriterTest, ClosedLogDropsEveryCall) {
  LogError("nobody hears this\n");
  Open(4);
  CloseLogFile();
  LogError("after close\n");
  EXPECT_EQ(ReadAll(LogPath()).find("after close"), std::string::npos);
}

TEST_F(LogWriterTest, WriterWithoutInitialSettingsWritesNoLines) {
  ASSERT_TRUE(SetLogSettings("test.log", dir_.string().c_str(), 4));
  ASSERT_TRUE(OpenLogFile(1));
  LogError("not written\n");
  CloseLogFile();
  std::vector<std::string> lines = Lines(ReadAll(LogPath()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("Log open time: ", 0), 0u);
  EXPECT_EQ(lines[1].rfind("Log close time: ", 0), 0u);
}

TEST_F(LogWriterTest, OpeningAnOpenLogKeepsTheFirstFile) {
  Open(4);
  fs::path other = dir_ / "other";
  ASSERT_TRUE(SetLogDirectory(other.string().c_str()));
  EXPECT_TRUE(OpenLogFile(1));
  LogInfo("still here\n");
  CloseLogFile();
  EXPECT_NE(ReadAll(LogPath()).find("gv_logFilePtr already Set"), std::string::npos);
  EXPECT_NE(ReadAll(LogPath()).find("still here"), std::string::npos);
  EXPECT_FALSE(fs::exists(other / "test.log"));
}

TEST_F(LogWriterTest, TruncateModeEmptiesAndAppendModeKeeps) {
  Open(4);
  LogInfo("first run\n");
  CloseLogFile();
  FreeLogSettings();
  Open(4, 1);
  CloseLogFile();
  FreeLogSettings();
  EXPECT_NE(ReadAll(LogPath()).find("first run"), std::string::npos);
  Open(4, 2);
  CloseLogFile();
  EXPECT_EQ(ReadAll(LogPath()).find("first run"), std::string::npos);
}

TEST_F(LogWriterTest, TruncatedLogOpenedInTruncateModeGoesOnAtItsStart) {
  Open(4, 2);
  LogInfo("%s\n", std::string(500, 'x').c_str());
  // What a rotation does to the live file while the stream stays open.
  fs::resize_file(LogPath(), 0);
  LogInfo("after truncation\n");
  CloseLogFile();
  std::string text = ReadAll(LogPath());
  EXPECT_EQ(text.find('\0'), std::string::npos) << "no hole of NUL bytes";
  EXPECT_LT(text.size(), 200u);
  EXPECT_NE(text.find("after truncation"), std::string::npos);
}

TEST_F(LogWriterTest, LogFileGoesToDirectoryThenStoreRootThenParentLogs) {
  ASSERT_TRUE(InitLogSettings());
  fs::path nested = dir_ / "a" / "b" / "logs";
  ASSERT_TRUE(SetLogDirectory(nested.generic_string().c_str()));
  ASSERT_TRUE(OpenLogFile(1));
  EXPECT_EQ(std::string(GetLogFilePath()), nested.generic_string() + "/brisel.log");
  EXPECT_TRUE(fs::exists(nested / "brisel.log"));
  CloseLogFile();
  FreeLogSettings();

  std::string root = (dir_ / "root").generic_string();
  fs::create_directories(root);
  gv_storeRoot = root.data();
  ASSERT_TRUE(InitLogSettings());
  ASSERT_TRUE(OpenLogFile(1));
  EXPECT_EQ(std::string(GetLogFilePath()), root + "/logs/brisel.log");
  EXPECT_TRUE(fs::exists(fs::path(root) / "logs" / "brisel.log"));
  CloseLogFile();
  FreeLogSettings();
  gv_storeRoot = nullptr;

  fs::path work = dir_ / "work";
  fs::create_directories(work);
  fs::path saved = fs::current_path();
  fs::current_path(work);
  ASSERT_TRUE(InitLogSettings());
  bool opened = OpenLogFile(1);
  CloseLogFile();
  fs::current_path(saved);
  EXPECT_TRUE(opened);
  EXPECT_TRUE(fs::exists(dir_ / "logs" / "brisel.log"));
}

TEST_F(LogWriterTest, UnopenableFileLeavesTheLogClosed) {
  ASSERT_TRUE(InitLogSettings());
  fs::path blocker = dir_ / "file";
  std::ofstream(blocker) << "x";
  // A directory below a plain file can never be created.
  ASSERT_TRUE(SetLogDirectory((blocker / "sub").string().c_str()));
  EXPECT_FALSE(OpenLogFile(1));
  EXPECT_EQ(gv_logFilePtr.load(), nullptr);
}

TEST_F(LogWriterTest, ThreadsWriteWholeLines) {
  Open(4);
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      std::string payload(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) LogInfo("t%d n%d %s end\n", t, i, payload.c_str());
    });
  }
  for (std::thread& th : threads) th.join();
  CloseLogFile();

  std::regex line(R"(\[ [-0-9: ]+ \] \[ -?\d+ \] \[INFO\] t(\d) n(\d+) ([a-z]+) end)");
  std::vector<int> next(kThreads, 0);
  int count = 0;
  for (const std::string& text : Lines(ReadAll(LogPath()))) {
    if (text.rfind("Log ", 0) == 0) continue;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    int t = std::stoi(m[1]);
    EXPECT_EQ(std::stoi(m[2]), next[t]++) << "lines of one thread stay in order";
    EXPECT_EQ(m[3].str(), std::string(200, static_cast<char>('a' + t)));
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(LogWriterTest, SettersRefuseAbsentValues) {
  EXPECT_FALSE(SetLogFileName(nullptr));
  EXPECT_FALSE(SetLogDirectory(nullptr));
  EXPECT_FALSE(SetLogFilePtr(nullptr));
}

TEST(CurrentTimeString, HasTheLogStampFormat) {
  char* text = GetCurrentTimeString();
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3})"))) << text;
  std::free(text);
}

TEST(CreateDirectoryTree, MakesParentsAndReportsWhatHappened) {
  fs::path base = fs::temp_directory_path() / Unique("dirtree-test");
  fs::remove_all(base);
  fs::create_directories(base);
  std::string deep = (base / "x" / "y" / "z").generic_string();
  EXPECT_EQ(CreateDirectoryTree(deep.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_EQ(CreateDirectoryTree(deep.c_str()), 1);
  std::string trailing = (base / "p" / "q").generic_string() + "//";
  EXPECT_EQ(CreateDirectoryTree(trailing.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(base / "p" / "q"));
  // No "/" to find the parent by: the missing parent is reported (ENOENT).
  EXPECT_EQ(CreateDirectoryTree("no-such-parent-dir-xyz\\child"), 2);
  EXPECT_EQ(CreateDirectoryTree(nullptr), 2);
  fs::remove_all(base);
}

}  // namespace
