#include <gtest/gtest.h>
#include <sql.h>

#include "base/String.h"
#include "base/Alloc.h"
#include "support/capture.h"

namespace {

TEST(StringTest, AssignmentDropsTrailingBlanksOnly) {
  String s;
  ASSERT_EQ(1, s.SetString("abc   ", SQL_NTS));
  EXPECT_STREQ("abc", s.Text());
  EXPECT_EQ(3u, s.Length());
  ASSERT_EQ(1, s.SetString("ab\t ", SQL_NTS));
  EXPECT_STREQ("ab\t", s.Text());
  ASSERT_EQ(1, s.SetString("   ", 3));
  EXPECT_EQ(0u, s.Length());
  ASSERT_NE(nullptr, s.Text());
  EXPECT_STREQ("", s.Text());
}

TEST(StringTest, NullTextAndNullDataStoreEmpty) {
  String s;
  EXPECT_EQ(nullptr, s.Text());
  ASSERT_EQ(1, s.SetString(nullptr, 5));
  EXPECT_STREQ("", s.Text());
  ASSERT_EQ(1, s.SetString("xyz", SQL_NULL_DATA));
  EXPECT_STREQ("", s.Text());
  EXPECT_EQ(0u, s.Length());
}

TEST(StringTest, CountWinsOverTerminator) {
  String s;
  ASSERT_EQ(1, s.SetString("abcdef", 3));
  EXPECT_STREQ("abc", s.Text());
  ASSERT_EQ(1, s.SetString("abcdef", static_cast<int16_t>(-3)));
  EXPECT_STREQ("abcdef", s.Text());
  ASSERT_EQ(1, s.SetString("a\0b", 3));
  EXPECT_EQ(3u, s.Length());
}

TEST(StringTest, ConcatenateRules) {
  String s;
  ASSERT_EQ(1, s.SetString("ab"));
  ASSERT_EQ(1, s.Concatenate("c "));
  EXPECT_STREQ("abc", s.Text());
  EXPECT_EQ(3u, s.Length());
  ASSERT_EQ(1, s.Concatenate(" ("));
  EXPECT_STREQ("abc (", s.Text());
  EXPECT_EQ(5u, s.Length());
  ASSERT_EQ(1, s.Concatenate(static_cast<const char*>(nullptr)));
  EXPECT_STREQ("abc (", s.Text());
  String other;
  ASSERT_EQ(1, other.SetString("x"));
  ASSERT_EQ(1, s.Concatenate(other));
  EXPECT_STREQ("abc (x", s.Text());
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
  std::string text = trace.Text();
  EXPECT_EQ(TraceCapture::Line('X', 2, "String::Concatenate() failed, line=127, alloc=9") +
                TraceCapture::Line('X', 2, "String::SetString() failed, line=65, alloc=4"),
            text.substr(text.find("]\n\n") + 3));
}

}  // namespace
