// The server's counters for monitoring: counted where things happen
// (sessions, the listener, the storages) with atomic increments or, for
// labels known only at run time, a short lock; written out in the text
// exposition format by MetricsText() for the metrics endpoint.
#ifndef VELORA_SERVER_METRICS_METRICS_H
#define VELORA_SERVER_METRICS_METRICS_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace velsrv {

enum class StatementKind { kQuery, kUpdate, kDdl, kCatalog, kBatch, kCount };

// Why a login (or the greeting before it) was refused.
enum class Refusal {
  kPassword,        // unknown user or wrong password
  kThrottled,       // too many failed logins from the address
  kDataSource,      // the user may not open the data source
  kStorage,         // the database could not be opened
  kTooManyClients,  // --max-clients reached
  kNeedsTls,        // plaintext from beyond loopback
  kGreeting,        // malformed greeting, other protocol or charset
  kCount
};

void CountStatement(StatementKind kind);
void CountRefusal(Refusal why);
// An error reply of a logged-in session, by the class of its SQLSTATE
// (its first two characters).
void CountError(const std::string& sqlstate);
void CountRows(uint64_t fetched, uint64_t written);
void CountBytes(uint64_t received, uint64_t sent);
// One request of message code, answered in seconds.
void ObserveRequest(uint16_t code, double seconds);
// A writer that waited for the writers before it (SQLite): how long, and
// whether it gave up at its deadline.
void ObserveWriterWait(double seconds, bool timedOut);
// Writers waiting for their turn now: +1 as one starts waiting, -1 as it
// stops.
void AddWaitingWriter(int delta);
// One request and reply exchanged with PostgreSQL, in seconds.
void ObservePostgresRoundTrip(double seconds);

// A logged-in session as the open and started sessions count it: by data
// source (the label value: a configured name, so that clients cannot
// make new label values) and by encryption.
class SessionGauge {
 public:
  SessionGauge() = default;
  SessionGauge(const SessionGauge&) = delete;
  SessionGauge& operator=(const SessionGauge&) = delete;
  ~SessionGauge() { Close(); }
  void Open(const std::string& dataSource, bool encrypted);
  void Close();

 private:
  std::atomic<int64_t>* open_ = nullptr;
};

// Seconds since construction.
class Stopwatch {
 public:
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Every metric in the text exposition format (version 0.0.4).
std::string MetricsText();

// Escapes a label value (backslash, double quote, line feed).
std::string EscapeLabelValue(const std::string& value);

}  // namespace velsrv

#endif
