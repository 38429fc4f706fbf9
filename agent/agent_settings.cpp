#include "agent/agent_settings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/log_writer.h"

char* gv_agentInstallDir = nullptr;
std::uint32_t gv_eventEnabled = 1;

namespace {

// Room beyond the reported size, so a value that grows between the two reads (or one
// stored without its terminator) still ends with a NUL.
constexpr std::uint32_t kStringSlack = 5;

int AsLogged(platform::ErrorCode code) { return static_cast<int>(code); }

}  // namespace

std::uint32_t ReadDwordRegistryData(platform::Hive hive, const char* subKey, const char* valueName,
                                    std::uint32_t* data) {
  platform::RegistryKey key;
  platform::ErrorCode result = key.Open(hive, subKey, platform::RegAccess::Query);
  if (result == platform::kFileNotFound) {
    LogDebug("ReadDwordRegistryData:  value  %s Not found: %d \n", valueName, AsLogged(result));
    return result;
  }
  if (result != platform::kSuccess) {
    LogError("ReadDwordRegistryData: Error while opening registry key %s,and the errorcode is : %d \n",
             subKey, AsLogged(result));
    return result;
  }
  std::uint32_t value = 0;
  result = key.QueryDword(valueName, value);
  if (result == platform::kSuccess) {
    *data = value;
  } else if (result == platform::kFileNotFound) {
    LogDebug("ReadDwordRegistryData:  value  %s Not found: %d \n", valueName, AsLogged(result));
  } else {
    LogError("ReadDwordRegistryData: Error while reading DWORD value of %s : %d \n", valueName,
             AsLogged(result));
  }
  return result;
}

std::uint32_t ReadRegSZ(platform::Hive hive, const char* subKey, const char* valueName, char** value) {
  *value = nullptr;
  platform::RegistryKey key;
  platform::ErrorCode result = key.Open(hive, subKey, platform::RegAccess::Query);
  if (result != platform::kSuccess) {
    LogError("ReadRegSZ: Error while opening registry key %s ,and the error is  %d \n", subKey,
             AsLogged(result));
    return result;
  }
  std::uint32_t reported = 0;
  result = key.QueryValueSize(valueName, reported);
  if (result != platform::kSuccess) return result;

  const std::uint32_t capacity = reported + kStringSlack;
  auto* buffer = static_cast<char*>(std::calloc(capacity, 1));
  if (buffer == nullptr) return platform::kNotEnoughMemory;
  *value = buffer;

  std::string text;
  result = key.QueryString(valueName, text, capacity);
  if (result != platform::kSuccess) {
    LogError("ReadRegSZ: Error while reading DWORD value! %d \n", AsLogged(result));
    return result;
  }
  // The last byte stays zero whatever the registry handed back.
  std::memcpy(buffer, text.data(), std::min<std::size_t>(text.size(), capacity - 1));
  return platform::kSuccess;
}

std::uint32_t GetAgentInstallDir(char** installDir) {
  return ReadRegSZ(platform::Hive::LocalMachine, kAgentRegistryKey, "VTAgentInstallDir", installDir);
}

std::uint32_t ReadEventEnabled(std::uint32_t* flag) {
  if (ReadDwordRegistryData(platform::Hive::LocalMachine, kAgentRegistryKey, "VTEventEnabled", flag) != 0) {
    *flag = 1;
  }
  return 0;
}
