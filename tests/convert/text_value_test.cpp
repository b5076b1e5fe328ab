// CHAR, VARCHAR and LONGVARCHAR values: loading, characters, bytes,
// numbers, dates and times.
#include <gtest/gtest.h>

#include <cmath>

#include "convert/TextValues.h"
#include "convert_test_util.h"
#include "base/Alloc.h"

namespace convert_test {
namespace {

const int kFail = kConversionFailed, kDone = kConversionDone, kCut = kConversionTruncated;

struct IntCase {
  const char* text;
  SQLSMALLINT cType;
  int result;
  int64_t value;
};

const IntCase kIntCases[] = {
    // Bit: 0 <= v < 2; exact 0 and 1 are done.
    {"0", SQL_C_BIT, kDone, 0},
    {"1", SQL_C_BIT, kDone, 1},
    {"0.5", SQL_C_BIT, kCut, 0},
    {"1.5", SQL_C_BIT, kCut, 1},
    {"1.999", SQL_C_BIT, kCut, 1},
    {"2", SQL_C_BIT, kFail, 0},
    {"-0.5", SQL_C_BIT, kFail, 0},
    {"-1", SQL_C_BIT, kFail, 0},
    // Signed 8 bits.
    {"127", SQL_C_TINYINT, kDone, 127},
    {"128", SQL_C_TINYINT, kFail, 0},
    {"-128", SQL_C_STINYINT, kDone, -128},
    {"-129", SQL_C_STINYINT, kFail, 0},
    {"127.5", SQL_C_TINYINT, kFail, 0},
    {"-128.5", SQL_C_TINYINT, kFail, 0},
    {"126.5", SQL_C_TINYINT, kCut, 126},
    {"-4.5", SQL_C_TINYINT, kCut, -4},
    {"0", SQL_C_TINYINT, kDone, 0},
    {"0.0", SQL_C_TINYINT, kDone, 0},
    {"-5", SQL_C_TINYINT, kDone, -5},
    // Unsigned 8 bits.
    {"255", SQL_C_UTINYINT, kDone, 255},
    {"256", SQL_C_UTINYINT, kFail, 0},
    {"-1", SQL_C_UTINYINT, kFail, 0},
    {"-0.5", SQL_C_UTINYINT, kFail, 0},
    {"254.9", SQL_C_UTINYINT, kCut, 254},
    {"0", SQL_C_UTINYINT, kDone, 0},
    // 16 bits.
    {"32767", SQL_C_SHORT, kDone, 32767},
    {"32768", SQL_C_SHORT, kFail, 0},
    {"-32768", SQL_C_SSHORT, kDone, -32768},
    {"-32769", SQL_C_SSHORT, kFail, 0},
    {"65535", SQL_C_USHORT, kDone, 65535},
    {"65536", SQL_C_USHORT, kFail, 0},
    {"-1", SQL_C_USHORT, kFail, 0},
    {"0", SQL_C_USHORT, kDone, 0},
    // 32 bits.
    {"42", SQL_C_SLONG, kDone, 42},
    {"4.5", SQL_C_SLONG, kCut, 4},
    {"0", SQL_C_SLONG, kDone, 0},
    {"-5", SQL_C_SLONG, kDone, -5},
    {"2147483647", SQL_C_LONG, kDone, 2147483647},
    {"2147483648", SQL_C_LONG, kFail, 0},
    {"-2147483648", SQL_C_SLONG, kDone, -2147483647LL - 1},
    {"-2147483649", SQL_C_SLONG, kFail, 0},
    {"4294967295", SQL_C_ULONG, kDone, 4294967295LL},
    {"4294967296", SQL_C_ULONG, kFail, 0},
    {"-1", SQL_C_ULONG, kFail, 0},
    // 64 bits, read exactly (no double in between).
    {"9223372036854775807", SQL_C_SBIGINT, kDone, INT64_MAX},
    {"9223372036854775808", SQL_C_SBIGINT, kFail, 0},
    {"-9223372036854775808", SQL_C_SBIGINT, kDone, INT64_MIN},
    {"-9223372036854775809", SQL_C_SBIGINT, kFail, 0},
    {"12345678901234567.5", SQL_C_SBIGINT, kCut, 12345678901234567LL},
    {"18446744073709551615", SQL_C_UBIGINT, kDone, -1},
    {"18446744073709551616", SQL_C_UBIGINT, kFail, 0},
    {"-1", SQL_C_UBIGINT, kFail, 0},
    {"0", SQL_C_UBIGINT, kDone, 0},
    // Forms of numbers.
    {"  42  ", SQL_C_SLONG, kDone, 42},
    {"+7", SQL_C_SLONG, kDone, 7},
    {"007", SQL_C_SLONG, kDone, 7},
    {".5", SQL_C_SLONG, kCut, 0},
    {"5.", SQL_C_SLONG, kDone, 5},
    {"1.5e3", SQL_C_SLONG, kDone, 1500},
    {"15E-1", SQL_C_SLONG, kCut, 1},
    {"1e18", SQL_C_SBIGINT, kDone, 1000000000000000000LL},
    {"1e400", SQL_C_SLONG, kFail, 0},
    {"1e-400", SQL_C_SLONG, kCut, 0},
    // Not numbers: the whole text is tested.
    {"abc", SQL_C_SLONG, kFail, 0},
    {"7abc", SQL_C_SLONG, kFail, 0},
    {"", SQL_C_SLONG, kFail, 0},
    {"   ", SQL_C_SLONG, kFail, 0},
    {"-", SQL_C_SLONG, kFail, 0},
    {".", SQL_C_SLONG, kFail, 0},
    {"1.2.3", SQL_C_SLONG, kFail, 0},
    {"1e", SQL_C_SLONG, kFail, 0},
    {"+-1", SQL_C_SLONG, kFail, 0},
    {"0x10", SQL_C_SLONG, kFail, 0},
    {"inf", SQL_C_SLONG, kFail, 0},
    {"nan", SQL_C_SLONG, kFail, 0},
    {"1 2", SQL_C_SLONG, kFail, 0},
};

TEST(TextValueTest, IntegerTargetsFollowRangeAndTruncationRules) {
  for (int32_t type : {SQL_VARCHAR, SQL_LONGVARCHAR}) {
    for (const IntCase& c : kIntCases) {
      SCOPED_TRACE(std::string(c.text) + " as " + std::to_string(c.cType));
      ValuePtr v = Loaded(type, TextBytes(c.text));
      ASSERT_TRUE(v);
      ExpectInteger(Convert(v.get(), c.cType), c.cType, c.result, c.value);
    }
  }
}

TEST(TextValueTest, CharPaddingIsNotPartOfTheNumber) {
  ValuePtr v = Loaded(SQL_CHAR, TextBytes("-5"), 10);
  ASSERT_TRUE(v);
  Conversion out = Convert(v.get(), SQL_C_SLONG);
  EXPECT_EQ(kDone, out.result);
  EXPECT_EQ(-5, out.Int(SQL_C_SLONG));
  ValuePtr blanks = Loaded(SQL_CHAR, TextBytes("12        "), 10);
  EXPECT_EQ(12, Convert(blanks.get(), SQL_C_SSHORT).Int(SQL_C_SSHORT));
}

struct RealCase {
  const char* text;
  SQLSMALLINT cType;
  int result;
  double value;
};

const RealCase kRealCases[] = {
    {"3.25", SQL_C_DOUBLE, kDone, 3.25},
    {"0", SQL_C_DOUBLE, kDone, 0.0},
    {"-0.0", SQL_C_DOUBLE, kDone, 0.0},
    {"0.1", SQL_C_DOUBLE, kDone, 0.1},
    {"-2.5e-3", SQL_C_DOUBLE, kDone, -0.0025},
    {"1.7976931348623157e308", SQL_C_DOUBLE, kDone, 1.7976931348623157e308},
    {"1e309", SQL_C_DOUBLE, kFail, 0},
    {"abc", SQL_C_DOUBLE, kFail, 0},
    {"0", SQL_C_FLOAT, kDone, 0.0},
    {"-1.5", SQL_C_FLOAT, kDone, -1.5},
    {"3.4e38", SQL_C_FLOAT, kDone, static_cast<double>(3.4e38f)},
    {"3.5e38", SQL_C_FLOAT, kFail, 0},
    {"-3.5e38", SQL_C_FLOAT, kFail, 0},
    {"1e-50", SQL_C_FLOAT, kDone, 0.0},
    {"7abc", SQL_C_FLOAT, kFail, 0},
};

TEST(TextValueTest, FloatingTargets) {
  for (const RealCase& c : kRealCases) {
    SCOPED_TRACE(std::string(c.text) + " as " + std::to_string(c.cType));
    ValuePtr v = Loaded(SQL_VARCHAR, TextBytes(c.text));
    Conversion out = Convert(v.get(), c.cType);
    EXPECT_EQ(c.result, out.result);
    EXPECT_TRUE(out.guardsIntact);
    if (c.result == kFail) {
      EXPECT_TRUE(out.untouched);
    } else if (c.cType == SQL_C_FLOAT) {
      EXPECT_EQ(static_cast<float>(c.value), out.As<float>());
      EXPECT_EQ(4, out.pcb);
    } else {
      EXPECT_EQ(c.value, out.As<double>());
      EXPECT_EQ(8, out.pcb);
    }
  }
}

// A text with more digits than a double holds still rounds to the
// nearest double.
TEST(TextValueTest, LongDigitStringsRoundCorrectly) {
  std::string text = "0." + std::string(400, '0') + "1";
  ValuePtr tiny = Loaded(SQL_LONGVARCHAR, TextBytes(text));
  EXPECT_EQ(kDone, Convert(tiny.get(), SQL_C_DOUBLE).result);
  EXPECT_EQ(0.0, Convert(tiny.get(), SQL_C_DOUBLE).As<double>());
  std::string many = "1." + std::string(1000, '0') + "1";
  ValuePtr one = Loaded(SQL_LONGVARCHAR, TextBytes(many));
  EXPECT_EQ(1.0, Convert(one.get(), SQL_C_DOUBLE).As<double>());
  Conversion asLong = Convert(one.get(), SQL_C_SLONG);
  EXPECT_EQ(kCut, asLong.result);
  EXPECT_EQ(1, asLong.Int(SQL_C_SLONG));
}

struct CharCase {
  SQLLEN cbValueMax;
  int result;
  const char* text;  // what the buffer holds (NUL-terminated for SQL_C_CHAR)
};

// Truncation at 0, 1, exact and exact+1 (a negative size is none at all).
TEST(TextValueTest, CharTruncatesAtTheBuffer) {
  const CharCase cases[] = {
      {0, kCut, ""}, {-1, kCut, ""}, {1, kCut, ""},
      {5, kCut, "hell"}, {6, kDone, "hello"}, {7, kDone, "hello"},
  };
  ValuePtr v = Loaded(SQL_VARCHAR, TextBytes("hello"));
  for (const CharCase& c : cases) {
    SCOPED_TRACE(c.cbValueMax);
    Conversion out = Convert(v.get(), SQL_C_CHAR, c.cbValueMax);
    EXPECT_EQ(5, out.pcb);
    ExpectText(out, c.result, c.text);
  }
}

TEST(TextValueTest, CharColumnReportsDeclaredLengthWithNulPadding) {
  ValuePtr v = Loaded(SQL_CHAR, TextBytes("ab"), 10);
  Conversion out = Convert(v.get(), SQL_C_CHAR, 20);
  EXPECT_EQ(kDone, out.result);
  EXPECT_EQ(10, out.pcb);
  EXPECT_EQ("ab", out.Text());
  for (size_t i = 2; i <= 10; ++i) EXPECT_EQ(0, out.buffer[i]);
  for (size_t i = 11; i < 20; ++i) EXPECT_EQ(kGuardByte, out.buffer[i]);
  Conversion cut = Convert(v.get(), SQL_C_CHAR, 10);
  EXPECT_EQ(kCut, cut.result);
  EXPECT_EQ("ab", cut.Text());
  EXPECT_TRUE(cut.guardsIntact);
}

TEST(TextValueTest, BinaryCopiesBytesWithoutNul) {
  ValuePtr v = Loaded(SQL_VARCHAR, TextBytes("hello"));
  const CharCase cases[] = {
      {0, kCut, ""}, {1, kCut, "h"}, {4, kCut, "hell"}, {5, kDone, "hello"}, {6, kDone, "hello"},
  };
  for (const CharCase& c : cases) {
    SCOPED_TRACE(c.cbValueMax);
    Conversion out = Convert(v.get(), SQL_C_BINARY, c.cbValueMax);
    EXPECT_EQ(5, out.pcb);
    ExpectBytes(out, c.result, TextBytes(c.text, false));
  }
}

// Dates and times read their fields at fixed positions.
struct DateCase {
  const char* text;
  SQLSMALLINT cType;  // SQL_C_DATE: year, month, day; SQL_C_TIME: hour, minute, second
  int result;
  int first, second, third;
};

TEST(TextValueTest, DateAndTimeFieldsAtFixedPositions) {
  const DateCase cases[] = {
      {"1996-02-30", SQL_C_DATE, kDone, 1996, 2, 30},  // no calendar check
      {"1996-13-01", SQL_C_DATE, kFail, 0, 0, 0},
      {"1996-12-32", SQL_C_DATE, kFail, 0, 0, 0},
      {"1996-12-31", SQL_C_DATE, kDone, 1996, 12, 31},
      {"1996-00-00", SQL_C_DATE, kDone, 1996, 0, 0},
      {"9999-01-01", SQL_C_DATE, kDone, 9999, 1, 1},
      {"1996/02/03", SQL_C_DATE, kDone, 1996, 2, 3},  // separators are not checked
      {"1996", SQL_C_DATE, kDone, 1996, 0, 0},        // missing fields are empty
      {"1996-5", SQL_C_DATE, kDone, 1996, 5, 0},
      {"", SQL_C_DATE, kDone, 0, 0, 0},
      {"19a6-01-01", SQL_C_DATE, kFail, 0, 0, 0},
      {"1996-01-01  ", SQL_C_DATE, kDone, 1996, 1, 1},
      {"1996-01-01 10:20:30", SQL_C_DATE, kDone, 1996, 1, 1},
      {"23:59:59", SQL_C_TIME, kDone, 23, 59, 59},
      {"00:00:00", SQL_C_TIME, kDone, 0, 0, 0},
      {"24:00:00", SQL_C_TIME, kFail, 0, 0, 0},
      {"23:60:00", SQL_C_TIME, kFail, 0, 0, 0},
      {"23:59:60", SQL_C_TIME, kFail, 0, 0, 0},
      {"7:30", SQL_C_TIME, kFail, 0, 0, 0},
      {"10:20", SQL_C_TIME, kDone, 10, 20, 0},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.text);
    ValuePtr v = Loaded(SQL_VARCHAR, TextBytes(c.text));
    Conversion out = Convert(v.get(), c.cType);
    EXPECT_EQ(c.result, out.result);
    EXPECT_TRUE(out.guardsIntact);
    if (c.result == kFail) {
      EXPECT_TRUE(out.untouched);
      continue;
    }
    EXPECT_EQ(6, out.pcb);
    uint16_t fields[3];
    std::memcpy(fields, out.buffer.data(), sizeof fields);  // DATE_STRUCT's year is signed
    EXPECT_EQ(c.first, c.cType == SQL_C_DATE ? out.As<DATE_STRUCT>().year : fields[0]);
    EXPECT_EQ(c.second, fields[1]);
    EXPECT_EQ(c.third, fields[2]);
  }
}

struct TimestampCase {
  const char* text;
  int result;
  unsigned hour;
  uint32_t fraction;
};

TEST(TextValueTest, TimestampFractionIsNanoseconds) {
  const TimestampCase cases[] = {
      {"1996-05-01 10:20:30", kDone, 10, 0},
      {"1996-05-01 10:20:30.", kDone, 10, 0},
      {"1996-05-01 10:20:30.5", kDone, 10, 500000000},
      {"1996-05-01 10:20:30.123", kDone, 10, 123000000},
      {"1996-05-01 10:20:30.000000001", kDone, 10, 1},
      {"1996-05-01 10:20:30.123456789", kDone, 10, 123456789},
      {"1996-05-01 10:20:30.1234567891", kCut, 10, 123456789},
      {"1996-05-01 10:20:30.12a", kFail, 0, 0},
      {"1996-05-01 24:20:30", kFail, 0, 0},
      {"1996-05-01 23:59:60", kFail, 0, 0},
      {"1996-05-01", kDone, 0, 0},
  };
  for (const TimestampCase& c : cases) {
    SCOPED_TRACE(c.text);
    ValuePtr v = Loaded(SQL_VARCHAR, TextBytes(c.text));
    Conversion out = Convert(v.get(), SQL_C_TIMESTAMP);
    EXPECT_EQ(c.result, out.result);
    EXPECT_TRUE(out.guardsIntact);
    if (c.result == kFail) {
      EXPECT_TRUE(out.untouched);
      continue;
    }
    TIMESTAMP_STRUCT ts = out.As<TIMESTAMP_STRUCT>();
    EXPECT_EQ(1996, ts.year);
    EXPECT_EQ(5, ts.month);
    EXPECT_EQ(1, ts.day);
    EXPECT_EQ(c.hour, ts.hour);
    EXPECT_EQ(c.fraction, ts.fraction);
    EXPECT_EQ(16, out.pcb);
  }
}

TEST(TextValueTest, BlankPaddedCharDateReadsAsTimestamp) {
  ValuePtr v = Loaded(SQL_CHAR, TextBytes("1996-05-01          "), 20);
  Conversion out = Convert(v.get(), SQL_C_TIMESTAMP);
  EXPECT_EQ(kDone, out.result);
  EXPECT_EQ(1996, out.As<TIMESTAMP_STRUCT>().year);
  EXPECT_EQ(0, out.As<TIMESTAMP_STRUCT>().hour);
}

TEST(TextValueTest, CharLoadKeepsAtMostDeclaredLengthAndClearsOldText) {
  ValuePtr v = Make(SQL_CHAR, 5);
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), TextBytes("abcdefgh")));
  EXPECT_EQ(5, Convert(v.get(), SQL_C_CHAR).pcb);
  EXPECT_EQ("abcde", Convert(v.get(), SQL_C_CHAR).Text());
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), TextBytes("x")));
  Conversion out = Convert(v.get(), SQL_C_CHAR, 10);
  EXPECT_EQ("x", out.Text());
  for (size_t i = 1; i <= 5; ++i) EXPECT_EQ(0, out.buffer[i]);
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), Bytes()));
  EXPECT_EQ("", Convert(v.get(), SQL_C_CHAR).Text());
}

