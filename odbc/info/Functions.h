// SQLGetFunctions: which ODBC functions the driver supports, answered from
// a fixed table and the offers of the connection's login, without asking
// the server.
#ifndef VELORA_ODBC_INFO_FUNCTIONS_H
#define VELORA_ODBC_INFO_FUNCTIONS_H

#include <sql.h>

// Number of entries of the supported-functions table (ODBC 2.0 numbers).
constexpr SQLUSMALLINT kFunctionTableSize = 100;

class Connection;

// True when the driver reports function number fFunction as supported on
// connection c: SQLPrimaryKeys and SQLForeignKeys only where c's server
// offered them at login (never without a connection). Numbers outside the
// table (100 and above) are not supported.
bool FunctionSupported(SQLUSMALLINT fFunction, const Connection* c = nullptr);

// The worker of SQLGetFunctions. fFunction 0 (SQL_API_ALL_FUNCTIONS) fills
// the 100 entries of pfExists, entry i at position i; any other number
// stores its one flag in *pfExists. Nothing is written when pfExists is
// null. Writes the "Results" trace (category A, level 2). Always
// SQL_SUCCESS.
SQLRETURN GetFunctions(SQLUSMALLINT fFunction, SQLUSMALLINT* pfExists,
                       const Connection* c = nullptr);

#endif
