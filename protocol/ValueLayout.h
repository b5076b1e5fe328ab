// The wire form of every value, written once for both ends: the row data
// the server sends and the parameter values the driver sends. Each form
// has one encoder and one decoder over plain byte buffers (no allocation):
// encoders write exactly the form's bytes into room the caller sized,
// decoders read only the size bytes given and answer false when they are
// too few or malformed. Numbers are little-endian, as the processors both
// ends run on hold them.
//
//   form                    row (server to driver)       parameter (driver to server)
//   text                    bytes, NUL                   bytes, NUL (counted)
//   binary                  BINARY: declared length      the bytes
//                           VARBINARY: 1-byte count, bytes
//                           LONGVARBINARY: 4-byte count, bytes
//   BIT, TINYINT            1 byte                       the same
//   SMALLINT, INTEGER       2, 4 bytes                   the same
//   BIGINT                  magnitude in four 16-bit words, most significant first,
//                           and a sign word (1: negative); parameters made from C
//                           numbers mark small negative magnitudes (EncodeBigInt)
//   REAL, FLOAT/DOUBLE      4-byte float, 8-byte double  the same
//   NUMERIC/DECIMAL         sign, exponent, 8 bytes of   sign, exponent, 2 zero bytes,
//                           16 packed digits             the same 8 bytes
//   DATE, TIME              three 16-bit fields          the same
//   TIMESTAMP               six 16-bit fields and a 32-bit fraction (ns)
#ifndef VELORA_PROTOCOL_VALUELAYOUT_H
#define VELORA_PROTOCOL_VALUELAYOUT_H

#include <cstdint>

#include "protocol/SqlTypeCatalog.h"

namespace layout {

// The layout of each SQL type's values, by the code it travels under: the
// one place a type is given its wire form. Both ends dispatch on it.
enum class Layout : uint8_t {
  kNone,  // no values of the type travel
  kText,
  kBinary,
  kBit,      // one byte, 0 or 1
  kInteger,  // the width of the type's parameter form (formSize)
  kBigInt,
  kReal,
  kDouble,
  kNumeric,
  kDate,
  kTime,
  kTimestamp,
};
Layout LayoutOf(int32_t sqlType);

// Text: the characters and a NUL. Rows end at the first NUL (or the
// bytes given); a parameter counts its NUL, and embedded NULs stay.
inline uint32_t TextBytes(uint32_t length) { return length + 1; }
void EncodeText(const char* text, uint32_t length, uint8_t* out);
uint32_t RowTextLength(const uint8_t* in, uint32_t size);
uint32_t ParameterTextLength(const uint8_t* in, uint32_t size);

// Binary rows: the count before the bytes is 0 (BINARY: the declared
// length), 1 (VARBINARY) or 4 (LONGVARBINARY) bytes wide.
uint32_t BinaryCountBytes(int32_t sqlType);
void EncodeBinaryCount(uint32_t countBytes, uint32_t count, uint8_t* out);
// The value's bytes within in; false when in holds fewer than its count
// (BINARY: than declared).
bool DecodeBinary(uint32_t countBytes, uint32_t declared, const uint8_t* in, uint32_t size,
                  const uint8_t** bytes, uint32_t* count);

// BIT, TINYINT (1 byte), SMALLINT (2), INTEGER (4): the low bytes of v.
void EncodeInteger(int64_t v, uint32_t width, uint8_t* out);
bool DecodeInteger(const uint8_t* in, uint32_t size, uint32_t width, bool isSigned, int64_t* v);

// BIGINT. marked: a parameter made from a C number, whose negative
// magnitude below 2^32 carries 0x8000 in its first word; the decoder
// reads such a mark away (2^63 itself, whose low words are zero, stays).
constexpr uint32_t kBigIntBytes = 10;
void EncodeBigInt(bool negative, uint64_t magnitude, bool marked, uint8_t* out);
bool DecodeBigInt(const uint8_t* in, uint32_t size, bool marked, bool* negative,
                  uint64_t* magnitude);

// REAL and FLOAT/DOUBLE.
void EncodeReal(float v, uint8_t* out);
bool DecodeReal(const uint8_t* in, uint32_t size, float* v);
void EncodeDouble(double v, uint8_t* out);
bool DecodeDouble(const uint8_t* in, uint32_t size, double* v);

// NUMERIC/DECIMAL: value = digits * 10^exponent, digits[0] the most
// significant of 16. The decoder refuses a digit above 9.
struct Digits {
  bool negative = false;
  int8_t exponent = 0;
  uint8_t digits[kSqlNumericDigits] = {};
};
constexpr uint32_t kNumericRowBytes = 10;
constexpr uint32_t kNumericParameterBytes = 12;
void EncodeNumeric(const Digits& d, bool parameter, uint8_t* out);
bool DecodeNumeric(const uint8_t* in, uint32_t size, bool parameter, Digits* d);

// DATE (year, month, day), TIME (hour, minute, second) and TIMESTAMP (all
// six and the fraction), by form; the same in rows and parameters.
struct DateTime {
  int16_t year = 0;
  uint16_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
};
// 6, 6 or 16; 0 for the other forms.
uint32_t DateTimeBytes(SqlForm form);
void EncodeDateTime(SqlForm form, const DateTime& dt, uint8_t* out);
bool DecodeDateTime(SqlForm form, const uint8_t* in, uint32_t size, DateTime* dt);

}  // namespace layout

#endif
