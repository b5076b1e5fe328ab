// Static cursors: reading the rows into the statement's store, ODBC's
// positioning rules over them, and handing a rowset to the application.
#include "odbc/fetch/ScrollFetch.h"

#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "base/Settings.h"
#include "base/Unaligned.h"
#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "odbc/fetch/BlockFetch.h"
#include "odbc/fetch/EditRows.h"
#include "odbc/connect/ConnectString.h"
#include "protocol/Requests.h"

namespace {

constexpr uint64_t kToEnd = UINT64_MAX;

SQLRETURN StoreFailed(Statement* s, RowStore::Outcome o) {
  return VEL_POST(s, SQL_ERROR, o == RowStore::kNoMemory ? kDiagMemory : kDiagCursorFile);
}

// The record just queued on s becomes that of the next row: the server
// could not send it, and says so whenever the row is fetched.
SQLRETURN AddFailure(Statement* s) {
  ErrorData* record = s->TakeLastError();
  RowFailure* failure = new (std::nothrow) RowFailure;
  if (record == nullptr || failure == nullptr) {
    delete record;
    delete failure;
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  failure->row = s->scroll.Held() + 1;
  failure->record = record;
  const RowStore::Outcome o = s->scroll.rows.Append(nullptr, 0);
  if (o != RowStore::kStored) {
    delete failure;
    return StoreFailed(s, o);
  }
  s->scroll.failures.Append(failure);
  return SQL_SUCCESS;
}

// An exchange that did not bring rows: the diagnostic is posted; a lost
// connection drops the rows held.
SQLRETURN ReadFailed(Statement* s, int rc, int status) {
  s->CheckResult(rc == SQL_SUCCESS ? SQL_ERROR : rc, status, ReplyCodes::kWithEnd);
  if (status == kStatusCommunicationFailure) s->scroll.Lose();
  return SQL_ERROR;
}

bool WantAllColumns(Statement* s, ColumnNumberVectorElement* vector) {
  const uint16_t count = static_cast<uint16_t>(s->cursor.ColumnCount());
  if (!vector->SetCount(count)) return false;
  for (uint16_t i = 0; i < count; ++i) vector->SetAt(i, static_cast<uint16_t>(i + 1));
  return true;
}

// One fetch-block request (every column travels), its rows appended.
SQLRETURN ReadBlock(Statement* s) {
  FetchBlockRequest request;
  if (request.Failed() || !WantAllColumns(s, request.Get<ColumnNumberVectorElement>()))
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request.SetStatementId(s->StatementId());
  uint32_t& budget = s->scroll.state.budget;
  budget = budget == 0 ? kFirstBlockBudget : budget * 2;
  if (budget > kMaxBlockBudget) budget = kMaxBlockBudget;
  request.Get<MaxLengthElement>()->value = budget;
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  const bool known = rc == SQL_SUCCESS || rc == SQL_NO_DATA_FOUND || rc == SQL_ERROR;
  if (status != kStatusReplied || !known) return ReadFailed(s, rc, status);
  RowBlockElement* block = request.Get<RowBlockElement>();
  if (rc == SQL_SUCCESS && block->Rows() == 0) return VEL_POST(s, SQL_ERROR, kDiagInternalError);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  while (block->NextRowBytes(&bytes, &length)) {
    const RowStore::Outcome o = s->scroll.rows.Append(bytes, length);
    if (o != RowStore::kStored) return StoreFailed(s, o);
  }
  if (rc == SQL_NO_DATA_FOUND) s->scroll.state.ended = true;
  if (rc != SQL_ERROR) return SQL_SUCCESS;
  // The row after the block's rows failed; its record came with them
  // (or, from a server that could not send it there, is asked for).
  if (request.Get<SqlstateElement>()->value.Length() == 0) {
    s->CheckResult(rc, kStatusReplied, ReplyCodes::kWithEnd);
  } else {
    s->PostServerRecord(rc, &request);
  }
  return AddFailure(s);
}

// One fetch request (every column travels), its row appended.
SQLRETURN ReadOne(Statement* s) {
  FetchRequest request;
  if (request.Failed() || !WantAllColumns(s, request.Get<ColumnNumberVectorElement>()))
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  request.SetStatementId(s->StatementId());
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(&request, &status);
  if (status == kStatusReplied && rc == SQL_NO_DATA_FOUND) {
    s->scroll.state.ended = true;
    return SQL_SUCCESS;
  }
  if (status == kStatusReplied && rc == SQL_ERROR) {
    s->CheckResult(rc, status, ReplyCodes::kWithEnd);
    return AddFailure(s);
  }
  if (rc != SQL_SUCCESS) return ReadFailed(s, rc, status);
  FetchDataSetElement* row = request.Get<FetchDataSetElement>();
  const uint32_t size = row->ElementSize();
  uint8_t* bytes = static_cast<uint8_t*>(VelAlloc(size));
  if (bytes == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  ElementCursor cursor{bytes, bytes + size};
  int put = 0;
  const bool encoded = row->PutElement(&cursor, &put);
  const RowStore::Outcome o = encoded ? s->scroll.rows.Append(bytes, size) : RowStore::kNoMemory;
  VelFree(bytes);
  return o == RowStore::kStored ? SQL_SUCCESS : StoreFailed(s, o);
}

// Reads until need rows are held or the result set ends. Blocks where the
// server offers them: a static cursor keeps every row anyway, and its
// rows outlive the server's cursor.
SQLRETURN ReadUpTo(Statement* s, uint64_t need) {
  StaticCursor& c = s->scroll;
  if (c.state.lost) return VEL_POST(s, SQL_ERROR, kDiagCommunicationFailure);
  const Connection* connection = s->OwningConnection();
  const bool blocks =
      (connection->flags & kConnectionBlockFetch) != 0 && Settings().blockFetch != 0;
  while (c.Held() < need && !c.state.ended) {
    const SQLRETURN rc = blocks ? ReadBlock(s) : ReadOne(s);
    if (rc != SQL_SUCCESS) return rc;
  }
  return SQL_SUCCESS;
}

// The record of a row the server could not send, queued again.
SQLRETURN PostFailure(Statement* s, uint64_t row) {
  RowFailure* f = s->scroll.FailureOf(row);
  ErrorData* copy = new (std::nothrow) ErrorData;
  if (f == nullptr || copy == nullptr ||
      !copy->Setup(f->record->source, f->record->native, f->record->sqlstate, f->record->text,
                   f->record->file, f->record->line)) {
    delete copy;
    return VEL_POST(s, SQL_ERROR, kDiagMemory);
  }
  s->errors.Append(copy);
  return SQL_ERROR;
}

// Forgets the values of the current row: they return to spares.
void ClearCurrent(Statement* s, FetchDataSetElement* spares) {
  s->cursor.Position()->Reset();
  ResultColumnList& columns = s->cursor.Columns();
  for (ColumnValue* value = columns.First(); value != nullptr; value = columns.Next()) {
    if (value->data != nullptr) spares->Recycle(value->data);
    value->data = nullptr;
  }
}

// Hands row (from 1) to the application as row slot of the rowset: with
// transfer, bound columns (the bookmark too) go into their buffers; with
// keep, the values stay for SQLGetData (the current row).
SQLRETURN DeliverStored(Statement* s, uint64_t row, uint32_t slot, const RowShape& shape, bool keep,
                        bool transfer) {
  FetchDataSetElement* element = s->block.Row();
  if (element == nullptr) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  // A row read again since: its new values.
  const RowOverride* fresh = s->scroll.overrides.Count() != 0 ? s->scroll.OverrideOf(row) : nullptr;
  if (fresh != nullptr && fresh->deleted) return VEL_POST(s, SQL_ERROR, kDiagInvalidCursorPosition);
  if (fresh != nullptr) {
    bytes = fresh->bytes;
    length = fresh->length;
  } else {
    const RowStore::Outcome o = s->scroll.rows.Read(row - 1, &bytes, &length);
    if (o != RowStore::kStored) return StoreFailed(s, o);
  }
  if (length == 0) return PostFailure(s, row);
  ElementCursor cursor{const_cast<uint8_t*>(bytes), bytes + length};
  int status = 0;
  if (!element->GetElement(&cursor, &status))
    return VEL_POST(s, SQL_ERROR, status == kStatusMemoryFailure ? kDiagMemory : kDiagInvalidReply);
  ResultColumnList& columns = s->cursor.Columns();
  for (ColumnValue* value = columns.First(); value != nullptr; value = columns.Next()) {
    value->ClearMark(ColumnValue::kArrived);
    value->ClearMark(ColumnValue::kHeld);
    value->ClearMark(ColumnValue::kHeldNull);
  }
  SQLRETURN result = SQL_SUCCESS;
  FetchDataList* values = element->List();
  for (FetchDataElement* e = values->Head(); e != nullptr; e = values->Head()) {
    values->Unlink(e);
    ColumnValue* value = s->Column(e->Column());
    if (value == nullptr || value->HasMark(ColumnValue::kArrived)) {
      delete e;
      return VEL_POST(s, SQL_ERROR, kDiagInvalidReply);
    }
    value->SetMark(ColumnValue::kArrived);
    SQLRETURN rc = SQL_SUCCESS;
    if (transfer && value->binding != nullptr)
      rc = TransferBound(s, value, InPlace(e), RowTarget(*value->binding, slot, shape));
    if (keep) {
      value->data = e;
    } else {
      element->Recycle(e);
    }
    if (rc == SQL_ERROR) return SQL_ERROR;
    if (rc == SQL_SUCCESS_WITH_INFO) result = rc;
  }
  ColumnBinding* mark = transfer && s->options.Get(OptionSlot::kUseBookmarks) != SQL_UB_OFF
                            ? s->RowBindings().Find(0)
                            : nullptr;
  if (mark != nullptr) {
    const SQLRETURN rc = PutBookmark(s, row, RowTarget(*mark, slot, shape));
    if (rc != SQL_SUCCESS) return rc == SQL_ERROR ? rc : SQL_SUCCESS_WITH_INFO;
  }
  return result;
}

// True when row (from 1) was read again with values other than those first read.
bool ChangedSinceRead(Statement* s, uint64_t row) {
  const RowOverride* fresh = s->scroll.OverrideOf(row);
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  if (fresh == nullptr || fresh->deleted ||
      s->scroll.rows.Read(row - 1, &bytes, &length) != RowStore::kStored)
    return false;
  return length != fresh->length || std::memcmp(bytes, fresh->bytes, length) != 0;
}

// SQLSetPos SQL_REFRESH of row irow of the rowset (0: every row): read
// again by key from a server that keeps the keys, else as held; the bound
// buffers get the values, the row statuses say what became of each row.
SQLRETURN RefreshRowset(Statement* s, SQLULEN irow) {
  StaticCursor::State& st = s->scroll.state;
  const RowShape shape = AppRowShape(s);
  uint16_t* status = FollowsOdbc3(*s) ? s->ird.header.arrayStatusPtr : st.rowStatus;
  const bool byKey = KeepsKeys(s);
  const uint64_t first = irow == 0 ? 0 : irow - 1;
  const uint64_t last = irow == 0 ? st.rowsetRows : irow;
  SQLRETURN result = SQL_SUCCESS;
  for (uint64_t i = first; i < last; ++i) {
    bool deleted = false;
    if (byKey && RefreshRow(s, st.start + i, &deleted) == SQL_ERROR) return SQL_ERROR;
    const SQLRETURN rc =
        deleted ? SQL_SUCCESS
                : DeliverStored(s, st.start + i, static_cast<uint32_t>(i), shape, false, true);
    if (status != nullptr)
      status[i] = deleted ? SQL_ROW_DELETED : rc == SQL_ERROR ? SQL_ROW_ERROR : SQL_ROW_SUCCESS;
    if (rc != SQL_SUCCESS)
      result = irow != 0 && rc == SQL_ERROR ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
  }
  return result;
}

enum class Place : uint8_t { kRow, kBefore, kAfter };

struct Destination {
  Place place = Place::kRow;
  int64_t start = 0;      // the first row of the new rowset (kRow)
  bool overlaps = false;  // moved to row 1 from a rowset that overlapped the start
};

// ODBC's table of positions for each orientation; reads to the end where
// the last row's number is needed. SQL_SUCCESS with *d set.
SQLRETURN Locate(Statement* s, SQLSMALLINT orientation, int64_t offset, uint64_t bookmark,
                 int64_t size, Destination* d) {
  StaticCursor::State& st = s->scroll.state;
  const bool before = !st.afterEnd && st.start == 0;
  const bool after = st.afterEnd;
  const int64_t current = static_cast<int64_t>(st.start);
  int64_t last = -1;
  auto readLast = [&]() {
    const SQLRETURN rc = ReadUpTo(s, kToEnd);
    last = static_cast<int64_t>(s->scroll.Held());
    return rc;
  };
  if (orientation == SQL_FETCH_RELATIVE && ((before && offset > 0) || (after && offset < 0)))
    orientation = SQL_FETCH_ABSOLUTE;
  switch (orientation) {
    case SQL_FETCH_NEXT: {
      const int64_t previous = st.lastSize != 0 ? static_cast<int64_t>(st.lastSize) : size;
      if (after) d->place = Place::kAfter;
      d->start = before ? 1 : current + previous;
      return SQL_SUCCESS;
    }
    case SQL_FETCH_FIRST:
      d->start = 1;
      return SQL_SUCCESS;
    case SQL_FETCH_PRIOR:
      if (before || (!after && current == 1)) {
        d->place = Place::kBefore;
      } else if (after) {
        if (readLast() != SQL_SUCCESS) return SQL_ERROR;
        d->overlaps = last < size;
        d->start = last < size ? 1 : last - size + 1;
      } else {
        d->overlaps = current <= size;
        d->start = current <= size ? 1 : current - size;
      }
      return SQL_SUCCESS;
    case SQL_FETCH_LAST:
      if (readLast() != SQL_SUCCESS) return SQL_ERROR;
      d->start = size <= last ? last - size + 1 : 1;
      return SQL_SUCCESS;
    case SQL_FETCH_RELATIVE:
      if (before || after) {
        d->place = before ? Place::kBefore : Place::kAfter;
      } else if (current + offset < 1) {
        if (current == 1 || -offset > size) {
          d->place = Place::kBefore;
        } else {
          d->start = 1;
          d->overlaps = true;
        }
      } else {
        d->start = current + offset;
      }
      return SQL_SUCCESS;
    case SQL_FETCH_ABSOLUTE:
      if (offset > 0) {
        d->start = offset;
      } else if (offset == 0) {
        d->place = Place::kBefore;
      } else {
        if (readLast() != SQL_SUCCESS) return SQL_ERROR;
        if (-offset <= last) {
          d->start = last + offset + 1;
        } else if (-offset > size) {
          d->place = Place::kBefore;
        } else {
          d->start = 1;
        }
      }
      return SQL_SUCCESS;
    case SQL_FETCH_BOOKMARK:
      // A bookmark is the number of a row the cursor has held.
      if (bookmark == 0 || bookmark > s->scroll.Held())
        return VEL_POST(s, SQL_ERROR, kDiagInvalidBookmark);
      d->start = static_cast<int64_t>(bookmark) + offset;
      if (d->start < 1) d->place = Place::kBefore;
      return SQL_SUCCESS;
    default:
      return VEL_POST(s, SQL_ERROR, kDiagFetchTypeOutOfRange);
  }
}

}  // namespace

bool ScrollsStatically(Statement* stmt) {
  if (stmt->scroll.Active()) return true;
  const int32_t type = stmt->options.Get(OptionSlot::kCursorType);
  if ((type != SQL_CURSOR_STATIC && type != SQL_CURSOR_KEYSET_DRIVEN) ||
      stmt->cursor.ColumnCount() == 0 || stmt->cursor.RowsFetched() != 0 || stmt->block.Active())
    return false;
  stmt->scroll.Begin(stmt->OwningConnection()->cursorMemory);
  return true;
}

SQLRETURN ScrollFetch(Statement* stmt, SQLSMALLINT orientation, SQLLEN offset, uint64_t bookmark,
                      const RowsetTarget& target) {
  StaticCursor::State& st = stmt->scroll.state;
  if (st.lost) return VEL_POST(stmt, SQL_ERROR, kDiagCommunicationFailure);
  // A rowset is counted in 32 bits; larger ones are filled that far.
  const uint64_t size = target.size == 0 ? 1 : target.size > UINT32_MAX ? UINT32_MAX : target.size;
  Destination d;
  if (Locate(stmt, orientation, offset, bookmark, static_cast<int64_t>(size), &d) != SQL_SUCCESS)
    return SQL_ERROR;
  if (d.place == Place::kRow) {
    const uint64_t first = static_cast<uint64_t>(d.start);
    const uint64_t need = first + size - 1 < first ? kToEnd : first + size - 1;
    if (ReadUpTo(stmt, need) != SQL_SUCCESS) return SQL_ERROR;
    if (first > stmt->scroll.Held()) d.place = Place::kAfter;
  }
  FetchDataSetElement* spares = stmt->block.Row();
  if (spares == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  ClearCurrent(stmt, spares);
  st.lastSize = size;
  st.rowStatus = target.rowStatus;
  if (target.rowsFetched) StoreUnaligned<SQLULEN>(target.rowsFetched, 0);
  if (d.place != Place::kRow) {
    st.start = 0;
    st.afterEnd = d.place == Place::kAfter;
    st.rowsetRows = 0;
    st.current = 0;
    return SQL_NO_DATA_FOUND;
  }
  const uint64_t first = static_cast<uint64_t>(d.start);
  const uint64_t available = stmt->scroll.Held() - first + 1;
  const uint32_t rows = static_cast<uint32_t>(available < size ? available : size);
  st.start = first;
  st.afterEnd = false;
  st.rowsetRows = rows;
  st.current = first;
  // A keyset-driven cursor reads its rows again by their keys at each
  // fetch: others' changes show, a row gone is SQL_ROW_DELETED.
  const bool keyset =
      stmt->options.Get(OptionSlot::kCursorType) == SQL_CURSOR_KEYSET_DRIVEN && KeepsKeys(stmt);
  if (keyset) {
    stmt->scroll.overrides.Clear();
    for (uint32_t i = 0; i < rows; ++i) {
      bool deleted = false;
      if (RefreshRow(stmt, first + i, &deleted) == SQL_ERROR) return SQL_ERROR;
    }
  }
  SQLRETURN result = SQL_SUCCESS;
  for (uint32_t i = 0; i < rows; ++i) {
    const RowOverride* gone =
        stmt->scroll.overrides.Count() != 0 ? stmt->scroll.OverrideOf(first + i) : nullptr;
    if (gone != nullptr && gone->deleted) {
      if (target.rowStatus) target.rowStatus[i] = SQL_ROW_DELETED;
      continue;
    }
    const SQLRETURN rc = DeliverStored(stmt, first + i, i, target.shape, i == 0, true);
    if (target.rowStatus) {
      target.rowStatus[i] = rc == SQL_ERROR ? SQL_ROW_ERROR
                            : rc == SQL_SUCCESS_WITH_INFO && target.infoStatus
                                ? SQL_ROW_SUCCESS_WITH_INFO
                            : keyset && ChangedSinceRead(stmt, first + i) ? SQL_ROW_UPDATED
                                                                          : SQL_ROW_SUCCESS;
    }
    if (rc == SQL_ERROR) {
      result = size == 1 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
    } else if (rc == SQL_SUCCESS_WITH_INFO && result == SQL_SUCCESS) {
      result = SQL_SUCCESS_WITH_INFO;
    }
  }
  if (target.rowStatus) {
    for (uint64_t i = rows; i < size; ++i) target.rowStatus[i] = SQL_ROW_NOROW;
  }
  if (target.rowsFetched) StoreUnaligned<SQLULEN>(target.rowsFetched, rows);
  if (d.overlaps && target.odbc3 && result != SQL_ERROR)
    result = VEL_POST(stmt, SQL_SUCCESS_WITH_INFO, kDiagFetchBeforeStart);
  return result;
}

SQLRETURN SetPosWorker(Statement* stmt, SQLULEN irow, SQLUSMALLINT fOption, SQLUSMALLINT fLock) {
  if (fOption > SQL_ADD || fLock > SQL_LOCK_UNLOCK)
    return VEL_POST(stmt, SQL_ERROR, kDiagInvalidArgument);
  // A read-only cursor only positions; rows are never locked.
  const bool edits = fOption == SQL_UPDATE || fOption == SQL_DELETE || fOption == SQL_ADD;
  if ((edits && !Editable(stmt)) || fLock != SQL_LOCK_NO_CHANGE)
    return VEL_POST(stmt, SQL_ERROR, kDiagReadOnlyCursor);
  if (stmt->cursor.ColumnCount() == 0) return VEL_POST(stmt, SQL_ERROR, kDiagNoResultSet);
  // A forward-only cursor keeps no row but the current one.
  if (!stmt->scroll.Active()) return VEL_POST(stmt, SQL_ERROR, kDiagInvalidCursorPosition);
  StaticCursor::State& st = stmt->scroll.state;
  // Rows are added from the rowset's buffers wherever the cursor stands.
  if (fOption == SQL_ADD) {
    if (irow > (st.lastSize == 0 ? 1 : st.lastSize))
      return VEL_POST(stmt, SQL_ERROR, kDiagRowValueOutOfRange);
    return EditRowset(stmt, irow, fOption);
  }
  if (st.rowsetRows == 0) return VEL_POST(stmt, SQL_ERROR, kDiagNoCurrentRow);
  if (irow > st.rowsetRows) return VEL_POST(stmt, SQL_ERROR, kDiagRowValueOutOfRange);
  // Row 0 means every row: refreshing them all leaves the first current;
  // positioning needs one row.
  if (irow == 0 && fOption == SQL_POSITION)
    return VEL_POST(stmt, SQL_ERROR, kDiagInvalidCursorPosition);
  // A row this cursor deleted (its status says so) is not there to update,
  // delete or refresh.
  const uint16_t* statuses = FollowsOdbc3(*stmt) ? stmt->ird.header.arrayStatusPtr : st.rowStatus;
  if (irow != 0 && fOption != SQL_POSITION && statuses != nullptr &&
      statuses[irow - 1] == SQL_ROW_DELETED)
    return VEL_POST(stmt, SQL_ERROR, kDiagInvalidCursorPosition);
  if (edits) return EditRowset(stmt, irow, fOption);
  const uint64_t row = st.start + (irow == 0 ? 0 : irow - 1);
  FetchDataSetElement* spares = stmt->block.Row();
  if (spares == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  ClearCurrent(stmt, spares);
  st.current = row;
  SQLRETURN result = SQL_SUCCESS;
  if (fOption == SQL_REFRESH) {
    result = RefreshRowset(stmt, irow);
    if (result == SQL_ERROR) return result;
    const RowOverride* gone = stmt->scroll.OverrideOf(row);
    if (gone != nullptr && gone->deleted) return result;
  }
  const SQLRETURN rc = DeliverStored(stmt, row, 0, RowShape{0, 0}, true, false);
  return rc == SQL_SUCCESS ? result : rc;
}

SQLRETURN DeliverHeldRow(Statement* stmt, uint64_t row, uint32_t slot, const RowShape& shape) {
  return DeliverStored(stmt, row, slot, shape, false, true);
}

SQLRETURN ReadStaticToEnd(Statement* stmt) {
  if (!stmt->scroll.Active() || stmt->scroll.state.ended || stmt->scroll.state.lost)
    return SQL_SUCCESS;
  return ReadUpTo(stmt, kToEnd);
}

SQLRETURN PutBookmark(Statement* stmt, uint64_t row, const TransferTarget& target) {
  const uint32_t number = row > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(row);
  SQLLEN length = 4;
  bool cut = false;
  switch (target.fCType) {
    case SQL_C_ULONG:
    case SQL_C_SLONG:
    case SQL_C_LONG:
    case SQL_C_DEFAULT:
      if (target.rgbValue) std::memcpy(target.rgbValue, &number, 4);
      break;
    case SQL_C_UBIGINT:
    case SQL_C_SBIGINT: {
      const uint64_t wide = number;
      if (target.rgbValue) std::memcpy(target.rgbValue, &wide, 8);
      length = 8;
      break;
    }
    case SQL_C_BINARY: {
      const SQLLEN room =
          target.cbValueMax < 4 ? (target.cbValueMax < 0 ? 0 : target.cbValueMax) : 4;
      if (target.rgbValue && room > 0)
        std::memcpy(target.rgbValue, &number, static_cast<size_t>(room));
      cut = room < 4;
      break;
    }
    case SQL_C_CHAR: {
      char text[16];
      const int n = std::snprintf(text, sizeof text, "%u", number);
      length = n;
      cut = !CopyOutput(text, static_cast<uint32_t>(n), static_cast<char*>(target.rgbValue),
                        target.cbValueMax);
      break;
    }
    default:
      return VEL_POST(stmt, SQL_ERROR, kDiagProgramTypeOutOfRange);
  }
  if (target.pcbValue) StoreUnaligned<SQLLEN>(target.pcbValue, length);
  return cut ? VEL_POST(stmt, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated) : SQL_SUCCESS;
}

SQLLEN StaticRowCount(Statement* stmt) {
  return stmt->scroll.state.ended ? static_cast<SQLLEN>(stmt->scroll.Held()) : -1;
}
