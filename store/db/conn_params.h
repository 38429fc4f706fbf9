// The data sources: one ConnParams record per data source in gv_connParamsVect, read
// from connparams.txt, and the lookups by connection name.
// The list owns its records and their texts; lookups hand out borrowed pointers.
// The list is filled at start-up and only read afterwards; reading is then safe from
// several threads, changing it while others read is not.
#pragma once

#include <cstdint>

#include "store/util/vector.h"

struct ConnParams {
  char* host;                     // stored only
  std::uint16_t port;             // stored only
  char* dsnName;                  // ODBC data source name
  char* userId;                   // or null
  char* password;                 // or null ("NULL" in the file)
  std::int32_t reserved;          // always 0
  char* connectionName;           // the data source's name inside the store
  std::uint8_t useConnectString;  // 1: connectString replaces the built connection string
  char* connectString;            // or null
  char* providerName;             // provider that opens it ("ODBC")
  char* dbType;                   // "MYSQL", "PGSQL", "FIREBIRD" or "SQLITE"
};

// The data sources in file order (ConnParams*, owned).
extern Vector gv_connParamsVect;

// A new record with copies of the texts that are present; a password equal to "NULL" is
// left out. Null, with nothing left allocated, when a copy cannot be made.
ConnParams* CreateConnParams(const char* host, std::uint16_t port, const char* dsnName, const char* userId,
                             const char* password, std::int32_t reserved, const char* connectionName,
                             std::uint8_t useConnectString, const char* connectString, const char* providerName,
                             const char* dbType);
void FreeConnParams(ConnParams* params);
// Appends; the list then owns the record. False (record still the caller's) for null or
// when out of memory.
bool AddConnParams(ConnParams* params);
// Removes and frees the first record with that connection name (case-sensitive).
bool DeleteConnParams(const char* connectionName);
// The first record with that connection name (case-sensitive), or null.
ConnParams* GetConnParams(const char* connectionName);
void FreeAllConnParams();

// The first record's connection name (borrowed); null when there is none, and
// "Connection Name IS NULL\n" when the first record has no name.
const char* GetDefaultConnectionName();
const char* GetProviderNameForConnection(const char* connectionName);
// Null with "dbConnPtr is NULL for Connection Name %s \n" when there is no such record.
const char* GetDBTypeForConnection(const char* connectionName);

// Reads connparams.txt: ten whitespace-separated tokens per data source (line breaks
// between them do not matter) and the rest of the line, the connect string, used when
// token 10 is "YES" in any case. When `path` cannot be opened, "<root>/data/connparams.txt"
// under gv_storeRoot is tried. False with "Cannot open Connection Parameters File.\n" when
// neither opens; records already read stay. An incomplete last record is dropped.
bool LoadConnParamsEntryFromFile(const char* path);
