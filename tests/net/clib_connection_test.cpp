// ClibConnection against a loopback peer: refusals, resets, a peer closing
// mid-block, end of stream, exact trace lines and the boxes shown.
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "base/Settings.h"
#include "net/ClibConnection.h"
#include "net/SocketErrors.h"
#include "support/capture.h"
#include "support/socket_io.h"

namespace {

void ShowFailure(const char* text) { VelMessageBox(nullptr, text, "VELODBC", kMbOk); }

// A connection whose failures are shown as boxes, as a driver connection's are.
struct BoxedConnection : ClibConnection {
  BoxedConnection() { SetFailureReporter(ShowFailure); }
  bool Open(const std::string& service) { return InitiateConnection("127.0.0.1", service.c_str()); }
};

// A loopback socket; listening unless asked not to (then connections to
// it are refused).
struct Peer {
  explicit Peer(bool listening = true) : fd(LoopbackSocket(&number, listening)) {}
  ~Peer() {
    close(accepted);
    close(fd);
  }
  // Closes the accepted connection, with a reset instead of an end if asked.
  void Close(bool reset = false) {
    linger l{1, 0};
    if (reset) setsockopt(accepted, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(accepted);
    accepted = -1;
  }
  void Send(const std::string& bytes) { send(accepted, bytes.data(), bytes.size(), 0); }
  std::string Receive(size_t count) {
    std::string out;
    return ReadExactly(accepted, count, &out), out;
  }
  uint16_t number = 0;
  int fd, accepted = -1;
  std::string port = std::to_string(number);
};

std::string N0(const std::string& text) { return TraceCapture::Line('N', 0, text); }

// A connection to a listening peer that has accepted it.
struct ConnectedTest : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(conn.Open(peer.port));
    peer.accepted = accept(peer.fd, nullptr, nullptr);
  }
  Peer peer;
  BoxedConnection conn;
};

// Each refusal is one trace line (two with the errno) and one box, and
// leaves no socket.
TEST(ClibConnectionTest, RefusalsAreTracedAndBoxedOnce) {
  Peer refusing(false);
  const std::string refused = "errno 10061: [10061] Connection refused";
  // clang-format off
  struct Row { const char* host; std::string service, trace, box; } rows[] = {
      {"127.0.0.1", refusing.port, N0("connect() failed.") + N0(" " + refused),
       "Unable to connect to host.\nHost 127.0.0.1, Service " + refusing.port + "\n" + refused},
      {"127.0.0.1", "0", N0("0: Invalid port number."), "0: Invalid port number."},
      {"127.0.0.1", "65536", N0("65536: Invalid port number."), "65536: Invalid port number."},
      {"255.255.255.255", "1", N0("255.255.255.255: Invalid host address."), "255.255.255.255: Invalid host address."},
      {"no-such-host.invalid", "1", N0("gethostbyname() failed."),
       "Unable to resolve host name:\nHost no-such-host.invalid not found in your HOSTS file."},
      {"127.0.0.1", "no-such-service-velora", N0("getservbyname() failed."),
       "Unable to resolve service name:\nService no-such-service-velora/tcp not found in your "
       "SERVICES file."},
  };
  // clang-format on
  for (const Row& r : rows) {
    TraceCapture trace("");
    BoxCapture boxes;
    BoxedConnection conn;
    EXPECT_FALSE(conn.InitiateConnection(r.host, r.service.c_str()));
    EXPECT_FALSE(conn.IsOpen());
    EXPECT_EQ(r.trace, trace.Text());
    EXPECT_EQ(std::vector<std::string>{r.box}, boxes.texts);
    EXPECT_EQ(std::vector<std::string>{"VELODBC"}, boxes.captions);
  }
  // A time limit does not turn a refusal into a time-out.
  BoxedConnection timed;
  timed.SetTimeout(5);
  EXPECT_FALSE(timed.InitiateConnection("127.0.0.1", refusing.port.c_str()));
  EXPECT_EQ(LastSocketError(), 10061);
}

// A peer listening on ::1 only is reached by its address, bare or in
// brackets, and by localhost when the resolver gives ::1 for it (the
// name's IPv4 address, tried first or after it, is refused).
TEST(ClibConnectionTest, EveryAddressOfTheServerIsTried) {
  int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  socklen_t size = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), size) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    close(fd);
    GTEST_SKIP() << "no IPv6 loopback";
  }
  addrinfo hints{}, *found = nullptr;
  hints.ai_family = AF_INET6;
  const bool localhostV6 = getaddrinfo("localhost", nullptr, &hints, &found) == 0;
  if (found) freeaddrinfo(found);
  for (const char* host : {"::1", "[::1]", "localhost"}) {
    ClibConnection conn;
    const bool expected = host[0] != 'l' || localhostV6;
    EXPECT_EQ(conn.InitiateConnection(host, std::to_string(ntohs(a.sin6_port)).c_str()), expected) << host;
    if (expected) close(accept(fd, nullptr, nullptr));
  }
  close(fd);
}

