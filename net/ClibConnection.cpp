// The TCP connection to the server over the system's sockets
// (net/Sockets.h). Failures are reported with the Windows Sockets error
// numbers and texts (net/SocketErrors.h), in the trace (category N) and in
// message boxes.
#include "net/ClibConnection.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/Settings.h"
#include "base/Trace.h"
#include "net/SocketErrors.h"
#include "net/Sockets.h"

namespace {

// The keep-alive switch is traced at the first construction after each
// reading of the settings (whichever thread constructs first).
std::atomic<unsigned> g_keepAliveTraced{0};

const uint32_t kDumpLimit = 16384;

// The text of number, as LoadErrorText gives it, in a buffer of the
// calling thread.
const char* ErrorText(int number) {
  thread_local char text[256];
  ClibConnection::LoadErrorText(number, text, sizeof text);
  return text;
}

// Writes the failing call's line and the " errno %d: %s" line (N, 0).
void TraceFailure(const char* line, int number) {
  Trace('N', 0, "%s", line);
  Trace('N', 0, " errno %d: %s", number, ErrorText(number));
}

bool IsDroppedConnection(int number) {
  return number == kWsaeNetReset || number == kWsaeConnAborted || number == kWsaeConnReset;
}

void CloseTraced(int fd) {
  if (!CloseSocket(fd)) TraceFailure("closesocket() failed.", LastSocketError());
}

// What the Windows socket library reports about itself, for the trace.
void TraceSocketLibrary() {
  if (!TraceEnabled('N', 2)) return;
  SocketLibraryInfo info{};
  DescribeSocketLibrary(&info);
  Trace('N', 2, " Version=0x%04x, HighVersion=0x%04x", info.version, info.highVersion);
  Trace('N', 2, " Description=\"%s\"", info.description);
  Trace('N', 2, " SystemStatus=\"%s\"", info.systemStatus);
  Trace('N', 2, " MaxSockets=%u", info.maxSockets);
}

// Parses the leading decimal digits of service as a port. Returns 0 for a
// number outside 1..65535: such a number is refused rather than wrapped
// round to an unrelated port.
uint16_t ParsePort(const char* service) {
  unsigned long value = 0;
  for (const char* p = service; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned long>(*p - '0');
    if (value > 65535) return 0;
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

ClibConnection::ClibConnection() {
  Trace('N', 2, "ClibConnection::ClibConnection");
  const DriverSettings& settings = Settings();
  if (g_keepAliveTraced.exchange(settings.reading) != settings.reading) {
    Trace('N', 2, " UseKeepAlive = %d", settings.useKeepAlive);
  }
  if (settings.replyPolling > 0 && PollingPays()) pollMicros_ = settings.replyPolling;
}

ClibConnection::~ClibConnection() {
  Trace('N', 2, "ClibConnection::~ClibConnection");
  EndTls(tls_, false);
  tls_ = nullptr;
  if (socket_ >= 0) {
    // Reset at once instead of lingering: the server learns of the end
    // from the reset.
    ResetSocket(socket_);
    socket_ = -1;
  }
  state_ = SocketState::kClosed;  // the socket library lives as long as the library is loaded
}

bool ClibConnection::InitiateConnection(const char* server, const char* service) {
  if (server == nullptr) server = "";
  if (service == nullptr) service = "";
  Trace('N', 2, "ClibConnection::InitiateConnection: server=\"%s\", service=\"%s\"", server,
        service);
  requests_ = 0;
  // The socket library was started when the driver was loaded; a socket
  // left from an earlier connection is closed first so that it cannot leak.
  EndTls(tls_, false);
  tls_ = nullptr;
  if (socket_ >= 0) {
    CloseTraced(socket_);
    socket_ = -1;
  }
  state_ = SocketState::kOpen;
  TraceSocketLibrary();

  // "[::1]": the brackets of an IPv6 address are no part of it.
  char host[256];
  std::size_t hostLength = std::strlen(server);
  const bool bracketed = hostLength >= 2 && server[0] == '[' && server[hostLength - 1] == ']';
  if (bracketed) hostLength -= 2;
  if (hostLength >= sizeof host) hostLength = sizeof host - 1;
  std::memcpy(host, server + (bracketed ? 1 : 0), hostLength);
  host[hostLength] = '\0';

  SocketAddress addresses[kMaxSocketAddresses];
  int count = 0;
  uint16_t port = 0;
  bool resolved = false;
  if (service[0] >= '0' && service[0] <= '9') {
    port = ParsePort(service);
    if (port == 0) {
      SetLastSocketError(kWsaeInval);
      Trace('N', 0, "%s: Invalid port number.", service);
      Report("%s: Invalid port number.", service);
    } else {
      resolved = true;
    }
  } else {
    resolved = LookUpService(service, &port);
    if (!resolved) {
      Trace('N', 0, "getservbyname() failed.");
      Report("Unable to resolve service name:\nService %s/tcp not found in your SERVICES file.",
             service);
    }
  }

  if (resolved) {
    if (host[0] >= '0' && host[0] <= '9' && !std::strchr(host, ':')) {
      count = ParseDottedAddress(host, port, &addresses[0]) ? 1 : 0;
      if (count == 0) {
        SetLastSocketError(kWsaeInval);
        Trace('N', 0, "%s: Invalid host address.", server);
        Report("%s: Invalid host address.", server);
      }
    } else {
      count = LookUpHost(host, port, addresses, kMaxSocketAddresses);
      if (count == 0) {
        Trace('N', 0, "gethostbyname() failed.");
        Report("Unable to resolve host name:\nHost %s not found in your HOSTS file.", server);
      }
    }
  }
  if (count == 0) return false;

  // Each address in turn, all of them within the time limit.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    int seconds = timeoutSeconds_;
    if (seconds > 0) {
      const auto spent =
          std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
              .count();
      if (spent >= seconds) {
        SetLastSocketError(kWsaeTimedOut);
        seconds = -1;
      } else {
        seconds -= static_cast<int>(spent);
      }
    }
    int number = 0;
    const char* failed = "connect() failed.";
    if (seconds >= 0) {
      socket_ = OpenStreamSocket(addresses[i].family);
      if (socket_ < 0) failed = "socket() failed.";
    }
    if (socket_ >= 0) {
      if (!SetSocketTimeout(socket_, seconds))
        TraceFailure("setsockopt(SO_RCVTIMEO) failed.", LastSocketError());
      if (ConnectSocket(socket_, addresses[i], seconds)) break;
    }
    number = LastSocketError();
    if (socket_ >= 0) CloseTraced(socket_);
    socket_ = -1;
    if (!last && seconds >= 0) {
      char text[64];
      AddressText(addresses[i], text, sizeof text);
      Trace('N', 2, "%s: %s errno %d; trying the next address", text, failed, number);
      continue;
    }
    TraceFailure(failed, number);
    if (failed[0] == 's') {
      Report("Unable to create communication socket.\n errno %d: %s", number, ErrorText(number));
    } else {
      Report("Unable to connect to host.\nHost %s, Service %s\nerrno %d: %s", server, service,
             number, ErrorText(number));
    }
    return false;
  }
  ApplyTimeout();

  if (TraceEnabled('N', 2)) {
    unsigned localPort = 0;
    if (LocalPort(socket_, &localPort)) {
      Trace('N', 0, "Connected to %s on port %u", server, localPort);
    } else {
      TraceFailure("getsockname() failed.", LastSocketError());
    }
  }

  if (!SetNoDelay(socket_)) TraceFailure("setsockopt(TCP_NODELAY) failed.", LastSocketError());
  if (Settings().useKeepAlive != 0 && !SetKeepAlive(socket_)) {
    TraceFailure("setsockopt(SO_KEEPALIVE) failed.", LastSocketError());
  }
  return true;
}

void ClibConnection::SetPending(PendingReply* pending) {
  // Two replies owed (two closes written one after the other): the
  // older is read first, as it comes first.
  if (pending != nullptr && pending_ != nullptr && pending_->AfterNextWrite()) {
    PendingReply* before = pending_;
    pending_ = nullptr;
    if (!before->Settle(this)) return;  // the lost connection takes both replies
  }
  pending_ = pending;
}

bool ClibConnection::Write(const void* buffer, uint32_t length) {
  if (pending_ != nullptr && !pending_->AfterNextWrite()) {
    PendingReply* pending = pending_;
    pending_ = nullptr;
    if (!pending->Settle(this)) return false;
  }
  if (secret_) {
    Trace('N', 3, "ClibConnection::Write(): %lu bytes not shown (secret)",
          static_cast<unsigned long>(length));
  } else if (TraceEnabled('N', 3)) {
    TraceDump("ClibConnection::Write()", buffer, length < kDumpLimit ? length : kDumpLimit);
  }
  const char* bytes = static_cast<const char*>(buffer);
  uint32_t sent = 0;
  while (sent < length) {
    long n = tls_ ? TlsSend(tls_, bytes + sent, length - sent)
                  : SendSome(socket_, bytes + sent, length - sent);
    if (n < 0) {
      if (tls_) TakeTlsError();
      int number = LastSocketError();
      TraceFailure("send() failed.", number);
      if (state_ != SocketState::kDropped)
        Report("Send failed.\nerrno %d: %s", number, ErrorText(number));
      if (IsDroppedConnection(number)) state_ = SocketState::kDropped;
      return false;
    }
    if (n == 0) {
      // A stream socket that accepts nothing for a non-empty block.
      Trace('N', 0, "send() failed: Truncation.");
      return false;
    }
    sent += static_cast<uint32_t>(n);
  }
  return true;
}

// A reply is polled for while replies come soon: for twice the recent
// time a reply took (an average over the last few waits, sleeping ones
// included), at most pollMicros_; once replies take longer than that, the
// receive sleeps at once until they come sooner again.
long ClibConnection::Receive(char* bytes, uint32_t length) {
  if (pollMicros_ == 0) return ReceiveSome(socket_, bytes, length);
  const auto start = std::chrono::steady_clock::now();
  long n = kNothingYet;
  if (replyMicros_ <= pollMicros_) {
    const long budget = 2 * replyMicros_ + 20;
    n = ReceiveSoon(socket_, bytes, length,
                    static_cast<int>(budget < pollMicros_ ? budget : pollMicros_));
  }
  if (n == kNothingYet) n = ReceiveSome(socket_, bytes, length);
  const long took = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
  replyMicros_ += (took - replyMicros_) / 4;
  return n;
}

bool ClibConnection::Read(void* buffer, uint32_t length) {
  Trace('N', 3, "ClibConnection::Read(len=%u)", length);
  if (length == 0) return true;  // nothing to wait for; the socket is not touched
  if (pending_ != nullptr) {     // its reply comes first
    PendingReply* pending = pending_;
    pending_ = nullptr;
    if (!pending->Settle(this)) return false;
  }
  char* bytes = static_cast<char*>(buffer);
  uint32_t received = 0;
  while (received < length) {
    if (inboxStart_ < inboxEnd_) {
      uint32_t take = inboxEnd_ - inboxStart_;
      if (take > length - received) take = length - received;
      std::memcpy(bytes + received, inbox_ + inboxStart_, take);
      inboxStart_ += take;
      received += take;
      continue;
    }
    const bool ahead = tls_ == nullptr && length - received < sizeof inbox_;
    long n = tls_    ? TlsReceive(tls_, bytes + received, length - received)
             : ahead ? Receive(reinterpret_cast<char*>(inbox_), sizeof inbox_)
                     : Receive(bytes + received, length - received);
    if (ahead && n > 0) {
      inboxStart_ = 0;
      inboxEnd_ = static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0) {
      if (tls_) TakeTlsError();
      int number = LastSocketError();
      TraceFailure("recv() failed.", number);
      if (state_ != SocketState::kDropped)
        Report("Receive failed.\nerrno %d: %s", number, ErrorText(number));
      if (IsDroppedConnection(number)) state_ = SocketState::kDropped;
      return false;
    }
    if (n == 0) break;
    received += static_cast<uint32_t>(n);
  }
  if (received == 0) {
    Trace('N', 0, "recv() returned EOF.");
    return false;
  }
  if (TraceEnabled('N', 3)) {
    TraceDump("ClibConnection::Read()", buffer, received < kDumpLimit ? received : kDumpLimit);
  }
  if (received == length) return true;
  Trace('N', 0, "recv() failed: Truncation.");
  return false;
}

void ClibConnection::SetTimeout(int seconds) {
  timeoutSeconds_ = seconds > 0 ? seconds : 0;
  ApplyTimeout();
}

void ClibConnection::ApplyTimeout() {
  if (socket_ < 0) return;
  if (!SetSocketTimeout(socket_, timeoutSeconds_)) {
    TraceFailure("setsockopt(SO_RCVTIMEO) failed.", LastSocketError());
  }
}

bool ClibConnection::PeerGone() {
  if (socket_ < 0 || state_ == SocketState::kDropped) return true;
  const PeerWord word = inboxStart_ < inboxEnd_ ? PeerWord::kBytes : PeekPeer(socket_);
  if (word == PeerWord::kNothing) return false;
  if (pending_ == nullptr) return word == PeerWord::kClosed;  // bytes: not ours to judge
  PendingReply* pending = pending_;
  pending_ = nullptr;
  if (!pending->Settle(this) || socket_ < 0) return true;
  return inboxStart_ == inboxEnd_ && PeekPeer(socket_) == PeerWord::kClosed;
}

void ClibConnection::ReleaseConnection() {
  Trace('N', 2, "ClibConnection::ReleaseConnection");
  inboxStart_ = inboxEnd_ = 0;
  pending_ = nullptr;
  EndTls(tls_, true);
  tls_ = nullptr;
  if (socket_ >= 0) {
    CloseTraced(socket_);
    socket_ = -1;
  }
  state_ = SocketState::kClosed;
}

TlsStart ClibConnection::Encrypt(TlsMode mode, const char* caFile, const char* host, char* reason,
                                 int size) {
  if (socket_ < 0) {
    std::snprintf(reason, static_cast<size_t>(size), "%s", "not connected");
    return TlsStart::kFailed;
  }
  // The server speaks in the handshake only after the client: nothing can
  // have been read ahead of it.
  if (inboxStart_ != inboxEnd_) {
    std::snprintf(reason, static_cast<size_t>(size), "%s", "bytes before the handshake");
    return TlsStart::kFailed;
  }
  return StartTls(socket_, mode, caFile, host, &tls_, reason, size);
}

void ClibConnection::LoadErrorText(int number, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  std::memset(buffer, 0, static_cast<size_t>(size));
  if (number == 0) number = kWsaNoError;
  if (number < kWsaNoError) return;
  LoadSocketErrorText(number, buffer, size);
}

void ClibConnection::Report(const char* format, ...) {
  if (reporter_ == nullptr) return;
  char text[1024];  // server and service names are cut at its end
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  reporter_(text);
}
