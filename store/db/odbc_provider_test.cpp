#include "store/db/odbc_provider.h"

#include <gtest/gtest.h>

#include <iostream>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "agent/object_lock.h"
#include "store/db/conn_params.h"
#include "store/db/db_test_support.h"
#include "store/imds/qel_date_time.h"
#include "store/imds/result_set.h"
#include "store/util/log_capture_for_tests.h"

namespace {

// ---------------------------------------------------------------- without a database

struct ConnectionStringCase {
  const char* dsn;
  const char* user;
  const char* password;
  const char* provider;
  std::uint8_t useConnectString;
  const char* connectString;
  const char* expected;
};

TEST(OdbcConnectionString, BuiltFromTheParametersOrTakenWhole) {
  const ConnectionStringCase cases[] = {
      {"storedsn", "admin", nullptr, "ODBC", 0, nullptr, "DSN=storedsn;UID=admin;;Driver={ODBC}"},
      {"storedsn", "admin", "NULL", "ODBC", 0, nullptr, "DSN=storedsn;UID=admin;;Driver={ODBC}"},
      {"d", "u", "p", "ODBC", 0, nullptr, "DSN=d;UID=u;PWD=p;Driver={ODBC}"},
      {"d", nullptr, "p", nullptr, 0, nullptr, "DSN=d;;PWD=p;"},
      {"d", "u", "p", "ODBC", 1, "Driver=SQLite3;Database=/x.db;", "Driver=SQLite3;Database=/x.db;"},
  };
  for (const auto& c : cases) {
    ConnParams* params = CreateConnParams("h", 0, c.dsn, c.user, c.password, 0, "main", c.useConnectString,
                                          c.connectString, c.provider, "MYSQL");
    ASSERT_NE(params, nullptr);
    char* text = BuildODBCConnectionString(params);
    EXPECT_STREQ(text, c.expected);
    std::free(text);
    FreeConnParams(params);
  }
}

TEST(OdbcConnectionString, DsnNameIsRequiredEvenWithAConnectString) {
  LogCapture log;
  ConnParams* params = CreateConnParams("h", 0, nullptr, "u", "p", 0, "main", 1, "Driver=SQLite3;", "ODBC", "SQLITE");
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(ODBCOpenConnection(params), nullptr);
  EXPECT_EQ(ODBCOpenConnection(nullptr), nullptr);
  EXPECT_EQ(log.Count("[ERROR]", "ODBC connection Parameter missing\n"), 2);
  FreeConnParams(params);
}

struct DateTimeCase {
  const char* text;
  std::uint8_t type;
  bool hasDate, hasTime;
  int year, month, day, hour, minute, second;
};

TEST(OdbcDateTime, ValuesHoldOnlyThePartsTheirTypeHas) {
  const DateTimeCase cases[] = {
      {"2011-03-05", 16, true, false, 2011, 3, 5, 0, 0, 0},
      {"13:45:07", 17, false, true, 0, 0, 0, 13, 45, 7},
      {"2024-02-29 13:45:07", 18, true, true, 2024, 2, 29, 13, 45, 7},
      {"2024-02-29 13:45:07.250", 18, true, true, 2024, 2, 29, 13, 45, 7},
      {"70000-300-5", 16, true, false, 70000 & 0xFFFF, 300 & 0xFF, 5, 0, 0, 0},
      {"garbage", 16, true, false, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::int32_t length = 0;
    auto* value = static_cast<QelDateTime*>(ConvertDBDateTime(c.text, &length, c.type));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(length, 11);
    ASSERT_EQ(value->date != nullptr, c.hasDate);
    ASSERT_EQ(value->time != nullptr, c.hasTime);
    if (c.hasDate) {
      EXPECT_EQ(value->date->year, c.year);
      EXPECT_EQ(value->date->month, c.month);
      EXPECT_EQ(value->date->day, c.day);
    }
    if (c.hasTime) {
      EXPECT_EQ(value->time->hour, c.hour);
      EXPECT_EQ(value->time->minute, c.minute);
      EXPECT_EQ(value->time->second, c.second);
    }
    FreeQelDateTime(value);
  }
  std::int32_t length = 0;
  EXPECT_EQ(ConvertDBDateTime("1", &length, 5), nullptr);
  EXPECT_EQ(ConvertDBDateTime(nullptr, &length, 16), nullptr);
}

// ---------------------------------------------------------------- on every database

const char* BlobType(TestDbKind kind) {
  switch (kind) {
    case TestDbKind::kPostgreSQL:
      return "bytea";
    case TestDbKind::kMariaDB:
      return "longblob";
    default:
      return "blob";
  }
}

// A text type that holds 100,000 characters (MariaDB's text stops at 65,535 bytes).
const char* TextType(TestDbKind kind) { return kind == TestDbKind::kMariaDB ? "mediumtext" : "text"; }

const char* DateTimeType(TestDbKind kind) { return kind == TestDbKind::kMariaDB ? "datetime" : "timestamp"; }

const char* DoubleType(TestDbKind kind) { return kind == TestDbKind::kPostgreSQL ? "double precision" : "double"; }

// Bytes 0..255 repeated, with zero bytes in them, `size` long.
std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 256);
  return bytes;
}

