// Log lines and frame dumps.
#include "server/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace velsrv {

namespace {
std::mutex gLogMutex;
int gVerbosity = 0;
bool gFrameTrace = false;
}  // namespace

void SetLogVerbosity(int level) { gVerbosity = level; }
void SetFrameTrace(bool on) { gFrameTrace = on; }
bool FrameTrace() { return gFrameTrace; }

void Log(int level, const char* format, ...) {
  if (level > gVerbosity) return;
  char line[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  // Texts from clients (user and data source names, SQL messages) end up
  // in the line: control characters are shown as "?", so that one entry
  // stays one line and cannot pass for another.
  for (char* p = line; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) *p = '?';
  std::lock_guard<std::mutex> lock(gLogMutex);
  std::fprintf(stderr, "velora-server: %s\n", line);
}

void LogFrame(const char* title, const uint8_t* bytes, size_t count) {
  if (!gFrameTrace) return;
  std::lock_guard<std::mutex> lock(gLogMutex);
  std::fprintf(stderr, "velora-server: %s (%zu bytes)\n", title, count);
  for (size_t row = 0; row < count; row += 16) {
    char hex[16 * 3 + 1] = {};
    char text[17] = {};
    for (size_t i = 0; i < 16 && row + i < count; ++i) {
      std::snprintf(hex + 3 * i, 4, "%02X ", bytes[row + i]);
      uint8_t c = bytes[row + i];
      text[i] = (c >= 32 && c < 127) ? static_cast<char>(c) : '.';
    }
    std::fprintf(stderr, "  %08zx  %-48s %s\n", row, hex, text);
  }
}

}  // namespace velsrv
