#include "store/query/select_query.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "store/imds/column_value.h"
#include "store/query/mem_pool.h"
#include "store/util/alloc.h"
#include "store/util/log_capture_for_tests.h"

namespace {

template <typename T>
std::vector<T*> Elements(const Vector* vector) {
  std::vector<T*> out;
  if (vector == nullptr) return out;
  for (const VectorNode* link = vector->head; link != nullptr; link = link->next) {
    out.push_back(static_cast<T*>(link->element));
  }
  return out;
}

// Checks the vector's bookkeeping against a walk of its links.
void ExpectConsistent(const Vector* vector) {
  ASSERT_NE(vector, nullptr);
  std::int32_t count = 0;
  const VectorNode* last = nullptr;
  for (const VectorNode* link = vector->head; link != nullptr; link = link->next) {
    ++count;
    last = link;
  }
  EXPECT_EQ(vector->count, count);
  EXPECT_EQ(vector->tail, last);
}

std::string Text(const char* text) { return text == nullptr ? "<null>" : text; }

// "table.column" of a column reference, with "<null>" for a missing part.
std::string Name(const SelectColumn* column) {
  return Text(column->tableName) + "." + Text(column->columnName);
}

class SelectQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InitializeMemPool(), 1);
    query_ = CreateSelectQuery();
    ASSERT_NE(query_, nullptr);
    pool_ = query_->pool;
  }
  void TearDown() override {
    FreeSelectQuery(query_);
    TerminateMemPool();
  }

  SelectColumn* Column(const char* table, const char* name, std::uint8_t type = QEL_SQL_INT) {
    return CreateSelectColumn(table, nullptr, name, nullptr, 0, type, kFunctionNone, pool_);
  }
  SelectCriteria* Leaf(const char* name, const char* value) {
    return CreateSelectCriteria(Column(nullptr, name), value, std::strlen(value), kOperatorEqual,
                                pool_);
  }

  LogCapture log_;
  SelectQuery* query_ = nullptr;
  apr_pool_t* pool_ = nullptr;
};

TEST(Vocabulary, TextsAndNumbersMapBothWays) {
  const char* const operators[] = {"INVALID OPERATOR", "<", ">", "<=", ">=", "=",
                                   "!=", "AND", "OR", "LIKE", "BETWEEN"};
  for (std::uint8_t i = 0; i < std::size(operators); ++i) {
    EXPECT_STREQ(CriteriaOperatorText(i), operators[i]);
    EXPECT_EQ(CriteriaOperatorFromText(operators[i]), i);
  }
  const char* const functions[] = {"INVALID TYPE", "DISTINCT", "COUNT", "MIN", "MAX", "SUM", "AVG"};
  for (std::uint8_t i = 0; i < std::size(functions); ++i) {
    EXPECT_STREQ(ColumnFunctionText(i), functions[i]);
    EXPECT_EQ(ColumnFunctionFromText(functions[i]), i);
  }
  EXPECT_STREQ(JoinTypeText(kInnerJoin), "INNER_JOIN");
  EXPECT_STREQ(JoinTypeText(kLeftJoin), "LEFT_JOIN");
  EXPECT_EQ(JoinTypeFromText("LEFT_JOIN"), kLeftJoin);

  EXPECT_EQ(CriteriaOperatorText(11), nullptr);
  EXPECT_EQ(ColumnFunctionText(7), nullptr);
  EXPECT_EQ(JoinTypeText(2), nullptr);
  // Texts are compared exactly; unknown and null texts give 0.
  EXPECT_EQ(CriteriaOperatorFromText("and"), 0);
  EXPECT_EQ(ColumnFunctionFromText("count"), 0);
  EXPECT_EQ(JoinTypeFromText("left_join"), 0);
  EXPECT_EQ(CriteriaOperatorFromText(nullptr), 0);
}

TEST_F(SelectQueryTest, ANewQueryIsEmpty) {
  EXPECT_NE(query_->pool, nullptr);
  for (const Vector* list : {query_->columns, query_->joins, query_->tables}) {
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->head, nullptr);
  }
  EXPECT_EQ(query_->criteria, nullptr);
  EXPECT_EQ(query_->groupBy, nullptr);
  EXPECT_EQ(query_->sortOrder, nullptr);
  EXPECT_EQ(query_->limit, 0u);
  EXPECT_EQ(query_->offset, 0u);
}

