// Element encodings byte for byte, every element class on its kind's
// sample, bounded decoding of short or lying bodies, allocation failures
// and the trace lines of each element kind.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "protocol/ElementNames.h"
#include "protocol/fill.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

using ElementPtr = std::unique_ptr<Element>;

// Every element number makes a class of its own number, which decodes its
// kind's sample whole (the bytes after it stay) and encodes it back.
TEST(ElementEncoding, EveryElementClassRoundTripsItsSample) {
  int classes = 0;
  for (int id = -1; id <= kElementIdCount; ++id) {
    ElementPtr e(CreateElement(id));
    if (!e) continue;
    ++classes;
    std::string sample = SampleOf(e.get());
    int status = -1;
    EXPECT_EQ(id, e->ElementId());
    ASSERT_EQ(static_cast<long>(sample.size()), Decode(e.get(), sample + "tail", &status)) << ElementName(id);
    EXPECT_EQ(sample.size(), e->ElementSize()) << ElementName(id);
    EXPECT_EQ(Hex(sample), Hex(Encode(e.get()))) << ElementName(id);
  }
  EXPECT_EQ(79, classes);
}

// Values as senders set them are pinned by the driver's wire tests
// (tests/odbc): parameters, fetch column lists, empty parameter sets; so
// are the fields of a received column description (SQLDescribeCol and
// SQLColAttributes in tests/odbc/session_test.cpp). Here, received values
// at their edges.
TEST(ElementDecoding, ValuesArrive) {
  int status = -1;
  // Any non-zero null flag means null.
  FetchDataElement f;
  ASSERT_EQ(9, Decode(&f, FromHex("04 00 80 02 00 00 00 'hi'"), &status));
  EXPECT_TRUE(f.IsNull() && f.Column() == 4);
  // A received text keeps no trailing blank; texts over 32767 bytes arrive
  // whole.
  TableNameElement t;
  ASSERT_EQ(6, Decode(&t, FromHex("04 00 'ab  '"), &status));
  EXPECT_STREQ("ab", t.value.Text());
  ASSERT_EQ(40002, Decode(&t, U16(40000) + std::string(40000, 'x'), &status));
  EXPECT_EQ(40000u, t.value.Length());
  // Empty sets arrive as empty lists.
  FetchDataSetElement rows;
  ResultSetDescriptionElement description;
  EXPECT_EQ(2, Decode(&rows, FromHex("00 00 09"), &status));
  EXPECT_EQ(2, Decode(&description, FromHex("00 00"), &status));
  EXPECT_EQ(0u,
            (rows.List() ? rows.List()->Count() : 9) + (description.Columns() ? description.Columns()->Count() : 9));
}

// Bodies that end inside an element, and counts or lengths larger than the
// bytes left: failure with status 0 and nothing allocated for the claim.
TEST(ElementDecoding, ShortBodiesFailWithCommunicationStatus) {
  // clang-format off
  const struct { int id; std::string bytes; } rows[] = {
      {El::kColumnNumber, FromHex("01")},
      {El::kStatementId, FromHex("01 02 03")},
      {El::kReturnCode, FromHex("01")},
      {El::kColumnName, FromHex("05 00 'ab'")},
      {El::kColumnName, FromHex("01")},
      {El::kColumnNumberVector, FromHex("03 00 01 00 02 00")},
      {El::kNativeLengthValues, std::string(25, '\1')},
      {El::kFetchData, FromHex("01 00 00 05 00 00 00 'a'")},
      {El::kFetchData, FromHex("01 00 00 ff ff ff ff")},
      {El::kFetchDataSet, FromHex("ff ff 01 00 00 00 00 00 00")},
      {El::kFetchDataSet, FromHex("02 00 01 00 00 00 00 00 00")},
      {El::kNumberOfRowsInSet, FromHex("02 00 01 00 01 00 00 01 00 00 00 'a'")},
      {El::kNumberOfRowsInSet, FromHex("01 00 01 00 01 00 00 05 00 00 00 'a'")},
      {El::kParameterDataElement, FromHex("01 00 04 00 00 03 00 00 00")},
      {El::kParameterDataSetElement, FromHex("ff ff")},
      {El::kResultSetDescription, FromHex("ff ff 00 00")},
      {El::kResultSetDescription, FromHex("01 00") + std::string(21, '\0')},
  };
  // clang-format on
  for (const auto& r : rows) {
    ElementPtr e(CreateElement(r.id));
    int status = -1;
    unsigned long before = AllocCount();
    EXPECT_EQ(-1, Decode(e.get(), r.bytes, &status)) << ElementName(r.id) << " " << Hex(r.bytes);
    EXPECT_EQ(kStatusCommunicationFailure, status) << ElementName(r.id);
    // At most the set's own empty list, never room for the claim.
    EXPECT_LE(AllocCount() - before, 3u) << ElementName(r.id);
  }
}

