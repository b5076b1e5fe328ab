// The trace log: one line per event, selected per category letter and
// level, written to the file named by "LogFile" in section "Debug" of the
// driver's settings file.
#ifndef VELORA_BASE_TRACE_H
#define VELORA_BASE_TRACE_H

#include <atomic>
#include <cstdio>

namespace trace_state {
// Read without a lock by every level test; written (and the file written
// to) only by Trace.cpp under its lock.
extern std::atomic<FILE*> file;
extern std::atomic<signed char> levels[26];
}  // namespace trace_state

// True when a trace file is open, letter is 'A'..'Z' and that letter's
// level is at least level. Inline: every entry point asks it several
// times a call, with tracing nearly always off.
inline bool TraceEnabled(char letter, int level) {
  if (trace_state::file.load(std::memory_order_relaxed) == nullptr || letter < 'A' ||
      letter > 'Z') {
    return false;
  }
  return trace_state::levels[letter - 'A'].load(std::memory_order_relaxed) >= level;
}
// Writes "(%5d) %c%d: %s\n" with the formatted message (cut at 1023
// characters) when TraceEnabled(letter, level).
void TraceLine(char letter, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Trace(letter, level, format, ...): TraceLine behind the inline level
// test, so that a call with tracing off neither calls nor formats
// anything. letter and level are constants at every use.
#define Trace(letter, level, ...) \
  (TraceEnabled(letter, level) ? TraceLine(letter, level, __VA_ARGS__) : (void)0)
// " name=\"value\"", the value cut at 80 characters with "...".
void TraceString(char letter, int level, const char* name, const char* value);
// Hex dump of count bytes when a trace file is open (callers test levels).
void TraceDump(const char* title, const void* bytes, unsigned long count);

// Opens path for appending in text mode, not inherited by programs the
// application starts (TraceFilePosix.cpp, TraceFileWin32.cpp); null when
// it cannot be opened.
FILE* OpenTraceFile(const char* path);
// Reads "LogFile" and "LogMode" and starts tracing.
void OpenTrace();
// Parses mode, closes any open file and installs file (may be null); writes
// the header when mode is not empty and a file is installed.
void SetTraceMode(const char* mode, FILE* file);
// Writes the closing line and closes the file; tracing stays off after it.
void CloseTrace();
bool TraceIsOpen();

#endif
