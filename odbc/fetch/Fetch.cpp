// SQLBindCol and SQLFetch: one round trip per row, and only the columns
// that will be used travel with it; or rows from a block (odbc/fetch/BlockFetch).
#include "base/Unaligned.h"
#include "odbc/fetch/Fetch.h"

#include "odbc/fetch/BlockFetch.h"
#include "odbc/fetch/ScrollFetch.h"

#include <sqlext.h>

#include <cstring>

#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "base/Check.h"
#include "handles/ColumnBinding.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "base/Trace.h"
#include "protocol/Requests.h"
#include "protocol/WireCodec.h"

namespace {

// A column travels with the next row when it is bound or was read with
// SQLGetData on the current one.
bool Travels(const ColumnValue* value) {
  return value->binding != nullptr || value->HasMark(ColumnValue::kReadByGetData);
}

}  // namespace

// Where row number row of a rowset goes: column-wise each column is an
// array of values and one of lengths; row-wise every address moves on by
// the size of the application's row structure. The bind offset moves
// every address of every row.
TransferTarget RowTarget(const ColumnBinding& b, uint32_t row, const RowShape& shape) {
  TransferTarget target{b.fCType, b.rgbValue, b.cbValueMax, b.pcbValue, b.indicator};
  if (row == 0 && shape.offset == 0) return target;
  ColumnBinding::Stride& stride = b.stride;
  if (stride.cType != b.fCType || stride.valueMax != b.cbValueMax)
    stride = {b.fCType, b.cbValueMax, ValueStride(b.fCType, b.cbValueMax)};
  target.rgbValue = ArrayElement(static_cast<char*>(target.rgbValue), row, shape.bindType,
                                 stride.bytes, shape.offset);
  target.pcbValue = ArrayElement(target.pcbValue, row, shape.bindType,
                                 static_cast<SQLLEN>(sizeof(SQLLEN)), shape.offset);
  target.indicator = ArrayElement(target.indicator, row, shape.bindType,
                                  static_cast<SQLLEN>(sizeof(SQLLEN)), shape.offset);
  return target;
}

