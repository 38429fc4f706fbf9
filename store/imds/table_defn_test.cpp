#include "store/imds/table_defn.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "store/imds/qel_date_time.h"
#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

char* Copy(const char* text) { return strdup(text); }

AllowedValues* MakeList(std::vector<const char*> values) {
  auto* allowed = static_cast<AllowedValues*>(std::calloc(1, sizeof(AllowedValues)));
  allowed->values = static_cast<char**>(std::calloc(values.size() + 1, sizeof(char*)));
  for (std::size_t i = 0; i < values.size(); ++i) allowed->values[i] = Copy(values[i]);
  return allowed;
}

AllowedValues* MakeRange(const char* from, const char* to) {
  auto* allowed = static_cast<AllowedValues*>(std::calloc(1, sizeof(AllowedValues)));
  allowed->values = static_cast<char**>(std::calloc(2, sizeof(char*)));
  allowed->values[0] = Copy(from);
  allowed->values[1] = Copy(to);
  allowed->isRange = 1;
  return allowed;
}

ColumnDefn* Column(const char* name, ColumnType type, const char* defaultText = nullptr, std::int32_t maxSize = 0) {
  return CreateColumnDefn(name, type, defaultText,
                          defaultText != nullptr ? static_cast<std::int32_t>(std::strlen(defaultText)) : 0, 0,
                          nullptr, nullptr, maxSize, 1, nullptr);
}

// Adds a table with the given columns, primary key names and foreign keys.
TableDefn* AddTable(const char* name, std::vector<ColumnDefn*> columns, std::vector<const char*> key = {},
                    std::vector<ForeignKeyDefn*> foreignKeys = {}, bool withConstraints = true) {
  Vector* list = CreateVector();
  for (ColumnDefn* column : columns) EXPECT_EQ(AddElementData(list, column), 1);
  ConstraintDefn* constraints = nullptr;
  if (withConstraints) {
    constraints = CreateConstraintDefn(key.data(), static_cast<std::int32_t>(key.size()));
    for (ForeignKeyDefn* fk : foreignKeys) EXPECT_TRUE(AddForeignKeyDefn(constraints, fk));
  }
  TableDefn* table = CreateTableDefn(name, "a table", list, constraints);
  EXPECT_TRUE(AddTableDefn(table));
  return table;
}

// The messages of the debug lines written so far, in order.
std::vector<std::string> DebugMessages(const LogCapture& log) {
  std::vector<std::string> out;
  const std::string text = log.Text();
  const std::string tag = "] [DEBUG] ";
  for (std::size_t at = text.find(tag); at != std::string::npos;) {
    std::size_t start = at + tag.size();
    std::size_t next = text.find("\n[ ", start);
    out.push_back(text.substr(start, next == std::string::npos ? std::string::npos : next + 1 - start));
    at = next == std::string::npos ? next : text.find(tag, next);
  }
  return out;
}

class TableDefnTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeAllTableDefns();
    EXPECT_EQ(GetTableDefnCount(), 0);
  }
};

TEST_F(TableDefnTest, CharacterColumnsLongerThan255BecomeText) {
  const struct {
    const char* typeName;
    std::int32_t maxSize;
    int code;
  } rows[] = {
      {"char", 100, 15}, {"CHAR", 255, 15},         {"char", 256, 22},        {"QEL_SQL_CHAR", 255, 14},
      {"QEL_SQL_CHAR", 300, 22}, {"TEXT", 10, 22}, {"INTEGER", 1000, 5},     {"NCHAR", -1, 15},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.typeName) + " " + std::to_string(row.maxSize));
    ColumnDefn* column = Column("c", GetColumnTypeFromName(row.typeName), nullptr, row.maxSize);
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->type, row.code);
    EXPECT_EQ(column->maxSize, row.maxSize);
    AddTable("t", {column});
    FreeAllTableDefns();
  }
}

