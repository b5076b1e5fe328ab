// The fetch-block request and the rows it brings.
#include "odbc/fetch/BlockFetch.h"

#include <sqlext.h>

#include <new>

#include "base/Settings.h"
#include "convert/ColumnValue.h"
#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/OptionValues.h"
#include "handles/Statement.h"
#include "protocol/Requests.h"

namespace {

bool IsLong(int32_t sqlType) { return sqlType == SQL_LONGVARCHAR || sqlType == SQL_LONGVARBINARY; }

// The outcome a block reported for the row after its rows, with the
// record that came with it; a reply without one (the server could not
// send it there) leaves it to the get-error request.
SQLRETURN BlockEnd(Statement* stmt, Request* reply, int rc) {
  if (reply->Get<SqlstateElement>()->value.Length() == 0)
    return stmt->CheckResult(rc, kStatusReplied, ReplyCodes::kWithEnd);
  return stmt->PostServerRecord(rc, reply);
}

// A fetch-block request for the next block of stmt's result set: every
// column travels, so that SQLGetData finds any value of any row of the
// block. Null when memory runs out.
Request* BlockRequest(Statement* stmt) {
  FetchBlockRequest* request = new (std::nothrow) FetchBlockRequest;
  const uint16_t count = static_cast<uint16_t>(stmt->cursor.ColumnCount());
  if (request == nullptr || request->Failed() ||
      !request->Get<ColumnNumberVectorElement>()->SetCount(count)) {
    delete request;
    return nullptr;
  }
  request->SetStatementId(stmt->StatementId());
  ColumnNumberVectorElement* vector = request->Get<ColumnNumberVectorElement>();
  for (uint16_t i = 0; i < count; ++i) vector->SetAt(i, static_cast<uint16_t>(i + 1));
  request->Get<MaxLengthElement>()->value =
      stmt->block.NextBudget(kFirstBlockBudget, kMaxBlockBudget);
  return request;
}

bool BlocksAllowed(Statement* stmt);

// Makes the next block the one served: the one asked for ahead, else one
// asked for now. With a server that offered it, the block after it is
// asked for at once, so that it travels while the application takes
// these rows (protocol/STREAM.md).
SQLRETURN TakeBlock(Statement* stmt) {
  int status = kStatusCommunicationFailure;
  int rc = SQL_ERROR;
  Request* request = nullptr;
  if (stmt->block.HasAhead()) {
    request = stmt->TakeAhead(&rc, &status);
  } else {
    request = BlockRequest(stmt);
    if (request == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
    rc = stmt->Exchange(request, &status);
  }
  const bool known = rc == SQL_SUCCESS || rc == SQL_NO_DATA_FOUND || rc == SQL_ERROR;
  if (status != kStatusReplied || !known) {
    delete request;
    return stmt->CheckResult(rc, status, ReplyCodes::kWithEnd);
  }
  if (request->Get<RowBlockElement>()->Rows() == 0) {
    // A successful block holds a row; one without is the server's fault.
    const SQLRETURN result = rc == SQL_SUCCESS ? VEL_POST(stmt, SQL_ERROR, kDiagInternalError)
                                               : BlockEnd(stmt, request, rc);
    delete request;
    return result;
  }
  stmt->block.Adopt(request, rc);
  // Asked for ahead only while more rows may follow and blocks are still
  // what the statement would ask for; a request that cannot be made or
  // sent now is made when the rows are needed.
  if (rc == SQL_SUCCESS && (stmt->OwningConnection()->flags & kConnectionStream) != 0 &&
      BlocksAllowed(stmt)) {
    Request* ahead = BlockRequest(stmt);
    if (ahead != nullptr) stmt->SendAhead(ahead);
  }
  return SQL_SUCCESS;
}

// FetchesBlocks without the block in hand.
bool BlocksAllowed(Statement* stmt) {
  const Connection* c = stmt->OwningConnection();
  if ((c->flags & kConnectionBlockFetch) == 0 || !c->options.Autocommit() || stmt->cursor.Named() ||
      Settings().blockFetch == 0) {
    return false;
  }
  ResultColumnList& columns = stmt->cursor.Columns();
  for (ColumnValue* value = columns.First(); value != nullptr; value = columns.Next()) {
    if (IsLong(value->SqlType()) && value->binding == nullptr &&
        !value->HasMark(ColumnValue::kReadByGetData))
      return false;
  }
  return true;
}

}  // namespace

bool FetchesBlocks(Statement* stmt) { return stmt->block.Active() || BlocksAllowed(stmt); }

bool ExecutesWithRows(Statement* stmt) {
  if ((stmt->OwningConnection()->flags & kConnectionQuick) == 0) return false;
  // A statement without a result set has no rows to bring: its count comes.
  if (stmt->cursor.ColumnCount() == 0) return true;
  const int32_t type = stmt->options.Get(OptionSlot::kCursorType);
  return type != SQL_CURSOR_STATIC && type != SQL_CURSOR_KEYSET_DRIVEN && BlocksAllowed(stmt);
}

void AdoptFirstBlock(Statement* stmt, Request* reply) {
  const int32_t count = reply->Get<NumberOfRowsElement>()->value;
  stmt->parameters.SetArrayRowCount(count < -1 ? -1 : count);
  const int end = reply->Get<BlockCodeElement>()->value;
  if (end == SQL_NO_DATA_FOUND) stmt->cursor.MarkServerClosed();
  // Without rows and without an end the rows are asked for as usual.
  const bool rows = reply->Get<RowBlockElement>()->Rows() != 0 || end != SQL_SUCCESS;
  if (stmt->cursor.ColumnCount() == 0 || !rows) {
    stmt->block.Recycle(reply);
    return;
  }
  stmt->block.NextBudget(kFirstBlockBudget, kMaxBlockBudget);
  stmt->block.Adopt(reply, end == SQL_SUCCESS || end == SQL_NO_DATA_FOUND ? end : SQL_ERROR);
}

SQLRETURN NextBlockRow(Statement* stmt, const uint8_t** bytes, uint32_t* length, uint32_t* left) {
  RowBlockElement* rows =
      stmt->block.Reply() != nullptr ? stmt->block.Reply()->Get<RowBlockElement>() : nullptr;
  if (rows != nullptr && rows->RowsLeft() == 0) {
    const int end = stmt->block.EndCode();
    Request* used = stmt->block.Release();
    const SQLRETURN rc = end == SQL_SUCCESS ? SQL_SUCCESS : BlockEnd(stmt, used, end);
    stmt->block.Recycle(used);
    if (rc != SQL_SUCCESS) {
      stmt->DropBlock();
      return rc;
    }
    rows = nullptr;
  }
  if (rows == nullptr) {
    const SQLRETURN rc = TakeBlock(stmt);
    if (rc != SQL_SUCCESS) {
      stmt->DropBlock();
      return rc;
    }
    rows = stmt->block.Reply()->Get<RowBlockElement>();
  }
  // The block's rows were checked whole when it arrived.
  if (!rows->NextRowBytes(bytes, length)) {
    stmt->DropBlock();
    return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
  }
  if (left != nullptr) *left = rows->RowsLeft();
  return SQL_SUCCESS;
}
