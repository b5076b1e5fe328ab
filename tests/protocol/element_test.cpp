// Element encodings byte for byte, round trips of every element class,
// bounded decoding of short or lying bodies, allocation failures and the
// trace lines of each element kind.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "protocol/ElementNames.h"
#include "protocol/Elements.h"
#include "protocol/fill.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

struct Deleter {
  void operator()(Element* e) const { delete e; }
};
using ElementPtr = std::unique_ptr<Element, Deleter>;

ElementPtr Make(int id) { return ElementPtr(CreateElement(id)); }

TEST(ElementEncoding, ExamplesAreByteExact) {
  TableNameElement empty;
  EXPECT_EQ(Bytes({0, 0}), Encode(&empty));
  TableNameElement abc;
  abc.value.SetString("abc");
  EXPECT_EQ(5u, abc.ElementSize());
  EXPECT_EQ(Bytes({3, 0, 'a', 'b', 'c'}), Encode(&abc));

  ReturnCodeElement rc;
  rc.value = -1;
  EXPECT_EQ(Bytes({0xFF, 0xFF}), Encode(&rc));
  ReturnCodeElement back;
  int status = -1;
  EXPECT_EQ(2, Decode(&back, Bytes({0xFF, 0xFF}), &status));
  EXPECT_EQ(-1, back.value);

  FetchDataElement nullValue;
  EXPECT_TRUE(nullValue.IsNull());
  nullValue.Set(2, nullptr, 0, true);
  EXPECT_EQ(Bytes({2, 0, 1, 0, 0, 0, 0}), Encode(&nullValue));

  ColumnNumberVectorElement vector;
  ASSERT_TRUE(vector.SetCount(3));
  for (uint16_t i = 0; i < 3; ++i) vector.SetAt(i, static_cast<uint16_t>(i + 1));
  EXPECT_EQ(Bytes({3, 0, 1, 0, 2, 0, 3, 0}), Encode(&vector));

  StatementIdElement id;
  id.value = 7;
  EXPECT_EQ(Bytes({7, 0, 0, 0}), Encode(&id));
  NumberOfRowsElement rows;
  rows.value = -2;
  EXPECT_EQ(Bytes({0xFE, 0xFF, 0xFF, 0xFF}), Encode(&rows));
  ParameterDataElement parameter;
  parameter.Set(1, -7, "\x01", 1, false);
  EXPECT_EQ(Bytes({1, 0, 0xF9, 0xFF, 0, 1, 0, 0, 0, 1}), Encode(&parameter));
}

TEST(ElementEncoding, EmptySetsUseTwoBytes) {
  FetchDataSetElement noList;
  EXPECT_EQ(Bytes({0, 0}), Encode(&noList));
  int status = -1;
  FetchDataSetElement rows;
  EXPECT_EQ(2, Decode(&rows, Bytes({0, 0, 9}), &status));
  ASSERT_NE(nullptr, rows.List());
  EXPECT_EQ(0u, rows.List()->Count());
  ResultSetDescriptionElement description;
  EXPECT_EQ(2, Decode(&description, Bytes({0, 0}), &status));
  ASSERT_NE(nullptr, description.Columns());
  EXPECT_EQ(0u, description.Columns()->Count());
  ParameterDataSetElement parameters;
  EXPECT_EQ(Bytes({0, 0}), Encode(&parameters));
}

// Every element class: encode a filled element, decode it into a fresh one
// of the same number, and re-encode to the same bytes.
TEST(ElementEncoding, EveryElementClassRoundTrips) {
  int classes = 0;
  for (int id = -1; id <= kElementIdCount; ++id) {
    ElementPtr original = Make(id);
    if (!original) continue;
    ++classes;
    EXPECT_EQ(id, original->ElementId());
    ASSERT_TRUE(FillElement(original.get(), id)) << ElementName(id);
    std::string bytes = Encode(original.get());
    ASSERT_EQ(original->ElementSize(), bytes.size()) << ElementName(id);
    ElementPtr copy = Make(id);
    int status = -1;
    EXPECT_EQ(static_cast<long>(bytes.size()), Decode(copy.get(), bytes + "tail", &status))
        << ElementName(id);
    EXPECT_EQ(-1, status);
    EXPECT_EQ(bytes, Encode(copy.get())) << ElementName(id);
  }
  EXPECT_EQ(51, classes);
}

