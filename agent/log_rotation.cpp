#include "agent/log_rotation.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/error_messages.h"
#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "agent/platform/platform.h"

namespace {

int AsLogged(platform::ErrorCode code) { return static_cast<int>(code); }

char* NewCString(const std::string& text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// The part of a log name before its first ".log"; empty when there is none.
std::string BaseName(std::string_view fileName) {
  std::size_t cut = fileName.find(".log");
  return cut == std::string_view::npos ? std::string() : std::string(fileName.substr(0, cut));
}

std::string CopyName(const std::string& directory, const std::string& baseName, int n) {
  return directory + "\\" + baseName + std::to_string(n) + ".log";
}

// GetFileSize64 with the reason of a failure. Opens the file without data access,
// which Windows allows even while another handle holds it without sharing.
platform::ErrorCode MeasureFile(const std::string& path, std::int64_t& size) {
  size = 0;
  platform::File file;
  platform::ErrorCode error = file.Open(path, platform::FileAccess::ReadSecurityOnly, platform::FileShare::None,
                                        platform::FileDisposition::OpenExisting);
  if (error != platform::kSuccess) return error;
  std::uint64_t measured = 0;
  error = file.Size(measured);
  if (error == platform::kSuccess) size = static_cast<std::int64_t>(measured);
  return error;
}

// The names of a ";"-separated list; empty names are skipped, as a tokenizer would.
std::vector<std::string> SplitFileList(std::string_view list) {
  std::vector<std::string> names;
  while (!list.empty()) {
    std::size_t cut = list.find(';');
    std::string_view name = list.substr(0, cut);
    if (!name.empty()) names.emplace_back(name);
    if (cut == std::string_view::npos) break;
    list.remove_prefix(cut + 1);
  }
  return names;
}

// The live file's delete message has two spaces before the colon, a copy's one.
enum class DeleteVariant { LiveFile, NumberedCopy };

void DeleteWithMessage(const std::string& path, DeleteVariant variant) {
  platform::ErrorCode error = platform::RemoveFile(path);
  if (error == platform::kSuccess) {
    LogInfo("RotateSpecificLogs : The file %s was successfully deleted..:\n", path.c_str());
  } else if (variant == DeleteVariant::LiveFile) {
    LogInfo("RotateSpecificLogs : Unable to delete the file %s and the error code is  :%d\n",
            path.c_str(), AsLogged(error));
  } else {
    LogInfo("RotateSpecificLogs : Unable to delete the file %s and the error code is :%d\n",
            path.c_str(), AsLogged(error));
  }
}

void LogCopyFailed(const std::string& from, const std::string& to, platform::ErrorCode error) {
  LogInfo("RotateSpecificLogs : CopyFile failed to move from %s to  %s and the error code is %d \n",
          from.c_str(), to.c_str(), AsLogged(error));
}

// Mode 0: the size of a file nobody else has open, or false (with its line) when the
// file is missing or held by someone. A file whose size cannot be read counts as empty
// and is left alone: removing it would lose a log that was never copied.
bool SizeOfUnsharedFile(const std::string& path, std::int64_t& size) {
  platform::File file;
  platform::ErrorCode error = file.Open(path, platform::FileAccess::ReadWrite, platform::FileShare::None,
                                        platform::FileDisposition::OpenExisting);
  if (error != platform::kSuccess) {
    LogError("RotateSpecificLogs : hFile is NULL or not AVAILABLE (Errorcode : %d) for the file name %s . \n",
             AsLogged(error), path.c_str());
    return false;
  }
  platform::ErrorCode sizeError = MeasureFile(path, size);
  if (sizeError == platform::kSuccess) {
    LogInfo("RotateSpecificLogs : Sucessfully got the %s File size = %lld \n", path.c_str(),
            static_cast<long long>(size));
  } else {
    LogInfo("RotateSpecificLogs : The %s File size detection is failed and the error code is %d \n",
            path.c_str(), AsLogged(sizeError));
  }
  return true;
}

// Mode 0, last step: the live file moves into copy 1; it is removed only once the copy
// exists.
void MoveLiveIntoFirstCopy(const std::string& live, const std::string& target) {
  platform::ErrorCode error = platform::CopyFileReplacing(live, target);
  if (error != platform::kSuccess) {
    LogCopyFailed(live, target, error);
    return;
  }
  LogInfo("RotateSpecificLogs : File successfully copied from %s to  %s . \n", live.c_str(), target.c_str());
  DeleteWithMessage(live, DeleteVariant::LiveFile);
}

// Mode 1, last step: the live file (the open log) is copied into copy 1 and emptied.
// Copy and truncation happen under one hold of the log writer's lock, so a line
// written by another thread lands either in the copy or in the emptied file, never
// between the two. Nothing is logged while the lock is held: the lock is not
// re-entrant.
void CopyLiveAndTruncate(const std::string& live, const std::string& target) {
  platform::ErrorCode copyError = platform::kSuccess;
  platform::ErrorCode truncateError = platform::kSuccess;
  {
    ObjectLockGuard lock(gv_logLockKey.load(std::memory_order_acquire));
    copyError = platform::CopyFileReplacing(live, target);
    if (copyError == platform::kSuccess) {
      platform::File file;
      truncateError = file.Open(live, platform::FileAccess::ReadWrite, platform::FileShare::ReadWriteDelete,
                                platform::FileDisposition::TruncateExisting);
    }
  }
  if (copyError != platform::kSuccess) {
    LogCopyFailed(live, target, copyError);
    return;
  }
  LogInfo("RotateSpecificLogs : File successfully copied from %s to  %s and the first file is truncated now . \n",
          live.c_str(), target.c_str());
  if (truncateError != platform::kSuccess) {
    std::printf("RotateSpecificLogs : Unable to truncate the file %s and the error code is %d \n", live.c_str(),
                AsLogged(truncateError));
  }
}

// Copy `from` over `to`, then remove `from`; a failed copy leaves both as they were.
void ShiftCopy(const std::string& from, const std::string& to) {
  platform::ErrorCode error = platform::CopyFileReplacing(from, to);
  if (error != platform::kSuccess) {
    LogCopyFailed(from, to, error);
    return;
  }
  LogInfo("RotateSpecificLogs : File copied from %s to  %s . \n", from.c_str(), to.c_str());
  DeleteWithMessage(from, DeleteVariant::NumberedCopy);
}

// Shifts copies 1..i-1 up by one (dropping what would pass copy k-1) and puts the live
// file into copy 1. `i` counts the live file and its copies.
void ShiftGenerations(const std::string& directory, const std::string& live, const std::string& baseName,
                      int copiesKept, int mode) {
  int i = FindNoOfRepeatedFileNames(directory.c_str(), baseName.c_str());
  LogInfo("RotateSpecificLogs : The return Value from FindNumberOfRepeatedFileNames method is : %d \n", i);
  while (i >= 1) {
    std::string source = CopyName(directory, baseName, i - 1);
    LogInfo("RotateSpecificLogs : The tempFileName1 : %s . \n", source.c_str());
    if (i >= copiesKept) {
      DeleteWithMessage(source, DeleteVariant::NumberedCopy);
      i = copiesKept - 1;
      source = CopyName(directory, baseName, copiesKept - 2);
    }
    std::string target = CopyName(directory, baseName, i);
    LogInfo("RotateSpecificLogs : The tempFileName2 : %s . \n", target.c_str());
    if (i == 1 && mode == kRotateIfOverLimit) {
      MoveLiveIntoFirstCopy(live, target);
    } else if (i == 1 && mode == kRotateAndTruncate) {
      CopyLiveAndTruncate(live, target);
    } else {
      ShiftCopy(source, target);
    }
    --i;
  }
}

void RotateOneLog(const std::string& directory, const std::string& name, int copiesKept, int sizeLimit,
                  int mode) {
  LogInfo("RotateSpecificLogs : Log File Name : %s\n", name.c_str());
  const std::string path = directory + "\\" + name;
  std::int64_t size = 0;
  if (mode == kRotateIfOverLimit && !SizeOfUnsharedFile(path, size)) return;

  const bool rotate = (mode == kRotateIfOverLimit && size > sizeLimit) || mode == kRotateAndTruncate;
  if (!rotate) return;
  ShiftGenerations(directory, path, BaseName(name), copiesKept, mode);
}

}  // namespace

std::uint32_t RotateLoggerForEverRunningProcess(const char* directory, const char* fileName, int copiesKept,
                                                int sizeLimit) {
  std::string folder = directory != nullptr
                           ? std::string(directory) + "\\"
                           : std::string(gv_agentInstallDir != nullptr ? gv_agentInstallDir : "") + "logs\\";
  std::string path = folder + fileName;
  LogInfo("RotateLoggerForEverRunningProcess : cSfileName : %s \n", path.c_str());
  if (CheckLogSizeReached(path.c_str(), sizeLimit) == 1) {
    return RotateSpecificLogs(folder.c_str(), fileName, copiesKept, sizeLimit, kRotateAndTruncate);
  }
  return 0;
}

int CheckLogSizeReached(const char* path, std::int64_t sizeLimit) {
  platform::File file;
  platform::ErrorCode error = file.Open(path, platform::FileAccess::ReadWrite, platform::FileShare::ReadWriteDelete,
                                        platform::FileDisposition::OpenExisting);
  if (error != platform::kSuccess) {
    LogError("CheckLogSizeReached : Unable to get the file handle \n");
    LogErrorMessage(error);
  }
  std::uint64_t measured = 0;
  // A handle that could not be opened cannot be measured either, as on Windows.
  error = file.IsOpen() ? file.Size(measured) : platform::kInvalidHandle;
  if (error != platform::kSuccess) {
    LogError("CheckLogSizeReached : Error occurred in getting the size %d \n", AsLogged(error));
    measured = 0;
  }
  file.Close();

  const auto size = static_cast<std::int64_t>(measured);
  LogInfo("CheckLogSizeReached : The log file size of %s is given by %lld \n", path, static_cast<long long>(size));
  if (size < sizeLimit) {
    LogDebug("CheckLogSizeReached : The size is less the required size \n");
    return 0;
  }
  LogInfo("CheckLogSizeReached : The size is greater than the given size .........\n");
  return 1;
}

std::uint32_t RotateSpecificLogs(const char* directory, const char* fileList, int copiesKept, int sizeLimit,
                                 int mode) {
  LogInfo("\n @@@@@@@@@@@@@@@Inside RotateSpecificLogs Method @@@@@@@@@@@@@\n");
  std::string folder;
  if (directory != nullptr) {
    folder = directory;
  } else {
    char* installDir = nullptr;
    std::uint32_t error = GetAgentInstallDir(&installDir);
    if (error != 0) {
      std::free(installDir);
      std::printf("RotateSpecificLogs : Unable to get the agent installed directory %d \n", AsLogged(error));
      return error;
    }
    folder = std::string(installDir) + "logs\\";
    std::free(installDir);
  }
  for (const std::string& name : SplitFileList(fileList != nullptr ? fileList : "")) {
    RotateOneLog(folder, name, copiesKept, sizeLimit, mode);
  }
  LogInfo("\n @@@@@@@@@@@@@@@ End of RotateSpecificLogs Method with error code %d @@@@@@@@@@@@@\n", 0);
  return 0;
}

int FindNoOfRepeatedFileNames(const char* directory, const char* baseName) {
  LogDebug("@@@@@@@@@@@@Inside FindNoOfRepeatedFileNames Method @@@@@@@@@\n");
  if (directory == nullptr || baseName == nullptr) return -1;
  const std::string folder = directory;
  const std::string pattern = folder + "\\" + baseName + "*.*";
  LogInfo("FindNoOfRepeatedFileNames : Successfully allocated szFormattedPath and the value is %s  .\n",
          pattern.c_str());

  int count = -1;
  platform::DirectoryListing listing;
  platform::ErrorCode error = listing.Start(pattern);
  LogInfo("FindNoOfRepeatedFileNames : Successfully finded out first file  %lld  .\n",
          static_cast<long long>(listing.Id()));
  if (error != platform::kSuccess) {
    LogErrorCode(error);
    LogError("FindNumberOfRepeatedFileNames : Unable to find the files/folder.\n");
  } else {
    count = 0;
    do {
      ++count;
      LogInfo("FindNoOfRepeatedFileNames : after memset of szSrcPath is  %s  .\n",
              (folder + "\\" + listing.Name()).c_str());
      error = listing.Next();
    } while (error == platform::kSuccess);
    if (error != platform::kNoMoreFiles) {
      LogErrorCode(error);
      LogError("FindNumberOfRepeatedFileNames : Couldn't find next file :%d\n", AsLogged(error));
      count = -1;
    }
  }
  listing.Close();
  LogInfo("FindNoOfRepeatedFileNames : Going to Free the allocated memory in this method.\n");
  LogDebug("@@@@@@@@@@@@End of FindNoOfRepeatedFileNames Method with return value of No of file count : %d\t  @@@@@@@@@\n",
           count);
  return count;
}

char* GetRotatedLogName(const char* directory, const char* fileName, int n) {
  if (directory == nullptr || fileName == nullptr) return nullptr;
  return NewCString(CopyName(directory, BaseName(fileName), n));
}

int GetFileSize64(const char* path, std::int64_t* size) {
  if (path == nullptr || size == nullptr) return 0;
  return MeasureFile(path, *size) == platform::kSuccess ? 1 : 0;
}
