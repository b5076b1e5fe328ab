// Many executions of one prepared statement in one pipeline (libpq's
// pipeline mode), so that PostgreSQL is waited for once per request
// instead of once per set.
//
// The sets go in groups, each group between the savepoint and its
// release, with one sync after the last. A savepoint per set would keep
// a failure to its own set just as well, but triples PostgreSQL's work
// per row (a subtransaction each); a group of sets shares one. A failing
// set makes PostgreSQL skip everything after it up to the sync; then its
// group's savepoint is rolled back, and the sets of the group before it
// (whose work that undid) and the sets skipped after it are sent again:
// one more round trip and at most a group's sets run twice per failure
// (the groups shrink after each one), and what stays is exactly the work
// of the sets that succeeded, each once, as with a savepoint per set. A
// set run again gives its outcome anew (a statement whose outcome depends
// on the time or on other sessions' work may have another one then).
//
// A plain INSERT of one row into a plain table (PgStatement's chunks)
// goes further: consecutive sets travel as one INSERT of many rows, which
// PostgreSQL runs several times faster than as many executions. Such an
// INSERT succeeds or fails as a whole, so each of its sets gets one row
// changed, or, when it fails, it is undone like a failing set and its
// sets go again one by one, which finds the failing set and its record.
#include <poll.h>

#include <cstdint>
#include <cstdlib>
#include <deque>

#include "server/Diagnostics.h"
#include "server/metrics/Metrics.h"
#include "server/storage/PostgresEngine.h"

namespace velsrv {

namespace {
constexpr size_t kLargestGroup = 64;  // sets under one savepoint
// With chunks: one savepoint per several chunks (a failing chunk is
// undone and sent again set by set anyway).
constexpr size_t kLargestChunkedGroup = 256;
}  // namespace

class PgSetRun : public StorageSetRun {
 public:
  PgSetRun(PgSession* session, std::string name, std::function<void(PgParams*)> bound, bool stop,
           const std::vector<PgChunk>& chunks)
      : session_(session),
        conn_(session->conn_),
        name_(std::move(name)),
        bound_(std::move(bound)),
        stop_(stop),
        chunks_(chunks) {
    if (!chunks_.empty()) group_ = kLargestChunkedGroup;
  }
  ~PgSetRun() override {
    std::vector<SetResult> unused;
    if (!finished_) Finish(&unused);
  }

  void Add() override {
    firstValue_.push_back(values_.lengths.size());
    firstByte_.push_back(values_.bytes.size());
    bound_(&values_);
    states_.push_back(State::kWaiting);
    results_.emplace_back();
    alone_.push_back(false);
    if (!entered_) {
      entered_ = true;
      if (!PQenterPipelineMode(conn_) || PQsetnonblocking(conn_, 1) != 0) Break();
    }
    Queue(states_.size() - 1);
    // What has arrived is read now and then: PostgreSQL, whose replies
    // would otherwise pile up, goes on reading the sets.
    if (states_.size() % 32 == 0) Pump();
  }

  void Finish(std::vector<SetResult>* out) override;

 private:
  // What the commands in flight are, in the order sent: a group's
  // savepoint and release name its first set, a repair none; an execute
  // runs count sets from set on.
  enum class Kind { kSavepoint, kExecute, kRelease, kRepair, kSync };
  struct Command {
    Kind kind;
    size_t set;
    size_t count;
  };
  // A set waits to be sent (again), is in flight, ran in a group not yet
  // released, is done (its group released) or failed.
  enum class State { kWaiting, kSent, kRan, kDone, kFailed };

  bool Plain(const char* sql, Kind kind, size_t set) {
    if (broken_) return false;
    if (!PQsendQueryParams(conn_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0)) {
      Break();
      return false;
    }
    flight_.push_back({kind, set, 0});
    return true;
  }

  // Sends set next: with the sets queued before it as one chunk when it
  // follows them and may go in a chunk, or else alone.
  void Queue(size_t set) {
    if (chunks_.empty() || alone_[set]) {
      Flush();
      return Send(set, 1);
    }
    if (queued_ != 0 && queuedFrom_ + queued_ != set) Flush();
    if (queued_++ == 0) queuedFrom_ = set;
    if (queued_ == chunks_.front().rows) Flush();
  }

  // Sends the sets queued: in the largest chunks they fill, the rest alone.
  void Flush() {
    while (queued_ != 0) {
      size_t rows = 1;
      for (const PgChunk& c : chunks_)
        if (c.rows <= queued_) {
          rows = c.rows;
          break;
        }
      Send(queuedFrom_, rows);
      queuedFrom_ += rows;
      queued_ -= rows;
    }
  }

