// libFuzzer target: arbitrary bytes as the server's whole side (greeting
// status, then the replies) of a conversation that logs in, runs every
// kind of call and frees every handle (odbc/conversation.h). Nothing may
// crash, leak or hang, whatever the replies say.
#include "odbc/conversation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedPeer peer(std::string(reinterpret_cast<const char*>(data), size), PeerEnd::kClose);
  Conversation c;
  c.stop = false;
  c.Run(peer.Port());
  return 0;
}
