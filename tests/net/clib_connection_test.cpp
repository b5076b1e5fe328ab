// ClibConnection against a loopback peer: refusals, resets, a peer closing
// mid-block, end of stream, exact trace lines and the boxes shown.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/ClibConnection.h"
#include "net/SocketErrors.h"
#include "platform/MessageBox.h"
#include "base/Settings.h"
#include "support/capture.h"
#include "support/socket_io.h"

namespace {

void ShowFailure(const char* text) { VelMessageBox(nullptr, text, "VELODBC", VEL_MB_OK | VEL_MB_ICONSTOP); }

// A connection whose failures are shown as boxes, as a driver connection's are.
class BoxedConnection : public ClibConnection {
 public:
  BoxedConnection() { SetFailureReporter(ShowFailure); }
};

// A socket bound to 127.0.0.1 on a port of the system's choice; listening
// unless asked not to (then connections to it are refused).
class Peer {
 public:
  explicit Peer(bool listening = true) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
    if (listening) listen(fd_, 4);
  }
  ~Peer() {
    if (accepted_ >= 0) close(accepted_);
    close(fd_);
  }
  std::string Port() const { return std::to_string(port_); }
  int Accept() {
    accepted_ = accept(fd_, nullptr, nullptr);
    return accepted_;
  }
  void Close() {
    close(accepted_);
    accepted_ = -1;
  }
  // Closes the accepted connection with a reset instead of a graceful end.
  void Reset() {
    linger l{1, 0};
    setsockopt(accepted_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
  }
  void Send(const std::string& bytes) { send(accepted_, bytes.data(), bytes.size(), 0); }
  std::string Receive(size_t count) {
    std::string out;
    ReadExactly(accepted_, count, &out);
    return out;
  }
  int accepted() const { return accepted_; }

 private:
  int fd_ = -1;
  int accepted_ = -1;
  uint16_t port_ = 0;
};

std::string ErrnoLine(int number) {
  char text[256];
  ClibConnection::LoadErrorText(number, text, sizeof text);
  return " errno " + std::to_string(number) + ": " + text;
}

// A connection to a listening peer that has accepted it.
class ConnectedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
    ASSERT_GE(peer.Accept(), 0);
  }
  Peer peer;
  BoxedConnection conn;
};

TEST(ClibConnectionTest, RefusedConnectionIsTracedAndBoxed) {
  TraceCapture trace("");
  BoxCapture boxes;
  Peer peer(false);
  BoxedConnection conn;
  EXPECT_FALSE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
  EXPECT_FALSE(conn.IsOpen());
  EXPECT_EQ(SocketState::kOpen, conn.State());
  EXPECT_EQ(VEL_WSAECONNREFUSED, LastSocketError());
  EXPECT_EQ(TraceCapture::Line('N', 0, "connect() failed.") +
                TraceCapture::Line('N', 0, " errno 10061: [10061] Connection refused"),
            trace.Text());
  ASSERT_EQ(1u, boxes.texts.size());
  EXPECT_EQ("VELODBC", boxes.captions[0]);
  EXPECT_EQ("Unable to connect to host.\nHost 127.0.0.1, Service " + peer.Port() +
                "\nerrno 10061: [10061] Connection refused",
            boxes.texts[0]);
}

TEST(ClibConnectionTest, InvalidPortNumbersAreRefused) {
  BoxCapture boxes;
  for (const char* service : {"0", "65536", "70000", "99999999999999999999"}) {
    TraceCapture trace("");
    BoxedConnection conn;
    EXPECT_FALSE(conn.InitiateConnection("127.0.0.1", service)) << service;
    EXPECT_FALSE(conn.IsOpen());
    std::string message = std::string(service) + ": Invalid port number.";
    EXPECT_EQ(TraceCapture::Line('N', 0, message), trace.Text());
    ASSERT_FALSE(boxes.texts.empty());
    EXPECT_EQ(message, boxes.texts.back());
  }
  EXPECT_EQ(4u, boxes.texts.size());
}

