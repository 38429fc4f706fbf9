// Linux: the service manager of the simulated machine. A service is its key under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services and its start type is the key's
// Start value, which is exactly where Windows keeps them.
#include <string>

#include "agent/platform/platform.h"
#include "agent/platform/reg_file.h"
#include "agent/platform/registry_store.h"

namespace platform {
namespace {

constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
constexpr std::uint32_t kLastStartType = 4;  // SERVICE_DISABLED
constexpr ErrorCode kInvalidServiceName = 123;

std::string ServiceKey(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

}  // namespace

struct ServiceHandle::Impl {
  std::string key;
};

ServiceHandle::ServiceHandle() = default;
ServiceHandle::~ServiceHandle() = default;
ServiceHandle::ServiceHandle(ServiceHandle&&) noexcept = default;
ServiceHandle& ServiceHandle::operator=(ServiceHandle&&) noexcept = default;

ErrorCode ServiceHandle::SetStartType(std::uint32_t startType) {
  if (!impl_) return kInvalidHandle;
  if (startType > kLastStartType) return kInvalidParameter;
  const std::string& key = impl_->key;
  return sim::ChangeRegistry([&](reg::Document& document) {
    if (!document.HasKey(key)) return kServiceDoesNotExist;
    document.SetDword(key, "Start", startType);
    return kSuccess;
  });
}

void ServiceHandle::Close() { impl_.reset(); }
bool ServiceHandle::IsOpen() const { return impl_ != nullptr; }

struct ServiceManager::Impl {};

ServiceManager::ServiceManager() = default;
ServiceManager::~ServiceManager() = default;
ServiceManager::ServiceManager(ServiceManager&&) noexcept = default;
ServiceManager& ServiceManager::operator=(ServiceManager&&) noexcept = default;

ErrorCode ServiceManager::Open() {
  impl_ = std::make_unique<Impl>();
  return kSuccess;
}

ErrorCode ServiceManager::OpenServiceForConfig(const std::string& name,
                                               ServiceHandle& service) const {
  service.Close();
  if (!impl_) return kInvalidHandle;
  // Service names cannot hold a backslash; an empty one names no service.
  if (name.empty() || name.find_first_of("\\/") != std::string::npos) return kInvalidServiceName;
  reg::Document document;
  ErrorCode status = sim::LoadRegistry(document);
  if (status != kSuccess) return status;
  if (!document.HasKey(ServiceKey(name))) return kServiceDoesNotExist;
  service.impl_ = std::make_unique<ServiceHandle::Impl>();
  service.impl_->key = ServiceKey(name);
  return kSuccess;
}

void ServiceManager::Close() { impl_.reset(); }
bool ServiceManager::IsOpen() const { return impl_ != nullptr; }

}  // namespace platform
