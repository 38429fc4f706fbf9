#include "store/db/odbc_provider.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "store/db/conn_params.h"
#include "store/db/odbc_query.h"
#include "store/imds/column_value.h"
#include "store/imds/qel_date_time.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"
#include "store/util/text_scan.h"

namespace {

constexpr SQLSMALLINT kConnectOutSize = 1025;

// The one ODBC environment of the process, shared by every open connection: made by the
// first open, freed after the last close, so closing one connection never pulls the
// environment from under another.
struct SharedEnvironment {
  std::mutex mutex;
  SQLHENV handle = SQL_NULL_HENV;
  int users = 0;
};

SharedEnvironment& Environment() {
  static SharedEnvironment environment;
  return environment;
}

SQLHENV AcquireEnvironment() {
  SharedEnvironment& env = Environment();
  std::lock_guard lock(env.mutex);
  if (env.users == 0) {
    SQLHENV handle = SQL_NULL_HENV;
    // SQLAllocEnv declares ODBC 2 behaviour, whose date, time and timestamp type numbers
    // (9, 10, 11) are the ones the type map knows.
    if (!SQL_SUCCEEDED(SQLAllocEnv(&handle))) return SQL_NULL_HENV;
    env.handle = handle;
  }
  ++env.users;
  return env.handle;
}

void ReleaseEnvironment() {
  SharedEnvironment& env = Environment();
  std::lock_guard lock(env.mutex);
  if (env.users == 0) return;
  if (--env.users == 0) {
    SQLFreeHandle(SQL_HANDLE_ENV, env.handle);
    env.handle = SQL_NULL_HENV;
  }
}

SQLHDBC HdbcOf(const DBConnection* connection) { return *static_cast<SQLHDBC*>(connection->handle); }

// A connection handle and the environment reference it holds, until handed to a record.
class PendingConnection {
 public:
  PendingConnection() = default;
  ~PendingConnection() {
    if (connected_) SQLDisconnect(hdbc_);
    if (hdbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, hdbc_);
    if (env_ != SQL_NULL_HENV) ReleaseEnvironment();
    std::free(cell_);
  }
  PendingConnection(const PendingConnection&) = delete;
  PendingConnection& operator=(const PendingConnection&) = delete;

  bool AcquireEnv() { return (env_ = AcquireEnvironment()) != SQL_NULL_HENV; }
  bool AllocateCell() { return (cell_ = static_cast<SQLHDBC*>(VtMalloc(sizeof(SQLHDBC)))) != nullptr; }
  bool AllocateHdbc() { return SQL_SUCCEEDED(SQLAllocConnect(env_, &hdbc_)); }
  SQLHDBC Hdbc() const { return hdbc_; }
  void MarkConnected() { connected_ = true; }
  // Gives the handle cell (holding the HDBC) to a connection record.
  void* Release() {
    *cell_ = hdbc_;
    void* cell = cell_;
    cell_ = nullptr;
    hdbc_ = SQL_NULL_HDBC;
    env_ = SQL_NULL_HENV;
    connected_ = false;
    return cell;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC hdbc_ = SQL_NULL_HDBC;
  SQLHDBC* cell_ = nullptr;
  bool connected_ = false;
};

std::string ConnectionStringOf(const ConnParams* params) {
  if (params->useConnectString == 1) return params->connectString != nullptr ? params->connectString : "";
  std::string text = "DSN=";
  text += params->dsnName;
  text += ";";
  if (params->userId != nullptr) text += std::string("UID=") + params->userId;
  text += ";";
  if (params->password != nullptr) text += std::string("PWD=") + params->password;
  text += ";";
  if (params->providerName != nullptr) text += std::string("Driver={") + params->providerName + "}";
  return text;
}

void LogTransactionFailure(SQLHDBC hdbc) {
  LogError("Error in starting transaction\n");
  LogOdbcDiagnostics(SQL_HANDLE_DBC, hdbc);
}

bool SetAutoCommit(SQLHDBC hdbc, bool on) {
  auto value = reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF));
  return SQL_SUCCEEDED(SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT, value, SQL_IS_INTEGER));
}

