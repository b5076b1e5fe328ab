// The transfer of one value into an application buffer, without a server:
// result mapping, NULLs, unknown C types and SQLGetData's piecewise reading.
// Each scenario is one value and the calls made on it in order.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/Alloc.h"
#include "convert/ColumnValue.h"
#include "handles/Statement.h"
#include "odbc/fetch/Transfer.h"
#include "protocol/FetchData.h"
#include "support/capture.h"

namespace {

// cb negative: no buffer, cbValueMax -cb. icol 0: a bound column's
// transfer (no piece position). outcome: "", "01004", "100" (no data) or an
// error's SQLSTATE. out: the bytes written (a character piece's NUL
// added). length 12345: not written.
// clang-format off
struct Step { SQLSMALLINT cType; SQLLEN cb; uint16_t icol; const char* outcome; std::string out; SQLLEN length; };
// clang-format on

// A column of a type and declared length holding one row's bytes.
// clang-format off
struct Held { int32_t type; uint32_t length; std::string row; bool isNull; };
// clang-format on
// clang-format off
struct Scenario { Held value; std::vector<Step> steps; };
// clang-format on

// A bound column's transfer without a position, SQLGetData's with one.
SQLRETURN Transfer(Statement* stmt, ColumnValue* value, const FetchDataElement* element, const TransferTarget& target,
                   uint16_t icol, GetDataPosition* position) {
  const ValueInPlace in = InPlace(element);
  if (position == nullptr) return TransferBound(stmt, value, in, target);
  const ConversionPlan plan = PlanConversion(value->SqlType(), target.fCType, true);
  if (plan.check != Conversion::kDone) return ConversionResult(stmt, plan.check);
  return TransferPiece(stmt, value, plan, &in, element, target, icol, position);
}

const SQLRETURN kOk = SQL_SUCCESS, kInfo = SQL_SUCCESS_WITH_INFO, kErr = SQL_ERROR, kEnd = SQL_NO_DATA_FOUND;
const std::string k25 = std::string("abcdefghijklmnopqrstuvwxy") + '\0';

class TransferTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetAllocFailure();
    delete value_;
  }
  void Column(int32_t type, uint32_t length, const std::string& row, bool isNull = false) {
    ColumnDescription d;
    d.sqlDataType = type;
    d.length = d.precision = length;
    delete value_;
    value_ = CreateColumnValue(&d);
    ASSERT_NE(nullptr, value_);
    ASSERT_TRUE(element_.Set(1, row.data(), static_cast<uint32_t>(row.size()), isNull));
    position_.Reset();
  }
  SQLRETURN Get(SQLSMALLINT cType, SQLLEN cb, uint16_t icol = 1) {
    std::memset(buffer_, '#', sizeof buffer_);
    length_ = 12345;
    stmt_.ClearErrors();
    return Transfer(&stmt_, value_, &element_,
                    {cType, cb < 0 ? nullptr : buffer_, cb < 0 ? -cb : cb, &length_, &length_}, icol,
                    icol ? &position_ : nullptr);
  }
  std::string State() {
    ErrorData* e = stmt_.errors.Last();
    return e ? e->sqlstate.TextOrEmpty() : "";
  }

  Statement stmt_{nullptr};
  ColumnValue* value_ = nullptr;
  FetchDataElement element_;
  GetDataPosition position_;
  char buffer_[20000];
  SQLLEN length_ = 0;
};

