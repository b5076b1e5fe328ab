// The trace file on POSIX: "e" closes it in programs the application
// starts.
#include "base/Trace.h"

FILE* OpenTraceFile(const char* path) { return std::fopen(path, "ae"); }