SQLRETURN BindColumn(Statement* stmt, SQLUSMALLINT icol, const TransferTarget& target) {
  // Column 0 is the bookmark, with SQL_USE_BOOKMARKS on; without
  // bookmarks it is no column to an ODBC 3 application.
  if (icol == 0 && stmt->options.Get(OptionSlot::kUseBookmarks) == SQL_UB_OFF) {
    return FollowsOdbc3(*stmt) ? VEL_POST(stmt, SQL_ERROR, kDiagBookmarkColumn)
                               : VEL_POST(stmt, SQL_ERROR, kDiagBookmarks);
  }
  ColumnBinding* binding = nullptr;
  if (target.rgbValue != nullptr) {
    // ODBC 3 checks the C type and the length here; the 2.0 library leaves
    // them to the transfer, as it always has (the driver manager checks
    // them for ODBC 2 applications). The pointers are used at fetch time.
    if (FollowsOdbc3(*stmt) && target.fCType != SQL_C_DEFAULT &&
        PlanConversion(0, target.fCType, false).check == Conversion::kUnknownCType) {
      return VEL_POST(stmt, SQL_ERROR, kDiagProgramTypeOutOfRange);
    }
    if (FollowsOdbc3(*stmt) && target.cbValueMax < 0)
      return VEL_POST(stmt, SQL_ERROR, kDiagInvalidLength);
    binding = new (std::nothrow)
        ColumnBinding(icol, target.fCType, target.rgbValue, target.cbValueMax, target.pcbValue);
    if (binding == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  }
  stmt->BindColumn(icol, binding);
  return SQL_SUCCESS;
}

namespace {

// Hands one row's values to their columns: each is taken off the list as
// it is handled; a bound one is converted into the application's buffer
// at once, an unbound one is kept for SQLGetData as it arrived, so a row
// costs no copy of its values and no allocation beyond the reply's own.
SQLRETURN DeliverRow(Statement* stmt, FetchDataList* values, uint32_t row, const RowShape& shape) {
  SQLRETURN result = SQL_SUCCESS;
  if (values == nullptr) return SQL_SUCCESS;
  for (FetchDataElement* element = values->Head(); element != nullptr; element = values->Head()) {
    values->Unlink(element);
    ColumnValue* value = stmt->Column(element->Column());
    // A column the result set lacks, or one named twice, makes the reply
    // malformed: nothing of it is to be trusted.
    if (value == nullptr || value->HasMark(ColumnValue::kArrived)) {
      delete element;
      return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
    }
    value->SetMark(ColumnValue::kArrived);
    if (value->binding == nullptr) {
      value->data = element;
      continue;
    }
    const TransferTarget target = RowTarget(*value->binding, row, shape);
    SQLRETURN rc = TransferBound(stmt, value, InPlace(element), target);
    delete element;
    if (rc == SQL_ERROR) return SQL_ERROR;
    if (rc == SQL_SUCCESS_WITH_INFO) result = SQL_SUCCESS_WITH_INFO;
  }
  return result;
}

// Hands a row from a block to its columns, read where it lies in the
// block: a bound value goes from the block's bytes into the application's
// buffer with no copy; a value kept for SQLGetData (or traced) is decoded
// into an element from spares first. The row's bytes were checked whole
// when the block arrived; a column the result set lacks, or one named
// twice, makes the reply malformed.
//
// The values of a row that another row of the same block follows in the
// rowset (quick) are never read by SQLGetData: those of the common pairs
// go into the arrays without being loaded (TransferQuick), a pass over the
// row with one test per value; the rowset's last row goes the whole way.
SQLRETURN DeliverBlockRow(Statement* stmt, const uint8_t* bytes, uint32_t length, uint32_t row,
                          const RowShape& shape, FetchDataSetElement* spares, bool quick) {
  // Decoding only reads through the cursor.
  ElementCursor cursor{const_cast<uint8_t*>(bytes), bytes + length};
  int status = 0;
  uint16_t count = 0;
  if (!wire::Read(&cursor, &count, &status)) return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
  const bool traced = TraceEnabled('P', 2);
  quick = quick && !TraceEnabled('X', 3);
  SQLRETURN result = SQL_SUCCESS;
  for (uint16_t i = 0; i < count; ++i) {
    ElementCursor at = cursor;
    uint16_t column = 0;
    uint8_t flag = 0;
    uint32_t n = 0;
    if (!wire::Read(&cursor, &column, &status) || !wire::Read(&cursor, &flag, &status) ||
        !wire::Read(&cursor, &n, &status) || cursor.Left() < n) {
      return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
    }
    const ValueInPlace in{flag != 0, n > 0 ? cursor.position : nullptr, n};
    cursor.position += n;
    ColumnValue* value = stmt->Column(column);
    if (value == nullptr || value->HasMark(ColumnValue::kArrived))
      return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
    value->SetMark(ColumnValue::kArrived);
    SQLRETURN rc = SQL_SUCCESS;
    if (value->binding != nullptr && !traced) {
      const TransferTarget target = RowTarget(*value->binding, row, shape);
      if (quick && TransferQuick(value, in, target)) continue;
      rc = TransferBound(stmt, value, in, target);
    } else {
      FetchDataElement* element = spares->TakeSpare();
      if (element == nullptr || !element->GetElement(&at, &status)) {
        delete element;
        return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
      }
      if (value->binding == nullptr) {
        value->data = element;
        continue;
      }
      rc = TransferBound(stmt, value, InPlace(element), RowTarget(*value->binding, row, shape));
      spares->Recycle(element);
    }
    if (rc == SQL_ERROR) return SQL_ERROR;
    if (rc == SQL_SUCCESS_WITH_INFO) result = SQL_SUCCESS_WITH_INFO;
  }
  return result;
}

}  // namespace

SQLRETURN FetchRow(Statement* stmt, uint32_t row, bool* arrived, const RowShape* placed,
                   bool followed) {
  if (arrived) *arrived = false;
  const RowShape shape =
      placed != nullptr
          ? *placed
          : RowShape{static_cast<SQLULEN>(static_cast<uint32_t>(stmt->options.BindType())), 0};
  // A fetch ends any value SQLGetData was reading in pieces.
  stmt->cursor.Position()->Reset();
  // Decided before the fetch consumes the marks of SQLGetData.
  const bool blocks = FetchesBlocks(stmt);
  // The values of a row from a block are filled again by the next row's.
  FetchDataSetElement* spares = blocks ? stmt->block.Row() : nullptr;

  ResultColumnList& columns = stmt->cursor.Columns();
  uint16_t wanted = 0;
  for (ColumnValue* value = columns.First(); value != nullptr; value = columns.Next()) {
    if (spares != nullptr && value->data != nullptr) {
      spares->Recycle(value->data);
    } else {
      delete value->data;
    }
    value->data = nullptr;
    value->ClearMark(ColumnValue::kArrived);
    value->ClearMark(ColumnValue::kHeld);
    value->ClearMark(ColumnValue::kHeldNull);
    if (Travels(value)) ++wanted;
  }
  if (blocks) {
    for (ColumnValue* value = columns.First(); value != nullptr; value = columns.Next())
      value->ClearMark(ColumnValue::kReadByGetData);
    if (spares == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    uint32_t left = 0;
    const SQLRETURN rc = NextBlockRow(stmt, &bytes, &length, &left);
    if (rc != SQL_SUCCESS) {
      stmt->block.DropRow();
      return rc;
    }
    if (arrived) *arrived = true;
    stmt->cursor.CountRow();
    // Quick only while the next row is in this block already.
    const bool quick = followed && left > 0;
    return DeliverBlockRow(stmt, bytes, length, row, shape, spares, quick);
  }

  FetchRequest request;
  if (request.Failed()) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  request.SetStatementId(stmt->StatementId());
  ColumnNumberVectorElement* vector = request.Get<ColumnNumberVectorElement>();
  // Like every other allocation failure of a fetch, a vector that cannot
  // be sized is reported as "S1001".
  if (!vector->SetCount(wanted)) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  uint16_t place = 0;
  uint16_t column = 1;
  for (ColumnValue* value = columns.First(); value != nullptr; value = columns.Next(), ++column) {
    if (Travels(value)) vector->SetAt(place++, column);
    value->ClearMark(ColumnValue::kReadByGetData);
  }

  int status = 0;
  int rc = stmt->Exchange(&request, &status);
  if (rc != SQL_SUCCESS) return stmt->CheckResult(rc, status, ReplyCodes::kWithEnd);
  if (arrived) *arrived = true;
  stmt->cursor.CountRow();
  return DeliverRow(stmt, request.Get<FetchDataSetElement>()->List(), row, shape);
}

SQLRETURN FetchRowset(Statement* stmt, SQLUSMALLINT fFetchType, SQLLEN irow, SQLULEN* pcrow,
                      SQLUSMALLINT* rgfRowStatus) {
  if (ScrollsStatically(stmt)) {
    const int32_t size = stmt->options.RowsetSize();
    const RowsetTarget target{
        size > 1 ? static_cast<uint64_t>(size) : 1,
        {static_cast<SQLULEN>(static_cast<uint32_t>(stmt->options.BindType())), 0},
        pcrow,
        rgfRowStatus,
        false,
        false};
    // A fixed-length bookmark comes as irow itself, without an offset.
    const bool byMark = fFetchType == SQL_FETCH_BOOKMARK;
    return ScrollFetch(stmt, static_cast<SQLSMALLINT>(fFetchType), byMark ? 0 : irow,
                       byMark ? static_cast<uint64_t>(static_cast<uint32_t>(irow)) : 0, target);
  }
  // Forward-only: only the next rowset, or the first one while it is next.
  if (fFetchType != SQL_FETCH_NEXT &&
      !(fFetchType == SQL_FETCH_FIRST && stmt->cursor.RowsFetched() == 0)) {
    return VEL_POST(stmt, SQL_ERROR, kDiagFetchTypeOutOfRange);
  }
  const int32_t rowset = stmt->options.RowsetSize();
  const uint32_t size = rowset > 1 ? static_cast<uint32_t>(rowset) : 1;
  const RowShape shape{static_cast<SQLULEN>(static_cast<uint32_t>(stmt->options.BindType())), 0};
  return FetchRows(stmt, size, shape, pcrow, rgfRowStatus, false);
}

SQLRETURN FetchRows(Statement* stmt, uint32_t size, const RowShape& shape, SQLULEN* pcrow,
                    SQLUSMALLINT* rgfRowStatus, bool infoStatus) {
  if (pcrow) StoreUnaligned<SQLULEN>(pcrow, 0);
  SQLRETURN result = SQL_SUCCESS;
  uint32_t row = 0;
  for (; row < size; ++row) {
    const uint32_t recordsBefore = stmt->errors.Count();
    bool arrived = false;
    const SQLRETURN rc = FetchRow(stmt, row, &arrived, &shape, row + 1 < size);
    if (!arrived) {
      if (row == 0) return rc;  // the end, or a failure before any row
      if (rc == SQL_NO_DATA_FOUND) {
        // A partial last rowset: the end's record is not the caller's.
        while (stmt->errors.Count() > recordsBefore) delete stmt->errors.TakeLast();
      } else {
        result = rc;
      }
      break;
    }
    if (pcrow) StoreUnaligned<SQLULEN>(pcrow, row + 1);
    if (rgfRowStatus) {
      rgfRowStatus[row] = rc == SQL_ERROR                             ? SQL_ROW_ERROR
                          : rc == SQL_SUCCESS_WITH_INFO && infoStatus ? SQL_ROW_SUCCESS_WITH_INFO
                                                                      : SQL_ROW_SUCCESS;
    }
    // One row's failure does not end a rowset of several: the call warns.
    if (rc == SQL_ERROR) {
      result = size == 1 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
    } else if (rc == SQL_SUCCESS_WITH_INFO && result == SQL_SUCCESS) {
      result = SQL_SUCCESS_WITH_INFO;
    }
  }
  if (rgfRowStatus) {
    for (; row < size; ++row) rgfRowStatus[row] = SQL_ROW_NOROW;
  }
  return result;
}

SQLRETURN FetchScrollWorker(Statement* stmt, SQLSMALLINT orientation, SQLLEN offset) {
  if (ScrollsStatically(stmt)) {
    const Descriptor& ard = stmt->RowDescriptor();
    const ArrayHeader& ird = stmt->ird.header;
    const RowsetTarget target{
        ard.header.arraySize,
        {ard.BindType(), ard.header.bindOffsetPtr != nullptr ? *ard.header.bindOffsetPtr : 0},
        ird.rowsProcessedPtr,
        ird.arrayStatusPtr,
        true,
        true};
    // SQL_ATTR_FETCH_BOOKMARK_PTR: a bookmark of 4 bytes (the row's number).
    uint32_t mark = 0;
    if (orientation == SQL_FETCH_BOOKMARK && stmt->fetchBookmark != nullptr)
      std::memcpy(&mark, stmt->fetchBookmark, sizeof mark);
    return ScrollFetch(stmt, orientation, offset, mark, target);
  }
  if (orientation != SQL_FETCH_NEXT &&
      !(orientation == SQL_FETCH_FIRST && stmt->cursor.RowsFetched() == 0)) {
    return VEL_POST(stmt, SQL_ERROR, kDiagFetchTypeOutOfRange);
  }
  const Descriptor& ard = stmt->RowDescriptor();
  const ArrayHeader& rows = ard.header;
  const ArrayHeader& ird = stmt->ird.header;
  if (rows.arraySize <= 1 && rows.bindOffsetPtr == nullptr && ird.arrayStatusPtr == nullptr &&
      ird.rowsProcessedPtr == nullptr) {
    return FetchRow(stmt);
  }
  const RowShape shape{ard.BindType(), rows.bindOffsetPtr != nullptr ? *rows.bindOffsetPtr : 0};
  // A rowset is counted in 32 bits; larger arrays are filled that far.
  const uint32_t size =
      rows.arraySize > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(rows.arraySize);
  return FetchRows(stmt, size == 0 ? 1 : size, shape, ird.rowsProcessedPtr, ird.arrayStatusPtr,
                   true);
}
