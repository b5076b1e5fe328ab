// Writing converted values into the application's buffer: the length and
// truncation rules shared by the value classes.
#ifndef VELORA_CONVERT_VALUEOUTPUT_H
#define VELORA_CONVERT_VALUEOUTPUT_H

#include <sql.h>

#include <cstddef>
#include <cstdint>

#include "base/Unaligned.h"

inline void StoreLength(SQLLEN* pcbValue, uint64_t length) {
  if (pcbValue) StoreUnaligned(pcbValue, static_cast<SQLLEN>(length));
}

// Fixed-size C type: writes size bytes, *pcbValue = size, kConversionDone.
int PutFixed(const void* value, std::size_t size, void* rgbValue, SQLLEN* pcbValue);

// Whole value or nothing: *pcbValue = size; kConversionFailed when
// cbValueMax < size, else the size bytes and kConversionDone.
int PutWhole(const void* value, std::size_t size, void* rgbValue, SQLLEN cbValueMax,
             SQLLEN* pcbValue);

// Whole text or nothing: *pcbValue = length; kConversionFailed when
// length + 1 exceeds cbValueMax, else the text, a NUL and kConversionDone.
int PutWholeText(const char* text, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
                 SQLLEN* pcbValue);

// How a value's bytes are handed out in pieces.
enum class PieceForm : uint8_t {
  kText,      // the bytes, a NUL after each piece
  kBytes,     // the bytes, no NUL
  kHexText,   // each byte as two uppercase hexadecimal digits, a NUL after each piece
  kWideText,  // UTF-8 bytes as UTF-16 units, a 0 unit after each piece
  kHexWide,   // kHexText's digits as UTF-16 units, a 0 unit after each piece
};

// A value's bytes: the first held of them at bytes (none when bytes is
// null), then zero bytes up to length.
struct PieceSource {
  const char* bytes;
  uint64_t held;
  uint64_t length;
};

// The piece rule: writes the part of source that starts offset bytes into
// it, in form, into rgbValue (cbValueMax bytes; none when rgbValue is null
// or cbValueMax <= 0): as much as fits with its terminator, and the
// terminator whenever one unit fits. *pcbValue (when given) receives the
// bytes the form of the whole rest takes, terminator not counted; *next
// the offset where the next piece starts (length once everything went
// out). kConversionTruncated when the rest did not fit, kConversionDone
// otherwise. Hexadecimal forms are cut on whole bytes. A wide piece holds
// whole characters, except that a piece with room for one unit only takes
// the first half of a surrogate pair, so that every piece makes progress:
// its *next then lies inside the character (its lead byte + 2), where the
// second half is the next piece's first unit. Bytes of ill-formed UTF-8
// become U+FFFD.
int PutPiece(PieceForm form, const PieceSource& source, uint64_t offset, void* rgbValue,
             SQLLEN cbValueMax, SQLLEN* pcbValue, uint64_t* next);

// Text cut to the buffer: *pcbValue = length; when length < cbValueMax the
// text and a NUL (kConversionDone), else cbValueMax-1 bytes and a NUL
// (nothing when cbValueMax <= 0) and kConversionTruncated. The text is
// its first held bytes followed by NULs up to length (a null text holds
// none), so a padded value needs no buffer of its whole length.
int PutCutText(const char* text, uint64_t held, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
               SQLLEN* pcbValue);

// Bytes cut to the buffer, no NUL: *pcbValue = length; min(length,
// cbValueMax) bytes; kConversionTruncated when length > cbValueMax. As for
// PutCutText, the bytes past the held ones are zero.
int PutCutBytes(const void* bytes, uint64_t held, uint64_t length, void* rgbValue,
                SQLLEN cbValueMax, SQLLEN* pcbValue);

// A number's text: *pcbValue = length; whole text when it is shorter than
// cbValueMax (kConversionDone); when only fractional digits are lost (the
// wholeLength characters before the point and a NUL fit) cbValueMax-1
// characters and a NUL (kConversionTruncated); otherwise kConversionFailed.
int PutNumberText(const char* text, uint64_t length, uint64_t wholeLength, void* rgbValue,
                  SQLLEN cbValueMax, SQLLEN* pcbValue);

#endif
