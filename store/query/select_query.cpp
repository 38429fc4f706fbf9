#include "store/query/select_query.h"

#include <apr_strings.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "store/imds/column_value.h"
#include "store/query/mem_pool.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

namespace {

constexpr const char* kOperatorTexts[] = {"INVALID OPERATOR", "<", ">", "<=", ">=", "=",
                                          "!=", "AND", "OR", "LIKE", "BETWEEN"};
constexpr const char* kFunctionTexts[] = {"INVALID TYPE", "DISTINCT", "COUNT", "MIN",
                                          "MAX", "SUM", "AVG"};
constexpr const char* kJoinTexts[] = {"INNER_JOIN", "LEFT_JOIN"};

template <std::size_t N>
const char* TextAt(const char* const (&texts)[N], std::uint8_t number) {
  return number < N ? texts[number] : nullptr;
}

template <std::size_t N>
std::uint8_t PositionOf(const char* const (&texts)[N], const char* text) {
  if (text == nullptr) return 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (std::strcmp(texts[i], text) == 0) return static_cast<std::uint8_t>(i);
  }
  return 0;
}

// A zeroed record of type T from the pool, or null.
template <typename T>
T* PoolRecord(apr_pool_t* pool) {
  if (pool == nullptr) return nullptr;
  return static_cast<T*>(apr_pcalloc(pool, sizeof(T)));
}

// Copies an optional text into the pool. False only when a text was given and could
// not be copied; *copy is then null, as it is for a null text.
bool PoolCopy(apr_pool_t* pool, const char* text, char** copy) {
  *copy = text == nullptr ? nullptr : apr_pstrdup(pool, text);
  return text == nullptr || *copy != nullptr;
}

// Appends `element` to a pool list through a link allocated from the pool, so the
// link goes with the pool. The vector's own routines take its lock.
bool AppendToPoolVector(apr_pool_t* pool, Vector* vector, void* element) {
  if (pool == nullptr || vector == nullptr) return false;
  auto* link = static_cast<VectorNode*>(apr_palloc(pool, sizeof(VectorNode)));
  if (link == nullptr) return false;
  link->element = element;
  link->next = nullptr;
  return AddElement(vector, link) == 1;
}

// Builds a column reference after the caller has checked the name and type rules.
SelectColumn* NewColumn(const char* tableName, const char* tableAlias, const char* columnName,
                        const char* columnAlias, std::uint32_t reserved, std::uint8_t dataType,
                        std::uint8_t function, apr_pool_t* pool) {
  auto* column = PoolRecord<SelectColumn>(pool);
  if (column == nullptr) return nullptr;
  if (!PoolCopy(pool, tableName, &column->tableName) ||
      !PoolCopy(pool, tableAlias, &column->tableAlias) ||
      !PoolCopy(pool, columnName, &column->columnName) ||
      !PoolCopy(pool, columnAlias, &column->columnAlias)) {
    return nullptr;
  }
  column->reserved = reserved;
  column->dataType = dataType;
  column->function = function;
  return column;
}

bool ValidDataType(std::uint8_t dataType) {
  if (dataType <= kMaxColumnType) return true;
  LogError("\nInvalid Data Type\n");
  return false;
}

SelectCriteria* CreateLogicalCriteria(SelectCriteria* left, SelectCriteria* right,
                                      std::uint8_t op, apr_pool_t* pool) {
  if (left == nullptr || right == nullptr) return nullptr;
  auto* node = PoolRecord<SelectCriteria>(pool);
  if (node == nullptr) return nullptr;
  node->op = op;
  node->left = left;
  node->right = right;
  left->parent = node;
  right->parent = node;
  return node;
}

