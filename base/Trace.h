// The trace log: one line per event, selected per category letter and
// level, written to the file named by "LogFile" in section "Debug" of the
// driver's settings file.
#ifndef VELORA_BASE_TRACE_H
#define VELORA_BASE_TRACE_H

#include <cstdio>

// True when a trace file is open, letter is 'A'..'Z' and that letter's
// level is at least level.
bool TraceEnabled(char letter, int level);
// Writes "(%5d) %c%d: %s\n" with the formatted message (cut at 1023
// characters) when TraceEnabled(letter, level).
void Trace(char letter, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
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
int TraceLevel(char letter);

#endif