TEST_F(SelectQueryTest, CreateSelectColumnChecksNameAndType) {
  struct Case {
    const char* columnName;
    std::uint8_t dataType;
    std::uint8_t function;
    bool made;
    const char* message;  // logged at the error level when not made
  };
  const Case cases[] = {
      {"id", QEL_SQL_INT, kFunctionNone, true, nullptr},
      {nullptr, QEL_SQL_INT, kFunctionCount, true, nullptr},  // COUNT(*)
      {nullptr, QEL_SQL_INT, kFunctionNone, false, "\nColumn Name is NULL\n"},
      {"body", 22, kFunctionNone, true, nullptr},
      {"body", 23, kFunctionNone, false, "\nInvalid Data Type\n"},
      {"body", 255, kFunctionMax, false, "\nInvalid Data Type\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Text(c.columnName) + " type " + std::to_string(c.dataType) + " function " +
                 std::to_string(c.function));
    const int before = c.message == nullptr ? 0 : log_.Count("[ERROR]", c.message);
    SelectColumn* column = CreateSelectColumn("t", "a", c.columnName, "alias", 42, c.dataType,
                                              c.function, pool_);
    EXPECT_EQ(column != nullptr, c.made);
    if (column != nullptr) {
      EXPECT_STREQ(column->tableName, "t");
      EXPECT_STREQ(column->tableAlias, "a");
      EXPECT_EQ(Text(column->columnName), Text(c.columnName));
      EXPECT_STREQ(column->columnAlias, "alias");
      EXPECT_EQ(column->reserved, 42u);
      EXPECT_EQ(column->dataType, c.dataType);
      EXPECT_EQ(column->function, c.function);
    } else {
      EXPECT_EQ(log_.Count("[ERROR]", c.message), before + 1) << log_.Text();
    }
  }
}

TEST_F(SelectQueryTest, CreatedRecordsHoldCopiesOfTheTexts) {
  std::string table = "orders";
  std::string name = "id";
  SelectColumn* column = CreateSelectColumn(table.c_str(), nullptr, name.c_str(), nullptr, 0,
                                            QEL_SQL_INT, kFunctionNone, pool_);
  ASSERT_NE(column, nullptr);
  table[0] = 'X';
  name[0] = 'X';
  EXPECT_STREQ(column->tableName, "orders");
  EXPECT_STREQ(column->columnName, "id");
  EXPECT_EQ(column->tableAlias, nullptr);
  EXPECT_EQ(column->columnAlias, nullptr);
}

TEST_F(SelectQueryTest, CreateVectorColumnAlwaysNeedsAName) {
  EXPECT_EQ(CreateVectorColumn("t", nullptr, nullptr, nullptr, 0, QEL_SQL_INT, kFunctionCount,
                               pool_),
            nullptr);
  EXPECT_TRUE(log_.HasError("\nColumn Name is NULL\n"));
  EXPECT_EQ(CreateVectorColumn("t", nullptr, "c", nullptr, 0, 23, kFunctionNone, pool_), nullptr);
  EXPECT_TRUE(log_.HasError("\nInvalid Data Type\n"));
  SelectColumn* column = CreateVectorColumn("t", nullptr, "c", nullptr, 0, 22, kFunctionNone, pool_);
  ASSERT_NE(column, nullptr);
  EXPECT_EQ(Name(column), "t.c");
}

TEST_F(SelectQueryTest, SelectedColumnsKeepTheirOrder) {
  ASSERT_TRUE(AddSelectColumn(query_, Column("t", "a")));
  ASSERT_TRUE(AddSelectColumnToQuery(query_, "t", "x", "b", "bee", 0, QEL_SQL_VARCHAR,
                                     kFunctionNone));
  ASSERT_TRUE(AddSelectColumnToQuery(query_, nullptr, nullptr, nullptr, nullptr, 0, QEL_SQL_INT,
                                     kFunctionCount));
  EXPECT_FALSE(AddSelectColumnToQuery(query_, "t", nullptr, nullptr, nullptr, 0, QEL_SQL_INT,
                                      kFunctionNone));
  EXPECT_FALSE(AddSelectColumn(query_, nullptr));
  auto columns = Elements<SelectColumn>(query_->columns);
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(Name(columns[0]), "t.a");
  EXPECT_STREQ(columns[1]->columnAlias, "bee");
  EXPECT_STREQ(columns[1]->tableAlias, "x");
  EXPECT_EQ(columns[2]->columnName, nullptr);
  EXPECT_EQ(columns[2]->function, kFunctionCount);
  ExpectConsistent(query_->columns);
}

