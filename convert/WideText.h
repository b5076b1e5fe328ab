// Texts of the wide-character calls and the UTF-8 the wire and the
// driver's strings carry, in both directions. A wide text is in units of
// SQLWCHAR: UTF-16 where the driver manager's SQLWCHAR has 16 bits
// (unixODBC, Windows), UTF-32 where it is a 4-byte wchar_t (iODBC). Lengths
// of wide texts count these units, and a character is one unit of UTF-32 or
// one or two (a surrogate pair) of UTF-16.
#ifndef VELORA_CONVERT_WIDETEXT_H
#define VELORA_CONVERT_WIDETEXT_H

#include <sqltypes.h>

#include "base/String.h"

enum class WideResult { kOk, kInvalid, kNoMemory };

// Bytes of one unit of a wide text.
constexpr long kWideUnitBytes = static_cast<long>(sizeof(SQLWCHAR));
static_assert(kWideUnitBytes == 2 || kWideUnitBytes == 4, "SQLWCHAR is UTF-16 or UTF-32");

// Units the code point cp takes in a wide text.
inline long WideUnits(uint32_t cp) { return kWideUnitBytes == 2 && cp >= 0x10000 ? 2 : 1; }

// Bytes of the wide text at data (possibly unaligned) before its first 0
// unit.
uint64_t WideBytes(const void* data);

// Units before the first 0 unit; 0 for a null text.
long WideLength(const SQLWCHAR* text);

// Appends the UTF-8 form of units units of text (SQL_NTS: up to the first
// 0 unit) to *out, every byte kept. A null text or 0 units appends nothing.
// kInvalid for a lone surrogate or, in UTF-32, a unit that is no
// character (or a negative length other than SQL_NTS),
// kNoMemory when the string cannot grow; on failure nothing is appended.
WideResult WideToUtf8(const SQLWCHAR* text, long units, String* out);

// As WideToUtf8, but a lone surrogate becomes U+FFFD (never kInvalid but
// for a negative length other than SQL_NTS).
WideResult WideToUtf8Lenient(const SQLWCHAR* text, long units, String* out);

// Writes the wide form of bytes bytes of text (SQL_NTS: up to its NUL)
// to out: at most outUnits - 1 units and a terminating 0 unit (nothing at
// all when outUnits is 0), never the first half of a surrogate pair without
// its second. Each ill-formed UTF-8 sequence (its longest start that could
// begin a character) becomes U+FFFD. *needUnits (when not null) receives
// the units of the whole text. Returns the units written, the 0 not counted.
long Utf8ToWide(const char* text, long bytes, SQLWCHAR* out, long outUnits, long* needUnits);

// Utf8ToWide for a value read in pieces: *usedBytes (when not null)
// receives the bytes of text whose characters were written whole, where the
// next piece starts.
long Utf8ToWidePiece(const char* text, long bytes, SQLWCHAR* out, long outUnits, long* needUnits,
                     long* usedBytes);

// Decodes one character of UTF-8 at text (bytes > 0): stores its code point
// (U+FFFD for an ill-formed sequence) and returns the bytes it took (>= 1).
long DecodeUtf8(const unsigned char* text, long bytes, uint32_t* codePoint);

#endif
