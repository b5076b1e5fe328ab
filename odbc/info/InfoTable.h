// What SQLGetInfo answers for each information type, as data: the kind of
// the answer, its fixed value or the connection value it comes from, and
// the trace line of the types whose line is not "    NAME=value".
#ifndef VELORA_ODBC_INFO_INFOTABLE_H
#define VELORA_ODBC_INFO_INFOTABLE_H

#include <cstdint>

enum class InfoKind : uint8_t {
  kShort,   // 16-bit number
  kLong,    // 32-bit number
  kText,    // string
  kHandle,  // a handle, as wide as a pointer
};

// Where an answer comes from when it is not the row's fixed value.
enum class InfoSource : uint8_t {
  kFixed,
  kDataSourceName,
  kConnectionHandle,
  kEnvironmentHandle,
  kStatementHandle,  // answered before the table (see GetInfoWorker)
  kOdbcVersion,      // no answer of its own
  kServerName,
  kDatabaseName,
  kDbmsVersion,
  kUserName,
  kModuleHandle,
  kQuoteChar,         // the server's (its session-info offer)
  kReadOnly,          // "Y" for a read-only session
  kIsolationOptions,  // the levels the server runs
  kDefaultIsolation,  // the one a session starts at
  kIdentifierCase,    // how the server keeps unquoted names
  kQuotedCase,        // and quoted ones
  kNullCollation,     // where the server sorts NULLs
  kConvertFunction,   // SQL_CONVERT_<type>: number holds the type's code
  // With a server that gives the results of a text one after the other
  // (protocol/RESULTS.md): number, or "Y"; without, 0 or "N".
  kResults,
  kArraySelects,  // SQL_PAS_BATCH with such a server, else SQL_PAS_NO_SELECT
  // number holds a read-only cursor's answer; cursors that write back
  // (Connection::EditsRows) add their operations and concurrencies.
  kEditing,
  // "Y" in the 3.x library when the server said its storage runs
  // procedures (through {call ...}); else "N".
  kProcedures,
};

struct InfoRow {
  uint16_t type;
  const char* name;  // the ODBC name without "SQL_", for the trace
  InfoKind kind;
  InfoSource source;
  uint32_t number;    // fixed numeric answer
  const char* text;   // fixed string answer
  const char* trace;  // the exact trace line, or null for the usual one
};

// The row of an information type, or null when the driver does not know it.
const InfoRow* FindInfoRow(uint16_t type);
// The row a library answers a type from: the ODBC 3.x library's own rows
// first, then the common ones; the ODBC 2.0 library's the other way round,
// so that it answers the ODBC 3 types as well (applications ask them of
// every driver) but its own ones as it always has.
const InfoRow* FindAnyInfoRow(uint16_t type, bool odbc3);
// The ODBC 3.x library's rows (odbc/info/InfoTable3.cpp): its own answers where
// they differ and the ODBC 3 types; null for the others.
const InfoRow* FindInfoRow3(uint16_t type);

#endif
