// libFuzzer target: arbitrary bytes as the server's whole side (greeting
// status, then the replies) of a conversation that logs in, runs every
// kind of call and frees every handle (odbc/conversation.h). Whatever the
// replies say, nothing crashes, leaks or hangs, every return code is one
// of ODBC's, every SQL_ERROR comes with a record, and what the driver
// holds stays within what arrived.
#include <sys/resource.h>

#include "odbc/conversation.h"
#include "support/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  ScriptedPeer peer(std::string(reinterpret_cast<const char*>(data), size), PeerEnd::kClose);
  Conversation c;
  c.Run(peer.Port());
  getrusage(RUSAGE_SELF, &after);
  if (after.ru_maxrss - before.ru_maxrss > 256 * 1024) __builtin_trap();
  for (const std::string& line : c.lines) {
    const int rc = LineCode(line);
    if (!IsOdbcCode(rc) || (rc == SQL_ERROR && line.find(':') == std::string::npos)) __builtin_trap();
  }
  return 0;
}