// Supplies `data` in pieces of the given sizes.
struct PieceSupply {
  std::string data;
  std::vector<std::int32_t> sizes;
  std::size_t next = 0;
  std::size_t offset = 0;
  int calls = 0;
};

std::uint8_t SupplyPieces(void** data, std::int32_t* length, void* userData) {
  auto* supply = static_cast<PieceSupply*>(userData);
  ++supply->calls;
  if (supply->next >= supply->sizes.size()) return kBlobNoMoreData;
  *length = supply->sizes[supply->next++];
  *data = supply->data.data() + supply->offset;
  supply->offset += static_cast<std::size_t>(std::max(*length, 0));
  return 1;
}

struct Received {
  std::vector<std::int32_t> lengths;  // -1 stands for the closing (null, 0) call
  std::string bytes;
};

void Receive(const void* data, std::int32_t length, void* userData) {
  auto* received = static_cast<Received*>(userData);
  if (data == nullptr) {
    EXPECT_EQ(length, 0);
    received->lengths.push_back(-1);
    return;
  }
  received->lengths.push_back(length);
  received->bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
}

template <typename T>
T ValueAs(const ResultCell* cell) {
  T value{};
  std::memcpy(&value, cell->data, sizeof(T));
  return value;
}

const ResultCell* CellAt(const ResultRow* row, int index) {
  const ResultCell* cell = row->cells;
  for (int i = 0; i < index && cell != nullptr; ++i) cell = cell->next;
  return cell;
}

class OdbcProviderTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    if (Unavailable()) return;
    InitMutex();
    params_ = CreateConnParams("h", 0, "unused", nullptr, nullptr, 0, "main", 1, db_->ConnectionString().c_str(),
                               "ODBC", TestDbType(GetParam()));
    ASSERT_NE(params_, nullptr);
    connection_ = Open();
    ASSERT_NE(connection_, nullptr);
  }
  void TearDown() override {
    if (HasFailure()) std::cerr << "log of the failed test:\n" << log_.Text();
    Close(connection_);
    FreeConnParams(params_);
  }

  DBConnection* Open() { return ODBCOpenConnection(params_); }
  static void Close(DBConnection* connection) {
    if (connection == nullptr) return;
    ODBCCloseConnection(connection);
    std::free(connection->name);
    std::free(connection);
  }
  void Exec(const std::string& sql) { ASSERT_EQ(ODBCExecuteUpdate(connection_, sql.c_str()), 1) << sql; }
  std::vector<std::string> Column(const std::string& sql) {
    AdminConnection admin(db_->ConnectionString());
    return admin.Column(sql);
  }

  LogCapture log_;
  ConnParams* params_ = nullptr;
  DBConnection* connection_ = nullptr;
};

