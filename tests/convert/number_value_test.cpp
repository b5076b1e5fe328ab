// The number classes: every integer target's limits (BIGINT, exact), the
// small integers' widening rules, doubles with fractions, NaN and
// infinities, NUMERIC digits, texts (twelve digits, half to even) and bytes.
#include <cfloat>
#include <cmath>
#include <tuple>

#include "convert_test_util.h"

namespace convert_test {
namespace {

Bytes I8(int v) { return LE(static_cast<int8_t>(v)); }
Bytes I16(int v) { return LE(static_cast<int16_t>(v)); }
Bytes I32(int64_t v) { return LE(static_cast<int32_t>(v)); }

// Each integer target's limits and one past them, as BIGINT (exact sign
// and magnitude) and as text: {lowest negative magnitude, highest}.
TEST(NumberValueTest, IntegerTargetLimits) {
  // clang-format off
  const struct { SQLSMALLINT cType; uint64_t lowest, highest; } limits[] = {
      {SQL_C_BIT, 0, 1},
      {SQL_C_STINYINT, 128, 127},
      {SQL_C_SSHORT, 32768, 32767},
      {SQL_C_SLONG, 1ull << 31, INT32_MAX},
      {SQL_C_SBIGINT, 1ull << 63, INT64_MAX},
      {SQL_C_UTINYINT, 0, 255},
      {SQL_C_USHORT, 0, 65535},
      {SQL_C_ULONG, 0, UINT32_MAX},
      {SQL_C_UBIGINT, 0, UINT64_MAX},
  };
  // clang-format on
  for (const auto& l : limits) {
    // The lowest value and one below it, the highest and one above it.
    for (int k = 0; k < 4; ++k) {
      const bool negative = k == 1 || (k == 0 && l.lowest > 0);
      const uint64_t magnitude = k < 2 ? l.lowest + k : l.highest + k - 2;
      const int result = k % 2 ? kFail : kDone;
      std::string text = (negative ? "-" : "") + std::to_string(magnitude);
      if (!negative && result == kFail && magnitude == 0) text = "18446744073709551616";
      SCOPED_TRACE(text + " as " + std::to_string(l.cType));
      const int64_t value = int64_t(negative ? 0 - magnitude : magnitude);
      CheckRow(Int(SQL_VARCHAR, T(text), l.cType, result, value));
      if (text.size() == 20 && !negative && result == kFail) continue;  // 2^64 has no BIGINT
      CheckRow(Int(SQL_BIGINT, BigIntBytes(magnitude, negative), l.cType, result, value));
    }
  }
}

const int32_t kInt = SQL_INTEGER, kSmall = SQL_SMALLINT, kTiny = SQL_TINYINT, kF = SQL_FLOAT, kN = SQL_NUMERIC;

TEST(NumberValueTest, IntegerTargets) {
  const Row rows[] = {
      Int(SQL_BIGINT, BigIntBytes(0, true), SQL_C_USHORT, kDone, 0),  // negative zero
      // The small integers widen to the unsigned types with their sign.
      Int(kInt, I32(-1), SQL_C_ULONG, kDone, 4294967295LL),
      Int(kInt, I32(-1), SQL_C_UBIGINT, kDone, -1),
      Int(kInt, I32(-1), SQL_C_USHORT, kFail, 0),
      Int(kInt, I32(-2147483648LL), SQL_C_LONG, kDone, -2147483648LL),
      Int(kInt, I32(2), SQL_C_BIT, kFail, 0),
      Int(kSmall, I16(-1), SQL_C_USHORT, kDone, 65535),
      Int(kSmall, I16(-1), SQL_C_UTINYINT, kFail, 0),
      Int(kTiny, I8(-1), SQL_C_UTINYINT, kDone, 255),
      Int(kTiny, I8(-1), SQL_C_USHORT, kDone, 65535),
      Int(kTiny, I8(-128), SQL_C_TINYINT, kDone, -128),
      Int(SQL_BIT, {2}, SQL_C_BIT, kDone, 2),
      Int(SQL_BIT, {200}, SQL_C_TINYINT, kFail, 0),
      Int(SQL_BIT, {200}, SQL_C_UTINYINT, kDone, 200),
      // Doubles: a dropped fraction truncates, a fraction beyond a limit fails.
      Int(kF, F(3.25), SQL_C_SLONG, kCut, 3),
      Int(kF, F(-3.25), SQL_C_SLONG, kCut, -3),
      Int(kF, F(2147483647.0), SQL_C_SLONG, kDone, 2147483647),
      Int(kF, F(2147483647.5), SQL_C_SLONG, kFail, 0),
      Int(kF, F(-2147483648.5), SQL_C_LONG, kFail, 0),
      Int(kF, F(-0.5), SQL_C_UTINYINT, kFail, 0),
      Int(kF, F(1.5), SQL_C_BIT, kCut, 1),
      Int(kF, F(2.0), SQL_C_BIT, kFail, 0),
      Int(kF, F(9223372036854775808.0), SQL_C_SBIGINT, kFail, 0),
      Int(kF, F(-9223372036854775808.0), SQL_C_SBIGINT, kDone, INT64_MIN),
      Int(kF, F(18446744073709549568.0), SQL_C_UBIGINT, kDone, int64_t(18446744073709549568ull)),
      Int(kF, F(18446744073709551616.0), SQL_C_UBIGINT, kFail, 0),
      Int(kF, F(NAN), SQL_C_SLONG, kFail, 0),
      Int(kF, F(INFINITY), SQL_C_SBIGINT, kFail, 0),
      // A REAL's ranges are compared in double precision.
      Int(SQL_REAL, LE(2147483648.0f), SQL_C_SLONG, kFail, 0),
      Int(SQL_REAL, LE(2147483520.0f), SQL_C_SLONG, kDone, 2147483520),
      // NUMERIC digits are exact.
      Int(kN, N(false, -3, "12340"), SQL_C_SLONG, kCut, 12),
      Int(kN, N(false, -3, "12000"), SQL_C_SLONG, kDone, 12),
      Int(kN, N(true, 0, "128"), SQL_C_TINYINT, kDone, -128),
      Int(kN, N(false, -1, "1275"), SQL_C_TINYINT, kFail, 0),
      Int(kN, N(false, 127, "1"), SQL_C_SLONG, kFail, 0),
      Int(kN, N(false, -128, "1"), SQL_C_SLONG, kCut, 0),
      Int(kN, N(false, 0, "9999999999999999"), SQL_C_SBIGINT, kDone, 9999999999999999LL),
      // 18446744073709550000, 2^64 - 1616.
      Int(kN, N(false, 4, "1844674407370955"), SQL_C_UBIGINT, kDone, -1616),
      Int(kN, N(false, 4, "1844674407370956"), SQL_C_UBIGINT, kFail, 0),
  };
  CheckRows(rows);
}

const SQLSMALLINT kC = SQL_C_CHAR, kB = SQL_C_BINARY, kFl = SQL_C_FLOAT, kD = SQL_C_DOUBLE;
// -1234.56: sign, exponent, two bytes of padding, the digits from the last.
const Bytes kNumericBytes = {1, 0xfe, 0, 0, 0x56, 0x34, 0x12, 0, 0, 0, 0, 0};

// Characters: integers fit whole or fail, floating values lose fractional
// digits only. Bytes: the held bytes whole, whatever the declared length;
// BIGINT as sign and magnitude, refused (length 8, nothing written) when
// the magnitude needs bit 63; NUMERIC as twelve bytes. Floating targets.
TEST(NumberValueTest, CharBinaryAndFloatingTargets) {
  const Row rows[] = {
      {kInt, I32(-2147483648LL), kC, 12, kDone, T("-2147483648"), 11},
      {kInt, I32(-2147483648LL), kC, 11, kFail, {}, 11},
      {SQL_BIT, {2}, kC, 2, kDone, T("1"), 1},
      {SQL_BIGINT, B(INT64_MIN), kC, 21, kDone, T("-9223372036854775808"), 20},
      {SQL_BIGINT, B(INT64_MIN), kC, 20, kFail, {}, 20},
      {SQL_BIGINT, BigIntBytes(UINT64_MAX, true), kC, 22, kDone, T("-18446744073709551615"), 21},
      {SQL_BIGINT, BigIntBytes(0, true), kC, 2, kDone, T("0"), 1},
      {kF, F(3.25), kC, 1, kFail, {}, 4},
      {kF, F(3.25), kC, 2, kCut, T("3"), 4},
      {kF, F(3.25), kC, 5, kDone, T("3.25"), 4},
      {kF, F(-3.25), kC, 2, kFail, {}, 5},
      {kF, F(1.5e-7), kC, 20, kDone, T("0.00000015"), 10},
      {kF, F(12345678901234567.0), kC, 40, kDone, T("12345678901200000"), 17},
      {kF, F(double(0.1f)), kC, 40, kDone, T("0.10000000149"), 13},  // a FLOAT keeps 12 digits
      // The 13th digit rounds half to even.
      {kF, F(123456789012.5), kC, 13, kDone, T("123456789012"), 12},
      {kF, F(123456789013.5), kC, 13, kDone, T("123456789014"), 12},
      {kF, F(9.9999999999999), kC, 3, kDone, T("10"), 2},
      {kF, F(0.1 + 0.2), kC, 4, kDone, T("0.3"), 3},
      {kF, F(-0.0), kC, 2, kDone, T("0"), 1},
      {kF, F(NAN), kC, 4, kDone, T("nan"), 3},
      {kF, F(-INFINITY), kC, 5, kDone, T("-inf"), 4},
      // A REAL keeps 7 digits, within its display size.
      {SQL_REAL, R(-1234.567f), kC, 14, kDone, T("-1234.567"), 9},
      {SQL_REAL, R(16777216.0f), kC, 14, kDone, T("16777220"), 8},
      {kN, N(true, -3, "12340"), kC, 8, kDone, T("-12.340"), 7},
      {kN, N(true, -3, "12340"), kC, 4, kCut, T("-12"), 7},
      {kN, N(true, -3, "12340"), kC, 3, kFail, {}, 7},
      {kN, N(true, -2, "5"), kC, 9, kDone, T("-0.05"), 5},
      {kN, N(true, 0, "0"), kC, 9, kDone, T("0"), 1},
      {kN, N(false, 3, "12"), kC, 9, kDone, T("12000"), 5},
      {kN, N(true, -16, "1234567890123456"), kC, 20, kDone, T("-0.1234567890123456"), 19},
      {kInt, I32(-2), kB, 3, kFail, {}, 4},
      {kInt, I32(-2), kB, 4, kDone, I32(-2), 4},
      {kSmall, I16(-2), kB, 2, kDone, I16(-2), 2},
      {SQL_BIT, {1}, kB, 1, kDone, {1}, 1},
      {SQL_REAL, R(-2.5f), kB, 4, kDone, R(-2.5f), 4},
      {kF, F(-2.5), kB, 8, kDone, F(-2.5), 8},
      {SQL_BIGINT, B(-5), kB, 7, kFail, {}, 8},
      {SQL_BIGINT, B(-5), kB, 8, kDone, LE(0x8000000000000005ull), 8},
      {SQL_BIGINT, BigIntBytes(1ull << 63, false), kB, 8, kFail, {}, 8},
      {SQL_BIGINT, BigIntBytes(UINT64_MAX, true), kB, 16, kFail, {}, 8},
      {kN, N(true, -2, "123456"), kB, 11, kFail, {}, 12},
      {kN, N(true, -2, "123456"), kB, 12, kDone, kNumericBytes, 12},
      {kInt, I32(2147483647), kD, 0, kDone, F(2147483647.0), 8},
      {SQL_BIGINT, B(9007199254740993LL), kD, 0, kDone, F(9007199254740992.0), 8},
      {SQL_REAL, R(0.1f), kD, 0, kDone, F(double(0.1f)), 8},
      {kF, F(0.1), kFl, 0, kCut, R(0.1f), 4},
      {kF, F(double(FLT_MAX)), kFl, 0, kDone, R(FLT_MAX), 4},
      {kF, F(3.5e38), kFl, 0, kFail, {}, SQL_NO_TOTAL},
      {kF, F(1e-50), kFl, 0, kCut, R(0), 4},
      {kF, F(INFINITY), kFl, 0, kFail, {}, SQL_NO_TOTAL},
      {kN, N(true, -1, "25"), kFl, 0, kDone, R(-2.5f), 4},
      {kN, N(false, 39, "1"), kD, 0, kDone, F(1e39), 8},
      {kN, N(false, -60, "1"), kD, 0, kDone, F(1e-60), 8},
      // The extremes as text: no exponent form, whole digits never cut.
      {kF, F(1e300), kC, 302, kDone, T("1" + std::string(300, '0')), 301},
      {kF, F(1e300), kC, 301, kFail, {}, 301},
      {kF, F(-DBL_MAX), kC, 400, kDone, T("-179769313486" + std::string(297, '0')), 310},
      {kF, F(-5e-324), kC, 400, kDone, T("-0." + std::string(323, '0') + "494065645841"), 338},
      {kN, N(false, -128, "1"), kC, 200, kDone, T("0." + std::string(127, '0') + "1"), 130},
      {kN, N(true, 127, "9999999999999999"), kC, 200, kDone, T("-" + std::string(16, '9') + std::string(127, '0')),
       144},
  };
  CheckRows(rows, 19, 16);
}

// Fewer bytes than the layout (or a BCD digit that is not one) leave the
// value empty: it reads as 0.
TEST(NumberValueTest, LoadRefusesShortBytesAndBadDigits) {
  Bytes badDigit = N(false, 0, "42");
  badDigit[5] = 0x1a;
  const std::tuple<int32_t, Bytes, Bytes, std::string> cases[] = {
      {SQL_BIT, {0xff}, {}, "1"},
      {SQL_TINYINT, {0x7f, 0x99}, {}, "127"},
      {SQL_SMALLINT, {0x00, 0x80}, {0}, "-32768"},
      {SQL_INTEGER, {0xff, 0xff, 0xff, 0x7f}, {1, 2, 3}, "2147483647"},
      {SQL_BIGINT, B(42), Bytes(9, 1), "42"},
      {SQL_REAL, LE(-1.5f), {1, 2, 3}, "-1.5"},
      {SQL_FLOAT, LE(1.5), Bytes(7, 1), "1.5"},
      {SQL_NUMERIC, N(false, 0, "42"), badDigit, "42"},
      {SQL_NUMERIC, N(false, 0, "42"), Bytes(9, 1), "42"},
  };
  for (const auto& [type, good, bad, text] : cases) {
    SCOPED_TRACE(text);
    ValuePtr v = Make(type, 8);
    ASSERT_EQ(kLoadDone, LoadBytes(v.get(), good));
    EXPECT_EQ(text, Convert(v.get(), SQL_C_CHAR).Text());
    EXPECT_EQ(kLoadMalformed, LoadBytes(v.get(), bad));
    EXPECT_EQ("0", Convert(v.get(), SQL_C_CHAR).Text());
  }
}

}  // namespace
}  // namespace convert_test
