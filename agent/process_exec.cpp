#include "agent/process_exec.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "agent/error_messages.h"
#include "agent/log_writer.h"
#include "agent/platform/platform.h"

std::atomic<int> gv_shutdownInProgress{0};

namespace {

constexpr std::uint32_t kMillisecondsPerMinute = 60000;
// The longest finite wait; one more is the system's "wait for ever".
constexpr std::uint64_t kLongestWait = 0xFFFFFFFEu;
constexpr char kShutdownMessage[] = "Machine is shutdown. Installation will retried in the next reboot";

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};
using Message = std::unique_ptr<char, FreeDeleter>;

struct Outcome {
  std::uint32_t result = 0;
  Message message;
};

// The result `code` with its message (GetErrorMessage logs it).
Outcome OutcomeFor(std::uint32_t code) { return Outcome{code, Message(GetErrorMessage(code))}; }

const char* TextOf(const Message& message) { return message ? message.get() : ""; }

// Hands the message to the caller; without a variable to receive it, it is freed here.
void Deliver(Message message, char** outMessage) {
  if (outMessage != nullptr) *outMessage = message.release();
}

char* CopyText(const char* text) {
  std::size_t size = std::char_traits<char>::length(text) + 1;
  char* copy = static_cast<char*>(std::malloc(size));
  if (copy != nullptr) std::char_traits<char>::copy(copy, text, size);
  return copy;
}

// The process's current directory switched to a working directory for one call and
// switched back when the object goes.
class WorkingDirectorySwitch {
 public:
  WorkingDirectorySwitch() = default;
  WorkingDirectorySwitch(const WorkingDirectorySwitch&) = delete;
  WorkingDirectorySwitch& operator=(const WorkingDirectorySwitch&) = delete;
  ~WorkingDirectorySwitch() { Restore(); }

  // Saves the current directory and switches to `directory`. On failure the current
  // directory is unchanged and the failure's outcome is returned in `failure`.
  bool Enter(const char* directory, const char* commandLine, Outcome& failure) {
    platform::ErrorCode error = platform::GetWorkingDirectory(saved_);
    if (error != platform::kSuccess) {
      LogError("execute: Failed to get the CurrentWorkingDirectory \n");
      LogErrorCode(error);
      failure = OutcomeFor(error);
      return false;
    }
    LogInfo("execute : Current Working Directory : %s \n", saved_.c_str());
    LogInfo("execute : Executing Application Source : %s \n", commandLine);
    LogInfo("execute : Set Working Directory : %s \n", directory);
    error = platform::SetWorkingDirectory(directory);
    if (error != platform::kSuccess) {
      LogError("execute : Failed to set the WorkingDirectory %s \n ", directory);
      LogErrorCode(error);
      failure = OutcomeFor(error);
      return false;
    }
    switched_ = true;
    return true;
  }

  void Restore() {
    if (!switched_) return;
    switched_ = false;
    platform::ErrorCode error = platform::SetWorkingDirectory(saved_);
    if (error != platform::kSuccess) {
      LogError("execute : Failed to restore the working directory %s , error code : %d \n", saved_.c_str(),
               static_cast<int>(error));
    }
  }

 private:
  std::string saved_;
  bool switched_ = false;
};

