// Test support for the database layer: the three real databases every test body runs
// against (SQLite through its ODBC driver, and the PostgreSQL and MariaDB servers named
// by VT_PG_CONN and VT_MARIADB_CONN), each test in a fresh database of its own that is
// dropped afterwards. Setup talks to the servers over plain ODBC, independent of the code
// under test. With CI=true a missing server variable fails the test; elsewhere it skips.
// One ScratchDatabase per test; not shared between threads.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "store/db/conn_params.h"
#include "store/db/conn_pool.h"
#include "store/db/data_source_map.h"
#include "store/db/db_provider.h"

enum class TestDbKind { kSQLite, kPostgreSQL, kMariaDB };

inline const char* TestDbName(TestDbKind kind) {
  switch (kind) {
    case TestDbKind::kSQLite:
      return "SQLite";
    case TestDbKind::kPostgreSQL:
      return "PostgreSQL";
    case TestDbKind::kMariaDB:
      return "MariaDB";
  }
  return "unknown";
}

// The dialect name of the store for each database.
inline const char* TestDbType(TestDbKind kind) {
  switch (kind) {
    case TestDbKind::kSQLite:
      return "SQLITE";
    case TestDbKind::kPostgreSQL:
      return "PGSQL";
    case TestDbKind::kMariaDB:
      return "MYSQL";
  }
  return "";
}

inline bool RunningInCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// A name no other test process uses at the same time: "vt" and 16 hex digits.
inline std::string UniqueDbName() {
  std::random_device device;
  std::uint64_t value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
  static const char* digits = "0123456789abcdef";
  std::string name = "vt";
  for (int i = 0; i < 16; ++i, value >>= 4) name += digits[value & 15];
  return name;
}

// `connection` with the value of `key` (matched without regard to case) replaced by
// `value`, or the pair appended when the key is absent.
inline std::string WithAttribute(const std::string& connection, const std::string& key, const std::string& value) {
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string haystack = lower(connection);
  const std::string needle = lower(key) + "=";
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
    if (at != 0 && haystack[at - 1] != ';') continue;
    std::size_t valueStart = at + needle.size();
    std::size_t valueEnd = connection.find(';', valueStart);
    if (valueEnd == std::string::npos) valueEnd = connection.size();
    return connection.substr(0, valueStart) + value + connection.substr(valueEnd);
  }
  std::string separator = connection.empty() || connection.back() == ';' ? "" : ";";
  return connection + separator + key + "=" + value + ";";
}

inline std::string WithDatabase(const std::string& connection, const std::string& database) {
  return WithAttribute(connection, "Database", database);
}

// Runs statements over a plain ODBC connection of its own (ODBC 3 environment).
class AdminConnection {
 public:
  explicit AdminConnection(const std::string& connection) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) return;
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) return;
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    SQLRETURN r = SQLDriverConnect(dbc_, nullptr, Text(connection), SQL_NTS, out, sizeof out, &outLength,
                                   SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(r);
    if (!connected_) error_ = Diagnostics(SQL_HANDLE_DBC, dbc_);
  }
  ~AdminConnection() {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  AdminConnection(const AdminConnection&) = delete;
  AdminConnection& operator=(const AdminConnection&) = delete;

  bool Connected() const { return connected_; }
  const std::string& Error() const { return error_; }

  // True when the statement succeeded; the driver's message is kept in Error() otherwise.
  bool Exec(const std::string& sql) {
    if (!connected_) return false;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return false;
    SQLRETURN r = SQLExecDirect(stmt, Text(sql), SQL_NTS);
    bool ok = SQL_SUCCEEDED(r) || r == SQL_NO_DATA;
    if (!ok) error_ = Diagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
  }

  // The first column of every row as text ("NULL" for SQL NULL); empty on failure.
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> values;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!connected_ || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return values;
    if (SQL_SUCCEEDED(SQLExecDirect(stmt, Text(sql), SQL_NTS))) {
      while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        char buffer[4096];
        SQLLEN indicator = 0;
        SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        values.push_back(indicator == SQL_NULL_DATA ? "NULL" : buffer);
      }
    } else {
      error_ = Diagnostics(SQL_HANDLE_STMT, stmt);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return values;
  }

 private:
  static SQLCHAR* Text(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }
  static std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {};
    SQLCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message);
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string error_;
};

