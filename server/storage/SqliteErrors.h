// SQLSTATEs for SQLite's result codes.
#ifndef VELORA_SERVER_STORAGE_SQLITEERRORS_H
#define VELORA_SERVER_STORAGE_SQLITEERRORS_H

#include <string>

#include "server/storage/Storage.h"

namespace velsrv {

// The ODBC 2.0 SQLSTATE for an SQLite extended result code and its message
// text; the message refines the generic SQLITE_ERROR.
const char* SqliteSqlState(int extendedCode, const std::string& message);

// A Status carrying the code (cut to 16 bits) and the message.
Status SqliteStatus(int extendedCode, const std::string& message);

}  // namespace velsrv

#endif
