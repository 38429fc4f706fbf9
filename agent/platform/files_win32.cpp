// Win32: files, directories, the working directory and the log stream.
#include <direct.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include "agent/platform/platform.h"

namespace platform {

namespace {

DWORD DesiredAccess(FileAccess access) {
  return access == FileAccess::ReadWrite ? GENERIC_READ | GENERIC_WRITE : READ_CONTROL;
}

DWORD ShareMode(FileShare share) {
  return share == FileShare::ReadWriteDelete
             ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
             : 0;
}

DWORD CreationDisposition(FileDisposition disposition) {
  return disposition == FileDisposition::OpenExisting ? OPEN_EXISTING : TRUNCATE_EXISTING;
}

// Backup semantics let the shared size check open whatever the path names.
DWORD FlagsFor(FileShare share, FileDisposition disposition) {
  return share == FileShare::ReadWriteDelete && disposition == FileDisposition::OpenExisting
             ? FILE_FLAG_BACKUP_SEMANTICS
             : FILE_ATTRIBUTE_NORMAL;
}

// Calls a "fill this buffer" API that returns the length it needs (terminator included)
// when the buffer is too small, the length it wrote otherwise and 0 on failure.
// Grows the buffer until the text fits, so no length is too long.
template <typename Fill>
ErrorCode ReadGrowingText(Fill fill, std::string& text) {
  std::string buffer;
  DWORD needed = fill(nullptr, 0);
  for (;;) {
    if (needed == 0) return ::GetLastError();
    buffer.assign(needed, '\0');
    const DWORD written = fill(buffer.data(), needed);
    if (written == 0) return ::GetLastError();
    if (written < needed) {
      buffer.resize(written);
      text = std::move(buffer);
      return kSuccess;
    }
    needed = written;  // it grew in between
  }
}

}  // namespace

// ---------------------------------------------------------------- files

struct File::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { ::CloseHandle(handle); }
};

File::File() = default;
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

ErrorCode File::Open(const std::string& path, FileAccess access, FileShare share,
                     FileDisposition disposition) {
  Close();
  HANDLE handle = ::CreateFileA(path.c_str(), DesiredAccess(access), ShareMode(share), nullptr,
                                CreationDisposition(disposition), FlagsFor(share, disposition),
                                nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
  impl_ = std::make_unique<Impl>();
  impl_->handle = handle;
  return kSuccess;
}

ErrorCode File::Size(std::uint64_t& size) const {
  if (!impl_) return kInvalidHandle;
  LARGE_INTEGER value{};
  if (!::GetFileSizeEx(impl_->handle, &value)) return ::GetLastError();
  size = static_cast<std::uint64_t>(value.QuadPart);
  return kSuccess;
}

void File::Close() { impl_.reset(); }
bool File::IsOpen() const { return impl_ != nullptr; }

ErrorCode CopyFileReplacing(const std::string& from, const std::string& to) {
  return ::CopyFileA(from.c_str(), to.c_str(), FALSE) ? kSuccess : ::GetLastError();
}

ErrorCode RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) ? kSuccess : ::GetLastError();
}

ErrorCode RenameFile(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) ? kSuccess : ::GetLastError();
}

int MakeDirectory(const std::string& path) { return ::_mkdir(path.c_str()) == 0 ? 0 : errno; }

ErrorCode GetWorkingDirectory(std::string& path) {
  return ReadGrowingText(
      [](char* buffer, DWORD size) { return ::GetCurrentDirectoryA(size, buffer); }, path);
}

ErrorCode SetWorkingDirectory(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) ? kSuccess : ::GetLastError();
}

ErrorCode WindowsDirectory(std::string& path) {
  return ReadGrowingText(
      [](char* buffer, DWORD size) {
        return static_cast<DWORD>(::GetWindowsDirectoryA(buffer, size));
      },
      path);
}

std::FILE* OpenLogStream(const std::string& path, bool truncate) {
  // "N": the handle is not inheritable, so a started program never holds the log open
  // and a rename or truncation during rotation is not blocked by it.
  return std::fopen(path.c_str(), truncate ? "wN" : "a+N");
}

std::string HostPath(const std::string& windowsPath) { return windowsPath; }

// ---------------------------------------------------------------- directory listing

struct DirectoryListing::Impl {
  HANDLE find = INVALID_HANDLE_VALUE;
  std::string name;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  }
};

DirectoryListing::DirectoryListing() = default;
DirectoryListing::~DirectoryListing() = default;

ErrorCode DirectoryListing::Start(const std::string& pattern) {
  Close();
  WIN32_FIND_DATAA data{};
  HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError();
  impl_ = std::make_unique<Impl>();
  impl_->find = find;
  impl_->name = data.cFileName;
  return kSuccess;
}

const std::string& DirectoryListing::Name() const {
  static const std::string kNone;
  return impl_ ? impl_->name : kNone;
}

ErrorCode DirectoryListing::Next() {
  if (!impl_) return kInvalidHandle;
  WIN32_FIND_DATAA data{};
  if (!::FindNextFileA(impl_->find, &data)) return ::GetLastError();
  impl_->name = data.cFileName;
  return kSuccess;
}

std::intptr_t DirectoryListing::Id() const {
  return impl_ ? reinterpret_cast<std::intptr_t>(impl_->find) : 0;
}

void DirectoryListing::Close() { impl_.reset(); }

}  // namespace platform