TEST_P(OdbcProviderTest, QueryTurnsDriverTypesIntoCodesAndValues) {
  Exec(std::string("create table typed (i int, b bigint, s smallint, v varchar(40), t text, d date, tm time, ts ") +
       DateTimeType(GetParam()) + ", f " + DoubleType(GetParam()) + ")");
  Exec("insert into typed values (42, 5000000000, -7, 'abc', 'long text', '2011-03-05', '13:45:07', "
       "'2024-02-29 13:45:07', 2.5)");
  Exec("insert into typed values (null, null, null, null, null, null, null, null, null)");
  ResultSet* rs = ODBCExecuteQuery(connection_, "select i, b, s, v, t, d, tm, ts, f from typed order by i desc");
  ASSERT_NE(rs, nullptr);
  EXPECT_TRUE(log_.HasTrace("Inside ODBCExecuteQuery\n"));
  ASSERT_EQ(rs->columnCount, 9);
  ASSERT_EQ(rs->rowCount, 2);
  // PostgreSQL reports a double precision column as SQL_FLOAT, which the type map makes 9.
  const bool floatReported = GetParam() == TestDbKind::kPostgreSQL;
  const std::uint8_t codes[] = {5, 7, 3, 15, 20, 16, 17, 18, static_cast<std::uint8_t>(floatReported ? 9 : 10)};
  const char* names[] = {"i", "b", "s", "v", "t", "d", "tm", "ts", "f"};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(rs->columns[i].type, codes[i]) << names[i];
    EXPECT_STREQ(rs->columns[i].name, names[i]);
  }
  // PostgreSQL and MariaDB sort NULL differently: find the rows by content.
  const ResultRow* full = rs->rows;
  const ResultRow* empty = rs->rows->next;
  if (full->cells->data == nullptr) std::swap(full, empty);
  EXPECT_EQ(ValueAs<std::int32_t>(CellAt(full, 0)), 42);
  EXPECT_EQ(ValueAs<std::int64_t>(CellAt(full, 1)), 5000000000LL);
  EXPECT_EQ(ValueAs<std::int16_t>(CellAt(full, 2)), -7);
  EXPECT_STREQ(static_cast<const char*>(CellAt(full, 3)->data), "abc");
  EXPECT_EQ(CellAt(full, 3)->length, 3);
  EXPECT_STREQ(static_cast<const char*>(CellAt(full, 4)->data), "long text");
  EXPECT_EQ(CellAt(full, 4)->length, 9);
  auto* date = static_cast<const QelDateTime*>(CellAt(full, 5)->data);
  ASSERT_NE(date->date, nullptr);
  EXPECT_EQ(date->time, nullptr);
  EXPECT_EQ(date->date->year, 2011);
  EXPECT_EQ(date->date->month, 3);
  EXPECT_EQ(date->date->day, 5);
  EXPECT_EQ(CellAt(full, 5)->length, 11);
  auto* time = static_cast<const QelDateTime*>(CellAt(full, 6)->data);
  EXPECT_EQ(time->date, nullptr);
  ASSERT_NE(time->time, nullptr);
  EXPECT_EQ(time->time->hour, 13);
  EXPECT_EQ(time->time->second, 7);
  auto* stamp = static_cast<const QelDateTime*>(CellAt(full, 7)->data);
  ASSERT_NE(stamp->date, nullptr);
  ASSERT_NE(stamp->time, nullptr);
  EXPECT_EQ(stamp->date->day, 29);
  EXPECT_EQ(stamp->time->minute, 45);
  if (floatReported) {
    EXPECT_FLOAT_EQ(ValueAs<float>(CellAt(full, 8)), 2.5f);
  } else {
    EXPECT_DOUBLE_EQ(ValueAs<double>(CellAt(full, 8)), 2.5);
  }
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(CellAt(empty, i)->data, nullptr) << names[i];  // SQL NULL is an absent value
    EXPECT_EQ(CellAt(empty, i)->length, 0) << names[i];
  }
  FreeResultSet(rs);
}

TEST_P(OdbcProviderTest, BooleanColumnsFollowTheTypeTheDriverReports) {
  // A boolean column arrives as BIT (SQLite, code 0, text "1"), VARCHAR (PostgreSQL, code
  // 15, text "1") or TINYINT (MariaDB, code 19, the byte 1).
  Exec("create table flags (id int, b boolean)");
  Exec("insert into flags values (1, true), (2, false)");
  ResultSet* rs = ODBCExecuteQuery(connection_, "select b from flags order by id");
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->rowCount, 2);
  const std::uint8_t expectedCode = GetParam() == TestDbKind::kSQLite ? 0 : GetParam() == TestDbKind::kMariaDB ? 19 : 15;
  EXPECT_EQ(rs->columns[0].type, expectedCode);
  auto truth = [&](const ResultCell* cell) {
    return expectedCode == 19 ? *static_cast<const std::uint8_t*>(cell->data) == 1
                              : std::string(static_cast<const char*>(cell->data)) == "1";
  };
  EXPECT_TRUE(truth(rs->rows->cells));
  EXPECT_FALSE(truth(rs->rows->next->cells));
  FreeResultSet(rs);
  if (GetParam() == TestDbKind::kPostgreSQL) return;  // PostgreSQL has no tinyint
  // A TINYINT column is a boolean: "1" is true, every other value false.
  Exec("create table tiny (id int, f tinyint)");
  Exec("insert into tiny values (1, 1), (2, 5), (3, 0)");
  rs = ODBCExecuteQuery(connection_, "select f from tiny order by id");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->columns[0].type, 19);
  std::vector<int> values;
  for (const ResultRow* row = rs->rows; row != nullptr; row = row->next) {
    EXPECT_EQ(row->cells->length, 1);
    values.push_back(*static_cast<const std::uint8_t*>(row->cells->data));
  }
  EXPECT_EQ(values, (std::vector<int>{1, 0, 0}));
  FreeResultSet(rs);
}