// Commits or rolls back, then switches auto-commit on. When the end of the transaction
// fails, the work is rolled back and auto-commit still switched on: a pooled connection
// left with auto-commit off would swallow every later statement of its next users.
bool EndTransaction(DBConnection* connection, SQLSMALLINT completion, const char* failure) {
  SQLHDBC hdbc = HdbcOf(connection);
  if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, hdbc, completion))) {
    LogError("%s", failure);
    LogTransactionFailure(hdbc);
    if (completion != SQL_ROLLBACK) SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK);
    SetAutoCommit(hdbc, true);
    return false;
  }
  if (!SetAutoCommit(hdbc, true)) {
    LogError("Error in setting SQL_AUTOCOMMIT_ON\n");
    LogTransactionFailure(hdbc);
    return false;
  }
  return true;
}

// Prepares and executes `statement`, then reads its row count. 1 or 0 (logged).
std::int32_t RunUpdate(DBConnection* connection, const char* statement, std::int64_t* rowCount) {
  ObjectLockGuard lock(connection);
  StatementHandle stmt;
  if (!stmt.Allocate(HdbcOf(connection))) {
    LogError("Allocating Statement Handle failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_DBC, HdbcOf(connection));
    return 0;
  }
  if (!SQL_SUCCEEDED(SQLPrepare(stmt.Get(), OdbcText(statement), SQL_NTS))) {
    LogError("SQLPrepare failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt.Get());
    return 0;
  }
  SQLRETURN executed = SQLExecute(stmt.Get());
  // An update that matches no row is a success; ODBC 3 drivers report it as SQL_NO_DATA.
  if (!SQL_SUCCEEDED(executed) && executed != SQL_NO_DATA) {
    LogError("SQLExecute failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt.Get());
    return 0;
  }
  SQLLEN rows = -1;
  if (!SQL_SUCCEEDED(SQLRowCount(stmt.Get(), &rows))) {
    LogError("No Rows Affected \n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt.Get());
    return 0;
  }
  if (rowCount != nullptr) *rowCount = rows;
  return 1;
}

bool DriverNeedsLongDataLength(SQLHDBC hdbc) {
  char answer[8] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(hdbc, SQL_NEED_LONG_DATA_LEN, answer, sizeof answer, &length))) return false;
  return answer[0] == 'Y' || answer[0] == 'y';
}

// Calls the supplier until it reports the end, handing each piece to `sink`. False when
// a piece is malformed (a negative length, or no data with a positive length) or the
// sink refuses it.
template <typename Sink>
bool PullPieces(BlobSupplier supplier, void* userData, Sink sink) {
  if (supplier == nullptr) return true;
  while (true) {
    void* data = nullptr;
    std::int32_t length = 0;
    if (supplier(&data, &length, userData) == kBlobNoMoreData) return true;
    if (length < 0 || (data == nullptr && length > 0)) {
      LogError("Blob supplier returned an invalid piece\n");
      return false;
    }
    if (!sink(data, length)) return false;
  }
}

// The driver wants the total length before the data (SQLite): gather every piece and bind
// the whole value as one parameter.
SQLRETURN ExecuteWithGatheredBlob(SQLHSTMT stmt, BlobSupplier supplier, void* userData) {
  std::string value;
  bool gathered = PullPieces(supplier, userData, [&](const void* data, std::int32_t length) {
    value.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
    return true;
  });
  if (!gathered) return SQL_ERROR;
  SQLLEN indicator = static_cast<SQLLEN>(value.size());
  SQLRETURN bound = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                     std::max<SQLULEN>(value.size(), 1), 0, value.data(),
                                     static_cast<SQLLEN>(value.size()), &indicator);
  if (!SQL_SUCCEEDED(bound)) {
    LogError("SQLBindParameter failed\n");
    return bound;
  }
  return SQLExecute(stmt);
}

// Streams the supplier's pieces with SQLPutData as the statement asks for them.
SQLRETURN ExecuteWithStreamedBlob(SQLHSTMT stmt, BlobSupplier supplier, void* userData) {
  SQLLEN indicator = SQL_DATA_AT_EXEC;
  SQLRETURN result = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0,
                                      reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(1)), 0, &indicator);
  if (!SQL_SUCCEEDED(result)) {
    LogError("SQLBindParameter failed\n");
    return result;
  }
  result = SQLExecute(stmt);
  if (result != SQL_NEED_DATA) return result;
  SQLPOINTER token = nullptr;
  result = SQLParamData(stmt, &token);
  while (result == SQL_NEED_DATA) {
    bool sentAny = false;
    bool sent = PullPieces(supplier, userData, [&](void* data, std::int32_t length) {
      if (length == 0) return true;  // some drivers fail the statement on an empty piece
      sentAny = true;
      return SQL_SUCCEEDED(SQLPutData(stmt, data, length));
    });
    // An empty value still needs one (empty) piece, or the driver takes it as missing.
    if (sent && !sentAny) sent = SQL_SUCCEEDED(SQLPutData(stmt, const_cast<char*>(""), 0));
    if (!sent) {
      SQLCancel(stmt);
      return SQL_ERROR;
    }
    result = SQLParamData(stmt, &token);
  }
  return result;
}

