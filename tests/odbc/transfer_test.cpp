// The transfer of one value into an application buffer: result mapping,
// NULLs, unknown C types, and SQLGetData's piecewise reading of long
// character and binary values. Runs on value classes and row elements
// built in the test, without a server.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "convert/ColumnValue.h"
#include "handles/Statement.h"
#include "base/Alloc.h"
#include "odbc/GetData.h"
#include "odbc/Transfer.h"
#include "protocol/FetchData.h"
#include "support/capture.h"

namespace {

class TransferTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetAllocFailure();
    delete value_;
  }

  // A column of sqlType (length for the fixed kinds) holding rowBytes.
  void Column(int32_t sqlType, uint32_t length, const std::string& rowBytes, bool isNull = false) {
    ColumnDescription description;
    description.sqlDataType = sqlType;
    description.length = length;
    description.precision = length;
    delete value_;
    value_ = CreateColumnValue(&description);
    ASSERT_NE(nullptr, value_);
    ASSERT_TRUE(element_.Set(1, rowBytes.data(), static_cast<uint32_t>(rowBytes.size()), isNull));
  }
  void Text(int32_t sqlType, const std::string& text) {
    Column(sqlType, 0, text + std::string(1, '\0'));
  }
  void Bytes(const std::string& bytes) {
    Column(SQL_VARBINARY, 0, std::string(1, static_cast<char>(bytes.size())) + bytes);
  }

  // One SQLGetData-like transfer into buffer_ (cbValueMax bytes offered).
  SQLRETURN Get(SQLSMALLINT cType, SQLLEN cbValueMax, uint16_t icol = 1, bool piecewise = true) {
    std::memset(buffer_, '#', sizeof buffer_);
    length_ = 12345;
    stmt_.ClearErrors();
    return TransferValue(&stmt_, value_, &element_, {cType, buffer_, cbValueMax, &length_}, icol,
                         piecewise ? &position_ : nullptr);
  }
  std::string State() {
    ErrorData* e = stmt_.errors.Last();
    return e ? e->sqlstate.TextOrEmpty() : "";
  }
  std::string Chars() const { return std::string(buffer_); }

  Statement stmt_;
  ColumnValue* value_ = nullptr;
  FetchDataElement element_;
  GetDataPosition position_;
  char buffer_[8192];
  SQLLEN length_ = 0;
};

const std::string kText25 = "abcdefghijklmnopqrstuvwxy";

TEST_F(TransferTest, CharacterValueComesInPiecesAndThenNoData) {
  Text(SQL_VARCHAR, kText25);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  EXPECT_EQ("01004", State());
  EXPECT_EQ("abcdefghi", Chars());
  EXPECT_EQ(25, length_);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  EXPECT_EQ("jklmnopqr", Chars());
  EXPECT_EQ(16, length_);
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_CHAR, 10));
  EXPECT_EQ("stuvwxy", Chars());
  EXPECT_EQ(7, length_);
  EXPECT_EQ('#', buffer_[8]);  // nothing written past the NUL
  EXPECT_EQ(SQL_NO_DATA_FOUND, Get(SQL_C_CHAR, 10));
  EXPECT_EQ('#', buffer_[0]);
  EXPECT_EQ(SQL_NO_DATA_FOUND, Get(SQL_C_CHAR, 10));
}

TEST_F(TransferTest, ValueThatFitsIsReturnedOnceWhole) {
  Text(SQL_VARCHAR, "123456789");
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_CHAR, 10));
  EXPECT_EQ("123456789", Chars());
  EXPECT_EQ(9, length_);
  EXPECT_EQ(SQL_NO_DATA_FOUND, Get(SQL_C_CHAR, 10));
  // SQL_C_DEFAULT of a character column reads the same way.
  position_.Reset();
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_DEFAULT, 100));
  EXPECT_EQ(SQL_NO_DATA_FOUND, Get(SQL_C_DEFAULT, 100));
}

TEST_F(TransferTest, BinaryValueComesInPieces) {
  Bytes(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a", 10));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_BINARY, 4));
  EXPECT_EQ(std::string("\x01\x02\x03\x04", 4), std::string(buffer_, 4));
  EXPECT_EQ('#', buffer_[4]);
  EXPECT_EQ(10, length_);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_BINARY, 4));
  EXPECT_EQ(std::string("\x05\x06\x07\x08", 4), std::string(buffer_, 4));
  EXPECT_EQ(6, length_);
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_BINARY, 4));
  EXPECT_EQ(std::string("\x09\x0a", 2), std::string(buffer_, 2));
  EXPECT_EQ('#', buffer_[2]);
  EXPECT_EQ(2, length_);
  EXPECT_EQ(SQL_NO_DATA_FOUND, Get(SQL_C_BINARY, 4));
}

