// The process-wide levelled log writer: one text file, written line by line by
// LogInfo/LogError/LogDebug/LogTrace, each line under the object lock keyed by
// gv_logLockKey so lines from several threads never interleave.
// Strings handed out (GetCurrentTimeString) are malloc'd and freed by the caller.
// Log calls are safe from any thread; the setters, OpenLogFile, CloseLogFile,
// InitLogSettings and FreeLogSettings must run while no other thread logs.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

// Filter level: 0 silences everything, 1 info, 2 adds errors, 3 debug, 4 trace.
extern std::atomic<std::uint8_t> gv_logLevel;
// The open log stream; null while the log is closed.
extern std::atomic<std::FILE*> gv_logFilePtr;
// Address whose object lock serialises writes; null means nothing is written.
extern std::atomic<char*> gv_logLockKey;

#if defined(__GNUC__)
#define VT_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VT_PRINTF_FORMAT(fmt, args)
#endif

void LogInfo(const char* format, ...) VT_PRINTF_FORMAT(1, 2);
void LogError(const char* format, ...) VT_PRINTF_FORMAT(1, 2);
void LogDebug(const char* format, ...) VT_PRINTF_FORMAT(1, 2);
void LogTrace(const char* format, ...) VT_PRINTF_FORMAT(1, 2);

// Applies the defaults (file "brisel.log", level 3, a fresh lock key) when no log is
// open and no name is set; only resets the level when a log is open. False only when
// the name cannot be copied. The lock key exists only from here on, so a writer is
// configured with InitLogSettings first and SetLogSettings (or the setters) after it:
// a writer configured without it opens its file but writes no lines.
bool InitLogSettings();
bool SetLogSettings(const char* fileName, const char* directory, std::uint8_t level);
bool SetLogFileName(const char* name);
bool SetLogDirectory(const char* directory);
void SetLogLevel(std::uint8_t level);
// openMode 2 truncates, anything else appends. True when the log is open afterwards.
bool OpenLogFile(int openMode);
void CloseLogFile();
void FreeLogSettings();
bool SetLogFilePtr(std::FILE* stream);
// The path of the opened log file, or null; owned by the writer.
const char* GetLogFilePath();

// "YYYY-MM-DD hh:mm:ss:mmm" in local time; the caller frees it. Null when out of memory.
char* GetCurrentTimeString();
// Makes a directory and its missing parents ("/" separates components).
// 0 made, 1 already there, otherwise a POSIX error number.
int CreateDirectoryTree(const char* path);
