// DATE, TIME, TIMESTAMP and the binary values.
#include <gtest/gtest.h>

#include "convert/BinaryValues.h"
#include "convert/DateTimeValues.h"
#include "convert_test_util.h"
#include "base/Alloc.h"

namespace convert_test {
namespace {

const int kFail = kConversionFailed, kDone = kConversionDone, kCut = kConversionTruncated;

// A text conversion whose text either fits whole (with its NUL) or fails.
void CheckWholeText(const ColumnValue* v, const std::string& text) {
  SQLLEN n = static_cast<SQLLEN>(text.size());
  for (SQLLEN cb : {SQLLEN(0), SQLLEN(1), n, n + 1, n + 2}) {
    SCOPED_TRACE(cb);
    Conversion out = Convert(v, SQL_C_CHAR, cb);
    EXPECT_EQ(n, out.pcb);
    ExpectText(out, cb <= n ? kFail : kDone, text);
  }
}

// Binary of a fixed-size held form: all of it or nothing.
void CheckWholeBinary(const ColumnValue* v, const Bytes& held) {
  SQLLEN n = static_cast<SQLLEN>(held.size());
  for (SQLLEN cb : {SQLLEN(0), n - 1, n, n + 1}) {
    SCOPED_TRACE(cb);
    Conversion out = Convert(v, SQL_C_BINARY, cb);
    EXPECT_EQ(n, out.pcb);
    ExpectBytes(out, cb < n ? kFail : kDone, held);
  }
}

TEST(DateValueTest, Conversions) {
  Bytes row = DateBytes(1996, 5, 1);
  ValuePtr v = Loaded(SQL_DATE, row, 6);
  CheckWholeText(v.get(), "1996-05-01");
  CheckWholeBinary(v.get(), row);
  Conversion d = Convert(v.get(), SQL_C_DATE);
  EXPECT_EQ(kDone, d.result);
  EXPECT_EQ(6, d.pcb);
  EXPECT_EQ(row, d.buffer);
  Conversion ts = Convert(v.get(), SQL_C_TIMESTAMP);
  EXPECT_EQ(kDone, ts.result);
  EXPECT_EQ(16, ts.pcb);
  EXPECT_EQ(TimestampBytes(1996, 5, 1, 0, 0, 0, 0), ts.buffer);
  ValuePtr early = Loaded(SQL_DATE, DateBytes(-1, 0, 0));
  CheckWholeText(early.get(), "-001-00-00");
}

TEST(TimeValueTest, Conversions) {
  Bytes row = TimeBytes(10, 20, 30);
  ValuePtr v = Loaded(SQL_TIME, row, 6);
  CheckWholeText(v.get(), "10:20:30");
  CheckWholeBinary(v.get(), row);
  Conversion t = Convert(v.get(), SQL_C_TIME);
  EXPECT_EQ(kDone, t.result);
  EXPECT_EQ(row, t.buffer);
  Conversion ts = Convert(v.get(), SQL_C_TIMESTAMP);
  EXPECT_EQ(kDone, ts.result);
  EXPECT_EQ(TimestampBytes(0, 0, 0, 10, 20, 30, 0), ts.buffer);
}

TEST(TimestampValueTest, TextShowsThreeSixOrNineFractionDigits) {
  struct Case {
    uint32_t fraction;
    const char* text;
  };
  const Case cases[] = {
      {0, "1996-05-01 10:20:30"},
      {500000000, "1996-05-01 10:20:30.500"},
      {123000000, "1996-05-01 10:20:30.123"},
      {123456000, "1996-05-01 10:20:30.123456"},
      {123456789, "1996-05-01 10:20:30.123456789"},
      {100000, "1996-05-01 10:20:30.000100"},
      {1000, "1996-05-01 10:20:30.000001"},
      {1, "1996-05-01 10:20:30.000000001"},
      {999999999, "1996-05-01 10:20:30.999999999"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ValuePtr v = Loaded(SQL_TIMESTAMP, TimestampBytes(1996, 5, 1, 10, 20, 30, c.fraction), 16);
    CheckWholeText(v.get(), c.text);
  }
}

TEST(TimestampValueTest, DateAndTimeReportDroppedFields) {
  struct Case {
    Bytes row;
    int dateResult;
    int timeResult;
  };
  const Case cases[] = {
      {TimestampBytes(1996, 5, 1, 10, 20, 30, 0), kCut, kDone},
      {TimestampBytes(1996, 5, 1, 0, 0, 0, 0), kDone, kDone},
      {TimestampBytes(1996, 5, 1, 0, 0, 0, 5), kDone, kCut},
      {TimestampBytes(1996, 5, 1, 0, 0, 1, 0), kCut, kDone},
  };
  for (const Case& c : cases) {
    ValuePtr v = Loaded(SQL_TIMESTAMP, c.row, 16);
    Conversion d = Convert(v.get(), SQL_C_DATE);
    EXPECT_EQ(c.dateResult, d.result);
    EXPECT_EQ(6, d.pcb);
    EXPECT_EQ(Bytes(c.row.begin(), c.row.begin() + 6), d.buffer);
    Conversion t = Convert(v.get(), SQL_C_TIME);
    EXPECT_EQ(c.timeResult, t.result);
    EXPECT_EQ(6, t.pcb);
    EXPECT_EQ(Bytes(c.row.begin() + 6, c.row.begin() + 12), t.buffer);
    Conversion ts = Convert(v.get(), SQL_C_TIMESTAMP);
    EXPECT_EQ(kDone, ts.result);
    EXPECT_EQ(c.row, ts.buffer);
    CheckWholeBinary(v.get(), c.row);
  }
}

TEST(DateTimeLoadTest, ShortBytesAreMalformed) {
  ValuePtr d = Loaded(SQL_DATE, DateBytes(1996, 5, 1));
  EXPECT_EQ(kLoadMalformed, LoadBytes(d.get(), Bytes(5, 1)));
  EXPECT_EQ(0, static_cast<DateValue*>(d.get())->Value().year);
  ValuePtr t = Loaded(SQL_TIME, TimeBytes(1, 2, 3));
  EXPECT_EQ(kLoadMalformed, t->Load(nullptr, 0));
  EXPECT_EQ(0, static_cast<TimeValue*>(t.get())->Value().hour);
  ValuePtr ts = Loaded(SQL_TIMESTAMP, TimestampBytes(1996, 5, 1, 1, 2, 3, 4));
  EXPECT_EQ(kLoadMalformed, LoadBytes(ts.get(), Bytes(15, 1)));
  EXPECT_EQ(0u, static_cast<TimestampValue*>(ts.get())->Value().fraction);
  EXPECT_EQ(kLoadDone, LoadBytes(ts.get(), TimestampBytes(2000, 1, 2, 3, 4, 5, 6)));
  EXPECT_EQ(6u, static_cast<TimestampValue*>(ts.get())->Value().fraction);
}

TEST(BinaryValueTest, CharIsTheRawBytes) {
  Bytes abc = {'A', 'B', 'C'};
  ValuePtr fixed = Loaded(SQL_BINARY, abc, 3);
  CheckWholeText(fixed.get(), "ABC");
  Bytes counted = {3, 'A', 'B', 'C'};
  ValuePtr var = Loaded(SQL_VARBINARY, counted, 10);
  CheckWholeText(var.get(), "ABC");
}

// Truncation at 0, 1, exact and exact+1, as characters and as bytes.
TEST(BinaryValueTest, CharAndBinaryAreCutToTheBuffer) {
  ValuePtr v = Loaded(SQL_LONGVARBINARY, Bytes{3, 0, 0, 0, 'A', 'B', 'C'});
  const std::pair<SQLLEN, const char*> chars[] = {{0, ""}, {1, ""}, {3, "AB"}, {4, "ABC"}, {5, "ABC"}};
  for (const auto& c : chars) {
    SCOPED_TRACE(c.first);
    Conversion out = Convert(v.get(), SQL_C_CHAR, c.first);
    EXPECT_EQ(3, out.pcb);
    ExpectText(out, c.first < 4 ? kCut : kDone, c.second);
  }
  const Bytes data = {1, 0, 2, 0xff};
  Bytes var = {4};
  var.insert(var.end(), data.begin(), data.end());
  Bytes lvar = {4, 0, 0, 0};
  lvar.insert(lvar.end(), data.begin(), data.end());
  ValuePtr values[] = {Loaded(SQL_BINARY, data, 4), Loaded(SQL_VARBINARY, var),
                       Loaded(SQL_LONGVARBINARY, lvar)};
  for (const ValuePtr& bin : values) {
    ASSERT_TRUE(bin);
    for (SQLLEN cb : {0, 1, 3, 4, 5}) {
      SCOPED_TRACE(std::to_string(bin->SqlType()) + " in " + std::to_string(cb));
      Conversion out = Convert(bin.get(), SQL_C_BINARY, cb);
      EXPECT_EQ(4, out.pcb);
      size_t n = cb < 4 ? static_cast<size_t>(cb) : 4;
      ExpectBytes(out, cb < 4 ? kCut : kDone, Bytes(data.begin(), data.begin() + n));
    }
  }
}

TEST(BinaryLoadTest, FixedLengthNeedsAllItsBytes) {
  ValuePtr v = Make(SQL_BINARY, 3);
  EXPECT_EQ(kLoadMalformed, LoadBytes(v.get(), Bytes{1, 2}));
  Conversion zeros = Convert(v.get(), SQL_C_BINARY, 3);
  EXPECT_EQ(kDone, zeros.result);
  EXPECT_EQ(Bytes(3, 0), zeros.buffer);
  EXPECT_EQ(kLoadDone, LoadBytes(v.get(), Bytes{1, 2, 3, 4}));
  EXPECT_EQ((Bytes{1, 2, 3}), Convert(v.get(), SQL_C_BINARY, 3).buffer);
  ValuePtr empty = Make(SQL_BINARY, 0);
  EXPECT_EQ(kLoadDone, empty->Load(nullptr, 0));
  EXPECT_EQ(0, Convert(empty.get(), SQL_C_BINARY, 0).pcb);
}

TEST(BinaryLoadTest, CountsAreCheckedAgainstTheBytes) {
  struct Case {
    int32_t type;
    Bytes row;
    int result;
    uint32_t length;
  };
  Bytes full255(256, 7);
  full255[0] = 255;
  Bytes short255(255, 7);
  short255[0] = 255;
  const Case cases[] = {
      {SQL_VARBINARY, {}, kLoadMalformed, 0},
      {SQL_VARBINARY, {0}, kLoadDone, 0},
      {SQL_VARBINARY, {2, 9}, kLoadMalformed, 0},
      {SQL_VARBINARY, full255, kLoadDone, 255},
      {SQL_VARBINARY, short255, kLoadMalformed, 0},
      {SQL_LONGVARBINARY, {}, kLoadMalformed, 0},
      {SQL_LONGVARBINARY, {0, 0, 0}, kLoadMalformed, 0},
      {SQL_LONGVARBINARY, {0, 0, 0, 0}, kLoadDone, 0},
      {SQL_LONGVARBINARY, {2, 0, 0, 0, 9}, kLoadMalformed, 0},
      {SQL_LONGVARBINARY, {0xff, 0xff, 0xff, 0xff, 1, 2, 3}, kLoadMalformed, 0},
      {SQL_LONGVARBINARY, {1, 0, 0, 0, 9, 9}, kLoadDone, 1},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    ValuePtr v = Make(c.type);
    ASSERT_EQ(kLoadDone, LoadBytes(v.get(), c.type == SQL_VARBINARY ? Bytes{1, 5}
                                                                  : Bytes{1, 0, 0, 0, 5}));
    unsigned long before = AllocCount();
    EXPECT_EQ(c.result, LoadBytes(v.get(), c.row));
    EXPECT_EQ(c.length, v->length);
    if (c.result == kLoadMalformed) {
      EXPECT_EQ(before, AllocCount());
    }
    Conversion out = Convert(v.get(), SQL_C_BINARY, 300);
    EXPECT_EQ(static_cast<SQLLEN>(c.length), out.pcb);
  }
}

TEST(BinaryLoadTest, LargeValueLoadsWhole) {
  const uint32_t n = 1u << 20;
  Bytes row(4 + n, 0x5a);
  std::memcpy(row.data(), &n, 4);
  ValuePtr v = Loaded(SQL_LONGVARBINARY, row);
  ASSERT_TRUE(v);
  EXPECT_EQ(n, v->length);
  Conversion out = Convert(v.get(), SQL_C_BINARY, 16);
  EXPECT_EQ(kCut, out.result);
  EXPECT_EQ(static_cast<SQLLEN>(n), out.pcb);
  EXPECT_TRUE(out.guardsIntact);
}

TEST(BinaryLoadTest, AllocationFailureLeavesAnEmptyValue) {
  for (int32_t type : {SQL_VARBINARY, SQL_LONGVARBINARY}) {
    ValuePtr v = Make(type);
    Bytes row = type == SQL_VARBINARY ? Bytes{2, 8, 9} : Bytes{2, 0, 0, 0, 8, 9};
    SetAllocFailAfter(0);
    int result = LoadBytes(v.get(), row);
    ResetAllocFailure();
    EXPECT_EQ(kLoadNoMemory, result);
    EXPECT_EQ(0u, v->length);
    EXPECT_EQ(0, Convert(v.get(), SQL_C_BINARY, 4).pcb);
    EXPECT_EQ(kLoadDone, LoadBytes(v.get(), row));
    EXPECT_EQ(2u, v->length);
  }
  ValuePtr fixed = Make(SQL_BINARY, 2);
  SetAllocFailAfter(0);
  EXPECT_EQ(kLoadNoMemory, LoadBytes(fixed.get(), Bytes{8, 9}));
  ResetAllocFailure();
  EXPECT_EQ(Bytes(2, 0), Convert(fixed.get(), SQL_C_BINARY, 2).buffer);
}

}  // namespace
}  // namespace convert_test
