// Length and truncation rules for writing converted values.
#include "convert/ValueOutput.h"

#include <cstring>

#include "convert/ColumnValue.h"
#include "convert/WideText.h"

namespace {

// Writes n bytes: the first of the held bytes of src, then zero bytes.
void CopyPadded(void* dest, const void* src, uint64_t held, uint64_t n) {
  if (n == 0) return;
  const uint64_t copied = src != nullptr && held < n ? held : (src != nullptr ? n : 0);
  if (copied > 0) std::memcpy(dest, src, copied);
  if (n > copied) std::memset(static_cast<char*>(dest) + copied, 0, n - copied);
}

// n characters (text's held ones, then NULs) and a terminating NUL.
void WriteText(void* rgbValue, const char* text, uint64_t held, uint64_t n) {
  CopyPadded(rgbValue, text, held, n);
  static_cast<char*>(rgbValue)[n] = '\0';
}

bool Fits(uint64_t needed, SQLLEN cbValueMax) {
  return cbValueMax >= 0 && needed <= static_cast<uint64_t>(cbValueMax);
}

}  // namespace

int PutFixed(const void* value, std::size_t size, void* rgbValue, SQLLEN* pcbValue) {
  std::memcpy(rgbValue, value, size);
  StoreLength(pcbValue, size);
  return kConversionDone;
}

int PutWhole(const void* value, std::size_t size, void* rgbValue, SQLLEN cbValueMax,
             SQLLEN* pcbValue) {
  StoreLength(pcbValue, size);
  if (!Fits(size, cbValueMax)) return kConversionFailed;
  std::memcpy(rgbValue, value, size);
  return kConversionDone;
}

int PutWholeText(const char* text, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
                 SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  if (!Fits(length + 1, cbValueMax)) return kConversionFailed;
  WriteText(rgbValue, text, length, length);
  return kConversionDone;
}

int PutCutText(const char* text, uint64_t held, uint64_t length, void* rgbValue, SQLLEN cbValueMax,
               SQLLEN* pcbValue) {
  uint64_t next = 0;
  return PutPiece(PieceForm::kText, {text, text != nullptr ? held : 0, length}, 0, rgbValue,
                  cbValueMax, pcbValue, &next);
}

int PutCutBytes(const void* bytes, uint64_t held, uint64_t length, void* rgbValue,
                SQLLEN cbValueMax, SQLLEN* pcbValue) {
  uint64_t next = 0;
  return PutPiece(PieceForm::kBytes,
                  {static_cast<const char*>(bytes), bytes != nullptr ? held : 0, length}, 0,
                  rgbValue, cbValueMax, pcbValue, &next);
}