TEST(TextValueTest, VarCharLoadIsBoundedByTheBytes) {
  ValuePtr v = Make(SQL_VARCHAR);
  // No NUL: the text ends with the bytes.
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), TextBytes("abc", false)));
  EXPECT_EQ(3u, v->length);
  EXPECT_EQ("abc", Convert(v.get(), SQL_C_CHAR).Text());
  // An inner NUL ends the text.
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), Bytes{'a', 'b', 0, 'c', 'd'}));
  EXPECT_EQ(2u, v->length);
  // Length 0.
  ASSERT_EQ(kLoadDone, v->Load(nullptr, 0));
  EXPECT_EQ(0u, v->length);
  Conversion out = Convert(v.get(), SQL_C_CHAR, 1);
  EXPECT_EQ(kDone, out.result);
  EXPECT_EQ(0, out.pcb);
  EXPECT_EQ(kFail, Convert(v.get(), SQL_C_SLONG).result);
  EXPECT_EQ(kDone, Convert(v.get(), SQL_C_DATE).result);
}

TEST(TextValueTest, LongTextLoadsWhole) {
  std::string big(100000, 'x');
  ValuePtr v = Loaded(SQL_LONGVARCHAR, TextBytes(big, false));
  ASSERT_TRUE(v);
  EXPECT_EQ(100000u, v->length);
  Conversion out = Convert(v.get(), SQL_C_CHAR, 10);
  EXPECT_EQ(kCut, out.result);
  EXPECT_EQ(100000, out.pcb);
  EXPECT_EQ(std::string(9, 'x'), out.Text());
  EXPECT_TRUE(out.guardsIntact);
}