TEST_F(TransferTest, AnotherColumnOrCTypeStartsAgain) {
  Text(SQL_VARCHAR, kText25);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10, 1));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10, 2));
  EXPECT_EQ("abcdefghi", Chars());
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10, 1));
  EXPECT_EQ("abcdefghi", Chars());
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_BINARY, 10, 1));
  EXPECT_EQ("abcdefghij", std::string(buffer_, 10));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10, 1));
  EXPECT_EQ("abcdefghi", Chars());
}

TEST_F(TransferTest, BoundTransferAlwaysStartsAtTheBeginning) {
  Text(SQL_VARCHAR, "abcdef");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 4, 1, false));
    EXPECT_EQ("abc", Chars());
    EXPECT_EQ(6, length_);
    EXPECT_EQ("01004", State());
  }
}

TEST_F(TransferTest, FixedTypesConvertAgainOnEveryCall) {
  Column(SQL_INTEGER, 4, std::string("\x2a\x00\x00\x00", 4));
  for (int i = 0; i < 2; ++i) {
    SQLINTEGER out = 0;
    length_ = 0;
    EXPECT_EQ(SQL_SUCCESS, TransferValue(&stmt_, value_, &element_,
                                         {SQL_C_SLONG, &out, 0, &length_}, 1, &position_));
    EXPECT_EQ(42, out);
    EXPECT_EQ(4, length_);
  }
  SQLBIGINT big = 0;
  EXPECT_EQ(SQL_SUCCESS, TransferValue(&stmt_, value_, &element_,
                                       {SQL_C_SBIGINT, &big, 0, nullptr}, 1, &position_));
  EXPECT_EQ(42, big);
}

TEST_F(TransferTest, ConversionResultsBecomeDiagnostics) {
  Column(SQL_INTEGER, 4, std::string("\x7b\x00\x00\x00", 4));  // 123
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_CHAR, 3));
  EXPECT_EQ("22003", State());
  EXPECT_EQ('#', buffer_[0]);
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_CHAR, 4));
  EXPECT_EQ("123", Chars());
  // A C type without a conversion writes nothing.
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_WCHAR, 100));
  EXPECT_EQ("S1003", State());
  EXPECT_EQ('#', buffer_[0]);
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_GUID, 100));
  EXPECT_EQ("S1003", State());
}

TEST_F(TransferTest, UnknownCTypeLeavesTheLengthIndicatorAlone) {
  Text(SQL_VARCHAR, "abc");
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_GUID, 100));
  EXPECT_EQ("S1003", State());
  EXPECT_EQ(12345, length_);
  EXPECT_EQ('#', buffer_[0]);
  // Refused whatever the value holds, NULL included.
  Column(SQL_VARCHAR, 0, "", true);
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_GUID, 100));
  EXPECT_EQ("S1003", State());
  EXPECT_EQ(12345, length_);
  // The refusal leaves no piece under way: the column reads from its start.
  Text(SQL_VARCHAR, kText25);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_GUID, 10));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  EXPECT_EQ("jklmnopqr", Chars());
}

// Asking for the length only (no buffer) returns no characters, so the
// next call still starts at the beginning of the value.
TEST_F(TransferTest, LengthOnlyCallDoesNotConsumeThePiece) {
  Text(SQL_VARCHAR, kText25);
  length_ = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, TransferValue(&stmt_, value_, &element_,
                                                 {SQL_C_CHAR, nullptr, 10, &length_}, 1,
                                                 &position_));
  EXPECT_EQ(25, length_);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  EXPECT_EQ("abcdefghi", Chars());
  EXPECT_EQ(25, length_);
  // Likewise in the middle of the value.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, TransferValue(&stmt_, value_, &element_,
                                                 {SQL_C_CHAR, nullptr, 10, &length_}, 1,
                                                 &position_));
  EXPECT_EQ(16, length_);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  EXPECT_EQ("jklmnopqr", Chars());
  // And for bytes.
  Bytes(std::string("\x01\x02\x03\x04\x05\x06", 6));
  position_.Reset();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, TransferValue(&stmt_, value_, &element_,
                                                 {SQL_C_BINARY, nullptr, 4, &length_}, 1,
                                                 &position_));
  EXPECT_EQ(6, length_);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_BINARY, 4));
  EXPECT_EQ(std::string("\x01\x02\x03\x04", 4), std::string(buffer_, 4));
}

TEST_F(TransferTest, MemoryFailuresAreReported) {
  Text(SQL_VARCHAR, std::string(3000, 'x') + "end");
  // With memory exhausted the diagnostic record cannot be queued either;
  // the call still fails cleanly.
  SetAllocFailAfter(0);  // Load cannot allocate the value
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_CHAR, 2000));
  ResetAllocFailure();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 2000));
  SetAllocFailAfter(0);  // the next piece cannot load the value
  EXPECT_EQ(SQL_ERROR, Get(SQL_C_CHAR, 2000));
  ResetAllocFailure();
  // The failed piece is offered again.
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_CHAR, 2000));
  EXPECT_EQ(std::string(1001, 'x') + "end", Chars());
  EXPECT_EQ(SQL_NO_DATA_FOUND, Get(SQL_C_CHAR, 2000));
}

