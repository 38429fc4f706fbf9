#include "store/imds/result_set.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "store/imds/qel_date_time.h"
#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

struct ResultSetDeleter {
  void operator()(ResultSet* set) const { FreeResultSet(set); }
};
using ResultSetPtr = std::unique_ptr<ResultSet, ResultSetDeleter>;

ResultColumn* Columns(std::initializer_list<std::pair<const char*, ColumnType>> list) {
  auto* columns = static_cast<ResultColumn*>(std::calloc(list.size(), sizeof(ResultColumn)));
  int i = 0;
  for (const auto& [name, type] : list) {
    columns[i].name = strdup(name);
    columns[i].type = type;
    ++i;
  }
  return columns;
}

ResultCell* IntCell(ResultCell* cells, std::int32_t value) { return AppendResultCell(cells, 4, &value); }
ResultCell* TextCell(ResultCell* cells, const char* text) {
  return AppendResultCell(cells, static_cast<std::int32_t>(std::strlen(text)), text);
}
ResultCell* DateCell(ResultCell* cells, int year, int month, int day) {
  auto* value = static_cast<QelDateTime*>(std::calloc(1, sizeof(QelDateTime)));
  value->date = CreateQelDate(year, month, day);
  return AppendResultCellValue(cells, kQelDateTimeValueLength, value);
}

// id INT, name VARCHAR, born DATE: (1, "Ann", 2024-05-01) and (2, NULL, NULL).
ResultSetPtr People() {
  ResultRow* rows = nullptr;
  rows = AppendResultRow(rows, DateCell(TextCell(IntCell(nullptr, 1), "Ann"), 2024, 5, 1));
  rows = AppendResultRow(rows, AppendResultCell(AppendResultCell(IntCell(nullptr, 2), 0, nullptr), 0, nullptr));
  return ResultSetPtr(
      CreateResultSet(rows, Columns({{"id", QEL_SQL_INT}, {"Name", QEL_SQL_VARCHAR}, {"born", QEL_SQL_DATE}}), 3));
}

std::int32_t IntAt(const ResultSet* set, const char* name) {
  std::int32_t length = -1;
  void* data = GetResultValue(name, &length, set);
  EXPECT_EQ(length, 4);
  std::int32_t value = 0;
  if (data != nullptr) std::memcpy(&value, data, sizeof(value));
  return value;
}

TEST(ResultSet, CursorWalksRowsAndRestartsAfterTheEnd) {
  ResultSetPtr set = People();
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 2);
  EXPECT_EQ(set->columnCount, 3);
  EXPECT_EQ(GetResultValue("id", nullptr, set.get()), nullptr);  // before the first row

  ASSERT_EQ(NextResultRow(set.get()), set->rows);
  EXPECT_EQ(IntAt(set.get(), "ID"), 1);
  ASSERT_NE(NextResultRow(set.get()), nullptr);
  EXPECT_EQ(IntAt(set.get(), "id"), 2);
  EXPECT_EQ(NextResultRow(set.get()), nullptr);
  ASSERT_EQ(NextResultRow(set.get()), set->rows);
  EXPECT_EQ(IntAt(set.get(), "id"), 1);
  NextResultRow(set.get());
  ResetResultSetCursor(set.get());
  ASSERT_EQ(NextResultRow(set.get()), set->rows);
  EXPECT_EQ(NextResultRow(nullptr), nullptr);
}

