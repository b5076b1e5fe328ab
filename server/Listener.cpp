// Listening socket, client threads, frame reading and writing.
#include "server/Listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "protocol/Elements.h"
#include "protocol/Framing.h"
#include "protocol/Request.h"
#include "protocol/WireNumbers.h"
#include "server/session/Dispatch.h"
#include "server/session/Greeting.h"
#include "server/Log.h"
#include "server/metrics/Metrics.h"
#include "server/metrics/MetricsHttp.h"
#include "server/session/Session.h"
#include "server/TlsServer.h"
#include "server/admin/Users.h"
#include "server/storage/Storage.h"

namespace velsrv {

namespace {

int gSignalPipe[2] = {-1, -1};

// The signal's number goes through the pipe: SIGHUP reloads, the others
// stop the server.
void OnSignal(int number) {
  int saved = errno;
  char c = static_cast<char>(number);
  ssize_t ignored = write(gSignalPipe[1], &c, 1);
  (void)ignored;
  errno = saved;
}

void SetTimeout(int fd, int seconds) {
  timeval tv{};
  tv.tv_sec = seconds;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

std::string AddressText(const sockaddr_storage& a) {
  char host[NI_MAXHOST] = "?", port[NI_MAXSERV] = "?";
  getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof a, host, sizeof host, port, sizeof port,
              NI_NUMERICHOST | NI_NUMERICSERV);
  std::string h = host;
  if (a.ss_family == AF_INET6) h = "[" + h + "]";
  return h + ":" + port;
}

bool IsLoopback(const sockaddr* a) {
  if (a->sa_family == AF_INET)
    return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
  if (a->sa_family == AF_INET6) {
    const in6_addr& x = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&x) || (IN6_IS_ADDR_V4MAPPED(&x) && x.s6_addr[12] == 127);
  }
  return false;
}

bool WritePortFile(const std::string& path, int port, std::string* error) {
  std::string text = std::to_string(port) + "\n";
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
    // A FIFO is written in place (its reader waits for the port); opening
    // it waits for that reader, so a thread of its own does it.
    std::thread([path, text] {
      int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return;
      ssize_t ignored = write(fd, text.data(), text.size());
      (void)ignored;
      close(fd);
    }).detach();
    return true;
  }
  // A regular file appears complete or not at all: temp file, then rename.
  std::string temp = path + ".tmp." + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot write " + temp + ": " + std::strerror(errno);
    return false;
  }
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

// Blanks out the password of a connect request body (data source, user
// name, password as counted strings) so that a frame trace never shows
// it.
void MaskPassword(uint8_t* body, size_t size) {
  size_t at = 0;
  for (int skip = 0; skip < 2; ++skip) {
    if (size - at < 2) return;
    at += 2 + (body[at] | (body[at + 1] << 8));
    if (at > size) return;
  }
  if (size - at < 2) return;
  size_t n = body[at] | (body[at + 1] << 8);
  at += 2;
  for (size_t i = 0; i < n && at + i < size; ++i) body[at + i] = '*';
}

// A connection waits this long for its greeting, and at most
// kGreetingWaiters connections wait at once; while that many wait, no more
// are accepted (they queue in the kernel's backlog, so a burst of real
// clients is delayed, not refused). Waiting connections hold no client
// slot, so sockets that never greet cannot lock real clients out.
constexpr int kGreetingWaitSeconds = 5;
constexpr int kGreetingWaiters = 32;

// One of the --max-clients slots, held from the accepted greeting until
// released (at the latest when the object goes).
class Slot {
 public:
  Slot() = default;
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  ~Slot() { Release(); }
  // Takes one of the limit slots *count counts; false, holding none, when
  // all are taken.
  bool Take(std::atomic<int>* count, int limit) {
    if (++*count > limit) {
      --*count;
      return false;
    }
    count_ = count;
    return true;
  }
  void Release() {
    if (count_) --*count_;
    count_ = nullptr;
  }

 private:
  std::atomic<int>* count_ = nullptr;
};

struct Client {
  std::thread thread;
  std::atomic<bool> done{false};
  int fd = -1;
  bool loopback = false;
  bool greeting = true;  // until the greeting (and handshake) ended; under the mutex
  std::chrono::steady_clock::time_point accepted = std::chrono::steady_clock::now();
};

