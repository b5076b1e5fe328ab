// The PostgreSQL engine: connections, transactions and the savepoint
// around each statement inside a transaction; a watcher that cancels
// running statements once the server stops.
#include "server/storage/PostgresEngine.h"

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <map>
#include <thread>

#include "server/Diagnostics.h"
#include "server/metrics/Metrics.h"
#include "server/storage/PostgresText.h"

namespace velsrv {

namespace {

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

bool Succeeded(const PGresult* r) {
  ExecStatusType s = PQresultStatus(r);
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

void IgnoreNotice(void*, const char*) {}

}  // namespace

Status PgStatus(PGconn* conn, const PGresult* r) {
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  const char* detail = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL) : nullptr;
  std::string message = primary ? Trimmed(primary) : Trimmed(PQerrorMessage(conn));
  if (detail) message += " (" + Trimmed(detail) + ")";
  // No SQLSTATE: libpq lost the connection to the database server (or,
  // with the connection still up, an internal error).
  if (!state)
    return Status::Error(PQstatus(conn) == CONNECTION_OK ? kStateGeneral : kStateCommunicationLink,
                         0, message);
  return Status::Error(PostgresSqlState(state, message), 0, message);
}

class PgEngine : public StorageEngine {
 public:
  PgEngine(int lockWaitMs, int maxValueBytes, const std::atomic<bool>* stop)
      : lockWaitMs_(lockWaitMs), maxValueBytes_(maxValueBytes), stop_(stop) {}
  ~PgEngine() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
  }

  Status Open(const std::string& location, std::unique_ptr<StorageSession>* out) override {
    const char* keys[] = {"dbname", "fallback_application_name", "client_encoding", nullptr};
    const char* values[] = {location.c_str(), "velora-server", "UTF8", nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn) != CONNECTION_OK) {
      Status st = Status::Error(kStateCannotConnect, 0,
                                "cannot open database: " + Trimmed(PQerrorMessage(conn)));
      PQfinish(conn);
      return st;
    }
    PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
    // Values travel in ISO forms; zoned values in UTC, their zone cut off.
    std::string setup =
        "SET DateStyle = 'ISO, YMD'; SET TimeZone = 'UTC'; SET IntervalStyle = 'iso_8601';"
        " SET lock_timeout = " +
        std::to_string(lockWaitMs_);
    PGresult* r = PQexec(conn, setup.c_str());
    Status st = Succeeded(r) ? Status::Ok() : PgStatus(conn, r);
    PQclear(r);
    if (!st.ok) {
      PQfinish(conn);
      st.sqlstate = kStateCannotConnect;
      return st;
    }
    out->reset(new PgSession(conn, this, maxValueBytes_));
    return Status::Ok();
  }

  void Register(PGconn* conn) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ && !watcher_.joinable()) watcher_ = std::thread([this] { Watch(); });
    live_[conn] = PQgetCancel(conn);
  }
  void Unregister(PGconn* conn) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = live_.find(conn);
    if (it == live_.end()) return;
    PQfreeCancel(it->second);
    live_.erase(it);
  }

 private:
  // Once the server stops, every statement still running is cancelled, so
  // that no client thread waits for a long query or a lock.
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
      wake_.wait_for(lock, std::chrono::milliseconds(100));
      if (quit_ || !stop_->load()) continue;
      char error[256];
      for (auto& entry : live_) PQcancel(entry.second, error, sizeof error);
      return;
    }
  }

  int lockWaitMs_, maxValueBytes_;
  const std::atomic<bool>* stop_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread watcher_;
  std::map<PGconn*, PGcancel*> live_;
};

PgSession::PgSession(PGconn* conn, PgEngine* engine, int maxValueBytes)
    : conn_(conn), engine_(engine), maxValueBytes_(maxValueBytes) {
  engine_->Register(conn_);
}

PgSession::~PgSession() {
  if (InTransaction()) Exec("ROLLBACK");
  engine_->Unregister(conn_);
  PQfinish(conn_);
}

Status PgSession::Exec(const char* sql) {
  Settle();
  const Stopwatch stopwatch;
  PGresult* r = PQexec(conn_, sql);
  ObservePostgresRoundTrip(stopwatch.Seconds());
  Status st = Succeeded(r) ? Status::Ok() : PgStatus(conn_, r);
  PQclear(r);
  return st;
}

PgResult PgSession::Collect() {
  // While PostgreSQL works (or waits for a lock), a client that has gone,
  // or a request past its query timeout or cancelled, has its statement
  // cancelled (within the poll's fifth of a second).
  // The client's hang-up is looked for (a system call) once the wait has
  // lasted that long: a short statement's wait costs nothing more.
  std::chrono::steady_clock::time_point nextCancel{};
  const auto lookFrom = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (PQisBusy(conn_)) {
    pollfd p = {PQsocket(conn_), POLLIN, 0};
    const int ready = poll(&p, 1, 200);
    if (!PQconsumeInput(conn_)) break;
    if (ready == 0 || std::chrono::steady_clock::now() >= lookFrom) StopRunning(&nextCancel);
  }
  PgResult kept;
  while (PGresult* r = PQgetResult(conn_)) {
    if (kept && !Succeeded(kept.get()))
      PQclear(r);
    else
      kept.reset(r);
  }
  return kept;
}

