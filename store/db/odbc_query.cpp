#include "store/db/odbc_query.h"

#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/log_writer.h"
#include "store/db/odbc_provider.h"
#include "store/imds/result_set.h"
#include "store/imds/table_defn.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

namespace {

// Columns declared wider than this many characters are read in pieces, not bound.
constexpr SQLULEN kMaxBoundChars = 1024;
constexpr SQLLEN kMinCellBytes = 64;
// Bound buffers of one block of rows stay below this size.
constexpr std::size_t kBlockBudgetBytes = 512 * 1024;
constexpr SQLULEN kMaxBlockRows = 512;
constexpr SQLLEN kPieceBytes = 8192;
// Blob values reach a consumer in pieces of this size.
constexpr SQLLEN kBlobPieceBytes = 1024;

struct Column {
  std::string name;
  SQLSMALLINT sqlType = 0;
  SQLULEN size = 0;
  ColumnType code = QEL_SQL_NOT_SUPPORTED_TYPE;
  SQLLEN cellBytes = 0;          // bound buffer per row, terminator included
  std::vector<char> buffer;      // block of bound values
  std::vector<SQLLEN> indicators;
};

bool IsBinaryType(SQLSMALLINT type) {
  return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

// Values whose size the declaration does not bound usefully: read whole in pieces.
bool NeedsPieces(const Column& column) {
  return column.sqlType == SQL_LONGVARCHAR || column.sqlType == SQL_WLONGVARCHAR || IsBinaryType(column.sqlType) ||
         column.size == 0 || column.size > kMaxBoundChars;
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// Builds the result set row by row. Owns everything until Finish hands it over.
class ResultBuilder {
 public:
  ResultBuilder() = default;
  ~ResultBuilder() {
    Reset();
    FreeResultColumns(columns_, count_);
  }
  ResultBuilder(const ResultBuilder&) = delete;
  ResultBuilder& operator=(const ResultBuilder&) = delete;

  bool Start(const std::vector<Column>& columns) {
    count_ = static_cast<std::int32_t>(columns.size());
    columns_ = static_cast<ResultColumn*>(VtCalloc(std::max<std::size_t>(columns.size(), 1), sizeof(ResultColumn)));
    if (columns_ == nullptr) return false;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (AllocateAndSetString(&columns_[i].name, columns[i].name.c_str()) != kVtSuccess) return false;
      columns_[i].type = columns[i].code;
    }
    return true;
  }

  // Takes `value` (null: SQL NULL) as the next cell of the current row; on failure it is freed.
  bool AddCell(void* value, std::int32_t length) {
    ResultCell* cell = AppendResultCellValue(nullptr, value != nullptr ? length : 0, value);
    if (cell == nullptr) {
      FreeColumnValue(value, static_cast<ColumnType>(columns_[cellIndex_].type));
      return false;
    }
    if (cellsTail_ == nullptr) {
      cells_ = cell;
    } else {
      cellsTail_->next = cell;
    }
    cellsTail_ = cell;
    ++cellIndex_;
    return true;
  }

  bool EndRow() {
    ResultRow* row = AppendResultRow(nullptr, cells_);
    if (row == nullptr) return false;
    if (rowsTail_ == nullptr) {
      rows_ = row;
    } else {
      rowsTail_->next = row;
    }
    rowsTail_ = row;
    cells_ = cellsTail_ = nullptr;
    cellIndex_ = 0;
    return true;
  }

  // Drops every row read so far (before reading the statement again).
  void Reset() {
    FreeResultCells(cells_, columns_, count_);
    FreeResultRows(rows_, columns_, count_);
    cells_ = cellsTail_ = nullptr;
    rows_ = rowsTail_ = nullptr;
    cellIndex_ = 0;
  }

  ResultSet* Finish() {
    ResultSet* set = CreateResultSet(rows_, columns_, count_);
    if (set == nullptr) return nullptr;
    rows_ = rowsTail_ = nullptr;
    columns_ = nullptr;
    count_ = 0;
    return set;
  }

 private:
  ResultColumn* columns_ = nullptr;
  std::int32_t count_ = 0;
  ResultRow* rows_ = nullptr;
  ResultRow* rowsTail_ = nullptr;
  ResultCell* cells_ = nullptr;
  ResultCell* cellsTail_ = nullptr;
  std::int32_t cellIndex_ = 0;
};

// The stored value of one fetched value (`length` bytes at `data`, NUL-terminated).
// Null when the conversion yields nothing.
void* MakeValue(const Column& column, const char* data, std::size_t length, std::int32_t* valueLength) {
  std::int32_t size = static_cast<std::int32_t>(length);
  switch (column.code) {
    case QEL_SQL_BOOLEAN: {
      const char* text = length == 1 && data[0] == '1' ? "TRUE" : "FALSE";
      void* value = ConvertStringToColumnValue(text, &size, QEL_SQL_BOOLEAN);
      *valueLength = size;
      return value;
    }
    case QEL_SQL_DATE:
    case QEL_SQL_TIME:
    case QEL_SQL_DATETIME:
      return ConvertDBDateTime(data, valueLength, column.code);
    default:
      break;
  }
  if (column.code >= QEL_SQL_TINYINT && column.code <= QEL_SQL_VARCHAR) {
    void* value = ConvertStringToColumnValue(data, &size, column.code);
    *valueLength = size;
    return value;
  }
  // Codes 0, 20, 21 and 22: the bytes themselves. Binary values keep their full length,
  // zero bytes included; text ends at its terminator.
  auto* value = static_cast<char*>(VtMalloc(length + 1));
  if (value == nullptr) return nullptr;
  std::memcpy(value, data, length);
  value[length] = '\0';
  *valueLength = IsBinaryType(column.sqlType) ? size : static_cast<std::int32_t>(std::strlen(value));
  return value;
}

bool DescribeColumns(SQLHSTMT stmt, std::vector<Column>& columns) {
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &count))) {
    LogError("SQLNumResultCols Failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
    return false;
  }
  columns.resize(static_cast<std::size_t>(std::max<SQLSMALLINT>(count, 0)));
  for (SQLUSMALLINT i = 0; i < columns.size(); ++i) {
    Column& column = columns[i];
    std::vector<SQLCHAR> name(128);
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    SQLRETURN described = SQLDescribeCol(stmt, i + 1, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                         &column.sqlType, &column.size, &digits, &nullable);
    if (SQL_SUCCEEDED(described) && nameLength >= static_cast<SQLSMALLINT>(name.size())) {
      name.resize(static_cast<std::size_t>(nameLength) + 1);
      described = SQLDescribeCol(stmt, i + 1, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                 &column.sqlType, &column.size, &digits, &nullable);
    }
    if (!SQL_SUCCEEDED(described)) {
      LogError("SQLDescribeCol failed\n");
      LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
      return false;
    }
    column.name = reinterpret_cast<const char*>(name.data());
    column.code = GetColumnTypeForSqlType(gv_odbcTypeMap, kOdbcTypeMapCount, column.sqlType);
  }
  return true;
}

