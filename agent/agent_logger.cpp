#include "agent/agent_logger.h"

#include <cstdlib>
#include <memory>

#include "agent/agent_settings.h"
#include "agent/error_messages.h"
#include "agent/log_rotation.h"
#include "agent/log_writer.h"
#include "agent/object_lock.h"

std::atomic<platform::TimerQueue*> gv_loggerTimerQueue{nullptr};
std::atomic<platform::TimerHandle> gv_loggerTimer{nullptr};

namespace {

constexpr std::uint32_t kInitFailed = 13;
constexpr std::uint8_t kLevelWithoutRegistry = 2;
constexpr int kMillisecondsPerMinute = 60000;

// The settings StartProcessLog made; the timer callback keeps using them until the
// queue is gone.
std::unique_ptr<LoggerSettings> gv_processLoggerSettings;
// Set when a timer went to the default queue, which StopLogger cannot cancel.
std::atomic<bool> gv_timerOutsideQueue{false};

const char* DirectoryOrNull(const std::string& directory) {
  return directory.empty() ? nullptr : directory.c_str();
}

// Deletes the logger's queue, waiting for a running callback. False when no queue
// could be deleted cleanly, so a timer may still fire.
bool DeleteLoggerTimerQueue() {
  platform::TimerQueue* queue = gv_loggerTimerQueue.load(std::memory_order_acquire);
  if (queue == nullptr) return true;
  // The pointer stays published while Delete waits: a callback still running re-arms
  // into this queue (and fails) instead of escaping into the default queue.
  platform::ErrorCode error = queue->Delete();
  if (error != platform::kSuccess) {
    LogError("ServiceMain : DeleteTimerQueue is failed due to following error !! \n");
    LogErrorCode(error);
  }
  gv_loggerTimerQueue.store(nullptr, std::memory_order_release);
  delete queue;  // closes the queue if Delete failed
  gv_loggerTimer.store(nullptr, std::memory_order_release);
  return error == platform::kSuccess;
}

// Replaces the logger's queue with a new one; null (with its lines) when it cannot be
// created.
void CreateLoggerTimerQueue() {
  DeleteLoggerTimerQueue();  // a second start ends the first one's timers
  auto queue = std::make_unique<platform::TimerQueue>();
  platform::ErrorCode error = queue->Create();
  if (error != platform::kSuccess) {
    LogError("ServiceMain : CreateTimerQueue is failed due to following error !! \n");
    LogErrorCode(error);
    return;
  }
  LogInfo("ServiceMain : TimerQueue is created successfully \n");
  gv_loggerTimerQueue.store(queue.release(), std::memory_order_release);
}

}  // namespace

std::uint32_t StartProcessLog(const char* fileName) {
  std::free(gv_agentInstallDir);
  gv_agentInstallDir = nullptr;
  std::uint32_t error = GetAgentInstallDir(&gv_agentInstallDir);
  if (error != 0) {
    std::free(gv_agentInstallDir);
    gv_agentInstallDir = nullptr;
    return error;
  }
  auto settings = std::make_unique<LoggerSettings>();
  settings->logDirectory = std::string(gv_agentInstallDir) + "logs";
  settings->fileName = fileName;
  if (gv_processLoggerSettings != nullptr) {
    // A second start: the first one's timers end before its settings go; a timer in
    // the default queue cannot be ended, so its settings stay for ever.
    if (!DeleteLoggerTimerQueue() || gv_timerOutsideQueue.load()) (void)gv_processLoggerSettings.release();
  }
  gv_processLoggerSettings = std::move(settings);
  StartLogger(gv_processLoggerSettings.get());
  return 0;
}

std::uint32_t StartLogger(LoggerSettings* settings) {
  if (settings->createTimerQueue) {
    CreateLoggerTimerQueue();
    LoggerTimerMethod(settings);
  } else {
    RotateLoggerForEverRunningProcess(DirectoryOrNull(settings->logDirectory), settings->fileName.c_str(),
                                      settings->copiesKept, settings->sizeLimit);
  }
  return InitAgentLogger(settings->fileName.c_str(), DirectoryOrNull(settings->logDirectory),
                         settings->openMode);
}

std::uint32_t InitAgentLogger(const char* fileName, const char* directory, int openMode) {
  InitMutex();
  ReadEventEnabled(&gv_eventEnabled);
  if (!InitLogSettings()) return kInitFailed;
  std::uint32_t level = 0;
  std::uint8_t logLevel = kLevelWithoutRegistry;
  if (ReadDwordRegistryData(platform::Hive::LocalMachine, kAgentRegistryKey, "VTAgentLogLevel", &level) == 0) {
    logLevel = static_cast<std::uint8_t>(level & 0xFFu);  // only the low byte counts
  }
  if (!SetLogSettings(fileName, directory, logLevel)) return kInitFailed;
  if (!OpenLogFile(openMode == 2 ? 2 : 1)) return kInitFailed;
  return 0;
}

std::uint32_t StopLogger() {
  const bool timersGone = DeleteLoggerTimerQueue() && !gv_timerOutsideQueue.load();
  CloseLogFile();
  FreeLogSettings();
  CloseMutex();
  if (timersGone) gv_processLoggerSettings.reset();
  return 0;
}

std::uint32_t LoggerTimerMethod(LoggerSettings* settings) {
  RotateLoggerForEverRunningProcess(DirectoryOrNull(settings->logDirectory), settings->fileName.c_str(),
                                    settings->copiesKept, settings->sizeLimit);
  platform::TimerQueue* queue = gv_loggerTimerQueue.load(std::memory_order_acquire);
  if (queue == nullptr) gv_timerOutsideQueue.store(true);
  platform::TimerHandle timer = nullptr;
  const auto period = static_cast<std::uint32_t>(settings->timerPeriod > 0 ? settings->timerPeriod : 0);
  platform::ErrorCode error =
      platform::TimerQueue::AddOneShot(queue, period, LoggerTimerRoutine, settings, timer);
  if (error != platform::kSuccess) {
    LogError("LoggerTimerMethod : CreateTimerQueueTimer failed due to following error \n");
    LogErrorCode(error);
    return error;
  }
  gv_loggerTimer.store(timer, std::memory_order_release);
  LogDebug("LoggerTimerMethod : Registered the TimerRoutime callback in next %d minutes . \n",
           settings->timerPeriod / kMillisecondsPerMinute);
  return 0;
}

void LoggerTimerRoutine(void* parameter, bool /*timerFired*/) {
  LogInfo("LoggerTimerRoutine : Inside LoggerTimerRoutine Method\n");
  LoggerTimerMethod(static_cast<LoggerSettings*>(parameter));
  LogInfo("LoggerTimerRoutine : End of LoggerTimerRoutine Method\n");
}
