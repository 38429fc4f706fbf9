// Running external programs: `execute` starts a command line without a window in a
// working directory, waits up to a limit, kills it when the limit passes and hands back
// a result code with a message for it.
// The message stored into *outMessage is malloc'd; the caller frees it with free.
// Not safe from several threads: a call with a working directory switches the
// process-wide current directory while it runs, so such calls must not overlap.
#pragma once

#include <atomic>
#include <cstdint>

// Set by the hosting process when the machine shuts down; execute then refuses to start
// anything. Clear at start.
extern std::atomic<int> gv_shutdownInProgress;

// Runs `commandLine` (program name included) and returns the program's exit code, a
// Windows error code, 258 when the limit passed (the program is terminated) or 1237 while
// a shutdown is in progress. `workingDirectory` (null for none) is the program's directory
// and the process's current directory during the call; it is restored on every path that
// changed it. A time limit of 0 starts the program and returns 0 without waiting.
// *outMessage always receives a new message for the result (its old value is overwritten,
// not freed); it stays null only when memory ran out. A missing or empty command line
// starts nothing, leaves the current directory alone and gives 87 (invalid parameter).
std::uint32_t execute(const char* workingDirectory, const char* commandLine, char** outMessage,
                      std::uint32_t timeLimitMinutes, int showWindow);

// `execute` with the wait given in milliseconds; `timeLimitMinutes` still decides whether
// to wait at all (0: no wait) and is the number the log reports. `execute` calls this
// with the minutes converted; tests use it to reach the time-out in milliseconds.
std::uint32_t ExecuteWithLimit(const char* workingDirectory, const char* commandLine,
                               char** outMessage, std::uint32_t timeLimitMinutes, int showWindow,
                               std::uint32_t waitMilliseconds);
