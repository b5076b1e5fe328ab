// Reliability of a whole application conversation (tests/odbc/conversation.h):
// replies a hostile peer sent, every allocation failing in turn, and the
// connection cut at every byte of every reply, reset, or gone silent.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "base/Alloc.h"
#include "odbc/conversation.h"

namespace {

long PeakKilobytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// The server's whole side of a conversation and the lines the application
// saw from the execution on; the streams also seed the conversation fuzz
// corpus.
struct Hostile {
  const char* name;
  const char* stream;
  const char* seen;
};
const Hostile kHostile[] = {
    {"a declared CHAR length sizes nothing",
     "00001f00000000000100560000000000000000000000000000000000000000000000000000060000000000070000001c0000000000010001"
     "0061f0ffffff01000000000000000000010074010000000d00000000000100010000020000007800",
     "exec 0|cols 0|describe 0|unbind 0|bind 0|fetch 1 01004:1041|unbind 0|fetch -1 08S01:3047|drop 0|disc 1 "
     "01002:3047|freec 0|freee 0|"},
    {"a column named twice",
     "00001f0000000000010056000000000000000000000000000000000000000000000000000006000000000007000000340000000000020001"
     "00610400000001000000000000000000010074040000000100620400000001000000000000000000010074040000001a0000000000020002"
     "000004000000010000000200000400000002000000",
     "exec 0|cols 0|describe 0|describe 0|unbind 0|bind 0|fetch -1 08S01:3047|drop 0|disc 1 01002:3047|freec 0|freee "
     "0|"},
    {"a column the result set lacks",
     "00001f0000000000010056000000000000000000000000000000000000000000000000000006000000000007000000340000000000020001"
     "00610400000001000000000000000000010074040000000100620400000001000000000000000000010074040000001a0000000000020001"
     "000004000000010000000300000400000002000000",
     "exec 0|cols 0|describe 0|describe 0|unbind 0|bind 0|fetch -1 08S01:3047|drop 0|disc 1 01002:3047|freec 0|freee "
     "0|"},
};

TEST(Reliability, HostileRepliesAreCommunicationFailures) {
  for (const Hostile& h : kHostile) {
    const long before = PeakKilobytes();
    ScriptedPeer peer(FromHex(h.stream), PeerEnd::kClose);
    Conversation c;
    c.Run(peer.Port());
    EXPECT_EQ(c.Text().substr(c.Text().find("exec")), h.seen) << h.name;
    EXPECT_LT(PeakKilobytes() - before, 256 * 1024) << h.name;  // a few kilobytes arrived
  }
}

}  // namespace
