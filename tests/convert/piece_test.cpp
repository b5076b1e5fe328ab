// The piece rule: a value handed out from an offset into a buffer, as
// text, bytes, hexadecimal digits and UTF-16, with its cuts and terminators.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "convert/ColumnValue.h"
#include "convert/ValueOutput.h"

namespace {

const PieceForm kText = PieceForm::kText, kBytes = PieceForm::kBytes, kHex = PieceForm::kHexText,
                kWide = PieceForm::kWideText, kHexWide = PieceForm::kHexWide;
const int kDone = kConversionDone, kCut = kConversionTruncated;
const char kSmile[] = "a\xF0\x9F\x98\x80z";  // a, U+1F600, z: 6 bytes, 4 units
const std::string kBin("\x00\xFF\x1A", 3);

// length: the value's length: the source's bytes, then NULs
// out: what the buffer holds: text, or UTF-16 units in hexadecimal
// clang-format off
struct PieceCase { PieceForm form; std::string source; uint64_t length; uint64_t offset; SQLLEN cbValueMax;
    int result; SQLLEN pcb; uint64_t next; const char* out; };
// clang-format on

PieceCase P(PieceForm form, const std::string& source, uint64_t offset, SQLLEN cb, int result, SQLLEN pcb,
            uint64_t next, const char* out) {
  return {form, source, source.size(), offset, cb, result, pcb, next, out};
}

const PieceCase kPieces[] = {
    // Text: a NUL after each piece; the length is the rest's.
    P(kText, "abcdef", 0, 4, kCut, 6, 3, "abc"),
    P(kText, "abcdef", 3, 4, kDone, 3, 6, "def"),
    P(kText, "abcdef", 6, 4, kDone, 0, 6, ""),
    P(kText, "abcdef", 0, 1, kCut, 6, 0, ""),
    P(kText, "", 0, 1, kDone, 0, 0, ""),
    P(kText, "", 0, 0, kCut, 0, 0, "xxxx"),
    {kText, "ab", 4, 0, 10, kDone, 4, 4, "ab"},
    // A buffer smaller than a character still takes a byte.
    P(kText, "\xF0\x9F\x98\x80", 0, 2, kCut, 4, 1, "\xF0"),
    P(kText, "\xF0\x9F\x98\x80", 3, 2, kDone, 1, 4, "\x80"),
    // Bytes: no terminator.
    P(kBytes, "\x01\x02\x03", 0, 2, kCut, 3, 2, "\x01\x02xx"),
    P(kBytes, "\x01\x02\x03", 2, 2, kDone, 1, 3, "\x03xxx"),
    P(kBytes, "\x01\x02\x03", 0, 0, kCut, 3, 0, "xxxx"),
    // Hexadecimal digits: two a byte, cut on whole bytes.
    P(kHex, kBin, 0, 7, kDone, 6, 3, "00FF1A"),
    P(kHex, kBin, 0, 6, kCut, 6, 2, "00FF"),
    P(kHex, kBin, 0, 5, kCut, 6, 2, "00FF"),
    P(kHex, kBin, 2, 3, kDone, 2, 3, "1A"),
    P(kHex, kBin, 0, 2, kCut, 6, 0, ""),
    P(kHexWide, "\xAB\xCD\x01", 0, 10, kCut, 12, 2, "41.42.43.44"),
    P(kHexWide, "\xAB\xCD\x01", 2, 10, kDone, 4, 3, "30.31"),
    // UTF-16: whole characters, but a pair split where one unit is all
    // that fits, so that every piece makes progress.
    P(kWide, kSmile, 0, 5, kCut, 8, 1, "61"),
    P(kWide, kSmile, 1, 5, kCut, 6, 3, "D83D"),
    P(kWide, kSmile, 3, 5, kCut, 4, 5, "DE00"),
    P(kWide, kSmile, 5, 5, kDone, 2, 6, "7A"),
    P(kWide, kSmile, 0, 6, kCut, 8, 1, "61"),
    P(kWide, kSmile, 0, 8, kCut, 8, 5, "61.D83D.DE00"),
    P(kWide, kSmile, 0, 10, kDone, 8, 6, "61.D83D.DE00.7A"),
    P(kWide, kSmile, 0, 3, kCut, 8, 0, ""),
    P(kWide,
      "\xFF"
      "b",
      0, 10, kDone, 4, 2, "FFFD.62"),
};

std::string Units(const char* buffer) {
  std::string out;
  char unit[8];
  for (const char* u = buffer; u[0] != 0 || u[1] != 0; u += 2) {
    SQLWCHAR w;
    std::memcpy(&w, u, sizeof w);
    std::snprintf(unit, sizeof unit, "%s%X", out.empty() ? "" : ".", static_cast<unsigned>(w));
    out += unit;
  }
  return out;
}

TEST(Piece, OneRuleForEveryForm) {
  for (const PieceCase& c : kPieces) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.form) << " offset " << c.offset << " cb " << c.cbValueMax
                                    << " " << c.out);
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    SQLLEN pcb = -7;
    uint64_t next = 99;
    const PieceSource source{c.source.data(), c.source.size(), c.length};
    EXPECT_EQ(c.result, PutPiece(c.form, source, c.offset, buffer, c.cbValueMax, &pcb, &next));
    EXPECT_EQ(c.pcb, pcb);
    EXPECT_EQ(c.next, next);
    const bool wide = c.form == kWide || c.form == kHexWide;
    const std::string got = wide               ? (c.cbValueMax >= 2 ? Units(buffer) : std::string(buffer, 4))
                            : c.form == kBytes ? std::string(buffer, 4)
                                               : std::string(buffer, std::strlen(c.out));
    EXPECT_EQ(c.out, got);
    if (!wide && c.form != kBytes && c.cbValueMax > 0) {
      EXPECT_EQ('\0', buffer[std::strlen(c.out)]);
    }
  }
}

}  // namespace
