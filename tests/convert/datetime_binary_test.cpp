// DATE, TIME, TIMESTAMP and the binary values.
#include <array>
#include <tuple>

#include "convert_test_util.h"

namespace convert_test {
namespace {

// Text and bytes of a fixed-size value fit whole (text with its NUL) or
// fail; a timestamp's date and time report the fields they drop.
TEST(DateTimeValueTest, Conversions) {
  // The fields year to second and the fraction; the row holds the type's.
  const int32_t kTs = SQL_TIMESTAMP;
  const std::tuple<int32_t, std::array<int, 6>, uint32_t, std::string, int, int> cases[] = {
      {SQL_DATE, {1996, 5, 1}, 0, "1996-05-01", kDone, kFail},
      {SQL_DATE, {-1, 0, 0}, 0, "-001-00-00", kDone, kFail},
      {SQL_TIME, {0, 0, 0, 10, 20, 30}, 0, "10:20:30", kFail, kDone},
      {kTs, {1996, 5, 1, 10, 20, 30}, 0, "1996-05-01 10:20:30", kCut, kDone},
      {kTs, {1996, 5, 1, 0, 0, 0}, 5, "1996-05-01 00:00:00.000000005", kDone, kCut},
      {kTs, {1996, 5, 1, 0, 0, 1}, 0, "1996-05-01 00:00:01", kCut, kDone},
      // Fields wider than their digits are written whole.
      {kTs, {-1, 0, 0, 0, 0, 0}, 0, "-001-00-00 00:00:00", kDone, kDone},
      {kTs, {12345, 100, 1, 0, 0, 0}, 0, "12345-100-01 00:00:00", kDone, kDone},
      // Three, six or nine fraction digits, as the fraction needs.
      {kTs, {1996, 5, 1, 10, 20, 30}, 500000000, "1996-05-01 10:20:30.500", kCut, kCut},
      {kTs, {1996, 5, 1, 10, 20, 30}, 123456000, "1996-05-01 10:20:30.123456", kCut, kCut},
      {kTs, {1996, 5, 1, 10, 20, 30}, 1000, "1996-05-01 10:20:30.000001", kCut, kCut},
      {kTs, {1996, 5, 1, 10, 20, 30}, 999999999, "1996-05-01 10:20:30.999999999", kCut, kCut},
  };
  for (const auto& [type, f, fraction, text, dateResult, timeResult] : cases) {
    SCOPED_TRACE(text);
    const Bytes date = Fields({f[0], f[1], f[2]}), time = Fields({f[3], f[4], f[5]}),
                timestamp = Ts(f[0], f[1], f[2], f[3], f[4], f[5], fraction);
    const Bytes row = type == SQL_DATE ? date : type == SQL_TIME ? time : timestamp;
    ValuePtr v = Loaded(type, row, 16);
    const SQLLEN n = SQLLEN(text.size()), h = SQLLEN(row.size());
    for (SQLLEN cb : {SQLLEN(0), n, n + 1}) CheckText(v.get(), cb, cb <= n ? kFail : kDone, text, n);
    for (SQLLEN cb : {h - 1, h, h + 1}) Check(v.get(), SQL_C_BINARY, cb, cb < h ? kFail : kDone, row, h);
    Check(v.get(), SQL_C_DATE, 0, dateResult, date, dateResult == kFail ? SQL_NO_TOTAL : 6);
    Check(v.get(), SQL_C_TIME, 0, timeResult, time, timeResult == kFail ? SQL_NO_TOTAL : 6);
    Check(v.get(), SQL_C_TIMESTAMP, 0, kDone, timestamp, 16);
  }
}

TEST(BinaryValueTest, CharAndBinaryAreCutToTheBuffer) {
  const Bytes data = {1, 0, 2, 0xff};
  for (const ValuePtr& v : {Loaded(SQL_BINARY, data, 4), Loaded(SQL_VARBINARY, Cat({4}, data)),
                            Loaded(SQL_LONGVARBINARY, Cat({4, 0, 0, 0}, data))}) {
    for (SQLLEN cb : {0, 1, 3, 4, 5})
      Check(v.get(), SQL_C_BINARY, cb, cb < 4 ? kCut : kDone,
            Bytes(data.begin(), data.begin() + std::min<SQLLEN>(cb, 4)), 4);
  }
  // As characters: two uppercase hexadecimal digits a byte, cut on whole
  // bytes, NUL-terminated.
  ValuePtr text = Loaded(SQL_LONGVARBINARY, {3, 0, 0, 0, 'A', 'B', 0xfe});
  CheckText(text.get(), 4, kCut, "41", 6);
  CheckText(text.get(), 7, kDone, "4142FE", 6);
  CheckText(Loaded(SQL_BINARY, {'A', 'B', 'C'}, 3).get(), 6, kCut, "4142", 6);
}

// Counts are checked against the bytes; a refused load allocates nothing
// and leaves the value empty (a fixed length reads as zeros).
TEST(BinaryValueTest, LoadChecksCountsAgainstTheBytes) {
  Bytes full255(256, 7), short255(255, 7);
  full255[0] = short255[0] = 255;
  const int32_t kVar = SQL_VARBINARY, kLong = SQL_LONGVARBINARY;
  const std::tuple<int32_t, Bytes, int, uint32_t> cases[] = {
      {kVar, {}, kLoadMalformed, 0},
      {kVar, {0}, kLoadDone, 0},
      {kVar, full255, kLoadDone, 255},
      {kVar, short255, kLoadMalformed, 0},
      {kLong, {0, 0, 0}, kLoadMalformed, 0},
      {kLong, {0, 0, 0, 0}, kLoadDone, 0},
      {kLong, {2, 0, 0, 0, 9}, kLoadMalformed, 0},
      {kLong, {0xff, 0xff, 0xff, 0xff, 1, 2, 3}, kLoadMalformed, 0},
      {kLong, {1, 0, 0, 0, 9, 9}, kLoadDone, 1},
      {SQL_BINARY, {1, 2}, kLoadMalformed, 3},
  };
  for (const auto& [type, row, result, length] : cases) {
    SCOPED_TRACE(std::to_string(type) + " of " + std::to_string(row.size()));
    ValuePtr v = Make(type, 3);
    ASSERT_EQ(kLoadDone, LoadBytes(v.get(), type == kVar ? Bytes{1, 5} : Bytes{1, 0, 0, 0, 5}));
    unsigned long before = AllocCount();
    EXPECT_EQ(result, LoadBytes(v.get(), row));
    EXPECT_TRUE(result != kLoadMalformed || before == AllocCount());
    Bytes held = type == SQL_BINARY ? Bytes(3, 0) : Bytes(row.end() - length, row.end());
    Check(v.get(), SQL_C_BINARY, 300, kDone, held, length);
  }
  ValuePtr v = Make(SQL_BINARY, 3);
  EXPECT_EQ(kLoadDone, LoadBytes(v.get(), {1, 2, 3, 4}));
  Check(v.get(), SQL_C_BINARY, 3, kDone, {1, 2, 3}, 3);
  const uint32_t n = 1u << 20;
  Check(Loaded(kLong, Cat(LE(n), Bytes(n, 0x5a))).get(), SQL_C_BINARY, 16, kCut, Bytes(16, 0x5a), n);
  // A failed allocation leaves an empty value; the next load works.
  const std::pair<int32_t, Bytes> rows[] = {
      {kVar, {2, 8, 9}},
      {kLong, {2, 0, 0, 0, 8, 9}},
      {SQL_BINARY, {8, 9}},
  };
  for (const auto& [type, row] : rows) {
    ValuePtr empty = Make(type, 2);
    const uint32_t fixed = type == SQL_BINARY ? 2 : 0;
    SetAllocFailAfter(0);
    EXPECT_EQ(kLoadNoMemory, LoadBytes(empty.get(), row));
    ResetAllocFailure();
    Check(empty.get(), SQL_C_BINARY, 4, kDone, Bytes(fixed, 0), fixed);
    EXPECT_EQ(kLoadDone, LoadBytes(empty.get(), row));
    Check(empty.get(), SQL_C_BINARY, 4, kDone, {8, 9}, 2);
  }
}

}  // namespace
}  // namespace convert_test
