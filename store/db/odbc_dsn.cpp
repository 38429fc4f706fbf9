#include "store/db/odbc_dsn.h"

#include <odbcinst.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "agent/log_writer.h"
#include "store/db/data_file.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

namespace {

constexpr const char* kOdbcIni = "odbc.ini";

// The attributes of a DSN in their fixed order, values "NULL" (any case) left out.
std::vector<std::pair<const char*, std::string>> DsnAttributes(const char* dsnName, const char* description,
                                                                 const char* server, const char* userId,
                                                                 const char* password, const char* database) {
  const std::array<std::pair<const char*, const char*>, 6> all = {{{"DSN", dsnName},
                                                                   {"DESCRIPTION", description},
                                                                   {"SERVER", server},
                                                                   {"UID", userId},
                                                                   {"PWD", password},
                                                                   {"DATABASE", database}}};
  std::vector<std::pair<const char*, std::string>> present;
  for (const auto& [key, value] : all) {
    if (value != nullptr && CompareNoCase(value, "NULL") != 0) present.emplace_back(key, value);
  }
  return present;
}

// The installer takes attributes as "key=value" texts each ended by a zero byte, the list
// ended by a second one.
std::string InstallerAttributeList(const std::vector<std::pair<const char*, std::string>>& attributes) {
  std::string list;
  for (const auto& [key, value] : attributes) {
    list += key;
    list += '=';
    list += value;
    list += '\0';
  }
  list += '\0';
  return list;
}

// Restores the installer's configuration mode when it leaves scope.
class UserDsnMode {
 public:
  UserDsnMode() {
    SQLGetConfigMode(&previous_);
    SQLSetConfigMode(ODBC_USER_DSN);
  }
  ~UserDsnMode() { SQLSetConfigMode(previous_); }
  UserDsnMode(const UserDsnMode&) = delete;
  UserDsnMode& operator=(const UserDsnMode&) = delete;

 private:
  UWORD previous_ = ODBC_BOTH_DSN;
};

// Writes the DSN section and its attributes straight into the user's odbc.ini. SERVER is
// also written as SERVERNAME, the name the PostgreSQL driver reads.
bool WriteDsnProfile(const char* driverName, const std::vector<std::pair<const char*, std::string>>& attributes) {
  UserDsnMode mode;
  const char* dsn = attributes.front().second.c_str();
  if (!SQLWriteDSNToIni(dsn, driverName)) return false;
  for (const auto& [key, value] : attributes) {
    if (std::string(key) == "DSN") continue;
    if (!SQLWritePrivateProfileString(dsn, key, value.c_str(), kOdbcIni)) return false;
    if (std::string(key) == "SERVER" && !SQLWritePrivateProfileString(dsn, "SERVERNAME", value.c_str(), kOdbcIni)) {
      return false;
    }
  }
  return true;
}

}  // namespace

char* BuildDSNAttributeString(const char* dsnName, const char* description, const char* server, const char* userId,
                              const char* password, const char* database) {
  if (dsnName == nullptr) return nullptr;
  std::string text;
  for (const auto& [key, value] : DsnAttributes(dsnName, description, server, userId, password, database)) {
    text += std::string(key) + "=" + value + ";";
  }
  char* copy = nullptr;
  AllocateAndSetString(&copy, text.c_str());
  return copy;
}

bool CreateDSN(const char* dsnName, const char* description, const char* server, const char* userId,
               const char* password, const char* database, const char* driverName) {
  if (driverName == nullptr || dsnName == nullptr || *driverName == '\0' || *dsnName == '\0') {
    LogError("DriverName or DSN name is NULL \n");
    return false;
  }
  auto attributes = DsnAttributes(dsnName, description, server, userId, password, database);
  if (attributes.empty() || std::string(attributes.front().first) != "DSN") {
    LogError("DriverName or DSN name is NULL \n");  // a DSN literally named "NULL"
    return false;
  }
  std::string list = InstallerAttributeList(attributes);
  if (SQLConfigDataSource(nullptr, ODBC_ADD_DSN, driverName, list.c_str())) return true;
  // The driver's setup library is missing: write the entries ourselves.
  if (WriteDsnProfile(driverName, attributes)) {
    LogDebug("DSN %s written to the ODBC configuration\n", dsnName);
    return true;
  }
  LogError("SQLConfigDataSource returned FALSE \n");
  return false;
}

bool CreateDSNsFromFile(const char* path) {
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text) {
    LogError("Error opening File %s \n", path != nullptr ? path : "(null)");
    return false;
  }
  TokenReader reader(*text);
  while (true) {
    std::array<std::string, 6> values;
    bool complete = true;
    for (std::string& value : values) {
      auto token = reader.NextToken();
      if (!token) {
        complete = false;
        break;
      }
      value = std::move(*token);
    }
    if (!complete) break;
    std::string driver = reader.RestOfLine();
    driver.erase(0, driver.find_first_not_of(" \t"));
    if (!CreateDSN(values[0].c_str(), values[1].c_str(), values[2].c_str(), values[3].c_str(), values[4].c_str(),
                   values[5].c_str(), driver.c_str())) {
      LogError("Creating DSN %s Failed\n", values[0].c_str());
    }
  }
  return true;
}
