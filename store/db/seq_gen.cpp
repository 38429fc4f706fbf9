#include "store/db/seq_gen.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "agent/log_writer.h"
#include "agent/object_lock.h"
#include "store/db/conn_pool.h"
#include "store/db/data_source_map.h"
#include "store/db/db_provider.h"
#include "store/imds/result_set.h"
#include "store/imds/table_defn.h"
#include "store/util/alloc.h"
#include "store/util/vector.h"

HashTable gv_seqGenTable{};

namespace {

constexpr std::int32_t kSeqGenBuckets = 50;
// Rounds of select and conditional update before a reservation gives up; each round
// that fails lost to another process that did get its batch.
constexpr int kReserveAttempts = 100;
constexpr const char* kInstanceIdKey = "INSTANCE_ID";

// The sequence name as an SQL string literal body: quotes doubled.
std::string QuoteBody(const char* text) {
  std::string quoted;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\'') quoted += '\'';
    quoted += *p;
  }
  return quoted;
}

// CURRENTBATCHEND of the first row as a 32-bit value, whatever integer or text type the
// driver gave it; null when the row has no such value.
std::optional<std::int64_t> BatchEndOf(ResultSet* rs) {
  std::int32_t length = 0;
  const void* value = GetResultValue("CURRENTBATCHEND", &length, rs);
  if (value == nullptr) return std::nullopt;
  switch (GetResultColumnType("CURRENTBATCHEND", rs)) {
    case QEL_SQL_SMALLINT:
      return *static_cast<const std::int16_t*>(value);
    case QEL_SQL_INT:
      return *static_cast<const std::int32_t*>(value);
    case QEL_SQL_BIGINT:
      return *static_cast<const std::int64_t*>(value);
    default:
      return ParseBigIntValue(static_cast<const char*>(value));
  }
}

// Holds a pooled connection of one data source until the scope ends.
class PooledConnection {
 public:
  explicit PooledConnection(const char* connectionName)
      : name_(connectionName), connection_(GetDBConnection(connectionName)) {}
  ~PooledConnection() { ReleaseDBConnection(name_); }
  PooledConnection(const PooledConnection&) = delete;
  PooledConnection& operator=(const PooledConnection&) = delete;
  DBConnection* Get() const { return connection_; }

 private:
  const char* name_;
  DBConnection* connection_;
};

// kUpdateLost: another process moved the batch end first. kInsertFailed: the first row of
// the sequence could not be inserted (perhaps another process inserted it first).
enum class Claim { kClaimed, kUpdateLost, kInsertFailed, kFailed };

// Tries once to move the sequence's batch end forward: the current end is read, then
// moved only if it is still what was read; a sequence without a row gets its first one.
Claim TryClaimBatch(DBConnection* connection, const std::string& name, SeqGenBatch& claimed) {
  std::string query = "select * from SeqGenState where SEQNAME = '" + name + "';";
  LogTrace("Query %s\n", query.c_str());
  ResultSet* rs = ExecuteQuery(connection, query.c_str());
  if (rs == nullptr) {
    LogError("Table doesn't Exists for UpdateSeqGen\n");
    return Claim::kFailed;
  }
  bool hasRow = NextResultRow(rs) != nullptr;
  std::optional<std::int64_t> end = hasRow ? BatchEndOf(rs) : std::nullopt;
  FreeResultSet(rs);
  if (!hasRow) {
    std::string insert = "insert into SeqGenState values ('" + name + "'," + std::to_string(kSeqGenBatchSize) + ");";
    LogTrace("Insert Query %s\n", insert.c_str());
    if (ExecuteUpdate(connection, insert.c_str()) != 1) return Claim::kInsertFailed;
    claimed = {1, kSeqGenBatchSize};
    return Claim::kClaimed;
  }
  if (!end || *end < 0 || *end > std::numeric_limits<std::int32_t>::max() - kSeqGenBatchSize) {
    LogError("ExecuteUpdate Failed for update\n");
    return Claim::kFailed;
  }
  std::string update = "update SeqGenState set CURRENTBATCHEND = " + std::to_string(*end + kSeqGenBatchSize) +
                       " where SEQNAME = '" + name + "' and CURRENTBATCHEND = " + std::to_string(*end) + ";";
  LogTrace("Update Query %s\n", update.c_str());
  std::int64_t rows = -1;
  if (ExecuteUpdateRowCount(connection, update.c_str(), &rows) != 1) {
    LogError("ExecuteUpdate Failed for update\n");
    return Claim::kFailed;
  }
  if (rows < 1) return Claim::kUpdateLost;
  claimed = {static_cast<std::int32_t>(*end + 1), static_cast<std::int32_t>(*end + kSeqGenBatchSize)};
  return Claim::kClaimed;
}

