// The counters behind the metrics endpoint and their text exposition.
#include "server/metrics/Metrics.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <utility>

#include "protocol/WireNumbers.h"
#include "server/admin/Options.h"

namespace velsrv {

namespace {

// Upper bounds (seconds) of the latency buckets: from half a millisecond,
// what a cached point query takes, to ten seconds, past which
// --lock-timeout and the client's patience decide anyway.
constexpr double kBounds[] = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                              0.1,    0.25,  0.5,    1,     2.5,  5,     10};
constexpr size_t kBoundCount = sizeof kBounds / sizeof kBounds[0];

struct Histogram {
  std::atomic<uint64_t> buckets[kBoundCount + 1] = {};  // not cumulative; last: beyond all
  std::atomic<uint64_t> nanos{0};

  void Observe(double seconds) {
    size_t i = 0;
    while (i < kBoundCount && seconds > kBounds[i]) ++i;
    buckets[i].fetch_add(1, std::memory_order_relaxed);
    nanos.fetch_add(static_cast<uint64_t>(seconds * 1e9), std::memory_order_relaxed);
  }
  uint64_t Count() const {
    uint64_t n = 0;
    for (const auto& b : buckets) n += b.load(std::memory_order_relaxed);
    return n;
  }
};

struct Name {
  uint16_t code;
  const char* name;
};
constexpr Name kMessageNames[] = {
#define VEL_MESSAGE_NAME(code, Name) {code, #Name},
    VEL_MESSAGES(VEL_MESSAGE_NAME)
#undef VEL_MESSAGE_NAME
        {Msg::kConnect, "Connect"},
};

// Every message code has a histogram: one past the highest code.
constexpr size_t HighestCode() {
  size_t highest = 0;
  for (const Name& m : kMessageNames) highest = m.code > highest ? m.code : highest;
  return highest;
}
constexpr size_t kCodes = HighestCode() + 1;

constexpr const char* kKindNames[] = {"query", "update", "ddl", "catalog", "batch"};
constexpr const char* kRefusalNames[] = {"password",         "throttled", "data_source", "storage",
                                         "too_many_clients", "needs_tls", "greeting"};
static_assert(sizeof kKindNames / sizeof *kKindNames == size_t(StatementKind::kCount), "");
static_assert(sizeof kRefusalNames / sizeof *kRefusalNames == size_t(Refusal::kCount), "");

struct SessionCounts {
  std::atomic<int64_t> open{0};
  std::atomic<uint64_t> started{0};
};

struct Registry {
  std::atomic<uint64_t> statements[size_t(StatementKind::kCount)] = {};
  std::atomic<uint64_t> refusals[size_t(Refusal::kCount)] = {};
  std::atomic<uint64_t> rowsFetched{0}, rowsWritten{0}, received{0}, sent{0}, lockTimeouts{0};
  std::atomic<int64_t> waitingWriters{0};
  Histogram requests[kCodes];
  Histogram writerWaits, postgres;
  // Labels made at run time: short locks, at login and error only.
  std::mutex mutex;
  std::map<std::pair<std::string, bool>, SessionCounts> sessions;
  std::map<std::string, uint64_t> errors;
};

Registry& R() {
  static Registry registry;
  return registry;
}

double WallSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Taken as the program loads: the server's start.
const double gStartTime = WallSeconds();

std::string Number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.10g", v);
  return buffer;
}

std::string Number(uint64_t v) { return std::to_string(v); }
std::string Number(int64_t v) { return std::to_string(v); }

// Writes the exposition, a family (HELP and TYPE lines) at a time.
class Writer {
 public:
  void Family(const char* name, const char* type, const char* help) {
    family_ = name;
    text_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }
  template <class T>
  void Sample(const std::string& labels, T value, const char* suffix = "") {
    text_ += family_ + suffix;
    if (!labels.empty()) text_ += "{" + labels + "}";
    text_ += " " + Number(value) + "\n";
  }
  void Buckets(const std::string& labels, const Histogram& h) {
    const std::string sep = labels.empty() ? "" : ",";
    uint64_t total = 0;
    for (size_t i = 0; i <= kBoundCount; ++i) {
      total += h.buckets[i].load(std::memory_order_relaxed);
      const std::string le = i < kBoundCount ? Number(kBounds[i]) : "+Inf";
      Sample(labels + sep + "le=\"" + le + "\"", total, "_bucket");
    }
    Sample(labels, h.nanos.load(std::memory_order_relaxed) / 1e9, "_sum");
    Sample(labels, total, "_count");
  }
  std::string& Text() { return text_; }

 private:
  std::string text_, family_;
};

std::string Label(const char* name, const std::string& value) {
  return std::string(name) + "=\"" + EscapeLabelValue(value) + "\"";
}

// The process's memory and descriptors, from /proc.
void WriteProcess(Writer* w) {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) pages = resident = 0;
    std::fclose(f);
  }
  const int64_t page = sysconf(_SC_PAGESIZE);
  int64_t fds = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++fds;
    closedir(d);
    --fds;  // the directory's own
  }
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  w->Family("velora_process_resident_memory_bytes", "gauge", "Resident memory of the server.");
  w->Sample("", resident * page);
  w->Family("velora_process_virtual_memory_bytes", "gauge", "Virtual memory of the server.");
  w->Sample("", pages * page);
  w->Family("velora_process_open_fds", "gauge", "Open file descriptors.");
  w->Sample("", fds);
  w->Family("velora_process_max_fds", "gauge", "The limit of open file descriptors.");
  w->Sample("", static_cast<uint64_t>(limit.rlim_cur));
  w->Family("velora_process_cpu_seconds_total", "counter", "CPU time used, user and system.");
  w->Sample("", cpu);
  w->Family("velora_process_start_time_seconds", "gauge",
            "When the server started, in seconds since the Unix epoch.");
  w->Sample("", gStartTime);
}

}  // namespace

