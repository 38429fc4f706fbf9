// Test helper: opens the process log at trace level in a fresh temporary directory
// for the life of one object, so a test can read back the exact lines a routine wrote.
// Owns the directory and the writer's settings; removes both when destroyed.
// One capture at a time per process (the log writer is process-wide).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "agent/log_writer.h"

class LogCapture {
 public:
  LogCapture() {
    static const unsigned salt = std::random_device{}();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? info->name() : "none";
    dir_ = std::filesystem::temp_directory_path() /
           ("store-util-" + name + "-" + std::to_string(salt));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    // The lock key exists only after InitLogSettings, so it comes first.
    EXPECT_TRUE(InitLogSettings());
    EXPECT_TRUE(SetLogSettings("util.log", dir_.string().c_str(), 4));
    EXPECT_TRUE(OpenLogFile(2));
  }
  ~LogCapture() {
    CloseLogFile();
    FreeLogSettings();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // Everything written so far (every line is flushed as it is written).
  std::string Text() const {
    std::ifstream in(dir_ / "util.log", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // True when a line of the given tag carries exactly `message` (with its own "\n").
  bool Has(const std::string& tag, const std::string& message) const {
    return Text().find("] " + tag + " " + message) != std::string::npos;
  }
  // The number of such lines.
  int Count(const std::string& tag, const std::string& message) const {
    std::string text = Text();
    std::string needle = "] " + tag + " " + message;
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
  }
  bool HasTrace(const std::string& message) const { return Has("[TRACE]", message); }
  bool HasError(const std::string& message) const { return Has("[ERROR]", message); }
  bool HasDebug(const std::string& message) const { return Has("[DEBUG]", message); }

 private:
  std::filesystem::path dir_;
};
