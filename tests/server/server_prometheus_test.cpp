// The real Prometheus server (Debian's prometheus package) scrapes the
// metrics endpoint over HTTPS with a bearer token, on loopback and through
// an idle-connection flood; a query through its HTTP API returns what a
// client's statements moved. Exit status 77 (skipped) without prometheus.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "server_client.h"

namespace {

const char kPrometheus[] = "/usr/bin/prometheus";

// A free loopback port, for Prometheus's own web listener.
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// The value of the first sample of a query through Prometheus's HTTP API
// ("" when it has none or does not answer).
std::string Query(int port, const std::string& expression) {
  std::string path = "/api/v1/query?query=";
  for (unsigned char c : expression) {
    char hex[4];
    snprintf(hex, sizeof hex, "%%%02X", c);
    path += isalnum(c) || c == '_' ? std::string(1, char(c)) : hex;
  }
  const int fd = ConnectFrom(1, port);
  const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
  std::string in;
  if (fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
    char buffer[4096];
    pollfd p = {fd, POLLIN, 0};
    for (ssize_t n; poll(&p, 1, 5000) == 1 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) in.append(buffer, n);
  }
  close(fd);
  // ..."result":[{"metric":{...},"value":[1733000000.123,"3"]}]...
  const size_t at = in.find("\"value\":[");
  const size_t quote = at == std::string::npos ? at : in.find(",\"", at);
  return quote == std::string::npos ? "" : in.substr(quote + 2, in.find('"', quote + 2) - quote - 2);
}

TEST(Prometheus, ScrapesTheEndpointThroughAFloodAndAnswersQueries) {
  VeloraServer server;
  const std::string folder = server.Folder(), token = folder + "/token";
  ASSERT_TRUE(MakeTestCertificate(folder + "/cert", "localhost"));
  FILE* f = fopen(token.c_str(), "w");
  fputs("pr0metheus-token\n", f);
  fclose(f);
  ASSERT_TRUE(server.Start({"--metrics", "127.0.0.1:0", "--metrics-tls", "--tls-cert", folder + "/cert.pem",
                            "--tls-key", folder + "/cert.key", "--metrics-auth", "bearer:" + token}))
      << server.Error();
  ASSERT_TRUE(server.WaitForLog("metrics at https://127.0.0.1:"));
  const std::string log = server.Log();
  const int metricsPort = std::stoi(log.substr(log.find("metrics at https://127.0.0.1:") + 29));
  // Loopback only: one scrape target, no alerting, no remote storage.
  const int webPort = FreePort();
  f = fopen((folder + "/prometheus.yml").c_str(), "w");
  fprintf(f,
          "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
          "scrape_configs:\n  - job_name: velora\n    scheme: https\n"
          "    authorization:\n      type: Bearer\n      credentials_file: %s\n"
          "    tls_config:\n      ca_file: %s/cert.pem\n      server_name: localhost\n"
          "    static_configs:\n      - targets: ['127.0.0.1:%d']\n",
          token.c_str(), folder.c_str(), metricsPort);
  fclose(f);
  const pid_t prometheus = fork();
  if (prometheus == 0) {
    const std::string config = "--config.file=" + folder + "/prometheus.yml",
                      storage = "--storage.tsdb.path=" + folder + "/tsdb",
                      web = "--web.listen-address=127.0.0.1:" + std::to_string(webPort);
    freopen((folder + "/prometheus.log").c_str(), "w", stderr);
    execl(kPrometheus, kPrometheus, config.c_str(), storage.c_str(), web.c_str(), "--log.level=debug",
          static_cast<char*>(nullptr));  // debug: a failed scrape says why
    _exit(127);
  }
  ASSERT_GT(prometheus, 0);
  Client c;
  ASSERT_EQ(c.Connect(server.Port(), "any", "alice", "secret"), 0);
  const uint32_t s = c.Alloc();
  ASSERT_EQ(c.Exec(s, "CREATE TABLE t (n INTEGER)"), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(c.Exec(s, "INSERT INTO t VALUES (1)"), 0);
  std::string updates, rows, up;
  {
    IdleFlood flood(metricsPort, 24);
    // At most 20 s: Prometheus's start and a few scrapes a second apart.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < limit &&
           (updates != "3" || rows != "3" || Query(webPort, "count_over_time(up{job=\"velora\"}[1m])") < "4")) {
      usleep(250000);
      updates = Query(webPort, "velora_statements_total{kind=\"update\"}");
      rows = Query(webPort, "velora_rows_written_total");
    }
    EXPECT_GT(flood.Reopened(), 20) << "the flood did not go on";
  }
  // Every scrape succeeded (up is 0 for a failed one).
  up = Query(webPort, "min_over_time(up{job=\"velora\"}[1m])");
  const std::string scrapes = Query(webPort, "count_over_time(up{job=\"velora\"}[1m])");
  kill(prometheus, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100 && waitpid(prometheus, &status, WNOHANG) == 0; ++i) usleep(50000);
  if (waitpid(prometheus, &status, WNOHANG) == 0) {
    kill(prometheus, SIGKILL);
    waitpid(prometheus, &status, 0);
  }
  EXPECT_EQ(updates, "3");
  EXPECT_EQ(rows, "3");
  EXPECT_EQ(up, "1") << scrapes << " scrapes";
  EXPECT_GE(scrapes, "4");
  if (HasFailure()) {
    std::string text;
    FILE* l = fopen((folder + "/prometheus.log").c_str(), "r");
    char line[512];
    while (l && fgets(line, sizeof line, l)) text += line;
    if (l) fclose(l);
    ADD_FAILURE() << "prometheus said:\n" << text;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (access(kPrometheus, X_OK) != 0) {
    std::printf("%s is not installed (Debian's prometheus package): skipped\n", kPrometheus);
    return 77;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
