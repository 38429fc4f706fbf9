// The one door to the operating system for the agent runtime and the undo tool.
// Everything here speaks Windows: paths with drive letters and backslashes, Windows
// error codes (0 is success), registry hives, services, processes and timer queues.
// The Win32 build calls the real APIs; the Linux build stands for a Windows machine
// kept in the directory named by SIMWIN_ROOT (see docs/platform.md).
// Handles are move-only RAII objects: destroying one closes what it holds.
// Every free function is safe from any thread; a handle object is used by one thread
// at a time unless its comment says otherwise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

// A Windows system error code; 0 means success.
using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kSuccess = 0;
inline constexpr ErrorCode kFileNotFound = 2;
inline constexpr ErrorCode kPathNotFound = 3;
inline constexpr ErrorCode kAccessDenied = 5;
inline constexpr ErrorCode kInvalidHandle = 6;
inline constexpr ErrorCode kNotEnoughMemory = 8;
inline constexpr ErrorCode kInvalidData = 13;
inline constexpr ErrorCode kNoMoreFiles = 18;
inline constexpr ErrorCode kSharingViolation = 32;
inline constexpr ErrorCode kFileExists = 80;
inline constexpr ErrorCode kInvalidParameter = 87;
inline constexpr ErrorCode kAlreadyExists = 183;
inline constexpr ErrorCode kMoreData = 234;
inline constexpr ErrorCode kWaitTimeout = 258;
inline constexpr ErrorCode kServiceDoesNotExist = 1060;
inline constexpr ErrorCode kRetry = 1237;

// ---------------------------------------------------------------- registry

enum class Hive { LocalMachine, CurrentUser };
enum class RegAccess { Query, All };

// An open registry key. Value names are compared without regard to case, as Windows does.
class RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens an existing key ("SOFTWARE\\Vendor\\Key"); 2 when it does not exist.
  // On failure the object stays closed.
  ErrorCode Open(Hive hive, const std::string& subKey, RegAccess access);
  void Close();
  bool IsOpen() const;

  // The size in bytes the registry reports for a value (a string counts its
  // terminating NUL); 2 when the value is missing.
  ErrorCode QueryValueSize(const std::string& name, std::uint32_t& bytes) const;
  // Reads a string value. maxBytes limits the bytes including the terminator, as a
  // caller's buffer would: a longer value gives 234 and leaves `value` unchanged.
  ErrorCode QueryString(const std::string& name, std::string& value,
                        std::uint32_t maxBytes = UINT32_MAX) const;
  // Reads a DWORD value; a value of another type gives 13 (invalid data).
  ErrorCode QueryDword(const std::string& name, std::uint32_t& value) const;
  // Creates or replaces a DWORD value. Needs RegAccess::All; 5 otherwise.
  ErrorCode SetDword(const std::string& name, std::uint32_t value);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------- services

inline constexpr std::uint32_t kServiceAutoStart = 2;

class ServiceHandle {
 public:
  ServiceHandle();
  ~ServiceHandle();
  ServiceHandle(ServiceHandle&&) noexcept;
  ServiceHandle& operator=(ServiceHandle&&) noexcept;
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;

  // Changes only the start type (2 = automatic); everything else stays as it is.
  ErrorCode SetStartType(std::uint32_t startType);
  void Close();
  bool IsOpen() const;