  void Send(size_t set, size_t count) {
    if (broken_) return;
    if (grouped_ == 0 && !Plain(kPgSavepoint, Kind::kSavepoint, set)) return;
    const char* name = name_.c_str();
    for (const PgChunk& c : chunks_)
      if (c.rows == count) name = c.name.c_str();
    // The sets' values lie one after the other.
    const size_t from = firstValue_[set];
    const size_t to =
        set + count < firstValue_.size() ? firstValue_[set + count] : values_.lengths.size();
    pointers_.clear();
    for (size_t v = from, at = firstByte_[set]; v < to; ++v) {
      const int n = values_.lengths[v];
      pointers_.push_back(n < 0 ? nullptr : values_.bytes.data() + at);
      at += n < 0 ? 0 : static_cast<size_t>(n) + 1;
    }
    if (!PQsendQueryPrepared(conn_, name, static_cast<int>(to - from), pointers_.data(),
                             values_.lengths.data() + from, values_.formats.data() + from, 0))
      return Break();
    flight_.push_back({Kind::kExecute, set, count});
    for (size_t i = set; i < set + count; ++i) states_[i] = State::kSent;
    grouped_ += count;
    if (grouped_ >= group_) EndGroup();
  }

  void EndGroup() {
    if (grouped_ != 0) Plain(kPgRelease, Kind::kRelease, 0);
    grouped_ = 0;
  }

  // The connection failed: every set not yet answered shares its failure.
  void Break() {
    if (broken_) return;
    broken_ = true;
    broke_ = PgStatus(conn_, nullptr);
  }

  // Sends what libpq holds and reads what has arrived, without waiting.
  void Pump() {
    if (broken_) return;
    if (PQflush(conn_) < 0 || !PQconsumeInput(conn_)) return Break();
    Drain();
  }

  // Takes the results that have arrived, in the order of the commands.
  void Drain() {
    while (!broken_ && !flight_.empty() && !PQisBusy(conn_)) {
      PGresult* r = PQgetResult(conn_);
      const Command c = flight_.front();
      if (c.kind == Kind::kSync || r == nullptr) {
        // A command's results end with null; the sync's is its own end.
        const bool synced = r != nullptr && PQresultStatus(r) == PGRES_PIPELINE_SYNC;
        PQclear(r);
        if ((c.kind == Kind::kSync) != synced) return Break();
        flight_.pop_front();
        continue;
      }
      Take(c, r);
      PQclear(r);
      if (PQstatus(conn_) != CONNECTION_OK) return Break();
    }
  }

  void Take(const Command& c, PGresult* r) {
    const ExecStatusType status = PQresultStatus(r);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    const bool failed = !ok && status != PGRES_PIPELINE_ABORTED;
    if (c.kind == Kind::kExecute && c.count == 1 && failed) {
      states_[c.set] = State::kFailed;
      results_[c.set].status = PgStatus(conn_, r);
      failed_ = c.set;
      undone_ = true;
    } else if (c.kind == Kind::kExecute) {
      int64_t rows = ok ? std::strtoll(PQcmdTuples(r), nullptr, 10) : -1;
      // A chunk changes one row per set (no trigger or rule can skip one).
      if (c.count > 1) rows = rows == static_cast<int64_t>(c.count) ? 1 : -1;
      for (size_t set = c.set; set < c.set + c.count; ++set) {
        states_[set] = ok ? State::kRan : State::kWaiting;
        if (ok) results_[set].rows = rows;
        // A failing chunk is undone, and its sets go again one by one.
        if (failed) alone_[set] = true;
      }
      if (failed) {
        undone_ = true;
        groupEnd_ = c.set;  // when cancelled, its first set meets the stop
      }
    } else if (c.kind == Kind::kRelease && status != PGRES_PIPELINE_ABORTED) {
      // Its group done; or, when the release itself failed (cancelled),
      // undone as with a failing set, but with no set to blame.
      for (size_t set = 0; set < states_.size(); ++set) {
        if (states_[set] != State::kRan) continue;
        states_[set] = ok ? State::kDone : State::kRan;
        if (!ok) groupEnd_ = set + 1;
      }
      undone_ = undone_ || !ok;
    } else if (!ok && status != PGRES_PIPELINE_ABORTED && repair_.ok) {
      // Without its savepoint the transaction cannot go on.
      repair_ = PgStatus(conn_, r);
    }
  }

