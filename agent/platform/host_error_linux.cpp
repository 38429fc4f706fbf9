#include "agent/platform/host_error.h"

#include <sys/stat.h>

#include <cerrno>

namespace platform::host {
namespace {

constexpr ErrorCode kTooManyOpenFiles = 4;
constexpr ErrorCode kNotSameDevice = 17;
constexpr ErrorCode kDiskFull = 112;
constexpr ErrorCode kDirNotEmpty = 145;
constexpr ErrorCode kFilenameTooLong = 206;
constexpr ErrorCode kIoDevice = 1117;

std::string Parent(const std::string& hostPath) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t cut = path.rfind('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

}  // namespace

bool IsDirectory(const std::string& hostPath) {
  struct stat st {};
  return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

ErrorCode Error(int err) {
  switch (err) {
    case 0: return kSuccess;
    case ENOENT: return kFileNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return kAccessDenied;
    case EBADF: return kInvalidHandle;
    case ENOMEM: return kNotEnoughMemory;
    case EWOULDBLOCK: return kSharingViolation;
    case EEXIST: return kAlreadyExists;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    case EXDEV: return kNotSameDevice;
    case ENOSPC:
    case EDQUOT: return kDiskFull;
    case ENOTEMPTY: return kDirNotEmpty;
    case ENAMETOOLONG: return kFilenameTooLong;
    case EIO: return kIoDevice;
    default: return kInvalidParameter;
  }
}

ErrorCode PathError(int err, const std::string& hostPath) {
  if (err == ENOENT && !IsDirectory(Parent(hostPath))) return kPathNotFound;
  return Error(err);
}

}  // namespace platform::host
