#include "store/db/conn_params.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "agent/log_writer.h"
#include "store/db/data_file.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

Vector gv_connParamsVect{};

namespace {

constexpr std::size_t kParamTokens = 10;

// Copies `text` into *target when present. False only when a present text cannot be copied.
bool CopyIfPresent(char** target, const char* text) {
  if (text == nullptr) return true;
  return AllocateAndSetString(target, text) == kVtSuccess;
}

ConnParams* ParamsAt(const VectorNode* link) { return static_cast<ConnParams*>(link->element); }

VectorNode* FindLink(const char* connectionName) {
  if (connectionName == nullptr) return nullptr;
  for (VectorNode* link = gv_connParamsVect.head; link != nullptr; link = link->next) {
    const char* name = ParamsAt(link)->connectionName;
    if (name != nullptr && std::strcmp(name, connectionName) == 0) return link;
  }
  return nullptr;
}

// The low 16 bits of a decimal token as fscanf("%d") reads it: an optional sign and the
// leading digits; 0 when it does not start with a number.
std::uint16_t PortFromToken(const std::string& token) {
  long value = std::strtol(token.c_str(), nullptr, 10);
  return static_cast<std::uint16_t>(value);
}

// One record from the reader: ten tokens and the rest of the line. Null when the text
// ends before the tenth token.
std::optional<std::array<std::string, kParamTokens + 1>> ReadParamRecord(TokenReader& reader) {
  std::array<std::string, kParamTokens + 1> fields;
  for (std::size_t i = 0; i < kParamTokens; ++i) {
    auto token = reader.NextToken();
    if (!token) return std::nullopt;
    fields[i] = std::move(*token);
  }
  fields[kParamTokens] = reader.RestOfLine();
  return fields;
}

void AddParamRecord(const std::array<std::string, kParamTokens + 1>& f) {
  bool useConnectString = CompareNoCase(f[9].c_str(), "YES") == 0;
  // The rest of the line starts with the blank that separates it from token 10.
  std::string connectString = f[10].empty() ? std::string() : f[10].substr(1);
  ConnParams* params =
      CreateConnParams(f[0].c_str(), PortFromToken(f[1]), f[2].c_str(), f[3].c_str(), f[4].c_str(), 0,
                       f[6].c_str(), useConnectString ? 1 : 0, useConnectString ? connectString.c_str() : nullptr,
                       f[7].c_str(), f[8].c_str());
  if (params != nullptr && !AddConnParams(params)) FreeConnParams(params);
}

}  // namespace

ConnParams* CreateConnParams(const char* host, std::uint16_t port, const char* dsnName, const char* userId,
                             const char* password, std::int32_t reserved, const char* connectionName,
                             std::uint8_t useConnectString, const char* connectString, const char* providerName,
                             const char* dbType) {
  auto* params = static_cast<ConnParams*>(VtCalloc(1, sizeof(ConnParams)));
  if (params == nullptr) return nullptr;
  params->port = port;
  params->reserved = reserved;
  params->useConnectString = useConnectString;
  if (password != nullptr && std::strcmp(password, "NULL") == 0) password = nullptr;
  bool copied = CopyIfPresent(&params->host, host) && CopyIfPresent(&params->dsnName, dsnName) &&
                CopyIfPresent(&params->userId, userId) && CopyIfPresent(&params->password, password) &&
                CopyIfPresent(&params->connectionName, connectionName) &&
                CopyIfPresent(&params->connectString, connectString) &&
                CopyIfPresent(&params->providerName, providerName) && CopyIfPresent(&params->dbType, dbType);
  if (!copied) {
    FreeConnParams(params);
    return nullptr;
  }
  return params;
}

void FreeConnParams(ConnParams* params) {
  if (params == nullptr) return;
  for (char* text : {params->host, params->dsnName, params->userId, params->password, params->connectionName,
                     params->connectString, params->providerName, params->dbType}) {
    std::free(text);
  }
  std::free(params);
}

bool AddConnParams(ConnParams* params) {
  if (params == nullptr) return false;
  return AddElementData(&gv_connParamsVect, params) == kVtSuccess;
}

bool DeleteConnParams(const char* connectionName) {
  VectorNode* link = FindLink(connectionName);
  if (link == nullptr) return false;
  ConnParams* params = ParamsAt(link);
  DeleteElement(&gv_connParamsVect, link);
  FreeConnParams(params);
  return true;
}

ConnParams* GetConnParams(const char* connectionName) {
  VectorNode* link = FindLink(connectionName);
  return link != nullptr ? ParamsAt(link) : nullptr;
}

void FreeAllConnParams() {
  for (VectorNode* link = gv_connParamsVect.head; link != nullptr; link = link->next) {
    FreeConnParams(ParamsAt(link));
  }
  FreeVector(&gv_connParamsVect);
}

const char* GetDefaultConnectionName() {
  if (gv_connParamsVect.head == nullptr) return nullptr;
  const char* name = ParamsAt(gv_connParamsVect.head)->connectionName;
  if (name == nullptr) LogError("Connection Name IS NULL\n");
  return name;
}

const char* GetProviderNameForConnection(const char* connectionName) {
  ConnParams* params = GetConnParams(connectionName);
  return params != nullptr ? params->providerName : nullptr;
}

const char* GetDBTypeForConnection(const char* connectionName) {
  ConnParams* params = GetConnParams(connectionName);
  if (params == nullptr) {
    LogError("dbConnPtr is NULL for Connection Name %s \n", connectionName != nullptr ? connectionName : "(null)");
    return nullptr;
  }
  return params->dbType;
}

bool LoadConnParamsEntryFromFile(const char* path) {
  std::optional<std::string> text = ReadDataFile(path, "connparams.txt");
  if (!text) {
    LogError("Cannot open Connection Parameters File.\n");
    return false;
  }
  TokenReader reader(*text);
  while (auto record = ReadParamRecord(reader)) AddParamRecord(*record);
  return true;
}
