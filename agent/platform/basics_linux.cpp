// Linux: threads, clocks, the log stream and directories of the simulated machine.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <mutex>
#include <thread>

#include "agent/platform/platform.h"
#include "agent/platform/sim_machine.h"

namespace platform {

// ---------------------------------------------------------------- mutex

struct Mutex::Impl {
  std::mutex mutex;
};

Mutex::Mutex() = default;
Mutex::~Mutex() = default;

ErrorCode Mutex::Create() {
  impl_ = std::make_unique<Impl>();
  return kSuccess;
}
void Mutex::Lock() { impl_->mutex.lock(); }
void Mutex::Unlock() { impl_->mutex.unlock(); }
void Mutex::Close() { impl_.reset(); }
bool Mutex::IsCreated() const { return impl_ != nullptr; }

// ---------------------------------------------------------------- threads and time

void SleepMilliseconds(std::uint32_t milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

LocalTime LocalNow() {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  std::tm tm{};
  ::localtime_r(&tv.tv_sec, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                   tm.tm_min,         tm.tm_sec,     static_cast<int>(tv.tv_usec / 1000)};
}

// ---------------------------------------------------------------- paths and directories

std::string HostPath(const std::string& windowsPath) { return sim::ToHost(windowsPath); }

std::FILE* OpenLogStream(const std::string& path, bool truncate) {
  // Close-on-exec, so a started program never holds the log open.
  const int flags = truncate ? O_WRONLY | O_CREAT | O_CLOEXEC
                             : O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC;
  const int fd = ::open(sim::ToHost(path).c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  // The stream shares the file as a Windows C runtime stream does: others may open it
  // with sharing, but an open that shares nothing fails while the log is open, so a
  // rotation cannot move the live file away from under the writer. The lock comes
  // before the truncation so that a file held without sharing is left alone.
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0 || (truncate && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* stream = ::fdopen(fd, truncate ? "w" : "a+");
  if (stream == nullptr) ::close(fd);
  return stream;
}

int MakeDirectory(const std::string& path) {
  if (::mkdir(sim::ToHost(path).c_str(), 0777) == 0) return 0;
  return errno;
}

namespace {
ErrorCode FromErrno(int err) {
  switch (err) {
    case ENOENT: return kPathNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM: return kAccessDenied;
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    default: return kInvalidParameter;
  }
}
}  // namespace

ErrorCode GetWorkingDirectory(std::string& path) {
  std::string buffer(PATH_MAX, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return FromErrno(errno);
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  path = sim::ToWindows(buffer);
  return kSuccess;
}

ErrorCode SetWorkingDirectory(const std::string& path) {
  if (path.empty()) return kInvalidParameter;
  if (::chdir(sim::ToHost(path).c_str()) != 0) {
    // Windows reports a missing directory as file-not-found.
    return errno == ENOENT ? kFileNotFound : FromErrno(errno);
  }
  return kSuccess;
}

ErrorCode WindowsDirectory(std::string& path) {
  path = "C:\\Windows";
  return kSuccess;
}

}  // namespace platform
