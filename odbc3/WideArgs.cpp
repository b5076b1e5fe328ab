// Texts of the W entry points in and out.
#include "odbc3/WideArgs.h"

#include "odbc/Workers.h"

WideResult WideArg::Set(const SQLWCHAR* text, long units) {
  value_.Clear();
  null_ = text == nullptr;
  length_ = static_cast<SQLINTEGER>(units);
  if (null_ || !ValidLength(units)) return WideResult::kOk;
  const WideResult r = WideToUtf8(text, units, &value_);
  length_ = static_cast<SQLINTEGER>(value_.Length());
  return r;
}

const SQLCHAR* WideArg::Text() const {
  if (null_) return nullptr;
  return reinterpret_cast<const SQLCHAR*>(value_.TextOrEmpty());
}

SQLSMALLINT WideArg::ShortLength() const {
  if (length_ > 32767) return SQL_NTS;
  return static_cast<SQLSMALLINT>(length_);
}

bool CopyWideOutput(const char* text, uint32_t length, SQLWCHAR* buffer, long units,
                    long* needUnits) {
  long need = 0;
  if (buffer != nullptr && units > 0) {
    Utf8ToWide(text, static_cast<long>(length), buffer, units, &need);
  } else {
    Utf8ToWide(text, static_cast<long>(length), nullptr, 0, &need);
  }
  if (needUnits) *needUnits = need;
  return need < units;
}