bool PgSession::StopRunning(std::chrono::steady_clock::time_point* next) {
  if (!StopWanted()) return false;
  // PostgreSQL drops a cancel that reaches the backend before it has read
  // the statement (it waited for the CPU, or for the statement ahead of it
  // in the pipeline): while the statement runs on, the cancel goes again.
  const auto now = std::chrono::steady_clock::now();
  if (now < *next) return true;
  *next = now + std::chrono::milliseconds(500);
  if (PGcancel* cancel = PQgetCancel(conn_)) {
    char error[256];
    PQcancel(cancel, error, sizeof error);
    PQfreeCancel(cancel);
  }
  return true;
}

Status PgSession::Run(const std::function<int(PGconn*)>& send, PgResult* out) {
  Settle();
  // PostgreSQL refuses to make a read-only transaction writable inside a
  // savepoint, whatever the statement (SET, set_config()) tries.
  if (locked_ && PQtransactionStatus(conn_) == PQTRANS_IDLE) {
    Status st = Exec("BEGIN READ ONLY");
    if (!st.ok) return st;
    st = Run(send, out);
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) Exec(st.ok ? "COMMIT" : "ROLLBACK");
    return st;
  }
  const bool guarded = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
  // One round trip: the statement alone, or the pipeline around it.
  const Stopwatch stopwatch;
  PgResult r;
  if (!guarded) {
    if (!send(conn_)) return PgStatus(conn_, nullptr);
    r = Collect();
    ObservePostgresRoundTrip(stopwatch.Seconds());
  } else {
    auto plain = [this](const char* sql) {
      return PQsendQueryParams(conn_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0);
    };
    bool sent = PQenterPipelineMode(conn_) && plain(kPgSavepoint) && send(conn_) &&
                plain(kPgRelease) && PQpipelineSync(conn_);
    if (!sent) {
      Status st = PgStatus(conn_, nullptr);
      PQexitPipelineMode(conn_);
      return st;
    }
    // Each request's results end with a null result; the sync's follows.
    PgResult savepoint = Collect();
    r = Collect();
    PgResult release = Collect();
    PQclear(PQgetResult(conn_));
    PQexitPipelineMode(conn_);
    ObservePostgresRoundTrip(stopwatch.Seconds());
    if (!Succeeded(savepoint.get())) return PgStatus(conn_, savepoint.get());
  }
  if (Succeeded(r.get())) {
    if (out) *out = std::move(r);
    return Status::Ok();
  }
  Status st = PgStatus(conn_, r.get());
  if (guarded && PQtransactionStatus(conn_) == PQTRANS_INERROR)
    Exec((std::string(kPgRollbackTo) + "; " + kPgRelease).c_str());
  return st;
}

void PgSession::Drain() {
  if (!aheadSent_) return;
  const Stopwatch stopwatch;
  aheadSent_ = false;
  ahead_ = Collect();
  ObservePostgresRoundTrip(stopwatch.Seconds());
}

void PgSession::Settle() {
  Drain();
  if (!cursorOwner_) return;
  cursorOwner_ = nullptr;
  Exec("COMMIT");
}

Status PgSession::Unguarded(const std::function<int(PGconn*)>& send, PgResult* out) {
  const Stopwatch stopwatch;
  PgResult r;
  if (send(conn_)) r = Collect();
  ObservePostgresRoundTrip(stopwatch.Seconds());
  if (r && Succeeded(r.get())) {
    if (out) *out = std::move(r);
    return Status::Ok();
  }
  return PgStatus(conn_, r.get());
}

Status PgSession::OpenCursor(const void* owner, const std::function<int(PGconn*)>& declare) {
  Settle();
  if (PQtransactionStatus(conn_) != PQTRANS_IDLE) return Run(declare, nullptr);
  Status st = Exec(locked_ ? "BEGIN READ ONLY" : "BEGIN");
  if (st.ok) st = Unguarded(declare, nullptr);
  if (st.ok) {
    cursorOwner_ = owner;
  } else if (PQtransactionStatus(conn_) != PQTRANS_IDLE) {
    Exec("ROLLBACK");
  }
  return st;
}

Status PgSession::FetchCursor(const void* owner, const std::function<int(PGconn*)>& send,
                              PgResult* out) {
  Status st;
  if (aheadOwner_ == owner) {
    aheadOwner_ = nullptr;
    Drain();
    PgResult r = std::move(ahead_);
    if (r && Succeeded(r.get()))
      *out = std::move(r);
    else
      st = PgStatus(conn_, r.get());
  } else if (cursorOwner_ != owner) {
    return Run(send, out);
  } else {
    st = Unguarded(send, out);
  }
  if (!st.ok && cursorOwner_ == owner) {
    cursorOwner_ = nullptr;
    Exec("ROLLBACK");
  }
  return st;
}