TEST_F(SelectQueryTest, RemoveSelectColumnRemovesEveryMatch) {
  struct Case {
    const char* columnName;
    const char* tableName;
    bool removed;
    std::vector<std::string> left;  // the selected columns afterwards
  };
  // Selected before each case: t.id, id (no table), u.id, t.name, id (no table).
  const Case cases[] = {
      {"id", "t", true, {"u.id", "t.name"}},
      {"ID", "T", true, {"u.id", "t.name"}},  // without regard to case
      {"id", "u", true, {"t.id", "t.name"}},
      {"id", nullptr, true, {"t.id", "u.id", "t.name"}},
      {"name", "t", true, {"t.id", "<null>.id", "u.id", "<null>.id"}},
      {"name", "u", false, {"t.id", "<null>.id", "u.id", "t.name", "<null>.id"}},
      {"missing", "t", false, {"t.id", "<null>.id", "u.id", "t.name", "<null>.id"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Text(c.columnName) + " of " + Text(c.tableName));
    const int before = log_.Count("[ERROR]", "Invalid Column Name");
    SelectQuery* query = CreateSelectQuery();
    ASSERT_NE(query, nullptr);
    pool_ = query->pool;
    for (SelectColumn* column : {Column("t", "id"), Column(nullptr, "id"), Column("u", "id"),
                                 Column("t", "name"), Column(nullptr, "id")}) {
      ASSERT_TRUE(AddSelectColumn(query, column));
    }
    EXPECT_EQ(RemoveSelectColumn(query, c.columnName, c.tableName), c.removed);
    std::vector<std::string> left;
    for (SelectColumn* column : Elements<SelectColumn>(query->columns)) left.push_back(Name(column));
    EXPECT_EQ(left, c.left);
    ExpectConsistent(query->columns);
    EXPECT_EQ(log_.Count("[ERROR]", "Invalid Column Name"), before + (c.removed ? 0 : 1))
        << log_.Text();
    // The list stays usable: appending after a removal at the tail links correctly.
    ASSERT_TRUE(AddSelectColumn(query, Column("v", "last")));
    EXPECT_EQ(Name(Elements<SelectColumn>(query->columns).back()), "v.last");
    ExpectConsistent(query->columns);
    FreeSelectQuery(query);
  }
  pool_ = query_->pool;
}

TEST_F(SelectQueryTest, RemovingTheOnlyColumnEmptiesTheList) {
  ASSERT_TRUE(AddSelectColumn(query_, Column("t", "id")));
  EXPECT_TRUE(RemoveSelectColumn(query_, "id", "t"));
  EXPECT_EQ(query_->columns->head, nullptr);
  EXPECT_EQ(query_->columns->tail, nullptr);
  EXPECT_EQ(query_->columns->count, 0);
  EXPECT_FALSE(RemoveSelectColumn(query_, "id", "t"));
  EXPECT_TRUE(log_.HasError("Invalid Column Name"));
}

TEST_F(SelectQueryTest, CriteriaLeavesCopyTheirValue) {
  std::int32_t number = 18;
  SelectCriteria* leaf = CreateSelectCriteria(Column(nullptr, "age"), &number, sizeof(number),
                                              kOperatorGreaterEqual, pool_);
  ASSERT_NE(leaf, nullptr);
  number = 0;
  std::int32_t held = 0;
  std::memcpy(&held, leaf->value, sizeof(held));
  EXPECT_EQ(held, 18);
  EXPECT_EQ(leaf->valueLength, sizeof(std::int32_t));
  EXPECT_EQ(leaf->value[sizeof(std::int32_t)], '\0');
  EXPECT_EQ(leaf->op, kOperatorGreaterEqual);
  EXPECT_EQ(leaf->left, nullptr);
  EXPECT_EQ(leaf->right, nullptr);
  EXPECT_EQ(leaf->parent, nullptr);

  // Only the given bytes are copied, then a NUL.
  SelectCriteria* between = CreateSelectCriteria(Column(nullptr, "n"), "1 AND 10 and more", 8,
                                                 kOperatorBetween, pool_);
  ASSERT_NE(between, nullptr);
  EXPECT_STREQ(between->value, "1 AND 10");

  EXPECT_EQ(CreateSelectCriteria(nullptr, "x", 1, kOperatorEqual, pool_), nullptr);
  EXPECT_TRUE(log_.HasError("\nEmpty Column Assigned\n"));
}

TEST_F(SelectQueryTest, AndAndOrSetTheParentsOfTheirChildren) {
  SelectCriteria* a = Leaf("a", "1");
  SelectCriteria* b = Leaf("b", "2");
  SelectCriteria* c = Leaf("c", "3");
  SelectCriteria* both = CreateAndCriteria(a, b, pool_);
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(both->op, kOperatorAnd);
  EXPECT_EQ(both->column, nullptr);
  EXPECT_EQ(both->value, nullptr);
  EXPECT_EQ(both->left, a);
  EXPECT_EQ(both->right, b);
  EXPECT_EQ(a->parent, both);
  EXPECT_EQ(b->parent, both);

  SelectCriteria* root = CreateOrCriteria(both, c, pool_);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->op, kOperatorOr);
  EXPECT_EQ(root->left, both);
  EXPECT_EQ(both->parent, root);
  EXPECT_EQ(c->parent, root);

  EXPECT_EQ(CreateAndCriteria(root, nullptr, pool_), nullptr);
  EXPECT_EQ(CreateOrCriteria(nullptr, root, pool_), nullptr);
  EXPECT_EQ(root->parent, nullptr);
}

