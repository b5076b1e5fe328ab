// The edge of the wide-character (W) entry points: their wide texts (UTF-16,
// or UTF-32 under iODBC: convert/WideText.h) in and out, converted to and
// from the UTF-8 texts the workers take. Input lengths and output sizes are
// in characters (SQLWCHAR units) unless an entry point says bytes.
#ifndef VELORA_ODBC3_WIDEARGS_H
#define VELORA_ODBC3_WIDEARGS_H

#include <sql.h>
#include <sqlext.h>

#include "base/String.h"
#include "convert/WideText.h"
#include "handles/ClientDiagnostics.h"

// One text argument of a W function as the UTF-8 text a worker takes.
class WideArg {
 public:
  // Converts units characters of text (SQL_NTS: up to its 0). A null text
  // stays null, and so does a text whose length ODBC does not allow: the
  // worker is given that length and refuses it as for the ANSI call.
  // kInvalid for a lone surrogate, kNoMemory when memory runs out.
  WideResult Set(const SQLWCHAR* text, long units);
  // The text (null for a null text) and its length in bytes.
  const SQLCHAR* Text() const;
  SQLINTEGER Length() const { return length_; }
  // The length for a 16-bit argument: SQL_NTS when the bytes outnumber
  // what 16 bits hold (the text has no 0 of its own then: a 0 ends what
  // an application gives with SQL_NTS).
  SQLSMALLINT ShortLength() const;
  const String& Value() const { return value_; }

 private:
  String value_;
  bool null_ = true;
  SQLINTEGER length_ = 0;
};

// Posts on object what a failed conversion means: "22018" for text that
// is not UTF-16 (or UTF-32), "S1001" when memory ran out; returns SQL_ERROR.
template <class T>
int PostWideFailure(T* object, WideResult result) {
  if (result == WideResult::kInvalid) return VEL_POST(object, SQL_ERROR, kDiagInvalidWideText);
  return VEL_POST(object, SQL_ERROR, kDiagMemory);
}

// Converts texts[i] into args[i] for each of the n arguments, in order;
// SQL_SUCCESS, or SQL_ERROR posted on object at the first failure.
template <class T>
int SetWideArgs(T* object, WideArg* args, const SQLWCHAR* const* texts, const long* units, int n) {
  for (int i = 0; i < n; ++i) {
    const WideResult r = args[i].Set(texts[i], units[i]);
    if (r != WideResult::kOk) return PostWideFailure(object, r);
  }
  return SQL_SUCCESS;
}

// Copies length bytes of UTF-8 text into an application buffer of units
// characters (nothing into a null buffer), as CopyOutput does bytes: true
// when the whole text and its 0 fit; otherwise as many whole characters as
// fit (never half a surrogate pair) and a 0 when units is above 0, and
// false (the caller posts "01004"). *needUnits (when not null) is the
// whole text's characters.
bool CopyWideOutput(const char* text, uint32_t length, SQLWCHAR* buffer, long units,
                    long* needUnits);

// The same for a String's text, into an untyped buffer.
inline bool CopyWideOutput(const String& text, SQLPOINTER buffer, long units, long* needUnits) {
  return CopyWideOutput(text.TextOrEmpty(), text.Length(), static_cast<SQLWCHAR*>(buffer), units,
                        needUnits);
}

// A count of characters in 16 bits: the most those hold for a longer text.
inline SQLSMALLINT ShortCount(long count) {
  return static_cast<SQLSMALLINT>(count > 32767 ? 32767 : count);
}

#endif