QelDateTime* NewPartialDateTime(QelDate* date, QelTime* time) {
  auto* value = static_cast<QelDateTime*>(VtCalloc(1, sizeof(QelDateTime)));
  if (value == nullptr) {
    std::free(date);
    std::free(time);
    return nullptr;
  }
  value->date = date;
  value->time = time;
  return value;
}

std::int32_t FieldOrZero(const std::vector<ScannedField>& fields, std::size_t index) {
  return index < fields.size() ? fields[index].number : 0;
}

}  // namespace

void RegisterODBCProvider() {
  static const DBProvider provider = {
      "ODBC",
      &ODBCOpenConnection,
      &ODBCExecuteUpdate,
      &ODBCExecuteQuery,
      &ODBCCloseConnection,
      &ODBCBeginTransaction,
      &ODBCCommitTransaction,
      &ODBCRollbackTransaction,
      &ODBCExecuteUpdateBlob,
      &ODBCExecuteQueryBlob,
      &ODBCExecuteUpdateCount,
  };
  if (FindRegisteredProvider(provider.name) != &provider) RegisterDBProvider(&provider);
}

char* BuildODBCConnectionString(const ConnParams* params) {
  if (params == nullptr || params->dsnName == nullptr) return nullptr;
  char* text = nullptr;
  AllocateAndSetString(&text, ConnectionStringOf(params).c_str());
  return text;
}

