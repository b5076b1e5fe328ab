#include "base/Trace.h"

#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <ctime>

namespace {
FILE* g_file = nullptr;
signed char g_levels[26] = {};
char g_streamBuffer[512];

const int kMessageBuffer = 1024;

void WriteLine(char letter, int level, const char* message) {
  if (message[0] == '\n') {
    std::fputc('\n', g_file);
    ++message;
  }
  std::fprintf(g_file, "(%5d) %c%d: %s\n", static_cast<int>(getpid()), letter, level, message);
  std::fflush(g_file);
}
}  // namespace

bool TraceEnabled(char letter, int level) {
  if (g_file == nullptr || letter < 'A' || letter > 'Z') return false;
  return g_levels[letter - 'A'] >= level;
}

int TraceLevel(char letter) {
  if (letter < 'A' || letter > 'Z') return 0;
  return g_levels[letter - 'A'];
}

bool TraceIsOpen() { return g_file != nullptr; }

void Trace(char letter, int level, const char* format, ...) {
  if (!TraceEnabled(letter, level)) return;
  // Long SQL texts and connection strings are cut at the buffer's end.
  char message[kMessageBuffer];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  WriteLine(letter, level, message);
}

void TraceString(char letter, int level, const char* name, const char* value) {
  if (!TraceEnabled(letter, level)) return;
  if (value == nullptr) {
    Trace(letter, level, " %s=\"%s\"", name, "<null>");
  } else if (std::strlen(value) <= 80) {
    Trace(letter, level, " %s=\"%s\"", name, value);
  } else {
    Trace(letter, level, " %s=\"%.80s...\"", name, value);
  }
}

void TraceDump(const char* title, const void* bytes, unsigned long count) {
  if (g_file == nullptr) return;
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  std::fprintf(g_file, "(%5d) %s\n", static_cast<int>(getpid()), title);
  std::fprintf(g_file, "buffer contains %d bytes of data\n", static_cast<int>(count));
  for (unsigned long o = 0; o < count; o += 16) {
    unsigned long row = count - o < 16 ? count - o : 16;
    std::fprintf(g_file, "%03lx:", o);
    for (unsigned long i = 0; i < row; ++i) std::fprintf(g_file, " %02x", p[o + i]);
    for (unsigned long i = row; i < 16; ++i) std::fputs("   ", g_file);
    std::fputs(" |", g_file);
    for (unsigned long i = 0; i < row; ++i) {
      unsigned char c = p[o + i];
      std::fputc(c >= 0x20 && c <= 0x7E ? c : '.', g_file);
    }
    for (unsigned long i = row; i < 16; ++i) std::fputc(' ', g_file);
    std::fputs("|\n", g_file);
  }
  std::fflush(g_file);
}

void SetTraceMode(const char* mode, FILE* file) {
  std::memset(g_levels, 0, sizeof g_levels);
  if (mode == nullptr) mode = "";
  const char* p = mode;
  while (*p != '\0') {
    char c = *p++;
    int level = 1;
    if (*p >= '0' && *p <= '9') {
      level = 0;
      while (*p >= '0' && *p <= '9') {
        level = level * 10 + (*p - '0');
        if (level > 127) level = 127;
        ++p;
      }
    }
    if (c >= 'A' && c <= 'Z') {
      g_levels[c - 'A'] = static_cast<signed char>(level);
    } else if (c == '*') {
      std::memset(g_levels, level, sizeof g_levels);
    }
  }
  if (g_file != nullptr) std::fclose(g_file);
  g_file = file;
  if (mode[0] != '\0' && g_file != nullptr) {
    std::setvbuf(g_file, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    std::time_t now = std::time(nullptr);
    char when[64];
    const char* text = std::ctime(&now);
    std::snprintf(when, sizeof when, "%s", text ? text : "");
    std::size_t n = std::strlen(when);
    if (n > 0 && when[n - 1] == '\n') when[n - 1] = '\0';
    std::fprintf(g_file, "\n** %s   Flags = [%s]\n\n", when, mode);
    std::fflush(g_file);
  }
}

void CloseTrace() {
  if (g_file == nullptr) return;
  std::time_t now = std::time(nullptr);
  const char* text = std::asctime(std::localtime(&now));
  std::fprintf(g_file, "\n\nEnde: %s\n", text ? text : "\n");
  std::fclose(g_file);
  g_file = nullptr;
}