TEST_F(TransferTest, Scenarios) {
  const std::string k123 = std::string("\x7b\0\0\0\0\0\0\0", 8);
  const SQLSMALLINT kC = SQL_C_CHAR, kB = SQL_C_BINARY, kW = SQL_C_WCHAR, kUnknownC = 1234;
  // Little-endian units and the 0 unit after them ("a" stands for 'a', 0).
  auto W = [](const char* units, size_t n = std::string::npos) {
    std::string u(units, n == std::string::npos ? std::strlen(units) : n);
    if (u.size() % 2) u += '\0';
    return u + std::string(2, '\0');
  };
  const SQLLEN kNot = 12345;
  const Scenario scenarios[] = {
      // Another C type starts again (another column: fetch_server_test.cpp);
      // a bound column always starts at the beginning.
      {{SQL_VARCHAR, 0, k25, false},
       {{kC, 10, 1, "01004", "abcdefghi", 25},
        {kB, 10, 1, "01004", "abcdefghij", 25},
        {kC, 4, 0, "01004", "abc", 25},
        {kC, 4, 0, "01004", "abc", 25}}},
      // Fixed types convert again on every call; results become diagnostics.
      {{SQL_INTEGER, 4, k123.substr(0, 4), false},
       {{SQL_C_SLONG, 4, 1, "", k123.substr(0, 4), 4},
        {SQL_C_SLONG, 4, 1, "", k123.substr(0, 4), 4},
        {SQL_C_SBIGINT, 8, 1, "", k123, 8},
        {kC, 3, 1, "22003", "", 3},
        {kC, 4, 1, "", "123", 3},
        {kUnknownC, 100, 0, "S1003", "", kNot}}},
      // An unknown C type is refused whatever the value holds (NULL too) and
      // leaves no piece under way; asking for the length only does not
      // consume a piece.
      {{SQL_VARCHAR, 0, "", true}, {{kUnknownC, 100, 1, "S1003", "", kNot}}},
      {{SQL_VARCHAR, 0, k25, false},
       {{kC, -10, 1, "01004", "", 25},
        {kC, 10, 1, "01004", "abcdefghi", 25},
        {kUnknownC, 10, 1, "S1003", "", kNot},
        {kC, -10, 1, "01004", "", 16},
        {kC, 10, 1, "01004", "jklmnopqr", 16},
        {kC, 10, 1, "", "stuvwxy", 7},
        {kC, 10, 1, "100", "", kNot}}},
      // Pieces of a CHAR carry its NUL padding; binary read as hexadecimal
      // characters, on whole bytes;
      // numbers converted again into a scratch buffer for each piece.
      {{SQL_CHAR, 6, std::string("abc\0", 4), false},
       {{kB, 4, 1, "01004", std::string("abc\0", 4), 6}, {kB, 4, 1, "", std::string(2, '\0'), 2}}},
      {{SQL_LONGVARBINARY, 0, std::string("\x05\0\0\0ABCDE", 9), false},
       {{kC, 6, 1, "01004", "4142", 10},
        {kC, 6, 1, "01004", "4344", 6},
        {kC, 6, 1, "", "45", 2},
        {kC, 6, 1, "100", "", kNot}}},
      {{SQL_FLOAT, 8, std::string("\0\0\0\0\x80\x4a\x93\xc0", 8), false},  // -1234.625
       {{kC, 7, 1, "01004", "-1234.", 9}, {kC, 7, 1, "", "625", 3}}},
      // Wide text (UTF-16LE here, the 0 unit written out): pieces end on a
      // character, never inside a pair; a buffer too small for the next
      // character returns only the 0; ill-formed UTF-8 becomes U+FFFD.
      {{SQL_VARCHAR, 0,
        "a\xf0\x9f\x98\x80\xc3\xa9"
        "b" +
            std::string(1, '\0'),
        false},
       {{kW, 8, 0, "01004", W("a\0\x3d\xd8\0\xde", 6), 10},
        {kW, -6, 1, "01004", "", 10},
        {kW, 6, 1, "01004", W("a"), 10},
        {kW, 6, 1, "01004", W("\x3d\xd8\0\xde", 4), 8},
        {kW, 3, 1, "01004", W(""), 4},
        {kW, 6, 1, "", W("\xe9\0b\0", 4), 4},
        {kW, 6, 1, "100", "", kNot}}},
      {{SQL_VARCHAR, 0, std::string("x\xff\0", 3), false}, {{kW, 20, 1, "", W("x\0\xfd\xff", 4), 4}}},
      {{SQL_INTEGER, 4, k123.substr(0, 4), false},
       {{kW, 20, 1, "",
         W("1\0"
           "2\0"
           "3\0",
           6),
         6}}},
  };
  for (size_t s = 0; s < sizeof scenarios / sizeof scenarios[0]; ++s) {
    const Scenario& sc = scenarios[s];
    Column(sc.value.type, sc.value.length, sc.value.row, sc.value.isNull);
    for (size_t i = 0; i < sc.steps.size(); ++i) {
      const Step& st = sc.steps[i];
      SCOPED_TRACE("scenario " + std::to_string(s) + " step " + std::to_string(i));
      const std::string outcome = st.outcome;
      const SQLRETURN rc = outcome.empty() ? kOk : outcome == "01004" ? kInfo : outcome == "100" ? kEnd : kErr;
      EXPECT_EQ(rc, Get(st.cType, st.cb, st.icol));
      EXPECT_EQ(rc == kEnd ? "" : outcome, State());
      EXPECT_EQ(st.length, length_);
      const bool text = st.cType == SQL_C_CHAR && SQL_SUCCEEDED(rc) && st.length != SQL_NULL_DATA && st.cb > 0;
      const std::string out = st.out + (text ? std::string(1, '\0') : "");
      EXPECT_EQ(out, std::string(buffer_, out.size()));
      EXPECT_EQ('#', buffer_[out.size()]);
    }
  }
}

