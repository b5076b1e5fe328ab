// Benchmark (prints figures, asserts nothing): round trips per second over
// loopback for a bare request/reply ping-pong with no server behind it,
// for the server's cheapest request, and for fetching one small row, so
// that the server's own cost per request is visible.
//   velora-protocol-bench [--seconds S] [--server PATH]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Elements.h"
#include "protocol/Request.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t gServer = -1;

// Reports the failure and stops the benchmark's server with it.
[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "velora-protocol-bench: %s\n", what);
  if (gServer > 0) {
    kill(gServer, SIGTERM);
    waitpid(gServer, nullptr, 0);
  }
  std::exit(1);
}

bool ReadAll(int fd, void* buffer, size_t n) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  while (n > 0) {
    ssize_t got = recv(fd, p, n, 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const void* buffer, size_t n) {
  return send(fd, buffer, n, MSG_NOSIGNAL) == static_cast<ssize_t>(n);
}

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) Die("cannot connect");
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// One request frame out, one reply frame in; the reply body is decoded
// into the request.
int Exchange(int fd, Request* r) {
  int status = 0;
  if (!r->BuildFrame(&status) || !WriteAll(fd, r->FrameBytes(), r->FrameLength()))
    Die("send failed");
  uint8_t length[4];
  if (!ReadAll(fd, length, 4)) Die("receive failed");
  uint32_t n =
      length[0] | (length[1] << 8) | (length[2] << 16) | (static_cast<uint32_t>(length[3]) << 24);
  std::vector<uint8_t> body(n);
  if (n && !ReadAll(fd, body.data(), n)) Die("receive failed");
  if (!r->DecodeReplyBody(body.data(), n, &status)) Die("reply does not decode");
  return r->ReturnCode();
}

template <typename Fn>
double RoundTripsPerSecond(double seconds, Fn once) {
  for (int i = 0; i < 200; ++i) once();  // warm up
  long count = 0;
  Clock::time_point start = Clock::now();
  Clock::time_point end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  while (Clock::now() < end) {
    for (int i = 0; i < 100; ++i) once();
    count += 100;
  }
  return count / std::chrono::duration<double>(Clock::now() - start).count();
}

// Loopback echo of frames shaped like the server's smallest exchange:
// a 10-byte request in, a 6-byte reply out.
double BarePingPong(double seconds) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0)
    Die("cannot listen");
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::thread echo([listener] {
    int fd = accept(listener, nullptr, nullptr);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint8_t in[10], out[6] = {2, 0, 0, 0, 0, 0};
    while (ReadAll(fd, in, sizeof in) && WriteAll(fd, out, sizeof out)) {
    }
    close(fd);
  });
  int fd = Connect(ntohs(a.sin_port));
  uint8_t request[10] = {4, 0, 0, 0, 18, 0, 1, 0, 0, 0}, reply[6];
  double rate = RoundTripsPerSecond(seconds, [&] {
    if (!WriteAll(fd, request, sizeof request) || !ReadAll(fd, reply, sizeof reply))
      Die("echo failed");
  });
  close(fd);
  echo.join();
  close(listener);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 2;
  std::string server = VEL_BENCH_SERVER_PATH;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0)
      seconds = std::atof(argv[i + 1]);
    else if (std::strcmp(argv[i], "--server") == 0)
      server = argv[i + 1];
  }
  char dir[] = "/tmp/velbench.XXXXXX";
  if (!mkdtemp(dir)) Die("no temporary folder");
  std::string portFile = std::string(dir) + "/port", db = std::string(dir) + "/bench.db";
  int pipeFds[2];
  if (pipe(pipeFds) != 0) Die("no pipe");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], 2);
    execl(server.c_str(), server.c_str(), "--port", "0", "--port-file", portFile.c_str(),
          "--database", db.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  gServer = pid;
  // The server reports "listening on" once its port file is written.
  std::string log;
  char buffer[512];
  ssize_t n;
  while (log.find("listening on") == std::string::npos &&
         (n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
    log.append(buffer, static_cast<size_t>(n));
  int port = 0;
  std::ifstream(portFile) >> port;
  if (port <= 0) Die("the server did not start");

  int fd = Connect(port);
  uint8_t greeting[80] = {};
  std::memcpy(greeting, "L\x06 WIN32 iso8859-1", 18);
  uint8_t status[2];
  if (!WriteAll(fd, greeting, 80) || !ReadAll(fd, status, 2) || status[0] || status[1])
    Die("greeting refused");
  std::unique_ptr<Request> connect(Request::CreateRequest(Msg::kConnect));
  if (!connect->Get<UserNameElement>()->value.SetString("bench")) Die("no memory");
  if (Exchange(fd, connect.get()) != 0) Die("login failed");
  std::unique_ptr<Request> alloc(Request::CreateRequest(Msg::kAllocStatement));
  if (Exchange(fd, alloc.get()) != 0) Die("no statement");
  uint32_t id = alloc->Get<StatementIdElement>()->value;

  std::unique_ptr<Request> exec(Request::CreateRequest(Msg::kExecDirect));
  exec->SetStatementId(id);
  // A cursor that never ends: every fetch returns the same small row.
  if (!exec->Get<StatementElement>()->value.SetString(
          "WITH RECURSIVE r(i, name, amount) AS (SELECT 1, 'small row', 12.5 UNION ALL "
          "SELECT i + 1, name, amount FROM r) SELECT i, name, amount FROM r"))
    Die("no memory");
  ParameterDataList* none = new (std::nothrow) ParameterDataList();
  exec->Get<ParameterDataSetElement>()->SetList(none);
  if (Exchange(fd, exec.get()) != 0) Die("query failed");

  std::unique_ptr<Request> fetch(Request::CreateRequest(Msg::kFetch));
  fetch->SetStatementId(id);
  ShortVectorElement* wanted = fetch->Get<ColumnNumberVectorElement>();
  wanted->SetCount(3);
  for (uint16_t i = 0; i < 3; ++i) wanted->SetAt(i, static_cast<uint16_t>(i + 1));
  std::unique_ptr<Request> rowNumber(Request::CreateRequest(Msg::kGetRowNumber));
  rowNumber->SetStatementId(id);

  if (Exchange(fd, fetch.get()) != 0) Die("fetch failed");  // the row number needs a current row
  double bare = BarePingPong(seconds);
  double cheapest = RoundTripsPerSecond(seconds, [&] {
    if (Exchange(fd, rowNumber.get()) != 0) Die("row number failed");
  });
  double fetches = RoundTripsPerSecond(seconds, [&] {
    if (Exchange(fd, fetch.get()) != 0) Die("fetch failed");
  });
  std::printf("loopback round trips per second (%.1f s each):\n", seconds);
  std::printf("  bare ping-pong, no server      %10.0f /s  %7.1f us\n", bare, 1e6 / bare);
  std::printf("  server, row-number request     %10.0f /s  %7.1f us\n", cheapest, 1e6 / cheapest);
  std::printf("  server, fetch of a small row   %10.0f /s  %7.1f us\n", fetches, 1e6 / fetches);
  std::printf(
      "  server cost per request: %.1f us (row number), %.1f us (fetch) above the bare exchange\n",
      1e6 / cheapest - 1e6 / bare, 1e6 / fetches - 1e6 / bare);

  close(fd);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::string cleanup = std::string("rm -rf '") + dir + "'";
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
