// The driver's counted, heap-held string. Assignment takes the ODBC length
// conventions (SQL_NTS, SQL_NULL_DATA) and, like appending, drops trailing
// blanks. Operations that allocate return 1, or 0 when memory runs out.
#ifndef VELORA_BASE_STRING_H
#define VELORA_BASE_STRING_H

#include <cstdint>

#include "base/Alloc.h"

class String {
  VEL_NOTHROW_ALLOCATED
 public:
  String() = default;
  ~String();
  String(const String&) = delete;
  String& operator=(const String&) = delete;

  void Clear();

  // Assigns length characters of text (SQL_NTS: up to the NUL; SQL_NULL_DATA
  // or a null text: the empty string), dropping trailing blanks. On failure
  // the string is left empty. Other negative lengths have no meaning in ODBC;
  // they store the empty string, since entry points check lengths first.
  [[nodiscard]] int SetString(const char* text, int32_t length);
  [[nodiscard]] int SetString(const char* text, int16_t length);
  [[nodiscard]] int SetString(const char* text);
  [[nodiscard]] int SetString(const String& other);

  // Appends text up to its NUL, dropping its trailing blanks. On failure the
  // string is unchanged. A null text appends nothing and succeeds.
  [[nodiscard]] int Concatenate(const char* text);
  [[nodiscard]] int Concatenate(const String& other);
  // Appends exactly n bytes of bytes, trailing blanks and any NUL bytes
  // included (converted values keep every byte). On failure the string is
  // unchanged.
  [[nodiscard]] int Append(const char* bytes, uint32_t n);

  uint32_t Length() const { return length_; }
  // The NUL-terminated text, or null for a string never assigned.
  const char* Text() const { return text_; }
  // The text, or "" for a string never assigned.
  const char* TextOrEmpty() const { return text_ ? text_ : ""; }

 private:
  uint32_t length_ = 0;
  char* text_ = nullptr;
};

#endif
