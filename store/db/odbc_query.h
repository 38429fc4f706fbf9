// Inside the ODBC provider: statement handles, diagnostics and the query reader that
// turns a statement's rows into a result set. Long and binary values are read whole in
// pieces; other columns are fetched in blocks of rows where the driver allows it.
// Result sets handed out are the caller's. Each call uses its own statement handle, so
// calls are safe from several threads as long as they do not share a connection handle
// without the caller's serialisation.
#pragma once

#include <sql.h>

#include "store/db/db_provider.h"

struct ResultSet;

// Owns one statement handle: closes and frees it on every return path.
class StatementHandle {
 public:
  StatementHandle() = default;
  ~StatementHandle();
  StatementHandle(const StatementHandle&) = delete;
  StatementHandle& operator=(const StatementHandle&) = delete;

  bool Allocate(SQLHDBC hdbc);
  SQLHSTMT Get() const { return stmt_; }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// The statement text as the ODBC calls take it (they do not change it).
inline SQLCHAR* OdbcText(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

// Writes every diagnostic record of the handle at error level as "STATE: %s\n",
// "NAT: %ld\n" and "MSG: %s\n".
void LogOdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// Runs `statement` on the connection and reads all of its rows. Without a consumer the
// statement runs directly and every value lands in the result set; with one it is
// prepared and executed, and the values of type code 20 go to the consumer instead.
// Null on any failure, with the failing step and the diagnostics logged.
ResultSet* RunOdbcQuery(SQLHDBC hdbc, const char* statement, BlobConsumer consumer, void* userData);
