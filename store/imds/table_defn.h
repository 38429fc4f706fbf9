// The data dictionary model: table, column, constraint and foreign-key definitions,
// the process-wide registry gv_tableDefnVect, the ODBC type map and the lookups.
// The registry owns the definitions it holds; lookups hand out borrowed pointers that
// the caller must not free. Records and texts come from VtMalloc.
// The registry is written only at start-up and shutdown; reading it is then thread-safe.
#pragma once

#include <cstdint>

#include "store/imds/column_value.h"
#include "store/util/vector.h"

struct AllowedValues {
  char** values;        // a list ends with a null entry; a range holds exactly from, to
  std::uint8_t isRange;  // 1 for a from/to range, 0 for a list
};

struct ColumnDefn {
  char* name;                  // never null
  std::uint8_t type;           // ColumnType
  void* defaultValue;          // in the value representation of its type, or null
  std::int32_t defaultValueLength;
  std::uint8_t unique;
  char* generatorName;         // sequence generator for the column's values, or null
  char* description;           // or null
  std::int32_t maxSize;        // declared maximum length of a character column; 0 if none
  std::uint8_t nullable;
  AllowedValues* allowedValues;  // or null: any value is allowed
};

struct ForeignKeyDefn {
  char* localColumn;
  char* referenceColumn;
  char* referenceTable;
  std::uint8_t onDeleteCascade;
  std::uint8_t secondFlag;  // kept for callers of CreateForeignKeyDefn; the store never reads it
  std::uint8_t bidirectional;
};

struct ConstraintDefn {
  char** primaryKey;  // primary key column names, in dictionary order
  std::int32_t primaryKeyCount;
  Vector* foreignKeys;  // of ForeignKeyDefn*; null until the first one is added
};

struct TableDefn {
  char* name;  // never null
  char* description;
  Vector* columns;  // of ColumnDefn*, dictionary order; owned with its elements
  ConstraintDefn* constraints;
};

// One pair of the ODBC type map.
struct OdbcTypeMapEntry {
  ColumnType code;
  std::int16_t sqlType;
};

inline constexpr std::int32_t kOdbcTypeMapCount = 36;
extern const OdbcTypeMapEntry gv_odbcTypeMap[kOdbcTypeMapCount];

// The registry: TableDefn* in the order added, no comparator. Zero-initialised (empty).
extern Vector gv_tableDefnVect;

// A new column. Texts are copied; `allowedValues` passes to the column on success and
// stays the caller's on failure. Type 14 or 15 with maxSize above 255 is stored as 22.
// A default text is converted for the type as passed; a conversion that gives no value
// leaves no default (length 0). Null for a null name or when out of memory.
ColumnDefn* CreateColumnDefn(const char* name, ColumnType type, const char* defaultText,
                             std::int32_t defaultTextLength, std::uint8_t unique, const char* generatorName,
                             const char* description, std::int32_t maxSize, std::uint8_t nullable,
                             AllowedValues* allowedValues);
// A new constraint record with copies of `keyCount` primary key names (null entries are
// not allowed) and no foreign keys. Null when out of memory or for a negative count.
ConstraintDefn* CreateConstraintDefn(const char* const* keyNames, std::int32_t keyCount);
// A new table taking over `columns` and `constraints` on success (on failure they stay
// the caller's). Null for a null name or when out of memory.
TableDefn* CreateTableDefn(const char* name, const char* description, Vector* columns,
                           ConstraintDefn* constraints);
// A new foreign-key record; texts are copied when not null. Null when out of memory.
ForeignKeyDefn* CreateForeignKeyDefn(const char* localColumn, const char* referenceColumn,
                                     const char* referenceTable, std::uint8_t onDeleteCascade,
                                     std::uint8_t secondFlag, std::uint8_t bidirectional);
// Appends the key (which passes to the constraints) to its vector, made on first use.
// False, with nothing taken, for a null argument or when out of memory.
bool AddForeignKeyDefn(ConstraintDefn* constraints, ForeignKeyDefn* foreignKey);
// Appends to the registry, which then owns the definition. False (nothing taken) for
// null or when out of memory.
bool AddTableDefn(TableDefn* tableDefn);

// The first definition whose name equals `tableName` without regard to case, or null
// ("Table Name is NULL.\n" for a null name).
TableDefn* GetTableDefn(const char* tableName);
// The first column named exactly `columnName` in the table, or null.
ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName);
// That column's type code, or 0.
std::uint8_t GetColumnDefnType(const char* tableName, const char* columnName);
// That column's default value (borrowed; null when it has none) with *found set to 1;
// when the column is missing, null with *found untouched.
void* GetDefaultValue(const char* tableName, const char* columnName, std::int32_t* found);
// The table's first foreign key whose local column equals the name without regard to case.
ForeignKeyDefn* GetForeignKeyDefn(const TableDefn* tableDefn, const char* localColumnName);
Vector* GetTableDefnVector();
std::int32_t GetTableDefnCount();

// First-match searches of the ODBC type map; 0 when nothing matches.
ColumnType GetColumnTypeForSqlType(const OdbcTypeMapEntry* map, std::int32_t entryCount, std::int16_t sqlType);
std::int16_t GetSqlTypeForColumnType(const OdbcTypeMapEntry* map, std::int32_t entryCount, ColumnType code);

// Free one record with everything it owns (null is ignored); for records that never
// reached, or were taken out of, their table.
void FreeColumnDefn(ColumnDefn* column);
void FreeForeignKeyDefn(ForeignKeyDefn* foreignKey);
// Frees the allowed values of a column (null is ignored).
void FreeAllowedValues(AllowedValues* allowedValues);
// Frees every column of the vector with all it owns and empties the vector; the Vector
// record stays the caller's.
void FreeColumnDefnList(Vector* columns);
// Frees what the record owns (key names, foreign keys and their vector); the record
// itself stays the caller's.
void FreeConstraintDefn(ConstraintDefn* constraints);
// Frees a definition that is not (or no longer) in the registry.
void FreeTableDefn(TableDefn* tableDefn);
// Takes the first definition of that name out of the registry and frees it.
void RemoveTableDefn(const char* tableName);
// Frees every definition and empties the registry.
void FreeAllTableDefns();
// The store's shutdown entry; as FreeAllTableDefns.
void FreeDataDictionary();

// Write definitions to the log at debug level. Tables without columns print nothing.
void PrintTableDefn(const TableDefn* tableDefn);
void PrintAllTableDefns();
