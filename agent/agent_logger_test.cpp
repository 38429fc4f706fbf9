#include "agent/agent_logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "agent/log_writer.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Waits for a condition the timer thread brings about; the deadline only keeps a
// broken build from hanging and says nothing about speed.
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A logger with its own short-period settings in a fresh folder. No registry is set
// up: the level falls back to 2, so the timer's information lines are written.
class LoggerTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const unsigned salt = std::random_device{}();
    dir_ = fs::temp_directory_path() /
           ("logger-" + std::to_string(salt) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    settings_.fileName = "timed.log";
    settings_.logDirectory = dir_.string();
    settings_.timerPeriod = 20;
  }
  void TearDown() override {
    StopLogger();
    fs::remove_all(dir_);
  }
  std::string Live() const { return ReadAll(dir_ / "timed.log"); }

  fs::path dir_;
  LoggerSettings settings_;
};

TEST(LoggerSettingsTest, Defaults) {
  LoggerSettings settings;
  EXPECT_EQ(settings.fileName, "computer.log");
  EXPECT_EQ(settings.copiesKept, 5);
  EXPECT_EQ(settings.sizeLimit, 2000000);
  EXPECT_EQ(settings.timerPeriod, 900000);
  EXPECT_EQ(settings.openMode, 1);
  EXPECT_TRUE(settings.createTimerQueue);
}

TEST_F(LoggerTimerTest, TimerReArmsAfterEveryCheckUntilStopped) {
  settings_.sizeLimit = 100000;
  ASSERT_EQ(StartLogger(&settings_), 0u);
  ASSERT_NE(gv_loggerTimerQueue.load(), nullptr);
  ASSERT_TRUE(Eventually([this] { return Count(Live(), "LoggerTimerRoutine : End of LoggerTimerRoutine Method") >= 2; }))
      << Live();
  EXPECT_EQ(StopLogger(), 0u);
  EXPECT_EQ(gv_loggerTimerQueue.load(), nullptr);
  EXPECT_EQ(gv_logFilePtr.load(), nullptr);

  const std::string written = Live();
  EXPECT_EQ(Count(written, "LoggerTimerRoutine : Inside LoggerTimerRoutine Method"),
            Count(written, "LoggerTimerRoutine : End of LoggerTimerRoutine Method"))
      << "stopping waits for a running check";
  EXPECT_NE(written.find("RotateLoggerForEverRunningProcess : cSfileName : " + dir_.string() + "\\timed.log "),
            std::string::npos);
  // Past the limit now: a check still running after the stop would rotate it.
  std::ofstream(dir_ / "timed.log", std::ios::app) << std::string(settings_.sizeLimit, 'x');
  std::this_thread::sleep_for(std::chrono::milliseconds(5 * settings_.timerPeriod));
  EXPECT_FALSE(fs::exists(dir_ / "timed1.log")) << "no check after the stop";
}

TEST_F(LoggerTimerTest, TimedCheckRotatesTheOpenLog) {
  settings_.sizeLimit = 1;      // the open line already passes it
  settings_.copiesKept = 1000;  // no generation is dropped while the test looks
  ASSERT_EQ(StartLogger(&settings_), 0u);
  ASSERT_TRUE(Eventually([this] { return fs::exists(dir_ / "timed1.log"); }));
  StopLogger();
  // The first check found no file; a timed one moved the opened log into the copies.
  std::string copies;
  for (int n = 1; fs::exists(dir_ / ("timed" + std::to_string(n) + ".log")); ++n) {
    copies += ReadAll(dir_ / ("timed" + std::to_string(n) + ".log"));
  }
  EXPECT_EQ(Count(copies, "Log open time: "), 1);
  EXPECT_EQ(Count(Live(), "Log close time: "), 1);
}

TEST_F(LoggerTimerTest, WithoutTimerQueueOneCheckRunsAtStart) {
  settings_.createTimerQueue = false;
  settings_.sizeLimit = 4;
  std::ofstream(dir_ / "timed.log") << "older lines";
  ASSERT_EQ(StartLogger(&settings_), 0u);
  EXPECT_EQ(gv_loggerTimerQueue.load(), nullptr);
  EXPECT_EQ(ReadAll(dir_ / "timed1.log"), "older lines");
  std::this_thread::sleep_for(std::chrono::milliseconds(5 * settings_.timerPeriod));
  StopLogger();
  EXPECT_EQ(Live().find("LoggerTimerRoutine"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "timed2.log"));
}

}  // namespace
