#include "base/String.h"

#include <sql.h>

#include <cstring>

#include "base/Check.h"
#include "base/Trace.h"

namespace {
uint32_t WithoutTrailingBlanks(const char* text, uint32_t n) {
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}
}  // namespace

String::~String() { VelFree(text_); }

void String::Clear() {
  VelFree(text_);
  text_ = nullptr;
  length_ = 0;
}

int String::SetString(const char* text, int32_t length) {
  Clear();
  uint32_t n;
  if (text == nullptr || length == SQL_NULL_DATA) {
    n = 0;
  } else if (length == SQL_NTS) {
    n = static_cast<uint32_t>(std::strlen(text));
  } else if (length < 0) {
    n = 0;
  } else {
    n = static_cast<uint32_t>(length);
  }
  if (n > 0) n = WithoutTrailingBlanks(text, n);
  char* block = static_cast<char*>(VelAlloc(static_cast<std::size_t>(n) + 1));
  if (block == nullptr) {
    Trace('X', 2, "String::SetString() failed, line=%d, alloc=%u", 65, n + 1);
    return 0;
  }
  if (n > 0) std::memcpy(block, text, n);
  block[n] = '\0';
  text_ = block;
  length_ = n;
  return 1;
}

int String::SetString(const char* text, int16_t length) {
  return SetString(text, static_cast<int32_t>(length));
}

int String::SetString(const char* text) { return SetString(text, static_cast<int32_t>(SQL_NTS)); }

int String::SetString(const String& other) {
  if (&other == this) return 1;
  if (other.text_ == nullptr) return SetString(static_cast<const char*>(nullptr), 0);
  return SetString(other.text_, static_cast<int32_t>(other.length_));
}

int String::Concatenate(const char* text) {
  if (text == nullptr) return 1;
  return Append(text, WithoutTrailingBlanks(text, static_cast<uint32_t>(std::strlen(text))));
}

int String::Append(const char* text, uint32_t n) {
  std::size_t total = static_cast<std::size_t>(length_) + n + 1;
  char* block = static_cast<char*>(VelAlloc(total));
  if (block == nullptr) {
    Trace('X', 2, "String::Concatenate() failed, line=%d, alloc=%u", 127,
          static_cast<unsigned>(total));
    return 0;
  }
  if (length_ > 0) {
    VEL_CHECK_TEXT(text_ != nullptr, "text != 0", VEL_MODULE);
    std::memcpy(block, text_, length_);
  }
  if (n > 0) std::memcpy(block + length_, text, n);
  block[length_ + n] = '\0';
  VelFree(text_);
  text_ = block;
  length_ += n;
  return 1;
}

int String::Concatenate(const String& other) { return Concatenate(other.text_); }
