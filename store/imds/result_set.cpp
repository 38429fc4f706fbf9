#include "store/imds/result_set.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/log_writer.h"
#include "store/imds/qel_date_time.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

namespace {

ResultCell* AppendCell(ResultCell* cells, ResultCell* cell) {
  if (cells == nullptr) return cell;
  ResultCell* last = cells;
  while (last->next != nullptr) last = last->next;
  last->next = cell;
  return cells;
}

// The type of the column at `index`, or 0 when the descriptors do not reach it.
ColumnType ColumnTypeAt(const ResultColumn* columns, std::int32_t columnCount, std::int32_t index) {
  if (columns == nullptr || index >= columnCount) return QEL_SQL_NOT_SUPPORTED_TYPE;
  return static_cast<ColumnType>(columns[index].type);
}

template <typename T>
T Read(const void* value) {
  T out;
  std::memcpy(&out, value, sizeof(T));
  return out;
}

// One cell of the listing, without its tab.
std::string CellText(const ResultCell& cell, ColumnType type) {
  if (cell.data == nullptr) return "NULL";
  switch (type) {
    case QEL_SQL_TINYINT:
      return std::to_string(Read<std::int8_t>(cell.data));
    case QEL_SQL_UNSIGNED_TINYINT:
      return std::to_string(Read<std::uint8_t>(cell.data));
    case QEL_SQL_SMALLINT:
      return std::to_string(Read<std::int16_t>(cell.data));
    case QEL_SQL_UNSIGNED_SMALLINT:
      return std::to_string(Read<std::uint16_t>(cell.data));
    case QEL_SQL_INT:
      return std::to_string(Read<std::int32_t>(cell.data));
    case QEL_SQL_UNSIGNED_INT:
      return std::to_string(Read<std::uint32_t>(cell.data));
    case QEL_SQL_BIGINT:
      return std::to_string(Read<std::int64_t>(cell.data));
    case QEL_SQL_UNSIGNED_LONG_INT:
      return std::to_string(Read<std::uint64_t>(cell.data));
    case QEL_SQL_FLOAT:
    case QEL_SQL_REAL:  // binary like FLOAT, so never listed as text
      return std::to_string(Read<float>(cell.data));
    case QEL_SQL_DOUBLE:
      return std::to_string(Read<double>(cell.data));
    case QEL_SQL_DATE:
    case QEL_SQL_TIME:
    case QEL_SQL_DATETIME: {
      char* text = QelDateTimeToString(static_cast<const QelDateTime*>(cell.data));
      std::string copy = text != nullptr ? text : "NULL";
      std::free(text);
      return copy;
    }
    case QEL_SQL_BOOLEAN:  // one byte without a terminator
      return std::to_string(Read<std::uint8_t>(cell.data));
    default:
      return static_cast<const char*>(cell.data);
  }
}

}  // namespace

