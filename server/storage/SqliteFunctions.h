// The scalar functions of ODBC's escapes that SQLite lacks, made SQLite
// functions of each session's connection (server/session/Escapes.cpp
// names them in its translations).
#ifndef VELORA_SERVER_STORAGE_SQLITEFUNCTIONS_H
#define VELORA_SERVER_STORAGE_SQLITEFUNCTIONS_H

struct sqlite3;

namespace velsrv {

// Registers locate, repeat, space, soundex, difference, dayname,
// monthname, truncate and rand on db, and the mathematical functions when
// this SQLite was built without its own. False when SQLite refuses one.
bool RegisterSqliteFunctions(sqlite3* db);

// sqlite3_libversion_number() of the SQLite the server runs on.
int SqliteLibraryVersion();

}  // namespace velsrv

#endif
