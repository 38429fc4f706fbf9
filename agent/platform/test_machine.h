// Tests only, Linux build: a throwaway simulated Windows machine. The constructor makes
// a fresh temporary directory with C:\Windows\system32 in it and points SIMWIN_ROOT at
// it; the destructor puts the old SIMWIN_ROOT back and removes the directory. Files and
// directories are named by Windows path ("C:\\Agent\\logs\\a.log"). Failures to set
// the machine up throw std::runtime_error (or std::filesystem errors), which GoogleTest
// reports as a failed test. One machine per test; not for use from several threads.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "agent/platform/platform.h"
#include "agent/platform/reg_file.h"

namespace platform::testing {

class TestMachine {
 public:
  TestMachine() {
    if (const char* old = std::getenv("SIMWIN_ROOT")) previousRoot_ = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "simwin-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    ::setenv("SIMWIN_ROOT", root_.c_str(), 1);
    MakeDirectory("C:\\Windows\\system32");
  }

  ~TestMachine() {
    if (previousRoot_)
      ::setenv("SIMWIN_ROOT", previousRoot_->c_str(), 1);
    else
      ::unsetenv("SIMWIN_ROOT");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  // The machine's directory on the host ($SIMWIN_ROOT).
  const std::string& Root() const { return root_; }
  // Where a Windows path of this machine lives on the host.
  std::string Host(const std::string& windowsPath) const { return platform::HostPath(windowsPath); }

  // Replaces the registry file with `text` (registry export format, for example
  // "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=dword:00000001\n").
  void WriteRegistry(const std::string& text) const { WriteHostFile(root_ + "/registry.reg", text); }
  // The registry file as it stands ("" when there is none).
  std::string ReadRegistry() const { return ReadHostFile(root_ + "/registry.reg"); }
  // A value of the registry file; key is the full path ("HKEY_CURRENT_USER\\Software\\X").
  // Nothing when the value is missing or of another type.
  std::optional<std::uint32_t> RegistryDword(const std::string& key, const std::string& name) const {
    std::optional<reg::Value> value = reg::Document::Parse(ReadRegistry()).Find(key, name);
    if (!value || value->type != reg::ValueType::Dword) return std::nullopt;
    return value->dword;
  }
  std::optional<std::string> RegistryString(const std::string& key, const std::string& name) const {
    std::optional<reg::Value> value = reg::Document::Parse(ReadRegistry()).Find(key, name);
    if (!value || value->type != reg::ValueType::String) return std::nullopt;
    return value->text;
  }

  // Creates a directory and its parents.
  void MakeDirectory(const std::string& windowsPath) const {
    std::filesystem::create_directories(Host(windowsPath));
  }
  // Creates or replaces a file (and its directory).
  void WriteFile(const std::string& windowsPath, const std::string& content) const {
    std::filesystem::path path = Host(windowsPath);
    std::filesystem::create_directories(path.parent_path());
    WriteHostFile(path.string(), content);
  }
  // Creates an executable file, typically a "#!/bin/sh" script standing in for a
  // Windows program such as C:\\Windows\\system32\\icacls.exe.
  void WriteProgram(const std::string& windowsPath, const std::string& script) const {
    WriteFile(windowsPath, script);
    std::filesystem::permissions(Host(windowsPath), std::filesystem::perms::owner_all |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::group_exec |
                                                        std::filesystem::perms::others_read |
                                                        std::filesystem::perms::others_exec);
  }
  // The contents of a file; throws when it cannot be read.
  std::string ReadFile(const std::string& windowsPath) const {
    std::string path = Host(windowsPath);
    if (!std::filesystem::is_regular_file(path)) throw std::runtime_error("no file " + path);
    return ReadHostFile(path);
  }
  bool Exists(const std::string& windowsPath) const {
    return std::filesystem::exists(Host(windowsPath));
  }

 private:
  static void WriteHostFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
  }
  static std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string root_;
  std::optional<std::string> previousRoot_;
};

}  // namespace platform::testing