  // Sends the sync and waits for every answer up to it.
  void Sync() {
    Flush();
    EndGroup();
    if (broken_) return;
    if (!PQpipelineSync(conn_)) return Break();
    flight_.push_back({Kind::kSync, 0, 0});
    const Stopwatch stopwatch;
    std::chrono::steady_clock::time_point nextCancel{};
    for (;;) {
      Drain();
      if (broken_ || flight_.empty()) break;
      const int unsent = PQflush(conn_);
      if (unsent < 0) return Break();
      pollfd p = {PQsocket(conn_), static_cast<short>(POLLIN | (unsent ? POLLOUT : 0)), 0};
      poll(&p, 1, 200);
      // A client that has gone, or a request past its time or cancelled:
      // the set running is cancelled, and no set after it runs.
      stopped_ = session_->StopRunning(&nextCancel) || stopped_;
      if (!PQconsumeInput(conn_)) return Break();
    }
    ObservePostgresRoundTrip(stopwatch.Seconds());
  }

  PgSession* session_;
  PGconn* conn_;
  std::string name_;
  std::function<void(PgParams*)> bound_;
  bool stop_;
  // Every set's values, kept until the end (a set may be sent again): a
  // set's first value and its first byte.
  PgParams values_;
  std::vector<size_t> firstValue_, firstByte_;
  std::vector<State> states_;
  std::vector<SetResult> results_;
  std::deque<Command> flight_;
  std::vector<const char*> pointers_;           // of the execute being sent
  std::vector<PgChunk> chunks_;                 // largest first; none: every set alone
  std::vector<bool> alone_;                     // a set that goes alone (its chunk failed)
  size_t queuedFrom_ = 0, queued_ = 0;          // the sets queued for a chunk
  size_t group_ = kLargestGroup, grouped_ = 0;  // a group's size; sets sent in the open one
  // Since the last sync: the set that failed, the end of a group whose
  // release failed, and whether a group was undone.
  size_t failed_ = SIZE_MAX, groupEnd_ = 0;
  bool undone_ = false;
  bool entered_ = false, finished_ = false;
  bool stopped_ = false;  // cancelled: no set runs after the one that failed
  bool broken_ = false;
  Status broke_, repair_;
};

void PgSetRun::Finish(std::vector<SetResult>* out) {
  finished_ = true;
  out->clear();
  if (!entered_) return;
  Sync();
  while (!broken_ && repair_.ok && undone_) {
    // The failing group undone, the transaction goes on from before it:
    // the group's sets that ran go again, and so do the sets after the
    // failure unless the run stops there (at a failing set) or was
    // cancelled (they fail as cancelled).
    const bool setFailed = failed_ != SIZE_MAX;
    const size_t after = setFailed ? failed_ : groupEnd_;
    stopped_ = stopped_ || session_->StopWanted();
    const bool halt = stopped_ || (stop_ && setFailed);
    const bool cancel = halt && !(stop_ && setFailed);
    failed_ = SIZE_MAX;
    undone_ = false;
    group_ = group_ > 1 ? group_ / 2 : 1;
    Plain(kPgRollbackTo, Kind::kRepair, 0);
    Plain(kPgRelease, Kind::kRepair, 0);
    for (size_t set = 0; set < states_.size(); ++set) {
      if (states_[set] == State::kRan) states_[set] = State::kWaiting;
      if (states_[set] != State::kWaiting) continue;
      if (set < after || !halt) {
        Queue(set);
      } else if (cancel) {
        states_[set] = State::kFailed;
        results_[set].status = Status::Error(kStateCancelled, 0, "operation canceled");
      }
    }
    Sync();
  }
  PQsetnonblocking(conn_, 0);
  PQexitPipelineMode(conn_);
  if (!repair_.ok && !broken_) session_->Rollback();  // the transaction is lost
  // Sets left unanswered share the failure that left them so; with stop,
  // the outcomes end at the first failure (the sets after it did not run).
  for (size_t set = 0; set < states_.size(); ++set) {
    SetResult& r = results_[set];
    if (states_[set] != State::kDone && states_[set] != State::kFailed)
      r.status = broken_ ? broke_ : repair_;
    out->push_back(r);
    if (stop_ && !r.status.ok) break;
  }
}

std::unique_ptr<StorageSetRun> PgSession::StartSets(const std::string& name,
                                                    std::function<void(PgParams*)> bound, bool stop,
                                                    const std::vector<PgChunk>& chunks) {
  Settle();  // a cursor's own transaction is not the sets'
  if (PQtransactionStatus(conn_) != PQTRANS_INTRANS) return nullptr;
  return std::unique_ptr<StorageSetRun>(new PgSetRun(this, name, std::move(bound), stop, chunks));
}

}  // namespace velsrv