// The first byte a client sends, without taking it; -1 when none came in
// time.
int PeekFirstByte(int fd) {
  unsigned char first = 0;
  ssize_t n;
  do {
    n = recv(fd, &first, 1, MSG_PEEK);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? first : -1;
}

// What the signals read from the pipe ask for.
enum class SignalAction { kNone, kDrain, kStop };

class Server {
 public:
  explicit Server(const Options& options)
      : options_(options),
        // No value may grow beyond what a frame may carry: this keeps the
        // memory of each client within --max-frame per value, also for
        // values built by SQL (zeroblob, group_concat, ...).
        engine_(CreateStorageEngine(
            options.lockTimeout * 1000,
            static_cast<int>(std::min<uint32_t>(options.maxFrame, 256u << 20)), &stopping_)) {}

  int Run();

 private:
  bool Listen(std::string* error);
  void Serve(Client* client, std::string peer);
  std::string Session(Link* link, const std::string& peer, Slot* slot);
  std::string CancelConnection(Link* link, const std::string& peer);
  void Reap(bool all);
  void CutSlowGreetings();
  SignalAction HandleSignals();
  // A session counts as running while a request or its statement's work
  // is under way; none starts once the drain has closed (false then).
  bool BeginRequest();
  void EndRequest();
  // True (and closed to new requests) when no request runs or deadline
  // has passed.
  bool Drained(std::chrono::steady_clock::time_point deadline);
  uint64_t RegisterCancel(const std::shared_ptr<RunLimit>& limit);
  void UnregisterCancel(uint64_t key);
  std::string ServeCancel(Link* link, const uint8_t* body, uint32_t length,
                          const std::string& peer);

  const Options& options_;
  std::atomic<bool> stopping_{false};
  // SIGTERM: logins are refused (the driver goes on to its next server)
  // while the requests running finish, then the server stops.
  std::atomic<bool> draining_{false};
  std::mutex runMutex_;
  int running_ = 0;
  bool closed_ = false;
  std::unique_ptr<StorageEngine> engine_;
  TlsContext tls_;
  LoginGuard guard_{&stopping_};
  MetricsEndpoint metrics_;
  int listenFd_ = -1;
  std::mutex mutex_;
  std::list<std::unique_ptr<Client>> clients_;
  std::atomic<int> active_{0};    // logged-in clients (slots taken)
  std::atomic<int> greeting_{0};  // connections waiting for their greeting
  unsigned long serial_ = 0;
  // Every session's cancel key and the limit a cancel request with it
  // trips; under cancelMutex_.
  std::mutex cancelMutex_;
  std::map<uint64_t, std::shared_ptr<RunLimit>> cancels_;
  std::random_device random_;  // under cancelMutex_
};

// A fresh secret key: random, non-zero and unique among the sessions.
uint64_t Server::RegisterCancel(const std::shared_ptr<RunLimit>& limit) {
  std::lock_guard<std::mutex> lock(cancelMutex_);
  uint64_t key = 0;
  while (key == 0 || cancels_.count(key))
    key = (static_cast<uint64_t>(random_()) << 32) ^ random_();
  cancels_[key] = limit;
  return key;
}

void Server::UnregisterCancel(uint64_t key) {
  std::lock_guard<std::mutex> lock(cancelMutex_);
  cancels_.erase(key);
}

// A cancel request, the only request of its connection: the session with
// the key has its running request stopped. The reply is the same whether
// the key matched, and whether anything ran: a client learns nothing.
std::string Server::ServeCancel(Link* link, const uint8_t* body, uint32_t length,
                                const std::string& peer) {
  std::unique_ptr<Request> request(Request::CreateRequest(Msg::kCancel));
  int status = 0;
  if (!request || request->Failed() || !request->DecodeRequestBody(body, length, &status))
    return "malformed cancel request";
  const uint64_t key = request->Get<CancelKeyElement>()->value;
  const uint32_t number = request->Get<RequestNumberElement>()->value;
  std::shared_ptr<RunLimit> limit;
  {
    std::lock_guard<std::mutex> lock(cancelMutex_);
    auto it = cancels_.find(key);
    if (it != cancels_.end()) limit = it->second;
  }
  const bool stopped = limit && limit->Cancel(number);
  Log(0, "%s: cancel request: %s", peer.c_str(),
      stopped ? "running request stopped"
      : limit ? "request not running"
              : "no such session");
  request->Get<ReturnCodeElement>()->value = kSqlSuccess;
  if (!request->EncodeReply(&status)) return "cancel reply cannot be encoded";
  link->Write(request->FrameBytes(), request->FrameLength());
  return "cancel request served";
}

// The one request of a connection that greeted as a cancel connection.
std::string Server::CancelConnection(Link* link, const std::string& peer) {
  uint8_t header[kRequestHeaderSize];
  uint8_t body[64];
  uint32_t length = 0;
  uint16_t code = 0;
  if (!link->Read(header, sizeof header)) return "no cancel request";
  DecodeRequestHeader(header, &length, &code);
  if (code != Msg::kCancel || length > sizeof body)
    return "a cancel connection sent another request";
  if (length && !link->Read(body, length)) return "no cancel request";
  return ServeCancel(link, body, length, peer);
}

bool Server::Listen(std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  std::string port = std::to_string(options_.port);
  int rc = getaddrinfo(options_.address.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    *error = "cannot resolve " + options_.address + ": " + gai_strerror(rc);
    return false;
  }
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(found, freeaddrinfo);
  for (addrinfo* a = found; a; a = a->ai_next) {
    if (IsLoopback(a->ai_addr)) continue;
    if (options_.users.empty()) {
      *error =
          "without --users every login is accepted, so only a loopback address may be used, "
          "not " +
          options_.address;
      return false;
    }
    if (!tls_.Loaded() && !options_.allowPlaintext) {
      *error =
          "beyond loopback passwords and data need encryption: give --tls-cert and "
          "--tls-key (or --allow-plaintext to send them in clear text) to listen on " +
          options_.address;
      return false;
    }
  }
  for (addrinfo* a = found; a; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 64) == 0) {
      listenFd_ = fd;
      return true;
    }
    *error = "cannot listen on " + options_.address + ":" + port + ": " + std::strerror(errno);
    close(fd);
  }
  if (error->empty()) *error = "cannot listen on " + options_.address + ":" + port;
  return false;
}