TEST(ResultSet, ValuesByNameTypesAndNames) {
  ResultSetPtr set = People();
  ASSERT_NE(NextResultRow(set.get()), nullptr);
  std::int32_t length = 0;
  auto* name = static_cast<const char*>(GetResultValue("NAME", &length, set.get()));
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "Ann");
  EXPECT_EQ(length, 3);
  auto* born = static_cast<const QelDateTime*>(GetResultValue("Born", &length, set.get()));
  ASSERT_NE(born, nullptr);
  EXPECT_EQ(born->date->year, 2024);
  EXPECT_EQ(length, kQelDateTimeValueLength);
  EXPECT_EQ(GetResultValue("missing", &length, set.get()), nullptr);

  NextResultRow(set.get());
  length = 99;
  EXPECT_EQ(GetResultValue("name", &length, set.get()), nullptr);
  EXPECT_EQ(length, 0);  // a NULL cell

  EXPECT_EQ(GetResultColumnType("BORN", set.get()), QEL_SQL_DATE);
  EXPECT_EQ(GetResultColumnType("name", set.get()), QEL_SQL_VARCHAR);
  EXPECT_EQ(GetResultColumnType("missing", set.get()), 0);
  EXPECT_STREQ(GetResultColumnName(1, set.get()), "Name");
  EXPECT_EQ(GetResultColumnName(3, set.get()), nullptr);
  EXPECT_EQ(GetResultColumnName(-1, set.get()), nullptr);
}

TEST(ResultSet, FirstOfDuplicateColumnNamesWins) {
  ResultRow* rows = AppendResultRow(nullptr, IntCell(IntCell(nullptr, 10), 20));
  ResultSetPtr set(CreateResultSet(rows, Columns({{"n", QEL_SQL_INT}, {"N", QEL_SQL_BIGINT}}), 2));
  NextResultRow(set.get());
  EXPECT_EQ(IntAt(set.get(), "N"), 10);
  EXPECT_EQ(GetResultColumnType("N", set.get()), QEL_SQL_INT);
}

TEST(ResultSet, EmptySetHasNoRows) {
  ResultSetPtr set(CreateResultSet(nullptr, Columns({{"id", QEL_SQL_INT}}), 1));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->rowCount, 0);
  EXPECT_EQ(NextResultRow(set.get()), nullptr);
  EXPECT_EQ(NextResultRow(set.get()), nullptr);
  ResetResultSetCursor(set.get());
  EXPECT_EQ(NextResultRow(set.get()), nullptr);
}

TEST(ResultSet, CellsHoldTerminatedCopies) {
  char source[] = {'a', 'b', 'c'};
  ResultCell* cells = AppendResultCell(nullptr, 3, source);
  ASSERT_NE(cells, nullptr);
  source[0] = 'X';
  EXPECT_EQ(cells->length, 3);
  EXPECT_STREQ(static_cast<const char*>(cells->data), "abc");
  ResultCell* same = AppendResultCell(cells, 0, nullptr);
  EXPECT_EQ(same, cells);
  ASSERT_NE(cells->next, nullptr);
  EXPECT_EQ(cells->next->data, nullptr);
  EXPECT_EQ(cells->next->length, 0);
  EXPECT_EQ(AppendResultCell(cells, -1, source), nullptr);
  EXPECT_EQ(cells->next->next, nullptr);
  FreeResultCells(cells);
}

TEST(ResultSet, AllocationFailureLeavesListsUnchanged) {
  ResultCell* cells = IntCell(nullptr, 1);
  for (long n = 1; n <= 2; ++n) {
    SCOPED_TRACE(n);
    VtFailAllocationAt(n);
    std::int32_t value = 2;
    EXPECT_EQ(AppendResultCell(cells, 4, &value), nullptr);
    VtFailAllocationAt(0);
    EXPECT_EQ(cells->next, nullptr);
  }
  ResultRow* rows = AppendResultRow(nullptr, cells);
  VtFailAllocationAt(1);
  EXPECT_EQ(AppendResultRow(rows, nullptr), nullptr);
  EXPECT_EQ(rows->next, nullptr);
  VtFailAllocationAt(1);
  EXPECT_EQ(CreateResultSet(rows, nullptr, 0), nullptr);
  VtFailAllocationAt(0);
  FreeResultRows(rows);
}

TEST(ResultSet, PrintListsNamesThenRows) {
  LogCapture log;
  ResultSetPtr set = People();
  PrintResultSet(set.get());
  EXPECT_TRUE(log.HasDebug("id\tName\tborn\t\n"));
  EXPECT_TRUE(log.HasDebug("1\tAnn\t2024-05-01\t\n"));
  EXPECT_TRUE(log.HasDebug("2\tNULL\tNULL\t\n"));
  PrintResultSet(nullptr);
}

}  // namespace
