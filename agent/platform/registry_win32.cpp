// Win32: registry keys and the service control manager.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "agent/platform/platform.h"

namespace platform {

namespace {

HKEY RootKey(Hive hive) {
  return hive == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM Rights(RegAccess access) {
  return access == RegAccess::Query ? KEY_QUERY_VALUE : KEY_ALL_ACCESS;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The type and stored size of a value, without reading it.
ErrorCode DescribeValue(HKEY key, const std::string& name, DWORD& type, DWORD& bytes) {
  type = REG_NONE;
  bytes = 0;
  return static_cast<ErrorCode>(
      ::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &bytes));
}

}  // namespace

// ---------------------------------------------------------------- registry

struct RegistryKey::Impl {
  HKEY key = nullptr;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { ::RegCloseKey(key); }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

ErrorCode RegistryKey::Open(Hive hive, const std::string& subKey, RegAccess access) {
  Close();
  HKEY key = nullptr;
  const LSTATUS status = ::RegOpenKeyExA(RootKey(hive), subKey.c_str(), 0, Rights(access), &key);
  if (status != ERROR_SUCCESS) return static_cast<ErrorCode>(status);
  impl_ = std::make_unique<Impl>();
  impl_->key = key;
  return kSuccess;
}

void RegistryKey::Close() { impl_.reset(); }
bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

ErrorCode RegistryKey::QueryValueSize(const std::string& name, std::uint32_t& bytes) const {
  if (!impl_) return kInvalidHandle;
  DWORD type = 0;
  DWORD size = 0;
  const ErrorCode status = DescribeValue(impl_->key, name, type, size);
  if (status == kSuccess) bytes = size;
  return status;
}

ErrorCode RegistryKey::QueryString(const std::string& name, std::string& value,
                                   std::uint32_t maxBytes) const {
  if (!impl_) return kInvalidHandle;
  DWORD type = 0;
  DWORD stored = 0;
  ErrorCode status = DescribeValue(impl_->key, name, type, stored);
  if (status != kSuccess) return status;
  if (!IsStringType(type)) return kInvalidData;
  // Read with a buffer no larger than the caller's limit, so an over-long value gives
  // 234 exactly as a fixed caller buffer would; retry if the value grows meanwhile.
  for (;;) {
    // One spare byte keeps the text terminated when the stored value lacks its NUL.
    std::vector<char> buffer(std::min<std::uint64_t>(stored, maxBytes) + 1, '\0');
    DWORD size = static_cast<DWORD>(buffer.size() - 1);
    status = static_cast<ErrorCode>(::RegQueryValueExA(
        impl_->key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size));
    if (status == kMoreData && size > stored && stored < maxBytes) {
      stored = size;
      continue;
    }
    if (status != kSuccess) return status;
    if (!IsStringType(type)) return kInvalidData;
    value.assign(buffer.data(), ::strnlen(buffer.data(), size));
    return kSuccess;
  }
}

ErrorCode RegistryKey::QueryDword(const std::string& name, std::uint32_t& value) const {
  if (!impl_) return kInvalidHandle;
  DWORD type = 0;
  DWORD size = 0;
  ErrorCode status = DescribeValue(impl_->key, name, type, size);
  if (status != kSuccess) return status;
  if (type != REG_DWORD || size != sizeof(DWORD)) return kInvalidData;
  DWORD data = 0;
  size = sizeof(data);
  status = static_cast<ErrorCode>(::RegQueryValueExA(
      impl_->key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size));
  if (status != kSuccess) return status;
  if (type != REG_DWORD) return kInvalidData;
  value = data;
  return kSuccess;
}

ErrorCode RegistryKey::SetDword(const std::string& name, std::uint32_t value) {
  if (!impl_) return kInvalidHandle;
  const DWORD data = value;
  return static_cast<ErrorCode>(::RegSetValueExA(impl_->key, name.c_str(), 0, REG_DWORD,
                                                 reinterpret_cast<const BYTE*>(&data),
                                                 sizeof(data)));
}

// ---------------------------------------------------------------- services

struct ServiceHandle::Impl {
  SC_HANDLE handle = nullptr;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { ::CloseServiceHandle(handle); }
};

ServiceHandle::ServiceHandle() = default;
ServiceHandle::~ServiceHandle() = default;
ServiceHandle::ServiceHandle(ServiceHandle&&) noexcept = default;
ServiceHandle& ServiceHandle::operator=(ServiceHandle&&) noexcept = default;

ErrorCode ServiceHandle::SetStartType(std::uint32_t startType) {
  if (!impl_) return kInvalidHandle;
  if (!::ChangeServiceConfigA(impl_->handle, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
    return ::GetLastError();
  }
  return kSuccess;
}

void ServiceHandle::Close() { impl_.reset(); }
bool ServiceHandle::IsOpen() const { return impl_ != nullptr; }

struct ServiceManager::Impl {
  SC_HANDLE handle = nullptr;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { ::CloseServiceHandle(handle); }
};

ServiceManager::ServiceManager() = default;
ServiceManager::~ServiceManager() = default;
ServiceManager::ServiceManager(ServiceManager&&) noexcept = default;
ServiceManager& ServiceManager::operator=(ServiceManager&&) noexcept = default;

ErrorCode ServiceManager::Open() {
  Close();
  SC_HANDLE handle = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (handle == nullptr) return ::GetLastError();
  impl_ = std::make_unique<Impl>();
  impl_->handle = handle;
  return kSuccess;
}

ErrorCode ServiceManager::OpenServiceForConfig(const std::string& name,
                                               ServiceHandle& service) const {
  service.Close();
  if (!impl_) return kInvalidHandle;
  SC_HANDLE handle = ::OpenServiceA(impl_->handle, name.c_str(), SERVICE_CHANGE_CONFIG);
  if (handle == nullptr) return ::GetLastError();
  service.impl_ = std::make_unique<ServiceHandle::Impl>();
  service.impl_->handle = handle;
  return kSuccess;
}

void ServiceManager::Close() { impl_.reset(); }
bool ServiceManager::IsOpen() const { return impl_ != nullptr; }

}  // namespace platform
