#include "agent/log_writer.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/object_lock.h"
#include "agent/platform/platform.h"
#include "agent/store_root.h"

std::atomic<std::uint8_t> gv_logLevel{3};
std::atomic<std::FILE*> gv_logFilePtr{nullptr};
std::atomic<char*> gv_logLockKey{nullptr};

namespace {

constexpr int kPosixExists = 17;     // EEXIST
constexpr int kPosixNoParent = 2;    // ENOENT

// Names the writer owns (malloc'd, so a failed copy can be reported as false).
char* gv_logFileName = nullptr;
char* gv_logDirectory = nullptr;
char* gv_logFilePath = nullptr;

char* CopyString(const char* value) {
  std::size_t size = std::strlen(value) + 1;
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy != nullptr) std::memcpy(copy, value, size);
  return copy;
}

// Replaces an owned string with a copy of `value` (null clears it). False when the
// copy cannot be made; the old value is then already freed, as the callers expect.
bool ReplaceOwned(char*& slot, const char* value) {
  std::free(slot);
  slot = nullptr;
  if (value == nullptr) return true;
  slot = CopyString(value);
  return slot != nullptr;
}

// Cached per thread: the id never changes and the lookup is a system call on Linux.
int ThreadIdForLog() {
  thread_local const int id = static_cast<int>(platform::CurrentThreadId());
  return id;
}

std::string FormatTime() {
  platform::LocalTime t = platform::LocalNow();
  char text[64];  // the longest possible result of the format is 47 bytes
  std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d:%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

void WriteLine(std::uint8_t threshold, const char* tag, const char* format, std::va_list args) {
  std::FILE* stream = gv_logFilePtr.load(std::memory_order_acquire);
  if (stream == nullptr) return;
  std::uint8_t level = gv_logLevel.load(std::memory_order_relaxed);
  if (level == 0 || level < threshold) return;
  char* key = gv_logLockKey.load(std::memory_order_acquire);
  if (key == nullptr) return;

  ObjectLockGuard lock(key);
  std::string time = FormatTime();
  std::fprintf(stream, "[ %s ] [ %d ] %s ", time.c_str(), ThreadIdForLog(), tag);
  std::vfprintf(stream, format, args);
  std::fflush(stream);
}

}  // namespace

#define VT_LOG_BODY(threshold, tag)        \
  std::va_list args;                       \
  va_start(args, format);                  \
  WriteLine(threshold, tag, format, args); \
  va_end(args)

void LogInfo(const char* format, ...) { VT_LOG_BODY(1, "[INFO]"); }
void LogError(const char* format, ...) { VT_LOG_BODY(2, "[ERROR]"); }
void LogDebug(const char* format, ...) { VT_LOG_BODY(3, "[DEBUG]"); }
void LogTrace(const char* format, ...) { VT_LOG_BODY(4, "[TRACE]"); }

#undef VT_LOG_BODY

bool InitLogSettings() {
  if (gv_logFilePtr.load() == nullptr && gv_logFileName == nullptr) {
    if (!ReplaceOwned(gv_logFileName, "brisel.log")) return false;
    std::free(gv_logLockKey.exchange(static_cast<char*>(std::calloc(1, 1))));
    ReplaceOwned(gv_logDirectory, nullptr);
    ReplaceOwned(gv_logFilePath, nullptr);
    gv_logLevel = 3;
  } else if (gv_logFilePtr.load() != nullptr) {
    gv_logLevel = 3;
  }
  return true;
}

bool SetLogSettings(const char* fileName, const char* directory, std::uint8_t level) {
  bool named = ReplaceOwned(gv_logFileName, fileName);
  bool placed = ReplaceOwned(gv_logDirectory, directory);
  gv_logLevel = level;
  return named && placed;
}

bool SetLogFileName(const char* name) {
  return name != nullptr && ReplaceOwned(gv_logFileName, name);
}

bool SetLogDirectory(const char* directory) {
  return directory != nullptr && ReplaceOwned(gv_logDirectory, directory);
}

void SetLogLevel(std::uint8_t level) { gv_logLevel = level; }

bool OpenLogFile(int openMode) {
  if (gv_logFilePtr.load() != nullptr) {
    LogTrace("gv_logFilePtr already Set\n");
    return true;
  }
  if (gv_logFileName == nullptr) return false;

  std::string path;
  if (gv_logDirectory != nullptr) {
    CreateDirectoryTree(gv_logDirectory);
    path = std::string(gv_logDirectory) + "/" + gv_logFileName;
  } else if (gv_storeRoot != nullptr) {
    std::string logs = std::string(gv_storeRoot) + "/logs";
    CreateDirectoryTree(logs.c_str());
    path = logs + "/" + gv_logFileName;
  } else {
    platform::MakeDirectory("../logs");
    path = std::string("../logs/") + gv_logFileName;
  }
  if (!ReplaceOwned(gv_logFilePath, path.c_str())) return false;

  if (openMode == 2) {
    // Empty the file first, then append like every other mode: a stream opened with
    // "w" writes at its own offset, so after a rotation truncates the live file it would
    // leave a hole of NUL bytes and the old size behind.
    std::FILE* emptied = platform::OpenLogStream(path, true);
    if (emptied == nullptr) return false;
    std::fclose(emptied);
  }
  std::FILE* stream = platform::OpenLogStream(path, false);
  if (stream == nullptr) return false;
  std::fprintf(stream, "Log open time: %s\n", FormatTime().c_str());
  std::fflush(stream);
  gv_logFilePtr.store(stream, std::memory_order_release);
  return true;
}

void CloseLogFile() {
  std::FILE* stream = gv_logFilePtr.exchange(nullptr);
  if (stream == nullptr) return;
  std::fprintf(stream, "Log close time: %s\n", FormatTime().c_str());
  std::fflush(stream);
  std::fclose(stream);
}

void FreeLogSettings() {
  ReplaceOwned(gv_logFileName, nullptr);
  ReplaceOwned(gv_logDirectory, nullptr);
  ReplaceOwned(gv_logFilePath, nullptr);
  std::free(gv_logLockKey.exchange(nullptr));
}

bool SetLogFilePtr(std::FILE* stream) {
  if (stream == nullptr) return false;
  gv_logFilePtr = stream;
  return true;
}

const char* GetLogFilePath() { return gv_logFilePath; }

char* GetCurrentTimeString() { return CopyString(FormatTime().c_str()); }

int CreateDirectoryTree(const char* path) {
  if (path == nullptr) return kPosixNoParent;
  int result = platform::MakeDirectory(path);
  if (result == 0) return 0;
  if (result == kPosixExists) return 1;
  if (result != kPosixNoParent) return result;

  std::string parent(path);
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  std::size_t cut = parent.rfind('/');
  // Without a "/" the parent cannot be named; report the missing parent as it is.
  if (cut == std::string::npos || cut == 0) return result;
  parent.resize(cut);
  if (CreateDirectoryTree(parent.c_str()) != 0) return result;
  return platform::MakeDirectory(path);
}