// Later pieces of text and bytes come straight from the held value: no
// allocation beyond the value's own, however long it is.
TEST_F(TransferTest, LaterPiecesAllocateNothingButTheValue) {
  Text(SQL_LONGVARCHAR, std::string(16000, 'x') + "end");
  unsigned long before = AllocCount();
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 8001));
  const unsigned long firstPiece = AllocCount() - before;  // Load and the 01004 record
  before = AllocCount();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 8001));
  EXPECT_EQ(std::string(8000, 'x'), Chars());
  EXPECT_EQ(firstPiece, AllocCount() - before);
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_CHAR, 8001));
  EXPECT_EQ("end", Chars());
  // CHAR pieces carry the NUL padding up to the declared length.
  Column(SQL_CHAR, 6, std::string("abc\0", 4));
  position_.Reset();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_BINARY, 4));
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_BINARY, 4));
  EXPECT_EQ(2, length_);
  EXPECT_EQ(std::string(2, '\0'), std::string(buffer_, 2));
  EXPECT_EQ('#', buffer_[2]);
  // LONGVARBINARY read as characters: the raw bytes, NUL-terminated pieces.
  Column(SQL_LONGVARBINARY, 0, std::string("\x05\0\0\0ABCDE", 9));
  position_.Reset();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 3));
  EXPECT_EQ("AB", Chars());
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 3));
  EXPECT_EQ("CD", Chars());
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_CHAR, 3));
  EXPECT_EQ("E", Chars());
  EXPECT_EQ(1, length_);
  EXPECT_EQ(SQL_NO_DATA_FOUND, Get(SQL_C_CHAR, 3));
  // Numbers are converted again for each piece, into a scratch buffer.
  Column(SQL_FLOAT, 8, std::string("\0\0\0\0\x80\x4a\x93\xc0", 8));  // -1234.625
  position_.Reset();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 7));
  EXPECT_EQ("-1234.", Chars());
  EXPECT_EQ(SQL_SUCCESS, Get(SQL_C_CHAR, 7));
  EXPECT_EQ("625", Chars());
  EXPECT_EQ(3, length_);
}

// A value held with the row is loaded once for all its pieces; a failed
// load is never mistaken for a loaded value.
TEST_F(TransferTest, HeldValueIsLoadedOnceForAllItsPieces) {
  Text(SQL_LONGVARCHAR, "");
  FetchDataElement* held = new (std::nothrow) FetchDataElement;
  ASSERT_NE(nullptr, held);
  value_->data = held;  // owned by the value from here on
  std::string text(9000, 'x');
  text += "end";
  ASSERT_TRUE(held->Set(1, (text + std::string(1, '\0')).data(),
                        static_cast<uint32_t>(text.size() + 1), false));
  auto piece = [&](SQLLEN size) {
    std::memset(buffer_, '#', sizeof buffer_);
    stmt_.ClearErrors();
    return TransferValue(&stmt_, value_, held, {SQL_C_CHAR, buffer_, size, &length_}, 1,
                         &position_);
  };
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, piece(3001));
  stmt_.ClearErrors();
  unsigned long before = AllocCount();
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, piece(3001));
  EXPECT_EQ(std::string(3000, 'x'), Chars());
  const unsigned long later = AllocCount() - before;
  // Only the 01004 record allocates: a Load would add the value's copy.
  stmt_.ClearErrors();
  before = AllocCount();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, TransferValue(&stmt_, value_, held,
                                                 {SQL_C_CHAR, buffer_, 3001, &length_}, 1,
                                                 nullptr));  // bound-style: loads
  EXPECT_EQ(later + 1, AllocCount() - before);
  // A load that fails leaves the value empty; the next piece loads again.
  position_.Reset();
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, piece(3001));
  SetAllocFailOnce(0);
  stmt_.ClearErrors();
  position_.loadedFrom = nullptr;  // as after a failed load
  EXPECT_EQ(SQL_ERROR, piece(3001));
  ResetAllocFailure();
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, piece(3001));
  EXPECT_EQ(std::string(3000, 'x'), Chars());
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, piece(3001));
  EXPECT_EQ(SQL_SUCCESS, piece(3001));
  EXPECT_EQ("end", Chars());
  EXPECT_EQ(SQL_NO_DATA_FOUND, piece(3001));
}

TEST_F(TransferTest, FinalDumpShowsOnlyWhatTheBufferHolds) {
  Text(SQL_VARCHAR, kText25);
  TraceCapture trace("X3");
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Get(SQL_C_CHAR, 10));
  std::string text = trace.Text();
  // The value is 25 characters long; each buffer holds 10 bytes.
  EXPECT_NE(std::string::npos, text.find("GetDataFinal\nbuffer contains 10 bytes of data\n")) << text;
  EXPECT_NE(std::string::npos, text.find("|abcdefghi.      |")) << text;
  EXPECT_NE(std::string::npos, text.find("|jklmnopqr.      |")) << text;
  EXPECT_EQ(std::string::npos, text.find("buffer contains 25")) << text;
}

}  // namespace
