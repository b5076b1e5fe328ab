// velora-server status: scrapes the metrics endpoint (twice, an interval
// apart, for rates) and prints what an operator asks first.
#include "server/admin/StatusCommand.h"

#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "server/TlsServer.h"
#include "server/metrics/MetricsAuth.h"
#include "server/metrics/MetricsHttp.h"
#include "server/metrics/MetricsParse.h"
#include "server/admin/Options.h"

namespace velsrv {

const char kPackagedConfig[] = "/etc/velora/velora-server.conf";

namespace {

using Samples = std::vector<MetricSample>;

bool WaitFor(int fd, short events, int seconds) {
  pollfd p = {fd, events, 0};
  int n;
  do {
    n = poll(&p, 1, seconds * 1000);
  } while (n < 0 && errno == EINTR);
  return n == 1;
}

int Connect(const std::string& address, int seconds, std::string* error) {
  std::string host, port;
  if (!SplitEndpoint(address, &host, &port, error)) return -1;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) return *error = "cannot resolve " + host + ": " + gai_strerror(rc), -1;
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(found, freeaddrinfo);
  *error = "nothing answers at " + address;
  for (addrinfo* a = found; a; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    int soError = 0;
    socklen_t len = sizeof soError;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0 ||
        (errno == EINPROGRESS && WaitFor(fd, POLLOUT, seconds) &&
         getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError == 0))
      return fd;
    *error = "cannot reach " + address + ": " + std::strerror(soError ? soError : errno);
    close(fd);
  }
  return -1;
}

// The request over TLS on the connected socket fd, which is made blocking
// with time-outs of seconds. The server must show the very certificate of
// certFile: the status command trusts the server's own certificate, not a
// chain to an authority. *in: the answer up to the server's close.
bool TlsExchange(int fd, int seconds, const std::string& certFile, const std::string& request,
                 std::string* in, std::string* error) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const timeval limit = {seconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  ERR_clear_error();
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(certFile.c_str(), "r"), std::fclose);
  std::unique_ptr<X509, void (*)(X509*)> pinned(
      file ? PEM_read_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, X509_free);
  if (!pinned) return *error = "cannot read the certificate " + certFile, false;
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  std::unique_ptr<SSL, void (*)(SSL*)> ssl(ctx ? SSL_new(ctx.get()) : nullptr, SSL_free);
  if (!ssl || SSL_set_fd(ssl.get(), fd) != 1 || SSL_connect(ssl.get()) != 1)
    return *error = "no TLS handshake: " + TlsErrorText(), false;
  std::unique_ptr<X509, void (*)(X509*)> shown(SSL_get1_peer_certificate(ssl.get()), X509_free);
  if (!shown || X509_cmp(shown.get(), pinned.get()) != 0)
    return *error = "the server shows another certificate than " + certFile, false;
  size_t n = 0;
  if (SSL_write_ex(ssl.get(), request.data(), request.size(), &n) != 1)
    return *error = "cannot send the request: " + TlsErrorText(), false;
  char buffer[16384];
  while (in->size() < (64u << 20) && SSL_read_ex(ssl.get(), buffer, sizeof buffer, &n) == 1)
    in->append(buffer, n);
  const int why = SSL_get_error(ssl.get(), 0);
  ERR_clear_error();
  // The end: the server's close_notify, or its close without one.
  return why == SSL_ERROR_ZERO_RETURN || (why == SSL_ERROR_SYSCALL && errno == 0) ||
         (*error = "no complete answer", false);
}

// Bytes as an operator reads them.
std::string Size(double bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int u = 0;
  while (bytes >= 1024 && u < 4) bytes /= 1024, ++u;
  char b[32];
  std::snprintf(b, sizeof b, u ? "%.1f %s" : "%.0f %s", bytes, units[u]);
  return b;
}

std::string Fixed(double v, int digits = 0) {
  char b[32];
  std::snprintf(b, sizeof b, "%.*f", digits, v);
  return b;
}

// "name value, name value" over the label's values of the metric, in the
// order of the samples; zeros left out unless all are.
std::string ByLabel(const Samples& s, const std::string& metric, const std::string& label) {
  std::string out;
  for (const MetricSample& x : s) {
    auto l = x.labels.find(label);
    if (x.name != metric || l == x.labels.end() || x.value == 0) continue;
    out += (out.empty() ? "" : ", ") + l->second + " " + Fixed(x.value);
  }
  return out.empty() ? "none" : out;
}

