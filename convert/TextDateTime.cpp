// Dates and times read from text at fixed character positions.
#include <cstring>

#include "convert/TextValues.h"
#include "convert/ValueOutput.h"

namespace {

// Reads characters first..last of text (those before end) as a decimal
// integer into *value. An empty field reads as 0; a field with anything
// other than digits fails. Separators between fields are not examined.
bool ReadField(const char* text, uint32_t end, uint32_t first, uint32_t last, unsigned* value) {
  *value = 0;
  for (uint32_t i = first; i <= last && i < end; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    *value = *value * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

struct FieldPosition {
  uint32_t first;
  uint32_t last;
  unsigned max;
};

// year, month, day, hour, minute, second
const FieldPosition kFields[6] = {
    {0, 3, 9999}, {5, 6, 12}, {8, 9, 31}, {11, 12, 23}, {14, 15, 59}, {17, 18, 59},
};

bool ReadFields(const char* text, uint32_t end, int firstField, int lastField, uint32_t offset,
                unsigned* out) {
  for (int f = firstField; f <= lastField; ++f) {
    const FieldPosition& field = kFields[f];
    unsigned v;
    if (!ReadField(text, end, field.first - offset, field.last - offset, &v) || v > field.max)
      return false;
    out[f] = v;
  }
  return true;
}

}  // namespace

// Trailing blanks (CHAR padding) count as the end of the text, so a
// blank-padded date still reads with empty (zero) time fields.
int TextValue::GetDate(void* rgbValue, SQLLEN* pcbValue) const {
  unsigned f[6] = {};
  if (!ReadFields(Text(), TrimmedLength(), 0, 2, 0, f)) return kConversionFailed;
  DATE_STRUCT date;
  date.year = static_cast<SQLSMALLINT>(f[0]);
  date.month = static_cast<SQLUSMALLINT>(f[1]);
  date.day = static_cast<SQLUSMALLINT>(f[2]);
  return PutFixed(&date, sizeof date, rgbValue, pcbValue);
}

int TextValue::GetTime(void* rgbValue, SQLLEN* pcbValue) const {
  // hh:mm:ss sits at the positions of the timestamp's time, 11 earlier.
  unsigned f[6] = {};
  if (!ReadFields(Text(), TrimmedLength(), 3, 5, 11, f)) return kConversionFailed;
  TIME_STRUCT time;
  time.hour = static_cast<SQLUSMALLINT>(f[3]);
  time.minute = static_cast<SQLUSMALLINT>(f[4]);
  time.second = static_cast<SQLUSMALLINT>(f[5]);
  return PutFixed(&time, sizeof time, rgbValue, pcbValue);
}

// The digits after position 19 (the point) are a fraction of a second in
// nanoseconds: ".5" is 500000000. Digits beyond the ninth are dropped and
// the result tells of the truncation.
int TextValue::GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const {
  const char* text = Text();
  uint32_t end = TrimmedLength();
  unsigned f[6] = {};
  if (!ReadFields(text, end, 0, 5, 0, f)) return kConversionFailed;
  uint32_t fraction = 0;
  int digits = 0;
  bool dropped = false;
  for (uint32_t i = 20; i < end; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return kConversionFailed;
    if (digits < 9) {
      fraction = fraction * 10 + static_cast<uint32_t>(c - '0');
      ++digits;
    } else {
      dropped = true;
    }
  }
  for (; digits > 0 && digits < 9; ++digits) fraction *= 10;
  TIMESTAMP_STRUCT ts;
  std::memset(&ts, 0, sizeof ts);
  ts.year = static_cast<SQLSMALLINT>(f[0]);
  ts.month = static_cast<SQLUSMALLINT>(f[1]);
  ts.day = static_cast<SQLUSMALLINT>(f[2]);
  ts.hour = static_cast<SQLUSMALLINT>(f[3]);
  ts.minute = static_cast<SQLUSMALLINT>(f[4]);
  ts.second = static_cast<SQLUSMALLINT>(f[5]);
  ts.fraction = fraction;
  PutFixed(&ts, sizeof ts, rgbValue, pcbValue);
  return dropped ? kConversionTruncated : kConversionDone;
}