// Reads a whole value of the current row with SQLGetData in pieces. False on failure.
bool ReadWholeValue(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, std::string& value, bool& isNull) {
  value.clear();
  isNull = false;
  std::vector<char> piece(kPieceBytes);
  const SQLLEN room = cType == SQL_C_CHAR ? kPieceBytes - 1 : kPieceBytes;
  while (true) {
    SQLLEN indicator = 0;
    SQLRETURN got = SQLGetData(stmt, column, cType, piece.data(), kPieceBytes, &indicator);
    if (got == SQL_NO_DATA) return true;
    if (!SQL_SUCCEEDED(got)) {
      LogError("SQLGetData failed\n");
      LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
      return false;
    }
    if (indicator == SQL_NULL_DATA) {
      isNull = true;
      return true;
    }
    bool more = got == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator > room);
    value.append(piece.data(), static_cast<std::size_t>(more ? room : std::min(indicator, room)));
    if (!more) return true;
  }
}

// Pushes one value to the consumer in pieces of at most 1024 bytes, then (null, 0).
bool StreamValue(SQLHSTMT stmt, SQLUSMALLINT column, BlobConsumer consumer, void* userData) {
  char piece[kBlobPieceBytes];
  bool ok = true;
  while (true) {
    SQLLEN indicator = 0;
    SQLRETURN got = SQLGetData(stmt, column, SQL_C_BINARY, piece, kBlobPieceBytes, &indicator);
    if (!SQL_SUCCEEDED(got)) {
      if (got != SQL_NO_DATA) {
        LogError("SQLGetData failed\n");
        LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
        ok = false;
      }
      break;
    }
    if (indicator == SQL_NULL_DATA) break;
    SQLLEN length = indicator == SQL_NO_TOTAL || indicator > kBlobPieceBytes ? kBlobPieceBytes : indicator;
    if (length > 0) consumer(piece, static_cast<std::int32_t>(length), userData);
  }
  consumer(nullptr, 0, userData);
  return ok;
}

enum class Outcome { kDone, kFailed, kTruncated };

// Reads the rows of an executed statement into a builder.
class RowReader {
 public:
  RowReader(SQLHSTMT stmt, std::vector<Column>& columns, ResultBuilder& builder)
      : stmt_(stmt), columns_(columns), builder_(builder) {}