// A fresh empty database for one test, dropped (or its file removed) at destruction.
class ScratchDatabase {
 public:
  // Null with `why` set when the database cannot be had.
  static std::unique_ptr<ScratchDatabase> Create(TestDbKind kind, std::string& why) {
    std::unique_ptr<ScratchDatabase> db(new ScratchDatabase(kind));
    if (kind == TestDbKind::kSQLite) {
      db->file_ = std::filesystem::temp_directory_path() / (UniqueDbName() + ".db");
      // A busy timeout lets several processes share the file.
      db->connection_ = "Driver=SQLite3;Database=" + db->file_.string() + ";FKSupport=1;Timeout=20000;";
      return db;
    }
    const char* variable = kind == TestDbKind::kPostgreSQL ? "VT_PG_CONN" : "VT_MARIADB_CONN";
    const char* server = std::getenv(variable);
    if (server == nullptr || *server == '\0') {
      why = std::string(variable) + " is not set: the " + TestDbName(kind) +
            " server is not running (start it with scripts/db-servers.sh start DIR and source DIR/env)";
      return nullptr;
    }
    db->server_ = server;
    db->name_ = UniqueDbName();
    AdminConnection admin(db->server_);
    if (!admin.Connected()) {
      why = std::string("cannot connect to ") + TestDbName(kind) + " through " + variable + ": " + admin.Error();
      return nullptr;
    }
    if (!admin.Exec("create database " + db->name_)) {
      why = "cannot create a scratch database: " + admin.Error();
      return nullptr;
    }
    db->connection_ = WithDatabase(db->server_, db->name_);
    return db;
  }

  ~ScratchDatabase() {
    if (kind_ == TestDbKind::kSQLite) {
      std::error_code ignored;
      std::filesystem::remove(file_, ignored);
      return;
    }
    AdminConnection admin(server_);
    if (kind_ == TestDbKind::kPostgreSQL) {
      admin.Exec("drop database if exists " + name_ + " with (force)");
    } else {
      admin.Exec("drop database if exists " + name_);
    }
  }
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  TestDbKind Kind() const { return kind_; }
  // The ODBC connection string of the scratch database.
  const std::string& ConnectionString() const { return connection_; }
  // The server's own connection string (empty for SQLite).
  const std::string& ServerConnectionString() const { return server_; }
  const std::string& Name() const { return name_; }
  const std::filesystem::path& File() const { return file_; }

 private:
  explicit ScratchDatabase(TestDbKind kind) : kind_(kind) {}

  TestDbKind kind_;
  std::string connection_;
  std::string server_;
  std::string name_;
  std::filesystem::path file_;
};

// Base fixture of the tests that run on every database: SetUp provides db_, or fails
// (in CI) or skips (elsewhere) when the database is not available. A derived SetUp calls
// it first and returns when IsSkipped() or HasFatalFailure().
class DatabaseTest : public ::testing::TestWithParam<TestDbKind> {
 protected:
  void SetUp() override {
    std::string why;
    db_ = ScratchDatabase::Create(GetParam(), why);
    if (db_ != nullptr) return;
    if (RunningInCi()) {
      FAIL() << TestDbName(GetParam()) << " is required in CI: " << why;
    } else {
      GTEST_SKIP() << why;
    }
  }
  bool Unavailable() const { return IsSkipped() || HasFatalFailure(); }

  std::unique_ptr<ScratchDatabase> db_;
};

struct TestDbNamePrinter {
  std::string operator()(const ::testing::TestParamInfo<TestDbKind>& info) const { return TestDbName(info.param); }
};

#define VT_INSTANTIATE_ON_ALL_DATABASES(Fixture)                                                           \
  INSTANTIATE_TEST_SUITE_P(AllDatabases, Fixture,                                                          \
                           ::testing::Values(TestDbKind::kSQLite, TestDbKind::kPostgreSQL, TestDbKind::kMariaDB), \
                           TestDbNamePrinter())

// The provider layer brought up for one test (providers loaded, empty lists) and torn
// down again: every connection closed, every list freed, the slots emptied.
class ProviderSession {
 public:
  ProviderSession() { ok_ = InitDBProvider(); }
  ~ProviderSession() {
    CloseAllDBConnections();
    FreeAllConnParams();
    FreeAllDataSourceMapEntries();
    for (auto& slot : gv_loadedProviders) slot = nullptr;
    ClearRegisteredProviders();
    SetDBClock(nullptr);
  }
  ProviderSession(const ProviderSession&) = delete;
  ProviderSession& operator=(const ProviderSession&) = delete;

  bool Ok() const { return ok_; }

  // Adds a data source opened by the ODBC provider with `connection` as connect string.
  ConnParams* AddSource(const std::string& name, const std::string& connection, const char* dbType) {
    ConnParams* params = CreateConnParams("localhost", 0, "unused", nullptr, nullptr, 0, name.c_str(), 1,
                                          connection.c_str(), "ODBC", dbType);
    if (params != nullptr && !AddConnParams(params)) {
      FreeConnParams(params);
      return nullptr;
    }
    return params;
  }

 private:
  bool ok_ = false;
};
