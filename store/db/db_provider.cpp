#include "store/db/db_provider.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "agent/log_writer.h"
#include "store/db/conn_params.h"
#include "store/db/conn_pool.h"
#include "store/db/odbc_provider.h"
#include "store/util/alloc.h"

Vector gv_registeredProviders{};
const DBProvider* gv_loadedProviders[kProviderSlotCount] = {nullptr, nullptr};

namespace {

std::uint32_t WallClock() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

std::atomic<DBClock> gv_dbClock{&WallClock};

// The provider in the connection's slot, or null for an empty or invalid slot.
const DBProvider* ProviderOf(const DBConnection* connection) {
  std::int32_t slot = connection->providerIndex;
  if (slot < 0 || slot >= kProviderSlotCount) return nullptr;
  return gv_loadedProviders[slot];
}

// The slot of the loaded provider of that name, scanning until the first empty slot; -1.
std::int32_t LoadedSlotOf(const char* name) {
  if (name == nullptr) return -1;
  for (std::int32_t slot = 0; slot < kProviderSlotCount && gv_loadedProviders[slot] != nullptr; ++slot) {
    if (std::strcmp(gv_loadedProviders[slot]->name, name) == 0) return slot;
  }
  return -1;
}

const char* OrNull(const char* text) { return text != nullptr ? text : "(null)"; }

// The flag is read by the pool while another thread sharing the connection may change it.
void SetInTransaction(DBConnection* connection, std::uint8_t value) {
  std::atomic_ref<std::uint8_t>(connection->inTransaction).store(value);
}

std::uint8_t InTransaction(DBConnection* connection) {
  return std::atomic_ref<std::uint8_t>(connection->inTransaction).load();
}

}  // namespace

void SetDBClock(DBClock clock) { gv_dbClock.store(clock != nullptr ? clock : &WallClock); }

std::uint32_t GetDBTime() { return gv_dbClock.load()(); }

bool InitDBProvider() {
  if (gv_loadedProviders[0] != nullptr) {
    LogError("InitDBProvider Failed as already initialized\n");
    return false;
  }
  for (auto& slot : gv_loadedProviders) slot = nullptr;
  RegisterODBCProvider();
  LoadDBProvider("ODBC");
  LoadDBProvider("SQLITE");
  InitConnectionLists();
  return true;
}

bool LoadDBProvider(const char* name) {
  for (auto& slot : gv_loadedProviders) {
    if (slot != nullptr) continue;
    slot = FindRegisteredProvider(name);
    return slot != nullptr;
  }
  return false;
}

bool UnloadDBProvider(const char* name) {
  if (name == nullptr) return false;
  for (auto& slot : gv_loadedProviders) {
    if (slot != nullptr && std::strcmp(slot->name, name) == 0) {
      slot = nullptr;
      return true;
    }
  }
  return false;
}

bool LoadDBProviderFromConnParams() {
  if (gv_connParamsVect.head == nullptr) {
    LogError("Cannot Load DB provider.\n");
    return false;
  }
  const char* name = static_cast<ConnParams*>(gv_connParamsVect.head->element)->dbType;
  if (!LoadDBProvider(name)) {
    LogError("Cannot Load %s provider.\n", OrNull(name));
    return false;
  }
  return true;
}

bool RegisterDBProvider(const DBProvider* provider) {
  if (provider == nullptr) return false;
  return AddElementData(&gv_registeredProviders, const_cast<DBProvider*>(provider)) == kVtSuccess;
}

const DBProvider* FindRegisteredProvider(const char* name) {
  if (name == nullptr) return nullptr;
  for (VectorNode* link = gv_registeredProviders.head; link != nullptr; link = link->next) {
    const auto* provider = static_cast<const DBProvider*>(link->element);
    if (provider->name != nullptr && std::strcmp(provider->name, name) == 0) return provider;
  }
  return nullptr;
}

void ClearRegisteredProviders() { FreeVector(&gv_registeredProviders); }

void InitRegisteredProviders() { InitVector(&gv_registeredProviders, nullptr); }

