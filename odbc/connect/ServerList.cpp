// Reading a data source's list of servers and reporting their failures.
#include "odbc/connect/ServerList.h"

#include <cstdio>
#include <cstring>

namespace {

// Copies length characters of text into buffer of size bytes, cut to fit.
void CopyCut(const char* text, size_t length, char* buffer, size_t size) {
  if (length >= size) length = size - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

bool IsSpace(char ch) { return ch == ' ' || ch == '\t'; }

// Reads one entry of length characters (spaces trimmed already).
void ParseEntry(const char* text, size_t length, const char* service, ServerEntry* entry) {
  const char* port = nullptr;
  size_t hostLength = length;
  if (text[0] == '[') {
    // "[IPv6]" or "[IPv6]:port": the brackets stay with the host, which
    // the socket layer reads either way.
    const char* close = static_cast<const char*>(std::memchr(text, ']', length));
    if (close && close + 1 < text + length && close[1] == ':') {
      hostLength = static_cast<size_t>(close + 1 - text);
      port = close + 2;
    }
  } else {
    const char* colon = static_cast<const char*>(std::memchr(text, ':', length));
    // A second colon makes it a bare IPv6 address, which has no port.
    if (colon && !std::memchr(colon + 1, ':', static_cast<size_t>(text + length - colon - 1))) {
      hostLength = static_cast<size_t>(colon - text);
      port = colon + 1;
    }
  }
  CopyCut(text, hostLength, entry->host, sizeof entry->host);
  if (port != nullptr && port < text + length) {
    CopyCut(port, static_cast<size_t>(text + length - port), entry->service, sizeof entry->service);
  } else {
    CopyCut(service, std::strlen(service), entry->service, sizeof entry->service);
  }
}

}  // namespace

void ParseServerList(const char* list, const char* service, ServerList* out) {
  out->count = 0;
  const char* at = list;
  while (*at != '\0' && out->count < kMaxServers) {
    const char* end = std::strchr(at, ',');
    if (end == nullptr) end = at + std::strlen(at);
    const char* first = at;
    const char* last = end;
    while (first < last && IsSpace(*first)) ++first;
    while (last > first && IsSpace(last[-1])) --last;
    if (last > first) {
      ParseEntry(first, static_cast<size_t>(last - first), service, &out->entries[out->count++]);
    }
    at = *end == ',' ? end + 1 : end;
  }
  if (out->count == 0) ParseEntry("unknown", 7, service, &out->entries[out->count++]);
}

void ShuffleServers(ServerList* list, uint64_t seed) {
  uint64_t state = seed | 1;
  for (int i = list->count - 1; i > 0; --i) {
    // xorshift64: no library state, no allocation.
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const int j = static_cast<int>(state % static_cast<uint64_t>(i + 1));
    const ServerEntry kept = list->entries[i];
    list->entries[i] = list->entries[j];
    list->entries[j] = kept;
  }
}

void AppendServerReason(char* buffer, const ServerEntry& entry, const char* reason, int count) {
  const size_t used = std::strlen(buffer);
  const size_t share = kServerReasonsSize / static_cast<size_t>(count > 0 ? count : 1);
  const size_t room = kServerReasonsSize - used;
  if (room <= 4) return;
  char one[kServerReasonsSize];
  int n = std::snprintf(one, sizeof one, "%s%s:%s: %s", used ? "; " : "", entry.host, entry.service,
                        reason);
  size_t length = n < 0 ? 0 : static_cast<size_t>(n);
  size_t limit = share < room ? share : room;
  if (limit < 24 && room > 24) limit = 24;  // a host name at least, when there is room
  if (length >= limit) {
    length = limit - 4;
    std::memcpy(one + length, "...", 4);
    length += 3;
  }
  std::memcpy(buffer + used, one, length + 1);
}