std::string EscapeLabelValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

void CountStatement(StatementKind kind) {
  R().statements[size_t(kind)].fetch_add(1, std::memory_order_relaxed);
}

void CountRefusal(Refusal why) {
  R().refusals[size_t(why)].fetch_add(1, std::memory_order_relaxed);
}

void CountError(const std::string& sqlstate) {
  // Only classes of two letters or digits: the label values stay few.
  std::string cls = sqlstate.substr(0, 2);
  for (char& c : cls)
    if (!std::isalnum(static_cast<unsigned char>(c))) cls = "other";
  if (cls.size() != 2) cls = "other";
  std::lock_guard<std::mutex> lock(R().mutex);
  ++R().errors[cls];
}

void CountRows(uint64_t fetched, uint64_t written) {
  if (fetched) R().rowsFetched.fetch_add(fetched, std::memory_order_relaxed);
  if (written) R().rowsWritten.fetch_add(written, std::memory_order_relaxed);
}

void CountBytes(uint64_t received, uint64_t sent) {
  R().received.fetch_add(received, std::memory_order_relaxed);
  R().sent.fetch_add(sent, std::memory_order_relaxed);
}

void ObserveRequest(uint16_t code, double seconds) {
  if (code < kCodes) R().requests[code].Observe(seconds);
}

void ObserveWriterWait(double seconds, bool timedOut) {
  R().writerWaits.Observe(seconds);
  if (timedOut) R().lockTimeouts.fetch_add(1, std::memory_order_relaxed);
}

void AddWaitingWriter(int delta) { R().waitingWriters.fetch_add(delta, std::memory_order_relaxed); }

void ObservePostgresRoundTrip(double seconds) { R().postgres.Observe(seconds); }

void SessionGauge::Open(const std::string& dataSource, bool encrypted) {
  Close();
  std::lock_guard<std::mutex> lock(R().mutex);
  SessionCounts& counts = R().sessions[{dataSource, encrypted}];
  ++counts.started;
  ++counts.open;
  open_ = &counts.open;  // map nodes stay where they are
}

void SessionGauge::Close() {
  if (open_) --*open_;
  open_ = nullptr;
}

std::string MetricsText() {
  Registry& r = R();
  Writer w;
  auto relaxed = [](const std::atomic<uint64_t>& a) { return a.load(std::memory_order_relaxed); };
  w.Family("velora_build_info", "gauge", "The server's version, as a label; always 1.");
  w.Sample(Label("version", kPackageVersion), uint64_t{1});
  WriteProcess(&w);
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    w.Family("velora_sessions_open", "gauge", "Logged-in sessions, by data source and encryption.");
    for (const auto& s : r.sessions)
      w.Sample(
          Label("datasource", s.first.first) + "," + Label("tls", s.first.second ? "yes" : "no"),
          s.second.open.load());
    w.Family("velora_sessions_started_total", "counter",
             "Successful logins, by data source and encryption.");
    for (const auto& s : r.sessions)
      w.Sample(
          Label("datasource", s.first.first) + "," + Label("tls", s.first.second ? "yes" : "no"),
          s.second.started.load());
    w.Family("velora_statement_errors_total", "counter",
             "Error replies of logged-in sessions, by SQLSTATE class.");
    for (const auto& e : r.errors) w.Sample(Label("class", e.first), e.second);
  }
  w.Family("velora_logins_refused_total", "counter", "Refused logins and greetings, by reason.");
  for (size_t i = 0; i < size_t(Refusal::kCount); ++i)
    w.Sample(Label("reason", kRefusalNames[i]), relaxed(r.refusals[i]));
  w.Family("velora_statements_total", "counter", "Statements executed successfully, by kind.");
  for (size_t i = 0; i < size_t(StatementKind::kCount); ++i)
    w.Sample(Label("kind", kKindNames[i]), relaxed(r.statements[i]));
  w.Family("velora_rows_fetched_total", "counter", "Rows sent to clients.");
  w.Sample("", relaxed(r.rowsFetched));
  w.Family("velora_rows_written_total", "counter", "Rows inserted, updated or deleted.");
  w.Sample("", relaxed(r.rowsWritten));
  w.Family("velora_received_bytes_total", "counter", "Request bytes received from clients.");
  w.Sample("", relaxed(r.received));
  w.Family("velora_sent_bytes_total", "counter", "Reply bytes sent to clients.");
  w.Sample("", relaxed(r.sent));
  w.Family("velora_request_duration_seconds", "histogram",
           "Time from a request's arrival to its reply, by message.");
  for (const Name& m : kMessageNames)
    if (r.requests[m.code].Count() > 0) w.Buckets(Label("message", m.name), r.requests[m.code]);
  w.Family("velora_writers_waiting", "gauge", "Writers waiting for their turn now (SQLite).");
  w.Sample("", r.waitingWriters.load(std::memory_order_relaxed));
  w.Family("velora_writer_wait_seconds", "histogram",
           "Time writers waited for the writers before them (SQLite).");
  w.Buckets("", r.writerWaits);
  w.Family("velora_lock_timeouts_total", "counter",
           "Writers that gave up waiting after --lock-timeout (SQLite).");
  w.Sample("", relaxed(r.lockTimeouts));
  w.Family("velora_postgres_round_trip_seconds", "histogram",
           "Requests to PostgreSQL and the time until their results.");
  w.Buckets("", r.postgres);
  return std::move(w.Text());
}

}  // namespace velsrv
