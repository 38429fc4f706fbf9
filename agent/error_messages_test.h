// Test support shared by the result-message and process-execution tests: a fixture with
// its own temporary directory and an open log at the trace level, whose lines can be read
// back without their time and thread prefix.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "agent/error_messages.h"
#include "agent/log_writer.h"
#include "agent/platform/platform.h"

namespace vt_test {

namespace fs = std::filesystem;

// Test programs of several build configurations may run at once: keep their files apart.
inline std::string UniqueName(const std::string& stem) {
  static const unsigned salt = std::random_device{}();
  return stem + "-" + std::to_string(salt);
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The message GetErrorMessage gives for `code`, asked with the log silenced so that
// asking does not add lines to the log under test.
inline std::string MessageFor(std::uint32_t code) {
  std::uint8_t level = gv_logLevel.exchange(0);
  char* message = GetErrorMessage(code);
  gv_logLevel = level;
  std::string text = message != nullptr ? message : "<null>";
  std::free(message);
  return text;
}

// The line GetErrorMessage writes for `code`, as LogBody shows it.
inline std::string MessageLine(std::uint32_t code) {
  if (code == 0) return "[INFO] Message : " + MessageFor(0) + " \n";
  return "[ERROR] Error Code : " + std::to_string(static_cast<int>(code)) +
         " , Error Message : " + MessageFor(code) + " \n";
}

// What execute logs on its way in (the directory lines only with a working directory).
inline std::string ExecuteOpening(const std::string& savedDirectory, const std::string& commandLine,
                                  const char* workingDirectory) {
  std::string lines = "[DEBUG] @@@@@@@@ Inside execute Method @@@@@@@@ \n";
  if (workingDirectory == nullptr) return lines;
  return lines + "[INFO] execute : Current Working Directory : " + savedDirectory + " \n" +
         "[INFO] execute : Executing Application Source : " + commandLine + " \n" +
         "[INFO] execute : Set Working Directory : " + workingDirectory + " \n";
}

// What execute logs on its way out after a program was (or could not be) started.
inline std::string ExecuteClosing(std::uint32_t code, const std::string& commandLine) {
  return "[INFO] execute : Remarks from the CreateProcess is " + MessageFor(code) + " for the executable " +
         commandLine + " \n" + "[DEBUG] @@@@@@@@ End Of execute Method @@@@@@@@ \n";
}

// The length of a line prefix "[ YYYY-MM-DD hh:mm:ss:mmm ] [ thread ] " at `at`, else 0.
inline std::size_t PrefixLength(const std::string& text, std::size_t at) {
  const std::string stamp = "[ dddd-dd-dd dd:dd:dd:ddd ] [ ";
  if (text.size() < at + stamp.size()) return 0;
  for (std::size_t i = 0; i < stamp.size(); ++i) {
    char c = text[at + i];
    if (stamp[i] == 'd' ? (c < '0' || c > '9') : c != stamp[i]) return 0;
  }
  std::size_t end = at + stamp.size();
  if (end < text.size() && text[end] == '-') ++end;
  std::size_t digits = end;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == digits || text.compare(end, 3, " ] ") != 0) return 0;
  return end + 3 - at;
}

class LogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           UniqueName(std::string("vt-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_EQ(platform::GetWorkingDirectory(startDirectory_), 0u);
    logDir_ = dir_ / "logs";
    ASSERT_TRUE(InitLogSettings());
    ASSERT_TRUE(SetLogSettings("test.log", logDir_.string().c_str(), 4));
    ASSERT_TRUE(OpenLogFile(1));
  }
  void TearDown() override {
    platform::SetWorkingDirectory(startDirectory_);
    CloseLogFile();
    FreeLogSettings();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path LogPath() const { return logDir_ / "test.log"; }

  // What the log holds between its open and close lines, each line's time and thread
  // prefix removed, so "[INFO] text \n" remains of every line. Windows writes the text
  // stream with CRLF; it is read back with LF. Closes the log.
  std::string LogBody() {
    CloseLogFile();
    const std::string text = ReadFile(LogPath());
    std::string body;
    for (std::size_t at = 0; at < text.size();) {
      if (text.compare(at, 2, "\r\n") == 0) {
        body += '\n';
        at += 2;
      } else if ((at == 0 || text[at - 1] == '\n') && text.compare(at, 4, "Log ") == 0) {
        std::size_t end = text.find('\n', at);
        at = end == std::string::npos ? text.size() : end + 1;  // the open and close lines
      } else if (std::size_t prefix = PrefixLength(text, at); prefix != 0) {
        at += prefix;
      } else {
        body += text[at++];
      }
    }
    return body;
  }

  static std::string CurrentDirectory() {
    std::string path;
    EXPECT_EQ(platform::GetWorkingDirectory(path), 0u);
    return path;
  }

  fs::path dir_;
  fs::path logDir_;
  std::string startDirectory_;  // the current directory before the test
};

}  // namespace vt_test
