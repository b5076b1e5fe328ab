// Parameter conversion from text sources: SQL_C_CHAR (and SQL_C_DEFAULT
// read as text) and UTF-16 text made UTF-8.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "base/Alloc.h"
#include "convert/Decimal.h"
#include "convert/NumericGuid.h"
#include "convert/ParameterJob.h"
#include "convert/WideText.h"

namespace paramjob {

namespace {

// Optional sign and decimal digits (none reads as 0). False for anything
// else; *overflow when the magnitude passes 64 bits.
bool ReadWhole(const char* t, uint32_t n, Whole* w, bool* overflow) {
  w->negative = false;
  w->magnitude = 0;
  *overflow = false;
  uint32_t i = 0;
  if (n > 0 && (t[0] == '-' || t[0] == '+')) {
    w->negative = t[0] == '-';
    i = 1;
    if (n == 1) return false;
  }
  for (; i < n; ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(t[i] - '0');
    if (w->magnitude > (UINT64_MAX - digit) / 10) *overflow = true;
    w->magnitude = w->magnitude * 10 + digit;
  }
  return true;
}

bool OnlyNumberCharacters(const char* t, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    const char ch = t[i];
    if (!((ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch == '.')) return false;
  }
  return true;
}

bool ReadDouble(const char* t, uint32_t n, double* v) {
  Decimal d;
  if (!ParseDecimalText(t, n, &d)) return false;
  *v = DecimalToDouble(d);
  return true;
}

// Reads a field at positions first..last of t (those before n) as the C
// text-to-int conversion does: an optional sign and the digits that follow.
int Field(const char* t, uint32_t n, uint32_t first, uint32_t last) {
  int sign = 1, v = 0;
  uint32_t i = first;
  if (i < n && i <= last && (t[i] == '-' || t[i] == '+')) sign = t[i++] == '-' ? -1 : 1;
  for (; i <= last && i < n && t[i] >= '0' && t[i] <= '9'; ++i) v = v * 10 + (t[i] - '0');
  return sign * v;
}

}  // namespace

ParamOutcome FromText(Job& j, bool fromDefault) {
  const char* t = j.text;
  uint32_t n = j.length;
  switch (j.sql->form) {
    case SqlForm::kText:
      return Done(j.out->SetText(t, n));
    case SqlForm::kBinary:
      return Done(j.out->SetBytes(t, n));
    default:
      break;
  }
  // Numbers, dates and times end at a NUL.
  const void* nul = std::memchr(t, 0, n);
  if (nul != nullptr) n = static_cast<uint32_t>(static_cast<const char*>(nul) - t);
  Whole w;
  bool overflow = false;
  double v = 0;
  switch (layout::LayoutOf(j.sql->code)) {
    case layout::Layout::kInteger:
      if (!ReadWhole(t, n, &w, &overflow)) return kParamNonNumeric;
      if (overflow) return kParamDataOutOfRange;
      return PutInteger(j, w, 0);
    case layout::Layout::kBit: {
      if (ReadWhole(t, n, &w, &overflow) && n > 0 && t[0] >= '0' && t[0] <= '9') {
        if (overflow || w.magnitude > 1) return kParamBitOutOfRange;
        v = static_cast<double>(w.magnitude);
      } else if (!OnlyNumberCharacters(t, n) || !ReadDouble(t, n, &v) || !(v >= 0 && v < 2)) {
        return kParamBitOutOfRange;
      }
      if (v != 0 && v != 1) return kParamBitFraction;
      return PutBit(j, static_cast<uint8_t>(v));
    }
    case layout::Layout::kReal:
    case layout::Layout::kDouble: {
      if (!OnlyNumberCharacters(t, n) || !ReadDouble(t, n, &v)) return kParamNonNumeric;
      if (layout::LayoutOf(j.sql->code) == layout::Layout::kDouble) return PutDouble(j, v);
      if (std::fabs(v) > FLT_MAX) return kParamDataOutOfRange;
      return PutReal(j, static_cast<float>(v));
    }
    case layout::Layout::kBigInt: {
      if (n - (n > 0 && t[0] == '-' ? 1 : 0) > 20) return kParamDataTruncated;
      if (!ReadWhole(t, n, &w, &overflow)) return fromDefault ? kParamNotNumeric : kParamNonNumeric;
      if (overflow) return kParamDataOutOfRange;
      return PutBigInt(j, w, false);
    }
    case layout::Layout::kDate: {
      if (n >= 11) return kParamDateText;
      layout::DateTime dt;
      dt.year = static_cast<int16_t>(Field(t, n, 0, 3));
      dt.month = static_cast<uint16_t>(Field(t, n, 5, 6));
      dt.day = static_cast<uint16_t>(Field(t, n, 8, 9));
      return PutDateTime(j, dt);
    }
    case layout::Layout::kTime: {
      if (n >= 10) return kParamTimeText;
      layout::DateTime dt;
      dt.hour = static_cast<uint16_t>(Field(t, n, 0, 1));
      dt.minute = static_cast<uint16_t>(Field(t, n, 3, 4));
      dt.second = static_cast<uint16_t>(Field(t, n, 6, 7));
      return PutDateTime(j, dt);
    }
    case layout::Layout::kTimestamp: {
      layout::DateTime dt;
      dt.year = static_cast<int16_t>(Field(t, n, 0, 3));
      uint16_t* const fields[5] = {&dt.month, &dt.day, &dt.hour, &dt.minute, &dt.second};
      static const uint32_t kAt[5][2] = {{5, 6}, {8, 9}, {11, 12}, {14, 15}, {17, 18}};
      for (int f = 0; f < 5; ++f)
        *fields[f] = static_cast<uint16_t>(Field(t, n, kAt[f][0], kAt[f][1]));
      // The digits after the point are a fraction of a second in
      // nanoseconds: ".5" is 500000000.
      int digits = 0;
      for (uint32_t i = 20; i < n && digits < 9 && t[i] >= '0' && t[i] <= '9'; ++i, ++digits)
        dt.fraction = dt.fraction * 10 + static_cast<uint32_t>(t[i] - '0');
      for (; digits > 0 && digits < 9; ++digits) dt.fraction *= 10;
      return PutDateTime(j, dt);
    }
    default:  // NUMERIC, DECIMAL
      return PutDecimal(j, t, n);
  }
}

ParamOutcome FromWide(Job& j) {
  if (j.in.strictWide && j.length % kWideUnitBytes != 0) return kParamInvalidWide;
  String utf8;
  const auto* units = static_cast<const SQLWCHAR*>(j.in.data);
  const long count = static_cast<long>(j.length / kWideUnitBytes);
  const WideResult r =
      j.in.strictWide ? WideToUtf8(units, count, &utf8) : WideToUtf8Lenient(units, count, &utf8);
  if (r == WideResult::kNoMemory) return kParamMemory;
  if (r != WideResult::kOk) return kParamInvalidWide;
  j.text = utf8.TextOrEmpty();
  j.length = utf8.Length();
  return FromText(j, false);
}

ParamOutcome FromStruct(Job& j) {
  char text[172];
  if (j.c->source == kSrcNumeric) {
    SQL_NUMERIC_STRUCT n;
    std::memcpy(&n, j.in.data, sizeof n);
    if (j.in.digitsSet) n.scale = static_cast<SQLSCHAR>(j.in.scale);
    j.length = NumericStructText(n, text);
  } else {
    SQLGUID g;
    std::memcpy(&g, j.in.data, sizeof g);
    j.length = GuidText(g, text);
  }
  j.text = text;
  return FromText(j, false);
}

}  // namespace paramjob
