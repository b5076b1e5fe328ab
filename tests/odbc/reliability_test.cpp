// Reliability of a whole application conversation (tests/odbc/conversation.h):
// every allocation failing in turn, and the connection cut at every byte
// of every reply, reset, or gone silent. (Hostile replies: the corpus of
// conversation_fuzz.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/Alloc.h"
#include "odbc/conversation.h"
#include "protocol/WireNumbers.h"
#include "support/velora_server.h"

namespace {

// A conversation with the peer at port, compared with reference.
Conversation Converse(const std::string& port, const std::vector<std::string>* reference, int queryTimeout = 0,
                      bool probe = false, const std::string& extra = "", bool odbc3 = false) {
  Conversation c;
  c.extra = extra, c.odbc3 = odbc3, c.reference = reference, c.queryTimeout = queryTimeout, c.probe = probe;
  c.closeCatalogs = extra.find("TLS") != std::string::npos;  // the TLS sweeps talk to a real server
  c.Run(port);
  return c;
}

// The rows of e in the real server's SQLite database ("a b|" each, by id),
// then e set back to the two rows the conversation's cursor reads.
std::string RowsOfE(const std::string& db) {
  FILE* f = popen(("sqlite3 -cmd \".timeout 5000\" " + db +
                   " \"CREATE TABLE IF NOT EXISTS e (id INTEGER PRIMARY KEY, a, b); SELECT a "
                   "|| ' ' || b || '|' FROM e ORDER BY id; DELETE FROM e; INSERT INTO e VALUES (1, 'one', 'one'), "
                   "(2, 'two', 'two')\"")
                      .c_str(),
                  "r");
  std::string rows;
  for (int ch; (ch = fgetc(f)) != EOF;) rows += ch == '\n' ? "" : std::string(1, char(ch));
  return pclose(f), rows;
}

// Every handle was freed, and the conversation left its reference only
// with one of states: at the line where it left or while freeing handles.
// A failure may be absorbed, or lose only a record (the result stands).
void ExpectLeftWith(const Conversation& c, std::initializer_list<const char*> states, const std::string& what) {
  const std::string text = c.Text();
  for (const char* wrong : {"freec -", "freee -", "freec 1", "freee 1", "login state", "probe -", "handle left"})
    EXPECT_EQ(text.find(wrong), std::string::npos) << what << ": " << text;
  const auto result = [](const std::string& l) { return l.substr(0, l.find(' ', l.find(' ') + 1)); };
  const size_t left = size_t(c.left);
  if (c.lines == *c.reference || (c.left >= 0 && result((*c.reference)[left]) == result(c.lines[left]))) return;
  const std::string line = (c.left >= 0 ? c.lines[left] : text) + "|";
  const auto found = [&](const char* s) { return line.find(s) != std::string::npos; };
  EXPECT_TRUE(std::any_of(states.begin(), states.end(), found)) << what << ": " << line;
}

// Every allocation of the conversation fails in turn, alone (its call
// reports it) and with all after it (reporting may fail too); the handles
// work afterwards and are freed without a leak (AddressSanitizer). At
// least least allocations are reached each way (a counter that stopped
// counting would pass vacuously). Against the scripted peer, whose sets
// all succeed, the array's statuses stay true: no more sets succeeded
// ("0") than the peer ran, no more failed or went unused ("5", "7") than
// it did not (the others' outcomes are unknown, "1").
// With odbc3, through the ODBC 3.x calls (records in their 3.x form).
void SweepAllocations(const std::string& port, long least, const std::string& tls = "", bool odbc3 = false,
                      const ScriptedPeer* peer = nullptr, const std::string& db = "") {
  // Over TLS, with db: a real server's database, whose rows are checked after each run: the rows the cursor
  // wrote are there wholly or not at all, the row added at most once.
  if (!db.empty()) RowsOfE(db);
  const std::vector<std::string> reference = Converse(port, nullptr, 0, false, tls, odbc3).lines;
  const std::string wrote = db.empty() ? "" : RowsOfE(db), whole[] = {"one one|two two|", "one one|new new|", wrote};
  EXPECT_TRUE(db.empty() || wrote == "one one|new new|add0 add0|") << wrote;
  const auto update = std::find(reference.begin(), reference.end(), "update 0") - reference.begin();
  for (int mode = 0; mode < (tls.empty() ? 2 : 1); ++mode) {  // over TLS: failing alone
    const bool once = mode == 0;
    long n = 0;
    for (bool reached = true; reached && n < 20000; ++n) {
      const unsigned long before = AllocCount();
      const int ranBefore = peer ? peer->RanSets() : 0;
      once ? SetAllocFailOnce(n) : SetAllocFailAfter(n);
      Conversation c = Converse(port, &reference, 0, true, tls, odbc3);  // probing
      ResetAllocFailure();
      const std::string text = c.Text();
      const std::string rows = db.empty() || (c.left >= 0 && c.left < update) ? "" : RowsOfE(db);  // e written?
      EXPECT_TRUE(rows.empty() || std::count(whole, std::end(whole), rows)) << n << ": " << rows << " after " << text;
      if (peer && odbc3 && text.find("|array/") != std::string::npos) {
        const std::string st = text.substr(text.find("|array/") + 9, 3);  // "array/3/000"
        const long ran = peer->RanSets() - ranBefore, unknown = std::count(st.begin(), st.end(), '1');
        const long succeeded = std::count(st.begin(), st.end(), '0');
        EXPECT_TRUE(succeeded <= ran && ran <= succeeded + unknown) << "allocation " << n << ": " << text;
      }
      reached = once ? AllocCount() - before > static_cast<unsigned long>(n) : c.left >= 0;
      const std::string what = "allocation " + std::to_string(n) + (once ? " alone" : " on") + tls;
      if (reached) {
        ExpectLeftWith(c,
                       {odbc3 ? " HY001:3008" : " S1001:3008", odbc3 ? " HY000:3008" : " S1000:3008", "env -1|",
                        once ? ":3008" : " -1|"},
                       what);
      }
    }
    std::printf("allocations reached (%s%s): %ld\n", once ? "alone" : "on", tls.c_str(), n - 1);
    EXPECT_GE(n - 1, least) << (once ? "alone" : "on");
  }
}

TEST(Reliability, EveryAllocationFailureIsReported) {
  ScriptedPeer fake;
  SweepAllocations(fake.Port(), 1500, "", false, &fake);  // 2228 alone, 2222 on
  SweepAllocations(fake.Port(), 1500, "", true, &fake);
}

// So also over TLS at a real server (whose answers are its own).
TEST(Reliability, EveryAllocationFailureOverTlsIsReported) {
  VeloraServer velora;
  const std::string stem = velora.Folder() + "/cert";
  ASSERT_TRUE(MakeTestCertificate(stem, "localhost"));
  ASSERT_TRUE(velora.Start({"--tls-cert", stem + ".pem", "--tls-key", stem + ".key"})) << velora.Error();
  SweepAllocations(velora.PortText(), 800, ";TLS=require", false, nullptr, velora.Location());  // 1301
}

// The peer plays the reference stream cut at every byte offset and then
// closes or resets the connection, or falls silent under a query timeout:
// the first call that cannot be answered fails with 08S01, also when
// lost connections are made again (never the call that was cut).
TEST(Reliability, EveryCutIsACommunicationFailure) {
  ScriptedPeer answering;
  const std::vector<std::string> reference = Converse(answering.Port(), nullptr).lines;
  const std::string stream = answering.Stop();
  ScriptedPeer answering3;  // the same requests through the ODBC 3.x calls
  const std::vector<std::string> reference3 = Converse(answering3.Port(), nullptr, 0, false, "", true).lines;
  for (PeerEnd end : {PeerEnd::kClose, PeerEnd::kReset}) {
    for (size_t k = 0; k < stream.size(); ++k) {
      ScriptedPeer peer(stream.substr(0, k), end);
      // Closed: through the ODBC 3.x calls as well.
      const bool odbc3 = end == PeerEnd::kClose && k % 2 == 1;
      // Reset: with the connection made again at the next idle call (it replays the stream).
      const char* retry = end == PeerEnd::kReset ? ";ConnectRetryCount=1" : "";
      const Conversation c = Converse(peer.Port(), odbc3 ? &reference3 : &reference, 0, false, retry, odbc3);
      ExpectLeftWith(c, {" 08S01:3047", " 08001:3047", " 01002:3047"}, "cut at " + std::to_string(k));
      EXPECT_EQ(c.Text().find("drop -"), std::string::npos) << "a lost server's statement is freed";
    }
    std::printf("byte offsets cut: %zu\n", stream.size());
  }
  // Silent from the start of the execution's reply, within the first
  // fetch's and within the first get-data reply (replies 2, 3 and 4), and
  // from the start of the replies to a statement's and a connection's
  // option.
  size_t at[5] = {2};
  for (int i = 1; i < 5; ++i) at[i] = at[i - 1] + 4 + FromLE(stream.substr(at[i - 1], 4));
  for (size_t k : {at[2], at[3] + 9, at[4] + 5, answering.ReplyStart(Msg::kSetMaxRows),
                   answering.ReplyStart(Msg::kSetAutocommit)}) {
    ScriptedPeer peer(stream.substr(0, k), PeerEnd::kSilent);
    ExpectLeftWith(Converse(peer.Port(), &reference, 1), {" 08S01:3047"}, "silent at " + std::to_string(k));
  }
}

// A server's whole side that once answered the freeing of the statement
// with -1280, which reached the application: the call fails with "08S01",
// and every line has one of ODBC's codes. (Recorded before the
// conversation ended with an array.)
TEST(Reliability, ReplyCodeNoneOfOdbcsIsACommunicationFailure) {
  std::ifstream in(VEL_CONVERSATION_CORPUS "/dfe2598fca414dd08411837ca2306dd690893c7f", std::ios::binary);
  ScriptedPeer peer(std::string(std::istreambuf_iterator<char>(in), {}), PeerEnd::kClose);
  Conversation c;
  c.array = false;
  c.Run(peer.Port());
  EXPECT_NE(c.Text().find("|drop -1 08S01:3047|"), std::string::npos) << c.Text();
  for (const std::string& line : c.lines) EXPECT_TRUE(IsOdbcCode(LineCode(line))) << line;
}

}  // namespace
