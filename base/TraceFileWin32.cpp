// The trace file on Windows: "N" keeps it from programs the application
// starts; the C library shares it for reading and writing.
#include "base/Trace.h"

FILE* OpenTraceFile(const char* path) { return std::fopen(path, "aN"); }