TEST_F(TableDefnTest, DefaultsAreConvertedForTheTypeAsPassed) {
  TableDefn* table = AddTable("t", {Column("wide", QEL_SQL_VARCHAR, "abc", 300), Column("n", QEL_SQL_INT, "42"),
                                    Column("flag", QEL_SQL_BOOLEAN, "yes"), Column("day", QEL_SQL_DATE, "2024-05-01"),
                                    Column("none", QEL_SQL_INT)});
  ASSERT_NE(table, nullptr);
  ColumnDefn* wide = GetColumnDefnEntry("t", "wide");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->type, QEL_SQL_TEXT);
  EXPECT_STREQ(static_cast<const char*>(wide->defaultValue), "abc");
  EXPECT_EQ(wide->defaultValueLength, 3);

  ColumnDefn* n = GetColumnDefnEntry("t", "n");
  std::int32_t value = 0;
  std::memcpy(&value, n->defaultValue, 4);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(n->defaultValueLength, 4);

  ColumnDefn* flag = GetColumnDefnEntry("t", "flag");
  EXPECT_EQ(flag->defaultValue, nullptr);
  EXPECT_EQ(flag->defaultValueLength, 0);

  auto* day = static_cast<QelDateTime*>(GetColumnDefnEntry("t", "day")->defaultValue);
  ASSERT_NE(day, nullptr);
  EXPECT_EQ(day->date->year, 2024);
  EXPECT_EQ(GetColumnDefnEntry("t", "day")->defaultValueLength, 11);
}

TEST_F(TableDefnTest, TableNamesIgnoreCaseColumnNamesDoNot) {
  LogCapture log;
  EXPECT_EQ(GetTableDefn(nullptr), nullptr);  // empty registry: no message
  EXPECT_FALSE(log.HasError("Table Name is NULL.\n"));

  AddTable("Users", {Column("UserId", QEL_SQL_INT), Column("Name", QEL_SQL_VARCHAR)});
  EXPECT_NE(GetTableDefn("USERS"), nullptr);
  EXPECT_NE(GetTableDefn("users"), nullptr);
  EXPECT_EQ(GetTableDefn("User"), nullptr);
  EXPECT_EQ(GetTableDefn(nullptr), nullptr);
  EXPECT_TRUE(log.HasError("Table Name is NULL.\n"));

  EXPECT_NE(GetColumnDefnEntry("USERS", "UserId"), nullptr);
  EXPECT_EQ(GetColumnDefnEntry("USERS", "userid"), nullptr);
  EXPECT_EQ(GetColumnDefnType("users", "UserId"), QEL_SQL_INT);
  EXPECT_EQ(GetColumnDefnType("users", "Name"), QEL_SQL_VARCHAR);
  EXPECT_EQ(GetColumnDefnType("users", "name"), 0);
  EXPECT_TRUE(log.HasTrace("@@@@ Inside GetColumnDefnEntry @@@@\n"));
  EXPECT_FALSE(log.HasError("No definition found for table USERS\n"));

  EXPECT_EQ(GetColumnDefnEntry("Nope", "UserId"), nullptr);
  EXPECT_TRUE(log.HasError("No definition found for table Nope\n"));
  EXPECT_EQ(GetColumnDefnType(nullptr, "UserId"), 0);
  EXPECT_TRUE(log.HasError("Cannot fetch default value;\n"));
}

TEST_F(TableDefnTest, DefaultValueLookupSetsFoundOnlyForExistingColumns) {
  LogCapture log;
  AddTable("t", {Column("plain", QEL_SQL_INT), Column("counted", QEL_SQL_INT, "7")});
  std::int32_t found = 0;
  EXPECT_EQ(GetDefaultValue("T", "plain", &found), nullptr);
  EXPECT_EQ(found, 1);
  found = 0;
  void* value = GetDefaultValue("t", "counted", &found);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(value, GetColumnDefnEntry("t", "counted")->defaultValue);  // borrowed, not a copy

  found = 5;
  EXPECT_EQ(GetDefaultValue("t", "missing", &found), nullptr);
  EXPECT_EQ(found, 5);
  EXPECT_EQ(GetDefaultValue("other", "plain", &found), nullptr);
  EXPECT_EQ(found, 5);
  EXPECT_TRUE(log.HasError("No definition found for table other\n"));
  EXPECT_EQ(GetDefaultValue("t", nullptr, &found), nullptr);
  EXPECT_TRUE(log.HasError("Cannot fetch default value;\n"));
  EXPECT_TRUE(log.HasTrace("@@@@ Inside GetDefaultValue @@@@\n"));
}

