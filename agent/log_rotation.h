// Size-based rotation of log files into numbered copies ("app.log" -> app1.log,
// app2.log, ... copy 1 the newest), either truncating the live file in place (the
// agent's own open log) or moving it into copy 1 (a list of other logs).
// Names handed out (GetRotatedLogName) are malloc'd; the caller frees them.
// Two rotations of the same folder must not run at once (one timer at a time ensures
// it); logging from other threads during a rotation is safe.
#pragma once

#include <cstdint>

// Rotation modes of RotateSpecificLogs.
inline constexpr int kRotateIfOverLimit = 0;  // check each size, move the file into copy 1
inline constexpr int kRotateAndTruncate = 1;  // caller decided: copy, then truncate in place

// Rotates `fileName` in `directory` (or the agent's logs folder when null) when it has
// reached `sizeLimit` bytes. Returns 0, or RotateSpecificLogs' result when it rotated.
std::uint32_t RotateLoggerForEverRunningProcess(const char* directory, const char* fileName,
                                                int copiesKept, int sizeLimit);
// 1 when the file is at least `sizeLimit` bytes long, else 0 (also when it cannot be
// opened or measured: it then counts as empty).
int CheckLogSizeReached(const char* path, std::int64_t sizeLimit);
// Rotates each ";"-separated name of `fileList` found in `directory` (the agent's logs
// folder when null), keeping `copiesKept` - 1 numbered copies. The list is not changed.
// A live file is deleted or truncated only after its copy succeeded. Returns 0, or the
// registry error when no directory is given and the installation directory is unknown.
std::uint32_t RotateSpecificLogs(const char* directory, const char* fileList, int copiesKept,
                                 int sizeLimit, int mode);
// Number of entries of `directory` whose names start with `baseName` (the live file
// included); -1 when nothing matches or the listing fails.
int FindNoOfRepeatedFileNames(const char* directory, const char* baseName);
// Name of copy `n` of `fileName`: directory, "\\", the part of the name before its
// first ".log" (empty without one), n, ".log". New string; null when out of memory.
char* GetRotatedLogName(const char* directory, const char* fileName, int n);
// Stores the file's size in *size and returns non-zero; 0 (size 0) when the file
// cannot be opened or measured, or an argument is null.
int GetFileSize64(const char* path, std::int64_t* size);
