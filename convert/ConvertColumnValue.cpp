// The dispatch by C type: the table's operation for a C type, run on the
// value's class; and the transfer of one value, whole or in pieces.
#include "convert/ConvertColumnValue.h"

#include "convert/IntervalValues.h"
#include "protocol/IntervalText.h"

#include "base/Alloc.h"
#include "convert/NumericGuid.h"
#include "convert/ValueOutput.h"

namespace {

bool IsPieceOp(CTarget op) { return op == kToChar || op == kToBinary || op == kToWChar; }

bool IsBinaryType(int32_t sqlType) {
  return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

// The value's character or binary form made whole in a buffer: held bytes
// when the value has them, else its SQL_C_CHAR (or SQL_C_BINARY) result,
// in local when it fits, else in a buffer of its own (*owned).
int WholeForm(const ColumnValue* value, bool text, char* local, std::size_t size, char** owned,
              PieceSource* source) {
  SQLLEN length = 0;
  int result = text ? value->GetChar(local, static_cast<SQLLEN>(size), &length)
                    : value->GetBinary(local, static_cast<SQLLEN>(size), &length);
  uint64_t count = length > 0 ? static_cast<uint64_t>(length) : 0;
  const char* bytes = local;
  if (count + (text ? 1 : 0) > size) {
    // Longer than the local buffer (whole-or-nothing forms fail there).
    *owned = static_cast<char*>(VelAlloc(static_cast<std::size_t>(count) + 1));
    if (*owned == nullptr) return kConversionNoMemory;
    result = text ? value->GetChar(*owned, static_cast<SQLLEN>(count) + 1, &length)
                  : value->GetBinary(*owned, static_cast<SQLLEN>(count), &length);
    bytes = *owned;
  }
  if (result != kConversionDone) return result == kConversionTruncated ? kConversionFailed : result;
  *source = {bytes, count, count};
  return kConversionDone;
}

// A character or binary target from offset on (see ConvertValue). Held
// bytes go out by the piece rule; a value without them goes out by its
// own conversion when whole, and from its whole form made in a buffer
// when a later piece or wide text is asked for.
int ConvertPiece(const ColumnValue* value, CTarget op, const ValueTarget& t, uint64_t offset,
                 uint64_t* next, uint64_t* end) {
  const SQLLEN cbValueMax = t.rgbValue != nullptr ? t.cbValueMax : 0;
  const bool hex = op != kToBinary && IsBinaryType(value->SqlType());
  const char* bytes = nullptr;
  uint64_t held = 0, count = 0;
  if (value->HeldBytes(&bytes, &held, &count)) {
    const PieceForm form = op == kToBinary  ? PieceForm::kBytes
                           : op == kToWChar ? (hex ? PieceForm::kHexWide : PieceForm::kWideText)
                           : hex            ? PieceForm::kHexText
                                            : PieceForm::kText;
    *end = count;
    return PutPiece(form, {bytes, held, count}, offset, t.rgbValue, cbValueMax, t.pcbValue, next);
  }
  if (offset == 0 && op != kToWChar) {
    SQLLEN length = 0;
    const int result = op == kToChar ? value->GetChar(t.rgbValue, cbValueMax, &length)
                                     : value->GetBinary(t.rgbValue, cbValueMax, &length);
    StoreLength(t.pcbValue, length > 0 ? static_cast<uint64_t>(length) : 0);
    *end = length > 0 ? static_cast<uint64_t>(length) : 0;
    // What this call returned; a call without a buffer returned nothing.
    const uint64_t returned =
        cbValueMax > 0 ? static_cast<uint64_t>(cbValueMax) - (op == kToChar) : 0;
    *next = result == kConversionDone ? *end : result == kConversionTruncated ? returned : 0;
    return result;
  }
  char local[256];
  char* owned = nullptr;
  PieceSource source{};
  int result = WholeForm(value, op != kToBinary, local, sizeof local, &owned, &source);
  if (result == kConversionDone) {
    const PieceForm form = op == kToBinary  ? PieceForm::kBytes
                           : op == kToWChar ? PieceForm::kWideText
                                            : PieceForm::kText;
    *end = source.length;
    result = PutPiece(form, source, offset, t.rgbValue, cbValueMax, t.pcbValue, next);
  }
  VelFree(owned);
  return result;
}

int ConvertByOp(const ColumnValue* value, CTarget op, SQLSMALLINT cType, void* rgbValue,
                SQLLEN cbValueMax, SQLLEN* pcbValue) {
  if (IsPieceOp(op)) {
    uint64_t next = 0, end = 0;
    return ConvertPiece(value, op, {rgbValue, cbValueMax, pcbValue, 0, 0}, 0, &next, &end);
  }
  if (!rgbValue) return kConversionFailed;
  switch (op) {
    case kToBit:
      return value->GetBit(rgbValue, pcbValue);
    case kToTinyInt:
      return value->GetTinyInt(rgbValue, pcbValue);
    case kToShort:
      return value->GetShort(rgbValue, pcbValue);
    case kToLong:
      return value->GetLong(rgbValue, pcbValue);
    case kToFloat:
      return value->GetFloat(rgbValue, pcbValue);
    case kToDouble:
      return value->GetDouble(rgbValue, pcbValue);
    case kToDate:
      return value->GetDate(rgbValue, pcbValue);
    case kToTime:
      return value->GetTime(rgbValue, pcbValue);
    case kToTimestamp:
      return value->GetTimestamp(rgbValue, pcbValue);
    case kToUShort:
      return value->GetUShort(rgbValue, pcbValue);
    case kToULong:
      return value->GetULong(rgbValue, pcbValue);
    case kToUTinyInt:
      return value->GetUTinyInt(rgbValue, pcbValue);
    case kToSBigInt:
      return value->GetSBigInt(rgbValue, pcbValue);
    case kToUBigInt:
      return value->GetUBigInt(rgbValue, pcbValue);
    case kToNumeric:
      return GetNumericStruct(value, 0, 0, rgbValue, pcbValue);
    case kToGuid:
      return GetGuid(value, rgbValue, pcbValue);
    case kToInterval:
      return GetIntervalStruct(value, cType, rgbValue, pcbValue);
    case kToChar:
    case kToBinary:
    case kToWChar:
      break;  // written above
  }
  return kConversionFailed;
}

Conversion FromResult(int result) {
  switch (result) {
    case kConversionDone:
      return Conversion::kDone;
    case kConversionTruncated:
      return Conversion::kTruncated;
    case kConversionNoMemory:
      return Conversion::kNoMemory;
    case kConversionUnknownCType:
      return Conversion::kUnknownCType;
    case kConversionIntervalOverflow:
      return Conversion::kIntervalOverflow;
    case kConversionInvalidText:
      return Conversion::kInvalidText;
    case kConversionRestricted:
      return Conversion::kRestricted;
    default:
      return Conversion::kFailed;
  }
}

}  // namespace

int ConvertColumnValue(const ColumnValue* value, SQLSMALLINT fCType, void* rgbValue,
                       SQLLEN cbValueMax, SQLLEN* pcbValue) {
  if (fCType == SQL_C_DEFAULT) fCType = DefaultCType(value->SqlType());
  CTarget op;
  if (!FindCTarget(fCType, &op)) return kConversionUnknownCType;
  return ConvertByOp(value, op, fCType, rgbValue, cbValueMax, pcbValue);
}

ConversionPlan PlanConversion(int32_t sqlType, SQLSMALLINT fCType, bool refuse) {
  ConversionPlan plan{fCType == SQL_C_DEFAULT ? DefaultCType(sqlType) : fCType, kToChar,
                      Conversion::kDone, false};
  if (IntervalRestricted(sqlType, plan.cType)) {
    plan.check = Conversion::kRestricted;
  } else if (refuse && RefusesConversion(sqlType, fCType)) {
    plan.check = Conversion::kRefused;
  } else if (!FindCTarget(plan.cType, &plan.op)) {
    plan.check = Conversion::kUnknownCType;
  }
  plan.pieces = IsPieceOp(plan.op);
  return plan;
}

Conversion ConvertValue(ColumnValue* value, const RowBytes* bytes, const ConversionPlan& plan,
                        const ValueTarget& target, PiecePlace* place) {
  if (bytes != nullptr) {
    const int loaded = value->Load(bytes->data, bytes->length);
    if (loaded == kLoadNoMemory) return Conversion::kNoMemory;
    if (loaded != kLoadDone) return Conversion::kMalformed;
  }
  if (plan.pieces) {
    PiecePlace whole{0, 0, 0};
    PiecePlace* at = place != nullptr ? place : &whole;
    return FromResult(ConvertPiece(value, plan.op, target, at->offset, &at->next, &at->end));
  }
  // SQL_C_NUMERIC takes the precision and scale the application set in its
  // row descriptor for the column, when it did.
  if (plan.op == kToNumeric && target.precision > 0 && target.rgbValue != nullptr) {
    return FromResult(
        GetNumericStruct(value, target.precision, target.scale, target.rgbValue, target.pcbValue));
  }
  return FromResult(
      ConvertByOp(value, plan.op, plan.cType, target.rgbValue, target.cbValueMax, target.pcbValue));
}