// Waits for a started program up to the limit and turns how it ended into the outcome.
Outcome AwaitProgram(platform::Process& process, const char* commandLine, std::uint32_t timeLimitMinutes,
                     std::uint32_t waitMilliseconds) {
  platform::ErrorCode error = platform::kSuccess;
  switch (process.Wait(waitMilliseconds, error)) {
    case platform::Process::WaitResult::Failed:
      LogError("execute : WaitForSingleObject Failed with error code %d \n", static_cast<int>(error));
      return OutcomeFor(error);

    case platform::Process::WaitResult::TimedOut: {
      LogInfo("execute : Terminating the Process for application %s as time is exceeded %d Minutes \n",
              commandLine, static_cast<int>(timeLimitMinutes));
      Outcome outcome = OutcomeFor(platform::kWaitTimeout);
      error = process.Terminate(0);
      if (error == platform::kSuccess) {
        LogInfo("execute : The process has been successfully terminated ..! \n");
      } else {
        LogError("execute : The process termination is failed with error code : %d \n", static_cast<int>(error));
      }
      return outcome;
    }

    case platform::Process::WaitResult::Exited:
      break;
  }

  std::uint32_t exitCode = 0;
  error = process.ExitCode(exitCode);
  if (error != platform::kSuccess) {
    LogInfo("execute : Unable to find the exit code for the application and the error code is : %d \n",
            static_cast<int>(error));
    return OutcomeFor(error);
  }
  Outcome outcome = OutcomeFor(exitCode);
  LogInfo("execute : Exit code for the application : %d \n", static_cast<int>(exitCode));
  return outcome;
}

// Starts the program in the current directory and, unless the limit is 0, waits for it.
// The process handles are closed when this returns, whether or not it could be started.
Outcome RunProgram(const char* commandLine, std::uint32_t timeLimitMinutes, bool showWindow,
                   std::uint32_t waitMilliseconds) {
  platform::Process process;
  // The current directory already is the working directory: naming it again would
  // resolve a relative one a second time, from inside itself.
  platform::ErrorCode error = process.Start(commandLine, nullptr, showWindow);
  if (error != platform::kSuccess) {
    LogInfo("execute : Failed to Create the Process for the application \n");
    return OutcomeFor(error);
  }
  LogInfo("execute : Process successfully created for application %s \n", commandLine);

  if (timeLimitMinutes == 0) return OutcomeFor(platform::kSuccess);
  return AwaitProgram(process, commandLine, timeLimitMinutes, waitMilliseconds);
}

}  // namespace

std::uint32_t ExecuteWithLimit(const char* workingDirectory, const char* commandLine, char** outMessage,
                               std::uint32_t timeLimitMinutes, int showWindow, std::uint32_t waitMilliseconds) {
  LogDebug("@@@@@@@@ Inside execute Method @@@@@@@@ \n");

  if (gv_shutdownInProgress.load() != 0) {
    LogError("execute : Shutdown is in Progress. So returning without executing the process %s .\n",
             commandLine != nullptr ? commandLine : "");
    Deliver(Message(CopyText(kShutdownMessage)), outMessage);
    return platform::kRetry;
  }

  // Windows cannot start an empty command line either; refuse it before the current
  // directory is touched.
  if (commandLine == nullptr || *commandLine == '\0') {
    LogError("execute : No command line given, nothing is executed.\n");
    Outcome outcome = OutcomeFor(platform::kInvalidParameter);
    Deliver(std::move(outcome.message), outMessage);
    return outcome.result;
  }

  Outcome outcome;
  {
    WorkingDirectorySwitch directory;
    if (workingDirectory != nullptr && !directory.Enter(workingDirectory, commandLine, outcome)) {
      Deliver(std::move(outcome.message), outMessage);
      return outcome.result;
    }
    outcome = RunProgram(commandLine, timeLimitMinutes, showWindow != 0, waitMilliseconds);
  }

  LogInfo("execute : Remarks from the CreateProcess is %s for the executable %s \n", TextOf(outcome.message),
          commandLine);
  LogDebug("@@@@@@@@ End Of execute Method @@@@@@@@ \n");
  Deliver(std::move(outcome.message), outMessage);
  return outcome.result;
}

std::uint32_t execute(const char* workingDirectory, const char* commandLine, char** outMessage,
                      std::uint32_t timeLimitMinutes, int showWindow) {
  // Computed wide so a long limit cannot wrap around into a short one.
  std::uint64_t wait = std::min<std::uint64_t>(std::uint64_t{timeLimitMinutes} * kMillisecondsPerMinute, kLongestWait);
  return ExecuteWithLimit(workingDirectory, commandLine, outMessage, timeLimitMinutes, showWindow,
                          static_cast<std::uint32_t>(wait));
}