TEST_F(ConnectedTest, WriteAndReadExactBlocksWithTraceAndDumps) {
  conn.ReleaseConnection();
  EXPECT_EQ(SocketState::kClosed, conn.State());
  TraceCapture trace("N3");
  BoxCapture boxes;
  ASSERT_TRUE(conn.Open(peer.port + "abc"));  // digits followed by letters: the digits
  EXPECT_EQ(SocketState::kOpen, conn.State());
  peer.accepted = accept(peer.fd, nullptr, nullptr);
  EXPECT_TRUE(conn.Write("hello", 5));
  EXPECT_EQ("hello", peer.Receive(5));
  peer.Send("world!");
  char buf[6];
  EXPECT_TRUE(conn.Read(buf, 6));
  EXPECT_EQ("world!", std::string(buf, 6));
  EXPECT_TRUE(conn.Read(buf, 0));
  const std::string pid = N0("").substr(0, 7);
  for (const std::string& line :
       {TraceCapture::Line('N', 2,
                           "ClibConnection::InitiateConnection: server=\"127.0.0.1\", "
                           "service=\"" +
                               peer.port + "abc\""),
        pid + " N0: Connected to 127.0.0.1 on port ",
        pid + " ClibConnection::Write()\nbuffer contains 5 bytes of data\n000: 68 65 6c 6c 6f",
        TraceCapture::Line('N', 3, "ClibConnection::Read(len=6)"), pid + " ClibConnection::Read()\n"}) {
    EXPECT_NE(std::string::npos, trace.Text().find(line)) << line;
  }
  EXPECT_TRUE(boxes.texts.empty());
}

// The peer ends at once, mid-block, or with a reset: only the reset drops
// the connection, and shows the one box this connection ever shows.
TEST(ClibConnectionTest, EndTruncationAndResetOfTheStream) {
  const std::string reset = " errno 10054: [10054] Connection reset by peer";
  // clang-format off
  struct Row { std::string sent; bool reset; std::string trace; SocketState state; std::vector<std::string> boxes; };
  // clang-format on
  Row rows[] = {
      {"", false, N0("recv() returned EOF."), SocketState::kOpen, {}},
      {"abc", false, N0("recv() failed: Truncation."), SocketState::kOpen, {}},
      {"", true, N0("recv() failed.") + N0(reset), SocketState::kDropped, {"Receive failed.\n" + reset.substr(1)}}};
  for (const Row& r : rows) {
    Peer peer;
    BoxedConnection conn;
    ASSERT_TRUE(conn.Open(peer.port));
    peer.accepted = accept(peer.fd, nullptr, nullptr);
    peer.Send(r.sent);
    peer.Close(r.reset);
    TraceCapture trace("");
    BoxCapture boxes;
    char buf[10];
    EXPECT_FALSE(conn.Read(buf, 10));
    EXPECT_EQ(r.trace, trace.Text());
    EXPECT_EQ(r.state, conn.State());
    if (r.reset) {  // every later failure is traced, never boxed
      EXPECT_FALSE(conn.Write("x", 1));
      EXPECT_FALSE(conn.Read(buf, 1));
    }
    EXPECT_EQ(r.boxes, boxes.texts);
  }
}

TEST_F(ConnectedTest, SendOnADroppedConnectionRaisesNoSigpipe) {
  signal(SIGPIPE, SIG_DFL);          // a SIGPIPE would end this test's process
  shutdown(conn.Socket(), SHUT_WR);  // our own end can no longer send
  BoxCapture boxes;
  TraceCapture trace("");
  EXPECT_FALSE(conn.Write("abc", 3));
  EXPECT_EQ(N0("send() failed.") + N0(" errno 10054: [10054] Connection reset by peer"), trace.Text());
  EXPECT_EQ(std::vector<std::string>{"Send failed.\nerrno 10054: [10054] Connection reset by peer"}, boxes.texts);
  EXPECT_EQ(SocketState::kDropped, conn.State());
}