void Print(const std::string& address, const Samples& now, const Samples* before, double seconds) {
  const double start = SumOf(now, "velora_process_start_time_seconds");
  const double up = std::max(1.0, static_cast<double>(std::time(nullptr)) - start);
  // Rates over the interval, or since the start without one.
  auto rate = [&](const std::string& name) {
    const double v = SumOf(now, name);
    const double r = before ? (v - SumOf(*before, name)) / seconds : v / up;
    return Fixed(r, r < 10 ? 1 : 0) + "/s";
  };
  const char* over = before ? "" : " since start";
  std::string version = "?";
  for (const MetricSample& x : now)
    if (x.name == "velora_build_info" && x.labels.count("version"))
      version = x.labels.at("version");
  const long upSeconds = static_cast<long>(up);
  std::printf("velora-server %s at %s, up %ldd %02ldh %02ldm %02lds\n", version.c_str(),
              address.c_str(), upSeconds / 86400, upSeconds / 3600 % 24, upSeconds / 60 % 60,
              upSeconds % 60);
  std::printf("sessions        %s open (%s encrypted), %s started (%s%s)\n",
              Fixed(SumOf(now, "velora_sessions_open")).c_str(),
              Fixed(SumOf(now, "velora_sessions_open", {{"tls", "yes"}})).c_str(),
              Fixed(SumOf(now, "velora_sessions_started_total")).c_str(),
              rate("velora_sessions_started_total").c_str(), over);
  std::printf("statements      %s (%s%s): %s\n",
              Fixed(SumOf(now, "velora_statements_total")).c_str(),
              rate("velora_statements_total").c_str(), over,
              ByLabel(now, "velora_statements_total", "kind").c_str());
  std::printf("errors          %s (%s%s) by SQLSTATE class: %s\n",
              Fixed(SumOf(now, "velora_statement_errors_total")).c_str(),
              rate("velora_statement_errors_total").c_str(), over,
              ByLabel(now, "velora_statement_errors_total", "class").c_str());
  std::printf("logins refused  %s: %s\n", Fixed(SumOf(now, "velora_logins_refused_total")).c_str(),
              ByLabel(now, "velora_logins_refused_total", "reason").c_str());
  std::printf("rows            %s fetched (%s), %s written (%s)\n",
              Fixed(SumOf(now, "velora_rows_fetched_total")).c_str(),
              rate("velora_rows_fetched_total").c_str(),
              Fixed(SumOf(now, "velora_rows_written_total")).c_str(),
              rate("velora_rows_written_total").c_str());
  std::printf("traffic         %s received, %s sent\n",
              Size(SumOf(now, "velora_received_bytes_total")).c_str(),
              Size(SumOf(now, "velora_sent_bytes_total")).c_str());
  const double waits = SumOf(now, "velora_writer_wait_seconds_count");
  std::printf(
      "writers         %s waiting now, %s waited (mean %s ms), %s lock timeouts\n",
      Fixed(SumOf(now, "velora_writers_waiting")).c_str(), Fixed(waits).c_str(),
      Fixed(waits ? 1000 * SumOf(now, "velora_writer_wait_seconds_sum") / waits : 0, 1).c_str(),
      Fixed(SumOf(now, "velora_lock_timeouts_total")).c_str());
  const double trips = SumOf(now, "velora_postgres_round_trip_seconds_count");
  if (trips)
    std::printf(
        "postgresql      %s round trips (mean %s ms)\n", Fixed(trips).c_str(),
        Fixed(1000 * SumOf(now, "velora_postgres_round_trip_seconds_sum") / trips, 2).c_str());
  // The slowest messages by mean time since the start.
  std::vector<std::pair<double, std::string>> slow;
  for (const MetricSample& x : now) {
    if (x.name != "velora_request_duration_seconds_count" || x.value == 0) continue;
    const std::map<std::string, std::string> which = {{"message", x.labels.at("message")}};
    const double mean = SumOf(now, "velora_request_duration_seconds_sum", which) / x.value;
    slow.push_back({mean, x.labels.at("message") + " " + Fixed(mean * 1000, 2) + " ms (" +
                              Fixed(x.value) + ")"});
  }
  std::sort(slow.rbegin(), slow.rend());
  std::string list;
  for (size_t i = 0; i < slow.size() && i < 3; ++i) list += (i ? ", " : "") + slow[i].second;
  std::printf("slowest (mean)  %s\n", list.empty() ? "no requests yet" : list.c_str());
  std::printf("process         %s resident, %s of %s file descriptors\n",
              Size(SumOf(now, "velora_process_resident_memory_bytes")).c_str(),
              Fixed(SumOf(now, "velora_process_open_fds")).c_str(),
              Fixed(SumOf(now, "velora_process_max_fds")).c_str());
}

