// Turning an agent executable's log on and off: StartProcessLog reads the agent's
// settings, rotates the log once, arms the rotation timer and opens the log;
// StopLogger ends the timer and closes everything. The LoggerSettings a timer uses
// belong to whoever passed them to StartLogger and must outlive StopLogger (those made
// by StartProcessLog are the logger's own and are released by StopLogger when no
// timer can use them any more). Start and stop run on one thread while no one logs.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "agent/platform/platform.h"

// One agent log and its rotation; the timer callback reads it on a timer thread, so it
// is not changed while the logger runs.
struct LoggerSettings {
  std::string fileName = "computer.log";
  std::string logDirectory;        // empty: the agent's logs folder
  std::int32_t copiesKept = 5;     // live file + copies 1..copiesKept-1
  std::int32_t sizeLimit = 2000000;
  std::int32_t timerPeriod = 900000;  // milliseconds between rotation checks
  std::int32_t openMode = 1;       // 2 truncates the log at open, anything else appends
  bool createTimerQueue = true;    // false: rotate once at start, no timer
};

// The logger's timer queue (null when none was created: timers then go to the
// process's default queue) and its most recently armed timer.
extern std::atomic<platform::TimerQueue*> gv_loggerTimerQueue;
extern std::atomic<platform::TimerHandle> gv_loggerTimer;

// Reads the installation directory and starts the log `fileName` in its logs folder.
// Returns 0, or the registry error (logging then stays off).
std::uint32_t StartProcessLog(const char* fileName);
// Runs the first rotation check (arming the timer when asked), then opens the log.
// Returns InitAgentLogger's result.
std::uint32_t StartLogger(LoggerSettings* settings);
// Creates the object lock's mutex, reads the event flag and the level and opens the
// log. 0 on success, 13 on any failure.
std::uint32_t InitAgentLogger(const char* fileName, const char* directory, int openMode);
// Deletes the timer queue (waiting for a running check), closes the log, frees the
// writer's settings and closes the mutex. Returns 0.
std::uint32_t StopLogger();
// One rotation check, then arms the next one after the timer period. 0 or the error
// of the timer creation.
std::uint32_t LoggerTimerMethod(LoggerSettings* settings);
// The timer callback; `parameter` is the LoggerSettings.
void LoggerTimerRoutine(void* parameter, bool timerFired);
