// SQLGetData: one column of the current row, converted into the C type the
// application asks for; the value comes from the row when it travelled with
// it, else from the server with a get-data request.
#include "odbc/GetData.h"

#include <sqlext.h>

#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Statement.h"
#include "odbc/Transfer.h"
#include "protocol/Requests.h"

namespace {

// The C types SQLGetData refuses per column SQL type. A list ends at 0;
// "only" lists name the C types allowed, the others the C types refused.
struct ConversionRule {
  const int32_t* sqlTypes;
  bool only;
  const SQLSMALLINT* cTypes;
};

constexpr int32_t kNumberTypes[] = {SQL_BIT,     SQL_TINYINT,  SQL_BIGINT, SQL_NUMERIC,
                                    SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT,  SQL_REAL, 0};
constexpr int32_t kBinaryTypes[] = {SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY, 0};
constexpr int32_t kDateTypes[] = {SQL_DATE, 0};
constexpr int32_t kTimeTypes[] = {SQL_TIME, 0};
constexpr int32_t kTimestampTypes[] = {SQL_TIMESTAMP, 0};

constexpr SQLSMALLINT kDateTimeCTypes[] = {SQL_C_DATE, SQL_C_TIME, SQL_C_TIMESTAMP, 0};
constexpr SQLSMALLINT kBinaryCTypes[] = {SQL_C_CHAR, SQL_C_BINARY, SQL_C_DEFAULT, 0};
constexpr SQLSMALLINT kDateCTypes[] = {SQL_C_CHAR, SQL_C_BINARY, SQL_C_DATE, SQL_C_TIMESTAMP,
                                       SQL_C_DEFAULT, 0};
constexpr SQLSMALLINT kTimeCTypes[] = {SQL_C_CHAR, SQL_C_BINARY, SQL_C_TIME, SQL_C_TIMESTAMP,
                                       SQL_C_DEFAULT, 0};
constexpr SQLSMALLINT kTimestampCTypes[] = {SQL_C_CHAR, SQL_C_BINARY,    SQL_C_DATE, SQL_C_TIME,
                                            SQL_C_TIMESTAMP, SQL_C_DEFAULT, 0};

// The character types accept every C type and have no rule.
constexpr ConversionRule kRules[] = {
    {kNumberTypes, false, kDateTimeCTypes},
    {kBinaryTypes, true, kBinaryCTypes},
    {kDateTypes, true, kDateCTypes},
    {kTimeTypes, true, kTimeCTypes},
    {kTimestampTypes, true, kTimestampCTypes},
};

template <typename T>
bool Contains(const T* list, T value) {
  for (; *list != 0; ++list) {
    if (*list == value) return true;
  }
  return false;
}

}  // namespace

bool GetDataConversionAllowed(int32_t sqlType, SQLSMALLINT fCType) {
  // The ODBC 3 names of the date and time types, for callers that reach the
  // driver without a driver manager mapping them.
  if (fCType == SQL_C_TYPE_DATE) fCType = SQL_C_DATE;
  if (fCType == SQL_C_TYPE_TIME) fCType = SQL_C_TIME;
  if (fCType == SQL_C_TYPE_TIMESTAMP) fCType = SQL_C_TIMESTAMP;
  for (const ConversionRule& rule : kRules) {
    if (!Contains(rule.sqlTypes, sqlType)) continue;
    return Contains(rule.cTypes, fCType) == rule.only;
  }
  return true;
}

SQLRETURN GetData(Statement* stmt, SQLUSMALLINT icol, const TransferTarget& target) {
  if (icol == 0) return VEL_POST(stmt, SQL_ERROR, kDiagBookmarks);
  ColumnValue* value = stmt->Column(icol);
  if (value == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagColumnOutOfRange);
  if (!GetDataConversionAllowed(value->SqlType(), target.fCType)) {
    return VEL_POST(stmt, SQL_ERROR, kDiagInvalidConversionRequested);
  }
  // A C type the transfer has no conversion for is refused before the
  // server is asked, and the column does not start travelling with rows.
  if (!TransferConverts(value, target.fCType)) {
    return VEL_POST(stmt, SQL_ERROR, kDiagProgramTypeOutOfRange);
  }

  // A value under way that has been returned whole answers without asking
  // the server again.
  GetDataPosition* position = &stmt->getDataPosition;
  if (position->Covers(icol, target.fCType) && position->finished) {
    value->flags |= 1;
    return SQL_NO_DATA_FOUND;
  }

  if (value->data != nullptr) {
    value->flags |= 1;
    return TransferValue(stmt, value, value->data, target, icol, position);
  }

  // Not held: ask the server for this one value of the current row. A
  // value read whole is not kept (the column travels with the next row
  // instead); a value read in pieces is kept for its remaining pieces, so
  // that a long value crosses the network once, not once a piece.
  GetDataRequest request;
  if (request.Failed()) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  request.SetStatementId(stmt->StatementId());
  request.Get<ColumnNumberElement>()->value = static_cast<int16_t>(icol);
  int status = 0;
  int rc = stmt->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return stmt->CheckResult(rc, status);
  FetchDataElement* element = request.Get<FetchDataElement>();
  value->flags |= 1;
  SQLRETURN result = TransferValue(stmt, value, element, target, icol, position);
  if (position->Covers(icol, target.fCType) && !position->finished && position->offset > 0) {
    // Kept as it arrived, taken off the reply: the column value is still
    // loaded from it, so the next piece neither asks nor loads again.
    request.ReplyBody().Unlink(element);
    value->data = element;
    position->loadedFrom = element;
  }
  return result;
}
