// The wire forms of values (see the table in protocol/ValueLayout.h).
#include "protocol/ValueLayout.h"

#include <cstring>

namespace layout {

namespace {

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

// A switch rather than a table: every value sent or read asks.
Layout LayoutOf(int32_t sqlType) {
  if (sqlType >= kSqlIntervalYear && sqlType <= kSqlIntervalMinuteToSecond) return Layout::kText;
  switch (sqlType) {
    case kSqlChar:
    case kSqlVarChar:
    case kSqlLongVarChar:
      return Layout::kText;
    case kSqlBinary:
    case kSqlVarBinary:
    case kSqlLongVarBinary:
      return Layout::kBinary;
    case kSqlBit:
      return Layout::kBit;
    case kSqlTinyInt:
    case kSqlSmallInt:
    case kSqlInteger:
      return Layout::kInteger;
    case kSqlBigInt:
      return Layout::kBigInt;
    case kSqlReal:
      return Layout::kReal;
    case kSqlFloat:
    case kSqlDouble:
      return Layout::kDouble;
    case kSqlNumeric:
    case kSqlDecimal:
      return Layout::kNumeric;
    case kSqlDate:
      return Layout::kDate;
    case kSqlTime:
      return Layout::kTime;
    case kSqlTimestamp:
      return Layout::kTimestamp;
    default:
      return Layout::kNone;
  }
}

void EncodeText(const char* text, uint32_t length, uint8_t* out) {
  if (length > 0) std::memcpy(out, text, length);
  out[length] = 0;
}

uint32_t RowTextLength(const uint8_t* in, uint32_t size) {
  if (size == 0) return 0;
  const void* nul = std::memchr(in, 0, size);
  return nul ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - in) : size;
}

uint32_t ParameterTextLength(const uint8_t* in, uint32_t size) {
  return size > 0 && in[size - 1] == 0 ? size - 1 : size;
}

uint32_t BinaryCountBytes(int32_t sqlType) {
  return sqlType == kSqlBinary ? 0 : sqlType == kSqlVarBinary ? 1 : 4;
}

void EncodeBinaryCount(uint32_t countBytes, uint32_t count, uint8_t* out) {
  if (countBytes == 1) out[0] = static_cast<uint8_t>(count);
  if (countBytes == 4) Put32(out, count);
}

bool DecodeBinary(uint32_t countBytes, uint32_t declared, const uint8_t* in, uint32_t size,
                  const uint8_t** bytes, uint32_t* count) {
  if (size < countBytes) return false;
  const uint32_t n = countBytes == 0 ? declared : countBytes == 1 ? in[0] : Get32(in);
  if (size - countBytes < n) return false;
  *bytes = in + countBytes;
  *count = n;
  return true;
}

void EncodeInteger(int64_t v, uint32_t width, uint8_t* out) {
  for (uint32_t i = 0; i < width; ++i)
    out[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}

bool DecodeInteger(const uint8_t* in, uint32_t size, uint32_t width, bool isSigned, int64_t* v) {
  if (size < width) return false;
  switch (width) {
    case 1:
      *v = isSigned ? static_cast<int8_t>(in[0]) : in[0];
      return true;
    case 2:
      *v = static_cast<int16_t>(Get16(in));
      return true;
    default:
      *v = static_cast<int32_t>(Get32(in));
      return true;
  }
}

void EncodeBigInt(bool negative, uint64_t magnitude, bool marked, uint8_t* out) {
  for (int i = 0; i < 4; ++i) Put16(out + 2 * i, static_cast<uint16_t>(magnitude >> (48 - 16 * i)));
  if (marked && negative && magnitude <= 0xffffffffull) Put16(out, 0x8000);
  Put16(out + 8, negative ? 1 : 0);
}

bool DecodeBigInt(const uint8_t* in, uint32_t size, bool marked, bool* negative,
                  uint64_t* magnitude) {
  if (size < kBigIntBytes) return false;
  uint16_t w[4] = {Get16(in), Get16(in + 2), Get16(in + 4), Get16(in + 6)};
  *negative = Get16(in + 8) != 0;
  if (marked && *negative && w[0] == 0x8000 && w[1] == 0 && (w[2] | w[3]) != 0) w[0] = 0;
  *magnitude = (static_cast<uint64_t>(w[0]) << 48) | (static_cast<uint64_t>(w[1]) << 32) |
               (static_cast<uint64_t>(w[2]) << 16) | w[3];
  return true;
}

void EncodeReal(float v, uint8_t* out) { std::memcpy(out, &v, 4); }
bool DecodeReal(const uint8_t* in, uint32_t size, float* v) {
  if (size < 4) return false;
  std::memcpy(v, in, 4);
  return true;
}
void EncodeDouble(double v, uint8_t* out) { std::memcpy(out, &v, 8); }
bool DecodeDouble(const uint8_t* in, uint32_t size, double* v) {
  if (size < 8) return false;
  std::memcpy(v, in, 8);
  return true;
}

// Digit k, counted from the least significant, is nibble k of the packed
// bytes: byte k / 2, the high nibble for odd k.
void EncodeNumeric(const Digits& d, bool parameter, uint8_t* out) {
  const uint32_t at = parameter ? 4 : 2;
  std::memset(out, 0, parameter ? kNumericParameterBytes : kNumericRowBytes);
  out[0] = d.negative ? 1 : 0;
  out[1] = static_cast<uint8_t>(d.exponent);
  for (uint32_t k = 0; k < kSqlNumericDigits; ++k) {
    const uint8_t digit = d.digits[kSqlNumericDigits - 1 - k];
    out[at + k / 2] |= static_cast<uint8_t>((k % 2) ? (digit << 4) : digit);
  }
}

bool DecodeNumeric(const uint8_t* in, uint32_t size, bool parameter, Digits* d) {
  const uint32_t at = parameter ? 4 : 2;
  if (size < (parameter ? kNumericParameterBytes : kNumericRowBytes)) return false;
  Digits read;
  for (uint32_t k = 0; k < kSqlNumericDigits; ++k) {
    const uint8_t digit = (k % 2) ? in[at + k / 2] >> 4 : in[at + k / 2] & 0x0f;
    if (digit > 9) return false;
    read.digits[kSqlNumericDigits - 1 - k] = digit;
  }
  read.negative = in[0] != 0;
  read.exponent = static_cast<int8_t>(in[1]);
  *d = read;
  return true;
}

uint32_t DateTimeBytes(SqlForm form) {
  switch (form) {
    case SqlForm::kDate:
    case SqlForm::kTime:
      return 6;
    case SqlForm::kTimestamp:
      return 16;
    default:
      return 0;
  }
}

void EncodeDateTime(SqlForm form, const DateTime& dt, uint8_t* out) {
  const uint16_t date[3] = {static_cast<uint16_t>(dt.year), dt.month, dt.day};
  const uint16_t time[3] = {dt.hour, dt.minute, dt.second};
  const uint16_t* first = form == SqlForm::kTime ? time : date;
  for (int i = 0; i < 3; ++i) Put16(out + 2 * i, first[i]);
  if (form != SqlForm::kTimestamp) return;
  for (int i = 0; i < 3; ++i) Put16(out + 6 + 2 * i, time[i]);
  Put32(out + 12, dt.fraction);
}

bool DecodeDateTime(SqlForm form, const uint8_t* in, uint32_t size, DateTime* dt) {
  const uint32_t n = DateTimeBytes(form);
  if (n == 0 || size < n) return false;
  DateTime read;
  if (form == SqlForm::kTime) {
    read.hour = Get16(in);
    read.minute = Get16(in + 2);
    read.second = Get16(in + 4);
  } else {
    read.year = static_cast<int16_t>(Get16(in));
    read.month = Get16(in + 2);
    read.day = Get16(in + 4);
  }
  if (form == SqlForm::kTimestamp) {
    read.hour = Get16(in + 6);
    read.minute = Get16(in + 8);
    read.second = Get16(in + 10);
    read.fraction = Get32(in + 12);
  }
  *dt = read;
  return true;
}

}  // namespace layout