TEST_F(SelectQueryTest, SetSelectCriteriaKeepsOnlyTheLastRoot) {
  SelectCriteria* first = Leaf("a", "1");
  SelectCriteria* second = Leaf("b", "2");
  EXPECT_EQ(SetSelectCriteria(query_, first), query_);
  EXPECT_EQ(SetSelectCriteria(query_, second), query_);
  EXPECT_EQ(query_->criteria, second);
  EXPECT_EQ(SetSelectCriteria(nullptr, first), nullptr);
}

TEST_F(SelectQueryTest, TablesKeepTheirOrder) {
  ASSERT_TRUE(AddTable(query_, CreateTableRef("orders", "o", pool_)));
  ASSERT_TRUE(AddTable(query_, CreateTableRef("items", nullptr, pool_)));
  EXPECT_EQ(CreateTableRef(nullptr, "x", pool_), nullptr);
  EXPECT_FALSE(AddTable(query_, nullptr));
  auto tables = Elements<TableRef>(query_->tables);
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_STREQ(tables[0]->tableName, "orders");
  EXPECT_STREQ(tables[0]->alias, "o");
  EXPECT_STREQ(tables[1]->tableName, "items");
  EXPECT_EQ(tables[1]->alias, nullptr);
}

TEST_F(SelectQueryTest, JoinsKeepTheColumnListsTheyAreGiven) {
  Vector* base = CreateColumnVector(pool_);
  Vector* ref = CreateColumnVector(pool_);
  ASSERT_TRUE(AddColumnToVector(pool_, Column("orders", "id"), base));
  ASSERT_TRUE(AddColumnToVector(pool_, Column("items", "order_id"), ref));
  EXPECT_FALSE(AddColumnToVector(pool_, nullptr, ref));
  ASSERT_TRUE(AddJoinToQuery(query_, "orders", "o", "items", "i", kLeftJoin, base, ref));
  ASSERT_TRUE(AddJoin(query_, CreateJoin("items", nullptr, "parts", nullptr, kInnerJoin, nullptr,
                                         nullptr, pool_)));
  EXPECT_FALSE(AddJoinToQuery(query_, nullptr, nullptr, "x", nullptr, kInnerJoin, base, ref));
  auto joins = Elements<Join>(query_->joins);
  ASSERT_EQ(joins.size(), 2u);
  EXPECT_STREQ(joins[0]->baseTable, "orders");
  EXPECT_STREQ(joins[0]->baseAlias, "o");
  EXPECT_STREQ(joins[0]->refTable, "items");
  EXPECT_STREQ(joins[0]->refAlias, "i");
  EXPECT_EQ(joins[0]->joinType, kLeftJoin);
  EXPECT_EQ(joins[0]->baseColumns, base);
  EXPECT_EQ(joins[0]->refColumns, ref);
  EXPECT_STREQ(joins[1]->refTable, "parts");
  EXPECT_EQ(joins[1]->baseAlias, nullptr);
}