TEST_F(TableDefnTest, DuplicateNamesFindTheFirstAndRemoveTakesItOut) {
  TableDefn* first = AddTable("dup", {Column("a", QEL_SQL_INT)});
  TableDefn* second = AddTable("DUP", {Column("b", QEL_SQL_INT)});
  EXPECT_EQ(GetTableDefnCount(), 2);
  EXPECT_EQ(GetTableDefn("dup"), first);
  EXPECT_EQ(GetTableDefnVector()->head->element, first);
  RemoveTableDefn("Dup");
  EXPECT_EQ(GetTableDefnCount(), 1);
  EXPECT_EQ(GetTableDefn("dup"), second);
  RemoveTableDefn("missing");
  EXPECT_EQ(GetTableDefnCount(), 1);
}

TEST_F(TableDefnTest, ForeignKeysByLocalColumnIgnoringCase) {
  LogCapture log;
  TableDefn* orders = AddTable(
      "orders", {Column("CustId", QEL_SQL_INT), Column("ShopId", QEL_SQL_INT)}, {"CustId"},
      {CreateForeignKeyDefn("CustId", "Id", "customers", 1, 0, 1), CreateForeignKeyDefn("custid", "Id2", "other", 0, 0, 0),
       CreateForeignKeyDefn("ShopId", "Id", "shops", 0, 0, 0)});
  ForeignKeyDefn* key = GetForeignKeyDefn(orders, "CUSTID");
  ASSERT_NE(key, nullptr);
  EXPECT_STREQ(key->referenceTable, "customers");
  EXPECT_EQ(key->onDeleteCascade, 1);
  EXPECT_EQ(key->bidirectional, 1);
  EXPECT_STREQ(GetForeignKeyDefn(orders, "shopid")->referenceTable, "shops");
  EXPECT_EQ(GetForeignKeyDefn(orders, "Other"), nullptr);

  TableDefn* bare = AddTable("bare", {Column("a", QEL_SQL_INT)}, {}, {}, false);
  EXPECT_EQ(GetForeignKeyDefn(bare, "a"), nullptr);
  EXPECT_TRUE(log.HasError("No constraint Definition \n"));
  TableDefn* keyed = AddTable("keyed", {Column("a", QEL_SQL_INT)}, {"a"});
  EXPECT_EQ(GetForeignKeyDefn(keyed, "a"), nullptr);
  EXPECT_TRUE(log.HasError("No Foreignkey Entries in Definition \n"));
  EXPECT_FALSE(AddForeignKeyDefn(keyed->constraints, nullptr));
}

TEST(OdbcTypeMap, FirstEntryWinsBothWays) {
  const struct {
    std::int16_t sqlType;
    int code;
  } bySql[] = {{-1, 20}, {-9, 0}, {-5, 7}, {5, 3}, {4, 5}, {7, 0}, {6, 9},  {8, 10},  {1, 14},
               {12, 15}, {9, 16}, {10, 17}, {11, 18}, {-2, 20}, {-6, 19}, {2, 13}, {113, 0}, {999, 0}};
  for (const auto& row : bySql) {
    SCOPED_TRACE(row.sqlType);
    EXPECT_EQ(GetColumnTypeForSqlType(gv_odbcTypeMap, kOdbcTypeMapCount, row.sqlType), row.code);
  }
  const struct {
    int code;
    std::int16_t sqlType;
  } byCode[] = {{20, -1}, {0, 7}, {7, -5}, {19, -6}, {13, 2}, {18, 11}, {22, 0}, {1, 0}, {21, 0}};
  for (const auto& row : byCode) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(GetSqlTypeForColumnType(gv_odbcTypeMap, kOdbcTypeMapCount, static_cast<ColumnType>(row.code)),
              row.sqlType);
  }
  // The thirteen interval types, in their order, then BIT, TINYINT and NUMERIC.
  const std::int16_t tail[] = {102, 101, 107, 103, 104, 105, 106, 108, 109, 110, 111, 112, 113, -7, -6, 2};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(gv_odbcTypeMap[20 + i].sqlType, tail[i]) << i;
  EXPECT_EQ(GetColumnTypeForSqlType(gv_odbcTypeMap, 1, 4), 0);  // the count bounds the search
}

