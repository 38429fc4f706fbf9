// Linux: started programs. A Windows command line is split by the runtime's rules,
// its program looked up as the brief of the simulated machine says (working directory,
// then C:\Windows\system32, then PATH) and started with posix_spawn, which leaves every
// descriptor but 0, 1 and 2 behind. A pidfd lets Wait sleep until the child ends.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "agent/platform/command_line.h"
#include "agent/platform/host_error.h"
#include "agent/platform/platform.h"
#include "agent/platform/sim_machine.h"
#include "agent/platform/unique_fd.h"

extern char** environ;

namespace platform {
namespace {

constexpr ErrorCode kBadExeFormat = 193;
constexpr ErrorCode kDirectoryInvalid = 267;
constexpr std::uint32_t kStillActive = 259;
constexpr std::uint32_t kInfinite = 0xFFFFFFFF;
constexpr const char* kSystemDirectory = "C:\\Windows\\system32";

enum class Lookup { Found, NotExecutable, Missing };

Lookup Probe(const std::string& hostPath) {
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Lookup::Missing;
  return ::access(hostPath.c_str(), X_OK) == 0 ? Lookup::Found : Lookup::NotExecutable;
}

bool HasDrive(const std::string& name) {
  return name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
}

// The host directory a relative program name or a plain name is looked up in first.
std::string StartDirectory(const std::string* workingDirectory) {
  if (workingDirectory != nullptr) return sim::ToHost(*workingDirectory);
  return ".";
}

// Finds the program file of `name`. A name with a directory part is taken as that
// path (relative to the start directory); a plain name is searched in the start
// directory, the machine's system32 and then PATH, exactly as written (no ".exe" is
// added or removed). Names match without regard to case inside the machine.
ErrorCode FindProgram(const std::string& name, const std::string* workingDirectory,
                      std::string& program) {
  if (name.empty()) return kFileNotFound;
  const std::string start = StartDirectory(workingDirectory);
  bool sawUnusable = false;
  auto consider = [&](const std::string& candidate) {
    Lookup found = Probe(candidate);
    if (found == Lookup::Found) program = candidate;
    sawUnusable = sawUnusable || found == Lookup::NotExecutable;
    return found == Lookup::Found;
  };

  if (name.find_first_of("\\/") != std::string::npos || HasDrive(name)) {
    std::string path;
    if (HasDrive(name) || name[0] == '\\' || name[0] == '/')
      path = sim::ToHost(name);
    else if (workingDirectory != nullptr && HasDrive(*workingDirectory))
      path = sim::ToHost(*workingDirectory + "\\" + name);
    else
      path = start + "/" + sim::ToHost(name);
    if (consider(path)) return kSuccess;
    return sawUnusable ? kAccessDenied : host::PathError(ENOENT, path);
  }

  std::vector<std::string> candidates;
  if (workingDirectory != nullptr && HasDrive(*workingDirectory))
    candidates.push_back(sim::ToHost(*workingDirectory + "\\" + name));
  else
    candidates.push_back(start + "/" + name);
  candidates.push_back(sim::ToHost(std::string(kSystemDirectory) + "\\" + name));
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    for (std::size_t from = 0; from <= list.size();) {
      std::size_t end = std::min(list.find(':', from), list.size());
      std::string dir = list.substr(from, end - from);
      candidates.push_back((dir.empty() ? "." : dir) + "/" + name);
      from = end + 1;
    }
  }
  for (const std::string& candidate : candidates)
    if (consider(candidate)) return kSuccess;
  return sawUnusable ? kAccessDenied : kFileNotFound;
}

ErrorCode SpawnError(int err, bool changesDirectory) {
  switch (err) {
    case ENOEXEC: return kBadExeFormat;
    case ENOENT:
    case ENOTDIR: return changesDirectory ? kDirectoryInvalid : kFileNotFound;
    default: return host::Error(err);
  }
}

// posix_spawn attributes and file actions, destroyed on every way out.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = ::posix_spawnattr_init(&attr_) == 0;
    ok_ = ::posix_spawn_file_actions_init(&actions_) == 0 && ok_;
  }
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // A clean start: no blocked or ignored signals carried over, no descriptor above 2,
  // and the working directory changed in the child only.
  bool Prepare(const std::string* hostDirectory) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return ok_ && ::posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
           ::posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
           ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0 &&
           (hostDirectory == nullptr ||
            ::posix_spawn_file_actions_addchdir_np(&actions_, hostDirectory->c_str()) == 0) &&
           ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
  }
  const posix_spawnattr_t* attr() const { return &attr_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attr_{};
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

enum class ReapResult { Ended, Running, Gone };

// waitpid without EINTR. Gone: the child was reaped elsewhere (SIGCHLD ignored).
ReapResult Reap(pid_t pid, int& status, bool block) {
  for (;;) {
    const pid_t got = ::waitpid(pid, &status, block ? 0 : WNOHANG);
    if (got == pid) return ReapResult::Ended;
    if (got == 0) return ReapResult::Running;
    if (errno != EINTR) return ReapResult::Gone;
  }
}

}  // namespace

