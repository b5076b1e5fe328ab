// Connection-string pairs and output buffers.
#include "odbc/connect/ConnectString.h"

#include <strings.h>

#include <cstring>

#include "base/Alloc.h"
#include "base/String.h"
#include "base/Trace.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Characters that give a value a meaning beyond its text.
bool NeedsBraces(const char* value) {
  const std::size_t n = std::strlen(value);
  if (n > 0 && (IsSpace(value[0]) || IsSpace(value[n - 1]))) return true;
  return std::strpbrk(value, ";{}=[](),?*!@") != nullptr;
}

}  // namespace

bool NextConnectPair(const char* text, uint32_t length, uint32_t* at, ConnectPair* pair) {
  if (!text) return false;
  uint32_t i = *at;
  while (i < length) {
    while (i < length && IsSpace(text[i])) ++i;
    const uint32_t keyStart = i;
    while (i < length && text[i] != '=' && text[i] != ';') ++i;
    if (i >= length || text[i] == ';') {  // no "=": not a pair
      ++i;
      continue;
    }
    uint32_t keyEnd = i;
    while (keyEnd > keyStart && IsSpace(text[keyEnd - 1])) --keyEnd;
    ++i;  // the "="
    uint32_t v = i;
    while (v < length && IsSpace(text[v])) ++v;
    if (v < length && text[v] == '{') {
      ++v;
      uint32_t end = v;
      while (end < length && !(text[end] == '}' && !(end + 1 < length && text[end + 1] == '}'))) {
        end += text[end] == '}' ? 2 : 1;
      }
      pair->value = text + v;
      pair->valueLength = (end < length ? end : length) - v;
      pair->braced = true;
      // Whatever follows the closing brace up to the next ";" is ignored.
      i = end;
      while (i < length && text[i] != ';') ++i;
    } else {
      pair->value = text + i;
      while (i < length && text[i] != ';') ++i;
      pair->valueLength = static_cast<uint32_t>(text + i - pair->value);
      pair->braced = false;
    }
    if (i < length) ++i;  // the ";"
    if (keyEnd == keyStart) continue;
    pair->key = text + keyStart;
    pair->keyLength = keyEnd - keyStart;
    *at = i;
    return true;
  }
  *at = length;
  return false;
}

bool FindConnectKey(const char* text, uint32_t length, const char* key, ConnectPair* pair) {
  const std::size_t keyLength = std::strlen(key);
  uint32_t at = 0;
  while (NextConnectPair(text, length, &at, pair)) {
    if (pair->keyLength == keyLength && strncasecmp(pair->key, key, keyLength) == 0) return true;
  }
  return false;
}

void CopyPairValue(const ConnectPair& pair, char* buffer, uint32_t size) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < pair.valueLength && n + 1 < size; ++i) {
    buffer[n++] = pair.value[i];
    if (pair.braced && pair.value[i] == '}') ++i;  // "}}" is one "}"
  }
  buffer[n] = '\0';
}

bool CopyConnectValue(const char* text, uint32_t length, const char* key, char* buffer,
                      uint32_t size) {
  ConnectPair pair;
  if (size == 0 || !FindConnectKey(text, length, key, &pair)) return false;
  CopyPairValue(pair, buffer, size);
  return true;
}

int SetPairValue(const ConnectPair& pair, String* out) {
  char* text = static_cast<char*>(VelAlloc(pair.valueLength + 1));
  if (!text) return 0;
  CopyPairValue(pair, text, pair.valueLength + 1);
  const int ok = out->SetString(text);
  VelFree(text);
  return ok;
}

int AppendConnectPair(String* out, const char* key, const char* value, bool braces) {
  if ((out->Length() > 0 && !out->Concatenate(";")) || !out->Concatenate(key) ||
      !out->Concatenate("=")) {
    return 0;
  }
  if (!braces && !NeedsBraces(value)) return out->Concatenate(value);
  // Built whole, so that the closing brace keeps blanks at the value's end.
  std::size_t n = 2;
  for (const char* p = value; *p; ++p) n += *p == '}' ? 2 : 1;
  char* braced = static_cast<char*>(VelAlloc(n + 1));
  if (!braced) return 0;
  char* q = braced;
  *q++ = '{';
  for (const char* p = value; *p; ++p) {
    *q++ = *p;
    if (*p == '}') *q++ = '}';
  }
  *q++ = '}';
  *q = '\0';
  const int ok = out->Concatenate(braced);
  VelFree(braced);
  return ok;
}

int SetMaskedConnectString(const char* text, uint32_t length, String* out) {
  // "PWD=" of 4 characters becomes "PWD=****": at most twice as long.
  char* masked = static_cast<char*>(VelAlloc(2 * static_cast<std::size_t>(length) + 1));
  if (!masked) return 0;
  std::size_t n = 0;
  uint32_t copied = 0, at = 0;
  ConnectPair pair;
  while (NextConnectPair(text, length, &at, &pair)) {
    if (pair.keyLength != 3 || strncasecmp(pair.key, "PWD", 3) != 0) continue;
    const char* equals = static_cast<const char*>(
        std::memchr(pair.key, '=', length - static_cast<uint32_t>(pair.key - text)));
    const uint32_t start = static_cast<uint32_t>(equals + 1 - text);
    uint32_t end = at;
    if (end > start && text[end - 1] == ';') --end;
    std::memcpy(masked + n, text + copied, start - copied);
    n += start - copied;
    std::memcpy(masked + n, "****", 4);
    n += 4;
    copied = end;
  }
  if (length > copied) std::memcpy(masked + n, text + copied, length - copied);
  n += length - copied;
  const int ok = out->SetString(masked, static_cast<int32_t>(n));
  VelFree(masked);
  return ok;
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

void TraceMaskedConnectString(const char* head, const char* text, uint32_t length) {
  if (!TraceEnabled('A', 2)) return;
  String shown;
  const bool masked = SetMaskedConnectString(text, length, &shown);
  Trace('A', 2, "%s[%s]", head, masked ? shown.TextOrEmpty() : "<no memory to show>");
}
