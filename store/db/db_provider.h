// Database providers and the generic statement entry points: the registered providers,
// the two slots of loaded providers, opening and closing connection records, and running
// statements and transactions through the provider a connection belongs to.
// Connections, result sets and texts handed out are the caller's (CloseDBConnection,
// FreeResultSet, free). Providers are filled in at start-up and only read afterwards;
// from then on every statement and transaction entry point is safe from several threads.
#pragma once

#include <cstdint>

#include "store/util/vector.h"

struct ConnParams;
struct ResultSet;

// Hands the next piece of a blob to upload: *data and *length describe it. Returning
// kBlobNoMoreData (2) ends the upload; the piece pointers are then not read.
using BlobSupplier = std::uint8_t (*)(void** data, std::int32_t* length, void* userData);
inline constexpr std::uint8_t kBlobNoMoreData = 2;
// Receives one piece of a downloaded blob; called a last time with null and 0 per value.
using BlobConsumer = void (*)(const void* data, std::int32_t length, void* userData);

// One open connection. `handle` belongs to the provider that opened it.
struct DBConnection {
  void* handle;
  char* name;                  // owned: the connection name of its data source
  std::int32_t providerIndex;  // slot in gv_loadedProviders
  std::int32_t ownerThread;    // -1 free; 1 in a one-connection data source; else a thread id
  std::uint8_t inTransaction;  // 1 between a successful begin and the commit or rollback
  std::uint32_t openedAt;      // seconds since 1970-01-01 UTC (GetDBTime)
};

// A provider: a constant table of operations. Results: 1/0 for the updates, null for a
// failed query, false for a failed open/close/transaction step.
struct DBProvider {
  const char* name;
  DBConnection* (*OpenConnection)(const ConnParams* params);
  std::int32_t (*ExecuteUpdate)(DBConnection* connection, const char* statement);
  ResultSet* (*ExecuteQuery)(DBConnection* connection, const char* statement);
  bool (*CloseConnection)(DBConnection* connection);
  bool (*BeginTransaction)(DBConnection* connection);
  bool (*CommitTransaction)(DBConnection* connection);
  bool (*RollbackTransaction)(DBConnection* connection);
  std::int32_t (*ExecuteUpdateBlob)(DBConnection* connection, const char* statement, BlobSupplier supplier,
                                    void* userData);
  ResultSet* (*ExecuteQueryBlob)(DBConnection* connection, const char* statement, BlobConsumer consumer,
                                 void* userData);
  // As ExecuteUpdate, and stores the number of rows the statement changed (-1 when the
  // driver cannot tell). Lets callers reserve rows with a conditional update.
  std::int32_t (*ExecuteUpdateCount)(DBConnection* connection, const char* statement, std::int64_t* rowCount);
};

inline constexpr std::int32_t kProviderSlotCount = 2;

// Providers that can be loaded by name (DBProvider*, not owned).
extern Vector gv_registeredProviders;
// The loaded providers; a connection names its provider by slot.
extern const DBProvider* gv_loadedProviders[kProviderSlotCount];

// Registers the ODBC provider and loads "ODBC" (and "SQLITE", which is not registered, so
// its slot stays empty), then empties the parameter and pool lists. False, with
// "InitDBProvider Failed as already initialized\n", when slot 0 is already filled.
bool InitDBProvider();
// Loads the registered provider of that name into the first empty slot. False when both
// slots are filled or no registered provider has that name (the slot then stays empty).
bool LoadDBProvider(const char* name);
// Empties the first slot holding a provider of that name; false when there is none.
bool UnloadDBProvider(const char* name);
// Loads the provider named by the dbType of the first data source. False with
// "Cannot Load DB provider.\n" when there is none, "Cannot Load %s provider.\n" on failure.
bool LoadDBProviderFromConnParams();
// Appends to gv_registeredProviders (not copied). False for null or when out of memory.
bool RegisterDBProvider(const DBProvider* provider);
// The first registered provider of exactly that name, or null (also for a null name).
const DBProvider* FindRegisteredProvider(const char* name);
void ClearRegisteredProviders();
void InitRegisteredProviders();

// Opens a connection with the loaded provider named by the parameters' providerName and
// completes it (slot, free, no transaction, opened now). Null when no loaded provider has
// that name or the provider cannot open it.
DBConnection* OpenDBConnection(const ConnParams* params);
// Closes the provider handle and frees the record. False, with nothing freed, when the
// connection's provider slot is empty or the connection is null.
bool CloseDBConnection(DBConnection* connection);

// Statements. A null connection or statement is logged and fails; an empty provider slot
// fails without a message; otherwise the provider's result.
std::int32_t ExecuteUpdate(DBConnection* connection, const char* statement);
std::int32_t ExecuteUpdateBlob(DBConnection* connection, const char* statement, BlobSupplier supplier,
                               void* userData);
ResultSet* ExecuteQuery(DBConnection* connection, const char* statement);
ResultSet* ExecuteQueryBlob(DBConnection* connection, const char* statement, BlobConsumer consumer,
                            void* userData);
// As ExecuteUpdate, and *rowCount receives the number of changed rows (-1 when unknown).
// *rowCount is -1 whenever the result is 0.
std::int32_t ExecuteUpdateRowCount(DBConnection* connection, const char* statement, std::int64_t* rowCount);

// Transactions. Begin marks the connection on success; commit and rollback need a marked
// connection (false without calling the provider otherwise) and clear the mark whatever
// the provider's result.
bool BeginTransaction(DBConnection* connection);
bool CommitTransaction(DBConnection* connection);
bool RollbackTransaction(DBConnection* connection);

// The clock of connection ages, in whole seconds since 1970-01-01 UTC. A test can put
// another clock in place; null restores the wall clock. Set it while no other thread
// opens or hands out connections.
using DBClock = std::uint32_t (*)();
void SetDBClock(DBClock clock);
std::uint32_t GetDBTime();