void Server::Reap(bool all) {
  std::list<std::unique_ptr<Client>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = clients_.begin(); it != clients_.end();) {
      auto next = std::next(it);
      if (all || (*it)->done) finished.splice(finished.end(), clients_, it);
      it = next;
    }
  }
  // Joined outside the lock: a finishing thread takes it to close its
  // socket.
  for (auto& c : finished) c->thread.join();
}

// The receive timeout bounds each read of the greeting, not all of them:
// a client sending a byte now and then would keep its place for long. Its
// connection is shut down once the whole wait is over.
void Server::CutSlowGreetings() {
  auto limit = std::chrono::steady_clock::now() - std::chrono::seconds(kGreetingWaitSeconds);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& c : clients_)
    if (c->greeting && c->fd >= 0 && c->accepted < limit) shutdown(c->fd, SHUT_RDWR);
}

void Server::Serve(Client* client, std::string peer) {
  int fd = client->fd;
  std::string why, error;
  SetTimeout(fd, kGreetingWaitSeconds);
  uint8_t block[kGreetingSize];
  Link link(fd);
  // A client that starts with a TLS handshake gets one when the server has
  // a certificate; a server without one reads it as a malformed greeting.
  const int first = PeekFirstByte(fd);
  const bool handshook = first != kTlsHandshakeByte || !tls_.Loaded() || link.Accept(tls_, &error);
  const bool greeted = first >= 0 && handshook && link.Read(block, sizeof block);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    client->greeting = false;
  }
  --greeting_;
  if (!handshook) {
    Log(0, "%s: TLS handshake failed: %s", peer.c_str(), error.c_str());
  } else if (!greeted) {
    Log(0, "%s: no greeting", peer.c_str());
  } else {
    GreetingStatus status = CheckGreeting(block);
    if (status == kGreetingAccepted && !link.Encrypted() && !client->loopback &&
        !options_.allowPlaintext)
      status = kGreetingNeedsTls;
    // A cancel connection holds no slot, so a session can be cancelled
    // while the server is full; it carries one cancel request and ends.
    const bool cancelling = status == kGreetingAccepted && IsCancelGreeting(block);
    Slot slot;
    if (status == kGreetingAccepted && !cancelling && !slot.Take(&active_, options_.maxClients))
      status = kGreetingTooManyClients;
    uint8_t answer[kGreetingStatusSize];
    EncodeGreetingStatus(status, answer);
    if (status != kGreetingAccepted)
      CountRefusal(status == kGreetingTooManyClients ? Refusal::kTooManyClients
                   : status == kGreetingNeedsTls     ? Refusal::kNeedsTls
                                                     : Refusal::kGreeting);
    if (status != kGreetingAccepted)
      Log(0, "%s: greeting refused with status %d", peer.c_str(), status);
    if (link.Write(answer, sizeof answer) && status == kGreetingAccepted) {
      if (!cancelling) SetTimeout(fd, 0);  // the cancel request comes within the greeting's time
      why = cancelling ? CancelConnection(&link, peer) : Session(&link, peer, &slot);
    }
    // The slot is free before the end is logged, so a client that waits
    // for the log line finds room.
  }
  if (!why.empty()) Log(0, "%s: connection ended (%s)", peer.c_str(), why.c_str());
  link.End();  // nothing is written to the number once closed: it may be the next client's
  // The socket is closed by this thread only; the stop path shuts it down.
  std::lock_guard<std::mutex> lock(mutex_);
  close(fd);
  client->fd = -1;
  client->done = true;
}