// Makes `claimed` the sequence's batch, reusing its record when it has one.
bool StoreBatch(const char* seqName, const SeqGenBatch& claimed) {
  if (auto* batch = static_cast<SeqGenBatch*>(GetHashValue(&gv_seqGenTable, seqName))) {
    *batch = claimed;
    return true;
  }
  auto* batch = static_cast<SeqGenBatch*>(VtMalloc(sizeof(SeqGenBatch)));
  if (batch == nullptr || PutHashValue(&gv_seqGenTable, seqName, batch) != 1) {
    std::free(batch);
    LogError("Memory allocation Failed\n");
    return false;
  }
  *batch = claimed;
  return true;
}

// Hands out the next identifier of `key`, renewing through `tableName`'s data source.
std::int32_t NextId(const char* tableName, const char* key) {
  while (true) {
    LogTrace("AutoId Key %s\n", key);
    HashEntry* entry = GetHashEntry(&gv_seqGenTable, key);
    if (entry == nullptr) {
      LogTrace("Cannot generate ID for key %s.\n", key);
      return -1;
    }
    ObjectLockGuard lock(entry);
    auto* batch = static_cast<SeqGenBatch*>(entry->value);
    if (batch == nullptr) {
      LogError("No Value for AutoId key %s \n", key);
      return -1;
    }
    if (batch->nextId > batch->batchEnd) {
      if (UpdateSeqGen(tableName, key) != 1) return -1;
      continue;
    }
    std::int32_t id = batch->nextId++;
    LogTrace("AutoGenerated Value %d \n", id);
    return id;
  }
}

}  // namespace

std::uint8_t InitSeqGenTable() { return InitHashTable(&gv_seqGenTable, kSeqGenBuckets); }

void FreeSeqGenTable() {
  if (char** keys = GetHashKeys(&gv_seqGenTable)) {
    for (char** key = keys; *key != nullptr; ++key) std::free(GetHashValue(&gv_seqGenTable, *key));
    std::free(keys);
  }
  FreeHashTable(&gv_seqGenTable);
}

std::uint8_t SequenceGenerator() {
  LogTrace("Inside SequenceGenerator\n");
  for (VectorNode* link = gv_tableDefnVect.head; link != nullptr; link = link->next) {
    const auto* table = static_cast<const TableDefn*>(link->element);
    if (table->columns == nullptr || table->columns->head == nullptr) return 0;
    for (VectorNode* column = table->columns->head; column != nullptr; column = column->next) {
      const char* generator = static_cast<const ColumnDefn*>(column->element)->generatorName;
      if (generator == nullptr) continue;
      ObjectLockGuard lock(&gv_seqGenTable);
      UpdateSeqGen(table->name, generator);
    }
  }
  return 1;
}

std::uint8_t UpdateSeqGen(const char* tableName, const char* seqName) {
  LogTrace("Inside UpdateSeqGen \n");
  if (seqName == nullptr) return 0;
  const char* connectionName = tableName != nullptr ? GetConnectionNameForTable(tableName) : nullptr;
  PooledConnection connection(connectionName);
  const std::string name = QuoteBody(seqName);
  SeqGenBatch claimed{};
  bool insertFailed = false;
  for (int attempt = 0; attempt < kReserveAttempts; ++attempt) {
    switch (TryClaimBatch(connection.Get(), name, claimed)) {
      case Claim::kClaimed:
        return StoreBatch(seqName, claimed) ? 1 : 0;
      case Claim::kFailed:
        return 0;
      case Claim::kUpdateLost:
        insertFailed = false;
        break;
      case Claim::kInsertFailed:
        // A lost race leaves the other process's row for the next look; a second failed
        // insert means the insert itself cannot succeed.
        if (insertFailed) {
          LogError("ExecuteUpdate Failed for insert\n");
          return 0;
        }
        insertFailed = true;
        break;
    }
  }
  LogError("ExecuteUpdate Failed for update\n");
  return 0;
}

std::int32_t GenerateID(const char* tableName, const ColumnDefn* columnDefn) {
  LogTrace("Inside GenerateID \n");
  if (columnDefn == nullptr || columnDefn->generatorName == nullptr) {
    LogTrace("Cannot generate ID for key %s.\n", "(null)");
    return -1;
  }
  return NextId(tableName, columnDefn->generatorName);
}

std::int32_t GenerateInstanceID() {
  LogTrace("Inside GenerateInstanceID \n");
  return NextId(nullptr, kInstanceIdKey);
}