TEST(ClibConnectionTest, ServiceDigitsFollowedByLettersUseTheDigits) {
  Peer peer;
  BoxedConnection conn;
  ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", (peer.Port() + "abc").c_str()));
  EXPECT_TRUE(conn.IsOpen());
}

TEST(ClibConnectionTest, InvalidHostAddressAndUnknownNames) {
  BoxCapture boxes;
  Peer peer;
  {
    TraceCapture trace("");
    BoxedConnection conn;
    EXPECT_FALSE(conn.InitiateConnection("255.255.255.255", peer.Port().c_str()));
    EXPECT_EQ(TraceCapture::Line('N', 0, "255.255.255.255: Invalid host address."),
              trace.Text());
    EXPECT_EQ("255.255.255.255: Invalid host address.", boxes.texts.back());
    EXPECT_FALSE(conn.IsOpen());
  }
  {
    TraceCapture trace("");
    BoxedConnection conn;
    EXPECT_FALSE(conn.InitiateConnection("no-such-host.invalid", peer.Port().c_str()));
    EXPECT_EQ(TraceCapture::Line('N', 0, "gethostbyname() failed."), trace.Text());
    EXPECT_EQ("Unable to resolve host name:\nHost no-such-host.invalid not found in your HOSTS file.",
              boxes.texts.back());
    // Without a name server the resolver may only say "try again".
    EXPECT_TRUE(LastSocketError() == VEL_WSAHOST_NOT_FOUND || LastSocketError() == VEL_WSATRY_AGAIN)
        << LastSocketError();
  }
  {
    TraceCapture trace("");
    BoxedConnection conn;
    EXPECT_FALSE(conn.InitiateConnection("127.0.0.1", "no-such-service-velora"));
    EXPECT_EQ(TraceCapture::Line('N', 0, "getservbyname() failed."), trace.Text());
    EXPECT_EQ("Unable to resolve service name:\nService no-such-service-velora/tcp not found in "
              "your SERVICES file.",
              boxes.texts.back());
  }
  EXPECT_EQ(3u, boxes.texts.size());
}

