// The metrics endpoint of a real server: each metric moves by what clients
// did, the text keeps the exposition format's rules, the endpoint keeps its
// bounds, the status command reads it, and the real Prometheus server
// (Debian's prometheus package; skipped without it) scrapes it.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

#include "server/metrics/MetricsParse.h"
#include "server/admin/StatusCommand.h"
#include "server_client.h"
#include "support/socket_io.h"

namespace {

using velsrv::MetricSample;
using velsrv::SumOf;
using Labels = std::map<std::string, std::string>;

const char kOddSource[] = "q\"u\\o\nte";  // a data source name that needs escaping

class ServerMetrics : public ::testing::Test {
 protected:
  // Options beyond the endpoint's address, for fixtures that secure it.
  virtual std::vector<std::string> Extra() { return {}; }
  void SetUp() override {
    server.AddUser("alice", "secret");
    std::vector<std::string> args = {"--metrics",      "127.0.0.1:0",
                                     "--lock-timeout", "1",
                                     "--datasource",   std::string(kOddSource) + "=" + server.Folder() + "/odd.db"};
    for (const std::string& a : Extra()) args.push_back(a);
    ASSERT_TRUE(server.Start(args)) << server.Error();
    ASSERT_TRUE(server.WaitForLog("/metrics"));
    const std::string log = server.Log();
    port = std::stoi(log.substr(log.find("://127.0.0.1:", log.find("metrics at ")) + 13));
    address = "127.0.0.1:" + std::to_string(port);
  }
  // Writes text to a file of the server's folder; its path.
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = server.Folder() + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  std::vector<MetricSample> Scrape() {
    std::string text, error;
    std::vector<MetricSample> samples;
    EXPECT_TRUE(velsrv::ScrapeMetrics(address, 10, &text, &error, way)) << error;
    EXPECT_TRUE(velsrv::ParseMetrics(text, &samples, &error)) << error;
    last = text;
    return samples;
  }
  // Sends raw bytes on a new connection (from 127.0.0.from); the answer's
  // status line, up to the peer's close (its head in lastHead).
  std::string Http(const std::string& bytes, int* keep = nullptr, int from = 1) {
    int fd = ConnectFrom(from, port);
    EXPECT_GE(fd, 0);
    if (keep) return *keep = fd, "";
    return Answer(fd, bytes);
  }
  std::string Answer(int fd, const std::string& bytes) {
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    std::string in;
    char buffer[4096];
    pollfd p = {fd, POLLIN, 0};
    ssize_t n;
    while (poll(&p, 1, 10000) == 1 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0) in.append(buffer, n);
    close(fd);
    lastAnswer = in;
    lastHead = in.substr(0, in.find("\r\n\r\n"));
    return in.substr(0, in.find("\r\n"));
  }
  VeloraServer server;
  int port = 0;
  std::string address, last, lastHead, lastAnswer;
  velsrv::ScrapeWay way;
};

// Every change is measured against a scrape before it.
TEST_F(ServerMetrics, EachMetricMovesByWhatClientsDid) {
  const auto before = Scrape();
  Client c, odd, wrong;
  ASSERT_EQ(c.Connect(server.Port(), "any", "alice", "secret"), 0);
  ASSERT_EQ(odd.Connect(server.Port(), kOddSource, "alice", "secret"), 0);
  EXPECT_EQ(wrong.Connect(server.Port(), "any", "alice", "wrong"), -1);
  const uint32_t s = c.Alloc();
  ASSERT_EQ(c.Exec(s, "CREATE TABLE t (n INTEGER)"), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO t VALUES (1), (2), (3)"), 0);
  ASSERT_EQ(c.Query(s, "SELECT n FROM t", 1).size(), 3u);
  ASSERT_EQ(c.Call(Msg::kTables, s), 0);
  ASSERT_EQ(c.Call(Msg::kFreeStatement, s, 0), 0);
  ExecuteBatchRequest batch;  // no sets: one batch, nothing run
  batch.SetStatementId(s);
  EXPECT_EQ(1, batch.Get<StatementElement>()->value.SetString("INSERT INTO t VALUES (8)"));
  ASSERT_EQ(c.Exchange(&batch), 0);
  ASSERT_EQ(c.Exec(s, "SELECT * FROM missing"), -1);
  const std::string state = c.State(s);
  // A writer waits for an open write transaction, once until its commit
  // and once until --lock-timeout.
  const bool sqlite = !OnPostgres();
  if (sqlite) {
    Client w;
    ASSERT_EQ(w.Connect(server.Port(), "any", "alice", "secret"), 0);
    const uint32_t ws = w.Alloc();
    ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
    ASSERT_EQ(c.Exec(s, "INSERT INTO t VALUES (4)"), 0);
    int rc = 1;
    std::thread writer([&] { rc = w.Exec(ws, "INSERT INTO t VALUES (5)"); });
    for (int i = 0; i < 1000 && SumOf(Scrape(), "velora_writers_waiting") == 0; ++i) usleep(10000);
    EXPECT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
    writer.join();
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(c.Exec(s, "INSERT INTO t VALUES (6)"), 0);
    EXPECT_EQ(w.Outcome(w.Exec(ws, "INSERT INTO t VALUES (7)"), ws), "-1 S1T00");
    EXPECT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
    EXPECT_EQ(w.Call(Msg::kDisconnect, 0), 0);
  }
  const auto after = Scrape();
  auto moved = [&](const std::string& name, const Labels& labels = {}) {
    return SumOf(after, name, labels) - SumOf(before, name, labels);
  };
  const double n = sqlite ? 1 : 0;
  // clang-format off
  const struct { const char* name; Labels labels; double delta; } kExpected[] = {
      {"velora_sessions_started_total", {{"datasource", "default"}, {"tls", "no"}}, 1 + n},
      {"velora_sessions_started_total", {{"datasource", kOddSource}}, 1},
      {"velora_sessions_open", {}, 2},
      {"velora_logins_refused_total", {{"reason", "password"}}, 1},
      {"velora_logins_refused_total", {}, 1},
      {"velora_statements_total", {{"kind", "ddl"}}, 1},
      {"velora_statements_total", {{"kind", "update"}}, 1 + 3 * n},
      {"velora_statements_total", {{"kind", "query"}}, 1},
      {"velora_statements_total", {{"kind", "catalog"}}, 1},
      {"velora_statements_total", {{"kind", "batch"}}, 1},
      {"velora_statement_errors_total", {}, 1 + n},
      {"velora_statement_errors_total", {{"class", "S1"}}, (state < "S2" && state >= "S1") + n},
      {"velora_statement_errors_total", {{"class", state.substr(0, 2)}}, state < "S2" && state >= "S1" ? 1 + n : 1},
      {"velora_rows_fetched_total", {}, 3},
      {"velora_rows_written_total", {}, 3 + 3 * n},
      {"velora_request_duration_seconds_count", {{"message", "Connect"}}, 3 + n},
      {"velora_request_duration_seconds_count", {{"message", "ExecDirect"}}, 4 + 4 * n},
      {"velora_request_duration_seconds_count", {{"message", "Fetch"}}, 4},
      {"velora_writer_wait_seconds_count", {}, 2 * n},
      {"velora_writers_waiting", {}, 0},
      {"velora_lock_timeouts_total", {}, n},
  };
  // clang-format on
  for (const auto& e : kExpected)
    EXPECT_EQ(moved(e.name, e.labels), e.delta) << e.name << " " << (e.labels.empty() ? "" : e.labels.rbegin()->second);
  EXPECT_GT(moved("velora_received_bytes_total"), 0);
  EXPECT_GT(moved("velora_sent_bytes_total"), moved("velora_received_bytes_total") / 100);
  EXPECT_GT(moved("velora_postgres_round_trip_seconds_count"), OnPostgres() ? 5 : -1);
  EXPECT_EQ(SumOf(after, "velora_build_info", {{"version", VEL_VERSION}}), 1);
  EXPECT_GT(SumOf(after, "velora_process_open_fds"), 3);
  EXPECT_GT(SumOf(after, "velora_process_resident_memory_bytes"), 1e6);
  // The start time has fractions of a second; time() cuts them off.
  EXPECT_LE(SumOf(after, "velora_process_start_time_seconds"), double(time(nullptr)) + 1);
  // Every family has its HELP and TYPE, names carry the prefix, counters
  // their suffix.
  for (const MetricSample& m : after) EXPECT_EQ(m.name.compare(0, 7, "velora_"), 0) << m.name;
  for (size_t at = 0; (at = last.find("# TYPE ", at)) != std::string::npos; ++at) {
    const std::string name = last.substr(at + 7, last.find(' ', at + 7) - at - 7);
    EXPECT_NE(last.find("# HELP " + name + " "), std::string::npos) << name;
    const bool counter = last.compare(last.find(' ', at + 7) + 1, 8, "counter\n") == 0;
    EXPECT_TRUE(!counter || name.substr(name.size() - 6) == "_total") << name;
  }
}

TEST(MetricsText, BreakingARuleIsFound) {
  const char* kBroken[] = {
      "velora_a{x=\"a\\q\"} 1\n",                            // bad escape
      "velora_a 1\n# TYPE velora_a counter\n",               // TYPE after a sample
      "# TYPE velora_a counter\n# TYPE velora_a counter\n",  // TYPE twice
      "1velora 1\n",                                         // name
      "velora_a{__x=\"1\"} 1\n",                             // reserved label name
      "velora_a 1\nvelora_b 1\nvelora_a{x=\"1\"} 2\n",       // family apart
      "velora_a{x=\"1\"} 1\nvelora_a{x=\"1\"} 2\n",          // repeated sample
      "velora_a one\n",                                      // value
      "# TYPE h histogram\nh_bucket{le=\"1\"} 2\nh_bucket{le=\"+Inf\"} 1\nh_sum 1\nh_count 1\n",
      "# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_sum 1\nh_count 1\n",
      "# TYPE h histogram\nh_bucket{le=\"+Inf\"} 1\nh_sum 1\nh_count 2\n",
      "velora_a 1",  // no final line end
  };
  std::vector<MetricSample> samples;
  std::string error;
  for (const char* text : kBroken) EXPECT_FALSE(velsrv::ParseMetrics(text, &samples, &error)) << text;
  ASSERT_TRUE(velsrv::ParseMetrics("# HELP a x\\\\y\\n\na{b=\"\\\"\\\\\\n\",c=\"\"} 1e3 17\n", &samples, &error))
      << error;
  EXPECT_EQ(samples.at(0).labels.at("b"), "\"\\\n");
  EXPECT_EQ(samples.at(0).value, 1000);
}

TEST_F(ServerMetrics, TheEndpointKeepsItsBounds) {
  // clang-format off
  const struct { std::string request, status; } kCases[] = {
      {"GET /metrics?x=1 HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK"},
      {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
      {"POST /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
      {"GET /metrics\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET /metrics HTTP/1.1\r\nX: " + std::string(10000, 'a'), "HTTP/1.1 431 Request Header Fields Too Large"},
  };
  // clang-format on
  for (const auto& c : kCases) EXPECT_EQ(Http(c.request), c.status) << c.request;
  // Beyond the bound of connections, a new one takes the place of the
  // oldest that has sent no request; the others are served.
  std::vector<int> held(12);
  for (int& fd : held) Http("", &fd, 2 + int(&fd - &held[0]) % 3);
  EXPECT_EQ(Http("GET /metrics HTTP/1.1\r\n\r\n"), "HTTP/1.1 200 OK");
  EXPECT_EQ(Answer(held.back(), "GET /metrics HTTP/1.1\r\n\r\n"), "HTTP/1.1 200 OK");
  for (size_t i = 0; i + 1 < held.size(); ++i) close(held[i]);
}

// Idle connections, many more than the endpoint serves at once, from one
// address and from several, each reopened as soon as it is closed: every
// scrape still gets its answer.
TEST_F(ServerMetrics, AnIdleFloodDoesNotStopScrapes) {
  IdleFlood flood(port, 24);
  for (int i = 0; i < 40; ++i) {
    usleep(50000);
    std::string text, error;
    EXPECT_TRUE(velsrv::ScrapeMetrics(address, 5, &text, &error)) << i << ": " << error;
  }
  EXPECT_GT(flood.Reopened(), 10) << "the flood did not go on";
}

// Authentication: a bearer token over HTTP (the table), basic
// authentication and TLS (the scrapes below).
class SecuredMetrics : public ServerMetrics {
 protected:
  std::vector<std::string> Extra() override { return {"--metrics-auth", "bearer:" + Write("token", "s3cret-token\n")}; }
};

TEST_F(SecuredMetrics, OnlyTheTokenOpensIt) {
  // clang-format off
  const struct { const char* authorization; const char* status; } kCases[] = {
      {nullptr, "HTTP/1.1 401 Unauthorized"},
      {"Bearer s3cret-token", "HTTP/1.1 200 OK"},
      {"bearer   s3cret-token  ", "HTTP/1.1 200 OK"},  // the scheme without case, spaces around
      {"Bearer s3cret-tokem", "HTTP/1.1 401 Unauthorized"},
      {"Bearer s3cret-toke", "HTTP/1.1 401 Unauthorized"},
      {"Bearer s3cret-token2", "HTTP/1.1 401 Unauthorized"},
      {"Bearer ", "HTTP/1.1 401 Unauthorized"},
      {"Basic czNjcmV0LXRva2Vu", "HTTP/1.1 401 Unauthorized"},  // the token as a basic secret
      {"s3cret-token", "HTTP/1.1 401 Unauthorized"},
  };
  // clang-format on
  for (const auto& c : kCases) {
    const std::string header = c.authorization ? std::string("Authorization: ") + c.authorization + "\r\n" : "";
    EXPECT_EQ(Http("GET /metrics HTTP/1.1\r\n" + header + "\r\n"), c.status) << header;
    const bool refused = lastHead.find("401") != std::string::npos;
    EXPECT_EQ(lastHead.find("\r\nWWW-Authenticate: Bearer realm=") != std::string::npos, refused) << header;
  }
  // Refused before anything else is looked at.
  EXPECT_EQ(Http("GET /other HTTP/1.1\r\n\r\n"), "HTTP/1.1 401 Unauthorized");
  // A new secret counts from SIGHUP on.
  Write("token", "n3w-token\n");
  kill(server.Pid(), SIGHUP);
  ASSERT_TRUE(server.WaitForLog("reloaded on SIGHUP"));
  EXPECT_EQ(Http("GET /metrics HTTP/1.1\r\nAuthorization: Bearer s3cret-token\r\n\r\n"), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(Http("GET /metrics HTTP/1.1\r\nAuthorization: Bearer n3w-token\r\n\r\n"), "HTTP/1.1 200 OK");
}

class TlsMetrics : public ServerMetrics {
 protected:
  std::vector<std::string> Extra() override {
    EXPECT_TRUE(MakeTestCertificate(server.Folder() + "/cert", "localhost"));
    EXPECT_TRUE(MakeTestCertificate(server.Folder() + "/other", "localhost"));
    return {"--metrics-tls", "--tls-cert", server.Folder() + "/cert.pem", "--tls-key", server.Folder() + "/cert.key",
            // a user and password for basic authentication
            "--metrics-auth", "basic:" + Write("secret", "prom:pa55:word\n")};
  }
};

TEST_F(TlsMetrics, ScrapedOverHttpsWithBasicAuthentication) {
  const std::string cert = server.Folder() + "/cert.pem";
  // error: "" for a scrape
  // clang-format off
  const struct { std::string authorization, certificate, error; } kCases[] = {
      {"Basic cHJvbTpwYTU1OndvcmQ=", cert, ""},
      {"Basic cHJvbTpwYTU1OndvcmQK", cert, "answered HTTP/1.1 401 Unauthorized"},
      {"", cert, "answered HTTP/1.1 401 Unauthorized"},
      {"Basic cHJvbTpwYTU1OndvcmQ=", server.Folder() + "/other.pem", "another certificate"},
      {"Basic cHJvbTpwYTU1OndvcmQ=", "", "answered HTTP/1.1 400 Bad Request"},  // plain HTTP
  };
  // clang-format on
  for (const auto& c : kCases) {
    std::string text, error;
    way = {c.authorization, c.certificate};
    EXPECT_EQ(velsrv::ScrapeMetrics(address, 10, &text, &error, way), c.error.empty()) << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  way = {"Basic cHJvbTpwYTU1OndvcmQ=", cert};
  Client c;
  ASSERT_EQ(c.Connect(server.Port(), "any", "alice", "secret"), 0);
  EXPECT_EQ(SumOf(Scrape(), "velora_sessions_open"), 1);
  EXPECT_NE(server.Log().find("metrics at https://127.0.0.1:"), std::string::npos);
  // The status command finds the secret and the certificate in the
  // configuration file.
  const std::string config =
      Write("status.conf", "metrics = " + address + "\nmetrics-tls = yes\ntls-cert = " + cert + "\ntls-key = " +
                               server.Folder() + "/cert.key\nmetrics-auth = basic:" + server.Folder() + "/secret\n");
  FILE* pipe = popen((std::string(VEL_SERVER_PATH) + " status --interval 0 --config " + config + " 2>&1").c_str(), "r");
  char line[256] = "";
  EXPECT_NE(fgets(line, sizeof line, pipe), nullptr);
  pclose(pipe);
  EXPECT_EQ(std::string(line).find("velora-server " VEL_VERSION " at " + address), 0u) << line;
}

TEST_F(ServerMetrics, StatusSummarisesOrSaysTheEndpointIsOff) {
  auto status = [](const std::string& args, int* code) {
    FILE* pipe = popen((std::string(VEL_SERVER_PATH) + " status " + args + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    *code = WEXITSTATUS(pclose(pipe));
    return out;
  };
  Client c;
  ASSERT_EQ(c.Connect(server.Port(), "any", "alice", "secret"), 0);
  int code = -1;
  std::string out = status("--interval 0 --metrics " + address, &code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("sessions        1 open (0 encrypted), 1 started"), std::string::npos) << out;
  EXPECT_NE(out.find("slowest (mean)  Connect "), std::string::npos) << out;
  out = status("--interval 0 --metrics 127.0.0.1:" + std::to_string(UnusedLoopbackPort()), &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("The metrics endpoint does not answer"), std::string::npos) << out;
  out = status("--config " + Write("plain.conf", ""), &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("The metrics endpoint is off"), std::string::npos) << out;
}

// Prometheus over HTTPS with a bearer token, through an idle-connection
// flood; a query through its HTTP API returns what a client's statements moved.
class PrometheusMetrics : public ServerMetrics {
 protected:
  std::vector<std::string> Extra() override {
    EXPECT_TRUE(MakeTestCertificate(server.Folder() + "/cert", "localhost"));
    // clang-format off
    return {"--metrics-tls", "--tls-cert", server.Folder() + "/cert.pem", "--tls-key", server.Folder() + "/cert.key",
            "--metrics-auth", "bearer:" + Write("token", "pr0metheus-token\n")};
    // clang-format on
  }
  // The value of the first sample of a query ("" when it has none or does not answer).
  std::string Query(int webPort, const std::string& expression) {
    std::string path = "/api/v1/query?query=";
    for (unsigned char c : expression) {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", c);
      path += isalnum(c) || c == '_' ? std::string(1, char(c)) : hex;
    }
    const int fd = ConnectFrom(1, webPort);  // none before Prometheus listens
    if (fd < 0) return "";
    Answer(fd, "GET " + path + " HTTP/1.0\r\n\r\n");
    // ..."result":[{"metric":{...},"value":[1733000000.123,"3"]}]...
    const size_t at = lastAnswer.find("\"value\":["), quote = at == std::string::npos ? at : lastAnswer.find(",\"", at);
    return quote == std::string::npos ? "" : lastAnswer.substr(quote + 2, lastAnswer.find('"', quote + 2) - quote - 2);
  }
};

TEST_F(PrometheusMetrics, ScrapesTheEndpointThroughAFloodAndAnswersQueries) {
  const char kPrometheus[] = "/usr/bin/prometheus";
  if (access(kPrometheus, X_OK) != 0 || OnPostgres()) GTEST_SKIP() << "no prometheus, or its storage run";
  const std::string folder = server.Folder();
  // Loopback only: one scrape target, no alerting, no remote storage.
  uint16_t webPort = 0;
  close(LoopbackSocket(&webPort, false));  // a free port, for Prometheus's own listener
  FILE* f = fopen((folder + "/prometheus.yml").c_str(), "w");
  fprintf(f,
          "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
          "scrape_configs:\n  - job_name: velora\n    scheme: https\n"
          "    authorization:\n      type: Bearer\n      credentials_file: %s/token\n"
          "    tls_config:\n      ca_file: %s/cert.pem\n      server_name: localhost\n"
          "    static_configs:\n      - targets: ['127.0.0.1:%d']\n",
          folder.c_str(), folder.c_str(), port);
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
    IdleFlood flood(port, 24);
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
  if (HasFailure()) ADD_FAILURE() << "prometheus said:\n" << std::ifstream(folder + "/prometheus.log").rdbuf();
}

}  // namespace