  // Every column bound, blocks of rows per fetch. kTruncated when a value did not fit
  // its buffer: the statement must then be read again in pieces.
  Outcome ReadBlocks() {
    SQLULEN rows = BlockRows();
    if (!UseBlocks(rows)) rows = 1;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (!Bind(static_cast<SQLUSMALLINT>(i), rows)) return Outcome::kFailed;
    }
    while (true) {
      fetched_ = 0;
      std::fill(statuses_.begin(), statuses_.end(), static_cast<SQLUSMALLINT>(SQL_ROW_SUCCESS));
      SQLRETURN got = SQLFetch(stmt_);
      if (got == SQL_NO_DATA) return Outcome::kDone;
      if (!SQL_SUCCEEDED(got)) return FetchFailed();
      SQLULEN count = blockRows_ > 1 ? fetched_ : 1;
      for (SQLULEN row = 0; row < count; ++row) {
        if (statuses_.size() > row && statuses_[row] == SQL_ROW_ERROR) return FetchFailed();
        if (statuses_.size() > row && statuses_[row] == SQL_ROW_NOROW) continue;
        Outcome outcome = AddBoundRow(row);
        if (outcome != Outcome::kDone) return outcome;
      }
    }
  }

  // Nothing bound, one row per fetch, every value read whole. With a consumer, values of
  // type code 20 go to it and stay absent from the rows.
  Outcome ReadPieces(BlobConsumer consumer, void* userData) {
    std::string value;
    while (true) {
      SQLRETURN got = SQLFetch(stmt_);
      if (got == SQL_NO_DATA) return Outcome::kDone;
      if (!SQL_SUCCEEDED(got)) return FetchFailed();
      for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& column = columns_[i];
        auto number = static_cast<SQLUSMALLINT>(i + 1);
        if (consumer != nullptr && column.code == QEL_SQL_BLOB) {
          if (!StreamValue(stmt_, number, consumer, userData) || !builder_.AddCell(nullptr, 0)) {
            return Outcome::kFailed;
          }
          continue;
        }
        bool isNull = false;
        SQLSMALLINT cType = IsBinaryType(column.sqlType) ? SQL_C_BINARY : SQL_C_CHAR;
        if (!ReadWholeValue(stmt_, number, cType, value, isNull)) return Outcome::kFailed;
        if (!AddValue(column, isNull ? nullptr : value.c_str(), value.size(), consumer != nullptr)) {
          return Outcome::kFailed;
        }
      }
      if (!builder_.EndRow()) return Outcome::kFailed;
    }
  }

 private:
  SQLULEN BlockRows() {
    std::size_t rowBytes = 0;
    for (Column& column : columns_) {
      column.cellBytes = std::max<SQLLEN>(kMinCellBytes, static_cast<SQLLEN>(column.size) * 4 + 1);
      rowBytes += static_cast<std::size_t>(column.cellBytes);
    }
    if (rowBytes == 0) return 1;
    return std::clamp<SQLULEN>(kBlockBudgetBytes / rowBytes, 1, kMaxBlockRows);
  }

  // Asks for `rows` rows per fetch; false (one row per fetch) when the driver refuses.
  bool UseBlocks(SQLULEN rows) {
    blockRows_ = 1;
    if (rows <= 1) return false;
    statuses_.assign(rows, SQL_ROW_SUCCESS);
    bool accepted =
        SQL_SUCCEEDED(SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0)) &&
        SQL_SUCCEEDED(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, statuses_.data(), 0)) &&
        SQL_SUCCEEDED(SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE,
                                     reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(rows)), 0));
    if (!accepted) {
      SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(std::uintptr_t{1}), 0);
      statuses_.clear();
      return false;
    }
    blockRows_ = rows;
    return true;
  }

  bool Bind(SQLUSMALLINT index, SQLULEN rows) {
    Column& column = columns_[index];
    column.buffer.assign(static_cast<std::size_t>(column.cellBytes) * rows, '\0');
    column.indicators.assign(rows, 0);
    if (!SQL_SUCCEEDED(SQLBindCol(stmt_, index + 1, SQL_C_CHAR, column.buffer.data(), column.cellBytes,
                                  column.indicators.data()))) {
      LogError("SQLBindCol failed \n");
      LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt_);
      return false;
    }
    return true;
  }

  Outcome AddBoundRow(SQLULEN row) {
    for (Column& column : columns_) {
      SQLLEN indicator = column.indicators[row];
      if (indicator != SQL_NULL_DATA && (indicator == SQL_NO_TOTAL || indicator < 0 || indicator >= column.cellBytes)) {
        return Outcome::kTruncated;
      }
      const char* data = indicator == SQL_NULL_DATA ? nullptr : &column.buffer[row * column.cellBytes];
      if (!AddValue(column, data, indicator == SQL_NULL_DATA ? 0 : static_cast<std::size_t>(indicator), false)) {
        return Outcome::kFailed;
      }
    }
    return builder_.EndRow() ? Outcome::kDone : Outcome::kFailed;
  }

  // A value that cannot be converted fails the query, or stays absent when `lenient`.
  bool AddValue(const Column& column, const char* data, std::size_t length, bool lenient) {
    if (data == nullptr) return builder_.AddCell(nullptr, 0);
    std::int32_t valueLength = 0;
    void* value = MakeValue(column, data, length, &valueLength);
    if (value == nullptr && !lenient) return false;
    return builder_.AddCell(value, valueLength);
  }

  Outcome FetchFailed() {
    LogError("SQLFetch failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt_);
    return Outcome::kFailed;
  }

  SQLHSTMT stmt_;
  std::vector<Column>& columns_;
  ResultBuilder& builder_;
  SQLULEN blockRows_ = 1;
  SQLULEN fetched_ = 0;
  std::vector<SQLUSMALLINT> statuses_;
};