// A list of `count` column references read from `names`, one per name, each with
// `tableName`, no aliases, type QEL_SQL_INT and no function.
Vector* JoinColumnsFromNames(apr_pool_t* pool, const char* tableName, std::int32_t count,
                             va_list names) {
  Vector* columns = CreateColumnVector(pool);
  if (columns == nullptr) return nullptr;
  for (std::int32_t i = 0; i < count; ++i) {
    const char* name = va_arg(names, const char*);
    SelectColumn* column = CreateVectorColumn(tableName, nullptr, name, nullptr, 0, QEL_SQL_INT,
                                              kFunctionNone, pool);
    if (column == nullptr || !AddColumnToVector(pool, column, columns)) return nullptr;
  }
  return columns;
}

// Whether a selected column is one RemoveSelectColumn is asked to remove.
bool MatchesColumn(const SelectColumn* column, const char* columnName, const char* tableName) {
  if (CompareNoCase(column->columnName, columnName) != 0) return false;
  return column->tableName == nullptr || CompareNoCase(column->tableName, tableName) == 0;
}

}  // namespace

// ---------------------------------------------------------------- vocabulary

const char* CriteriaOperatorText(std::uint8_t op) { return TextAt(kOperatorTexts, op); }
std::uint8_t CriteriaOperatorFromText(const char* text) { return PositionOf(kOperatorTexts, text); }
const char* ColumnFunctionText(std::uint8_t function) { return TextAt(kFunctionTexts, function); }
std::uint8_t ColumnFunctionFromText(const char* text) { return PositionOf(kFunctionTexts, text); }
const char* JoinTypeText(std::uint8_t joinType) { return TextAt(kJoinTexts, joinType); }
std::uint8_t JoinTypeFromText(const char* text) { return PositionOf(kJoinTexts, text); }

// ---------------------------------------------------------------- the query

SelectQuery* CreateSelectQuery() {
  auto* query = static_cast<SelectQuery*>(VtCalloc(1, sizeof(SelectQuery)));
  if (query == nullptr) return nullptr;
  query->pool = CreateChildMemPool();
  if (query->pool == nullptr) {
    LogError("\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n");
    std::free(query);
    return nullptr;
  }
  query->columns = CreateColumnVector(query->pool);
  query->joins = CreateColumnVector(query->pool);
  query->tables = CreateColumnVector(query->pool);
  if (query->columns == nullptr || query->joins == nullptr || query->tables == nullptr) {
    FreeSelectQuery(query);
    return nullptr;
  }
  return query;
}

void FreeSelectQuery(SelectQuery* query) {
  if (query == nullptr) return;
  if (query->pool != nullptr) apr_pool_destroy(query->pool);
  std::free(query);
}

// ---------------------------------------------------------------- columns

SelectColumn* CreateSelectColumn(const char* tableName, const char* tableAlias,
                                 const char* columnName, const char* columnAlias,
                                 std::uint32_t reserved, std::uint8_t dataType,
                                 std::uint8_t function, apr_pool_t* pool) {
  if (columnName == nullptr && function == kFunctionNone) {
    LogError("\nColumn Name is NULL\n");
    return nullptr;
  }
  if (!ValidDataType(dataType)) return nullptr;
  return NewColumn(tableName, tableAlias, columnName, columnAlias, reserved, dataType, function,
                   pool);
}

bool AddSelectColumn(SelectQuery* query, SelectColumn* column) {
  if (query == nullptr || column == nullptr) return false;
  return AppendToPoolVector(query->pool, query->columns, column);
}

bool RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName) {
  bool removed = false;
  if (query != nullptr && query->columns != nullptr) {
    Vector* columns = query->columns;
    // The links belong to the pool, so they are unlinked here rather than by the
    // vector's delete routines, which would free them.
    ObjectLockGuard hold(columns);
    VectorNode* previous = nullptr;
    VectorNode* link = columns->head;
    while (link != nullptr) {
      VectorNode* next = link->next;
      if (MatchesColumn(static_cast<const SelectColumn*>(link->element), columnName, tableName)) {
        if (previous == nullptr) {
          columns->head = next;
        } else {
          previous->next = next;
        }
        if (columns->tail == link) columns->tail = previous;
        --columns->count;
        removed = true;
      } else {
        previous = link;
      }
      link = next;
    }
  }
  if (!removed) LogError("Invalid Column Name");
  return removed;
}

