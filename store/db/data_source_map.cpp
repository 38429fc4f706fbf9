#include "store/db/data_source_map.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "agent/log_writer.h"
#include "store/db/data_file.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

Vector gv_dataSourceMapVect{};

namespace {

DataSourceMapEntry* EntryAt(const VectorNode* link) { return static_cast<DataSourceMapEntry*>(link->element); }

VectorNode* FindLink(const char* tableName) {
  if (tableName == nullptr) return nullptr;
  for (VectorNode* link = gv_dataSourceMapVect.head; link != nullptr; link = link->next) {
    if (CompareNoCase(EntryAt(link)->tableName, tableName) == 0) return link;
  }
  return nullptr;
}

void FreeEntry(DataSourceMapEntry* entry) {
  if (entry == nullptr) return;
  std::free(entry->tableName);
  std::free(entry->connectionName);
  std::free(entry);
}

}  // namespace

DataSourceMapEntry* CreateDataSourceMapEntry(const char* tableName, const char* connectionName) {
  LogTrace("@@@ Inside CreateDataSourceMapEntry @@@\n");
  if (tableName == nullptr || connectionName == nullptr) return nullptr;
  auto* entry = static_cast<DataSourceMapEntry*>(VtCalloc(1, sizeof(DataSourceMapEntry)));
  if (entry == nullptr) return nullptr;
  if (AllocateAndSetString(&entry->tableName, tableName) != kVtSuccess ||
      AllocateAndSetString(&entry->connectionName, connectionName) != kVtSuccess) {
    FreeEntry(entry);
    return nullptr;
  }
  return entry;
}

bool AddDataSourceMapEntry(DataSourceMapEntry* entry) {
  LogTrace("@@@ Inside AddDataSourceMapEntry @@@\n");
  if (entry == nullptr) return false;
  return AddElementData(&gv_dataSourceMapVect, entry) == kVtSuccess;
}

bool DeleteDataSourceMapEntry(const char* tableName) {
  LogTrace("@@@ Inside DeleteDataSourceMapEntry @@@\n");
  VectorNode* link = FindLink(tableName);
  if (link == nullptr) return false;
  DataSourceMapEntry* entry = EntryAt(link);
  DeleteElement(&gv_dataSourceMapVect, link);
  FreeEntry(entry);
  return true;
}

DataSourceMapEntry* GetDataSourceMapEntry(const char* tableName) {
  LogTrace("@@@ Inside GetDataSourceMapEntry @@@\n");
  VectorNode* link = FindLink(tableName);
  return link != nullptr ? EntryAt(link) : nullptr;
}

void FreeAllDataSourceMapEntries() {
  LogTrace("@@@ Inside FreeAllDataSourceMapEntries @@@\n");
  for (VectorNode* link = gv_dataSourceMapVect.head; link != nullptr; link = link->next) FreeEntry(EntryAt(link));
  FreeVector(&gv_dataSourceMapVect);
}

void InitDataSourceMap() {
  LogTrace("@@@ Inside InitDataSourceMap @@@\n");
  InitVector(&gv_dataSourceMapVect, nullptr);
}

bool LoadDataSourceMapEntryFromFile(const char* path) {
  LogTrace("@@@ Inside LoadDataSourceMapEntryFromFile @@@\n");
  std::optional<std::string> text = ReadDataFile(path, "dsn_table_map.txt");
  if (!text) {
    LogError("Cannot open DataSourceMap Entry File.\n");
    return false;
  }
  TokenReader reader(*text);
  while (true) {
    auto tableName = reader.NextToken();
    auto connectionName = reader.NextToken();
    if (!tableName || !connectionName) break;
    DataSourceMapEntry* entry = CreateDataSourceMapEntry(tableName->c_str(), connectionName->c_str());
    if (entry != nullptr && !AddDataSourceMapEntry(entry)) FreeEntry(entry);
  }
  return true;
}

const char* GetConnectionNameForTable(const char* tableName) {
  LogTrace("@@@ Inside GetConnectionNameForTable @@@\n");
  DataSourceMapEntry* entry = GetDataSourceMapEntry(tableName);
  if (entry == nullptr) {
    LogError("No DataSourceMap Entry for Table name %s \n", tableName != nullptr ? tableName : "(null)");
    return nullptr;
  }
  return entry->connectionName;
}
