#include <gtest/gtest.h>
#include <sql.h>

#include "base/Alloc.h"
#include "base/String.h"
#include "support/capture.h"

namespace {

// SetString: a count wins over the terminator; SQL_NTS and other negative
// counts read to the NUL; trailing blanks (not tabs) are dropped; null
// text and SQL_NULL_DATA store an empty, non-null text.
TEST(StringTest, SetStringLengthsAndBlanks) {
  struct Row {
    const char* text;
    int32_t count;
    std::string stored;
  } rows[] = {
      {"abc   ", SQL_NTS, "abc"},      {"ab\t ", SQL_NTS, "ab\t"}, {"   ", 3, ""},
      {nullptr, 5, ""},                {"xyz", SQL_NULL_DATA, ""}, {"abcdef", 3, "abc"},
      {"abcdef", -3, "abcdef"},        {"a\0b", 3, std::string("a\0b", 3)},
  };
  for (const Row& r : rows) {
    String s;
    ASSERT_EQ(1, s.SetString(r.text, r.count)) << r.stored;
    ASSERT_NE(nullptr, s.Text());
    EXPECT_EQ(r.stored, std::string(s.Text(), s.Length())) << r.count;
  }
  EXPECT_EQ(nullptr, String().Text());
}

TEST(StringTest, ConcatenateDropsEachPiecesTrailingBlank) {
  String s, other;
  ASSERT_EQ(1, s.SetString("ab"));
  ASSERT_EQ(1, other.SetString("x"));
  for (const char* piece : {"c ", " (", static_cast<const char*>(nullptr)}) {
    ASSERT_EQ(1, s.Concatenate(piece));
  }
  ASSERT_EQ(1, s.Concatenate(other));
  EXPECT_EQ("abc (x", std::string(s.Text(), s.Length()));
}

TEST(StringTest, AllocationFailureLeavesEmptyOrUnchangedAndIsTraced) {
  String s;
  ASSERT_EQ(1, s.SetString("keep"));
  TraceCapture trace("X2");
  SetAllocFailAfter(0);
  EXPECT_EQ(0, s.Concatenate("more  "));
  EXPECT_STREQ("keep", s.Text());
  EXPECT_EQ(0, s.SetString("new "));
  ResetAllocFailure();
  EXPECT_EQ(nullptr, s.Text());
  EXPECT_EQ(0u, s.Length());
  EXPECT_EQ(TraceCapture::Line('X', 2, "String::Concatenate() failed, line=127, alloc=9") +
                TraceCapture::Line('X', 2, "String::SetString() failed, line=65, alloc=4"),
            trace.Body());
}

}  // namespace