TEST_F(SelectQueryTest, AddJoinOnColumnsJoinsEachNameToTheSameName) {
  ASSERT_TRUE(AddJoinOnColumns(query_, "orders", "o", "archive", "a", kInnerJoin, 2, "first",
                               "second"));
  auto joins = Elements<Join>(query_->joins);
  ASSERT_EQ(joins.size(), 1u);
  const Join* join = joins[0];
  EXPECT_STREQ(join->baseTable, "orders");
  EXPECT_STREQ(join->refTable, "archive");
  EXPECT_EQ(join->baseColumns, join->refColumns);  // one list serves both sides
  auto base = Elements<SelectColumn>(join->baseColumns);
  auto ref = Elements<SelectColumn>(join->refColumns);
  ASSERT_EQ(base.size(), 2u);
  ASSERT_EQ(ref.size(), 2u);
  for (std::size_t i = 0; i < base.size(); ++i) {
    EXPECT_STREQ(base[i]->columnName, ref[i]->columnName);
    EXPECT_EQ(base[i]->tableName, nullptr);
    EXPECT_EQ(base[i]->dataType, QEL_SQL_INT);
    EXPECT_EQ(base[i]->function, kFunctionNone);
  }
  EXPECT_STREQ(base[0]->columnName, "first");
  EXPECT_STREQ(base[1]->columnName, "second");

  EXPECT_FALSE(AddJoinOnColumns(query_, "orders", nullptr, "x", nullptr, kInnerJoin, 2, "ok",
                                static_cast<const char*>(nullptr)));
  EXPECT_EQ(query_->joins->count, 1);
}

TEST_F(SelectQueryTest, MakeColumnVectorCopiesTheNames) {
  std::string name = "alpha";
  Vector* names = MakeColumnVector(pool_, 3, name.c_str(), "beta", "gamma");
  ASSERT_NE(names, nullptr);
  name[0] = 'X';
  auto texts = Elements<char>(names);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_STREQ(texts[0], "alpha");
  EXPECT_STREQ(texts[1], "beta");
  EXPECT_STREQ(texts[2], "gamma");
  EXPECT_TRUE(log_.HasTrace("@@ Inside MakeColumnVector @@\n"));

  Vector* empty = MakeColumnVector(pool_, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->count, 0);
  EXPECT_EQ(MakeColumnVector(pool_, 2, "a", static_cast<const char*>(nullptr)), nullptr);
}

TEST_F(SelectQueryTest, MakeColumnVectorForJoinMakesIntColumnsOfTheTable) {
  Vector* columns = MakeColumnVectorForJoin(pool_, "orders", 2, "id", "customer_id");
  ASSERT_NE(columns, nullptr);
  auto made = Elements<SelectColumn>(columns);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(Name(made[0]), "orders.id");
  EXPECT_EQ(Name(made[1]), "orders.customer_id");
  for (const SelectColumn* column : made) {
    EXPECT_EQ(column->tableAlias, nullptr);
    EXPECT_EQ(column->columnAlias, nullptr);
    EXPECT_EQ(column->dataType, QEL_SQL_INT);
    EXPECT_EQ(column->function, kFunctionNone);
  }
  EXPECT_TRUE(log_.HasTrace("@@ Inside MakeColumnVectorForJoin @@\n"));
  EXPECT_EQ(MakeColumnVectorForJoin(pool_, "orders", 1, static_cast<const char*>(nullptr)),
            nullptr);
  EXPECT_TRUE(log_.HasError("\nColumn Name is NULL\n"));
}

