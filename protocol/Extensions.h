// The offers a server appends to its connect reply after catalogType, in
// this order: batchType, cancelType, streamType (then cancelKey),
// sessionInfo, describeType, resultsType, routineType (protocol/KEYS.md),
// quickType, infoAnswers, editType, intervalType, decimalType. Each but infoAnswers is a 16-bit
// code; 0 (and a reply that ends before the element) means not offered, so a driver sends such a
// server exactly what it always sent.
#ifndef VELORA_PROTOCOL_EXTENSIONS_H
#define VELORA_PROTOCOL_EXTENSIONS_H

#include "protocol/Offer.h"
#include "protocol/WireCodec.h"
#include "protocol/WireNumbers.h"

// Many parameter sets in one execute request.
using BatchTypeElement = OfferElement<El::kBatchType>;
// A query timeout the server enforces, and cancelling a running request.
using CancelTypeElement = OfferElement<El::kCancelType>;
// Blocks of rows sent ahead of the fetch requests.
using StreamTypeElement = OfferElement<El::kStreamType>;

// The parameter descriptions of a prepared statement (protocol/DESCRIBE.md).
using DescribeTypeElement = OfferElement<El::kDescribeType>;
enum : int32_t { kDescribeNone = 0, kDescribeParams = 1 };

// The results of a text of several statements, and of a parameter array
// on a query, one after the other (protocol/RESULTS.md); in the
// more-results reply: whether a next result came.
using ResultsTypeElement = OfferElement<El::kResultsType>;
enum : int32_t { kResultsNone = 0, kResultsMore = 1 };
// Cursors that write back (protocol/EDIT.md): the edit-row request, and
// a wish in the concurrency option (kConcurrencyEditable added to an
// optimistic value) that makes a statement's cursor keep its rows' keys.
// EDIT_KEYS adds read-only cursors that keep their keys (the wish on
// SQL_CONCUR_READ_ONLY), the position request and positioned statements
// (WHERE CURRENT OF).
using EditTypeElement = OfferElement<El::kEditType>;
enum : int32_t { kEditNone = 0, kEditRows = 1, kEditKeys = 2 };
constexpr uint32_t kConcurrencyEditable = 0x100;

// Exact decimal parameters (protocol/DECIMAL.md): a NUMERIC or DECIMAL
// parameter sent as its decimal text under the SQL type code
// kSqlDecimalText, every digit and the scale as the application gave them.
using DecimalTypeElement = OfferElement<El::kDecimalType>;
enum : int32_t { kDecimalNone = 0, kDecimalText = 1 };
constexpr int16_t kSqlDecimalText = -86;
// The edit-row request's operations (editOperation).
enum EditOperationValue : int32_t {
  kEditUpdate = 0,
  kEditDelete = 1,
  kEditAdd = 2,
  kEditRefresh = 3,
  // Whether the statement's cursor writes back: "01S02" when it does not.
  kEditCheck = 4,
  // The row the application's cursor stands on, for WHERE CURRENT OF.
  kEditPosition = 5,
};

// Interval types (protocol/INTERVALS.md): offered in the connect reply,
// wished with the set-intervals request.
using IntervalTypeElement = OfferElement<El::kIntervalType>;
enum : int32_t { kIntervalNone = 0, kIntervalTypes = 1 };

// The size of a character or binary marker whose length nothing declares
// (a long type, an unknown marker): any value the storage takes travels,
// but clients size a buffer per row by it (pyodbc's fast_executemany: two
// bytes a character), so it stays moderate. Size 0 ("not known") would
// send clients to data at execution, which fast_executemany does not do
// reliably. A longer value through such a client needs a declared length.
constexpr uint32_t kUnsizedMarker = 8000;

// Executions answered with their row count and first block of rows
// (protocol/QUICK.md).
using QuickTypeElement = OfferElement<El::kQuickType>;
enum : int32_t { kQuickNone = 0, kQuickRows = 1 };

// The stream offer's codes (protocol/STREAM.md).
enum : int32_t { kStreamNone = 0, kStreamAhead = 1 };

