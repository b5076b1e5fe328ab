// Shared doubles for the value-class tests: value creation, row-byte
// builders and a guarded output buffer that proves nothing is written
// outside the bytes a conversion may use.
#ifndef VELORA_TESTS_CONVERT_UTIL_H
#define VELORA_TESTS_CONVERT_UTIL_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "convert/ColumnValue.h"
#include "convert/ConvertColumnValue.h"

namespace convert_test {

using ValuePtr = std::unique_ptr<ColumnValue>;

inline ValuePtr Make(int32_t sqlType, uint32_t length = 0, uint32_t precision = 0) {
  ColumnDescription d;
  d.sqlDataType = sqlType;
  d.length = length;
  d.precision = precision;
  return ValuePtr(CreateColumnValue(&d));
}

using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes LE(T v) {
  Bytes b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

inline Bytes TextBytes(const std::string& s, bool nul = true) {
  Bytes b(s.begin(), s.end());
  if (nul) b.push_back(0);
  return b;
}

inline Bytes BigIntBytes(uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3, uint16_t sign) {
  uint16_t w[5] = {w0, w1, w2, w3, sign};
  Bytes b(10);
  std::memcpy(b.data(), w, 10);
  return b;
}

inline Bytes BigIntBytes(int64_t v) {
  uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  return BigIntBytes(static_cast<uint16_t>(m >> 48), static_cast<uint16_t>(m >> 32),
                     static_cast<uint16_t>(m >> 16), static_cast<uint16_t>(m), v < 0);
}

// digits: up to 16 decimal digits, right-aligned.
inline Bytes NumericBytes(bool negative, int8_t exponent, const std::string& digits) {
  std::string d = std::string(16 - digits.size(), '0') + digits;
  Bytes b(10);
  b[0] = negative ? 1 : 0;
  b[1] = static_cast<uint8_t>(exponent);
  for (int k = 0; k < 8; ++k) {
    int high = d[14 - 2 * k] - '0', low = d[15 - 2 * k] - '0';
    b[2 + k] = static_cast<uint8_t>(high << 4 | low);
  }
  return b;
}

inline Bytes DateBytes(int16_t y, uint16_t m, uint16_t d) {
  Bytes b = LE(y), mb = LE(m), db = LE(d);
  b.insert(b.end(), mb.begin(), mb.end());
  b.insert(b.end(), db.begin(), db.end());
  return b;
}

inline Bytes TimeBytes(uint16_t h, uint16_t m, uint16_t s) {
  Bytes b = LE(h), mb = LE(m), sb = LE(s);
  b.insert(b.end(), mb.begin(), mb.end());
  b.insert(b.end(), sb.begin(), sb.end());
  return b;
}

inline Bytes TimestampBytes(int16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi,
                            uint16_t s, uint32_t f) {
  Bytes b = DateBytes(y, mo, d), t = TimeBytes(h, mi, s), fb = LE(f);
  b.insert(b.end(), t.begin(), t.end());
  b.insert(b.end(), fb.begin(), fb.end());
  return b;
}

// Loads row bytes; returns Load's answer.
inline int LoadBytes(ColumnValue* v, const Bytes& b) {
  return v->Load(b.empty() ? nullptr : b.data(), static_cast<uint32_t>(b.size()));
}

// Loads and requires success.
inline ValuePtr Loaded(int32_t sqlType, const Bytes& b, uint32_t length = 0,
                       uint32_t precision = 0) {
  ValuePtr v = Make(sqlType, length, precision);
  if (v && LoadBytes(v.get(), b) != kLoadDone) v.reset();
  return v;
}

// Bytes a C type occupies, or 0 for the character and binary types.
inline size_t FixedSize(SQLSMALLINT cType) {
  switch (cType) {
    case SQL_C_BIT: case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: return 1;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: return 2;
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT: return 4;
    case SQL_C_DOUBLE: case SQL_C_SBIGINT: case SQL_C_UBIGINT: return 8;
    case SQL_C_DATE: case SQL_C_TIME: return 6;
    case SQL_C_TIMESTAMP: return 16;
    default: return 0;
  }
}

const uint8_t kGuardByte = 0xA5;
const size_t kGuard = 32;

// One conversion into a buffer surrounded by guard bytes: the buffer is
// cbValueMax bytes for the character and binary types and the C type's
// size otherwise.
struct Conversion {
  int result = -99;
  SQLLEN pcb = SQL_NO_TOTAL;
  Bytes buffer;          // the bytes the conversion may write
  bool guardsIntact = false;
  bool untouched = false;  // the buffer still holds only guard bytes

  std::string Text() const {
    size_t n = 0;
    while (n < buffer.size() && buffer[n] != 0) ++n;
    return std::string(buffer.begin(), buffer.begin() + n);
  }
  template <typename T>
  T As() const {
    T v{};
    std::memcpy(&v, buffer.data(), sizeof v < buffer.size() ? sizeof v : buffer.size());
    return v;
  }
  // The integer the buffer holds for cType, sign- or zero-extended.
  int64_t Int(SQLSMALLINT cType) const {
    switch (cType) {
      case SQL_C_TINYINT: case SQL_C_STINYINT: return As<int8_t>();
      case SQL_C_BIT: case SQL_C_UTINYINT: return As<uint8_t>();
      case SQL_C_SHORT: case SQL_C_SSHORT: return As<int16_t>();
      case SQL_C_USHORT: return As<uint16_t>();
      case SQL_C_LONG: case SQL_C_SLONG: return As<int32_t>();
      case SQL_C_ULONG: return As<uint32_t>();
      default: return As<int64_t>();
    }
  }
};

inline Conversion Convert(const ColumnValue* v, SQLSMALLINT cType, SQLLEN cbValueMax = 64) {
  size_t fixed = FixedSize(cType);
  size_t size = fixed ? fixed : (cbValueMax > 0 ? static_cast<size_t>(cbValueMax) : 0);
  Bytes raw(kGuard + size + kGuard, kGuardByte);
  Conversion c;
  c.result = ConvertColumnValue(v, cType, raw.data() + kGuard, cbValueMax, &c.pcb);
  c.buffer.assign(raw.begin() + kGuard, raw.begin() + kGuard + size);
  c.guardsIntact = true;
  for (size_t i = 0; i < kGuard; ++i)
    if (raw[i] != kGuardByte || raw[kGuard + size + i] != kGuardByte) c.guardsIntact = false;
  c.untouched = true;
  for (uint8_t b : c.buffer)
    if (b != kGuardByte) c.untouched = false;
  return c;
}

// An integer target's outcome: a failure writes nothing and reports no
// length; a success holds value and reports the C type's size.
inline void ExpectInteger(const Conversion& out, SQLSMALLINT cType, int result, int64_t value) {
  EXPECT_EQ(result, out.result);
  EXPECT_TRUE(out.guardsIntact);
  if (result == kConversionFailed) {
    EXPECT_TRUE(out.untouched);
    EXPECT_EQ(SQL_NO_TOTAL, out.pcb);
  } else {
    EXPECT_EQ(value, out.Int(cType));
    EXPECT_EQ(static_cast<SQLLEN>(FixedSize(cType)), out.pcb);
  }
}

// A character target's outcome: a failure writes nothing; otherwise the
// buffer holds text and its NUL and nothing after them.
inline void ExpectText(const Conversion& out, int result, const std::string& text) {
  EXPECT_EQ(result, out.result);
  EXPECT_TRUE(out.guardsIntact);
  if (result == kConversionFailed) {
    EXPECT_TRUE(out.untouched);
    return;
  }
  EXPECT_EQ(text, out.Text());
  for (size_t i = text.size() + 1; i < out.buffer.size(); ++i) EXPECT_EQ(kGuardByte, out.buffer[i]);
}

// A binary target's outcome: a failure writes nothing; otherwise the
// buffer starts with bytes and nothing follows them.
inline void ExpectBytes(const Conversion& out, int result, const Bytes& bytes) {
  EXPECT_EQ(result, out.result);
  EXPECT_TRUE(out.guardsIntact);
  if (result == kConversionFailed) {
    EXPECT_TRUE(out.untouched);
    return;
  }
  ASSERT_LE(bytes.size(), out.buffer.size());
  EXPECT_EQ(bytes, Bytes(out.buffer.begin(), out.buffer.begin() + bytes.size()));
  for (size_t i = bytes.size(); i < out.buffer.size(); ++i) EXPECT_EQ(kGuardByte, out.buffer[i]);
}

// Every C type the dispatch knows, with SQL_C_DEFAULT.
const SQLSMALLINT kAllCTypes[] = {
    SQL_C_CHAR,   SQL_C_BIT,     SQL_C_TINYINT,   SQL_C_STINYINT, SQL_C_UTINYINT,
    SQL_C_SHORT,  SQL_C_SSHORT,  SQL_C_USHORT,    SQL_C_LONG,     SQL_C_SLONG,
    SQL_C_ULONG,  SQL_C_FLOAT,   SQL_C_DOUBLE,    SQL_C_BINARY,   SQL_C_DATE,
    SQL_C_TIME,   SQL_C_TIMESTAMP, SQL_C_SBIGINT, SQL_C_UBIGINT,  SQL_C_DEFAULT,
};

}  // namespace convert_test

#endif
