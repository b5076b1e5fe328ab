// One diagnostic record as the application reads it (SQLError).
#ifndef VELORA_HANDLES_ERRORRECORD_H
#define VELORA_HANDLES_ERRORRECORD_H

#include <sql.h>
#include <sqlext.h>

#include "handles/ErrorData.h"

// Builds "[QTX][Velora ODBC Client] text" (or "...Server] text"), with
// " (file, line)" when the detail switch is on. False when memory runs out.
bool BuildErrorMessage(const ErrorData& record, String* message);

// Writes record's SQLSTATE (cut to five characters), native code and
// "[QTX][Velora ODBC Client] text" (or "...Server]", with " (file, line)"
// when the detail switch is on) cut to cbErrorMsgMax, and deletes the
// record. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO when the message was cut, or
// SQL_ERROR when memory for the message ran out (the record is lost). A
// null record writes "00000", 0 and an empty message and gives
// SQL_NO_DATA_FOUND. Any output pointer may be null.
SQLRETURN ReturnErrorRecord(ErrorData* record, SQLCHAR* szSqlState, SQLINTEGER* pfNativeError,
                            SQLCHAR* szErrorMsg, SQLSMALLINT cbErrorMsgMax,
                            SQLSMALLINT* pcbErrorMsg);

#endif