namespace {

// The source's byte at k (zero past the held ones).
unsigned char ByteAt(const PieceSource& s, uint64_t k) {
  return k < s.held ? static_cast<unsigned char>(s.bytes[k]) : 0;
}

// One character of the source at k: its code point and its bytes.
uint64_t CharAt(const PieceSource& s, uint64_t k, uint32_t* codePoint) {
  if (k >= s.held) {
    *codePoint = 0;
    return 1;
  }
  const uint64_t left = s.held - k;
  return static_cast<uint64_t>(DecodeUtf8(reinterpret_cast<const unsigned char*>(s.bytes + k),
                                          left > 4 ? 4 : static_cast<long>(left), codePoint));
}

const char kHexDigits[] = "0123456789ABCDEF";

// Hexadecimal digits of whole bytes from offset, in units of unitSize bytes.
int PutHex(const PieceSource& s, uint64_t offset, std::size_t unitSize, void* rgbValue,
           uint64_t room, SQLLEN* pcbValue, uint64_t* next) {
  const uint64_t remaining = s.length - offset;
  const uint64_t units = room / unitSize;
  const uint64_t bytes =
      units > 0 ? ((units - 1) / 2 < remaining ? (units - 1) / 2 : remaining) : 0;
  StoreLength(pcbValue, remaining * 2 * unitSize);
  if (units > 0) {
    for (uint64_t i = 0; i <= bytes * 2; ++i) {
      const unsigned char b = ByteAt(s, offset + i / 2);
      const SQLWCHAR digit =
          i == bytes * 2 ? 0 : static_cast<SQLWCHAR>(kHexDigits[i % 2 == 0 ? b >> 4 : b & 0xF]);
      if (unitSize == 1) {
        static_cast<char*>(rgbValue)[i] = static_cast<char>(digit);
      } else {
        StoreUnaligned(static_cast<SQLWCHAR*>(rgbValue) + i, digit);
      }
    }
  }
  *next = offset + bytes;
  return bytes < remaining || units == 0 ? kConversionTruncated : kConversionDone;
}

// Wide units of the text from offset: whole characters while they fit, in
// UTF-16 the first half of a pair when nothing else would.
int PutWide(const PieceSource& s, uint64_t offset, void* rgbValue, uint64_t room, SQLLEN* pcbValue,
            uint64_t* next) {
  auto* out = static_cast<SQLWCHAR*>(rgbValue);
  const uint64_t units = room / sizeof(SQLWCHAR);
  const uint64_t cap = units > 0 ? units - 1 : 0;
  uint64_t written = 0, need = 0, k = offset;
  bool full = false;
  *next = offset;
  uint32_t cp = 0;
  // An offset two bytes into a character beyond the BMP: its first half
  // went out with the previous piece.
  if (kWideUnitBytes == 2 && offset >= 2 && CharAt(s, offset - 2, &cp) == 4 && cp >= 0x10000) {
    k = offset + 2;
    need = 1;
    if (cap > 0) {
      StoreUnaligned(out, static_cast<SQLWCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      written = 1;
      *next = k;
    } else {
      full = true;
    }
  }
  while (k < s.length) {
    const uint64_t size = CharAt(s, k, &cp);
    const uint64_t n = static_cast<uint64_t>(WideUnits(cp));
    need += n;
    if (!full && written + n <= cap) {
      if (n == 2) {
        StoreUnaligned(out + written++, static_cast<SQLWCHAR>(0xD800 + ((cp - 0x10000) >> 10)));
        StoreUnaligned(out + written++, static_cast<SQLWCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      } else {
        StoreUnaligned(out + written++, static_cast<SQLWCHAR>(cp));
      }
      *next = k + size;
    } else if (!full && written == 0 && cap == 1) {
      // One unit of room: the pair is split so that the piece makes progress.
      StoreUnaligned(out + written++, static_cast<SQLWCHAR>(0xD800 + ((cp - 0x10000) >> 10)));
      *next = k + 2;
      full = true;
    } else {
      full = true;
    }
    k += size;
  }
  if (units > 0) StoreUnaligned(out + written, static_cast<SQLWCHAR>(0));
  StoreLength(pcbValue, need * sizeof(SQLWCHAR));
  return full || units == 0 ? kConversionTruncated : kConversionDone;
}

}  // namespace

int PutPiece(PieceForm form, const PieceSource& source, uint64_t offset, void* rgbValue,
             SQLLEN cbValueMax, SQLLEN* pcbValue, uint64_t* next) {
  const uint64_t room =
      rgbValue != nullptr && cbValueMax > 0 ? static_cast<uint64_t>(cbValueMax) : 0;
  if (offset > source.length) offset = source.length;
  const uint64_t remaining = source.length - offset;
  const char* from =
      source.bytes != nullptr && offset < source.held ? source.bytes + offset : nullptr;
  const uint64_t held = from != nullptr ? source.held - offset : 0;
  switch (form) {
    case PieceForm::kText: {
      const uint64_t n = room == 0 ? 0 : (remaining < room - 1 ? remaining : room - 1);
      if (room > 0) WriteText(rgbValue, from, held, n);
      StoreLength(pcbValue, remaining);
      *next = offset + n;
      return remaining >= room ? kConversionTruncated : kConversionDone;
    }
    case PieceForm::kBytes: {
      const uint64_t n = remaining < room ? remaining : room;
      CopyPadded(rgbValue, from, held, n);
      StoreLength(pcbValue, remaining);
      *next = offset + n;
      return remaining > room ? kConversionTruncated : kConversionDone;
    }
    case PieceForm::kHexText:
      return PutHex(source, offset, 1, rgbValue, room, pcbValue, next);
    case PieceForm::kHexWide:
      return PutHex(source, offset, sizeof(SQLWCHAR), rgbValue, room, pcbValue, next);
    case PieceForm::kWideText:
      return PutWide(source, offset, rgbValue, room, pcbValue, next);
  }
  return kConversionFailed;
}

int PutNumberText(const char* text, uint64_t length, uint64_t wholeLength, void* rgbValue,
                  SQLLEN cbValueMax, SQLLEN* pcbValue) {
  StoreLength(pcbValue, length);
  if (Fits(length + 1, cbValueMax)) {
    WriteText(rgbValue, text, length, length);
    return kConversionDone;
  }
  if (!Fits(wholeLength + 1, cbValueMax)) return kConversionFailed;
  WriteText(rgbValue, text, length, static_cast<uint64_t>(cbValueMax) - 1);
  return kConversionTruncated;
}
