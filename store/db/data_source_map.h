// The data source map: which data source (connection name) holds which table, in
// gv_dataSourceMapVect, read from dsn_table_map.txt. Table names match without regard
// to case; the first entry for a table wins. The map owns its entries and their texts;
// lookups hand out borrowed pointers. Filled at start-up and read afterwards; changing
// it while other threads look tables up is not supported.
#pragma once

#include "store/util/vector.h"

struct DataSourceMapEntry {
  char* tableName;       // owned
  char* connectionName;  // owned
};

// DataSourceMapEntry*, unsorted, in file order.
extern Vector gv_dataSourceMapVect;

// A new entry with copies of both texts; null (nothing left allocated) when a text is
// null or cannot be copied.
DataSourceMapEntry* CreateDataSourceMapEntry(const char* tableName, const char* connectionName);
// Appends; the map then owns the entry. False for null or when out of memory.
bool AddDataSourceMapEntry(DataSourceMapEntry* entry);
// Removes and frees the first entry for the table; false when there is none.
bool DeleteDataSourceMapEntry(const char* tableName);
// The first entry for the table (borrowed), or null.
DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName);
void FreeAllDataSourceMapEntries();
void InitDataSourceMap();

// Reads pairs of whitespace-separated tokens (table name, connection name) and appends
// them; a lone last token is dropped. When `path` cannot be opened,
// "<root>/data/dsn_table_map.txt" under gv_storeRoot is tried; false with
// "Cannot open DataSourceMap Entry File.\n" when neither opens.
bool LoadDataSourceMapEntryFromFile(const char* path);
// The connection name (borrowed) of the table's first entry; null with
// "No DataSourceMap Entry for Table name %s \n" when it has none.
const char* GetConnectionNameForTable(const char* tableName);
