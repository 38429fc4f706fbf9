// The result set: one database query's complete answer (column descriptors, rows of
// (length, value) cells) with a cursor. The set owns copies of everything; cells of
// date, time and date-time columns hold QelDateTime records and are freed as such.
// Blocks come from VtMalloc. A set is used by one thread at a time.
#pragma once

#include <cstdint>

#include "store/imds/column_value.h"

struct ResultColumn {
  char* name;             // owned; the column name as the database reports it
  std::uint8_t type;      // column type code
};

struct ResultCell {
  std::int32_t length;    // byte length of the value; 0 for NULL
  void* data;             // owned value, or null for SQL NULL
  ResultCell* next;
};

struct ResultRow {
  ResultCell* cells;      // one cell per column, in column order
  ResultRow* next;
};

struct ResultSet {
  std::int32_t columnCount;
  std::int32_t rowCount;    // counted when the set is built
  ResultColumn* columns;    // columnCount descriptors
  ResultRow* rows;          // fetch order; null when there are none
  ResultRow* currentRow;    // the cursor; null means before the first row
};

// Appends a cell holding a copy of `length` bytes of `data` plus a terminating zero
// (null data: a NULL cell of length 0) and returns the list's first cell. Null, with
// the list unchanged, when out of memory or for a negative length.
ResultCell* AppendResultCell(ResultCell* cells, std::int32_t length, const void* data);
// As AppendResultCell, but the cell takes `data` itself (no copy): the way to store a
// value that owns further blocks, such as a QelDateTime. On failure `data` stays the
// caller's.
ResultCell* AppendResultCellValue(ResultCell* cells, std::int32_t length, void* data);
// Appends a row holding `cells`; returns the list's first row, or null (list unchanged,
// cells still the caller's) when out of memory.
ResultRow* AppendResultRow(ResultRow* rows, ResultCell* cells);
// A new set taking over `rows` and the `columns` array, cursor before the first row.
// Null when out of memory or for a negative count; the caller then keeps both.
ResultSet* CreateResultSet(ResultRow* rows, ResultColumn* columns, std::int32_t columnCount);

// Moves the cursor to the first row when before it, else to the next one; returns the
// new current row, null at the end (the next call starts again at the first row) or
// for a null set.
ResultRow* NextResultRow(ResultSet* resultSet);
void ResetResultSetCursor(ResultSet* resultSet);
// In the current row, the data (not a copy) of the first column whose name equals
// `name` without regard to case, with its length stored through `length` (when not
// null). Null when there is no such column, the cursor is not on a row, or an argument
// is null.
void* GetResultValue(const char* name, std::int32_t* length, const ResultSet* resultSet);
// The type code of the first column of that name (case-insensitive); 0 when none.
std::uint8_t GetResultColumnType(const char* name, const ResultSet* resultSet);
// The name (not a copy) of column `index`; null outside 0..columnCount-1.
const char* GetResultColumnName(std::int32_t index, const ResultSet* resultSet);

// Free everything they are given; null is ignored. With `columns`, the cells of date,
// time and date-time columns are freed as QelDateTime records.
void FreeResultSet(ResultSet* resultSet);
void FreeResultRows(ResultRow* rows, const ResultColumn* columns = nullptr, std::int32_t columnCount = 0);
void FreeResultCells(ResultCell* cells, const ResultColumn* columns = nullptr, std::int32_t columnCount = 0);
void FreeResultColumns(ResultColumn* columns, std::int32_t columnCount);

// A diagnostic listing at debug level: the column names, then one line per row.
void PrintResultSet(const ResultSet* resultSet);
