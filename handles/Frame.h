// The frame every exported ODBC function runs: entry trace, handle lookup,
// clearing of old diagnostics, worker, return-code trace.
#ifndef VELORA_HANDLES_FRAME_H
#define VELORA_HANDLES_FRAME_H

#include <cstdint>

// Marks a function as one of the library's exports (C linkage, visible).
#define VEL_EXPORT extern "C" __attribute__((visibility("default")))

class Environment;
class Connection;
class Statement;

// Steps 2 and 3 of the frame: the live object behind the handle with its
// diagnostics cleared, or null (the entry point then returns
// TraceReturnCode(SQL_INVALID_HANDLE) and touches nothing).
Environment* FindAndClearEnvironment(const void* henv);
Connection* FindAndClearConnection(const void* hdbc);
Statement* FindAndClearStatement(const void* hstmt);

// A handle as the trace shows it with "0x%08lx".
inline unsigned long HandleValue(const void* handle) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle));
}

// Traces " name=[value]" (A, 2). A null value shows "<null>", a length of
// SQL_NULL_DATA "<null data>"; SQL_NTS means the value ends at its NUL;
// longer values than 80 characters show their first 80 and "...". Other
// negative lengths show "<invalid length N>" without reading the value.
void TraceArgument(const char* name, const char* value, int32_t length);

// Traces "Return code: NAME\n" (A, 2) and returns rc unchanged.
int TraceReturnCode(int rc);

#endif