TEST(ElementEncoding, SettersThatCannotAllocateLeaveEmptyValues) {
  ColumnNumberVectorElement v;
  FetchDataElement a;
  SetAllocFailAfter(0);
  EXPECT_FALSE(v.SetCount(4));
  EXPECT_FALSE(a.Set(3, "xyz", 3, false));
  ResetAllocFailure();
  EXPECT_EQ(FromHex("00 00") + FromHex("03 00 01 00 00 00 00"), Encode(&v) + Encode(&a));
}

class ElementTrace : public ::testing::Test {
 protected:
  TraceCapture trace{"P2"};
  static std::string Line(const std::string& text) { return TraceCapture::Line('P', 2, text); }
  // The lines after the header that opening the trace writes.
  std::string Lines() {
    std::string text = trace.Text();
    size_t end = text.find("]\n\n");
    return end == std::string::npos ? text : text.substr(end + 3);
  }
  // A dump: its title, its size and one row of hex and characters.
  static std::string Dump(const std::string& title, size_t size, const std::string& row) {
    return Line("").substr(0, 8) + title + "\nbuffer contains " + std::to_string(size) + " bytes of data\n000: " + row;
  }
  template <class E>
  void Put(long value) {
    E e;
    e.value = static_cast<decltype(e.value)>(value);
    Encode(&e);
  }
  template <class E>
  void Get(const std::string& bytes) {
    E e;
    Decode(&e, bytes, &status);
  }
  int status = -1;
};

// Each kind's trace line: numbers, enumerations by value name, texts.
TEST_F(ElementTrace, EachKindsLine) {
  Put<StatementIdElement>(4000000000u);
  Get<StatementIdElement>(U32(7));
  Get<ColumnNumberElement>(FromHex("fe ff"));
  Get<NumberOfRowsElement>(U32(0xFFFFFFFF));
  Get<ReturnCodeElement>(FromHex("64 00"));
  Get<ReturnCodeElement>(FromHex("07 00"));
  Put<ReturnCodeElement>(-1);
  Get<ErrorCodeElement>(FromHex("10 27"));
  Put<ErrorCodeElement>(-3);
  Get<StatementElement>(Text16("short"));  // cutting long texts: tests/base
  EXPECT_EQ(Line("statementId.PutElement()=4000000000") + Line("statementId.GetElement()=7") +
                Line("columnNumber.GetElement()=-2") + Line("numberOfRows.GetElement()=-1") +
                Line("returnCode.GetEnumeratedElement()=100") + Line("returnCode.GetElement()=NO_DATA_FOUND") +
                Line("returnCode.GetEnumeratedElement()=7") + Line("returnCode.GetElement()=<unknown>") +
                Line("returnCode.PutElement()=RC_ERROR") + Line("returnCode.PutEnumeratedElement()=65535") +
                Line("errorCode.GetEnumeratedElement()=10000") + Line("errorCode.GetElement()=10000") +
                Line("errorCode.PutElement()=-3") + Line("errorCode.PutEnumeratedElement()=65533") +
                Line(" statement.GetElement()=\"short\""),
            Lines());
  EXPECT_STREQ("<unknown>", ElementName(kElementIdCount));
  EXPECT_STREQ("<unknown>", ElementName(-1));
}

TEST_F(ElementTrace, DumpsNameTheirElementAndValues) {
  Get<ColumnNumberVectorElement>(FromHex("00 00"));  // empty: a line, no dump
  Get<ColumnNumberVectorElement>(FromHex("01 00 09 00"));
  Get<FetchDataElement>(FromHex("02 00 00 03 00 00 00 'abc'"));
  Get<ResultSetDescriptionElement>(FromHex("00 00"));
  ParameterDataElement p;
  p.Set(1, 12, "hey", 3, false);
  Encode(&p);
  std::string text = trace.Text();
  for (const std::string& expected :
       {Line("columnNumberVector.GetElement()"), Line("resultSetDescription.GetElement()"),
        Dump("columnNumberVector.GetElement()", 2, "09 00 "),
        Dump("fetchData.GetElement() column=2, nullFlag=0, length=3", 10, "02 00 00 03"),
        Dump("parameterDataElement.PutElement() #1 type=VARCHAR, nullFlag=0, length=3", 12, "01 00 0c 00")}) {
    EXPECT_NE(std::string::npos, text.find(expected)) << expected;
  }
}

}  // namespace