// The cancel offer's codes (protocol/CANCEL.md).
enum : int32_t { kCancelNone = 0, kCancelRequest = 1 };
// The platform a cancel connection's greeting names: such a connection
// holds no client slot and carries only the cancel request.
constexpr char kCancelPlatform[] = "CANCEL";

// The session's secret cancel key: 8 bytes, after streamType at the end
// of the connect reply and alone in a cancel request's header. A reply
// that ends before it carries no key (0). The trace never shows it.
class CancelKeyElement final : public Element {
 public:
  static constexpr int kId = El::kCancelKey;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override { return 8; }
  bool GetElement(ElementCursor* cursor, int* status) override {
    value = 0;
    if (cursor->Left() == 0) return true;
    uint32_t low = 0, high = 0;
    if (!wire::Read(cursor, &low, status) || !wire::Read(cursor, &high, status)) return false;
    value = (static_cast<uint64_t>(high) << 32) | low;
    return true;
  }
  bool PutElement(ElementCursor* cursor, int* status) override {
    return wire::Write(cursor, static_cast<uint32_t>(value), status) &&
           wire::Write(cursor, static_cast<uint32_t>(value >> 32), status);
  }
  uint64_t value = 0;
};

// What the session's SQL and rights are, for SQLGetInfo (protocol/SESSION.md):
// a 16-bit code after cancelKey, 0 when not offered.
using SessionInfoElement = OfferElement<El::kSessionInfo>;

// SQLGetInfo answers of the server's (protocol/ESCAPES.md): a 16-bit count
// after routineType, then per answer a 16-bit information type and its
// 32-bit value. A reply that ends before it holds none; a server that
// sends it answers the native-SQL request too.
class InfoAnswersElement final : public Element {
 public:
  static constexpr int kId = El::kInfoAnswers;
  static constexpr uint16_t kMaxAnswers = 48;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override { return 2 + 6u * count; }
  bool GetElement(ElementCursor* cursor, int* status) override {
    count = 0;
    if (cursor->Left() == 0) return true;
    uint16_t n = 0;
    if (!wire::Read(cursor, &n, status)) return false;
    for (uint16_t i = 0; i < n; ++i) {
      uint16_t type = 0;
      uint32_t value = 0;
      if (!wire::Read(cursor, &type, status) || !wire::Read(cursor, &value, status)) return false;
      if (count < kMaxAnswers) {
        types[count] = type;
        values[count++] = value;
      }
    }
    return true;
  }
  bool PutElement(ElementCursor* cursor, int* status) override {
    if (!wire::Write(cursor, count, status)) return false;
    for (uint16_t i = 0; i < count; ++i)
      if (!wire::Write(cursor, types[i], status) || !wire::Write(cursor, values[i], status))
        return false;
    return true;
  }
  bool LeftOutOfRequest() const override { return count == 0; }
  uint16_t count = 0;
  uint16_t types[kMaxAnswers] = {};
  uint32_t values[kMaxAnswers] = {};
};

// The session-info code (16 bits): the identifier quote character (7
// bits), the read-only flag, the isolation levels the storage runs as
// asked (ODBC's SQL_TXN_* bits, four of them), how unquoted identifiers
// are kept (an SQL_IC_* value, 3 bits), and whether NULLs sort low.
enum : int32_t {
  kSessionQuoteMask = 0x7F,
  kSessionReadOnly = 0x80,
  kSessionIsolationShift = 8,
  kSessionCaseShift = 12,
  kSessionNullsLow = 0x8000,
};
constexpr int32_t SessionInfoCode(char quote, bool readOnly, int isolationLevels,
                                  int identifierCase, bool nullsLow) {
  return (quote & kSessionQuoteMask) | (readOnly ? kSessionReadOnly : 0) |
         ((isolationLevels & 0xF) << kSessionIsolationShift) |
         ((identifierCase & 0x7) << kSessionCaseShift) | (nullsLow ? kSessionNullsLow : 0);
}

#endif