bool PgSession::FetchAhead(const void* owner, const std::function<int(PGconn*)>& send) {
  // Not in a request being stopped: PostgreSQL's cancel may arrive late,
  // and must not stop a FETCH the client did not ask for yet.
  if (limit_ && limit_->Stopped() != RunLimit::kGoOn) return false;
  if (cursorOwner_ != owner || aheadOwner_ || !send(conn_)) return false;
  aheadOwner_ = owner;
  aheadSent_ = true;
  return true;
}

void PgSession::CloseCursor(const void* owner, const std::string& name) {
  if (aheadOwner_ == owner) {  // its rows are not wanted
    Drain();
    aheadOwner_ = nullptr;
    ahead_.reset();
  }
  if (cursorOwner_ != owner) return Command("CLOSE " + name);
  cursorOwner_ = nullptr;
  // Closed first: a commit would keep the rows not yet read.
  Exec(("CLOSE " + name + "; COMMIT").c_str());
  if (PQtransactionStatus(conn_) != PQTRANS_IDLE) Exec("ROLLBACK");
}

void PgSession::Command(const std::string& sql) {
  Run(
      [&](PGconn* c) {
        return PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
      },
      nullptr);
}

Status PgSession::Query(const char* sql, const std::string& argument, PgResult* out,
                        const char* name) {
  const char* values[] = {argument.c_str()};
  if (name && queries_.count(name) == 0) {
    Status st = Run([&](PGconn* c) { return PQsendPrepare(c, name, sql, 1, nullptr); }, nullptr);
    if (!st.ok) return st;
    queries_.insert(name);
  }
  Status st = Run(
      [&](PGconn* c) {
        return name ? PQsendQueryPrepared(c, name, 1, values, nullptr, nullptr, 0)
                    : PQsendQueryParams(c, sql, 1, nullptr, values, nullptr, nullptr, 0);
      },
      out);
  if (!st.ok && name) queries_.erase(name);  // prepared again next time (a DEALLOCATE ALL)
  return st;
}

bool PgSession::ArrayTypes(const std::vector<Oid>& elements, std::vector<Oid>* arrays) {
  std::string missing;
  for (const Oid e : elements)
    if (arrayTypes_.count(e) == 0) missing += (missing.empty() ? "" : ",") + std::to_string(e);
  if (!missing.empty()) {
    // Base types only, whose array literals part their elements at commas
    // (a domain, an enum, a composite or an array keeps the other forms).
    PgResult r;
    Status st = Query(
        "SELECT t.oid, t.typarray FROM pg_type t WHERE t.oid = ANY (CAST($1 AS oid[]))"
        " AND t.typtype = 'b' AND t.typdelim = ',' AND t.typarray <> 0",
        "{" + missing + "}", &r);
    if (!st.ok) return false;
    for (const Oid e : elements) arrayTypes_.emplace(e, 0);
    for (int i = 0; i < PQntuples(r.get()); ++i)
      arrayTypes_[static_cast<Oid>(std::strtoul(PQgetvalue(r.get(), i, 0), nullptr, 10))] =
          static_cast<Oid>(std::strtoul(PQgetvalue(r.get(), i, 1), nullptr, 10));
  }
  arrays->clear();
  for (const Oid e : elements) {
    arrays->push_back(arrayTypes_[e]);
    if (arrays->back() == 0) return false;
  }
  return true;
}

Status PgSession::Begin() { return Exec(locked_ ? "BEGIN READ ONLY" : "BEGIN"); }

Status PgSession::LockReadOnly() {
  locked_ = true;
  return SetReadOnly(true);
}

Status PgSession::Commit() {
  Settle();
  // PostgreSQL answers COMMIT of a failed transaction by rolling it back.
  if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
    Exec("ROLLBACK");
    return Status::Error(kStateSerialization, 0, "the transaction had failed and was rolled back");
  }
  return Exec("COMMIT");
}

Status PgSession::Rollback() { return Exec("ROLLBACK"); }

bool PgSession::InTransaction() const {
  if (cursorOwner_) return false;  // only the cursor's own
  PGTransactionStatusType s = PQtransactionStatus(conn_);
  return s == PQTRANS_INTRANS || s == PQTRANS_INERROR;
}

Status PgSession::SetReadOnly(bool readOnly) {
  return Exec(readOnly ? "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"
                       : "SET SESSION CHARACTERISTICS AS TRANSACTION READ WRITE");
}

Status PgSession::SetIsolation(int level, int* applied) {
  // PostgreSQL reads no uncommitted rows: its READ UNCOMMITTED is READ
  // COMMITTED.
  const char* name = level == 8   ? "SERIALIZABLE"
                     : level == 4 ? "REPEATABLE READ"
                                  : "READ COMMITTED";
  *applied = level == 1 ? 2 : level;
  return Exec(
      (std::string("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL ") + name).c_str());
}

std::string PgSession::EngineVersion() const {
  const char* version = PQparameterStatus(conn_, "server_version");
  return std::string("PostgreSQL ") + (version ? version : "");
}

std::unique_ptr<StorageEngine> CreatePostgresEngine(int lockWaitMs, int maxValueBytes,
                                                    const std::atomic<bool>* stop) {
  return std::unique_ptr<StorageEngine>(new PgEngine(lockWaitMs, maxValueBytes, stop));
}

}  // namespace velsrv