DBConnection* ODBCOpenConnection(const ConnParams* params) {
  if (params == nullptr || params->dsnName == nullptr) {
    LogError("ODBC connection Parameter missing\n");
    return nullptr;
  }
  PendingConnection pending;
  if (!pending.AcquireEnv()) {
    LogError("Allocating Env Handle failed\n");
    return nullptr;
  }
  if (!pending.AllocateCell()) {
    LogError("Error in allocating SQLHDBC\n");
    return nullptr;
  }
  if (!pending.AllocateHdbc()) {
    LogError("Allocating connection Handle failed\n");
    return nullptr;
  }
  std::string connectionString = ConnectionStringOf(params);
  SQLCHAR completed[kConnectOutSize] = {};
  SQLSMALLINT completedLength = 0;
  SQLRETURN connected = SQLDriverConnect(pending.Hdbc(), nullptr, OdbcText(connectionString.c_str()), SQL_NTS,
                                         completed, kConnectOutSize, &completedLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(connected)) {
    LogError("Connecting to driver failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_DBC, pending.Hdbc());
    return nullptr;
  }
  pending.MarkConnected();
  auto* connection = static_cast<DBConnection*>(VtCalloc(1, sizeof(DBConnection)));
  if (connection == nullptr) return nullptr;
  if (AllocateAndSetString(&connection->name, params->connectionName) != kVtSuccess) {
    std::free(connection);
    return nullptr;
  }
  connection->handle = pending.Release();
  return connection;
}

bool ODBCCloseConnection(DBConnection* connection) {
  if (connection == nullptr || connection->handle == nullptr) return false;
  SQLHDBC hdbc = HdbcOf(connection);
  if (!SQL_SUCCEEDED(SQLDisconnect(hdbc))) {
    // Most drivers refuse to disconnect inside a transaction: give up its work.
    SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK);
    SQLDisconnect(hdbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
  ReleaseEnvironment();
  std::free(connection->handle);
  connection->handle = nullptr;
  return true;
}

std::int32_t ODBCExecuteUpdate(DBConnection* connection, const char* statement) {
  if (connection == nullptr || statement == nullptr) return 0;
  return RunUpdate(connection, statement, nullptr);
}

std::int32_t ODBCExecuteUpdateCount(DBConnection* connection, const char* statement, std::int64_t* rowCount) {
  if (connection == nullptr || statement == nullptr) return 0;
  return RunUpdate(connection, statement, rowCount);
}

ResultSet* ODBCExecuteQuery(DBConnection* connection, const char* statement) {
  if (connection == nullptr || statement == nullptr) return nullptr;
  LogTrace("Inside ODBCExecuteQuery\n");
  ObjectLockGuard lock(connection);
  return RunOdbcQuery(HdbcOf(connection), statement, nullptr, nullptr);
}

ResultSet* ODBCExecuteQueryBlob(DBConnection* connection, const char* statement, BlobConsumer consumer,
                                void* userData) {
  if (connection == nullptr || statement == nullptr) return nullptr;
  LogTrace("Inside ODBCExecuteQuery\n");
  return RunOdbcQuery(HdbcOf(connection), statement, consumer, userData);
}

std::int32_t ODBCExecuteUpdateBlob(DBConnection* connection, const char* statement, BlobSupplier supplier,
                                   void* userData) {
  if (connection == nullptr || statement == nullptr) return 0;
  LogTrace("Inside ODBCExecuteUpdateBlob\n");
  SQLHDBC hdbc = HdbcOf(connection);
  StatementHandle stmt;
  if (!stmt.Allocate(hdbc)) {
    LogError("Allocating Statement Handle failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_DBC, hdbc);
    return 0;
  }
  if (!SQL_SUCCEEDED(SQLPrepare(stmt.Get(), OdbcText(statement), SQL_NTS))) {
    LogError("SQLPrepare failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt.Get());
    return 0;
  }
  SQLRETURN executed = DriverNeedsLongDataLength(hdbc) ? ExecuteWithGatheredBlob(stmt.Get(), supplier, userData)
                                                       : ExecuteWithStreamedBlob(stmt.Get(), supplier, userData);
  if (!SQL_SUCCEEDED(executed) && executed != SQL_NO_DATA) {
    LogError("SQLExecute failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt.Get());
    return 0;
  }
  SQLLEN rows = 0;
  if (!SQL_SUCCEEDED(SQLRowCount(stmt.Get(), &rows))) {
    LogError("No Rows Affected \n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt.Get());
    return 0;
  }
  return 1;
}

bool ODBCBeginTransaction(DBConnection* connection) {
  if (connection == nullptr) return false;
  LogTrace("\t@@@@@ ODBCBeginTransaction() @@@@@\n");
  if (!SetAutoCommit(HdbcOf(connection), false)) {
    LogError("Error in setting SQL_AUTOCOMMIT_OFF\n");
    LogTransactionFailure(HdbcOf(connection));
    return false;
  }
  return true;
}

bool ODBCCommitTransaction(DBConnection* connection) {
  if (connection == nullptr) return false;
  LogTrace("\t@@@@@ ODBCCommitTransaction() @@@@@\n");
  return EndTransaction(connection, SQL_COMMIT, "Error in commiting transaction\n");
}

bool ODBCRollbackTransaction(DBConnection* connection) {
  if (connection == nullptr) return false;
  LogTrace("\t@@@@@ ODBCRollbackTransaction() @@@@@\n");
  return EndTransaction(connection, SQL_ROLLBACK, "Error in rollbacking transaction\n");
}

void* ConvertDBDateTime(const char* text, std::int32_t* length, std::uint8_t type) {
  if (text == nullptr) return nullptr;
  QelDateTime* value = nullptr;
  if (type == QEL_SQL_DATE) {
    auto f = ScanText(text, "%d-%d-%d");
    QelDate* date = CreateQelDate(FieldOrZero(f, 0), FieldOrZero(f, 1), FieldOrZero(f, 2));
    value = date != nullptr ? NewPartialDateTime(date, nullptr) : nullptr;
  } else if (type == QEL_SQL_TIME) {
    auto f = ScanText(text, "%d:%d:%d");
    QelTime* time = CreateQelTime(FieldOrZero(f, 0), FieldOrZero(f, 1), FieldOrZero(f, 2));
    value = time != nullptr ? NewPartialDateTime(nullptr, time) : nullptr;
  } else if (type == QEL_SQL_DATETIME) {
    auto f = ScanText(text, "%d-%d-%d %d:%d:%d");
    value = CreateQelDateTime(FieldOrZero(f, 0), FieldOrZero(f, 1), FieldOrZero(f, 2), FieldOrZero(f, 3),
                              FieldOrZero(f, 4), FieldOrZero(f, 5));
  }
  if (value != nullptr && length != nullptr) *length = kQelDateTimeValueLength;
  return value;
}
