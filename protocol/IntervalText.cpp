// Interval text: reading, writing and recasting (protocol/IntervalText.h).
#include "protocol/IntervalText.h"

#include <cstdio>
#include <cstring>

namespace interval {

namespace {

// Field positions: year, month, day, hour, minute, second.
enum : int { kF_Year, kF_Month, kF_Day, kF_Hour, kF_Minute, kF_Second };
// Per code (1 .. 13): its leading and trailing field.
constexpr int8_t kLeading[] = {0,       kF_Year, kF_Month, kF_Day, kF_Hour, kF_Minute, kF_Second,
                               kF_Year, kF_Day,  kF_Day,   kF_Day, kF_Hour, kF_Hour,   kF_Minute};
constexpr int8_t kTrailing[] = {0,         kF_Year,   kF_Month,  kF_Day,   kF_Hour,
                                kF_Minute, kF_Second, kF_Month,  kF_Hour,  kF_Minute,
                                kF_Second, kF_Minute, kF_Second, kF_Second};
// The separator before each field after the leading one, and its limit.
constexpr char kSeparator[] = {0, '-', 0, ' ', ':', ':'};
constexpr uint32_t kLimit[] = {0, 12, 0, 24, 60, 60};
// Seconds in a day-time field; months in a year-month one.
constexpr uint64_t kUnit[] = {12, 1, 86400, 3600, 60, 1};
constexpr uint32_t kLeadingMax = 999999999;

bool Valid(int code) { return code >= kYear && code <= kMinuteToSecond; }

uint32_t* Slot(Fields* f, int field) {
  uint32_t* slots[] = {&f->year, &f->month, &f->day, &f->hour, &f->minute, &f->second};
  return slots[field];
}
uint32_t Get(const Fields& f, int field) { return *Slot(const_cast<Fields*>(&f), field); }

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Splits a total (months, or seconds with fraction) into code's fields.
Outcome Split(int code, bool negative, uint64_t total, uint32_t fraction, Fields* out) {
  Fields f;
  f.negative = negative;
  const int lead = kLeading[code], trail = kTrailing[code];
  Outcome outcome = Outcome::kDone;
  for (int field = lead; field <= trail; ++field) {
    const uint64_t n = total / kUnit[field];
    total %= kUnit[field];
    if (field == lead && n > kLeadingMax) return Outcome::kOverflow;
    *Slot(&f, field) = static_cast<uint32_t>(n);
  }
  if (trail == kF_Second)
    f.fraction = fraction;
  else if (total != 0 || fraction != 0)
    outcome = Outcome::kTruncated;
  if (total == 0 && fraction == 0 && Get(f, lead) == 0) {
    bool zero = true;
    for (int field = lead; field <= trail; ++field) zero = zero && Get(f, field) == 0;
    if (zero) f.negative = false;
  }
  *out = f;
  return outcome;
}

}  // namespace

bool IsYearMonth(int code) { return code == kYear || code == kMonth || code == kYearToMonth; }

Outcome Parse(int code, const char* text, size_t n, Fields* out) {
  if (!Valid(code)) return Outcome::kBadText;
  size_t i = 0;
  while (i < n && Blank(text[i])) ++i;
  while (n > i && Blank(text[n - 1])) --n;
  // A whole literal: INTERVAL [sign] 'value' qualifier.
  if (n - i >= 8 && (text[i] == 'I' || text[i] == 'i')) {
    const char* word = "INTERVAL";
    for (int k = 0; k < 8; ++k)
      if ((text[i + k] & ~0x20) != word[k]) return Outcome::kBadText;
    i += 8;
    while (i < n && Blank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    while (i < n && Blank(text[i])) ++i;
    if (i >= n || text[i] != '\'') return Outcome::kBadText;
    const void* close = std::memchr(text + i + 1, '\'', n - i - 1);
    if (close == nullptr) return Outcome::kBadText;
    const size_t end = static_cast<size_t>(static_cast<const char*>(close) - text);
    const Outcome inner = Parse(code, text + i + 1, end - i - 1, out);
    if (negative && (inner == Outcome::kDone || inner == Outcome::kTruncated))
      out->negative = !out->negative;
    return inner;
  }
  Fields f;
  if (i < n && (text[i] == '-' || text[i] == '+')) f.negative = text[i++] == '-';
  Outcome outcome = Outcome::kDone;
  for (int field = kLeading[code]; field <= kTrailing[code]; ++field) {
    if (field != kLeading[code] && (i >= n || text[i++] != kSeparator[field]))
      return Outcome::kBadText;
    const size_t start = i;
    uint64_t v = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9' && i - start < 12)
      v = v * 10 + (text[i++] - '0');
    if (i == start) return Outcome::kBadText;
    if (field == kLeading[code] ? v > kLeadingMax : (i - start > 2 || v >= kLimit[field]))
      return field == kLeading[code] ? Outcome::kOverflow : Outcome::kBadText;
    *Slot(&f, field) = static_cast<uint32_t>(v);
  }
  if (i < n && text[i] == '.' && kTrailing[code] == kF_Second) {
    ++i;
    uint32_t scale = 100000000;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      if (scale == 0 && text[i] != '0') outcome = Outcome::kTruncated;
      f.fraction += (text[i++] - '0') * scale;
      scale /= 10;
    }
  }
  if (i != n) return Outcome::kBadText;
  *out = f;
  return outcome;
}

size_t Format(int code, const Fields& f, char* out) {
  if (!Valid(code)) {
    out[0] = 0;
    return 0;
  }
  int at = std::snprintf(out, kTextBytes, "%s%u", f.negative ? "-" : "", Get(f, kLeading[code]));
  for (int field = kLeading[code] + 1; field <= kTrailing[code]; ++field)
    at += std::snprintf(out + at, kTextBytes - at, "%c%02u", kSeparator[field], Get(f, field));
  if (kTrailing[code] == kF_Second && f.fraction != 0) {
    at += std::snprintf(out + at, kTextBytes - at, ".%09u", f.fraction % 1000000000u);
    while (out[at - 1] == '0') out[--at] = 0;
  }
  return static_cast<size_t>(at);
}

Outcome Recast(int from, const Fields& f, int to, Fields* out) {
  if (!Valid(from) || !Valid(to) || IsYearMonth(from) != IsYearMonth(to))
    return Outcome::kOtherClass;
  uint64_t total = 0;
  for (int field = kLeading[from]; field <= kTrailing[from]; ++field)
    total += Get(f, field) * kUnit[field];
  return Split(to, f.negative, total, kTrailing[from] == kF_Second ? f.fraction : 0, out);
}

bool FromIso8601(const char* text, int code, Fields* out) {
  if (!Valid(code) || text[0] != 'P') return false;
  int64_t months = 0, days = 0, micros = 0;
  bool time = false;
  for (const char* p = text + 1; *p != 0;) {
    if (*p == 'T') {
      time = true;
      ++p;
      continue;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t whole = 0, part = 0, scale = 1000000;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') whole = whole * 10 + (*p++ - '0');
    if (*p == '.')
      for (++p; *p >= '0' && *p <= '9'; ++p)
        if ((scale /= 10) > 0) part += (*p - '0') * scale;
    const int64_t sign = negative ? -1 : 1;
    switch (*p++) {
      case 'Y':
        months += sign * whole * 12;
        break;
      case 'M':
        if (time)
          micros += sign * (whole * 60000000 + part * 60);
        else
          months += sign * whole;
        break;
      case 'W':
        days += sign * whole * 7;
        break;
      case 'D':
        days += sign * whole;
        break;
      case 'H':
        micros += sign * (whole * 3600000000LL + part * 3600);
        break;
      case 'S':
        micros += sign * (whole * 1000000 + part);
        break;
      default:
        return false;
    }
  }
  if (IsYearMonth(code)) {
    const bool negative = months < 0;
    return Split(code, negative, static_cast<uint64_t>(negative ? -months : months), 0, out) !=
           Outcome::kOverflow;
  }
  // A plain interval's months count as 30 days, as PostgreSQL's own
  // justify_days does.
  const int64_t total = (days + months * 30) * 86400000000LL + micros;
  const bool negative = total < 0;
  const uint64_t magnitude = static_cast<uint64_t>(negative ? -total : total);
  return Split(code, negative, magnitude / 1000000,
               static_cast<uint32_t>(magnitude % 1000000) * 1000, out) != Outcome::kOverflow;
}

size_t ToIso8601(const Fields& f, char* out) {
  const char* s = f.negative ? "-" : "";
  int at = std::snprintf(out, kTextBytes, "P%s%uY%s%uM%s%uDT%s%uH%s%uM%s%u.%09uS", s, f.year, s,
                         f.month, s, f.day, s, f.hour, s, f.minute, s, f.second, f.fraction);
  return at < 0 ? 0 : static_cast<size_t>(at);
}

}  // namespace interval
