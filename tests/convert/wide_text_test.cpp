// UTF-16 <-> UTF-8 at their boundaries: buffer cuts beside surrogate pairs,
// lone surrogates, SQL_NTS, empty texts and ill-formed UTF-8, byte for byte.
#include <gtest/gtest.h>
#include <sql.h>

#include <string>
#include <vector>

#include "base/Alloc.h"
#include "convert/WideText.h"

namespace {

using Units = std::vector<SQLWCHAR>;
const SQLWCHAR kFill = 0xA5A5;
const long kNts = SQL_NTS;

// out: appended after "x "
// clang-format off
struct ToUtf8Case { Units in; long units; WideResult result; std::string out; };
// clang-format on

const ToUtf8Case kToUtf8[] = {
    {{'a', 'b', 0, 'c'}, kNts, WideResult::kOk, "ab"},
    {{'a', 0, 'c'}, 3, WideResult::kOk, std::string("a\0c", 3)},
    {{0}, kNts, WideResult::kOk, ""},
    {{'a'}, 0, WideResult::kOk, ""},
    {{'a', ' ', ' '}, 3, WideResult::kOk, "a  "},
    {{0xE9, 0x4E2D, 0xD83D, 0xDE00, 0}, kNts, WideResult::kOk, "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
    {{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xDBFF, 0xDFFF},
     7,
     WideResult::kOk,
     "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF"},
    {{0xD83D, 0xDE00}, 1, WideResult::kInvalid, ""},  // a pair cut by the length
    {{'a', 0xDE00, 0}, kNts, WideResult::kInvalid, ""},
    {{0xD83D, 'a', 0}, kNts, WideResult::kInvalid, ""},
    {{0xD83D, 0xD83D, 0xDE00}, 3, WideResult::kInvalid, ""},
    {{'a'}, -5, WideResult::kInvalid, ""},
};

TEST(WideTextTest, WideToUtf8) {
  for (const ToUtf8Case& c : kToUtf8) {
    String s;
    ASSERT_EQ(1, s.SetString("x "));
    ASSERT_EQ(1, s.Append(" ", 1));
    EXPECT_EQ(c.result, WideToUtf8(c.in.data(), c.units, &s)) << c.out;
    EXPECT_EQ("x " + c.out, std::string(s.Text(), s.Length())) << c.out;
  }
  String s;
  EXPECT_EQ(WideResult::kOk, WideToUtf8(nullptr, kNts, &s));
  EXPECT_EQ(0u, s.Length());
  EXPECT_EQ(0, WideLength(nullptr));
}

TEST(WideTextTest, WideToUtf8ReportsMemoryAndKeepsTheString) {
  const Units in = {'a', 0xE9};
  for (long n = 0; n < 2; ++n) {
    String s;
    ASSERT_EQ(1, s.SetString("x"));
    SetAllocFailOnce(n);
    EXPECT_EQ(WideResult::kNoMemory, WideToUtf8(in.data(), 2, &s));
    ResetAllocFailure();
    EXPECT_STREQ("x", s.Text());
  }
}

// bytes: kNts, or -1 for in.size()
// out: written units and the terminating 0; kFill where untouched
// clang-format off
struct ToWideCase { std::string in; long bytes; long outUnits; Units out; long need; long used; };
// clang-format on

const std::string kPair = "a\xF0\x9F\x98\x80";  // 'a', U+1F600

const ToWideCase kToWide[] = {
    {"", kNts, 4, {0, kFill}, 0, 0},
    {"", -1, 0, {kFill}, 0, 0},
    {"abc", kNts, 0, {kFill}, 3, 0},
    {"abc", kNts, 1, {0, kFill}, 3, 0},
    {"abc", kNts, 2, {'a', 0, kFill}, 3, 1},
    {"abc", 2, 4, {'a', 'b', 0, kFill}, 2, 2},
    // A pair never cut: the buffer holds 'a' and the 0 until there is room for both halves.
    {kPair, -1, 2, {'a', 0, kFill}, 3, 1},
    {kPair, -1, 3, {'a', 0, kFill}, 3, 1},
    {kPair, -1, 4, {'a', 0xD83D, 0xDE00, 0, kFill}, 3, 5},
    {kPair + "b", -1, 3, {'a', 0, kFill}, 4, 1},
    {"\xC3\xA9\xE4\xB8\xAD", -1, 8, {0xE9, 0x4E2D, 0, kFill}, 2, 5},
    {"\xF4\x8F\xBF\xBF", -1, 8, {0xDBFF, 0xDFFF, 0, kFill}, 2, 4},
    // Ill-formed UTF-8: each longest start of a character is one U+FFFD.
    {"a\x80"
     "b",
     -1,
     8,
     {'a', 0xFFFD, 'b', 0, kFill},
     3,
     3},
    {"\xC0\xAF", -1, 8, {0xFFFD, 0xFFFD, 0, kFill}, 2, 2},
    {"\xE0\x80\x80", -1, 8, {0xFFFD, 0xFFFD, 0xFFFD, 0, kFill}, 3, 3},
    {"\xED\xA0\x80", -1, 8, {0xFFFD, 0xFFFD, 0xFFFD, 0, kFill}, 3, 3},
    {"\xF4\x90\x80\x80", -1, 8, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0, kFill}, 4, 4},
    {"\xE4\xB8"
     "a",
     -1,
     8,
     {0xFFFD, 'a', 0, kFill},
     2,
     3},
    {"\xF0\x9F\x98", -1, 8, {0xFFFD, 0, kFill}, 1, 3},
    {"\xFF\xFE", -1, 8, {0xFFFD, 0xFFFD, 0, kFill}, 2, 2},
    {std::string("a\0b", 3), -1, 8, {'a', 0, 'b', 0, kFill}, 3, 3},
};

TEST(WideTextTest, Utf8ToWide) {
  for (const ToWideCase& c : kToWide) {
    Units buf(8, kFill);
    long need = -7, used = -7;
    long bytes = c.bytes == -1 ? long(c.in.size()) : c.bytes;
    long written = Utf8ToWidePiece(c.in.c_str(), bytes, buf.data(), c.outUnits, &need, &used);
    buf.resize(c.out.size());
    EXPECT_EQ(c.out, buf) << c.in << " " << c.outUnits;
    EXPECT_EQ(long(c.out.size()) - 1 - (c.outUnits > 0), written) << c.in << " " << c.outUnits;
    EXPECT_EQ(c.need, need) << c.in;
    EXPECT_EQ(c.used, used) << c.in << " " << c.outUnits;
    EXPECT_EQ(written, Utf8ToWide(c.in.c_str(), bytes, buf.data(), c.outUnits, nullptr));
  }
}

}  // namespace