TEST(ClibConnectionTest, WriteAndReadExactBlocksWithTraceAndDumps) {
  Peer peer;
  TraceCapture trace("N3");
  BoxCapture boxes;
  BoxedConnection conn;
  ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
  ASSERT_GE(peer.Accept(), 0);
  EXPECT_TRUE(conn.Write("hello", 5));
  EXPECT_EQ("hello", peer.Receive(5));
  peer.Send("world!");
  char buf[6];
  EXPECT_TRUE(conn.Read(buf, 6));
  EXPECT_EQ("world!", std::string(buf, 6));
  conn.ReleaseConnection();
  EXPECT_FALSE(conn.IsOpen());
  EXPECT_EQ(SocketState::kClosed, conn.State());

  std::string text = trace.Text();
  EXPECT_TRUE(trace.Has('N', 2, "ClibConnection::ClibConnection"));
  EXPECT_TRUE(trace.Has('N', 2, "ClibConnection::InitiateConnection: server=\"127.0.0.1\", "
                               "service=\"" + peer.Port() + "\""));
  EXPECT_TRUE(trace.Has('N', 2, " Version=0x0101, HighVersion=0x0101"));
  EXPECT_NE(std::string::npos, text.find(") N0: Connected to 127.0.0.1 on port "));
  char pid[16];
  std::snprintf(pid, sizeof pid, "(%5d)", static_cast<int>(getpid()));
  EXPECT_NE(std::string::npos,
            text.find(std::string(pid) + " ClibConnection::Write()\nbuffer contains 5 bytes of "
                                         "data\n000: 68 65 6c 6c 6f"));
  EXPECT_TRUE(trace.Has('N', 3, "ClibConnection::Read(len=6)"));
  EXPECT_NE(std::string::npos, text.find(std::string(pid) + " ClibConnection::Read()\n"));
  EXPECT_TRUE(trace.Has('N', 2, "ClibConnection::ReleaseConnection"));
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(ConnectedTest, PeerClosingAtOnceIsEndOfStream) {
  peer.Close();
  TraceCapture trace("");
  BoxCapture boxes;
  char buf[4];
  EXPECT_FALSE(conn.Read(buf, 4));
  EXPECT_EQ(TraceCapture::Line('N', 0, "recv() returned EOF."), trace.Text());
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(ConnectedTest, PeerClosingMidBlockIsTruncation) {
  peer.Send("abc");
  peer.Close();
  TraceCapture trace("");
  BoxCapture boxes;
  char buf[10];
  EXPECT_FALSE(conn.Read(buf, 10));
  EXPECT_EQ(TraceCapture::Line('N', 0, "recv() failed: Truncation."), trace.Text());
  EXPECT_TRUE(boxes.texts.empty());
  EXPECT_EQ(SocketState::kOpen, conn.State());
}

TEST_F(ConnectedTest, ResetShowsOneBoxThenNoMore) {
  peer.Reset();
  TraceCapture trace("");
  BoxCapture boxes;
  char buf[4];
  EXPECT_FALSE(conn.Read(buf, 4));
  EXPECT_EQ(TraceCapture::Line('N', 0, "recv() failed.") +
                TraceCapture::Line('N', 0, ErrnoLine(10054)),
            trace.Text());
  ASSERT_EQ(1u, boxes.texts.size());
  EXPECT_EQ("Receive failed.\nerrno 10054: [10054] Connection reset by peer", boxes.texts[0]);
  EXPECT_EQ(SocketState::kDropped, conn.State());
  // Every later failure on this object is traced, never boxed.
  EXPECT_FALSE(conn.Write("x", 1));
  EXPECT_FALSE(conn.Read(buf, 4));
  EXPECT_EQ(1u, boxes.texts.size());
  EXPECT_NE(std::string::npos, trace.Text().find("send() failed."));
}

TEST_F(ConnectedTest, SendOnDroppedConnectionRaisesNoSigpipe) {
  signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end this test's process
  // Our own end can no longer send: the next send fails with a broken pipe.
  shutdown(conn.Socket(), SHUT_WR);
  BoxCapture boxes;
  TraceCapture trace("");
  EXPECT_FALSE(conn.Write("abc", 3));
  EXPECT_EQ(TraceCapture::Line('N', 0, "send() failed.") +
                TraceCapture::Line('N', 0, ErrnoLine(10054)),
            trace.Text());
  ASSERT_EQ(1u, boxes.texts.size());
  EXPECT_EQ("Send failed.\nerrno 10054: [10054] Connection reset by peer", boxes.texts[0]);

  // A peer that went away: sends fail within a few blocks, without a signal.
  Peer peer2;
  BoxedConnection conn2;
  ASSERT_TRUE(conn2.InitiateConnection("127.0.0.1", peer2.Port().c_str()));
  ASSERT_GE(peer2.Accept(), 0);
  peer2.Close();
  // The peer has only closed its side: this block is accepted, and the
  // peer's system answers it with a reset. Wait (bounded) until the reset
  // has arrived rather than racing it with more writes.
  ASSERT_TRUE(conn2.Write("abcdefgh", 8));
  pollfd p{conn2.Socket(), 0, 0};
  for (int i = 0; i < 100 && (p.revents & (POLLERR | POLLHUP)) == 0; ++i) poll(&p, 1, 100);
  ASSERT_NE(0, p.revents & (POLLERR | POLLHUP));
  EXPECT_FALSE(conn2.Write("abcdefgh", 8));
  EXPECT_EQ(SocketState::kDropped, conn2.State());
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

TEST_F(ConnectedTest, ReadContinuesAfterInterruptedCall) {
  struct sigaction action {};
  action.sa_handler = IgnoreSignal;  // no SA_RESTART: recv returns EINTR
  sigaction(SIGUSR1, &action, nullptr);
  pthread_t self = pthread_self();
  std::thread writer([&] {
    // The signal lands before or during the read; either way the read must
    // go on and deliver the whole block.
    pthread_kill(self, SIGUSR1);
    peer.Send("ab");
    pthread_kill(self, SIGUSR1);
    peer.Send("cd");
  });
  char buf[4];
  EXPECT_TRUE(conn.Read(buf, 4));
  writer.join();
  EXPECT_EQ("abcd", std::string(buf, 4));
}

TEST(ClibConnectionTest, ZeroLengthReadSucceedsWithoutSocket) {
  TraceCapture trace("");
  BoxedConnection conn;
  char buf[1];
  EXPECT_TRUE(conn.Read(buf, 0));
  EXPECT_EQ("", trace.Text());
}

TEST(ClibConnectionTest, DestructionResetsTheConnection) {
  Peer peer;
  {
    BoxedConnection conn;
    ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
    ASSERT_GE(peer.Accept(), 0);
  }
  char c;
  errno = 0;
  EXPECT_EQ(-1, recv(peer.accepted(), &c, 1, 0));
  EXPECT_EQ(ECONNRESET, errno);
}

TEST(ClibConnectionTest, ReconnectAfterRelease) {
  Peer peer;
  BoxedConnection conn;
  ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
  conn.ReleaseConnection();
  ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
  EXPECT_TRUE(conn.IsOpen());
  EXPECT_EQ(SocketState::kOpen, conn.State());
}

// The keep-alive switch is read once per process; any non-zero value (a
// negative one too) turns it on. No-delay is always set.
TEST(ClibConnectionTest, KeepAliveSwitchIsReadOnceAndNoDelayAlwaysSet) {
  Peer peer;
  int keepAlive = 0, noDelay = 0;
  socklen_t size = sizeof keepAlive;
  {
    SettingsFile settings("[Config]\nUseKeepAlive=-1\n");
    ForgetSettings();
    TraceCapture trace("N2");
    BoxedConnection first;
    BoxedConnection conn;
    std::string text = trace.Text();
    std::string line = TraceCapture::Line('N', 2, " UseKeepAlive = -1");
    ASSERT_NE(std::string::npos, text.find(line));
    EXPECT_EQ(text.find(line), text.rfind(line));
    ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
    getsockopt(conn.Socket(), SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size);
    getsockopt(conn.Socket(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size);
    EXPECT_NE(0, keepAlive);
    EXPECT_NE(0, noDelay);
  }
  {
    SettingsFile settings("[Config]\nUseKeepAlive=0\n");
    TraceCapture trace("N2");
    BoxedConnection conn;  // the switch was read once: still on
    EXPECT_FALSE(trace.Has('N', 2, " UseKeepAlive = 0"));
    ASSERT_TRUE(conn.InitiateConnection("127.0.0.1", peer.Port().c_str()));
    keepAlive = 0;
    getsockopt(conn.Socket(), SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size);
    EXPECT_NE(0, keepAlive);
  }
  ForgetSettings();
}

TEST(ClibConnectionTest, ErrorTexts) {
  char text[256];
  ClibConnection::LoadErrorText(0, text, sizeof text);
  EXPECT_STREQ("[10000] No Error", text);
  ClibConnection::LoadErrorText(9999, text, sizeof text);
  EXPECT_STREQ("", text);
  ClibConnection::LoadErrorText(10001, text, sizeof text);
  EXPECT_STREQ("", text);
  ClibConnection::LoadErrorText(11003, text, sizeof text);
  EXPECT_STREQ("[11003] Non-Recoverable errors: FORMERR, REFUSED, NOTIMP", text);
  ClibConnection::LoadErrorText(10061, text, 8);
  EXPECT_STREQ("[10061]", text);
  EXPECT_EQ(10061, SocketErrorFromErrno(ECONNREFUSED));
  EXPECT_EQ(10054, SocketErrorFromErrno(ECONNRESET));
  EXPECT_EQ(10054, SocketErrorFromErrno(EPIPE));
  EXPECT_EQ(10060, SocketErrorFromErrno(ETIMEDOUT));
  EXPECT_EQ(11001, SocketErrorFromResolver(EAI_NONAME, 0));
}

}  // namespace