struct Process::Impl {
  pid_t pid = -1;
  host::UniqueFd pidfd;  // invalid when the kernel has no pidfd_open
  bool reaped = false;
  bool lost = false;     // somebody else reaped the child; its status is unknown
  int status = 0;
  bool terminated = false;
  std::uint32_t terminationCode = 0;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // A child still running when its handle goes is reaped by a thread of its own once
  // it ends; a killed or ended child is reaped here.
  ~Impl() {
    if (pid <= 0 || reaped || TryReap(false)) return;
    if (terminated) {
      TryReap(true);
      return;
    }
    const pid_t child = pid;
    std::thread([child] {
      int ignored = 0;
      Reap(child, ignored, true);
    }).detach();
  }

  bool TryReap(bool block) {
    if (reaped) return true;
    switch (Reap(pid, status, block)) {
      case ReapResult::Ended: reaped = true; break;
      case ReapResult::Gone: reaped = lost = true; break;
      case ReapResult::Running: break;
    }
    return reaped;
  }

  std::uint32_t ExitCode() const {
    if (terminated) return terminationCode;
    if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
    // Killed by a signal from elsewhere: the shell's convention.
    return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  }

  // True when the child has ended within `milliseconds` (kInfinite waits for ever).
  bool WaitForEnd(std::uint32_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const bool forever = milliseconds == kInfinite;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    auto remaining = [&]() -> int {
      if (forever) return -1;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
    };
    if (pidfd.valid()) {
      for (;;) {
        pollfd entry{pidfd.get(), POLLIN, 0};
        const int timeout = remaining();
        const int ready = ::poll(&entry, 1, timeout);
        if (ready > 0) return TryReap(true);
        if (ready == 0 && timeout != INT_MAX) return TryReap(false);
        if (ready < 0 && errno != EINTR) break;  // fall back to polling below
      }
    }
    // Without a pidfd: look every few milliseconds, backing off to 50 ms.
    for (int pause = 1;; pause = std::min(pause * 2, 50)) {
      if (TryReap(false)) return true;
      const int left = remaining();
      if (left == 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(left < 0 ? pause : std::min(pause, left)));
    }
  }
};

Process::Process() = default;
Process::~Process() = default;
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;

ErrorCode Process::Start(const std::string& commandLine, const std::string* workingDirectory,
                         bool /*showWindow: there are no windows here*/) {
  Close();
  const std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty()) return kInvalidParameter;
  std::string hostDirectory;
  if (workingDirectory != nullptr) {
    hostDirectory = sim::ToHost(*workingDirectory);
    if (workingDirectory->empty() || !host::IsDirectory(hostDirectory)) return kDirectoryInvalid;
  }
  std::string program;
  if (ErrorCode found = FindProgram(words[0], workingDirectory, program); found != kSuccess)
    return found;

  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  SpawnSetup setup;
  if (!setup.Prepare(workingDirectory != nullptr ? &hostDirectory : nullptr)) return kNotEnoughMemory;

  auto impl = std::make_unique<Impl>();
  const int spawned =
      ::posix_spawn(&impl->pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
  if (spawned != 0) {
    impl->pid = -1;
    return SpawnError(spawned, workingDirectory != nullptr);
  }
  impl->pidfd.reset(static_cast<int>(::syscall(SYS_pidfd_open, impl->pid, 0)));
  impl_ = std::move(impl);
  return kSuccess;
}

Process::WaitResult Process::Wait(std::uint32_t milliseconds, ErrorCode& error) {
  if (!impl_) {
    error = kInvalidHandle;
    return WaitResult::Failed;
  }
  if (!impl_->WaitForEnd(milliseconds)) return WaitResult::TimedOut;
  if (impl_->lost) {
    error = kInvalidHandle;
    return WaitResult::Failed;
  }
  return WaitResult::Exited;
}

ErrorCode Process::ExitCode(std::uint32_t& code) const {
  if (!impl_) return kInvalidHandle;
  if (!impl_->TryReap(false)) {
    code = kStillActive;
    return kSuccess;
  }
  if (impl_->lost) return kInvalidHandle;
  code = impl_->ExitCode();
  return kSuccess;
}

ErrorCode Process::Terminate(std::uint32_t exitCode) {
  if (!impl_) return kInvalidHandle;
  // A process that has already ended cannot be terminated (Windows says 5).
  siginfo_t info{};
  if (impl_->reaped ||
      (::waitid(P_PID, static_cast<id_t>(impl_->pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
       info.si_pid != 0))
    return kAccessDenied;
  if (::kill(impl_->pid, SIGKILL) != 0) return host::Error(errno);
  impl_->terminated = true;
  impl_->terminationCode = exitCode;
  return kSuccess;
}

void Process::Close() { impl_.reset(); }

}  // namespace platform