bool Scrape(const std::string& address, const ScrapeWay& way, Samples* samples,
            std::string* error) {
  std::string text;
  if (!ScrapeMetrics(address, 5, &text, error, way)) return false;
  if (ParseMetrics(text, samples, error)) return true;
  *error = address + " does not answer metrics: " + *error;
  return false;
}

}  // namespace

bool ScrapeMetrics(const std::string& address, int seconds, std::string* text, std::string* error,
                   const ScrapeWay& way) {
  int fd = Connect(address, seconds, error);
  if (fd < 0) return false;
  const std::string request =
      "GET /metrics HTTP/1.1\r\nHost: " + address + "\r\n" +
      (way.authorization.empty() ? "" : "Authorization: " + way.authorization + "\r\n") +
      "Connection: close\r\n\r\n";
  std::string in;
  bool ok = true;
  ssize_t n = 0;
  if (!way.certificate.empty()) {
    std::string why;
    ok = TlsExchange(fd, seconds, way.certificate, request, &in, &why);
    if (!ok) {
      close(fd);
      return *error = address + ": " + why, false;
    }
  } else {
    ok = send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(request.size());
    char buffer[16384];
    while (ok && in.size() < (64u << 20) && WaitFor(fd, POLLIN, seconds) &&
           (n = recv(fd, buffer, sizeof buffer, 0)) > 0)
      in.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  const size_t head = in.find("\r\n\r\n");
  if (!ok || n != 0 || head == std::string::npos)
    return *error = "no complete answer from " + address, false;
  if (in.compare(0, 13, "HTTP/1.1 200 ") != 0 && in.compare(0, 13, "HTTP/1.0 200 ") != 0)
    return *error = address + " answered " + in.substr(0, in.find('\r')), false;
  *text = in.substr(head + 4);
  return true;
}

int StatusCommand(int argc, char** argv) {
  std::string address, config, error;
  long interval = 1;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i], value;
    const size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      arg = "";
    }
    char* end = nullptr;
    if (arg == "--metrics" && !value.empty()) {
      address = value;
    } else if (arg == "--config" && !value.empty()) {
      config = value;
    } else if (arg == "--interval" && (interval = std::strtol(value.c_str(), &end, 10)) >= 0 &&
               interval <= 60 && !value.empty() && *end == '\0') {
    } else {
      std::fprintf(stderr,
                   "usage: velora-server status [--metrics ADDRESS:PORT | --config FILE] "
                   "[--interval SECONDS (0 to 60; 0: rates since the start)]\n");
      return 2;
    }
  }
  // Without an address: the endpoint of the configuration file, which
  // also tells its secret and whether it speaks HTTPS.
  Options options;
  if (address.empty() || !config.empty()) {
    const bool packaged = config.empty();
    if (packaged) config = kPackagedConfig;
    if ((!packaged || access(config.c_str(), F_OK) == 0) &&
        !ReadConfigFile(config, &options, &error)) {
      std::fprintf(stderr, "velora-server status: %s\n", error.c_str());
      return 2;
    }
  }
  if (address.empty()) {
    if (options.metrics.empty()) {
      std::printf(
          "The metrics endpoint is off: %s has no metrics key. Start the server with "
          "--metrics ADDRESS:PORT (or give that key) and run velora-server status "
          "--metrics ADDRESS:PORT.\n",
          config.c_str());
      return 1;
    }
    address = options.metrics;
  }
  ScrapeWay way;
  if (options.metricsTls) way.certificate = options.tlsCert;
  if (!options.metricsAuth.empty() &&
      !MetricsAuthorization(options.metricsAuth, &way.authorization, &error)) {
    std::fprintf(stderr, "velora-server status: %s\n", error.c_str());
    return 2;
  }
  Samples before, now;
  if (!Scrape(address, way, &before, &error)) {
    std::printf(
        "The metrics endpoint does not answer: %s. Is the server running with --metrics %s?\n",
        error.c_str(), address.c_str());
    return 1;
  }
  if (interval > 0) {
    const timespec pause = {interval, 0};
    nanosleep(&pause, nullptr);
    if (!Scrape(address, way, &now, &error)) {
      std::printf("The metrics endpoint stopped answering: %s.\n", error.c_str());
      return 1;
    }
  }
  Print(address, interval > 0 ? now : before, interval > 0 ? &before : nullptr,
        static_cast<double>(interval));
  return 0;
}

}  // namespace velsrv
