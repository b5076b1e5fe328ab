// Session: fetching rows and values, one row at a time or many for one
// block reply (built on the one-row fetch, so that both give the same rows,
// limits and diagnostics).

#include "protocol/RowBlock.h"
#include "server/Diagnostics.h"
#include "server/session/Session.h"
#include "server/session/SessionStatement.h"
#include "server/values/ValueCodec.h"

namespace velsrv {

Value Session::CurrentValue(Statement* s, int index) {
  if (s->isStatic) return s->rows[s->staticIndex - 1][index];
  return s->storage->ColumnValue(index);
}

int Session::EncodeCell(Statement* s, int column, CellOut* cell) {
  cell->column = static_cast<uint16_t>(column);
  cell->data.clear();
  const SqlTypeDesc& type = s->description[column - 1].type;
  Status st;
  // The storage's own forms go straight into the row layout; other values
  // through their Value.
  StorageStatement::Cell direct =
      s->isStatic
          ? StorageStatement::Cell::kAsValue
          : s->storage->EncodeColumn(column - 1, type, s->options.maxLength, &cell->data, &st);
  if (direct == StorageStatement::Cell::kAsValue) {
    Value v = CurrentValue(s, column - 1);
    cell->isNull = v.IsNull();
    if (cell->isNull) return kSqlSuccess;
    st = EncodeRowValue(v, type, s->options.maxLength, &cell->data);
  } else {
    cell->isNull = direct == StorageStatement::Cell::kNull;
  }
  if (!st.ok) {
    st.message = "column " + std::to_string(column) + " (" + s->description[column - 1].name +
                 "): " + st.message;
    return FailStatus(s->id, st, __LINE__);
  }
  return kSqlSuccess;
}

int Session::Fetch(uint32_t id, const std::vector<uint16_t>& wanted, std::vector<CellOut>* row) {
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  if (s->position == Position::kNone)
    return Fail(id, kStateCursorState, 0, "invalid cursor state: no open cursor");
  for (uint16_t c : wanted)
    if (c < 1 || c > s->description.size())
      return Fail(id, kStateColumnNumber, 0, "invalid column number " + std::to_string(c));
  bool limited = s->options.maxRows != 0 && s->rowNumber >= s->options.maxRows;
  if (s->position == Position::kAfter || limited) {
    s->position = Position::kAfter;
    return Fail(id, kStateNoData, 100, kTextNoData, kSqlNoDataFound);
  }
  if (s->isStatic) {
    if (s->staticIndex >= s->rows.size()) {
      s->position = Position::kAfter;
      return Fail(id, kStateNoData, 100, kTextNoData, kSqlNoDataFound);
    }
    s->staticIndex++;
  } else if (s->pendingRow) {
    s->pendingRow = false;
  } else {
    Status st;
    StepResult r = s->storage->Step(&st);
    if (r == StepResult::kError) {
      s->position = Position::kAfter;
      return FailStatus(id, st, __LINE__);
    }
    if (r == StepResult::kDone) {
      s->position = Position::kAfter;
      return Fail(id, kStateNoData, 100, kTextNoData, kSqlNoDataFound);
    }
  }
  s->position = Position::kOnRow;
  s->rowNumber++;
  KeepEditRow(s);
  // The row's size is checked while it is built: a column vector may name
  // a column many times, and values built by SQL may each reach the
  // largest frame, so an unchecked row could take any amount of memory.
  // A single value always travels (it is bounded by the value limit, and
  // the get-data request would send it as well).
  uint64_t total = 0;
  row->resize(wanted.size());  // cells of an earlier row keep their buffers
  for (size_t i = 0; i < wanted.size(); ++i) {
    CellOut& cell = (*row)[i];
    int rc = EncodeCell(s, wanted[i], &cell);
    if (rc == kSqlSuccess && (total += cell.data.size() + 7) > options_.maxFrame && i > 0)
      rc = Fail(id, kStateGeneral, 0,
                "the row is larger than the largest frame (" + std::to_string(options_.maxFrame) +
                    " bytes); fetch fewer columns or read them one at a time");
    if (rc != kSqlSuccess) {
      row->clear();
      return rc;
    }
  }
  CountRows(1, 0);
  return kSqlSuccess;
}

int Session::GetData(uint32_t id, int column, CellOut* cell) {
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  if (s->position != Position::kOnRow) return Fail(id, kStateCursorState, 0, kTextNotOnRow);
  if (column < 1 || column > static_cast<int>(s->description.size()))
    return Fail(id, kStateColumnNumber, 0, "invalid column number " + std::to_string(column));
  return EncodeCell(s, column, cell);
}

int Session::GetRowNumber(uint32_t id, uint32_t* number) {
  *number = 0;
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  if (s->position != Position::kOnRow) return Fail(id, kStateCursorState, 0, kTextNotOnRow);
  *number = s->rowNumber;
  return kSqlSuccess;
}

int Session::RowCount(uint32_t id, int32_t* count) {
  *count = -1;
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  int64_t n = s->rowCount;
  *count = n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
  return kSqlSuccess;
}

int Session::FetchBlock(uint32_t id, const std::vector<uint16_t>& wanted, uint32_t budget,
                        uint32_t maxRows,
                        const std::function<bool(const std::vector<CellOut>&)>& sink,
                        Diagnostic* diagnostic) {
  if (budget > kMaxBlockBudget) budget = kMaxBlockBudget;
  uint64_t total = 0;
  // One per session thread: its cells keep their buffers from row to row
  // and block to block, unless large.
  static thread_local std::vector<CellOut> row;
  struct Trim {
    ~Trim() {
      for (CellOut& cell : row)
        if (cell.data.capacity() > (64u << 10)) std::string().swap(cell.data);
    }
  } trim;
  for (uint32_t rows = 1;; ++rows) {
    int rc = Fetch(id, wanted, &row);
    if (rc == kSqlSuccess && !sink(row)) rc = PostError(id, kStateMemory, kTextMemory);
    if (rc != kSqlSuccess) {
      // The row's diagnostic travels with the block: nothing is left for
      // a get-error request.
      GetError(id, diagnostic);
      return rc;
    }
    total += 2;  // the row's value count, then its values
    for (const CellOut& cell : row) total += 7 + cell.data.size();
    if (total >= budget || rows >= maxRows) return kSqlSuccess;
  }
}

int Session::ExecuteRows(uint32_t id, const std::vector<ParamIn>& params, uint32_t budget,
                         const std::function<bool(const std::vector<CellOut>&)>& sink,
                         int32_t* rowCount, int* blockCode, Diagnostic* diagnostic) {
  *rowCount = -1;
  *blockCode = kSqlSuccess;  // no rows sent: they are fetched as usual
  const int rc = Execute(id, params);
  if (rc != kSqlSuccess) return rc;
  Statement* s = Ready(id);
  if (!s) return kSqlError;
  RowCount(id, rowCount);
  if (s->position == Position::kNone || s->description.empty()) {
    *blockCode = kSqlNoDataFound;  // no result set: nothing to close, no record
    diagnostic->sqlstate.clear();
    return rc;
  }
  static thread_local std::vector<uint16_t> wanted;
  wanted.resize(s->description.size());
  for (size_t i = 0; i < wanted.size(); ++i) wanted[i] = static_cast<uint16_t>(i + 1);
  *blockCode = FetchBlock(id, wanted, budget, RowBlockElement::kMaxRows, sink, diagnostic);
  // The whole result went: nothing is left for a close request to end.
  if (*blockCode == kSqlNoDataFound) CloseCursor(s);
  return rc;
}

}  // namespace velsrv
