#include "convert/WideText.h"

#include <sql.h>

#include <cstring>

namespace {
constexpr uint32_t kReplacement = 0xFFFD;
constexpr uint32_t kLone = 0xFFFFFFFF;  // a surrogate without its other half

bool IsHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool InRange(unsigned char b, unsigned char lo, unsigned char hi) { return b >= lo && b <= hi; }

// Bytes of the UTF-8 form of one code point.
long Utf8Size(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

char* PutUtf8(uint32_t cp, char* p) {
  if (cp < 0x80) {
    *p++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return p;
}

// Unit i of text, which an application may hand over at any address
// (pyodbc's parameter arrays put wide texts at odd ones).
uint32_t UnitAt(const SQLWCHAR* text, long i) {
  SQLWCHAR unit;
  std::memcpy(&unit, reinterpret_cast<const unsigned char*>(text) + i * kWideUnitBytes,
              sizeof unit);
  return static_cast<uint32_t>(unit);
}

// The code point starting at text[*k] of n units, *k moved past it, or
// kLone.
uint32_t NextCodePoint(const SQLWCHAR* text, long n, long* k) {
  const uint32_t u = UnitAt(text, (*k)++);
  if (kWideUnitBytes == 4) return IsHigh(u) || IsLow(u) || u > 0x10FFFF ? kLone : u;
  if (IsLow(u)) return kLone;
  if (!IsHigh(u)) return u;
  if (*k >= n || !IsLow(UnitAt(text, *k))) return kLone;
  const uint32_t low = UnitAt(text, (*k)++);
  return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
}
}  // namespace

uint64_t WideBytes(const void* data) {
  const auto* p = static_cast<const unsigned char*>(data);
  uint64_t n = 0;
  for (;; n += kWideUnitBytes) {
    bool zero = true;
    for (long b = 0; b < kWideUnitBytes; ++b) zero = zero && p[n + b] == 0;
    if (zero) return n;
  }
}

long WideLength(const SQLWCHAR* text) {
  long n = 0;
  if (text != nullptr)
    while (UnitAt(text, n) != 0) ++n;
  return n;
}

namespace {

WideResult ToUtf8(const SQLWCHAR* text, long units, String* out, bool lenient) {
  if (units == SQL_NTS) units = WideLength(text);
  if (units < 0) return WideResult::kInvalid;
  if (text == nullptr || units == 0) return WideResult::kOk;
  long size = 0;
  for (long k = 0; k < units;) {
    uint32_t cp = NextCodePoint(text, units, &k);
    if (cp == kLone && !lenient) return WideResult::kInvalid;
    size += Utf8Size(cp == kLone ? kReplacement : cp);
  }
  if (static_cast<unsigned long>(size) > 0xFFFFFFF0UL - out->Length()) return WideResult::kNoMemory;
  // Encoded into a buffer of its own, then appended: the string grows once.
  char* block = static_cast<char*>(VelAlloc(static_cast<std::size_t>(size)));
  if (block == nullptr) return WideResult::kNoMemory;
  char* p = block;
  for (long k = 0; k < units;) {
    const uint32_t cp = NextCodePoint(text, units, &k);
    p = PutUtf8(cp == kLone ? kReplacement : cp, p);
  }
  int ok = out->Append(block, static_cast<uint32_t>(size));
  VelFree(block);
  return ok ? WideResult::kOk : WideResult::kNoMemory;
}

}  // namespace

WideResult WideToUtf8(const SQLWCHAR* text, long units, String* out) {
  return ToUtf8(text, units, out, false);
}

WideResult WideToUtf8Lenient(const SQLWCHAR* text, long units, String* out) {
  return ToUtf8(text, units, out, true);
}

long DecodeUtf8(const unsigned char* s, long n, uint32_t* codePoint) {
  unsigned char b = s[0];
  *codePoint = kReplacement;
  if (b < 0x80) return *codePoint = b, 1;
  long need;
  uint32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
  if (InRange(b, 0xC2, 0xDF)) {
    need = 1, cp = b & 0x1F;
  } else if (InRange(b, 0xE0, 0xEF)) {
    need = 2, cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;  // overlong
    if (b == 0xED) hi = 0x9F;  // surrogates
  } else if (InRange(b, 0xF0, 0xF4)) {
    need = 3, cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;  // overlong
    if (b == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return 1;
  }
  long k = 1;
  for (; k <= need; ++k) {
    if (k >= n || !InRange(s[k], k == 1 ? lo : 0x80, k == 1 ? hi : 0xBF)) return k;
    cp = cp << 6 | (s[k] & 0x3F);
  }
  *codePoint = cp;
  return k;
}

long Utf8ToWidePiece(const char* text, long bytes, SQLWCHAR* out, long outUnits, long* needUnits,
                     long* usedBytes) {
  if (text == nullptr) bytes = 0;
  if (bytes == SQL_NTS) bytes = static_cast<long>(std::strlen(text));
  if (bytes < 0) bytes = 0;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  long room = outUnits > 0 ? outUnits - 1 : 0;
  long written = 0, need = 0, used = 0;
  bool full = false;
  for (long k = 0; k < bytes;) {
    uint32_t cp;
    long size = DecodeUtf8(s + k, bytes - k, &cp);
    const long units = WideUnits(cp);
    need += units;
    k += size;
    if (full || written + units > room) {
      full = true;  // nothing after a character that did not fit
      continue;
    }
    if (units == 2) {
      out[written++] = static_cast<SQLWCHAR>(0xD800 + ((cp - 0x10000) >> 10));
      out[written++] = static_cast<SQLWCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[written++] = static_cast<SQLWCHAR>(cp);
    }
    used = k;
  }
  if (outUnits > 0) out[written] = 0;
  if (needUnits != nullptr) *needUnits = need;
  if (usedBytes != nullptr) *usedBytes = used;
  return written;
}

long Utf8ToWide(const char* text, long bytes, SQLWCHAR* out, long outUnits, long* needUnits) {
  return Utf8ToWidePiece(text, bytes, out, outUnits, needUnits, nullptr);
}
