// Shared helpers of the value-class tests: row-byte builders and one check
// of a conversion into a buffer followed by guard bytes, which proves
// nothing is written past the bytes a conversion may use.
#ifndef VELORA_TESTS_CONVERT_UTIL_H
#define VELORA_TESTS_CONVERT_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/Alloc.h"
#include "convert/ConvertColumnValue.h"

namespace convert_test {

using ValuePtr = std::unique_ptr<ColumnValue>;
using Bytes = std::vector<uint8_t>;
const int kFail = kConversionFailed, kDone = kConversionDone, kCut = kConversionTruncated;
const uint8_t kGuard = 0xA5;

template <typename T>
Bytes LE(T v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}
inline Bytes F(double v) { return LE(v); }
inline Bytes R(float v) { return LE(v); }
inline Bytes Cat(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }
inline Bytes T(const std::string& s, bool nul = true) { return Cat(Bytes(s.begin(), s.end()), Bytes(nul, 0)); }
// Magnitude in four 16-bit words, most significant first, then the sign.
inline Bytes BigIntBytes(uint64_t m, bool negative) {
  Bytes b;
  for (int shift : {48, 32, 16, 0}) b = Cat(b, LE(uint16_t(m >> shift)));
  return Cat(b, LE(uint16_t(negative)));
}
inline Bytes B(int64_t v) { return BigIntBytes(v < 0 ? 0 - uint64_t(v) : uint64_t(v), v < 0); }
// Sign, exponent and up to 16 right-aligned decimal digits in BCD.
inline Bytes N(bool negative, int8_t exponent, const std::string& digits) {
  std::string d = std::string(16 - digits.size(), '0') + digits;
  Bytes b = {uint8_t(negative), uint8_t(exponent)};
  for (int k = 0; k < 8; ++k) b.push_back(uint8_t((d[14 - 2 * k] - '0') << 4 | (d[15 - 2 * k] - '0')));
  return b;
}
inline Bytes Fields(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b = Cat(b, LE(static_cast<uint16_t>(x)));
  return b;
}
inline Bytes Ts(int y, int mo, int d, int h, int mi, int s, uint32_t f) {
  return Cat(Fields({y, mo, d, h, mi, s}), LE(f));
}

inline ValuePtr Make(int32_t sqlType, uint32_t length = 0, uint32_t precision = 0) {
  ColumnDescription d;
  d.sqlDataType = sqlType, d.length = length, d.precision = precision;
  return ValuePtr(CreateColumnValue(&d));
}
inline int LoadBytes(ColumnValue* v, const Bytes& b) {
  return v->Load(b.empty() ? nullptr : b.data(), static_cast<uint32_t>(b.size()));
}
inline ValuePtr Loaded(int32_t sqlType, const Bytes& b, uint32_t length = 0, uint32_t precision = 0) {
  ValuePtr v = Make(sqlType, length, precision);
  if (v && LoadBytes(v.get(), b) != kLoadDone) v.reset();
  return v;
}

struct Conversion {
  int result;
  SQLLEN pcb = SQL_NO_TOTAL;
  Bytes buffer;  // the bytes the conversion may use, then 32 guard bytes
  std::string Text() const { return std::string(buffer.begin(), buffer.end()).c_str(); }
};
// Converts into cbValueMax bytes (character and binary types; at least 16
// for the others), then guard bytes: a write past the bytes a conversion
// may use shows as a changed guard, one before the buffer is the
// sanitizer's to catch.
inline Conversion Convert(const ColumnValue* v, SQLSMALLINT cType, SQLLEN cbValueMax = 64) {
  const bool counted = cType == SQL_C_CHAR || cType == SQL_C_BINARY;
  Conversion c;
  c.buffer.assign(size_t(std::max<SQLLEN>(cbValueMax, counted ? 0 : 16)) + 32, kGuard);
  c.result = ConvertColumnValue(v, cType, c.buffer.data(), cbValueMax, &c.pcb);
  return c;
}
// One conversion's result and length; on failure nothing written, else
// the buffer starts with out and holds nothing after it.
inline void Check(const ColumnValue* v, SQLSMALLINT cType, SQLLEN cb, int result, const Bytes& out, SQLLEN pcb) {
  ASSERT_TRUE(v);
  Conversion c = Convert(v, cType, cb);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(pcb, c.pcb);
  ASSERT_LE(out.size() * (result != kFail), c.buffer.size() - 32);
  Bytes expected = Cat(result == kFail ? Bytes() : out, Bytes(c.buffer.size(), kGuard));
  expected.resize(c.buffer.size());
  EXPECT_EQ(expected, c.buffer);
}
// A character target: text and its NUL.
inline void CheckText(const ColumnValue* v, SQLLEN cb, int result, const std::string& text, SQLLEN pcb) {
  Check(v, SQL_C_CHAR, cb, result, T(text), pcb);
}

// A row of the conversion tables: a value of type from its row bytes,
// converted to cType into cb bytes.
// clang-format off
struct Row { int32_t type; Bytes row; SQLSMALLINT cType; SQLLEN cb; int result; Bytes out; SQLLEN pcb; };
// clang-format on
// An integer target's row: the value in the C type's width, which is its
// length; no length after a failure.
inline Row Int(int32_t type, const Bytes& row, SQLSMALLINT cType, int result, int64_t value) {
  Bytes b = LE(value);
  b.resize(cType == SQL_C_BIT || cType == SQL_C_TINYINT || cType == SQL_C_STINYINT || cType == SQL_C_UTINYINT ? 1
           : cType == SQL_C_SHORT || cType == SQL_C_SSHORT || cType == SQL_C_USHORT                           ? 2
           : cType == SQL_C_SBIGINT || cType == SQL_C_UBIGINT                                                 ? 8
                                                                                                              : 4);
  return {type, row, cType, 0, result, b, result == kFail ? SQL_NO_TOTAL : SQLLEN(b.size())};
}
// Columns declared with length and precision.
inline void CheckRow(const Row& r, uint32_t length = 8, uint32_t precision = 0) {
  Check(Loaded(r.type, r.row, length, precision).get(), r.cType, r.cb, r.result, r.out, r.pcb);
}
template <size_t n>
void CheckRows(const Row (&rows)[n], uint32_t length = 8, uint32_t precision = 0) {
  for (size_t i = 0; i < n; ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    CheckRow(rows[i], length, precision);
  }
}

}  // namespace convert_test

#endif