TEST_P(OdbcProviderTest, UpdateMatchingNoRowReturnsOne) {
  Exec("create table t (id int, v int)");
  EXPECT_EQ(ODBCExecuteUpdate(connection_, "update t set v = 1 where id = 99"), 1);
  EXPECT_EQ(ODBCExecuteUpdate(connection_, "delete from t where id = 99"), 1);
}

TEST_P(OdbcProviderTest, RejectedStatementsFailWithDiagnostics) {
  EXPECT_EQ(ODBCExecuteUpdate(connection_, "update missing_table set v = 1"), 0);
  EXPECT_TRUE(log_.HasError("SQLExecute failed\n") || log_.HasError("SQLPrepare failed\n"));
  EXPECT_EQ(ODBCExecuteQuery(connection_, "select * from missing_table"), nullptr);
  EXPECT_TRUE(log_.HasError("SQLExecDirect failed\n"));
  EXPECT_EQ(ODBCExecuteQueryBlob(connection_, "select * from missing_table", Receive, nullptr), nullptr);
  EXPECT_GE(log_.Count("[ERROR]", "STATE: "), 3);
  EXPECT_GE(log_.Count("[ERROR]", "MSG: "), 3);
  Exec("create table t (id int)");
  EXPECT_EQ(ODBCExecuteUpdate(connection_, "create table t (id int)"), 0);  // a second create fails everywhere
  // The connection stays usable after the failures.
  EXPECT_EQ(ODBCExecuteUpdate(connection_, "insert into t values (1)"), 1);
}

TEST_P(OdbcProviderTest, LongValuesAreReadWhole) {
  std::mt19937 random(7);
  std::string big(100000, ' ');
  for (char& c : big) c = static_cast<char>('a' + random() % 26);
  Exec(std::string("create table longs (id int, t ") + TextType(GetParam()) + ", v varchar(10))");
  Exec("insert into longs values (1, '" + big + "', 'short')");
  ResultSet* rs = ODBCExecuteQuery(connection_, "select t, v from longs");
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->rowCount, 1);
  EXPECT_EQ(rs->rows->cells->length, 100000);
  EXPECT_EQ(std::string(static_cast<const char*>(rs->rows->cells->data)), big);
  FreeResultSet(rs);
  if (GetParam() == TestDbKind::kSQLite) {
    // SQLite keeps more than the declared size: the bound buffer is too small for it.
    std::string wide(5000, 'w');
    Exec("insert into longs values (2, null, '" + wide + "')");
    rs = ODBCExecuteQuery(connection_, "select id, v from longs order by id");
    ASSERT_NE(rs, nullptr);
    ASSERT_EQ(rs->rowCount, 2);
    EXPECT_STREQ(static_cast<const char*>(CellAt(rs->rows, 1)->data), "short");
    EXPECT_EQ(std::string(static_cast<const char*>(CellAt(rs->rows->next, 1)->data)), wide);
    FreeResultSet(rs);
  }
}

