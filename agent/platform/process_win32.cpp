// Win32: started programs.
#include <windows.h>

#include <string>

#include "agent/platform/platform.h"

namespace platform {

struct Process::Impl {
  PROCESS_INFORMATION info{};

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (info.hThread != nullptr) ::CloseHandle(info.hThread);
    if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
  }
};

Process::Process() = default;
Process::~Process() = default;
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;

ErrorCode Process::Start(const std::string& commandLine, const std::string* workingDirectory,
                         bool showWindow) {
  Close();
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  if (showWindow) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
  }
  // CreateProcessA may write into the command line, so it gets a private copy.
  std::string mutableCommand = commandLine;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, mutableCommand.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_DEFAULT_ERROR_MODE, nullptr,
                        workingDirectory != nullptr ? workingDirectory->c_str() : nullptr,
                        &startup, &info)) {
    return ::GetLastError();
  }
  impl_ = std::make_unique<Impl>();
  impl_->info = info;
  return kSuccess;
}

Process::WaitResult Process::Wait(std::uint32_t milliseconds, ErrorCode& error) {
  if (!impl_) {
    error = kInvalidHandle;
    return WaitResult::Failed;
  }
  switch (::WaitForSingleObject(impl_->info.hProcess, milliseconds)) {
    case WAIT_OBJECT_0:
      return WaitResult::Exited;
    case WAIT_TIMEOUT:
      return WaitResult::TimedOut;
    default:
      error = ::GetLastError();
      return WaitResult::Failed;
  }
}

ErrorCode Process::ExitCode(std::uint32_t& code) const {
  if (!impl_) return kInvalidHandle;
  DWORD value = 0;
  if (!::GetExitCodeProcess(impl_->info.hProcess, &value)) return ::GetLastError();
  code = value;
  return kSuccess;
}

ErrorCode Process::Terminate(std::uint32_t exitCode) {
  if (!impl_) return kInvalidHandle;
  return ::TerminateProcess(impl_->info.hProcess, exitCode) ? kSuccess : ::GetLastError();
}

void Process::Close() { impl_.reset(); }

}  // namespace platform