bool AddSelectColumnToQuery(SelectQuery* query, const char* tableName, const char* tableAlias,
                            const char* columnName, const char* columnAlias,
                            std::uint32_t reserved, std::uint8_t dataType,
                            std::uint8_t function) {
  if (query == nullptr) return false;
  SelectColumn* column = CreateSelectColumn(tableName, tableAlias, columnName, columnAlias,
                                            reserved, dataType, function, query->pool);
  return column != nullptr && AddSelectColumn(query, column);
}

// ---------------------------------------------------------------- criteria

SelectCriteria* CreateSelectCriteria(SelectColumn* column, const void* value,
                                     std::uint32_t valueLength, std::uint8_t op,
                                     apr_pool_t* pool) {
  if (column == nullptr) {
    LogError("\nEmpty Column Assigned\n");
    return nullptr;
  }
  auto* leaf = PoolRecord<SelectCriteria>(pool);
  if (leaf == nullptr) return nullptr;
  if (value != nullptr) {
    leaf->value = static_cast<char*>(apr_palloc(pool, std::size_t{valueLength} + 1));
    if (leaf->value == nullptr) return nullptr;
    std::memcpy(leaf->value, value, valueLength);
    leaf->value[valueLength] = '\0';
    leaf->valueLength = valueLength;
  }
  leaf->column = column;
  leaf->op = op;
  return leaf;
}

SelectCriteria* CreateAndCriteria(SelectCriteria* left, SelectCriteria* right, apr_pool_t* pool) {
  return CreateLogicalCriteria(left, right, kOperatorAnd, pool);
}

SelectCriteria* CreateOrCriteria(SelectCriteria* left, SelectCriteria* right, apr_pool_t* pool) {
  return CreateLogicalCriteria(left, right, kOperatorOr, pool);
}

SelectQuery* SetSelectCriteria(SelectQuery* query, SelectCriteria* criteria) {
  if (query != nullptr) query->criteria = criteria;
  return query;
}

// ---------------------------------------------------------------- tables and joins

TableRef* CreateTableRef(const char* tableName, const char* alias, apr_pool_t* pool) {
  if (tableName == nullptr) return nullptr;
  auto* table = PoolRecord<TableRef>(pool);
  if (table == nullptr) return nullptr;
  if (!PoolCopy(pool, tableName, &table->tableName) || !PoolCopy(pool, alias, &table->alias)) {
    return nullptr;
  }
  return table;
}

bool AddTable(SelectQuery* query, TableRef* table) {
  if (query == nullptr || table == nullptr) return false;
  return AppendToPoolVector(query->pool, query->tables, table);
}

Join* CreateJoin(const char* baseTable, const char* baseAlias, const char* refTable,
                 const char* refAlias, std::uint8_t joinType, Vector* baseColumns,
                 Vector* refColumns, apr_pool_t* pool) {
  if (baseTable == nullptr || refTable == nullptr) return nullptr;
  auto* join = PoolRecord<Join>(pool);
  if (join == nullptr) return nullptr;
  if (!PoolCopy(pool, baseTable, &join->baseTable) || !PoolCopy(pool, baseAlias, &join->baseAlias) ||
      !PoolCopy(pool, refTable, &join->refTable) || !PoolCopy(pool, refAlias, &join->refAlias)) {
    return nullptr;
  }
  join->joinType = joinType;
  join->baseColumns = baseColumns;
  join->refColumns = refColumns;
  return join;
}

bool AddJoin(SelectQuery* query, Join* join) {
  if (query == nullptr || join == nullptr) return false;
  return AppendToPoolVector(query->pool, query->joins, join);
}

