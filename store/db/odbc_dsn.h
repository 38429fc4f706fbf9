// Creating ODBC data sources (DSNs) for the store: one from its values, or one per line
// of a data-source list file. A DSN goes to the user's ODBC configuration (~/.odbc.ini,
// or the file ODBCINI names). Nothing is handed out. The installer keeps a process-wide
// configuration mode: call these during setup, not from several threads at once.
#pragma once

// "DSN=..;DESCRIPTION=..;SERVER=..;UID=..;PWD=..;DATABASE=..;" with every value that is
// absent or "NULL" (any case) left out, as a new text the caller frees. Null without a
// DSN name or when out of memory.
char* BuildDSNAttributeString(const char* dsnName, const char* description, const char* server, const char* userId,
                              const char* password, const char* database);

// Creates (or replaces) the DSN with the installer; when the driver ships no setup
// library (none of the Debian drivers does), writes it through the installer's profile
// calls instead. False with "DriverName or DSN name is NULL \n" without a driver or DSN
// name, "SQLConfigDataSource returned FALSE \n" when neither way works.
bool CreateDSN(const char* dsnName, const char* description, const char* server, const char* userId,
               const char* password, const char* database, const char* driverName);

// One DSN per line: six whitespace-separated tokens (name, description, server, user id,
// password, database; "NULL" leaves a value out) and the driver name, the rest of the line
// without its leading blanks. A line that fails is logged ("Creating DSN %s Failed\n") and
// skipped. False with "Error opening File %s \n" when the file cannot be read.
bool CreateDSNsFromFile(const char* path);
