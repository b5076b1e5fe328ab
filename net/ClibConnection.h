// The TCP connection to the server: connect, write whole blocks, read
// exact blocks, close. Failures are traced (category N) and their texts
// handed to the owner's reporter (the handle layer shows them as message
// boxes); the exchange turns them into diagnostics.
#ifndef VELORA_NET_CLIBCONNECTION_H
#define VELORA_NET_CLIBCONNECTION_H

#include <cstdint>

#include "base/Alloc.h"
#include "net/Tls.h"

// Closed: no socket. Open: connected. Dropped: the peer reset or aborted
// the connection; no further failure is reported until it is closed.
enum class SocketState { kClosed, kOpen, kDropped };

// Receives the text of a failure (a connect that could not be made, a send
// or receive that failed) as it happens.
using SocketFailureReporter = void (*)(const char* text);

class ClibConnection;

// A reply the socket still owes for a request sent ahead of need (a block
// of rows asked for before the application wants it): whatever is written
// next must wait until it has been read, so that no reply is taken for
// another's. Settle reads it (into its owner, or drops it); false when the
// connection failed meanwhile. A reply nobody waits for (a close whose
// outcome no call reports) may instead let the next request be written
// first: it is read before that request's reply.
class PendingReply {
 public:
  virtual bool Settle(ClibConnection* connection) = 0;
  virtual bool AfterNextWrite() const { return false; }

 protected:
  ~PendingReply() = default;
};

class ClibConnection {
  VEL_NOTHROW_ALLOCATED
 public:
  ClibConnection();
  ~ClibConnection();
  ClibConnection(const ClibConnection&) = delete;
  ClibConnection& operator=(const ClibConnection&) = delete;

  // server: host name or dotted IPv4 address; service: port number or
  // service name. True when connected.
  [[nodiscard]] bool InitiateConnection(const char* server, const char* service);
  // Sends all length bytes (continuing after partial sends and interrupted
  // calls), after reading the pending reply, if any; false on a real error.
  [[nodiscard]] bool Write(const void* buffer, uint32_t length);
  // Receives exactly length bytes; true when all arrived, false on end of
  // stream, a short stream or a socket error. A length of 0 succeeds at once.
  [[nodiscard]] bool Read(void* buffer, uint32_t length);
  // Closes the socket gracefully and stops the socket library.
  void ReleaseConnection();
  // Runs the TLS handshake on the open socket (net/Tls.h); from then on
  // Write and Read travel encrypted until the connection is released.
  // kFailed leaves the reason in reason (and the trace); the caller
  // releases the connection.
  [[nodiscard]] TlsStart Encrypt(TlsMode mode, const char* caFile, const char* host, char* reason,
                                 int size);
  bool Encrypted() const { return tls_ != nullptr; }

  // Bounds every later connect, send and receive on this object to seconds
  // (0: no bound, the default). A call that runs out of time fails as a
  // timed-out connection (10060). Login uses it for the login timeout.
  void SetTimeout(int seconds);

  // While secret is true, what is written is not dumped to the trace (a
  // login carries a password).
  void SetSecret(bool secret) { secret_ = secret; }

  // The request frames written since the connection was made (the
  // protocol layer counts them; a cancel request names one by it).
  void CountRequest() { ++requests_; }
  uint32_t Requests() const { return requests_; }

  // The reply still owed (null: none); one at a time: one that waits for
  // the next write is read before another takes its place. Releasing the
  // connection forgets it (the reply goes with the socket).
  void SetPending(PendingReply* pending);
  PendingReply* Pending() const { return pending_; }

  // True when the server is known to be gone, found without waiting: the
  // socket was closed after a failure, or the peer ended the stream. A
  // reply still owed that has arrived is read first; one still on its way
  // means the peer is there.
  bool PeerGone();

  int Socket() const { return socket_; }
  SocketState State() const { return state_; }
  // Failures from now on go to reporter (null: reported to nobody).
  void SetFailureReporter(SocketFailureReporter reporter) { reporter_ = reporter; }
  SocketFailureReporter FailureReporter() const { return reporter_; }
  bool IsOpen() const { return socket_ >= 0; }

  // Clears buffer and loads the text of socket error number into it (0
  // stands for 10000; numbers below 10000 give an empty text).
  static void LoadErrorText(int number, char* buffer, int size);

 private:
  void ApplyTimeout();
  long Receive(char* bytes, uint32_t length);
  void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int socket_ = -1;
  TlsSession* tls_ = nullptr;
  // A plain socket reads ahead: one recv brings a small reply's length
  // and body together (a reply costs one receive, not two).
  uint8_t inbox_[512];
  uint32_t inboxStart_ = 0, inboxEnd_ = 0;
  SocketState state_ = SocketState::kClosed;
  SocketFailureReporter reporter_ = nullptr;
  int timeoutSeconds_ = 0;
  uint32_t requests_ = 0;
  PendingReply* pending_ = nullptr;
  bool secret_ = false;
  // Polling for replies (see ReceiveSoon): at most pollMicros_ (0: never),
  // guided by how long replies took lately.
  int pollMicros_ = 0;
  long replyMicros_ = 0;
};

#endif
