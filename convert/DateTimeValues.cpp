// Loading and converting dates, times and timestamps.
#include "convert/DateTimeValues.h"

#include <cstdio>
#include <cstring>

#include "convert/ValueOutput.h"
#include "protocol/ValueLayout.h"

namespace {

int PutText(const char* text, int n, void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) {
  return PutWholeText(text, static_cast<uint64_t>(n), rgbValue, cbValueMax, pcbValue);
}

// Writes value as exactly width decimal digits at text (value has no more).
char* PutDigits(char* text, unsigned value, int width) {
  for (int i = width - 1; i >= 0; --i, value /= 10) text[i] = static_cast<char>('0' + value % 10);
  return text + width;
}

// "yyyy-mm-dd hh:mm:ss" as snprintf would write it, written by hand as
// it is written once a value of every row; 0 (nothing written) for a
// field wider than its digits, which snprintf writes instead.
int PutDateTime(char* text, const TIMESTAMP_STRUCT& v) {
  if (v.year < 0 || v.year > 9999 || v.month > 99 || v.day > 99 || v.hour > 99 || v.minute > 99 ||
      v.second > 99) {
    return 0;
  }
  char* p = PutDigits(text, static_cast<unsigned>(v.year), 4);
  *p++ = '-';
  p = PutDigits(p, v.month, 2);
  *p++ = '-';
  p = PutDigits(p, v.day, 2);
  *p++ = ' ';
  p = PutDigits(p, v.hour, 2);
  *p++ = ':';
  p = PutDigits(p, v.minute, 2);
  *p++ = ':';
  p = PutDigits(p, v.second, 2);
  *p = '\0';
  return static_cast<int>(p - text);
}

// The fields of a row's date, time or timestamp of form; false (dt all
// zeros) when the bytes are short.
bool Fields(SqlForm form, const uint8_t* bytes, uint32_t size, layout::DateTime* dt) {
  *dt = layout::DateTime();
  return layout::DecodeDateTime(form, bytes, size, dt);
}

}  // namespace

// Short row bytes (fewer than the layout's 6 or 16): malformed; the value
// becomes all zeros.
int DateValue::Load(const uint8_t* bytes, uint32_t size) {
  layout::DateTime dt;
  const bool read = Fields(SqlForm::kDate, bytes, size, &dt);
  value_.year = dt.year;
  value_.month = dt.month;
  value_.day = dt.day;
  return read ? kLoadDone : kLoadMalformed;
}

int DateValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  char text[32];
  int n = std::snprintf(text, sizeof text, "%04d-%02u-%02u", value_.year, value_.month, value_.day);
  return PutText(text, n, rgbValue, cbValueMax, pcbValue);
}

int DateValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutWhole(&value_, 6, rgbValue, cbValueMax, pcbValue);
}

int DateValue::GetDate(void* rgbValue, SQLLEN* pcbValue) const {
  return PutFixed(&value_, sizeof value_, rgbValue, pcbValue);
}

int DateValue::GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const {
  TIMESTAMP_STRUCT ts;
  std::memset(&ts, 0, sizeof ts);
  ts.year = value_.year;
  ts.month = value_.month;
  ts.day = value_.day;
  return PutFixed(&ts, sizeof ts, rgbValue, pcbValue);
}

int TimeValue::Load(const uint8_t* bytes, uint32_t size) {
  layout::DateTime dt;
  const bool read = Fields(SqlForm::kTime, bytes, size, &dt);
  value_.hour = dt.hour;
  value_.minute = dt.minute;
  value_.second = dt.second;
  return read ? kLoadDone : kLoadMalformed;
}

int TimeValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  char text[32];
  int n =
      std::snprintf(text, sizeof text, "%02u:%02u:%02u", value_.hour, value_.minute, value_.second);
  return PutText(text, n, rgbValue, cbValueMax, pcbValue);
}

int TimeValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutWhole(&value_, 6, rgbValue, cbValueMax, pcbValue);
}

int TimeValue::GetTime(void* rgbValue, SQLLEN* pcbValue) const {
  return PutFixed(&value_, sizeof value_, rgbValue, pcbValue);
}

// The date part is zero: a time carries no date.
int TimeValue::GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const {
  TIMESTAMP_STRUCT ts;
  std::memset(&ts, 0, sizeof ts);
  ts.hour = value_.hour;
  ts.minute = value_.minute;
  ts.second = value_.second;
  return PutFixed(&ts, sizeof ts, rgbValue, pcbValue);
}

int TimestampValue::Load(const uint8_t* bytes, uint32_t size) {
  layout::DateTime dt;
  const bool read = Fields(SqlForm::kTimestamp, bytes, size, &dt);
  value_.year = dt.year;
  value_.month = dt.month;
  value_.day = dt.day;
  value_.hour = dt.hour;
  value_.minute = dt.minute;
  value_.second = dt.second;
  value_.fraction = dt.fraction;
  return read ? kLoadDone : kLoadMalformed;
}

int TimestampValue::GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  char text[64];
  int n = PutDateTime(text, value_);
  if (n == 0) {
    n = std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", value_.year, value_.month,
                      value_.day, value_.hour, value_.minute, value_.second);
  }
  unsigned long f = value_.fraction;
  if (f != 0) {
    unsigned long middle = (f / 1000) % 1000, last = f % 1000;
    n += std::snprintf(text + n, sizeof text - n, ".%03lu", f / 1000000);
    if (middle != 0 || last != 0) n += std::snprintf(text + n, sizeof text - n, "%03lu", middle);
    if (last != 0) n += std::snprintf(text + n, sizeof text - n, "%03lu", last);
  }
  return PutText(text, n, rgbValue, cbValueMax, pcbValue);
}

int TimestampValue::GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const {
  return PutWhole(&value_, 16, rgbValue, cbValueMax, pcbValue);
}

int TimestampValue::GetDate(void* rgbValue, SQLLEN* pcbValue) const {
  DATE_STRUCT date;
  date.year = value_.year;
  date.month = value_.month;
  date.day = value_.day;
  PutFixed(&date, sizeof date, rgbValue, pcbValue);
  bool timeDropped = value_.hour != 0 || value_.minute != 0 || value_.second != 0;
  return timeDropped ? kConversionTruncated : kConversionDone;
}

int TimestampValue::GetTime(void* rgbValue, SQLLEN* pcbValue) const {
  TIME_STRUCT time;
  time.hour = value_.hour;
  time.minute = value_.minute;
  time.second = value_.second;
  PutFixed(&time, sizeof time, rgbValue, pcbValue);
  return value_.fraction != 0 ? kConversionTruncated : kConversionDone;
}

int TimestampValue::GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const {
  return PutFixed(&value_, sizeof value_, rgbValue, pcbValue);
}