TEST_F(TableDefnTest, PrintFormat) {
  LogCapture log;
  ColumnDefn* id = CreateColumnDefn("id", QEL_SQL_INT, nullptr, 0, 1, nullptr, "key", 0, 0, nullptr);
  ColumnDefn* code = CreateColumnDefn("code", QEL_SQL_VARCHAR, nullptr, 0, 0, nullptr, "code", 10, 1, nullptr);
  TableDefn* table = AddTable("items", {id, code}, {"id", "code"}, {CreateForeignKeyDefn("code", "c", "codes", 0, 0, 0)});
  PrintTableDefn(table);
  const std::vector<std::string> expected = {
      "Table Name : items\n",   "Description: a table\n", "---------------------------------------\n\n",
      "Column Name : id\n",     "Column Type : 5\n",      "Unique Flag : TRUE\n",
      "Description : key\n",    "---------------------------------------\n\n",
      "Column Name : code\n",   "Column Type : 15\n",     "Unique Flag : FALSE\n",
      "Description : code\n",   "---------------------------------------\n\n",
      "Primary key : id\n\n",   "Primary key : code\n\n", "Foreign key Constraints\n",
      "********************************\n",             "Column Name : code\n",
      "Ref Column  : c\n",      "Tablename : codes\n",    "********************************\n",
  };
  EXPECT_EQ(DebugMessages(log), expected);

  TableDefn* empty = AddTable("empty", {});
  PrintTableDefn(empty);
  EXPECT_EQ(DebugMessages(log).size(), expected.size());
  PrintAllTableDefns();
  EXPECT_EQ(DebugMessages(log).size(), 2 * expected.size());
}

TEST_F(TableDefnTest, AllowedValuesAreOwnedByTheColumn) {
  ColumnDefn* list = CreateColumnDefn("l", QEL_SQL_VARCHAR, nullptr, 0, 0, "seq", "d", 0, 1, MakeList({"a", "b", "c"}));
  ColumnDefn* range = CreateColumnDefn("r", QEL_SQL_INT, nullptr, 0, 0, nullptr, nullptr, 0, 1, MakeRange("1", "10"));
  ASSERT_NE(list, nullptr);
  ASSERT_NE(range, nullptr);
  EXPECT_STREQ(list->generatorName, "seq");
  EXPECT_EQ(range->allowedValues->isRange, 1);
  AddTable("t", {list, range});  // freed by the registry: LeakSanitizer checks
}

TEST_F(TableDefnTest, AllocationFailuresFreeWhatWasBuilt) {
  for (long n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    AllowedValues* allowed = MakeList({"x"});
    VtFailAllocationAt(n);
    ColumnDefn* column = CreateColumnDefn("c", QEL_SQL_VARCHAR, "dflt", 4, 0, "gen", "desc", 0, 1, allowed);
    VtFailAllocationAt(0);
    if (column == nullptr) {
      FreeAllowedValues(allowed);  // still ours on failure
    } else {
      // The failure hit the default's conversion: the column lives on without a default.
      EXPECT_EQ(column->defaultValue, nullptr);
      Vector* columns = CreateVector();
      AddElementData(columns, column);
      FreeColumnDefnList(columns);
      std::free(columns);
    }
  }
  for (long n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    const char* keys[] = {"a", "b"};
    VtFailAllocationAt(n);
    EXPECT_EQ(CreateConstraintDefn(keys, 2), nullptr);
    VtFailAllocationAt(0);
  }
  Vector* columns = CreateVector();
  AddElementData(columns, Column("a", QEL_SQL_INT));
  VtFailAllocationAt(2);
  EXPECT_EQ(CreateTableDefn("t", "d", columns, nullptr), nullptr);
  VtFailAllocationAt(0);
  TableDefn* table = CreateTableDefn("t", nullptr, columns, nullptr);
  ASSERT_NE(table, nullptr);
  VtFailAllocationAt(1);
  EXPECT_FALSE(AddTableDefn(table));
  VtFailAllocationAt(0);
  EXPECT_EQ(GetTableDefnCount(), 0);
  FreeTableDefn(table);
}

}  // namespace
