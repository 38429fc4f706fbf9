// Linux: files and directory listings of the simulated machine, with the Windows
// sharing rules played by flock: a handle that shares nothing holds an exclusive
// lock, a handle that shares everything a shared one, both taken without waiting.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "agent/platform/host_error.h"
#include "agent/platform/platform.h"
#include "agent/platform/sim_machine.h"
#include "agent/platform/unique_fd.h"

namespace platform {
namespace {

using host::UniqueFd;

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string ParentOf(const std::string& hostPath) {
  std::size_t cut = hostPath.rfind('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return hostPath.substr(0, cut);
}

std::string BaseOf(const std::string& hostPath) {
  std::size_t cut = hostPath.rfind('/');
  return cut == std::string::npos ? hostPath : hostPath.substr(cut + 1);
}

// 32 when another handle holds the file without sharing it, else 0 (a missing or
// unreadable file is left for the operation itself to report).
ErrorCode CheckNotHeldExclusively(const std::string& hostPath) {
  UniqueFd fd(::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return kSuccess;
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) return kSharingViolation;
  return kSuccess;
}

bool CopyContents(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
    }
  }
}

// Fills a new temporary file beside `to` with the contents of `from` and renames it
// over `to`: a copy that fails half way never touches the target.
ErrorCode CopyThroughTemporary(int from, mode_t mode, const std::string& to) {
  std::string temporary = ParentOf(to) + "/." + BaseOf(to) + ".copy-XXXXXX";
  UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!out.valid()) return host::PathError(errno, temporary);
  ErrorCode status = kSuccess;
  if (!CopyContents(from, out.get()) || ::fchmod(out.get(), mode & 07777) != 0 ||
      ::fsync(out.get()) != 0 || out.close() != 0) {
    status = host::Error(errno);
  } else if (::rename(temporary.c_str(), to.c_str()) != 0) {
    status = host::PathError(errno, to);
  }
  if (status != kSuccess) ::unlink(temporary.c_str());
  return status;
}

// Windows wildcards without regard to case: * any run, ? one character.
bool Glob(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      starName = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// A final ".*" also matches the end of a name without a dot, as on Windows, so
// "*.*" lists every name and "app*.*" also finds "app".
bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (Glob(pattern, name)) return true;
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         Glob(pattern.substr(0, pattern.size() - 2), name);
}

// "." and ".." first, then by name without regard to case, as NTFS lists them.
bool ListingOrder(const std::string& a, const std::string& b) {
  auto rank = [](const std::string& s) { return s == "." ? 0 : s == ".." ? 1 : 2; };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  auto upperLess = [](char x, char y) { return Upper(x) < Upper(y); };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), upperLess)) return true;
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), upperLess)) return false;
  return a < b;
}

}  // namespace

// ---------------------------------------------------------------- File

struct File::Impl {
  UniqueFd fd;
};

File::File() = default;
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

ErrorCode File::Open(const std::string& path, FileAccess access, FileShare share,
                     FileDisposition disposition) {
  Close();
  const std::string hostPath = sim::ToHost(path);
  auto impl = std::make_unique<Impl>();
  if (access == FileAccess::ReadSecurityOnly) {
    // No data access: Windows checks no sharing for such a handle, and truncating
    // would need write access.
    if (disposition == FileDisposition::TruncateExisting) return kInvalidParameter;
    impl->fd.reset(::open(hostPath.c_str(), O_PATH | O_CLOEXEC));
    if (!impl->fd.valid()) return host::PathError(errno, hostPath);
    impl_ = std::move(impl);
    return kSuccess;
  }
  impl->fd.reset(::open(hostPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!impl->fd.valid()) return host::PathError(errno, hostPath);
  const int lock = share == FileShare::None ? LOCK_EX : LOCK_SH;
  if (::flock(impl->fd.get(), lock | LOCK_NB) != 0) return host::Error(errno);
  // Truncate only once the lock shows nobody else may object.
  if (disposition == FileDisposition::TruncateExisting && ::ftruncate(impl->fd.get(), 0) != 0)
    return host::Error(errno);
  impl_ = std::move(impl);
  return kSuccess;
}

ErrorCode File::Size(std::uint64_t& size) const {
  if (!impl_) return kInvalidHandle;
  struct stat st {};
  if (::fstat(impl_->fd.get(), &st) != 0) return host::Error(errno);
  size = static_cast<std::uint64_t>(st.st_size);
  return kSuccess;
}

void File::Close() { impl_.reset(); }
bool File::IsOpen() const { return impl_ != nullptr; }

// ---------------------------------------------------------------- copy, remove, rename

ErrorCode CopyFileReplacing(const std::string& from, const std::string& to) {
  const std::string source = sim::ToHost(from);
  const std::string target = sim::ToHost(to);
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  if (!in.valid()) return host::PathError(errno, source);
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) return host::Error(errno);
  if (!S_ISREG(st.st_mode)) return kAccessDenied;
  if (::flock(in.get(), LOCK_SH | LOCK_NB) != 0) return host::Error(errno);
  if (ErrorCode held = CheckNotHeldExclusively(target); held != kSuccess) return held;
  return CopyThroughTemporary(in.get(), st.st_mode, target);
}

