// The select query: a dialect-neutral description of one SQL select (columns, tables,
// joins, a criteria tree, grouping with having, sort order, limit and offset) and the
// functions that build it. Every part of a query, list links and copied texts
// included, comes from the query's own APR pool and is released by FreeSelectQuery;
// nothing inside is freed one by one. A query and its pool belong to one thread at a
// time; the root pool (mem_pool.h) must be initialised before a query is created.
#pragma once

#include <apr_pools.h>

#include <cstdint>

#include "store/util/vector.h"

// ---------------------------------------------------------------- vocabulary

enum CriteriaOperator : std::uint8_t {
  kOperatorInvalid = 0,
  kOperatorLess = 1,
  kOperatorGreater = 2,
  kOperatorLessEqual = 3,
  kOperatorGreaterEqual = 4,
  kOperatorEqual = 5,
  kOperatorNotEqual = 6,
  kOperatorAnd = 7,
  kOperatorOr = 8,
  kOperatorLike = 9,
  kOperatorBetween = 10,
};

// An aggregate or modifier applied to a selected column.
enum ColumnFunction : std::uint8_t {
  kFunctionNone = 0,
  kFunctionDistinct = 1,
  kFunctionCount = 2,
  kFunctionMin = 3,
  kFunctionMax = 4,
  kFunctionSum = 5,
  kFunctionAvg = 6,
};

enum JoinType : std::uint8_t {
  kInnerJoin = 0,
  kLeftJoin = 1,
};

// The texts of the three vocabularies ("INVALID OPERATOR", "<", ... "BETWEEN";
// "INVALID TYPE", "DISTINCT", ... "AVG"; "INNER_JOIN", "LEFT_JOIN"); null for a number
// outside the table. The ...FromText functions give the position of a text in its
// table, compared exactly, and 0 for a null or unknown text.
const char* CriteriaOperatorText(std::uint8_t op);
std::uint8_t CriteriaOperatorFromText(const char* text);
const char* ColumnFunctionText(std::uint8_t function);
std::uint8_t ColumnFunctionFromText(const char* text);
const char* JoinTypeText(std::uint8_t joinType);
std::uint8_t JoinTypeFromText(const char* text);

// ---------------------------------------------------------------- records

// A column reference: a selected column, or a column named anywhere in a query.
struct SelectColumn {
  char* tableName;      // or null
  char* tableAlias;     // or null; qualifies the column in SQL when present
  char* columnName;     // null only for a selected column with a function: COUNT(*)
  char* columnAlias;    // or null
  std::uint32_t reserved;  // stored, never interpreted
  std::uint8_t dataType;   // ColumnType of the column's values
  std::uint8_t function;   // ColumnFunction
};

struct TableRef {
  char* tableName;
  char* alias;  // or null
};

struct Join {
  char* baseTable;
  char* baseAlias;  // or null
  char* refTable;
  char* refAlias;   // or null
  std::uint8_t joinType;  // JoinType
  Vector* baseColumns;    // of SelectColumn, paired by position with refColumns
  Vector* refColumns;     // of SelectColumn
};

// One node of the where tree.
struct SelectCriteria {
  SelectColumn* column;       // null for an AND/OR node
  char* value;                // the value's bytes and a NUL byte; null for AND/OR
  std::uint32_t valueLength;  // bytes of the value, without the NUL
  std::uint8_t op;            // CriteriaOperator: 1-6, 9, 10 for leaves; 7, 8 inside
  SelectCriteria* left;
  SelectCriteria* right;
  SelectCriteria* parent;
};

struct GroupBy {
  Vector* columns;          // of SelectColumn
  SelectCriteria* having;   // one comparison, or null
};

struct SortOrder {
  Vector* columns;          // of SelectColumn
  std::uint8_t ascending;   // non-zero ascending, 0 descending, for all columns
};

struct SelectQuery {
  apr_pool_t* pool;         // the query's pool: pass it to the create functions
  Vector* columns;          // of SelectColumn in output order; empty selects all (*)
  Vector* joins;            // of Join
  SelectCriteria* criteria; // the where tree, or null
  GroupBy* groupBy;         // or null
  SortOrder* sortOrder;     // or null
  Vector* tables;           // of TableRef: the plain (not joined) tables
  std::uint32_t limit;      // rows to return; 0 means no limit
  std::uint32_t offset;     // rows to skip; 0 means none
};

// ---------------------------------------------------------------- the query

// A new empty query with a fresh child pool of the root pool, owned by the caller.
// Null when the record cannot be allocated; null with
// "\nMEMORY ALLOCATION FOR SELECTQUERYPTR FAILED\n" when the pool cannot be created
// (also while the root pool is not initialised).
SelectQuery* CreateSelectQuery();
// Destroys the query's pool, and with it every part of the query, then the record.
// Null is accepted.
void FreeSelectQuery(SelectQuery* query);

// The create functions below copy the texts they are given into `pool` (the query's
// pool) and return null when the pool has no memory or `pool` is null. The add and set
// functions return false, leaving the query unchanged, for a null argument or when no
// list link can be allocated.

