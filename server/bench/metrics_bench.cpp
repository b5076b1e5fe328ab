// Benchmark (prints figures, asserts nothing): sixteen clients run short
// statements (three point queries, then an insert) against one server with
// its metrics endpoint on, in rounds without and with a scraper that reads
// /metrics every so many milliseconds (0: in a tight loop, which takes a
// core of its own); prints statements per second and the latency spread
// of each round, so that the scraper's cost shows.
//   velora-metrics-bench [--seconds S] [--rounds N] [--every MS] [--server PATH]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Elements.h"
#include "protocol/Request.h"
#include "server/admin/StatusCommand.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 16;
pid_t gServer = -1;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "velora-metrics-bench: %s\n", what);
  if (gServer > 0) kill(gServer, SIGTERM);
  std::exit(1);
}

bool ReadAll(int fd, void* buffer, size_t n) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  for (ssize_t got; n > 0; p += got, n -= static_cast<size_t>(got))
    if ((got = recv(fd, p, n, 0)) <= 0) return false;
  return true;
}

int Exchange(int fd, Request* r) {
  int status = 0;
  if (!r->BuildFrame(&status) ||
      send(fd, r->FrameBytes(), r->FrameLength(), MSG_NOSIGNAL) != ssize_t(r->FrameLength()))
    Die("send failed");
  uint8_t length[4];
  if (!ReadAll(fd, length, 4)) Die("receive failed");
  uint32_t n = length[0] | (length[1] << 8) | (length[2] << 16) | (uint32_t(length[3]) << 24);
  std::vector<uint8_t> body(n);
  if ((n && !ReadAll(fd, body.data(), n)) || !r->DecodeReplyBody(body.data(), n, &status))
    Die("bad reply");
  return r->ReturnCode();
}

// A logged-in connection with one statement; *id receives the statement.
int Login(int port, uint32_t* id) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  uint8_t greeting[80] = {}, status[2];
  std::memcpy(greeting, "L\x06 WIN32 iso8859-1", 18);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      send(fd, greeting, 80, MSG_NOSIGNAL) != 80 || !ReadAll(fd, status, 2) || status[0])
    Die("cannot connect");
  std::unique_ptr<Request> login(Request::CreateRequest(Msg::kConnect));
  if (!login->Get<UserNameElement>()->value.SetString("bench")) Die("no memory");
  std::unique_ptr<Request> alloc(Request::CreateRequest(Msg::kAllocStatement));
  if (Exchange(fd, login.get()) != 0 || Exchange(fd, alloc.get()) != 0) Die("login failed");
  *id = alloc->Get<StatementIdElement>()->value;
  return fd;
}

int Exec(int fd, uint32_t id, const std::string& sql) {
  std::unique_ptr<Request> exec(Request::CreateRequest(Msg::kExecDirect));
  exec->SetStatementId(id);
  if (!exec->Get<StatementElement>()->value.SetString(sql.c_str())) Die("no memory");
  exec->Get<ParameterDataSetElement>()->SetList(new (std::nothrow) ParameterDataList());
  return Exchange(fd, exec.get());
}

struct Round {
  long statements = 0, scrapes = 0;
  std::vector<double> micros;
};

Round Run(int port, double seconds, bool scrape, int everyMs, const std::string& metrics) {
  std::atomic<bool> stop{false};
  std::vector<Round> per(kClients);
  std::vector<std::thread> clients;
  Round total;
  std::thread scraper([&] {
    std::string text, error;
    while (scrape && !stop)
      if (velsrv::ScrapeMetrics(metrics, 5, &text, &error) && ++total.scrapes && everyMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
  });
  for (int k = 0; k < kClients; ++k)
    clients.emplace_back([&, k] {
      uint32_t id = 0;
      int fd = Login(port, &id);
      for (long n = 0; !stop; ++n) {
        const std::string sql = n % 4 == 3 ? "INSERT INTO t VALUES (" + std::to_string(k) + ", 1)"
                                           : "SELECT k FROM t WHERE rowid = " + std::to_string(n);
        const auto start = Clock::now();
        if (Exec(fd, id, sql) != 0) Die("statement failed");
        per[k].micros.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      }
      close(fd);
    });
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop = true;
  for (auto& c : clients) c.join();
  scraper.join();
  for (const Round& r : per)
    total.micros.insert(total.micros.end(), r.micros.begin(), r.micros.end());
  total.statements = static_cast<long>(total.micros.size());
  std::sort(total.micros.begin(), total.micros.end());
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 5;
  int rounds = 3, everyMs = 100;
  std::string server = VEL_BENCH_SERVER_PATH;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--every") == 0) everyMs = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--server") == 0) server = argv[i + 1];
  }
  char dir[] = "/tmp/velmetricsbench.XXXXXX";
  if (!mkdtemp(dir)) Die("no temporary folder");
  const std::string db = std::string(dir) + "/bench.db";
  int log[2];
  if (pipe(log) != 0) Die("no pipe");
  gServer = fork();
  if (gServer == 0) {
    dup2(log[1], 2);
    execl(server.c_str(), server.c_str(), "--port", "0", "--database", db.c_str(), "--metrics",
          "127.0.0.1:0", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(log[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while (text.find("/metrics") == std::string::npos &&
         (n = read(log[0], buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  const size_t on = text.find("listening on 127.0.0.1:"), at = text.find("http://");
  if (on == std::string::npos || at == std::string::npos) Die("the server did not start");
  const int port = std::atoi(text.c_str() + on + 23);
  const std::string metrics = text.substr(at + 7, text.find("/metrics") - at - 7);
  uint32_t id = 0;
  int fd = Login(port, &id);
  if (Exec(fd, id, "CREATE TABLE t (k INTEGER, v INTEGER)") != 0) Die("no table");
  close(fd);
  std::printf(
      "%d clients, %.0f s a round, a scrape every %d ms: statements/s, p50 and p99 "
      "latency (us)\n",
      kClients, seconds, everyMs);
  for (int r = 0; r < 2 * rounds; ++r) {
    const bool scrape = r % 2 == 1;
    Round x = Run(port, seconds, scrape, everyMs, metrics);
    auto at = [&](double q) {
      return x.micros.empty() ? 0 : x.micros[size_t(q * (x.micros.size() - 1))];
    };
    std::printf("%-16s %9.0f/s  p50 %7.0f  p99 %7.0f  scrapes %ld (%.0f/s)\n",
                scrape ? "with scraper" : "without", x.statements / seconds, at(0.5), at(0.99),
                x.scrapes, x.scrapes / seconds);
  }
  kill(gServer, SIGTERM);
  waitpid(gServer, nullptr, 0);
  unlink(db.c_str());
  std::string wal = db + "-wal", shm = db + "-shm";
  unlink(wal.c_str());
  unlink(shm.c_str());
  rmdir(dir);
  return 0;
}
