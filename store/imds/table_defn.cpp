#include "store/imds/table_defn.h"

#include <cstdlib>
#include <cstring>

#include "agent/log_writer.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

Vector gv_tableDefnVect{};

// ODBC SQL data type numbers against column type codes, searched from the first entry.
const OdbcTypeMapEntry gv_odbcTypeMap[kOdbcTypeMapCount] = {
    {QEL_SQL_BIGINT, -5},     // SQL_BIGINT
    {QEL_SQL_SMALLINT, 5},    // SQL_SMALLINT
    {QEL_SQL_INT, 4},         // SQL_INTEGER
    {QEL_SQL_NOT_SUPPORTED_TYPE, 7},   // SQL_REAL
    {QEL_SQL_FLOAT, 6},       // SQL_FLOAT
    {QEL_SQL_DOUBLE, 8},      // SQL_DOUBLE
    {QEL_SQL_NOT_SUPPORTED_TYPE, 3},   // SQL_DECIMAL
    {QEL_SQL_NOT_SUPPORTED_TYPE, -11},  // SQL_GUID
    {QEL_SQL_CHAR, 1},        // SQL_CHAR
    {QEL_SQL_VARCHAR, 12},    // SQL_VARCHAR
    {QEL_SQL_BLOB, -1},       // SQL_LONGVARCHAR
    {QEL_SQL_NOT_SUPPORTED_TYPE, -8},   // SQL_WCHAR
    {QEL_SQL_NOT_SUPPORTED_TYPE, -9},   // SQL_WVARCHAR
    {QEL_SQL_NOT_SUPPORTED_TYPE, -10},  // SQL_WLONGVARCHAR
    {QEL_SQL_DATE, 9},        // SQL_DATE / SQL_DATETIME
    {QEL_SQL_TIME, 10},       // SQL_TIME / SQL_INTERVAL
    {QEL_SQL_DATETIME, 11},   // SQL_TIMESTAMP
    {QEL_SQL_BLOB, -2},       // SQL_BINARY
    {QEL_SQL_BLOB, -3},       // SQL_VARBINARY
    {QEL_SQL_BLOB, -4},       // SQL_LONGVARBINARY
    // The thirteen interval types.
    {QEL_SQL_NOT_SUPPORTED_TYPE, 102},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 101},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 107},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 103},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 104},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 105},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 106},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 108},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 109},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 110},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 111},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 112},
    {QEL_SQL_NOT_SUPPORTED_TYPE, 113},
    {QEL_SQL_NOT_SUPPORTED_TYPE, -7},   // SQL_BIT
    {QEL_SQL_BOOLEAN, -6},    // SQL_TINYINT
    {QEL_SQL_NUMERIC, 2},     // SQL_NUMERIC
};

