// CHAR, VARCHAR and LONGVARCHAR values: numbers read from text, dates and
// times at fixed positions, truncation, loading and its failures.
#include "convert_test_util.h"

namespace convert_test {
namespace {

Row I(const std::string& text, SQLSMALLINT cType, int result, int64_t value) {
  return Int(SQL_VARCHAR, T(text), cType, result, value);
}
// A converted text's bytes, their size as its length; none after a failure.
Row C(const std::string& text, SQLSMALLINT cType, int result, Bytes out) {
  const SQLLEN pcb = result == kFail ? SQL_NO_TOTAL : SQLLEN(out.size());
  return {SQL_LONGVARCHAR, T(text), cType, 0, result, out, pcb};
}

const Row kIntCases[] = {
    // Fractions: truncated within the range, refused beyond a limit.
    I("1.999", SQL_C_BIT, kCut, 1),
    I("-128.5", SQL_C_TINYINT, kFail, 0),
    I("-4.5", SQL_C_TINYINT, kCut, -4),
    I("-0.5", SQL_C_UTINYINT, kFail, 0),
    I("12345678901234567.5", SQL_C_SBIGINT, kCut, 12345678901234567LL),
    // Forms of numbers.
    I("  42  ", SQL_C_SLONG, kDone, 42),
    I("+7", SQL_C_SLONG, kDone, 7),
    I(".5", SQL_C_SLONG, kCut, 0),
    I("5.", SQL_C_SLONG, kDone, 5),
    I("1.5e3", SQL_C_SLONG, kDone, 1500),
    I("15E-1", SQL_C_SLONG, kCut, 1),
    I("1e400", SQL_C_SLONG, kFail, 0),
    I("1e-400", SQL_C_SLONG, kCut, 0),
    I("0.0", SQL_C_TINYINT, kDone, 0),
    // Not numbers: the whole text is tested.
    I("7abc", SQL_C_SLONG, kFail, 0),
    I("", SQL_C_SLONG, kFail, 0),
    I("-", SQL_C_SLONG, kFail, 0),
    I(".", SQL_C_SLONG, kFail, 0),
    I("1.2.3", SQL_C_SLONG, kFail, 0),
    I("1e", SQL_C_SLONG, kFail, 0),
    I("inf", SQL_C_SLONG, kFail, 0),
    I("1 2", SQL_C_SLONG, kFail, 0),
    I("1." + std::string(1000, '0') + "1", SQL_C_SLONG, kCut, 1),
    // A CHAR column's padding is not part of the number.
    Int(SQL_CHAR, T("-5"), SQL_C_SLONG, kDone, -5),
    Int(SQL_CHAR, T("12        "), SQL_C_SSHORT, kDone, 12),
};

TEST(TextValueTest, IntegerTargets) { CheckRows(kIntCases, 10); }

// Floating values; dates and times read at fixed positions, with no
// calendar check and no check of the separators.
TEST(TextValueTest, FloatingAndDateTimeTargets) {
  const SQLSMALLINT kD = SQL_C_DOUBLE, kR = SQL_C_FLOAT, kDate = SQL_C_DATE, kTime = SQL_C_TIME, kTs = SQL_C_TIMESTAMP;
  const Row cases[] = {
      C("-2.5e-3", kD, kDone, F(-0.0025)),
      C("-0.0", kD, kDone, F(-0.0)),
      C("1e309", kD, kFail, {}),
      C("1.7976931348623157e308", kD, kDone, F(1.7976931348623157e308)),
      C("3.4e38", kR, kDone, R(3.4e38f)),
      C("3.5e38", kR, kFail, {}),
      C("1e-50", kR, kDone, R(0)),
      C("7abc", kR, kFail, {}),
      C("0." + std::string(400, '0') + "1", kD, kDone, F(0)),
      C("1." + std::string(1000, '0') + "1", kD, kDone, F(1)),
      C("1996-02-30", kDate, kDone, Fields({1996, 2, 30})),
      C("1996-13-01", kDate, kFail, {}),
      C("1996-12-32", kDate, kFail, {}),
      C("1996-12-31", kDate, kDone, Fields({1996, 12, 31})),
      C("1996/02/03", kDate, kDone, Fields({1996, 2, 3})),
      C("1996-5", kDate, kDone, Fields({1996, 5, 0})),
      C("", kDate, kDone, Fields({0, 0, 0})),
      C("19a6-01-01", kDate, kFail, {}),
      C("1996-01-01 10:20:30", kDate, kDone, Fields({1996, 1, 1})),
      C("23:59:59", kTime, kDone, Fields({23, 59, 59})),
      C("24:00:00", kTime, kFail, {}),
      C("23:60:00", kTime, kFail, {}),
      C("23:59:60", kTime, kFail, {}),
      C("7:30", kTime, kFail, {}),
      C("10:20", kTime, kDone, Fields({10, 20, 0})),
      C("1996-05-01 10:20:30.", kTs, kDone, Ts(1996, 5, 1, 10, 20, 30, 0)),
      C("1996-05-01 10:20:30.5", kTs, kDone, Ts(1996, 5, 1, 10, 20, 30, 500000000)),
      C("1996-05-01 10:20:30.000000001", kTs, kDone, Ts(1996, 5, 1, 10, 20, 30, 1)),
      C("1996-05-01 10:20:30.1234567891", kTs, kCut, Ts(1996, 5, 1, 10, 20, 30, 123456789)),
      C("1996-05-01 10:20:30.12a", kTs, kFail, {}),
      C("1996-05-01", kTs, kDone, Ts(1996, 5, 1, 0, 0, 0, 0)),
      {SQL_CHAR, T("1996-05-01          "), kTs, 0, kDone, Ts(1996, 5, 1, 0, 0, 0, 0), 16},
  };
  CheckRows(cases, 20);
}

// Characters and bytes are cut at the buffer (a negative size is none);
// a CHAR value is its declared length, NUL-padded.
TEST(TextValueTest, CharAndBinaryTruncate) {
  ValuePtr v = Loaded(SQL_VARCHAR, T("hello"));
  Check(v.get(), SQL_C_CHAR, -1, kCut, {}, 5);
  CheckText(v.get(), 1, kCut, "", 5);
  CheckText(v.get(), 5, kCut, "hell", 5);
  CheckText(v.get(), 6, kDone, "hello", 5);
  Check(v.get(), SQL_C_BINARY, 4, kCut, T("hell", false), 5);
  Check(v.get(), SQL_C_BINARY, 5, kDone, T("hello", false), 5);
  ValuePtr fixed = Loaded(SQL_CHAR, T("ab"), 10);
  Check(fixed.get(), SQL_C_CHAR, 20, kDone, Cat(T("ab", false), Bytes(9, 0)), 10);
  Check(fixed.get(), SQL_C_CHAR, 10, kCut, Cat(T("ab", false), Bytes(8, 0)), 10);
  ValuePtr big = Loaded(SQL_LONGVARCHAR, T(std::string(100000, 'x'), false));
  CheckText(big.get(), 10, kCut, std::string(9, 'x'), 100000);
}

TEST(TextValueTest, LoadKeepsWhatTheBytesAndDeclaredLengthAllow) {
  ValuePtr c = Make(SQL_CHAR, 5);
  ASSERT_EQ(kLoadDone, LoadBytes(c.get(), T("abcdefgh")));
  CheckText(c.get(), 6, kDone, "abcde", 5);
  ASSERT_EQ(kLoadDone, LoadBytes(c.get(), T("x")));  // the old text is cleared
  Check(c.get(), SQL_C_CHAR, 6, kDone, Cat({'x'}, Bytes(5, 0)), 5);
  ValuePtr v = Make(SQL_VARCHAR);
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), T("abc", false)));  // no NUL: ends with the bytes
  CheckText(v.get(), 8, kDone, "abc", 3);
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), Bytes{'a', 'b', 0, 'c', 'd'}));  // an inner NUL ends it
  EXPECT_EQ(2u, v->length);
  ASSERT_EQ(kLoadDone, v->Load(nullptr, 0));
  CheckText(v.get(), 1, kDone, "", 0);
  // A failed allocation (a text longer than the buffer kept) leaves an
  // empty value (a CHAR's NULs).
  ASSERT_EQ(kLoadDone, LoadBytes(v.get(), T("old")));
  c = Make(SQL_CHAR, 4);
  SetAllocFailAfter(0);
  EXPECT_EQ(kLoadNoMemory, LoadBytes(v.get(), T(std::string(300, 'n'))));
  EXPECT_EQ(kLoadNoMemory, LoadBytes(c.get(), T("abcd")));
  ResetAllocFailure();
  CheckText(v.get(), 8, kDone, "", 0);
  Check(c.get(), SQL_C_CHAR, 10, kDone, Bytes(5, 0), 4);
  EXPECT_EQ(kLoadDone, LoadBytes(c.get(), T("abcd")));
  CheckText(c.get(), 10, kDone, "abcd", 4);
  // Conversions never allocate.
  ValuePtr ts = Loaded(SQL_VARCHAR, T("1996-05-01 10:20:30.5"));
  unsigned long before = AllocCount();
  for (SQLSMALLINT t : {SQL_C_CHAR, SQL_C_SLONG, SQL_C_DOUBLE, SQL_C_BINARY, SQL_C_TIMESTAMP, SQL_C_SBIGINT})
    Convert(ts.get(), t);
  EXPECT_EQ(before, AllocCount());
}

}  // namespace
}  // namespace convert_test
