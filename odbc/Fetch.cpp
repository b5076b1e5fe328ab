// SQLBindCol and SQLFetch: one round trip per row, and only the columns
// that will be used travel with it.
#include "odbc/Fetch.h"

#include <sqlext.h>

#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "base/Check.h"
#include "handles/ColumnBinding.h"
#include "handles/Statement.h"
#include "protocol/Requests.h"

namespace {

// A column travels with the next row when it is bound or was read with
// SQLGetData on the current one.
bool Travels(const ColumnValue* value) {
  return value->binding != nullptr || (value->flags & 1) != 0;
}

}  // namespace

SQLRETURN BindColumn(Statement* stmt, SQLUSMALLINT icol, const TransferTarget& target) {
  if (icol == 0) return VEL_POST(stmt, SQL_ERROR, kDiagBookmarks);

  ColumnValue* value = stmt->Column(icol);
  ColumnBinding* existing = nullptr;
  if (value != nullptr && value->binding != nullptr) {
    existing = value->binding;
    VEL_CHECK_TEXT(existing->ColumnNumber() == icol, "bc->ColumnNumber() == colNo", VEL_MODULE);
  } else {
    existing = stmt->bindings.Find(icol);
  }
  if (existing != nullptr) {
    if (value != nullptr) value->binding = nullptr;
    stmt->bindings.Delete(existing);
  }

  if (target.rgbValue != nullptr) {
    ColumnBinding* binding = new (std::nothrow)
        ColumnBinding(icol, target.fCType, target.rgbValue, target.cbValueMax, target.pcbValue);
    if (binding == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
    stmt->bindings.Append(binding);
    if (value != nullptr) value->binding = binding;
  }
  return SQL_SUCCESS;
}

SQLRETURN FetchRow(Statement* stmt) {
  // A fetch ends any value SQLGetData was reading in pieces.
  stmt->getDataPosition.Reset();

  FetchRequest request;
  if (request.Failed()) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  request.SetStatementId(stmt->StatementId());

  uint16_t wanted = 0;
  for (ColumnValue* value = stmt->columns.First(); value != nullptr; value = stmt->columns.Next()) {
    delete value->data;
    value->data = nullptr;
    if (Travels(value)) ++wanted;
  }
  ColumnNumberVectorElement* vector = request.Get<ColumnNumberVectorElement>();
  // Like every other allocation failure of a fetch, a vector that cannot
  // be sized is reported as "S1001".
  if (!vector->SetCount(wanted)) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  uint16_t place = 0;
  uint16_t column = 1;
  for (ColumnValue* value = stmt->columns.First(); value != nullptr;
       value = stmt->columns.Next(), ++column) {
    if (Travels(value)) vector->SetAt(place++, column);
    value->flags &= static_cast<uint8_t>(~1u);
  }

  int status = 0;
  int rc = stmt->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return stmt->CheckResult(rc, status);

  SQLRETURN result = SQL_SUCCESS;
  FetchDataList* row = request.Get<FetchDataSetElement>()->List();
  if (row == nullptr) return SQL_SUCCESS;
  // Each value is taken off the reply as it is handled: an unbound one is
  // kept for SQLGetData as it arrived, so a row costs no copy of its
  // values and no allocation beyond the reply's own.
  for (FetchDataElement* element = row->Head(); element != nullptr; element = row->Head()) {
    row->Unlink(element);
    ColumnValue* value = stmt->Column(element->Column());
    if (value == nullptr || value->binding == nullptr) {
      if (value == nullptr) {
        delete element;
        return SQL_ERROR;  // a column the result set does not have
      }
      value->data = element;
      continue;
    }
    const ColumnBinding* b = value->binding;
    TransferTarget target{b->fCType, b->rgbValue, b->cbValueMax, b->pcbValue};
    SQLRETURN rc2 = TransferValue(stmt, value, element, target, element->Column(), nullptr);
    delete element;
    if (rc2 == SQL_ERROR) return SQL_ERROR;
    if (rc2 == SQL_SUCCESS_WITH_INFO) result = SQL_SUCCESS_WITH_INFO;
  }
  return result;
}