TEST_F(SelectQueryTest, GroupBySortLimitAndOffset) {
  Vector* groupColumns = MakeColumnVectorForJoin(pool_, "t", 1, "kind");
  SelectColumn* total = CreateSelectColumn("t", nullptr, "amount", nullptr, 0, QEL_SQL_INT,
                                           kFunctionSum, pool_);
  SelectCriteria* having = CreateSelectCriteria(total, "100", 3, kOperatorGreater, pool_);
  GroupBy* groupBy = CreateGroupBy(groupColumns, having, pool_);
  ASSERT_NE(groupBy, nullptr);
  EXPECT_TRUE(SetGroupBy(query_, groupBy));
  EXPECT_EQ(query_->groupBy->columns, groupColumns);
  EXPECT_EQ(query_->groupBy->having, having);

  Vector* sortColumns = MakeColumnVectorForJoin(pool_, "t", 1, "kind");
  SortOrder* sortOrder = CreateSortOrder(sortColumns, 0, pool_);
  ASSERT_NE(sortOrder, nullptr);
  EXPECT_TRUE(SetSortOrder(query_, sortOrder));
  EXPECT_EQ(query_->sortOrder->columns, sortColumns);
  EXPECT_EQ(query_->sortOrder->ascending, 0);
  EXPECT_FALSE(SetSortOrder(nullptr, sortOrder));
  EXPECT_FALSE(SetGroupBy(nullptr, groupBy));

  query_->limit = 10;
  query_->offset = 20;
  EXPECT_EQ(query_->limit, 10u);
}

TEST_F(SelectQueryTest, NothingIsMadeWithoutAPool) {
  EXPECT_EQ(CreateSelectColumn("t", nullptr, "c", nullptr, 0, 5, 0, nullptr), nullptr);
  EXPECT_EQ(CreateTableRef("t", nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateColumnVector(nullptr), nullptr);
  EXPECT_EQ(CreateGroupBy(nullptr, nullptr, nullptr), nullptr);
  EXPECT_FALSE(AddColumnToVector(nullptr, Column("t", "c"), CreateColumnVector(pool_)));
}

TEST(SelectQuery, CreationFailsWithoutTheRootPool) {
  LogCapture log;
  ASSERT_EQ(GetRootMemPool(), nullptr);
  EXPECT_EQ(CreateSelectQuery(), nullptr);
  EXPECT_TRUE(log.HasError("\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n"));
}

TEST(SelectQuery, CreationFailsWhenTheRecordCannotBeAllocated) {
  ASSERT_EQ(InitializeMemPool(), 1);
  VtFailAllocationAt(1);
  EXPECT_EQ(CreateSelectQuery(), nullptr);
  VtFailAllocationAt(0);
  SelectQuery* query = CreateSelectQuery();
  EXPECT_NE(query, nullptr);
  FreeSelectQuery(query);
  FreeSelectQuery(nullptr);
  TerminateMemPool();
}

TEST(SelectQuery, FreeingAFullQueryReleasesEverything) {
  // LeakSanitizer reports anything left behind when the test program ends.
  ASSERT_EQ(InitializeMemPool(), 1);
  for (int round = 0; round < 50; ++round) {
    SelectQuery* query = CreateSelectQuery();
    ASSERT_NE(query, nullptr);
    apr_pool_t* pool = query->pool;
    ASSERT_TRUE(AddSelectColumnToQuery(query, "t", "a", "c", "x", 0, QEL_SQL_VARCHAR, 0));
    ASSERT_TRUE(AddTable(query, CreateTableRef("t", "a", pool)));
    ASSERT_TRUE(AddJoinOnColumns(query, "t", "a", "u", "b", kInnerJoin, 3, "p", "q", "r"));
    SelectCriteria* left = CreateSelectCriteria(
        CreateSelectColumn(nullptr, nullptr, "c", nullptr, 0, 15, 0, pool), "v", 1, 5, pool);
    SelectCriteria* right = CreateSelectCriteria(
        CreateSelectColumn(nullptr, nullptr, "d", nullptr, 0, 15, 0, pool), "w", 1, 6, pool);
    SetSelectCriteria(query, CreateOrCriteria(left, right, pool));
    ASSERT_TRUE(SetGroupBy(query, CreateGroupBy(MakeColumnVector(pool, 1, "c"), nullptr, pool)));
    ASSERT_TRUE(SetSortOrder(query, CreateSortOrder(MakeColumnVectorForJoin(pool, "t", 1, "c"), 1,
                                                    pool)));
    ASSERT_TRUE(RemoveSelectColumn(query, "c", "t"));
    FreeSelectQuery(query);
  }
  TerminateMemPool();
}

}  // namespace