TEST_P(OdbcProviderTest, ManyRowsArriveCompleteAndInOrder) {
  Exec("create table many (id int, name varchar(20), amount bigint)");
  std::string insert = "insert into many values ";
  const int kRows = 1500;  // several blocks of fetched rows
  for (int i = 0; i < kRows; ++i) {
    insert += (i ? "," : "") + std::string("(") + std::to_string(i) + ", " +
              (i % 7 == 0 ? std::string("null") : "'n" + std::to_string(i) + "'") + ", " + std::to_string(i * 1000LL) +
              ")";
  }
  Exec(insert);
  ResultSet* rs = ODBCExecuteQuery(connection_, "select id, name, amount from many order by id");
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->rowCount, kRows);
  int i = 0;
  for (const ResultRow* row = rs->rows; row != nullptr; row = row->next, ++i) {
    ASSERT_EQ(ValueAs<std::int32_t>(CellAt(row, 0)), i);
    if (i % 7 == 0) {
      ASSERT_EQ(CellAt(row, 1)->data, nullptr);
    } else {
      ASSERT_STREQ(static_cast<const char*>(CellAt(row, 1)->data), ("n" + std::to_string(i)).c_str());
    }
    ASSERT_EQ(ValueAs<std::int64_t>(CellAt(row, 2)), i * 1000LL);
  }
  FreeResultSet(rs);
}

TEST_P(OdbcProviderTest, BlobRoundTripsInPieces) {
  Exec(std::string("create table blobs (id int, name varchar(20), data ") + BlobType(GetParam()) + ")");
  PieceSupply supply{PatternBytes(2500), {1000, 1000, 0, 500}};
  ASSERT_EQ(ODBCExecuteUpdateBlob(connection_, "insert into blobs (id, name, data) values (1, null, ?)",
                                  SupplyPieces, &supply),
            1);
  EXPECT_TRUE(log_.HasTrace("Inside ODBCExecuteUpdateBlob\n"));
  EXPECT_EQ(supply.calls, 5);
  PieceSupply none{"", {}};
  ASSERT_EQ(ODBCExecuteUpdateBlob(connection_, "insert into blobs (id, name, data) values (2, 'x', ?)",
                                  SupplyPieces, &none),
            1);
  Exec("insert into blobs (id, name, data) values (3, '', null)");

  Received received;
  ResultSet* rs = ODBCExecuteQueryBlob(connection_, "select id, name, data from blobs order by id", Receive, &received);
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->rowCount, 3);
  EXPECT_EQ(rs->columns[2].type, 20);
  EXPECT_EQ(received.lengths, (std::vector<std::int32_t>{1024, 1024, 452, -1, -1, -1}));
  EXPECT_EQ(received.bytes, supply.data);
  const ResultRow* row = rs->rows;
  // Each column has its own indicator: NULL and text are told apart.
  EXPECT_EQ(CellAt(row, 1)->data, nullptr);
  EXPECT_STREQ(static_cast<const char*>(CellAt(row->next, 1)->data), "x");
  EXPECT_EQ(CellAt(row, 2)->data, nullptr);  // streamed values stay out of the rows
  FreeResultSet(rs);

  // The plain query returns the raw bytes, zero bytes included.
  rs = ODBCExecuteQuery(connection_, "select data from blobs order by id");
  ASSERT_NE(rs, nullptr);
  ASSERT_EQ(rs->rowCount, 3);
  EXPECT_EQ(rs->rows->cells->length, 2500);
  EXPECT_EQ(std::string(static_cast<const char*>(rs->rows->cells->data), 2500), supply.data);
  EXPECT_EQ(rs->rows->next->cells->length, 0);
  EXPECT_EQ(rs->rows->next->next->cells->data, nullptr);
  FreeResultSet(rs);
}

TEST_P(OdbcProviderTest, MalformedBlobPieceFailsTheUpload) {
  Exec(std::string("create table blobs (id int, data ") + BlobType(GetParam()) + ")");
  PieceSupply bad{PatternBytes(10), {5, -3}};
  EXPECT_EQ(ODBCExecuteUpdateBlob(connection_, "insert into blobs values (1, ?)", SupplyPieces, &bad), 0);
  EXPECT_TRUE(log_.HasError("Blob supplier returned an invalid piece\n"));
  EXPECT_EQ(ODBCExecuteUpdateBlob(connection_, "insert into nowhere values (1, ?)", SupplyPieces, &bad), 0);
  EXPECT_EQ(Column("select count(*) from blobs"), (std::vector<std::string>{"0"}));
  EXPECT_EQ(ODBCExecuteUpdate(connection_, "insert into blobs values (2, null)"), 1);
}

