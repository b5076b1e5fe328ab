// The answers that differ between an application that declared ODBC 3
// (SQLSetEnvAttr's SQL_ATTR_ODBC_VERSION) and an ODBC 2 one, as a
// statement's calls give them. The wire is the same for both.
#ifndef VELORA_HANDLES_ODBC3RULES_H
#define VELORA_HANDLES_ODBC3RULES_H

#include <cstdint>

class Statement;

// True when s's environment declared ODBC 3 or later.
bool FollowsOdbc3(const Statement& s);

// The SQL type code s's application sees for code: SQL_TYPE_DATE, TIME and
// TIMESTAMP under ODBC 3 rules for the date and time codes.
int32_t ReportedSqlType(const Statement& s, int32_t code);

#endif
