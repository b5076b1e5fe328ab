// Connection-string keys and output buffers.
#include "odbc/ConnectString.h"

#include <cctype>
#include <cstring>

namespace {

bool SameText(const char* a, const char* b, uint32_t n, bool anyCase) {
  if (!anyCase) return std::memcmp(a, b, n) == 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool FindKey(const char* text, uint32_t length, const char* key, const char** value,
             uint32_t* valueLength, bool anyCase) {
  if (!text) return false;
  const uint32_t keyLength = static_cast<uint32_t>(std::strlen(key));
  if (keyLength == 0 || keyLength > length) return false;
  for (uint32_t at = 0; at + keyLength <= length; ++at) {
    if (!SameText(text + at, key, keyLength, anyCase)) continue;
    const char* start = text + at + keyLength;
    uint32_t n = 0;
    while (at + keyLength + n < length && start[n] != ';') ++n;
    *value = start;
    *valueLength = n;
    return true;
  }
  return false;
}

}  // namespace

bool FindConnectKey(const char* text, uint32_t length, const char* key, const char** value,
                    uint32_t* valueLength) {
  return FindKey(text, length, key, value, valueLength, false);
}

bool FindConnectKeyAnyCase(const char* text, uint32_t length, const char* key, const char** value,
                           uint32_t* valueLength) {
  return FindKey(text, length, key, value, valueLength, true);
}

bool CopyConnectValue(const char* text, uint32_t length, const char* key, char* buffer,
                      uint32_t size) {
  const char* value;
  uint32_t n;
  if (size == 0 || !FindConnectKey(text, length, key, &value, &n)) return false;
  if (n > size - 1) n = size - 1;
  std::memcpy(buffer, value, n);
  buffer[n] = '\0';
  return true;
}

bool CopyOutput(const char* text, uint32_t length, char* buffer, long size) {
  if (static_cast<long>(length) < size) {
    if (buffer) {
      if (length) std::memcpy(buffer, text, length);
      buffer[length] = '\0';
    }
    return true;
  }
  if (buffer && size > 0) {
    std::memcpy(buffer, text, static_cast<std::size_t>(size - 1));
    buffer[size - 1] = '\0';
  }
  return false;
}
