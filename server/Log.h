// Server log lines on standard error, one per event, serialised between
// client threads.
#ifndef VELORA_SERVER_LOG_H
#define VELORA_SERVER_LOG_H

#include <cstddef>
#include <cstdint>

namespace velsrv {

// 0: connection starts and ends and failures; 1 (-v): every request.
void SetLogVerbosity(int level);
// The local time (not under the journal, which stamps lines itself),
// "velora-server: " and the formatted text, when level <= verbosity.
void Log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Hex dump of a frame (--trace-frames), titled.
void LogFrame(const char* title, const uint8_t* bytes, size_t count);
void SetFrameTrace(bool on);
bool FrameTrace();

}  // namespace velsrv

#endif