bool AddJoinToQuery(SelectQuery* query, const char* baseTable, const char* baseAlias,
                    const char* refTable, const char* refAlias, std::uint8_t joinType,
                    Vector* baseColumns, Vector* refColumns) {
  if (query == nullptr) return false;
  Join* join = CreateJoin(baseTable, baseAlias, refTable, refAlias, joinType, baseColumns,
                          refColumns, query->pool);
  return join != nullptr && AddJoin(query, join);
}

bool AddJoinOnColumns(SelectQuery* query, const char* baseTable, const char* baseAlias,
                      const char* refTable, const char* refAlias, std::uint8_t joinType,
                      std::int32_t count, ...) {
  if (query == nullptr) return false;
  va_list names;
  va_start(names, count);
  Vector* columns = JoinColumnsFromNames(query->pool, nullptr, count, names);
  va_end(names);
  if (columns == nullptr) return false;
  return AddJoinToQuery(query, baseTable, baseAlias, refTable, refAlias, joinType, columns,
                        columns);
}

// ---------------------------------------------------------------- grouping and sorting

GroupBy* CreateGroupBy(Vector* columns, SelectCriteria* having, apr_pool_t* pool) {
  auto* groupBy = PoolRecord<GroupBy>(pool);
  if (groupBy == nullptr) return nullptr;
  groupBy->columns = columns;
  groupBy->having = having;
  return groupBy;
}

bool SetGroupBy(SelectQuery* query, GroupBy* groupBy) {
  if (query == nullptr) return false;
  query->groupBy = groupBy;
  return true;
}

SortOrder* CreateSortOrder(Vector* columns, std::uint8_t ascending, apr_pool_t* pool) {
  auto* sortOrder = PoolRecord<SortOrder>(pool);
  if (sortOrder == nullptr) return nullptr;
  sortOrder->columns = columns;
  sortOrder->ascending = ascending;
  return sortOrder;
}

bool SetSortOrder(SelectQuery* query, SortOrder* sortOrder) {
  if (query == nullptr) return false;
  query->sortOrder = sortOrder;
  return true;
}

// ---------------------------------------------------------------- column lists

Vector* CreateColumnVector(apr_pool_t* pool) {
  auto* vector = PoolRecord<Vector>(pool);
  if (vector != nullptr) InitVector(vector, nullptr);
  return vector;
}

SelectColumn* CreateVectorColumn(const char* tableName, const char* tableAlias,
                                 const char* columnName, const char* columnAlias,
                                 std::uint32_t reserved, std::uint8_t dataType,
                                 std::uint8_t function, apr_pool_t* pool) {
  if (columnName == nullptr) {
    LogError("\nColumn Name is NULL\n");
    return nullptr;
  }
  if (!ValidDataType(dataType)) return nullptr;
  return NewColumn(tableName, tableAlias, columnName, columnAlias, reserved, dataType, function,
                   pool);
}

bool AddColumnToVector(apr_pool_t* pool, SelectColumn* column, Vector* vector) {
  if (column == nullptr) return false;
  return AppendToPoolVector(pool, vector, column);
}

Vector* MakeColumnVector(apr_pool_t* pool, std::int32_t count, ...) {
  LogTrace("@@ Inside MakeColumnVector @@\n");
  Vector* names = CreateColumnVector(pool);
  if (names == nullptr) return nullptr;
  va_list texts;
  va_start(texts, count);
  bool made = true;
  for (std::int32_t i = 0; i < count && made; ++i) {
    const char* text = va_arg(texts, const char*);
    char* copy = nullptr;
    made = text != nullptr && PoolCopy(pool, text, &copy) && AppendToPoolVector(pool, names, copy);
  }
  va_end(texts);
  return made ? names : nullptr;
}

Vector* MakeColumnVectorForJoin(apr_pool_t* pool, const char* tableName, std::int32_t count, ...) {
  LogTrace("@@ Inside MakeColumnVectorForJoin @@\n");
  va_list names;
  va_start(names, count);
  Vector* columns = JoinColumnsFromNames(pool, tableName, count, names);
  va_end(names);
  return columns;
}