TEST(ElementEncoding, DecodedValuesMatch) {
  int status = -1;
  ResultSetDescriptionElement sent;
  FillElement(&sent, 3);
  ResultSetDescriptionElement got;
  ASSERT_GT(Decode(&got, Encode(&sent), &status), 0);
  ColumnDescription* c = got.Columns()->ItemAt(1);
  ASSERT_NE(nullptr, c);
  EXPECT_STREQ("NAME", c->columnName.Text());
  EXPECT_STREQ("owner", c->tableOwner.Text());
  EXPECT_EQ(11u, c->length);
  EXPECT_EQ(12, c->sqlDataType);
  EXPECT_TRUE(c->updatable);
  EXPECT_EQ(23u, c->precision);

  // Any non-zero null flag means null; updatable any non-zero is set.
  FetchDataElement f;
  ASSERT_EQ(9, Decode(&f, Bytes({4, 0, 0x80, 2, 0, 0, 0, 'h', 'i'}), &status));
  EXPECT_TRUE(f.IsNull());
  EXPECT_EQ(4, f.Column());

  // A received text keeps no trailing blank; texts over 32767 bytes arrive
  // whole.
  TableNameElement t;
  ASSERT_EQ(6, Decode(&t, Bytes({4, 0, 'a', 'b', ' ', ' '}), &status));
  EXPECT_STREQ("ab", t.value.Text());
  std::string longText(40000, 'x');
  ASSERT_EQ(40002, Decode(&t, U16(40000) + longText, &status));
  EXPECT_EQ(40000u, t.value.Length());

  EnumElement* sign = nullptr;
  SqlDataTypeElement type;
  sign = &type;
  ASSERT_EQ(2, Decode(sign, Bytes({0xFB, 0xFF}), &status));
  EXPECT_EQ(-5, type.value);
}