namespace {

constexpr std::int32_t kLongestCharColumn = 255;

// *target = a copy of text, or null for a null text. False when out of memory.
bool CopyOptional(char** target, const char* text) {
  *target = nullptr;
  return text == nullptr || AllocateAndSetString(target, text) == kVtSuccess;
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// Logs the lookup failures that GetColumnDefnEntry, GetColumnDefnType and
// GetDefaultValue share; the table's definition, or null.
TableDefn* TableForColumnLookup(const char* tableName, const char* columnName) {
  if (tableName == nullptr || columnName == nullptr) {
    LogError("Cannot fetch default value;\n");
    return nullptr;
  }
  TableDefn* table = GetTableDefn(tableName);
  if (table == nullptr) LogError("No definition found for table %s\n", tableName);
  return table;
}

ColumnDefn* FindColumn(const TableDefn* table, const char* columnName) {
  if (table->columns == nullptr) return nullptr;
  for (VectorNode* link = table->columns->head; link != nullptr; link = link->next) {
    auto* column = static_cast<ColumnDefn*>(link->element);
    if (std::strcmp(column->name, columnName) == 0) return column;
  }
  return nullptr;
}

void PrintColumn(const ColumnDefn& column) {
  LogDebug("Column Name : %s\n", column.name);
  LogDebug("Column Type : %d\n", column.type);
  LogDebug("Unique Flag : %s\n", column.unique != 0 ? "TRUE" : "FALSE");
  LogDebug("Description : %s\n", OrEmpty(column.description));
  LogDebug("---------------------------------------\n\n");
}

void PrintConstraints(const ConstraintDefn& constraints) {
  for (std::int32_t i = 0; i < constraints.primaryKeyCount; ++i) {
    LogDebug("Primary key : %s\n\n", constraints.primaryKey[i]);
  }
  if (constraints.foreignKeys == nullptr || constraints.foreignKeys->head == nullptr) return;
  LogDebug("Foreign key Constraints\n");
  LogDebug("********************************\n");
  for (VectorNode* link = constraints.foreignKeys->head; link != nullptr; link = link->next) {
    auto* key = static_cast<const ForeignKeyDefn*>(link->element);
    LogDebug("Column Name : %s\n", OrEmpty(key->localColumn));
    LogDebug("Ref Column  : %s\n", OrEmpty(key->referenceColumn));
    LogDebug("Tablename : %s\n", OrEmpty(key->referenceTable));
  }
  LogDebug("********************************\n");
}

}  // namespace

ColumnDefn* CreateColumnDefn(const char* name, ColumnType type, const char* defaultText,
                             std::int32_t defaultTextLength, std::uint8_t unique, const char* generatorName,
                             const char* description, std::int32_t maxSize, std::uint8_t nullable,
                             AllowedValues* allowedValues) {
  if (name == nullptr) return nullptr;
  auto* column = static_cast<ColumnDefn*>(VtCalloc(1, sizeof(ColumnDefn)));
  if (column == nullptr) return nullptr;
  column->type = type;  // as passed until the default is converted
  if (!CopyOptional(&column->name, name) || !CopyOptional(&column->generatorName, generatorName) ||
      !CopyOptional(&column->description, description)) {
    FreeColumnDefn(column);
    return nullptr;
  }
  if (defaultText != nullptr) {
    std::int32_t length = defaultTextLength;
    column->defaultValue = ConvertStringToColumnValue(defaultText, &length, type);
    column->defaultValueLength = column->defaultValue != nullptr ? length : 0;
  }
  if ((type == QEL_SQL_CHAR || type == QEL_SQL_VARCHAR) && maxSize > kLongestCharColumn) {
    column->type = QEL_SQL_TEXT;
  }
  column->unique = unique;
  column->maxSize = maxSize;
  column->nullable = nullable;
  column->allowedValues = allowedValues;
  return column;
}

ConstraintDefn* CreateConstraintDefn(const char* const* keyNames, std::int32_t keyCount) {
  if (keyCount < 0 || (keyCount > 0 && keyNames == nullptr)) return nullptr;
  auto* constraints = static_cast<ConstraintDefn*>(VtCalloc(1, sizeof(ConstraintDefn)));
  if (constraints == nullptr) return nullptr;
  if (keyCount > 0) {
    constraints->primaryKey = static_cast<char**>(VtCalloc(static_cast<std::size_t>(keyCount), sizeof(char*)));
    bool ok = constraints->primaryKey != nullptr;
    for (std::int32_t i = 0; ok && i < keyCount; ++i) {
      ok = keyNames[i] != nullptr && AllocateAndSetString(&constraints->primaryKey[i], keyNames[i]) == kVtSuccess;
      if (ok) constraints->primaryKeyCount = i + 1;
    }
    if (!ok) {
      FreeConstraintDefn(constraints);
      std::free(constraints);
      return nullptr;
    }
  }
  return constraints;
}

TableDefn* CreateTableDefn(const char* name, const char* description, Vector* columns,
                           ConstraintDefn* constraints) {
  if (name == nullptr) return nullptr;
  auto* table = static_cast<TableDefn*>(VtCalloc(1, sizeof(TableDefn)));
  if (table == nullptr) return nullptr;
  if (!CopyOptional(&table->name, name) || !CopyOptional(&table->description, description)) {
    std::free(table->name);
    std::free(table->description);
    std::free(table);
    return nullptr;
  }
  table->columns = columns;
  table->constraints = constraints;
  return table;
}

ForeignKeyDefn* CreateForeignKeyDefn(const char* localColumn, const char* referenceColumn,
                                     const char* referenceTable, std::uint8_t onDeleteCascade,
                                     std::uint8_t secondFlag, std::uint8_t bidirectional) {
  auto* key = static_cast<ForeignKeyDefn*>(VtCalloc(1, sizeof(ForeignKeyDefn)));
  if (key == nullptr) return nullptr;
  if (!CopyOptional(&key->localColumn, localColumn) || !CopyOptional(&key->referenceColumn, referenceColumn) ||
      !CopyOptional(&key->referenceTable, referenceTable)) {
    FreeForeignKeyDefn(key);
    return nullptr;
  }
  key->onDeleteCascade = onDeleteCascade;
  key->secondFlag = secondFlag;
  key->bidirectional = bidirectional;
  return key;
}

bool AddForeignKeyDefn(ConstraintDefn* constraints, ForeignKeyDefn* foreignKey) {
  if (constraints == nullptr || foreignKey == nullptr) return false;
  if (constraints->foreignKeys == nullptr) {
    constraints->foreignKeys = CreateVector();
    if (constraints->foreignKeys == nullptr) return false;
  }
  return AddElementData(constraints->foreignKeys, foreignKey) == kVtSuccess;
}

bool AddTableDefn(TableDefn* tableDefn) {
  return tableDefn != nullptr && AddElementData(&gv_tableDefnVect, tableDefn) == kVtSuccess;
}

TableDefn* GetTableDefn(const char* tableName) {
  if (gv_tableDefnVect.head == nullptr) return nullptr;
  if (tableName == nullptr) {
    LogError("Table Name is NULL.\n");
    return nullptr;
  }
  for (VectorNode* link = gv_tableDefnVect.head; link != nullptr; link = link->next) {
    auto* table = static_cast<TableDefn*>(link->element);
    if (CompareNoCase(table->name, tableName) == 0) return table;
  }
  return nullptr;
}

ColumnDefn* GetColumnDefnEntry(const char* tableName, const char* columnName) {
  LogTrace("@@@@ Inside GetColumnDefnEntry @@@@\n");
  TableDefn* table = TableForColumnLookup(tableName, columnName);
  return table != nullptr ? FindColumn(table, columnName) : nullptr;
}

std::uint8_t GetColumnDefnType(const char* tableName, const char* columnName) {
  ColumnDefn* column = GetColumnDefnEntry(tableName, columnName);
  return column != nullptr ? column->type : 0;
}

void* GetDefaultValue(const char* tableName, const char* columnName, std::int32_t* found) {
  LogTrace("@@@@ Inside GetDefaultValue @@@@\n");
  if (found == nullptr) {
    LogError("Cannot fetch default value;\n");
    return nullptr;
  }
  TableDefn* table = TableForColumnLookup(tableName, columnName);
  ColumnDefn* column = table != nullptr ? FindColumn(table, columnName) : nullptr;
  if (column == nullptr) return nullptr;
  *found = 1;
  return column->defaultValue;
}

ForeignKeyDefn* GetForeignKeyDefn(const TableDefn* tableDefn, const char* localColumnName) {
  if (tableDefn == nullptr || localColumnName == nullptr) return nullptr;
  if (tableDefn->constraints == nullptr) {
    LogError("No constraint Definition \n");
    return nullptr;
  }
  const Vector* keys = tableDefn->constraints->foreignKeys;
  if (keys == nullptr || keys->head == nullptr) {
    LogError("No Foreignkey Entries in Definition \n");
    return nullptr;
  }
  for (VectorNode* link = keys->head; link != nullptr; link = link->next) {
    auto* key = static_cast<ForeignKeyDefn*>(link->element);
    if (key->localColumn != nullptr && CompareNoCase(key->localColumn, localColumnName) == 0) return key;
  }
  return nullptr;
}

Vector* GetTableDefnVector() { return &gv_tableDefnVect; }

std::int32_t GetTableDefnCount() { return gv_tableDefnVect.count; }

ColumnType GetColumnTypeForSqlType(const OdbcTypeMapEntry* map, std::int32_t entryCount, std::int16_t sqlType) {
  for (std::int32_t i = 0; map != nullptr && i < entryCount; ++i) {
    if (map[i].sqlType == sqlType) return map[i].code;
  }
  return QEL_SQL_NOT_SUPPORTED_TYPE;
}

std::int16_t GetSqlTypeForColumnType(const OdbcTypeMapEntry* map, std::int32_t entryCount, ColumnType code) {
  for (std::int32_t i = 0; map != nullptr && i < entryCount; ++i) {
    if (map[i].code == code) return map[i].sqlType;
  }
  return 0;
}

void FreeColumnDefn(ColumnDefn* column) {
  if (column == nullptr) return;
  std::free(column->name);
  FreeColumnValue(column->defaultValue, static_cast<ColumnType>(column->type));
  std::free(column->description);
  std::free(column->generatorName);
  FreeAllowedValues(column->allowedValues);
  std::free(column);
}

void FreeForeignKeyDefn(ForeignKeyDefn* key) {
  if (key == nullptr) return;
  std::free(key->localColumn);
  std::free(key->referenceColumn);
  std::free(key->referenceTable);
  std::free(key);
}

void FreeAllowedValues(AllowedValues* allowedValues) {
  if (allowedValues == nullptr) return;
  if (allowedValues->values != nullptr) {
    if (allowedValues->isRange != 0) {
      std::free(allowedValues->values[0]);
      std::free(allowedValues->values[1]);
    } else {
      for (char** value = allowedValues->values; *value != nullptr; ++value) std::free(*value);
    }
    std::free(allowedValues->values);
  }
  std::free(allowedValues);
}

void FreeColumnDefnList(Vector* columns) {
  if (columns == nullptr) return;
  for (VectorNode* link = columns->head; link != nullptr; link = link->next) {
    FreeColumnDefn(static_cast<ColumnDefn*>(link->element));
  }
  FreeVector(columns);
}

void FreeConstraintDefn(ConstraintDefn* constraints) {
  if (constraints == nullptr) return;
  FreeStringArray(constraints->primaryKey, constraints->primaryKeyCount);
  constraints->primaryKey = nullptr;
  constraints->primaryKeyCount = 0;
  if (constraints->foreignKeys != nullptr) {
    for (VectorNode* link = constraints->foreignKeys->head; link != nullptr; link = link->next) {
      FreeForeignKeyDefn(static_cast<ForeignKeyDefn*>(link->element));
    }
    FreeVector(constraints->foreignKeys);
    std::free(constraints->foreignKeys);
    constraints->foreignKeys = nullptr;
  }
}

void FreeTableDefn(TableDefn* tableDefn) {
  if (tableDefn == nullptr) return;
  FreeColumnDefnList(tableDefn->columns);
  std::free(tableDefn->columns);
  FreeConstraintDefn(tableDefn->constraints);
  std::free(tableDefn->constraints);
  std::free(tableDefn->name);
  std::free(tableDefn->description);
  std::free(tableDefn);
}

void RemoveTableDefn(const char* tableName) {
  TableDefn* table = GetTableDefn(tableName);
  if (table == nullptr) return;
  DeleteLCDVector(&gv_tableDefnVect, table);
  FreeTableDefn(table);
}

void FreeAllTableDefns() {
  for (VectorNode* link = gv_tableDefnVect.head; link != nullptr; link = link->next) {
    FreeTableDefn(static_cast<TableDefn*>(link->element));
  }
  FreeVector(&gv_tableDefnVect);
}

void FreeDataDictionary() { FreeAllTableDefns(); }

void PrintTableDefn(const TableDefn* tableDefn) {
  if (tableDefn == nullptr || tableDefn->columns == nullptr || tableDefn->columns->head == nullptr) return;
  LogDebug("Table Name : %s\n", tableDefn->name);
  LogDebug("Description: %s\n", OrEmpty(tableDefn->description));
  LogDebug("---------------------------------------\n\n");
  for (VectorNode* link = tableDefn->columns->head; link != nullptr; link = link->next) {
    PrintColumn(*static_cast<const ColumnDefn*>(link->element));
  }
  if (tableDefn->constraints != nullptr) PrintConstraints(*tableDefn->constraints);
}

void PrintAllTableDefns() {
  for (VectorNode* link = gv_tableDefnVect.head; link != nullptr; link = link->next) {
    PrintTableDefn(static_cast<const TableDefn*>(link->element));
  }
}