// Reads the signal pipe. SIGTERM asks to drain, SIGINT (or a second
// SIGTERM) to stop at once. SIGHUP loads the
// TLS certificate and the metrics secret again (a failure keeps the one
// loaded) and checks the users file, which every login reads anew;
// sessions go on.
SignalAction Server::HandleSignals() {
  char numbers[16];
  ssize_t n;
  bool stop = false, drain = false, reload = false;
  while ((n = read(gSignalPipe[0], numbers, sizeof numbers)) > 0)
    for (ssize_t i = 0; i < n; ++i)
      (numbers[i] == SIGHUP ? reload : numbers[i] == SIGTERM && !draining_ ? drain : stop) = true;
  if (stop) return SignalAction::kStop;
  if (drain) return SignalAction::kDrain;
  if (!reload) return SignalAction::kNone;
  std::string error, warning;
  if (!options_.tlsCert.empty()) {
    if (tls_.Load(options_.tlsCert, options_.tlsKey, &error))
      Log(0, "TLS: certificate %s reloaded", options_.tlsCert.c_str());
    else
      Log(0, "%s; the certificate loaded before stays", error.c_str());
  }
  if (!options_.users.empty()) {
    if (!CheckUsersFile(options_.users, &error, &warning))
      Log(0, "%s", error.c_str());
    else if (!warning.empty())
      Log(0, "%s", warning.c_str());
  }
  MetricsCredentials asked;
  if (!options_.metrics.empty() && !options_.metricsAuth.empty()) {
    if (asked.Load(options_.metricsAuth, &error))
      metrics_.Ask(asked);
    else
      Log(0, "metrics: %s; the secret loaded before stays", error.c_str());
  }
  Log(0, "reloaded on SIGHUP");
  return SignalAction::kNone;
}

bool Server::BeginRequest() {
  std::lock_guard<std::mutex> lock(runMutex_);
  if (closed_) return false;
  ++running_;
  return true;
}

void Server::EndRequest() {
  std::lock_guard<std::mutex> lock(runMutex_);
  --running_;
}

bool Server::Drained(std::chrono::steady_clock::time_point deadline) {
  std::lock_guard<std::mutex> lock(runMutex_);
  if (running_ > 0 && std::chrono::steady_clock::now() < deadline) return false;
  if (running_ > 0) Log(0, "drain timeout: %d sessions still running are cut off", running_);
  closed_ = true;  // no request starts from now on
  return true;
}

