// Result-set description: adopting a reply's column descriptions and
// answering SQLNumResultCols, SQLDescribeCol and SQLColAttributes from them
// without asking the server.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "convert/ColumnValue.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "odbc/descriptors/ColumnAttributes.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/Workers.h"
#include "protocol/ResultSetDescription.h"
#include "protocol/SqlTypeCatalog.h"

namespace {

// Describing a column without a result set: ODBC 3 says the statement is
// not a query (07005), ODBC 2 that the cursor state is invalid.
int NoResultSet(Statement* s) {
  return FollowsOdbc3(*s) ? VEL_POST(s, SQL_ERROR, kDiagNotAQuery)
                          : VEL_POST(s, SQL_ERROR, kDiagNoResultSet);
}

}  // namespace

namespace {

int CopyText(Statement* s, const char* text, uint32_t length, SQLCHAR* buffer, long size) {
  if (CopyOutput(text, length, reinterpret_cast<char*>(buffer), size)) return SQL_SUCCESS;
  return VEL_POST(s, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
}

}  // namespace

int NumResultColsWorker(Statement* s, SQLSMALLINT* pccol) {
  if (pccol == nullptr) return VEL_POST(s, SQL_ERROR, kDiagNullPccol);
  *pccol = static_cast<SQLSMALLINT>(s->cursor.ColumnCount());
  return SQL_SUCCESS;
}

int DescribeColWorker(Statement* s, SQLUSMALLINT icol, SQLCHAR* name, SQLSMALLINT cbNameMax,
                      SQLSMALLINT* pcbName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                      SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable) {
  if (s->cursor.ColumnCount() == 0) return NoResultSet(s);
  ColumnValue* value = s->Column(icol);
  if (value == nullptr) return VEL_POST(s, SQL_ERROR, kDiagColumnOutOfRange);
  const ColumnDescription* d = value->description;
  if (pcbName) *pcbName = static_cast<SQLSMALLINT>(d->columnName.Length());
  if (pfSqlType) *pfSqlType = static_cast<SQLSMALLINT>(ReportedSqlType(*s, d->sqlDataType));
  if (pcbColDef) *pcbColDef = d->precision;
  if (pibScale) *pibScale = d->scale;
  if (pfNullable) *pfNullable = static_cast<SQLSMALLINT>(d->nullability);
  return CopyText(s, d->columnName.TextOrEmpty(), d->columnName.Length(), name, cbNameMax);
}

int ColAttributesWorker(Statement* s, SQLUSMALLINT icol, SQLUSMALLINT fDescType, SQLPOINTER rgbDesc,
                        SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc, SQLLEN* pfDesc) {
  if (s->cursor.ColumnCount() == 0) return NoResultSet(s);
  if (icol == 0) return VEL_POST(s, SQL_ERROR, kDiagBookmarks);
  const AttributeRow* row = FindAttribute(fDescType);
  if (row != nullptr && row->source == AttributeSource::kColumnCount) {
    if (pfDesc) *pfDesc = static_cast<SQLLEN>(s->cursor.ColumnCount());
    return SQL_SUCCESS;
  }
  ColumnValue* value = s->Column(icol);
  if (value == nullptr) return VEL_POST(s, SQL_ERROR, kDiagColumnOutOfRange);
  // ODBC 2 has nothing to say about other types; ODBC 3 refuses them.
  if (row == nullptr)
    return FollowsOdbc3(*s) ? VEL_POST(s, SQL_ERROR, kDiagDescriptorTypeOutOfRange) : SQL_SUCCESS;
  if (row->kind == AttributeKind::kString) {
    uint32_t length = 0;
    const char* text = ColumnAttributeText(*value, row->source, &length);
    if (pcbDesc) *pcbDesc = static_cast<SQLSMALLINT>(length);
    return CopyText(s, text, length, static_cast<SQLCHAR*>(rgbDesc), cbDescMax);
  }
  const SQLLEN answer = ColumnAttributeNumber(*s, *value, row->source);
  // The whole SQLLEN: the driver manager and its clients read 64 bits.
  if (pfDesc) *pfDesc = answer;
  return SQL_SUCCESS;
}
