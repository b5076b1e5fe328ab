// The transfer of one column value into an application buffer: the
// statement's part (the read position of a value read in pieces, NULLs,
// the SQLSTATEs); the conversion and the piece rule are convert/'s.
#include "odbc/fetch/Transfer.h"

#include <sqlext.h>

#include <cstring>

#include "base/Trace.h"
#include "base/Unaligned.h"
#include "handles/ClientDiagnostics.h"
#include "handles/ColumnBinding.h"
#include "handles/Statement.h"
#include "protocol/FetchData.h"
#include "protocol/ValueLayout.h"

namespace {

// Numbers travel little-endian (protocol/ValueLayout.h).
constexpr bool kWireIsNative =
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    false;
#else
    true;
#endif

// "GetDataFinal" dump of what was written: never more than the buffer
// holds, whatever length the conversion reports for the whole value.
void TraceFinal(const ConversionPlan& plan, const TransferTarget& target) {
  if (!TraceEnabled('X', 3) || target.rgbValue == nullptr || target.pcbValue == nullptr) return;
  const SQLLEN length = *target.pcbValue;
  if (length < 0) return;
  uint64_t shown = static_cast<uint64_t>(length);
  if (plan.pieces) {
    const uint64_t room = target.cbValueMax > 0 ? static_cast<uint64_t>(target.cbValueMax) : 0;
    if (shown > room) shown = room;
  }
  if (shown > 16384) shown = 16384;
  TraceDump("GetDataFinal", target.rgbValue, shown);
}

// A NULL: SQL_NULL_DATA where the indicator goes (not the length, when a
// descriptor set the two apart), "22002" without one.
SQLRETURN PutNull(Statement* stmt, const TransferTarget& target) {
  if (target.indicator == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagIndicatorRequired);
  StoreUnaligned<SQLLEN>(target.indicator, SQL_NULL_DATA);
  return SQL_SUCCESS;
}

// A value copied whole: its length, and "not NULL" in an indicator of
// its own.
void PutCopiedLength(const TransferTarget& target, SQLLEN n) {
  if (target.pcbValue != nullptr) StoreUnaligned<SQLLEN>(target.pcbValue, n);
  if (target.indicator != nullptr && target.indicator != target.pcbValue)
    StoreUnaligned<SQLLEN>(target.indicator, 0);
}

// The target of a conversion. The length is SQL_NO_TOTAL until the
// conversion reports one (a failed one reports none).
ValueTarget ToValueTarget(const ColumnValue* value, const TransferTarget& target) {
  if (target.pcbValue != nullptr) StoreUnaligned<SQLLEN>(target.pcbValue, SQL_NO_TOTAL);
  // An indicator of its own says "not NULL"; one shared with the length
  // gets the length.
  if (target.indicator != nullptr && target.indicator != target.pcbValue)
    StoreUnaligned<SQLLEN>(target.indicator, 0);
  const ColumnBinding* b = value->binding;
  return {target.rgbValue, target.cbValueMax, target.pcbValue, b != nullptr ? b->precision : 0,
          b != nullptr ? b->scale : 0};
}

}  // namespace

ValueInPlace InPlace(const FetchDataElement* element) {
  return {element->IsNull(), element->Data(), element->Length()};
}