std::string Server::Session(Link* link, const std::string& peer, Slot* slot) {
  Log(0, "%s: connection started%s", peer.c_str(), link->Encrypted() ? " (TLS)" : "");
  velsrv::Session session(options_, engine_.get(), peer);
  session.SetConnection(&guard_, link->Encrypted());
  session.SetDraining(&draining_);
  session.SetCancelKey(RegisterCancel(session.Limit()));
  struct Unregister {
    Server* server;
    uint64_t key;
    ~Unregister() { server->UnregisterCancel(key); }
  } unregister{this, session.CancelKey()};
  // A client waits for each reply and sends nothing meanwhile: the socket
  // shows only its hang-up.
  const int fd = link->Fd();
  session.SetAbandoned([fd] {
    pollfd p = {fd, POLLRDHUP, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
  });
  std::vector<uint8_t> body;
  std::string reply, why;
  struct Running {
    Server* server;
    bool held = false;
    void Release() {
      if (held) server->EndRequest();
      held = false;
    }
    ~Running() { Release(); }
  } running{this};
  for (;;) {
    uint8_t header[kRequestHeaderSize];
    if (!link->Read(header, sizeof header)) {
      why = session.LoggedIn() ? "client vanished without logging out"
                               : "client closed the connection";
      break;
    }
    uint32_t length = 0;
    uint16_t code = 0;
    DecodeRequestHeader(header, &length, &code);
    if (length > options_.maxFrame) {
      why = "frame of " + std::to_string(length) + " bytes exceeds --max-frame";
      break;
    }
    body.resize(length);
    if (length && !link->Read(body.data(), length)) {
      why = "client vanished in the middle of a request";
      break;
    }
    // A session counts as running from a request's arrival until a reply
    // leaves it without an open cursor or transaction.
    if (!running.held && !(running.held = BeginRequest())) {
      why = "server stopping";
      break;
    }
    if (FrameTrace()) {
      std::vector<uint8_t> frame(header, header + sizeof header);
      frame.insert(frame.end(), body.begin(), body.end());
      if (code == Msg::kConnect) MaskPassword(frame.data() + sizeof header, length);
      LogFrame(("request from " + peer).c_str(), frame.data(), frame.size());
    }
    Log(1, "%s: request %u, %u bytes", peer.c_str(), code, length);
    session.CountRequest();
    if (code == Msg::kCancel && !session.LoggedIn()) {
      slot->Release();
      why = ServeCancel(link, body.data(), length, peer);
      break;
    }
    const Stopwatch stopwatch;
    if (!Dispatch(&session, code, body.data(), length, &reply, &why)) break;
    ObserveRequest(code, stopwatch.Seconds());
    CountBytes(sizeof header + length, reply.size());
    LogFrame(("reply to " + peer).c_str(), reinterpret_cast<const uint8_t*>(reply.data()),
             reply.size());
    // The logout reply frees the slot: the client may connect again as
    // soon as it has read it.
    if (session.Finished()) slot->Release();
    if (!link->Write(reply.data(), reply.size())) {
      why = "cannot send the reply";
      break;
    }
    if (session.Finished()) {
      why = "logged out";
      break;
    }
    if (!session.Busy()) running.Release();
    if (body.capacity() > (1u << 20)) std::vector<uint8_t>().swap(body);  // keep idle memory small
  }
  if (stopping_) why = "server stopping";
  return why;
}

int Server::Run() {
  std::string error, warning;
  if (!options_.tlsCert.empty()) {
    if (!tls_.Load(options_.tlsCert, options_.tlsKey, &error)) {
      Log(0, "%s", error.c_str());
      return 1;
    }
    Log(0, "TLS: certificate %s", options_.tlsCert.c_str());
  }
  if (options_.allowPlaintext)
    Log(0,
        "--allow-plaintext: clients beyond loopback may log in without encryption; their "
        "passwords, statements and rows then cross the network in clear text");
  if (!options_.users.empty()) {
    if (!CheckUsersFile(options_.users, &error, &warning)) {
      Log(0, "%s", error.c_str());
      return 1;
    }
    if (!warning.empty()) Log(0, "%s", warning.c_str());
  }
  if (!Listen(&error)) {
    Log(0, "%s", error.c_str());
    return 1;
  }
  sockaddr_storage bound{};
  socklen_t len = sizeof bound;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &len);
  int port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  if (options_.users.empty()) Log(0, "no --users file: every login is accepted (loopback only)");
  if (!options_.portFile.empty() && !WritePortFile(options_.portFile, port, &error)) {
    Log(0, "%s", error.c_str());
    close(listenFd_);
    return 1;
  }
  Log(0, "listening on %s", AddressText(bound).c_str());
  if (!options_.metrics.empty()) {
    std::string at;
    MetricsCredentials asked;
    // The credentials before the first request can come.
    const bool loaded = asked.Load(options_.metricsAuth, &error);
    if (loaded) metrics_.Ask(asked);
    if (!loaded ||
        !metrics_.Start(options_.metrics, options_.metricsTls ? &tls_ : nullptr, &at, &error)) {
      Log(0, "metrics: %s", error.c_str());
      close(listenFd_);
      return 1;
    }
    const bool loopback = at.compare(0, 4, "127.") == 0 || at.compare(0, 6, "[::1]:") == 0;
    Log(0, "metrics at %s://%s/metrics%s%s", options_.metricsTls ? "https" : "http", at.c_str(),
        !asked.Asked()                                       ? ""
        : options_.metricsAuth.compare(0, 7, "bearer:") == 0 ? " (bearer token)"
                                                             : " (basic authentication)",
        loopback         ? ""
        : !asked.Asked() ? " (beyond loopback: anyone who reaches it reads the server's counters)"
        : !options_.metricsTls ? " (beyond loopback without --metrics-tls: the secret crosses the "
                                 "network in clear text)"
                               : "");
  }

  auto drainDeadline = std::chrono::steady_clock::time_point::max();
  for (;;) {
    const bool accepting = greeting_ < kGreetingWaiters;
    pollfd fds[2] = {{gSignalPipe[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
    int n = poll(fds, accepting ? 2 : 1, accepting && !draining_ ? 1000 : 100);
    if (n < 0 && errno != EINTR) break;
    const SignalAction action = fds[0].revents ? HandleSignals() : SignalAction::kNone;
    if (action == SignalAction::kStop) break;
    if (action == SignalAction::kDrain) {
      draining_ = true;
      drainDeadline =
          std::chrono::steady_clock::now() + std::chrono::seconds(options_.drainTimeout);
      Log(0, "draining: new logins are refused; running statements have %d s to finish",
          options_.drainTimeout);
    }
    if (draining_ && Drained(drainDeadline)) break;
    Reap(false);
    CutSlowGreetings();
    if (n <= 0 || !accepting || !(fds[1].revents & POLLIN)) continue;
    sockaddr_storage from{};
    socklen_t fromLen = sizeof from;
    int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&from), &fromLen, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors or memory: the pending connection stays queued
      // and would wake the loop again at once. Pause (still answering a
      // stop signal) until finished clients have given some back.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        Log(0, "accept: %s; pausing", std::strerror(errno));
        pollfd stop = {gSignalPipe[0], POLLIN, 0};
        poll(&stop, 1, 200);
      }
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lock(mutex_);
    // Threads beyond the limit only answer "too many connections"; a flood
    // past that is closed at once.
    if (clients_.size() >= static_cast<size_t>(options_.maxClients) + 2 * kGreetingWaiters) {
      close(fd);
      Log(0, "%s: refused, too many connections", AddressText(from).c_str());
      continue;
    }
    ++greeting_;
    std::unique_ptr<Client> client(new Client());
    client->fd = fd;
    client->loopback = IsLoopback(reinterpret_cast<sockaddr*>(&from));
    Client* raw = client.get();
    std::string peer = AddressText(from) + "#" + std::to_string(++serial_);
    client->thread = std::thread(&Server::Serve, this, raw, peer);
    clients_.push_back(std::move(client));
  }
  Log(0, "stopping");
  stopping_ = true;
  metrics_.Stop();
  close(listenFd_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& c : clients_)
      if (!c->done && c->fd >= 0) shutdown(c->fd, SHUT_RDWR);
  }
  Reap(true);
  Log(0, "stopped");
  return 0;
}

}  // namespace

int RunServer(const Options& options) {
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    Log(0, "cannot create the signal pipe: %s", std::strerror(errno));
    return 1;
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Under a file size limit (ulimit -f) a write past it would end the
  // whole server; ignored, it fails that one write (EFBIG), and only the
  // session that made it gets an error.
  signal(SIGXFSZ, SIG_IGN);
  Server server(options);
  return server.Run();
}

}  // namespace velsrv