DBConnection* OpenDBConnection(const ConnParams* params) {
  LogTrace("## Inside OpenDBConnection ##\n");
  if (params == nullptr) return nullptr;
  std::int32_t slot = LoadedSlotOf(params->providerName);
  if (slot < 0) return nullptr;
  DBConnection* connection = gv_loadedProviders[slot]->OpenConnection(params);
  if (connection == nullptr) return nullptr;
  connection->providerIndex = slot;
  connection->ownerThread = -1;
  connection->inTransaction = 0;
  connection->openedAt = GetDBTime();
  return connection;
}

bool CloseDBConnection(DBConnection* connection) {
  if (connection == nullptr) return false;
  const DBProvider* provider = ProviderOf(connection);
  if (provider == nullptr) return false;
  provider->CloseConnection(connection);
  std::free(connection->name);
  std::free(connection);
  return true;
}

std::int32_t ExecuteUpdate(DBConnection* connection, const char* statement) {
  if (connection == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteUpdate for Query %s \n", OrNull(statement));
    return 0;
  }
  if (statement == nullptr) {
    LogError(" No Query To be Updated \n");
    return 0;
  }
  const DBProvider* provider = ProviderOf(connection);
  return provider != nullptr ? provider->ExecuteUpdate(connection, statement) : 0;
}

std::int32_t ExecuteUpdateBlob(DBConnection* connection, const char* statement, BlobSupplier supplier,
                               void* userData) {
  if (connection == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteUpdateBlob for Query %s \n", OrNull(statement));
    return 0;
  }
  if (statement == nullptr) {
    LogError(" No Query To be Updated \n");
    return 0;
  }
  const DBProvider* provider = ProviderOf(connection);
  return provider != nullptr ? provider->ExecuteUpdateBlob(connection, statement, supplier, userData) : 0;
}

ResultSet* ExecuteQuery(DBConnection* connection, const char* statement) {
  if (connection == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteQuery for Query %s \n", OrNull(statement));
    return nullptr;
  }
  if (statement == nullptr) {
    LogError(" No Query To be Executed \n");
    return nullptr;
  }
  const DBProvider* provider = ProviderOf(connection);
  return provider != nullptr ? provider->ExecuteQuery(connection, statement) : nullptr;
}

ResultSet* ExecuteQueryBlob(DBConnection* connection, const char* statement, BlobConsumer consumer,
                            void* userData) {
  if (connection == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteQueryBlob for Query %s \n", OrNull(statement));
    return nullptr;
  }
  if (statement == nullptr) {
    LogError(" No Query To be Executed \n");
    return nullptr;
  }
  const DBProvider* provider = ProviderOf(connection);
  return provider != nullptr ? provider->ExecuteQueryBlob(connection, statement, consumer, userData) : nullptr;
}

std::int32_t ExecuteUpdateRowCount(DBConnection* connection, const char* statement, std::int64_t* rowCount) {
  std::int64_t ignored = -1;
  if (rowCount == nullptr) rowCount = &ignored;
  *rowCount = -1;
  if (connection == nullptr) {
    LogError("ConnectionHandle NULL in ExecuteUpdate for Query %s \n", OrNull(statement));
    return 0;
  }
  if (statement == nullptr) {
    LogError(" No Query To be Updated \n");
    return 0;
  }
  const DBProvider* provider = ProviderOf(connection);
  if (provider == nullptr || provider->ExecuteUpdateCount == nullptr) return 0;
  std::int32_t result = provider->ExecuteUpdateCount(connection, statement, rowCount);
  if (result != 1) *rowCount = -1;
  return result;
}

bool BeginTransaction(DBConnection* connection) {
  if (connection == nullptr) return false;
  const DBProvider* provider = ProviderOf(connection);
  if (provider == nullptr) return false;
  bool begun = provider->BeginTransaction(connection);
  if (begun) SetInTransaction(connection, 1);
  return begun;
}

bool CommitTransaction(DBConnection* connection) {
  if (connection == nullptr || InTransaction(connection) != 1) return false;
  const DBProvider* provider = ProviderOf(connection);
  if (provider == nullptr) return false;
  bool committed = provider->CommitTransaction(connection);
  SetInTransaction(connection, 0);
  return committed;
}

bool RollbackTransaction(DBConnection* connection) {
  if (connection == nullptr || InTransaction(connection) != 1) return false;
  const DBProvider* provider = ProviderOf(connection);
  if (provider == nullptr) return false;
  bool rolledBack = provider->RollbackTransaction(connection);
  SetInTransaction(connection, 0);
  return rolledBack;
}
