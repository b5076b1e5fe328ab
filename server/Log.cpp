// Log lines and frame dumps.
#include "server/Log.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace velsrv {

namespace {
std::mutex gLogMutex;
int gVerbosity = 0;
bool gFrameTrace = false;
// The journal stamps each line itself: systemd names the stream it gave
// as standard error in JOURNAL_STREAM ("device:inode"). Anywhere else a
// line starts with the local time.
bool UnderJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  struct stat st {};
  unsigned long long dev = 0, ino = 0;
  return stream && std::sscanf(stream, "%llu:%llu", &dev, &ino) == 2 && fstat(2, &st) == 0 &&
         st.st_dev == dev && st.st_ino == ino;
}

const bool gStamped = !UnderJournal();

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
  char stamp[40] = "";
  if (gStamped) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03ld ", now.tv_nsec / 1000000);
  }
  std::lock_guard<std::mutex> lock(gLogMutex);
  std::fprintf(stderr, "%svelora-server: %s\n", stamp, line);
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
