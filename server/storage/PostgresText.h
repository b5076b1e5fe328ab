// Statement texts and errors for the PostgreSQL engine: the first
// statement of a text with its "?" markers numbered, and PostgreSQL's
// SQLSTATEs mapped onto ODBC 2.0's.
#ifndef VELORA_SERVER_STORAGE_POSTGRESTEXT_H
#define VELORA_SERVER_STORAGE_POSTGRESTEXT_H

#include <string>

namespace velsrv {

// Copies the first statement of sql into *statement with each "?" marker
// outside quotes, comments and dollar-quoted text written as $1, $2, ...;
// *rest receives the text after its terminating semicolon (or nothing),
// *markers the number of markers. Returns false with *error set for
// unterminated quotes or comments.
bool FirstPostgresStatement(const std::string& sql, std::string* statement, std::string* rest,
                            int* markers, std::string* error);

// A plain INSERT of one row, "INSERT INTO table [(columns)] VALUES (row)"
// with every marker inside the row and nothing after it (no comment, no
// dollar quote): *table receives the table's name as written, *head the
// text up to the row, *row the row with its parentheses. False for any
// other statement.
bool SplitInsertValues(const std::string& statement, std::string* table, std::string* head,
                       std::string* row);

// The row with each marker $k written $(k + offset).
std::string ShiftMarkers(const std::string& row, int offset);

// The ODBC 2.0 SQLSTATE for a PostgreSQL SQLSTATE and its message.
const char* PostgresSqlState(const std::string& state, const std::string& message);

// A PostgreSQL location ("postgresql://..." or "postgres://...") with the
// password and the user's name left out, for logs.
std::string RedactedLocation(const std::string& location);

}  // namespace velsrv

#endif