// Runs the statement directly (queries) or prepared (blob queries). False, logged, on failure.
bool Execute(SQLHSTMT stmt, const char* statement, bool prepared) {
  if (prepared) {
    if (!SQL_SUCCEEDED(SQLPrepare(stmt, OdbcText(statement), SQL_NTS))) {
      LogError("SQLPrepare failed\n");
      LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
      return false;
    }
    SQLRETURN executed = SQLExecute(stmt);
    if (!SQL_SUCCEEDED(executed) && executed != SQL_NO_DATA) {
      LogError("SQLExecute failed\n");
      LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
      return false;
    }
  } else {
    SQLRETURN executed = SQLExecDirect(stmt, OdbcText(statement), SQL_NTS);
    if (!SQL_SUCCEEDED(executed) && executed != SQL_NO_DATA) {
      LogError("SQLExecDirect failed\n");
      LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
      return false;
    }
  }
  SQLLEN rows = 0;
  if (!SQL_SUCCEEDED(SQLRowCount(stmt, &rows))) {
    LogError("No Rows Affected\n");
    LogOdbcDiagnostics(SQL_HANDLE_STMT, stmt);
    return false;
  }
  return true;
}

// Closes the cursor and drops the bindings and block settings, ready to run again.
void ResetStatement(SQLHSTMT stmt) {
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLFreeStmt(stmt, SQL_UNBIND);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(std::uintptr_t{1}), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
}

}  // namespace

StatementHandle::~StatementHandle() {
  if (stmt_ == SQL_NULL_HSTMT) return;
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLFreeStmt(stmt_, SQL_UNBIND);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

bool StatementHandle::Allocate(SQLHDBC hdbc) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocStmt(hdbc, &stmt))) return false;
  stmt_ = stmt;
  return true;
}

void LogOdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER native = 0;
    std::vector<SQLCHAR> message(512);
    SQLSMALLINT messageLength = 0;
    SQLRETURN got = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &messageLength);
    if (SQL_SUCCEEDED(got) && messageLength >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(messageLength) + 1);
      got = SQLGetDiagRec(handleType, handle, record, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &messageLength);
    }
    if (!SQL_SUCCEEDED(got)) return;
    LogError("STATE: %s\n", reinterpret_cast<const char*>(state));
    LogError("NAT: %ld\n", static_cast<long>(native));
    LogError("MSG: %s\n", OrEmpty(reinterpret_cast<const char*>(message.data())));
  }
}

ResultSet* RunOdbcQuery(SQLHDBC hdbc, const char* statement, BlobConsumer consumer, void* userData) {
  // Declared before the statement handle: the driver holds pointers into them until the
  // handle is freed.
  std::vector<Column> columns;
  ResultBuilder builder;
  StatementHandle stmt;
  if (!stmt.Allocate(hdbc)) {
    LogError("Allocating Statement Handle failed\n");
    LogOdbcDiagnostics(SQL_HANDLE_DBC, hdbc);
    return nullptr;
  }
  bool blobQuery = consumer != nullptr;
  if (!Execute(stmt.Get(), statement, blobQuery)) return nullptr;
  if (!DescribeColumns(stmt.Get(), columns) || !builder.Start(columns)) return nullptr;
  RowReader reader(stmt.Get(), columns, builder);
  bool pieces = blobQuery || std::any_of(columns.begin(), columns.end(), NeedsPieces);
  Outcome outcome = pieces ? reader.ReadPieces(consumer, userData) : reader.ReadBlocks();
  if (outcome == Outcome::kTruncated) {
    // A value outgrew its declared size (SQLite does not enforce sizes): read it all
    // again, every value whole.
    builder.Reset();
    ResetStatement(stmt.Get());
    if (!Execute(stmt.Get(), statement, false)) return nullptr;
    outcome = reader.ReadPieces(nullptr, nullptr);
  }
  if (outcome != Outcome::kDone) return nullptr;
  return builder.Finish();
}
