#include "base/Profile.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Removes blanks and tabs around [*begin, *end).
void Trim(const char** begin, const char** end) {
  while (*begin < *end && (**begin == ' ' || **begin == '\t')) ++*begin;
  while (*end > *begin &&
         ((*end)[-1] == ' ' || (*end)[-1] == '\t' || (*end)[-1] == '\r' || (*end)[-1] == '\n'))
    --*end;
}

bool SameName(const char* a, std::size_t alen, const char* b) {
  return std::strlen(b) == alen && strncasecmp(a, b, alen) == 0;
}

// Finds the value; on success stores its bounds in line (a buffer of the
// caller's) and returns true.
bool FindValue(const char* section, const char* key, const char* fileName, char* line,
               std::size_t lineSize, const char** valueBegin, const char** valueEnd) {
  char path[4096];
  ProfilePath(fileName, path, sizeof path);
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  bool inSection = false;
  bool found = false;
  while (!found && std::fgets(line, static_cast<int>(lineSize), f) != nullptr) {
    std::size_t len = std::strlen(line);
    if (len == lineSize - 1 && line[len - 1] != '\n') {
      // A line longer than the buffer: skip its remainder.
      int c;
      while ((c = std::fgetc(f)) != EOF && c != '\n') {
      }
    }
    const char* b = line;
    const char* e = line + len;
    Trim(&b, &e);
    if (b == e || *b == ';' || *b == '#') continue;
    if (*b == '[') {
      const char* close = static_cast<const char*>(std::memchr(b, ']', e - b));
      if (close == nullptr) continue;
      const char* nb = b + 1;
      const char* ne = close;
      Trim(&nb, &ne);
      inSection = SameName(nb, ne - nb, section);
      continue;
    }
    if (!inSection) continue;
    const char* eq = static_cast<const char*>(std::memchr(b, '=', e - b));
    if (eq == nullptr) continue;
    const char* kb = b;
    const char* ke = eq;
    Trim(&kb, &ke);
    if (!SameName(kb, ke - kb, key)) continue;
    const char* vb = eq + 1;
    const char* ve = e;
    Trim(&vb, &ve);
    if (ve - vb >= 2 && ((*vb == '"' && ve[-1] == '"') || (*vb == '\'' && ve[-1] == '\''))) {
      ++vb;
      --ve;
    }
    *valueBegin = vb;
    *valueEnd = ve;
    found = true;
  }
  std::fclose(f);
  return found;
}
}  // namespace

const char* ProfilePath(const char* fileName, char* buffer, std::size_t size) {
  if (size == 0) return buffer;
  if (std::strchr(fileName, '/') == nullptr && strcasecmp(fileName, "velodbc.ini") == 0) {
    const char* env = std::getenv("VELODBC_INI");
    if (env != nullptr && env[0] != '\0') {
      std::snprintf(buffer, size, "%s", env);
    } else {
      std::snprintf(buffer, size, "/etc/velodbc.ini");
    }
  } else if (std::strchr(fileName, '/') == nullptr) {
    std::snprintf(buffer, size, "/etc/%s", fileName);
  } else {
    std::snprintf(buffer, size, "%s", fileName);
  }
  return buffer;
}

unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, unsigned size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  char line[1024];
  const char* vb = nullptr;
  const char* ve = nullptr;
  std::size_t n;
  if (section != nullptr && key != nullptr &&
      FindValue(section, key, fileName, line, sizeof line, &vb, &ve)) {
    n = static_cast<std::size_t>(ve - vb);
  } else {
    vb = defaultValue != nullptr ? defaultValue : "";
    n = std::strlen(vb);
  }
  if (n > size - 1) n = size - 1;
  std::memmove(buffer, vb, n);
  buffer[n] = '\0';
  return static_cast<unsigned>(n);
}

unsigned GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* fileName) {
  char value[64];
  char line[1024];
  const char* vb = nullptr;
  const char* ve = nullptr;
  if (!FindValue(section, key, fileName, line, sizeof line, &vb, &ve))
    return static_cast<unsigned>(defaultValue);
  std::size_t n = static_cast<std::size_t>(ve - vb);
  if (n >= sizeof value) n = sizeof value - 1;
  std::memcpy(value, vb, n);
  value[n] = '\0';
  return static_cast<unsigned>(std::atoi(value));
}