SQLRETURN ConversionResult(Statement* stmt, Conversion outcome, bool pieces) {
  switch (outcome) {
    case Conversion::kDone:
      return SQL_SUCCESS;
    case Conversion::kTruncated:
      // Cut texts and bytes are "01004"; a number or a time that lost digits
      // of its fraction is "01S07".
      if (!pieces) return VEL_POST(stmt, SQL_SUCCESS_WITH_INFO, kDiagFractionalTruncation);
      return VEL_POST(stmt, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
    case Conversion::kFailed:
      return VEL_POST(stmt, SQL_ERROR, kDiagLossOfSignificance);
    case Conversion::kNoMemory:
      return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
    case Conversion::kUnknownCType:
      // A C type outside the conversion table, or SQL_C_DEFAULT for a column
      // type without a default: nothing is written.
      return VEL_POST(stmt, SQL_ERROR, kDiagProgramTypeOutOfRange);
    case Conversion::kRefused:
      return VEL_POST(stmt, SQL_ERROR, kDiagInvalidConversionRequested);
    case Conversion::kIntervalOverflow:
      return VEL_POST(stmt, SQL_ERROR, kDiagIntervalOverflow);
    case Conversion::kInvalidText:
      return VEL_POST(stmt, SQL_ERROR, kDiagIntervalText);
    case Conversion::kRestricted:
      return VEL_POST(stmt, SQL_ERROR, kDiagConversionNotSupported);
    case Conversion::kMalformed:
      // The server sent fewer bytes than the column's layout needs.
      return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
  }
  return VEL_POST(stmt, SQL_ERROR, kDiagInternalError);
}

namespace {

// The width of the values whose wire form is the C type's own (numbers
// travel little-endian, as the machines the driver runs on hold them):
// such a value is copied as it lies; 0 for every other pair.
uint32_t NativeWidth(int32_t sqlType, SQLSMALLINT cType) {
  if (!kWireIsNative) return 0;
  switch (sqlType) {
    case SQL_SMALLINT:
      return cType == SQL_C_SSHORT || cType == SQL_C_SHORT ? 2 : 0;
    case SQL_INTEGER:
      return cType == SQL_C_SLONG || cType == SQL_C_LONG ? 4 : 0;
    case SQL_REAL:
      return cType == SQL_C_FLOAT ? 4 : 0;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return cType == SQL_C_DOUBLE ? 8 : 0;
    default:
      return 0;
  }
}

SQLRETURN BoundValue(Statement* stmt, ColumnValue* value, const ValueInPlace& in,
                     const TransferTarget& target) {
  // The value is loaded all the same: SQLGetData reads it from there.
  const uint32_t width = in.isNull ? 0 : NativeWidth(value->SqlType(), target.fCType);
  if (width != 0 && in.length == width && target.rgbValue != nullptr &&
      !value->HasMark(ColumnValue::kOdbc3TypeCodes) && !TraceEnabled('X', 3) &&
      value->Load(in.data, width) == kLoadDone) {
    std::memcpy(target.rgbValue, in.data, width);
    PutCopiedLength(target, width);
    value->SetMark(ColumnValue::kHeld);
    return SQL_SUCCESS;
  }
  const ConversionPlan plan = value->binding != nullptr
                                  ? value->binding->Plan(value->SqlType(), target.fCType)
                                  : PlanConversion(value->SqlType(), target.fCType, false);
  // A C type without a conversion is refused before anything is loaded or
  // written, the length indicator included.
  if (plan.check != Conversion::kDone) return ConversionResult(stmt, plan.check);
  if (in.isNull) {
    value->SetMark(ColumnValue::kHeld);
    value->SetMark(ColumnValue::kHeldNull);
    return PutNull(stmt, target);
  }
  const RowBytes bytes{in.data, in.length};
  const Conversion outcome =
      ConvertValue(value, &bytes, plan, ToValueTarget(value, target), nullptr);
  if (outcome != Conversion::kNoMemory && outcome != Conversion::kMalformed)
    value->SetMark(ColumnValue::kHeld);
  TraceFinal(plan, target);
  return ConversionResult(stmt, outcome, plan.pieces);
}

}  // namespace

bool TransferQuick(ColumnValue* value, const ValueInPlace& in, const TransferTarget& target) {
  const ColumnBinding* b = value->binding;
  if (b == nullptr || b->Plan(value->SqlType(), target.fCType).check != Conversion::kDone)
    return false;
  if (in.isNull) {
    if (target.indicator == nullptr) return false;  // "22002": TransferBound's
    StoreUnaligned<SQLLEN>(target.indicator, SQL_NULL_DATA);
    return true;
  }
  if (target.rgbValue == nullptr || value->HasMark(ColumnValue::kOdbc3TypeCodes)) return false;
  uint32_t n = NativeWidth(value->SqlType(), target.fCType);
  if (n != 0) {
    if (in.length != n) return false;
    std::memcpy(target.rgbValue, in.data, n);
  } else if (target.fCType == SQL_C_CHAR && value->SqlType() == SQL_VARCHAR) {
    n = layout::RowTextLength(in.data, in.length);  // as VARCHAR values load
    if (target.cbValueMax <= 0 || n >= static_cast<uint64_t>(target.cbValueMax)) return false;
    if (n > 0) std::memcpy(target.rgbValue, in.data, n);
    static_cast<char*>(target.rgbValue)[n] = '\0';
  } else if (target.fCType == SQL_C_CHAR &&
             (value->SqlType() == SQL_TIMESTAMP || value->SqlType() == SQL_DATE ||
              value->SqlType() == SQL_TIME)) {
    // Their text is written whole by the value's own conversion, as the
    // general way does; a cut one goes that way again for its record.
    SQLLEN length = 0;
    if (value->Load(in.data, in.length) != kLoadDone ||
        value->GetChar(target.rgbValue, target.cbValueMax, &length) != kConversionDone)
      return false;
    n = length > 0 ? static_cast<uint32_t>(length) : 0;
  } else {
    return false;
  }
  PutCopiedLength(target, n);
  return true;
}

namespace {

SQLRETURN PieceValue(Statement* stmt, ColumnValue* value, const ConversionPlan& plan,
                     const ValueInPlace* in, const FetchDataElement* source,
                     const TransferTarget& target, uint16_t icol, GetDataPosition* position) {
  if (!plan.pieces) {
    position->Reset();
  } else if (!position->Covers(icol, target.fCType)) {
    position->Start(icol, target.fCType);
  } else if (position->Finished()) {
    return SQL_NO_DATA_FOUND;
  }
  const bool isNull = in != nullptr ? in->isNull : value->HasMark(ColumnValue::kHeldNull);
  if (isNull) {
    if (plan.pieces) position->Finish();
    return PutNull(stmt, target);
  }
  // A later piece of a value held in an element finds the value still
  // loaded from it: reading a long value in pieces copies it once, not once
  // a piece.
  const bool held = source != nullptr && source == value->data;
  const bool stillLoaded = in == nullptr || (plan.pieces && position->Offset() > 0 && held &&
                                             position->LoadedFrom() == source);
  const RowBytes bytes{in != nullptr ? in->data : nullptr, in != nullptr ? in->length : 0};
  if (!stillLoaded && plan.pieces) position->SetLoadedFrom(nullptr);
  PiecePlace place{position->Offset(), 0, 0};
  const Conversion outcome = ConvertValue(value, stillLoaded ? nullptr : &bytes, plan,
                                          ToValueTarget(value, target), &place);
  if (!stillLoaded && plan.pieces && held && outcome != Conversion::kNoMemory &&
      outcome != Conversion::kMalformed) {
    position->SetLoadedFrom(source);
  }
  TraceFinal(plan, target);
  if (plan.pieces && (outcome == Conversion::kDone || outcome == Conversion::kTruncated))
    position->Advance(place.next, place.end);
  return ConversionResult(stmt, outcome, plan.pieces);
}

// The records a transfer posted concern its column (SQL_DIAG_COLUMN_NUMBER).
static void StampColumn(Statement* stmt, uint32_t before, uint16_t icol) {
  ErrorData* r = stmt->errors.Tail();
  for (uint32_t n = stmt->errors.Count(); r != nullptr && n > before; --n) {
    r->column = icol;
    // Its row in the rowset is the fetch's to know.
    if (r->row == 0) r->row = SQL_ROW_NUMBER_UNKNOWN;
    r = static_cast<ErrorData*>(r->Previous());
  }
}

}  // namespace

SQLRETURN TransferBound(Statement* stmt, ColumnValue* value, const ValueInPlace& in,
                        const TransferTarget& target) {
  const uint32_t before = stmt->errors.Count();
  const SQLRETURN rc = BoundValue(stmt, value, in, target);
  if (value->binding != nullptr) StampColumn(stmt, before, value->binding->columnNumber);
  return rc;
}

SQLRETURN TransferPiece(Statement* stmt, ColumnValue* value, const ConversionPlan& plan,
                        const ValueInPlace* in, const FetchDataElement* source,
                        const TransferTarget& target, uint16_t icol, GetDataPosition* position) {
  const uint32_t before = stmt->errors.Count();
  const SQLRETURN rc = PieceValue(stmt, value, plan, in, source, target, icol, position);
  StampColumn(stmt, before, icol);
  return rc;
}
