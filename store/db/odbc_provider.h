// The ODBC provider "ODBC" on unixODBC: connections, statements, queries into result sets,
// blob streaming both ways and transactions. All connections share one ODBC environment,
// made by the first open and freed after the last close. Result sets, records and values
// handed out are the caller's. ODBCExecuteUpdate and ODBCExecuteQuery serialise statements
// on one connection with the object lock keyed by the record; callers sharing a connection
// serialise the blob and transaction operations themselves.
#pragma once

#include <cstdint>

#include "store/db/db_provider.h"

struct ConnParams;
struct ResultSet;

// Adds the "ODBC" provider to the registered providers (once).
void RegisterODBCProvider();

// Opens a connection: `connectString` when useConnectString is 1, otherwise
// "DSN=<dsn>;UID=<user>;PWD=<password>;Driver={<provider>}" with absent values left out
// (their ";" stays). Null, with a message and the driver's diagnostics, on failure.
DBConnection* ODBCOpenConnection(const ConnParams* params);
// The connection string ODBCOpenConnection uses, as a new text the caller frees; null
// without parameters or DSN name, or when out of memory.
char* BuildODBCConnectionString(const ConnParams* params);
// Disconnects (rolling back an open transaction first) and frees the provider handle;
// the record itself stays the caller's.
bool ODBCCloseConnection(DBConnection* connection);

// Runs a statement that returns no rows: 1, also when it changes no row; 0 on failure.
std::int32_t ODBCExecuteUpdate(DBConnection* connection, const char* statement);
// As ODBCExecuteUpdate, storing the number of changed rows (-1 when the driver cannot tell).
std::int32_t ODBCExecuteUpdateCount(DBConnection* connection, const char* statement, std::int64_t* rowCount);
// Runs a query and returns all its rows; null on any failure (nothing partial).
ResultSet* ODBCExecuteQuery(DBConnection* connection, const char* statement);
// Runs a statement with one parameter marker, which receives the bytes pulled from the
// supplier. 1 or 0.
std::int32_t ODBCExecuteUpdateBlob(DBConnection* connection, const char* statement, BlobSupplier supplier,
                                   void* userData);
// As ODBCExecuteQuery, but long and binary columns (type code 20) are pushed to the
// consumer in pieces of at most 1024 bytes, each value closed by a (null, 0) call, and
// are absent from the rows.
ResultSet* ODBCExecuteQueryBlob(DBConnection* connection, const char* statement, BlobConsumer consumer,
                                void* userData);

bool ODBCBeginTransaction(DBConnection* connection);
bool ODBCCommitTransaction(DBConnection* connection);
bool ODBCRollbackTransaction(DBConnection* connection);

// A QelDateTime from a driver's date (16), time (17) or date-time (18) text, holding only
// the parts its type has; *length becomes 11. Parts the text lacks are 0. Null for
// another type, a null text or when out of memory. Free it with FreeQelDateTime.
void* ConvertDBDateTime(const char* text, std::int32_t* length, std::uint8_t type);