ErrorCode RemoveFile(const std::string& path) {
  const std::string hostPath = sim::ToHost(path);
  if (ErrorCode held = CheckNotHeldExclusively(hostPath); held != kSuccess) return held;
  if (::unlink(hostPath.c_str()) != 0) return host::PathError(errno, hostPath);
  return kSuccess;
}

ErrorCode RenameFile(const std::string& from, const std::string& to) {
  const std::string source = sim::ToHost(from);
  const std::string target = sim::ToHost(to);
  if (ErrorCode held = CheckNotHeldExclusively(source); held != kSuccess) return held;
  int result = ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
  if (result != 0 && errno == EINVAL) {
    // A file system without RENAME_NOREPLACE: a hard link cannot replace either.
    result = ::link(source.c_str(), target.c_str());
    if (result == 0) ::unlink(source.c_str());
  }
  if (result == 0) return kSuccess;
  const int err = errno;
  if (err == EEXIST) return kAlreadyExists;
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return host::PathError(errno, source);
  return host::PathError(err, target);
}

// ---------------------------------------------------------------- listings

struct DirectoryListing::Impl {
  std::vector<std::string> names;
  std::size_t current = 0;
};

DirectoryListing::DirectoryListing() = default;
DirectoryListing::~DirectoryListing() = default;

ErrorCode DirectoryListing::Start(const std::string& pattern) {
  Close();
  const std::size_t cut = pattern.find_last_of("\\/");
  const std::string directory = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
  const std::string namePattern = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  std::string hostDirectory = directory.empty() ? "." : sim::ToHost(directory);
  if (hostDirectory.empty()) hostDirectory = "/";

  DIR* dir = ::opendir(hostDirectory.c_str());
  if (dir == nullptr) return errno == ENOENT ? kPathNotFound : host::Error(errno);
  auto impl = std::make_unique<Impl>();
  while (const dirent* entry = ::readdir(dir)) {
    if (MatchesPattern(namePattern, entry->d_name)) impl->names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  if (impl->names.empty()) return kFileNotFound;
  std::sort(impl->names.begin(), impl->names.end(), ListingOrder);
  impl_ = std::move(impl);
  return kSuccess;
}

const std::string& DirectoryListing::Name() const {
  static const std::string kNone;
  return impl_ && impl_->current < impl_->names.size() ? impl_->names[impl_->current] : kNone;
}

ErrorCode DirectoryListing::Next() {
  if (!impl_) return kInvalidHandle;
  if (impl_->current + 1 >= impl_->names.size()) {
    impl_->current = impl_->names.size();
    return kNoMoreFiles;
  }
  ++impl_->current;
  return kSuccess;
}

std::intptr_t DirectoryListing::Id() const {
  // Like a Windows search handle: unique while open, -1 (invalid) otherwise.
  return impl_ ? reinterpret_cast<std::intptr_t>(impl_.get()) : -1;
}

void DirectoryListing::Close() { impl_.reset(); }

}  // namespace platform