// Bodies that end inside an element, and counts or lengths larger than the
// bytes left: failure with status 0 and nothing allocated for the claim.
TEST(ElementDecoding, ShortBodiesFailWithCommunicationStatus) {
  struct Case {
    int id;
    std::string bytes;
  } cases[] = {
      {6, Bytes({1})},
      {50, Bytes({1, 2, 3})},
      {41, Bytes({1})},
      {5, Bytes({5, 0, 'a', 'b'})},
      {5, Bytes({1})},
      {7, Bytes({3, 0, 1, 0, 2, 0})},
      {27, std::string(25, '\1')},
      {15, Bytes({1, 0, 0, 5, 0, 0, 0, 'a'})},
      {15, Bytes({1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
      {16, Bytes({0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0})},
      {16, Bytes({2, 0, 1, 0, 0, 0, 0, 0, 0})},
      {34, Bytes({1, 0, 4, 0, 0, 3, 0, 0, 0})},
      {35, Bytes({0xFF, 0xFF})},
      {39, Bytes({0xFF, 0xFF, 0, 0})},
      {39, Bytes({1, 0}) + std::string(21, '\0')},
  };
  for (const Case& c : cases) {
    ElementPtr e = Make(c.id);
    int status = -1;
    unsigned long before = AllocCount();
    EXPECT_EQ(-1, Decode(e.get(), c.bytes, &status)) << ElementName(c.id) << " " << Hex(c.bytes);
    EXPECT_EQ(kStatusCommunicationFailure, status) << ElementName(c.id);
    // At most the set's own empty list is allocated, never room for the
    // claimed count or length.
    EXPECT_LE(AllocCount() - before, 3u) << ElementName(c.id);
  }
}

TEST(ElementDecoding, AllocationFailureIsMemoryStatus) {
  const int ids[] = {5, 7, 15, 16, 34, 35, 39};
  for (int id : ids) {
    ElementPtr filled = Make(id);
    FillElement(filled.get(), 1);
    std::string bytes = Encode(filled.get());
    // Fail the 1st, 2nd, ... allocation until decoding succeeds.
    for (long n = 0; n < 40; ++n) {
      ElementPtr e = Make(id);
      int status = -1;
      SetAllocFailAfter(n);
      long consumed = Decode(e.get(), bytes, &status);
      ResetAllocFailure();
      if (consumed >= 0) {
        EXPECT_EQ(Encode(filled.get()), Encode(e.get())) << ElementName(id);
        break;
      }
      EXPECT_EQ(kStatusMemoryFailure, status) << ElementName(id) << " at " << n;
    }
  }
}

TEST(ElementEncoding, VectorAndFetchDataSetters) {
  ColumnNumberVectorElement v;
  SetAllocFailAfter(0);
  EXPECT_FALSE(v.SetCount(4));
  ResetAllocFailure();
  EXPECT_EQ(0, v.Count());
  EXPECT_TRUE(v.SetCount(0));
  EXPECT_EQ(Bytes({0, 0}), Encode(&v));

  FetchDataElement a;
  ASSERT_TRUE(a.Set(3, "xyz", 3, false));
  FetchDataElement b;
  ASSERT_TRUE(b.CopyFrom(&a));
  EXPECT_EQ(Encode(&a), Encode(&b));
  SetAllocFailAfter(0);
  EXPECT_FALSE(b.Set(3, "xyz", 3, false));
  ResetAllocFailure();
  EXPECT_TRUE(b.IsNull());
  EXPECT_EQ(0u, b.Length());
}

TEST(ElementEncoding, TooLongTextIsRefused) {
  StatementElement s;
  std::string text(32768, 'q');
  s.value.SetString(text.c_str());
  EXPECT_FALSE(s.FitsOnWire());
  int status = -1;
  EXPECT_EQ("", Encode(&s, &status));
  EXPECT_EQ(kStatusValueTooLong, status);
  text.resize(32767);
  s.value.SetString(text.c_str());
  EXPECT_TRUE(s.FitsOnWire());
  EXPECT_EQ(32769u, Encode(&s).size());
}

TEST(ElementNames, TablesAndUnknowns) {
  EXPECT_STREQ("accessMode", ElementName(0));
  EXPECT_STREQ("statementId", ElementName(50));
  EXPECT_STREQ("dataSource", ElementName(61));
  EXPECT_STREQ("<unknown>", ElementName(62));
  EXPECT_STREQ("<unknown>", ElementName(-1));
  EXPECT_STREQ("NO_DATA_FOUND", ValueName(41, 100));
  EXPECT_STREQ("<unknown>", ValueName(41, 7));
  EXPECT_STREQ("<unknown>", ValueName(8, 3));
  EXPECT_STREQ("VALUES", ValueName(8, 8));
  EXPECT_STREQ("BIT", ValueName(47, -7));
  EXPECT_STREQ("TXN_VERSIONING", ValueName(56, 16));
  EXPECT_FALSE(HasValueNames(13));
}

class ElementTrace : public ::testing::Test {
 protected:
  TraceCapture trace{"P2"};
  std::string Line(const std::string& text) { return TraceCapture::Line('P', 2, text); }
  // The lines after the header that opening the trace writes.
  std::string Lines() {
    std::string text = trace.Text();
    size_t end = text.find("]\n\n");
    return end == std::string::npos ? text : text.substr(end + 3);
  }
};

TEST_F(ElementTrace, NumbersAndEnums) {
  int status = -1;
  StatementIdElement id;
  id.value = 4000000000u;
  Encode(&id);
  Decode(&id, U32(7), &status);
  ColumnNumberElement column;
  Decode(&column, Bytes({0xFE, 0xFF}), &status);
  NumberOfRowsElement rows;
  Decode(&rows, U32(0xFFFFFFFF), &status);
  ReturnCodeElement rc;
  Decode(&rc, Bytes({100, 0}), &status);
  Decode(&rc, Bytes({7, 0}), &status);
  rc.value = -1;
  Encode(&rc);
  ErrorCodeElement error;
  Decode(&error, Bytes({0x10, 0x27}), &status);
  error.value = -3;
  Encode(&error);
  EXPECT_EQ(Line("statementId.PutElement()=4000000000") + Line("statementId.GetElement()=7") +
                Line("columnNumber.GetElement()=-2") + Line("numberOfRows.GetElement()=-1") +
                Line("returnCode.GetEnumeratedElement()=100") +
                Line("returnCode.GetElement()=NO_DATA_FOUND") +
                Line("returnCode.GetEnumeratedElement()=7") +
                Line("returnCode.GetElement()=<unknown>") + Line("returnCode.PutElement()=RC_ERROR") +
                Line("returnCode.PutEnumeratedElement()=65535") +
                Line("errorCode.GetEnumeratedElement()=10000") +
                Line("errorCode.GetElement()=10000") + Line("errorCode.PutElement()=-3") +
                Line("errorCode.PutEnumeratedElement()=65533"),
            Lines());
}

TEST_F(ElementTrace, StringsAreCutAfterEightyCharacters) {
  int status = -1;
  StatementElement s;
  std::string text(100, 'a');
  text[79] = 'b';
  text[80] = 'c';
  s.value.SetString(text.c_str());
  Encode(&s);
  Decode(&s, Text16("short"), &status);
  EXPECT_EQ(Line(" statement.PutElement()=\"" + text.substr(0, 80) + "...\"") +
                Line(" statement.GetElement()=\"short\""),
            Lines());
}

std::string DumpOf(const std::string& title, const std::string& bytes) {
  std::string out = TraceCapture::Line('P', 2, "").substr(0, 8) + title + "\n";
  out += "buffer contains " + std::to_string(bytes.size()) + " bytes of data\n";
  return out;
}

TEST_F(ElementTrace, DumpsNameTheirElementAndValues) {
  int status = -1;
  ColumnNumberVectorElement v;
  Decode(&v, Bytes({0, 0}), &status);
  Decode(&v, Bytes({1, 0, 9, 0}), &status);
  FetchDataElement f;
  Decode(&f, Bytes({2, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c'}), &status);
  ParameterDataElement p;
  p.Set(1, 12, "hey", 3, false);
  Encode(&p);
  ResultSetDescriptionElement r;
  Decode(&r, Bytes({0, 0}), &status);
  std::string text = trace.Text();
  EXPECT_NE(std::string::npos, text.find(Line("columnNumberVector.GetElement()")));
  EXPECT_NE(std::string::npos,
            text.find(DumpOf("columnNumberVector.GetElement()", Bytes({9, 0})) +
                      "000: 09 00" + std::string(43, ' ') + "|..              |\n"));
  EXPECT_NE(std::string::npos,
            text.find(DumpOf("fetchData.GetElement() column=2, nullFlag=0, length=3",
                             std::string(10, ' ')) +
                      "000: 02 00 00 03 00 00 00 61 62 63" + std::string(19, ' ') + "|.......abc      |\n"));
  EXPECT_NE(std::string::npos,
            text.find(DumpOf("parameterDataElement.PutElement() #1 type=VARCHAR, nullFlag=0, "
                             "length=3",
                             std::string(12, ' ')) +
                      "000: 01 00 0c 00 00 03 00 00 00 68 65 79" + std::string(13, ' ') +
                      "|.........hey    |\n"));
  EXPECT_NE(std::string::npos, text.find(Line("resultSetDescription.GetElement()")));
}

TEST_F(ElementTrace, NothingBelowLevelTwo) {
  SetTraceMode("P1", nullptr);
  TraceCapture quiet("P1");
  StatementIdElement id;
  Encode(&id);
  EXPECT_EQ(std::string::npos, quiet.Text().find("statementId"));
}

}  // namespace
