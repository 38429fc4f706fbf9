// The connection pool: for every data source (ConnParams) a list of open connections,
// handed out by thread id and taken back by connection name, and re-opened when they
// are handed out more than 27900 seconds after they were opened.
// The pool owns every connection and entry; callers borrow a connection between
// GetDBConnection and ReleaseDBConnection. Handing out and taking back are safe from
// several threads (one pool lock); building and closing the pool are not.
#pragma once

#include <cstdint>

#include "store/db/db_provider.h"
#include "store/util/vector.h"

struct ConnPoolEntry {
  char* connectionName;  // owned
  Vector connections;    // DBConnection*, owned
};

// One entry per data source, in file order (ConnPoolEntry*, owned).
extern Vector gv_connPoolVect;

// Seconds after its opening beyond which a connection is re-opened when handed out.
inline constexpr std::uint32_t kConnectionMaxAge = 27900;

// Empties the parameter and pool lists (without freeing anything).
void InitConnectionLists();
// One connection per data source, in file order. False with no data source; false with
// "Cannot establish connection.\n" at the first that cannot be opened (the entries built
// before it stay in the pool).
bool EstablishDBConnections();
// `count` connections per data source (0 means 5); connections that cannot be opened are
// skipped. False with "There is no entry in data source vector\n" when there is none.
bool EstablishDBConnectionPool(std::int32_t count);
// A connection of the named data source (null name: the only one) for the calling thread:
// the one it already holds, else a free one, which it then holds. In a data source with
// one connection all threads share it. Null at once when every connection is held by
// other threads, or when an old connection cannot be re-opened.
DBConnection* GetDBConnection(const char* connectionName);
// Frees the calling thread's connection of the named data source (null name: the first).
// False when the pool is empty, the name is unknown or the thread holds none.
bool ReleaseDBConnection(const char* connectionName);
// Closes every pooled (and every replaced) connection and empties the pool. Run it while
// no other thread uses a connection.
void CloseAllDBConnections();

// Runs "create database <name>" on the only data source. False with
// "Cannot create DB.  Connection not established.\n" without a connection, with
// "Cannot create database %s.\n" when the database refuses it.
bool CreateDB(const char* databaseName);
