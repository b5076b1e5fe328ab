#include "base/Trace.h"

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "base/Lock.h"

// Written only under TraceLock(), so lines of concurrent calls never mix
// and the file is never closed under a writer.
std::atomic<FILE*> trace_state::file{nullptr};
std::atomic<signed char> trace_state::levels[26] = {};

namespace {
char g_streamBuffer[512];

struct TraceLockTag;
Lock& TraceLock() { return ProcessLock<TraceLockTag>(); }

const int kMessageBuffer = 1024;

void WriteLine(char letter, int level, const char* message) {
  LockGuard guard(TraceLock());
  FILE* file = trace_state::file.load(std::memory_order_relaxed);
  if (file == nullptr) return;  // closed since the level test
  if (message[0] == '\n') {
    std::fputc('\n', file);
    ++message;
  }
  std::fprintf(file, "(%5d) %c%d: %s\n", static_cast<int>(getpid()), letter, level, message);
  std::fflush(file);
}

// The current local time in the C library's ctime form, with its newline.
void LocalTime(char (&text)[64]) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  char buffer[64];
  const bool known = localtime_r(&now, &local) != nullptr && asctime_r(&local, buffer) != nullptr;
  std::snprintf(text, sizeof text, "%s", known ? buffer : "\n");
}

void SetLevels(signed char level) {
  for (std::atomic<signed char>& l : trace_state::levels) l.store(level, std::memory_order_relaxed);
}
}  // namespace

bool TraceIsOpen() { return trace_state::file.load(std::memory_order_relaxed) != nullptr; }

void TraceLine(char letter, int level, const char* format, ...) {
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
  LockGuard guard(TraceLock());
  FILE* file = trace_state::file.load(std::memory_order_relaxed);
  if (file == nullptr) return;
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  std::fprintf(file, "(%5d) %s\n", static_cast<int>(getpid()), title);
  std::fprintf(file, "buffer contains %d bytes of data\n", static_cast<int>(count));
  for (unsigned long o = 0; o < count; o += 16) {
    unsigned long row = count - o < 16 ? count - o : 16;
    std::fprintf(file, "%03lx:", o);
    for (unsigned long i = 0; i < row; ++i) std::fprintf(file, " %02x", p[o + i]);
    for (unsigned long i = row; i < 16; ++i) std::fputs("   ", file);
    std::fputs(" |", file);
    for (unsigned long i = 0; i < row; ++i) {
      unsigned char c = p[o + i];
      std::fputc(c >= 0x20 && c <= 0x7E ? c : '.', file);
    }
    for (unsigned long i = row; i < 16; ++i) std::fputc(' ', file);
    std::fputs("|\n", file);
  }
  std::fflush(file);
}

void SetTraceMode(const char* mode, FILE* file) {
  LockGuard guard(TraceLock());
  SetLevels(0);
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
      trace_state::levels[c - 'A'].store(static_cast<signed char>(level),
                                         std::memory_order_relaxed);
    } else if (c == '*') {
      SetLevels(static_cast<signed char>(level));
    }
  }
  FILE* old = trace_state::file.exchange(file);
  if (old != nullptr) std::fclose(old);
  if (mode[0] != '\0' && file != nullptr) {
    std::setvbuf(file, g_streamBuffer, _IOFBF, sizeof g_streamBuffer);
    char when[64];
    LocalTime(when);
    std::size_t n = std::strlen(when);
    if (n > 0 && when[n - 1] == '\n') when[n - 1] = '\0';
    std::fprintf(file, "\n** %s   Flags = [%s]\n\n", when, mode);
    std::fflush(file);
  }
}

void CloseTrace() {
  LockGuard guard(TraceLock());
  FILE* file = trace_state::file.exchange(nullptr);
  if (file == nullptr) return;
  char when[64];
  LocalTime(when);
  std::fprintf(file, "\n\nEnde: %s\n", when);
  std::fclose(file);
}