TEST(TextValueTest, LoadReportsAllocationFailure) {
  ValuePtr v = Loaded(SQL_VARCHAR, TextBytes("old"));
  SetAllocFailAfter(0);
  int result = LoadBytes(v.get(), TextBytes("new"));
  ResetAllocFailure();
  EXPECT_EQ(kLoadNoMemory, result);
  EXPECT_EQ(0u, v->length);
  Conversion out = Convert(v.get(), SQL_C_CHAR);
  EXPECT_EQ(kDone, out.result);
  EXPECT_EQ("", out.Text());

  ValuePtr c = Make(SQL_CHAR, 4);
  SetAllocFailAfter(0);
  result = LoadBytes(c.get(), TextBytes("abcd"));
  ResetAllocFailure();
  EXPECT_EQ(kLoadNoMemory, result);
  Conversion zeros = Convert(c.get(), SQL_C_CHAR, 10);
  EXPECT_EQ(4, zeros.pcb);
  EXPECT_EQ("", zeros.Text());
  EXPECT_EQ(kLoadDone, LoadBytes(c.get(), TextBytes("abcd")));
  EXPECT_EQ("abcd", Convert(c.get(), SQL_C_CHAR).Text());
}

TEST(TextValueTest, ConversionsDoNotAllocate) {
  ValuePtr v = Loaded(SQL_VARCHAR, TextBytes("1996-05-01 10:20:30.5"));
  unsigned long before = AllocCount();
  for (SQLSMALLINT t : kAllCTypes) Convert(v.get(), t);
  EXPECT_EQ(before, AllocCount());
}

}  // namespace
}  // namespace convert_test
