// The transfer of one column value into an application buffer, and the
// piecewise reading of long character and binary values by SQLGetData.
#include "base/Unaligned.h"
#include "odbc/fetch/Transfer.h"

#include <sqlext.h>

#include <cstring>

#include "convert/ColumnValue.h"
#include "convert/ConvertColumnValue.h"
#include "convert/NumericGuid.h"
#include "convert/WideValue.h"
#include "handles/ColumnBinding.h"
#include "handles/ClientDiagnostics.h"
#include "base/Alloc.h"
#include "base/Trace.h"
#include "handles/Statement.h"
#include "protocol/FetchData.h"

namespace {

// SQL_C_DEFAULT resolved by the column's SQL type (SQL_C_DEFAULT itself
// when the type has no default). Other C types are returned as they are.
SQLSMALLINT EffectiveCType(const ColumnValue* value, SQLSMALLINT fCType) {
  return fCType == SQL_C_DEFAULT ? DefaultCType(value->SqlType()) : fCType;
}

bool IsPiecewise(SQLSMALLINT cType) {
  return cType == SQL_C_CHAR || cType == SQL_C_BINARY || cType == SQL_C_WCHAR;
}

// Bytes of the application's buffer a conversion may use: none without a
// buffer, whatever cbValueMax says.
uint64_t Room(const TransferTarget& target) {
  return target.rgbValue != nullptr && target.cbValueMax > 0
             ? static_cast<uint64_t>(target.cbValueMax)
             : 0;
}

// Posts the diagnostic of a conversion result and returns the call's code.
SQLRETURN MapResult(Statement* stmt, int result) {
  switch (result) {
    case kConversionDone:
      return SQL_SUCCESS;
    case kConversionTruncated:
      return VEL_POST(stmt, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
    case kConversionNoMemory:
      return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
    case kConversionUnknownCType:
      // A C type outside the conversion table, or SQL_C_DEFAULT for a column
      // type without a default: refused with the interface's SQLSTATE for a
      // program type out of range; nothing is written.
      return VEL_POST(stmt, SQL_ERROR, kDiagProgramTypeOutOfRange);
    default:
      return VEL_POST(stmt, SQL_ERROR, kDiagLossOfSignificance);
  }
}

// "GetDataFinal" dump of what was written: never more than the buffer
// holds, whatever length the conversion reports for the whole value.
void TraceFinal(SQLSMALLINT cType, const void* rgbValue, SQLLEN cbValueMax, SQLLEN length,
                int result) {
  if (!TraceEnabled('X', 3) || rgbValue == nullptr || length < 0) return;
  if (result != kConversionDone && result != kConversionTruncated) return;
  uint64_t shown = static_cast<uint64_t>(length);
  if (IsPiecewise(cType)) {
    uint64_t room = cbValueMax > 0 ? static_cast<uint64_t>(cbValueMax) : 0;
    if (shown > room) shown = room;
  }
  if (shown > 16384) shown = 16384;
  TraceDump("GetDataFinal", rgbValue, shown);
}

// Copies the piece of a value under way that starts at the position's offset
// from source, which holds the first valid bytes of the value's converted
// form (total bytes long): held bytes, then NULs. Advances position.
SQLRETURN CopyPiece(Statement* stmt, SQLSMALLINT cType, const char* source, uint64_t held,
                    uint64_t valid, uint64_t total, const TransferTarget& target,
                    GetDataPosition* position) {
  const bool text = cType == SQL_C_CHAR;
  const uint64_t offset = position->Offset();
  const uint64_t room = Room(target);
  if (total <= offset) {
    position->Finish();
    return SQL_NO_DATA_FOUND;
  }
  const uint64_t remaining = total - offset;
  if (valid > total) valid = total;
  uint64_t piece = remaining;
  const uint64_t capacity = text ? (room > 0 ? room - 1 : 0) : room;
  bool cut = false;
  if (piece > capacity || (text && room == 0)) {
    piece = capacity;
    cut = true;
  }
  if (offset + piece > valid) {
    piece = valid > offset ? valid - offset : 0;
    cut = true;
  }
  if (room > 0) {
    char* out = static_cast<char*>(target.rgbValue);
    const uint64_t copied = offset >= held ? 0 : (held - offset < piece ? held - offset : piece);
    if (copied > 0) std::memcpy(out, source + offset, static_cast<std::size_t>(copied));
    std::memset(out + copied, 0, static_cast<std::size_t>(piece - copied));
    if (text) out[piece] = '\0';
  }
  if (target.pcbValue != nullptr) *target.pcbValue = static_cast<SQLLEN>(remaining);
  SQLRETURN rc = SQL_SUCCESS;
  if (cut) {
    position->Advance(offset + piece, total);
    rc = VEL_POST(stmt, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
  } else {
    position->Advance(total, total);
  }
  // What this call wrote: the piece and, for characters, its NUL.
  TraceFinal(cType, target.rgbValue, target.cbValueMax, static_cast<SQLLEN>(piece + (text ? 1 : 0)),
             kConversionDone);
  return rc;
}

// A later piece of a value under way. When the conversion is a plain copy
// of the held bytes (text and binary values) the piece comes straight from
// them, so reading a long value in pieces costs neither a scratch buffer
// nor a new conversion per piece; otherwise the value is converted again
// into a scratch buffer that reaches as far as this piece.
SQLRETURN ContinuePiece(Statement* stmt, ColumnValue* value, SQLSMALLINT cType,
                        const TransferTarget& target, GetDataPosition* position) {
  const bool text = cType == SQL_C_CHAR;
  const char* held = nullptr;
  uint64_t heldLength = 0, valueLength = 0;
  if (value->HeldBytes(text, &held, &heldLength, &valueLength)) {
    return CopyPiece(stmt, cType, held, heldLength, valueLength, valueLength, target, position);
  }

  uint64_t scratchSize = position->Offset() + Room(target);
  const uint64_t whole = position->Total() + (text ? 1 : 0);
  if (scratchSize > whole) scratchSize = whole;
  if (scratchSize == 0) scratchSize = 1;
  char local[1024];
  char* scratch = local;
  if (scratchSize > sizeof local) {
    scratch = static_cast<char*>(VelAlloc(static_cast<std::size_t>(scratchSize)));
    if (scratch == nullptr) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
  }
  SQLLEN length = 0;
  int result = ConvertColumnValue(value, cType, scratch, static_cast<SQLLEN>(scratchSize), &length);
  SQLRETURN rc;
  if (result != kConversionDone && result != kConversionTruncated) {
    rc = MapResult(stmt, result);
  } else {
    // Bytes of the value present in the scratch buffer.
    const uint64_t valid = text ? scratchSize - 1 : scratchSize;
    rc = CopyPiece(stmt, cType, scratch, valid, valid,
                   length > 0 ? static_cast<uint64_t>(length) : 0, target, position);
  }
  if (scratch != local) VelFree(scratch);
  return rc;
}

// A piece of a value read as wide text: the position counts the UTF-8
// bytes of the value's text already returned, so a piece always starts on
// a character, and a pair of surrogates is never split between pieces.
SQLRETURN WidePieceOf(Statement* stmt, const ColumnValue* value, const TransferTarget& target,
                      GetDataPosition* position) {
  const uint64_t offset = position->Offset();
  SQLLEN length = 0;
  WidePiece piece;
  const int result = GetWideText(value, offset, target.rgbValue, static_cast<SQLLEN>(Room(target)),
                                 &length, &piece);
  if (target.pcbValue != nullptr) *target.pcbValue = length;
  TraceFinal(SQL_C_WCHAR, target.rgbValue, target.cbValueMax, length, result);
  if (result == kConversionDone) {
    position->Advance(piece.total, piece.total);
  } else if (result == kConversionTruncated) {
    position->Advance(offset + piece.used, piece.total);
  }
  return MapResult(stmt, result);
}

}  // namespace

namespace {

// The transfer of a value in; source is the element holding it, when one
// does (a value read in pieces stays loaded from its element).
SQLRETURN Transfer(Statement* stmt, ColumnValue* value, const ValueInPlace& in,
                   const FetchDataElement* source, const TransferTarget& target, uint16_t icol,
                   GetDataPosition* position) {
  const SQLSMALLINT cType = EffectiveCType(value, target.fCType);
  // A C type without a conversion is refused before anything is loaded or
  // written (the length indicator included), whatever the value holds; a
  // value being read in pieces stays where it was.
  if (!HasConversion(value->SqlType(), target.fCType))
    return MapResult(stmt, kConversionUnknownCType);
  const bool piecewise = position != nullptr && IsPiecewise(cType);
  if (position != nullptr) {
    if (piecewise && position->Covers(icol, target.fCType)) {
      if (position->Finished()) return SQL_NO_DATA_FOUND;
    } else if (piecewise) {
      position->Start(icol, target.fCType);
    } else {
      position->Reset();
    }
  }

  if (in.isNull) {
    if (target.indicator != nullptr) StoreUnaligned<SQLLEN>(target.indicator, SQL_NULL_DATA);
    if (piecewise) position->Finish();
    return SQL_SUCCESS;
  }

  // When the application gives no length indicator the length still has a
  // place to go, and is not reported.
  SQLLEN length = SQL_NO_TOTAL;
  if (target.pcbValue != nullptr) *target.pcbValue = SQL_NO_TOTAL;
  if (target.indicator != nullptr && target.indicator != target.pcbValue)
    StoreUnaligned<SQLLEN>(target.indicator, 0);

  // A later piece of a held value finds the value still loaded from it:
  // reading a long value in pieces then copies it once, not once a piece.
  const bool stillLoaded = piecewise && position->Offset() > 0 && source != nullptr &&
                           source == value->data && position->LoadedFrom() == source;
  if (!stillLoaded) {
    if (piecewise) position->SetLoadedFrom(nullptr);
    int loaded = value->Load(in.data, in.length);
    if (loaded == kLoadNoMemory) return VEL_POST(stmt, SQL_ERROR, kDiagMemory);
    if (loaded != kLoadDone) {
      // The server sent fewer bytes than the column's layout needs: the
      // reply is malformed.
      return VEL_POST(stmt, SQL_ERROR, kDiagInvalidReply);
    }
    if (piecewise && source != nullptr && source == value->data) position->SetLoadedFrom(source);
  }

  if (piecewise && cType == SQL_C_WCHAR) return WidePieceOf(stmt, value, target, position);
  if (piecewise && position->Offset() > 0) {
    return ContinuePiece(stmt, value, cType, target, position);
  }

  // SQL_C_NUMERIC takes the precision and scale the application set in its
  // row descriptor for the column, when it did (SQLBindCol sets none).
  const ColumnBinding* b = value->binding;
  int result =
      cType == SQL_C_NUMERIC && b != nullptr && b->precision > 0 && target.rgbValue
          ? GetNumericStruct(value, b->precision, b->scale, target.rgbValue, &length)
          : ConvertColumnValue(value, target.fCType, target.rgbValue, target.cbValueMax, &length);
  if (target.pcbValue != nullptr) *target.pcbValue = length;
  TraceFinal(cType, target.rgbValue, target.cbValueMax, length, result);

  if (piecewise) {
    const uint64_t total = length > 0 ? static_cast<uint64_t>(length) : 0;
    if (result == kConversionDone) {
      position->Advance(total, total);
    } else if (result == kConversionTruncated && Room(target) > 0) {
      // What this call returned; a call without a buffer returned nothing.
      position->Advance(Room(target) - (cType == SQL_C_CHAR ? 1 : 0), total);
    } else {
      position->Measure(total);
    }
  }
  // A number or a time that lost digits of its fraction is "01S07"; cut
  // texts and bytes are "01004".
  if (result == kConversionTruncated && !IsPiecewise(cType))
    return VEL_POST(stmt, SQL_SUCCESS_WITH_INFO, kDiagFractionalTruncation);
  return MapResult(stmt, result);
}

}  // namespace

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

SQLRETURN TransferValue(Statement* stmt, ColumnValue* value, const FetchDataElement* element,
                        const TransferTarget& target, uint16_t icol, GetDataPosition* position) {
  const ValueInPlace in{element->IsNull(), element->Data(), element->Length()};
  const uint32_t before = stmt->errors.Count();
  const SQLRETURN rc = Transfer(stmt, value, in, element, target, icol, position);
  StampColumn(stmt, before, icol);
  return rc;
}

SQLRETURN TransferValueInPlace(Statement* stmt, ColumnValue* value, const ValueInPlace& in,
                               const TransferTarget& target) {
  const uint32_t before = stmt->errors.Count();
  const SQLRETURN rc = Transfer(stmt, value, in, nullptr, target, 0, nullptr);
  if (value->binding != nullptr) StampColumn(stmt, before, value->binding->columnNumber);
  return rc;
}
