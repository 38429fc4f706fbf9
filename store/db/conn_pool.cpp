#include "store/db/conn_pool.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "agent/log_writer.h"
#include "agent/platform/platform.h"
#include "store/db/conn_params.h"
#include "store/util/alloc.h"
#include "store/util/strings.h"

Vector gv_connPoolVect{};

namespace {

constexpr std::int32_t kFreeOwner = -1;
constexpr std::int32_t kSharedOwner = 1;
constexpr std::int32_t kDefaultPoolSize = 5;

// Guards every walk and change of the pool, the owner fields and the replaced list, so
// a free connection is never claimed by two threads.
std::mutex& PoolMutex() {
  static std::mutex mutex;
  return mutex;
}

// Connections replaced while another holder may still use them (a shared connection, or
// one its own thread already held). They stay open until CloseAllDBConnections.
std::vector<DBConnection*>& ReplacedConnections() {
  static std::vector<DBConnection*> replaced;
  return replaced;
}

ConnPoolEntry* EntryAt(const VectorNode* link) { return static_cast<ConnPoolEntry*>(link->element); }
DBConnection* ConnectionAt(const VectorNode* link) { return static_cast<DBConnection*>(link->element); }

// A null name chooses the only entry (null when there are several).
ConnPoolEntry* FindEntry(const char* connectionName, bool nullMeansFirst) {
  VectorNode* first = gv_connPoolVect.head;
  if (first == nullptr) return nullptr;
  if (connectionName == nullptr) {
    return nullMeansFirst || gv_connPoolVect.count == 1 ? EntryAt(first) : nullptr;
  }
  for (VectorNode* link = first; link != nullptr; link = link->next) {
    const char* name = EntryAt(link)->connectionName;
    if (name != nullptr && std::strcmp(name, connectionName) == 0) return EntryAt(link);
  }
  return nullptr;
}

DBConnection* FindByOwner(ConnPoolEntry* entry, std::int32_t owner) {
  for (VectorNode* link = entry->connections.head; link != nullptr; link = link->next) {
    if (ConnectionAt(link)->ownerThread == owner) return ConnectionAt(link);
  }
  return nullptr;
}

std::int32_t OwnerIdFor(const ConnPoolEntry* entry) {
  if (entry->connections.count == 1) return kSharedOwner;
  return static_cast<std::int32_t>(platform::CurrentThreadId());
}

bool InTransaction(DBConnection* connection) {
  return std::atomic_ref<std::uint8_t>(connection->inTransaction).load() == 1;
}

ConnPoolEntry* NewPoolEntry() {
  auto* entry = static_cast<ConnPoolEntry*>(VtCalloc(1, sizeof(ConnPoolEntry)));
  if (entry == nullptr) {
    LogError("Unable to allocate memory for connection pool\n");
    return nullptr;
  }
  InitVector(&entry->connections, nullptr);
  return entry;
}

void FreePoolEntry(ConnPoolEntry* entry) {
  for (VectorNode* link = entry->connections.head; link != nullptr; link = link->next) {
    CloseDBConnection(ConnectionAt(link));
  }
  FreeVector(&entry->connections);
  std::free(entry->connectionName);
  std::free(entry);
}

// Names the entry after its data source and appends it to the pool. False (entry still
// the caller's) when out of memory.
bool AddPoolEntry(ConnPoolEntry* entry, const ConnParams* params) {
  if (AllocateAndSetString(&entry->connectionName, params->connectionName) != kVtSuccess) {
    LogError("Unable to allocate memory for connection pool\n");
    return false;
  }
  return AddElementData(&gv_connPoolVect, entry) == kVtSuccess;
}

// Puts a freshly opened connection in place of `stale` for `owner`. A stale connection
// that nobody else can be using (`exclusive`) is closed; any other one is kept open
// until CloseAllDBConnections, because a holder may still be running a statement on it.
// Null when no new connection can be opened: the stale one then stays in the pool (a
// server that is down for a moment must not cost the data source its connection), and a
// claim made for this call is undone.
DBConnection* ReplaceStaleConnection(ConnPoolEntry* entry, DBConnection* stale, std::int32_t owner, bool claimed,
                                     bool exclusive) {
  ConnParams* params = GetConnParams(stale->name);
  if (params == nullptr) {
    LogError("Cannot return connection handle. Error in fetching connection parameters.\n");
    if (claimed) stale->ownerThread = kFreeOwner;
    return nullptr;
  }
  DBConnection* fresh = OpenDBConnection(params);
  if (fresh == nullptr) {
    LogError(
        "Cannot return connection handle. Error in opening connection while re-establishing connection "
        "hanlde.\n");
    if (claimed) stale->ownerThread = kFreeOwner;
    return nullptr;
  }
  if (AddElementData(&entry->connections, fresh) != kVtSuccess) {
    CloseDBConnection(fresh);
    if (claimed) stale->ownerThread = kFreeOwner;
    return nullptr;
  }
  DeleteLCDVector(&entry->connections, stale);
  fresh->ownerThread = owner;
  if (exclusive) {
    CloseDBConnection(stale);
  } else {
    ReplacedConnections().push_back(stale);
  }
  LogDebug(" %s : Connection Established\n", fresh->name);
  return fresh;
}

}  // namespace

