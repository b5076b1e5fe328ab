// UTF-16 texts of the wide-character calls (SQLWCHAR: 16-bit units) and the
// UTF-8 the wire and the driver's strings carry, in both directions.
#ifndef VELORA_CONVERT_WIDETEXT_H
#define VELORA_CONVERT_WIDETEXT_H

#include <sqltypes.h>

#include "base/String.h"

enum class WideResult { kOk, kInvalid, kNoMemory };

// Units before the first 0 unit; 0 for a null text.
long WideLength(const SQLWCHAR* text);

// Appends the UTF-8 form of units units of text (SQL_NTS: up to the first
// 0 unit) to *out, every byte kept. A null text or 0 units appends nothing.
// kInvalid for a lone surrogate (or a negative length other than SQL_NTS),
// kNoMemory when the string cannot grow; on failure nothing is appended.
WideResult WideToUtf8(const SQLWCHAR* text, long units, String* out);

// As WideToUtf8, but a lone surrogate becomes U+FFFD (never kInvalid but
// for a negative length other than SQL_NTS).
WideResult WideToUtf8Lenient(const SQLWCHAR* text, long units, String* out);

// Writes the UTF-16 form of bytes bytes of text (SQL_NTS: up to its NUL)
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