 private:
  friend class ServiceManager;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class ServiceManager {
 public:
  ServiceManager();
  ~ServiceManager();
  ServiceManager(ServiceManager&&) noexcept;
  ServiceManager& operator=(ServiceManager&&) noexcept;
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;

  // Opens the local machine's service manager with all access.
  ErrorCode Open();
  // Opens a service with the right to change its configuration only; 1060 when missing.
  ErrorCode OpenServiceForConfig(const std::string& name, ServiceHandle& service) const;
  void Close();
  bool IsOpen() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------- files

enum class FileAccess { ReadWrite, ReadSecurityOnly };
enum class FileShare { None, ReadWriteDelete };
enum class FileDisposition { OpenExisting, TruncateExisting };

// An open file handle with Windows sharing rules: opening a file that another handle
// holds without sharing (or opening without sharing a file already open) gives 32.
class File {
 public:
  File();
  ~File();
  File(File&&) noexcept;
  File& operator=(File&&) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file (2 when missing, 3 when its directory is missing).
  ErrorCode Open(const std::string& path, FileAccess access, FileShare share,
                 FileDisposition disposition);
  ErrorCode Size(std::uint64_t& size) const;
  void Close();
  bool IsOpen() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Copies `from` onto `to`, replacing an existing `to`.
ErrorCode CopyFileReplacing(const std::string& from, const std::string& to);
ErrorCode RemoveFile(const std::string& path);
// Renames a file; fails with 183 when `to` exists.
ErrorCode RenameFile(const std::string& from, const std::string& to);
// Makes one directory. Returns 0 or a POSIX error number (17 exists, 2 parent missing).
int MakeDirectory(const std::string& path);

ErrorCode GetWorkingDirectory(std::string& path);
ErrorCode SetWorkingDirectory(const std::string& path);
// The Windows directory, "C:\\Windows" on a standard installation.
ErrorCode WindowsDirectory(std::string& path);

// Opens a text stream for the log: "w" truncates, "a+" appends. The stream is never
// inherited by child processes. Null on failure.
std::FILE* OpenLogStream(const std::string& path, bool truncate);

// The path as the host's file functions need it (identity on Windows).
std::string HostPath(const std::string& windowsPath);

// A listing of the directory entries that match a pattern: a directory, a backslash
// and a name with the wildcards * and ? ("C:\\logs\\app*.*"). Matching ignores case;
// "*.*" matches every name; "." and ".." are listed when the pattern matches them.
class DirectoryListing {
 public:
  DirectoryListing();
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // Starts the listing; on success Name() is the first entry. 2 when nothing matches.
  ErrorCode Start(const std::string& pattern);
  const std::string& Name() const;
  // Moves to the next entry; 18 after the last.
  ErrorCode Next();
  // A number that identifies the listing, for log lines.
  std::intptr_t Id() const;
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------- processes

// A started program. The program is found as Windows finds it; its standard handles
// and every other open file of this process stay behind (nothing is inherited).
class Process {
 public:
  Process();
  ~Process();
  Process(Process&&) noexcept;
  Process& operator=(Process&&) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  enum class WaitResult { Exited, TimedOut, Failed };

  // Starts `commandLine` (program and arguments, Windows quoting rules) without a
  // console window, or with its window shown normally when showWindow is set.
  // `workingDirectory` null means the current directory.
  ErrorCode Start(const std::string& commandLine, const std::string* workingDirectory,
                  bool showWindow);
  // Waits up to `milliseconds`; on Failed, `error` holds the system error.
  WaitResult Wait(std::uint32_t milliseconds, ErrorCode& error);
  ErrorCode ExitCode(std::uint32_t& code) const;
  ErrorCode Terminate(std::uint32_t exitCode);
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------- timers

using TimerCallback = void (*)(void* parameter, bool timerFired);
// Identifies a created timer; valid until its queue is deleted.
using TimerHandle = void*;

// A timer queue: one-shot timers whose callbacks run on a thread of the queue.
// Safe from several threads; a callback may add timers to its own queue.
class TimerQueue {
 public:
  TimerQueue();
  ~TimerQueue();  // deletes the queue when still open
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  ErrorCode Create();
  // Cancels pending timers, waits for a running callback to return and closes the
  // queue. Must not be called from one of its own callbacks.
  ErrorCode Delete();
  bool IsOpen() const;

  // Calls callback(parameter, true) once, `dueMs` milliseconds from now. A null
  // queue means the process's default timer queue.
  static ErrorCode AddOneShot(TimerQueue* queue, std::uint32_t dueMs,
                              TimerCallback callback, void* parameter, TimerHandle& timer);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------- threads

// An unnamed mutex, not initially owned.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  ErrorCode Create();
  void Lock();    // waits without limit
  void Unlock();
  void Close();
  bool IsCreated() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Sleeps; 0 only gives up the rest of the time slice.
void SleepMilliseconds(std::uint32_t milliseconds);
std::uint32_t CurrentThreadId();

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};
LocalTime LocalNow();

// ---------------------------------------------------------------- messages

// The system's text for an error code, with its own line breaks dropped; false when
// the system has none. Wide text is UTF-16 on Windows and UTF-32 on Linux.
bool SystemMessageWide(ErrorCode code, std::wstring& text);
bool SystemMessageAnsi(ErrorCode code, std::string& text);
// Converts NUL-terminated wide text to UTF-8. On failure returns the system error and
// leaves in `utf8` whatever was converted.
ErrorCode WideToUtf8(const wchar_t* wide, std::string& utf8);

}  // namespace platform