ResultCell* AppendResultCell(ResultCell* cells, std::int32_t length, const void* data) {
  if (data == nullptr) return AppendResultCellValue(cells, 0, nullptr);
  if (length < 0) return nullptr;
  auto* copy = static_cast<char*>(VtMalloc(static_cast<std::size_t>(length) + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, data, static_cast<std::size_t>(length));
  copy[length] = '\0';
  ResultCell* first = AppendResultCellValue(cells, length, copy);
  if (first == nullptr) std::free(copy);
  return first;
}

ResultCell* AppendResultCellValue(ResultCell* cells, std::int32_t length, void* data) {
  if (length < 0) return nullptr;
  auto* cell = static_cast<ResultCell*>(VtCalloc(1, sizeof(ResultCell)));
  if (cell == nullptr) return nullptr;
  cell->length = data == nullptr ? 0 : length;
  cell->data = data;
  return AppendCell(cells, cell);
}

ResultRow* AppendResultRow(ResultRow* rows, ResultCell* cells) {
  auto* row = static_cast<ResultRow*>(VtCalloc(1, sizeof(ResultRow)));
  if (row == nullptr) return nullptr;
  row->cells = cells;
  if (rows == nullptr) return row;
  ResultRow* last = rows;
  while (last->next != nullptr) last = last->next;
  last->next = row;
  return rows;
}

ResultSet* CreateResultSet(ResultRow* rows, ResultColumn* columns, std::int32_t columnCount) {
  if (columnCount < 0) return nullptr;
  auto* set = static_cast<ResultSet*>(VtCalloc(1, sizeof(ResultSet)));
  if (set == nullptr) return nullptr;
  set->columnCount = columnCount;
  set->columns = columns;
  set->rows = rows;
  for (ResultRow* row = rows; row != nullptr; row = row->next) ++set->rowCount;
  return set;
}

ResultRow* NextResultRow(ResultSet* resultSet) {
  if (resultSet == nullptr) return nullptr;
  resultSet->currentRow = resultSet->currentRow == nullptr ? resultSet->rows : resultSet->currentRow->next;
  return resultSet->currentRow;
}

void ResetResultSetCursor(ResultSet* resultSet) {
  if (resultSet != nullptr) resultSet->currentRow = nullptr;
}

void* GetResultValue(const char* name, std::int32_t* length, const ResultSet* resultSet) {
  if (name == nullptr || resultSet == nullptr || resultSet->currentRow == nullptr) return nullptr;
  ResultCell* cell = resultSet->currentRow->cells;
  for (std::int32_t i = 0; i < resultSet->columnCount && cell != nullptr; ++i, cell = cell->next) {
    if (CompareNoCase(resultSet->columns[i].name, name) == 0) {
      if (length != nullptr) *length = cell->length;
      return cell->data;
    }
  }
  return nullptr;
}

std::uint8_t GetResultColumnType(const char* name, const ResultSet* resultSet) {
  if (name == nullptr || resultSet == nullptr) return 0;
  for (std::int32_t i = 0; i < resultSet->columnCount; ++i) {
    if (CompareNoCase(resultSet->columns[i].name, name) == 0) return resultSet->columns[i].type;
  }
  return 0;
}

const char* GetResultColumnName(std::int32_t index, const ResultSet* resultSet) {
  if (resultSet == nullptr || index < 0 || index >= resultSet->columnCount) return nullptr;
  return resultSet->columns[index].name;
}

void FreeResultCells(ResultCell* cells, const ResultColumn* columns, std::int32_t columnCount) {
  std::int32_t index = 0;
  while (cells != nullptr) {
    ResultCell* next = cells->next;
    FreeColumnValue(cells->data, ColumnTypeAt(columns, columnCount, index));
    std::free(cells);
    cells = next;
    ++index;
  }
}

void FreeResultRows(ResultRow* rows, const ResultColumn* columns, std::int32_t columnCount) {
  while (rows != nullptr) {
    ResultRow* next = rows->next;
    FreeResultCells(rows->cells, columns, columnCount);
    std::free(rows);
    rows = next;
  }
}

void FreeResultColumns(ResultColumn* columns, std::int32_t columnCount) {
  if (columns == nullptr) return;
  for (std::int32_t i = 0; i < columnCount; ++i) std::free(columns[i].name);
  std::free(columns);
}

void FreeResultSet(ResultSet* resultSet) {
  if (resultSet == nullptr) return;
  FreeResultRows(resultSet->rows, resultSet->columns, resultSet->columnCount);
  FreeResultColumns(resultSet->columns, resultSet->columnCount);
  std::free(resultSet);
}

void PrintResultSet(const ResultSet* resultSet) {
  if (resultSet == nullptr) return;
  std::string header;
  for (std::int32_t i = 0; i < resultSet->columnCount; ++i) {
    header += resultSet->columns[i].name != nullptr ? resultSet->columns[i].name : "";
    header += '\t';
  }
  LogDebug("%s\n", header.c_str());
  for (const ResultRow* row = resultSet->rows; row != nullptr; row = row->next) {
    std::string line;
    std::int32_t index = 0;
    for (const ResultCell* cell = row->cells; cell != nullptr; cell = cell->next, ++index) {
      line += CellText(*cell, ColumnTypeAt(resultSet->columns, resultSet->columnCount, index));
      line += '\t';
    }
    LogDebug("%s\n", line.c_str());
  }
}
