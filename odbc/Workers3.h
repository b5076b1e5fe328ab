// The workers behind the exports of the ODBC 3.x library (odbc3/): handles
// by type, environment attributes and diagnostic records read in place.
// Texts are UTF-8 here; the exports convert the wide forms at the edge.
#ifndef VELORA_ODBC_WORKERS3_H
#define VELORA_ODBC_WORKERS3_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "base/String.h"

class Connection;
class Environment;
class ErrorList;
class Statement;

// Environment attributes (odbc/EnvAttributes.cpp). SQL_ATTR_ODBC_VERSION
// takes SQL_OV_ODBC2, SQL_OV_ODBC3 and SQL_OV_ODBC3_80, and only while the
// environment has no connection ("S1010" otherwise); the other attributes
// are answered as ODBC's defaults and keep them ("S1C00" for another value).
int SetEnvAttrWorker(Environment* env, SQLINTEGER attribute, SQLPOINTER value);
int GetEnvAttrWorker(Environment* env, SQLINTEGER attribute, SQLPOINTER value);

// The records a diagnostic call reads: a handle's list and what its fields
// name. env decides the SQLSTATE form (its declared version); conn is null
// for an environment's records, stmt for all but a statement's.
struct DiagTarget {
  ErrorList* errors = nullptr;
  Environment* env = nullptr;
  Connection* conn = nullptr;
  Statement* stmt = nullptr;
};

// One record as SQLGetDiagRec reads it (odbc/diagnostics/Diagnostics.cpp), without
// taking it off the list: record 1 is the newest, the one SQLError hands
// out first. SQL_NO_DATA past the last record, SQL_ERROR for a number
// below 1 or when memory for the message runs out.
int DiagRecordWorker(const DiagTarget& t, SQLSMALLINT record, char state[6], SQLINTEGER* native,
                     String* message);

// One answer of a diagnostic field or an attribute: a text, or a number of
// size bytes (sizeof(SQLINTEGER), sizeof(SQLLEN) or sizeof(SQLRETURN)).
struct FieldValue {
  String text;
  bool isText = false;
  SQLLEN number = 0;
  int size = 0;
};
// SQL_ERROR for an unknown field or a record number below 1 with a record
// field, SQL_NO_DATA past the last record; nothing is posted.
int DiagFieldWorker(const DiagTarget& t, SQLSMALLINT record, SQLSMALLINT field, FieldValue* out);

// Connection and statement attributes (odbc/options/Attributes.cpp). The ODBC 2.0
// options keep their numbers and are served by the option workers
// (text values, SQL_ATTR_CURRENT_CATALOG, are copied to end in a NUL);
// the ODBC 3 attributes the driver has only its defaults for accept those
// and refuse another value ("S1C00"); any other attribute, and setting a
// read-only one, is "S1092". A get answers in *out.
// The connection attributes whose values are texts.
bool TextAttribute(SQLINTEGER attribute);
int SetConnectAttrWorker(Connection* c, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
int GetConnectAttrWorker(Connection* c, SQLINTEGER attribute, FieldValue* out);
int SetStmtAttrWorker(Statement* s, SQLINTEGER attribute, SQLPOINTER value);
int GetStmtAttrWorker(Statement* s, SQLINTEGER attribute, FieldValue* out);

// SQLCloseCursor: "24000" without a result set, else the cursor is closed
// as SQLFreeStmt(SQL_CLOSE) closes it (odbc/options/Attributes.cpp).
int CloseCursorWorker(Statement* s);
// SQLFetchScroll: FetchScrollWorker (odbc/fetch/Fetch.h).
// SQLColAttribute: the ODBC 3 descriptor fields answered as the SQL_COLUMN
// ones of SQLColAttributes they stand for (SQL_DESC_NAME as
// SQL_COLUMN_NAME, ...); a field neither knows is "S1091".
int ColAttributeWorker(Statement* s, SQLUSMALLINT icol, SQLUSMALLINT field, SQLPOINTER text,
                       SQLSMALLINT textMax, SQLSMALLINT* textLength, SQLLEN* number);
// True when field's answer is a text.
bool ColAttributeIsText(SQLUSMALLINT field);

#endif
