// Linux: registry keys of the simulated machine, kept in its registry.reg file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "agent/platform/platform.h"
#include "agent/platform/reg_file.h"
#include "agent/platform/registry_store.h"
#include "agent/platform/sim_machine.h"
#include "agent/platform/unique_fd.h"

namespace platform {
namespace sim {
namespace {

std::mutex& WriterMutex() {
  static std::mutex mutex;
  return mutex;
}

bool ReadAll(int fd, std::string& text) {
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// Writes the whole text to a temporary file beside the registry, flushes it to disk
// and renames it over the registry, so readers see the old or the new file, never a
// part. The temporary name is fixed: writers are serialised by the caller.
ErrorCode StoreText(const std::string& text) {
  const std::string file = RegistryFile();
  const std::string temporary = file + ".new";
  host::UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) return kAccessDenied;
  if (!WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0 || fd.close() != 0 ||
      ::rename(temporary.c_str(), file.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return kAccessDenied;
  }
  // Best effort: make the rename itself durable.
  host::UniqueFd dir(::open(Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return kSuccess;
}

}  // namespace

const char* HiveName(Hive hive) {
  return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

ErrorCode LoadRegistry(reg::Document& document) {
  document = reg::Document();
  if (Root().empty()) return kSuccess;
  host::UniqueFd fd(::open(RegistryFile().c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return (errno == ENOENT || errno == ENOTDIR) ? kSuccess : kAccessDenied;
  std::string text;
  if (!ReadAll(fd.get(), text)) return kAccessDenied;
  document = reg::Document::Parse(text);
  return kSuccess;
}

ErrorCode ChangeRegistry(const std::function<ErrorCode(reg::Document&)>& change) {
  if (Root().empty()) return kAccessDenied;
  std::lock_guard<std::mutex> inProcess(WriterMutex());
  // The machine directory's lock keeps writers of other processes out between our
  // read and our rename.
  host::UniqueFd dir(::open(Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return kAccessDenied;
  while (::flock(dir.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return kAccessDenied;
  }
  reg::Document document;
  ErrorCode status = LoadRegistry(document);
  if (status != kSuccess) return status;
  status = change(document);
  if (status != kSuccess) return status;
  return StoreText(document.Write());
}

}  // namespace sim

namespace {

constexpr ErrorCode kKeyDeleted = 1018;

}  // namespace

struct RegistryKey::Impl {
  std::string path;  // "HKEY_...\\sub\\key"
  RegAccess access = RegAccess::Query;

  // The value as the registry holds it now.
  ErrorCode Find(const std::string& name, reg::Value& value) const {
    reg::Document document;
    ErrorCode status = sim::LoadRegistry(document);
    if (status != kSuccess) return status;
    std::optional<reg::Value> found = document.Find(path, name);
    if (!found) return kFileNotFound;
    value = std::move(*found);
    return kSuccess;
  }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

ErrorCode RegistryKey::Open(Hive hive, const std::string& subKey, RegAccess access) {
  Close();
  auto impl = std::make_unique<Impl>();
  impl->path = reg::JoinKeyPath(sim::HiveName(hive), subKey);
  impl->access = access;
  if (impl->path != sim::HiveName(hive)) {
    reg::Document document;
    ErrorCode status = sim::LoadRegistry(document);
    if (status != kSuccess) return status;
    if (!document.HasKey(impl->path)) return kFileNotFound;
  }
  impl_ = std::move(impl);
  return kSuccess;
}

void RegistryKey::Close() { impl_.reset(); }
bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

ErrorCode RegistryKey::QueryValueSize(const std::string& name, std::uint32_t& bytes) const {
  if (!impl_) return kInvalidHandle;
  reg::Value value;
  ErrorCode status = impl_->Find(name, value);
  if (status == kSuccess) bytes = value.size;
  return status;
}

ErrorCode RegistryKey::QueryString(const std::string& name, std::string& value,
                                   std::uint32_t maxBytes) const {
  if (!impl_) return kInvalidHandle;
  reg::Value found;
  ErrorCode status = impl_->Find(name, found);
  if (status != kSuccess) return status;
  if (found.type != reg::ValueType::String && found.type != reg::ValueType::ExpandString)
    return kInvalidData;
  if (found.size > maxBytes) return kMoreData;
  value = std::move(found.text);
  return kSuccess;
}

ErrorCode RegistryKey::QueryDword(const std::string& name, std::uint32_t& value) const {
  if (!impl_) return kInvalidHandle;
  reg::Value found;
  ErrorCode status = impl_->Find(name, found);
  if (status != kSuccess) return status;
  if (found.type != reg::ValueType::Dword) return kInvalidData;
  value = found.dword;
  return kSuccess;
}

ErrorCode RegistryKey::SetDword(const std::string& name, std::uint32_t value) {
  if (!impl_) return kInvalidHandle;
  if (impl_->access != RegAccess::All) return kAccessDenied;
  const std::string& path = impl_->path;
  return sim::ChangeRegistry([&](reg::Document& document) {
    // Another process may have removed the key since it was opened.
    if (!document.HasKey(path) && path.find('\\') != std::string::npos) return kKeyDeleted;
    document.SetDword(path, name, value);
    return kSuccess;
  });
}

}  // namespace platform