// A column reference. Null with "\nColumn Name is NULL\n" for a null column name
// without a function, null with "\nInvalid Data Type\n" for a type code above 22.
SelectColumn* CreateSelectColumn(const char* tableName, const char* tableAlias,
                                 const char* columnName, const char* columnAlias,
                                 std::uint32_t reserved, std::uint8_t dataType,
                                 std::uint8_t function, apr_pool_t* pool);
// Appends to the selected columns.
bool AddSelectColumn(SelectQuery* query, SelectColumn* column);
// Removes every selected column named `columnName` that either has no table name or
// has the table name `tableName` (both compared without regard to case). True when at
// least one was removed; otherwise "Invalid Column Name" is logged and the query stays.
bool RemoveSelectColumn(SelectQuery* query, const char* columnName, const char* tableName);
// CreateSelectColumn and AddSelectColumn in the query's pool.
bool AddSelectColumnToQuery(SelectQuery* query, const char* tableName, const char* tableAlias,
                            const char* columnName, const char* columnAlias,
                            std::uint32_t reserved, std::uint8_t dataType,
                            std::uint8_t function);

// A comparison leaf holding a copy of `valueLength` bytes of `value` and a NUL byte (a
// null value is kept as null with length 0). Null with "\nEmpty Column Assigned\n" for
// a null column.
SelectCriteria* CreateSelectCriteria(SelectColumn* column, const void* value,
                                     std::uint32_t valueLength, std::uint8_t op,
                                     apr_pool_t* pool);
// An AND (7) or OR (8) node over two existing nodes, which get it as their parent. Null,
// with both children unchanged, when one of them is missing or the pool has no memory.
SelectCriteria* CreateAndCriteria(SelectCriteria* left, SelectCriteria* right, apr_pool_t* pool);
SelectCriteria* CreateOrCriteria(SelectCriteria* left, SelectCriteria* right, apr_pool_t* pool);
// Sets (replaces) the where tree; returns the query.
SelectQuery* SetSelectCriteria(SelectQuery* query, SelectCriteria* criteria);

// A plain table; null for a null table name.
TableRef* CreateTableRef(const char* tableName, const char* alias, apr_pool_t* pool);
bool AddTable(SelectQuery* query, TableRef* table);

// A join step that keeps the two column lists it is given (not copied). Null for a
// null base or reference table name.
Join* CreateJoin(const char* baseTable, const char* baseAlias, const char* refTable,
                 const char* refAlias, std::uint8_t joinType, Vector* baseColumns,
                 Vector* refColumns, apr_pool_t* pool);
bool AddJoin(SelectQuery* query, Join* join);
// CreateJoin and AddJoin in the query's pool.
bool AddJoinToQuery(SelectQuery* query, const char* baseTable, const char* baseAlias,
                    const char* refTable, const char* refAlias, std::uint8_t joinType,
                    Vector* baseColumns, Vector* refColumns);
// A join on `count` columns of the same name on both sides: one list of column
// references (no table name, type QEL_SQL_INT, no function) serves as base and
// reference columns, so base.name1 = ref.name1, base.name2 = ref.name2, and so on.
bool AddJoinOnColumns(SelectQuery* query, const char* baseTable, const char* baseAlias,
                      const char* refTable, const char* refAlias, std::uint8_t joinType,
                      std::int32_t count, ...);

GroupBy* CreateGroupBy(Vector* columns, SelectCriteria* having, apr_pool_t* pool);
bool SetGroupBy(SelectQuery* query, GroupBy* groupBy);
SortOrder* CreateSortOrder(Vector* columns, std::uint8_t ascending, apr_pool_t* pool);
bool SetSortOrder(SelectQuery* query, SortOrder* sortOrder);

// ---------------------------------------------------------------- column lists
// Lists for joins, grouping and sorting live in the pool like everything else: never
// pass them to FreeVector, DeleteElement or other calls that free links.

// An empty list.
Vector* CreateColumnVector(apr_pool_t* pool);
// CreateSelectColumn, except that the column name is always required.
SelectColumn* CreateVectorColumn(const char* tableName, const char* tableAlias,
                                 const char* columnName, const char* columnAlias,
                                 std::uint32_t reserved, std::uint8_t dataType,
                                 std::uint8_t function, apr_pool_t* pool);
// Appends a column to a list.
bool AddColumnToVector(apr_pool_t* pool, SelectColumn* column, Vector* vector);
// A list of pool copies of the `count` texts that follow (const char*). Null when a
// text is null or the pool has no memory.
Vector* MakeColumnVector(apr_pool_t* pool, std::int32_t count, ...);
// A list of `count` column references, one per name that follows (const char*), each
// with `tableName`, no aliases, type QEL_SQL_INT and no function. Null when a column
// cannot be made.
Vector* MakeColumnVectorForJoin(apr_pool_t* pool, const char* tableName, std::int32_t count, ...);