TEST_P(OdbcProviderTest, TransactionsCommitAndRollBack) {
  Exec("create table tx (id int)");
  ASSERT_TRUE(ODBCBeginTransaction(connection_));
  EXPECT_TRUE(log_.HasTrace("\t@@@@@ ODBCBeginTransaction() @@@@@\n"));
  Exec("insert into tx values (1)");
  ASSERT_TRUE(ODBCRollbackTransaction(connection_));
  EXPECT_TRUE(log_.HasTrace("\t@@@@@ ODBCRollbackTransaction() @@@@@\n"));
  EXPECT_EQ(Column("select count(*) from tx"), (std::vector<std::string>{"0"}));
  ASSERT_TRUE(ODBCBeginTransaction(connection_));
  Exec("insert into tx values (2)");
  ASSERT_TRUE(ODBCCommitTransaction(connection_));
  EXPECT_EQ(Column("select id from tx"), (std::vector<std::string>{"2"}));
  // Auto-commit is back on: a plain statement is visible at once.
  Exec("insert into tx values (3)");
  EXPECT_EQ(Column("select count(*) from tx"), (std::vector<std::string>{"2"}));
}

TEST_P(OdbcProviderTest, ClosingInsideATransactionDiscardsItsWork) {
  Exec("create table tx (id int)");
  DBConnection* other = Open();
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(ODBCBeginTransaction(other));
  ASSERT_EQ(ODBCExecuteUpdate(other, "insert into tx values (1)"), 1);
  EXPECT_TRUE(ODBCCloseConnection(other));
  std::free(other->name);
  std::free(other);
  EXPECT_EQ(Column("select count(*) from tx"), (std::vector<std::string>{"0"}));
}

TEST_P(OdbcProviderTest, ClosingOneConnectionLeavesTheOthersWorking) {
  DBConnection* second = Open();
  ASSERT_NE(second, nullptr);
  Close(connection_);
  connection_ = nullptr;
  EXPECT_EQ(ODBCExecuteUpdate(second, "create table still (id int)"), 1);
  DBConnection* third = Open();
  ASSERT_NE(third, nullptr);
  Close(second);
  EXPECT_EQ(ODBCExecuteUpdate(third, "insert into still values (1)"), 1);
  connection_ = third;
}

TEST_P(OdbcProviderTest, SharedConnectionSerialisesStatementsOfSeveralThreads) {
  Exec("create table shared (thread int, n int)");
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < 25; ++n) {
        std::string sql = "insert into shared values (" + std::to_string(t) + ", " + std::to_string(n) + ")";
        if (ODBCExecuteUpdate(connection_, sql.c_str()) != 1) ++failures;
        ResultSet* rs = ODBCExecuteQuery(connection_, "select count(*) from shared");
        if (rs == nullptr) ++failures;
        FreeResultSet(rs);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(Column("select count(*) from shared"), (std::vector<std::string>{"100"}));
}

TEST_P(OdbcProviderTest, UnreachableOrRefusedDatabaseFailsToOpen) {
  std::vector<std::string> bad;
  if (GetParam() == TestDbKind::kSQLite) {
    bad.push_back("Driver=SQLite3;Database=/nonexistent-dir/sub/x.db;");
  } else {
    bad.push_back(WithAttribute(db_->ConnectionString(), "Port", "1"));  // nobody listens there
    bad.push_back(GetParam() == TestDbKind::kPostgreSQL ? WithAttribute(db_->ConnectionString(), "Uid", "nosuchuser")
                                                        : WithAttribute(db_->ConnectionString(), "Pwd", "wrong"));
  }
  bad.push_back("Driver=NoSuchDriver;");
  for (const std::string& connection : bad) {
    SCOPED_TRACE(connection);
    ConnParams* params =
        CreateConnParams("h", 0, "x", nullptr, nullptr, 0, "main", 1, connection.c_str(), "ODBC", "MYSQL");
    EXPECT_EQ(ODBCOpenConnection(params), nullptr);
    FreeConnParams(params);
  }
  EXPECT_EQ(log_.Count("[ERROR]", "Connecting to driver failed\n"), static_cast<int>(bad.size()));
  EXPECT_GE(log_.Count("[ERROR]", "STATE: "), static_cast<int>(bad.size()));
}

VT_INSTANTIATE_ON_ALL_DATABASES(OdbcProviderTest);

}  // namespace