void InitConnectionLists() {
  InitVector(&gv_connParamsVect, nullptr);
  InitVector(&gv_connPoolVect, nullptr);
}

bool EstablishDBConnections() {
  if (gv_connParamsVect.head == nullptr) return false;
  std::lock_guard lock(PoolMutex());
  for (VectorNode* link = gv_connParamsVect.head; link != nullptr; link = link->next) {
    const auto* params = static_cast<const ConnParams*>(link->element);
    ConnPoolEntry* entry = NewPoolEntry();
    if (entry == nullptr) return false;
    DBConnection* connection = OpenDBConnection(params);
    if (connection == nullptr) {
      LogError("Cannot establish connection.\n");
      FreePoolEntry(entry);
      return false;
    }
    if (AddElementData(&entry->connections, connection) != kVtSuccess) {
      CloseDBConnection(connection);
      FreePoolEntry(entry);
      return false;
    }
    LogDebug(" %s : Connection Established\n", connection->name);
    if (!AddPoolEntry(entry, params)) {
      FreePoolEntry(entry);
      return false;
    }
  }
  return true;
}

bool EstablishDBConnectionPool(std::int32_t count) {
  if (gv_connParamsVect.head == nullptr) {
    LogError("There is no entry in data source vector\n");
    return false;
  }
  if (count == 0) count = kDefaultPoolSize;
  std::lock_guard lock(PoolMutex());
  for (VectorNode* link = gv_connParamsVect.head; link != nullptr; link = link->next) {
    const auto* params = static_cast<const ConnParams*>(link->element);
    ConnPoolEntry* entry = NewPoolEntry();
    if (entry == nullptr) return false;
    for (std::int32_t attempt = 0; attempt < count; ++attempt) {
      DBConnection* connection = OpenDBConnection(params);
      if (connection == nullptr) continue;
      if (AddElementData(&entry->connections, connection) != kVtSuccess) {
        CloseDBConnection(connection);
        continue;
      }
      LogDebug(" %d : %s : Connection Established\n", attempt, connection->name);
    }
    if (!AddPoolEntry(entry, params)) {
      FreePoolEntry(entry);
      return false;
    }
  }
  return true;
}

DBConnection* GetDBConnection(const char* connectionName) {
  std::lock_guard lock(PoolMutex());
  if (gv_connPoolVect.head == nullptr) return nullptr;
  std::uint32_t now = GetDBTime();
  ConnPoolEntry* entry = FindEntry(connectionName, false);
  if (entry == nullptr) return nullptr;
  std::int32_t me = OwnerIdFor(entry);
  bool claimed = false;
  DBConnection* candidate = FindByOwner(entry, me);
  if (candidate == nullptr) {
    candidate = FindByOwner(entry, kFreeOwner);
    if (candidate == nullptr) return nullptr;
    candidate->ownerThread = me;
    claimed = true;
  }
  // Unsigned arithmetic: a clock that went back counts as very old.
  if (now - candidate->openedAt <= kConnectionMaxAge) return candidate;
  // Re-opening in the middle of a transaction would drop its uncommitted work.
  if (InTransaction(candidate)) return candidate;
  bool exclusive = claimed && me != kSharedOwner;
  return ReplaceStaleConnection(entry, candidate, me, claimed, exclusive);
}

bool ReleaseDBConnection(const char* connectionName) {
  std::lock_guard lock(PoolMutex());
  if (gv_connPoolVect.head == nullptr) return false;
  ConnPoolEntry* entry = FindEntry(connectionName, true);
  if (entry == nullptr) return false;
  DBConnection* held = FindByOwner(entry, OwnerIdFor(entry));
  if (held == nullptr) return false;
  held->ownerThread = kFreeOwner;
  return true;
}

void CloseAllDBConnections() {
  std::lock_guard lock(PoolMutex());
  for (VectorNode* link = gv_connPoolVect.head; link != nullptr; link = link->next) FreePoolEntry(EntryAt(link));
  FreeVector(&gv_connPoolVect);
  for (DBConnection* connection : ReplacedConnections()) CloseDBConnection(connection);
  ReplacedConnections().clear();
}

bool CreateDB(const char* databaseName) {
  LogTrace("@@ Inside CreateDB @@\n");
  DBConnection* connection = GetDBConnection(nullptr);
  if (connection == nullptr) {
    LogError("Cannot create DB.  Connection not established.\n");
    return false;
  }
  std::string statement = std::string("create database ") + (databaseName != nullptr ? databaseName : "");
  std::int32_t created = ExecuteUpdate(connection, statement.c_str());
  ReleaseDBConnection(nullptr);
  if (created != 1) {
    LogError("Cannot create database %s.\n", databaseName != nullptr ? databaseName : "(null)");
    return false;
  }
  return true;
}
