// The metrics endpoint of a real server: each metric moves by what clients
// did, the text keeps the exposition format's rules, the endpoint keeps its
// bounds, and the status command reads it.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "server/metrics/MetricsParse.h"
#include "server/admin/StatusCommand.h"
#include "server_client.h"

namespace {

using velsrv::MetricSample;
using velsrv::SumOf;
using Labels = std::map<std::string, std::string>;

const char kOddSource[] = "q\"u\\o\nte";  // a data source name that needs escaping

class ServerMetrics : public ::testing::Test {
 protected:
  void SetUp() override {
    server.AddUser("alice", "secret");
    ASSERT_TRUE(server.Start({"--metrics", "127.0.0.1:0", "--lock-timeout", "1", "--datasource",
                              std::string(kOddSource) + "=" + server.Folder() + "/odd.db"}))
        << server.Error();
    ASSERT_TRUE(server.WaitForLog("metrics at http://127.0.0.1:"));
    const std::string log = server.Log();
    port = std::stoi(log.substr(log.find("metrics at http://127.0.0.1:") + 28));
    address = "127.0.0.1:" + std::to_string(port);
  }
  std::vector<MetricSample> Scrape() {
    std::string text, error;
    std::vector<MetricSample> samples;
    EXPECT_TRUE(velsrv::ScrapeMetrics(address, 10, &text, &error)) << error;
    EXPECT_TRUE(velsrv::ParseMetrics(text, &samples, &error)) << error;
    last = text;
    return samples;
  }
  // Sends raw bytes on a new connection; the answer, up to the peer's close.
  std::string Http(const std::string& bytes, int* keep = nullptr) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    if (keep) return *keep = fd, "";
    return Answer(fd, bytes);
  }
  static std::string Answer(int fd, const std::string& bytes) {
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    std::string in;
    char buffer[4096];
    pollfd p = {fd, POLLIN, 0};
    ssize_t n;
    while (poll(&p, 1, 10000) == 1 && (n = recv(fd, buffer, sizeof buffer, 0)) > 0) in.append(buffer, n);
    close(fd);
    return in.substr(0, in.find("\r\n"));
  }
  VeloraServer server;
  int port = 0;
  std::string address, last;
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
  const struct {
    const char* name;
    Labels labels;
    double delta;
  } kExpected[] = {
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
  const struct {
    std::string request, status;
  } kCases[] = {
      {"GET /metrics?x=1 HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK"},
      {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
      {"POST /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
      {"GET /metrics\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET /metrics HTTP/1.1\r\nX: " + std::string(10000, 'a'), "HTTP/1.1 431 Request Header Fields Too Large"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Http(c.request), c.status) << c.request;
  // Beyond the bound of connections, one is refused at once; the others
  // are served.
  std::vector<int> held(8);
  for (int& fd : held) Http("", &fd);
  EXPECT_EQ(Http("GET /metrics HTTP/1.1\r\n\r\n"), "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(Answer(held[0], "GET /metrics HTTP/1.1\r\n\r\n"), "HTTP/1.1 200 OK");
  for (size_t i = 1; i < held.size(); ++i) close(held[i]);
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
  const std::string config = server.Folder() + "/plain.conf";
  FILE* f = fopen(config.c_str(), "w");
  fclose(f);
  out = status("--config " + config, &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("The metrics endpoint is off"), std::string::npos) << out;
}

}  // namespace
