// ExecuteQuery of a 100,000-row, five-column SQLite table through the ODBC provider,
// against the same scan through the SQLite C API in the same run: once building the same
// result set with the same value conversions (the fair comparison), once only reading
// every value as text (the floor). The ODBC scan runs with the driver's default settings
// and with StepAPI=1. Results go to docs/benchmarks.md; nothing asserts.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "agent/object_lock.h"
#include "store/db/conn_params.h"
#include "store/db/db_provider.h"
#include "store/db/odbc_provider.h"
#include "store/imds/column_value.h"
#include "store/imds/result_set.h"

namespace {

constexpr int kRows = 100000;
constexpr const char* kQuery = "select id, name, qty, amount, price from scan5";

// The type codes the ODBC type map gives the five columns.
constexpr ColumnType kCodes[5] = {QEL_SQL_INT, QEL_SQL_VARCHAR, QEL_SQL_INT, QEL_SQL_BIGINT, QEL_SQL_DOUBLE};

// The table, made once per run in a temporary file with seeded data.
const std::string& DatabaseFile() {
  static const std::string file = [] {
    std::string path = (std::filesystem::temp_directory_path() / "vt-odbc-scan-bench.db").string();
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "create table scan5 (id int, name varchar(40), qty int, amount bigint, price double);"
                 "begin;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "insert into scan5 values (?, ?, ?, ?, ?)", -1, &insert, nullptr);
    std::mt19937 random(42);
    for (int i = 0; i < kRows; ++i) {
      std::string name = "customer-" + std::to_string(random() % 100000);
      sqlite3_bind_int(insert, 1, i);
      sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 3, static_cast<int>(random() % 1000));
      sqlite3_bind_int64(insert, 4, static_cast<sqlite3_int64>(random()) * 1000);
      sqlite3_bind_double(insert, 5, (random() % 100000) / 100.0);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "commit;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
  }();
  return file;
}

// A result set built the way the provider builds it, from the C API's text values.
ResultSet* ScanIntoResultSet(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, kQuery, -1, &stmt, nullptr) != SQLITE_OK) return nullptr;
  auto* columns = static_cast<ResultColumn*>(std::calloc(5, sizeof(ResultColumn)));
  for (int c = 0; c < 5; ++c) {
    const char* name = sqlite3_column_name(stmt, c);
    columns[c].name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
    std::strcpy(columns[c].name, name);
    columns[c].type = kCodes[c];
  }
  ResultRow* rows = nullptr;
  ResultRow* tail = nullptr;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    ResultCell* cells = nullptr;
    ResultCell* last = nullptr;
    for (int c = 0; c < 5; ++c) {
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      std::int32_t length = sqlite3_column_bytes(stmt, c);
      void* value = text != nullptr ? ConvertStringToColumnValue(text, &length, kCodes[c]) : nullptr;
      ResultCell* cell = AppendResultCellValue(nullptr, length, value);
      if (last == nullptr) {
        cells = cell;
      } else {
        last->next = cell;
      }
      last = cell;
    }
    ResultRow* row = AppendResultRow(nullptr, cells);
    if (tail == nullptr) {
      rows = row;
    } else {
      tail->next = row;
    }
    tail = row;
  }
  sqlite3_finalize(stmt);
  return CreateResultSet(rows, columns, 5);
}

void BM_OdbcExecuteQuery(benchmark::State& state) {
  InitMutex();
  InitDBProvider();
  // Argument 1 sets the driver's StepAPI option: rows are stepped one by one instead of
  // the whole result being copied into the driver's own table first.
  std::string connection = "Driver=SQLite3;Database=" + DatabaseFile() + ";";
  if (state.range(0) == 1) connection += "StepAPI=1;";
  ConnParams* params =
      CreateConnParams("localhost", 0, "bench", nullptr, nullptr, 0, "bench", 1, connection.c_str(), "ODBC", "SQLITE");
  DBConnection* db = OpenDBConnection(params);
  if (db == nullptr) {
    state.SkipWithError("cannot open the SQLite database through ODBC");
    FreeConnParams(params);
    return;
  }
  for (auto _ : state) {
    ResultSet* rs = ExecuteQuery(db, kQuery);
    if (rs == nullptr || rs->rowCount != kRows) state.SkipWithError("query failed");
    FreeResultSet(rs);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  CloseDBConnection(db);
  FreeConnParams(params);
  UnloadDBProvider("ODBC");
  ClearRegisteredProviders();
}

void BM_SqliteApiIntoResultSet(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(DatabaseFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) {
    ResultSet* rs = ScanIntoResultSet(db);
    if (rs == nullptr || rs->rowCount != kRows) state.SkipWithError("scan failed");
    FreeResultSet(rs);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  sqlite3_close(db);
}

void BM_SqliteApiTextOnly(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(DatabaseFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kQuery, -1, &stmt, nullptr);
    std::size_t bytes = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      for (int c = 0; c < 5; ++c) {
        benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
        bytes += static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
      }
    }
    sqlite3_finalize(stmt);
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  sqlite3_close(db);
}

BENCHMARK(BM_OdbcExecuteQuery)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteApiIntoResultSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteApiTextOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