TEST_F(ConnectedTest, LargeBlockIsWrittenWhole) {
  std::string block(8 << 20, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 + (i >> 12));
  std::string received;
  std::thread reader([&] { received = peer.Receive(block.size()); });
  EXPECT_TRUE(conn.Write(block.data(), static_cast<uint32_t>(block.size())));
  reader.join();
  EXPECT_TRUE(received == block);
}

void IgnoreSignal(int) {}

TEST_F(ConnectedTest, ReadContinuesAfterAnInterruptedCall) {
  struct sigaction action {};
  action.sa_handler = IgnoreSignal;  // no SA_RESTART: recv returns EINTR
  sigaction(SIGUSR1, &action, nullptr);
  pthread_t self = pthread_self();
  std::thread writer([&] {
    // The signal lands before or during the read; either way the read must
    // go on and deliver the whole block.
    for (const char* piece : {"ab", "cd"}) {
      pthread_kill(self, SIGUSR1);
      peer.Send(piece);
    }
  });
  char buf[4];
  EXPECT_TRUE(conn.Read(buf, 4));
  writer.join();
  EXPECT_EQ("abcd", std::string(buf, 4));
}

TEST(ClibConnectionTest, DestructionResetsTheConnection) {
  Peer peer;
  {
    BoxedConnection conn;
    ASSERT_TRUE(conn.Open(peer.port));
    peer.accepted = accept(peer.fd, nullptr, nullptr);
  }
  char c;
  EXPECT_EQ(-1, recv(peer.accepted, &c, 1, 0));
  EXPECT_EQ(ECONNRESET, errno);
}

// The keep-alive switch is read once per process and traced once per
// reading; any non-zero value (a negative one too) turns it on. No-delay
// is always set.
TEST(ClibConnectionTest, KeepAliveSwitchIsReadOnceAndNoDelayAlwaysSet) {
  Peer peer;
  SettingsFile on("[Config]\nUseKeepAlive=-1\n");
  ForgetSettings();
  TraceCapture trace("N2");
  BoxedConnection first;
  SettingsFile off("[Config]\nUseKeepAlive=0\n");
  BoxedConnection conn;
  ASSERT_TRUE(conn.Open(peer.port));
  const std::string text = trace.Text(), line = TraceCapture::Line('N', 2, " UseKeepAlive = -1");
  EXPECT_NE(std::string::npos, text.find(line));
  EXPECT_EQ(text.find(line), text.rfind(line));
  int keepAlive = 0, noDelay = 0;
  socklen_t size = sizeof keepAlive;
  getsockopt(conn.Socket(), SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size);
  getsockopt(conn.Socket(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size);
  EXPECT_NE(0, keepAlive);
  EXPECT_NE(0, noDelay);
  ForgetSettings();
}

// Replies polled for, or not: whether they come at once, in pieces, or
// only after polling has given up, and after enough slow ones that the
// connection sleeps at once, each read gets its block whole.
TEST(ClibConnectionTest, RepliesComeWholeWhetherPolledForOrNot) {
  for (const char* polling : {"0", "50", "1"}) {
    SettingsFile file(std::string("[Config]\nReplyPolling=") + polling + "\n");
    ForgetSettings();
    Peer peer;
    BoxedConnection conn;
    ASSERT_TRUE(conn.Open(peer.port));
    peer.accepted = accept(peer.fd, nullptr, nullptr);
    for (int reply = 0; reply < 12; ++reply) {
      const int late = reply % 3 == 0 ? 0 : 2000;  // microseconds before each piece
      std::thread writer([&] {
        for (const char* piece : {"abc", "defgh"}) {
          std::this_thread::sleep_for(std::chrono::microseconds(late));
          peer.Send(piece);
        }
      });
      char buf[8];
      EXPECT_TRUE(conn.Read(buf, 8)) << polling << " " << reply;
      writer.join();
      EXPECT_EQ("abcdefgh", std::string(buf, 8)) << polling << " " << reply;
    }
  }
  ForgetSettings();
}

// The ends of the text table and a text cut at its buffer (the texts in
// use are shown by the refusals above).
TEST(ClibConnectionTest, ErrorTextBounds) {
  // clang-format off
  struct Row { int number; size_t size; const char* text; };
  // clang-format on
  const Row rows[] = {
      {9999, 256, ""}, {10001, 256, ""}, {11005, 256, ""}, {0, 256, "[10000] No Error"}, {10061, 8, "[10061]"}};
  for (const auto& r : rows) {
    char text[256];
    ClibConnection::LoadErrorText(r.number, text, r.size);
    EXPECT_STREQ(r.text, text) << r.number;
  }
  EXPECT_EQ(10060, SocketErrorFromErrno(ETIMEDOUT));
}

}  // namespace