// SQL_C_NUMERIC takes the row descriptor's precision and scale when the
// application set them, else the value's own places.
TEST_F(TransferTest, NumericDigitsFromTheDescriptor) {
  Column(SQL_VARCHAR, 0, std::string("12.345") + '\0');
  ColumnBinding b(1, SQL_C_NUMERIC, buffer_, 19, &length_);
  value_->binding = &b;
  const auto* n = reinterpret_cast<const SQL_NUMERIC_STRUCT*>(buffer_);
  EXPECT_EQ(kOk, Get(SQL_C_NUMERIC, 19, 0));
  EXPECT_EQ("38 3 12345", std::to_string(n->precision) + " " + std::to_string(n->scale) + " " +
                              std::to_string(n->val[0] | n->val[1] << 8));
  b.precision = 5, b.scale = 1;
  EXPECT_EQ(kInfo, Get(SQL_C_NUMERIC, 19, 1));
  EXPECT_EQ("5 1 123", std::to_string(n->precision) + " " + std::to_string(n->scale) + " " +
                           std::to_string(n->val[0] | n->val[1] << 8));
  EXPECT_EQ(19, length_);
  value_->binding = nullptr;
}

// Memory: a failed load is reported and the failed piece offered again;
// later pieces of text come from the held value without new allocations.
TEST_F(TransferTest, MemoryFailuresAndAllocations) {
  Column(SQL_VARCHAR, 0, std::string(3000, 'x') + "end" + '\0');
  for (SQLRETURN next : {kInfo, kOk}) {
    SetAllocFailAfter(0);
    EXPECT_EQ(kErr, Get(SQL_C_CHAR, 2000));
    ResetAllocFailure();
    EXPECT_EQ(next, Get(SQL_C_CHAR, 2000));
  }
  EXPECT_EQ(std::string(1001, 'x') + "end", buffer_);
  EXPECT_EQ(kEnd, Get(SQL_C_CHAR, 2000));

  Column(SQL_LONGVARCHAR, 0, std::string(16000, 'x') + "end" + '\0');
  unsigned long before = AllocCount();
  ASSERT_EQ(kInfo, Get(SQL_C_CHAR, 8001));
  const unsigned long first = AllocCount() - before;  // the load and the 01004 record
  before = AllocCount();
  EXPECT_EQ(kInfo, Get(SQL_C_CHAR, 8001));
  EXPECT_EQ(first, AllocCount() - before);
}

// A value held with the row is loaded once for all its pieces; a failed
// load is never mistaken for a loaded value.
TEST_F(TransferTest, HeldValueIsLoadedOnceForAllItsPieces) {
  Column(SQL_LONGVARCHAR, 0, std::string(1, '\0'));
  FetchDataElement* held = new (std::nothrow) FetchDataElement;
  ASSERT_NE(nullptr, held);
  value_->data = held;  // owned by the value from here on
  const std::string text = std::string(9000, 'x') + "end" + '\0';
  ASSERT_TRUE(held->Set(1, text.data(), static_cast<uint32_t>(text.size()), false));
  auto piece = [&](GetDataPosition* position) {
    stmt_.ClearErrors();
    return Transfer(&stmt_, value_, held, {SQL_C_CHAR, buffer_, 3001, &length_, &length_}, 1, position);
  };
  ASSERT_EQ(kInfo, piece(&position_));
  unsigned long before = AllocCount();
  ASSERT_EQ(kInfo, piece(&position_));
  const unsigned long later = AllocCount() - before;
  before = AllocCount();
  EXPECT_EQ(kInfo, piece(nullptr));  // a bound-style transfer loads
  EXPECT_EQ(later + 1, AllocCount() - before);
  position_.Reset();
  ASSERT_EQ(kInfo, piece(&position_));
  SetAllocFailOnce(0);
  position_.SetLoadedFrom(nullptr);  // as after a failed load
  EXPECT_EQ(kErr, piece(&position_));
  ResetAllocFailure();
  EXPECT_EQ(kInfo, piece(&position_));
  EXPECT_EQ(std::string(3000, 'x'), buffer_);
  EXPECT_EQ(kInfo, piece(&position_));
  EXPECT_EQ(kOk, piece(&position_));
  EXPECT_STREQ("end", buffer_);
  EXPECT_EQ(kEnd, piece(&position_));
}

TEST_F(TransferTest, FinalDumpShowsOnlyWhatTheBufferHolds) {
  Column(SQL_VARCHAR, 0, k25);
  TraceCapture trace("X3");
  EXPECT_EQ(kInfo, Get(SQL_C_CHAR, 10));
  EXPECT_EQ(kInfo, Get(SQL_C_CHAR, 10));
  std::string text = trace.Text();
  EXPECT_NE(std::string::npos, text.find("GetDataFinal\nbuffer contains 10 bytes of data\n")) << text;
  EXPECT_NE(std::string::npos, text.find("|abcdefghi.      |")) << text;
  EXPECT_NE(std::string::npos, text.find("|jklmnopqr.      |")) << text;
  EXPECT_EQ(std::string::npos, text.find("buffer contains 25")) << text;
}

}  // namespace
