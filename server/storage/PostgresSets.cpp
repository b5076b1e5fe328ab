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
//
// Such an INSERT whose row is only markers (PgUnnest) goes further still:
// the sets travel as one execution of INSERT ... SELECT unnest($1), ...
// over one array per parameter, which costs PostgreSQL about a third less
// than INSERTs of 64 rows (PostgresStorage.cpp says why not COPY).
// The execution succeeds or fails as a whole, as a chunk does; a failing
// one is undone and its sets go again in chunks (and then alone). A
// value that an array cannot hold exactly (a number out of its
// parameter type's range, raw bytes where text is read) sends its sets
// to the chunks at once, where PostgreSQL judges it as before.
#include <poll.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "server/Diagnostics.h"
#include "server/metrics/Metrics.h"
#include "server/storage/PostgresBinary.h"
#include "server/storage/PostgresEngine.h"

namespace velsrv {

namespace {
constexpr size_t kLargestGroup = 64;  // sets under one savepoint
// With chunks: one savepoint per several chunks (a failing chunk is
// undone and sent again set by set anyway).
constexpr size_t kLargestChunkedGroup = 256;
// The most bytes of values that one execution of unnest carries.
constexpr size_t kUnnestBytes = size_t{4} << 20;

// How a set goes: in an execution of unnest, in a chunk, or alone.
enum Level : uint8_t { kInUnnest, kInChunk, kAlone };

// The width of a number type's binary form (0: not a number sent so).
int NumberWidth(Oid type) {
  return type == kPgInt2 ? 2 : type == kPgInt4 ? 4 : type == kPgInt8 || type == kPgFloat8 ? 8 : 0;
}

char* Put32(char* out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out[k] = static_cast<char>(v >> (24 - 8 * k));
  return out + 4;
}

// True for an integer's text outside the range of an integer type of
// width bytes (text of any other form is PostgreSQL's to judge).
bool OutOfRange(const char* text, int length, int width) {
  const std::string s(text, static_cast<size_t>(length));
  if (s.find_first_not_of(" \t\r\n+-0123456789") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 10);
  if (end == s.c_str() || s.find_first_not_of(" \t\r\n", end - s.c_str()) != std::string::npos)
    return false;
  const long long limit = width == 2 ? INT16_MAX : width == 4 ? INT32_MAX : INT64_MAX;
  return errno == ERANGE || v > limit || v < -limit - 1;
}

// One parameter's values in a run of sets: value first + k * step of
// values for the k-th of count sets, its bytes at at[k * step].
struct ArrayColumn {
  const PgParams& values;
  const size_t* at;
  size_t first, step, count;
  Oid type;
  int Length(size_t k) const { return values.lengths[first + k * step]; }
  int Format(size_t k) const { return values.formats[first + k * step]; }
  const char* Bytes(size_t k) const { return values.bytes.data() + at[k * step]; }
};

// The column as an array in binary form (ndim, NULL flag, element type,
// its length and lower bound, then each element's length, -1 for NULL,
// and bytes), when each value's bytes are the element's binary form:
// numbers sent in binary of their type's width, text and raw bytes for
// the text types and bytea.
bool BinaryArray(const ArrayColumn& c, std::string* out) {
  const int width = NumberWidth(c.type);
  const bool text = c.type == kPgText || c.type == kPgVarchar || c.type == kPgBpchar;
  if (width == 0 && !text && c.type != kPgBytea) return false;
  bool nulls = false;
  size_t bytes = 20;  // the header
  for (size_t k = 0; k < c.count; ++k) {
    const int n = c.Length(k);
    if (n < 0) {
      nulls = true;
    } else if (width != 0 ? c.Format(k) != 1 || n != width : c.Format(k) != 1 && !text) {
      return false;
    }
    bytes += 4 + (n < 0 ? 0 : static_cast<size_t>(n));
  }
  const size_t start = out->size();
  out->resize(start + bytes);
  char* p = &(*out)[start];
  p = Put32(Put32(Put32(p, 1), nulls ? 1 : 0), c.type);
  p = Put32(Put32(p, static_cast<uint32_t>(c.count)), 1);
  for (size_t k = 0; k < c.count; ++k) {
    const int n = c.Length(k);
    p = Put32(p, static_cast<uint32_t>(n));
    if (n > 0) std::memcpy(p, c.Bytes(k), static_cast<size_t>(n));
    p += n < 0 ? 0 : n;
  }
  return true;
}

// The column as an array literal, each element quoted as it was sent in
// text form (read by the element type's own input, as the value alone
// would be), numbers sent in binary written as text; false for raw bytes
// and for an integer's text outside its type's range.
bool TextArray(const ArrayColumn& c, std::string* out) {
  const int width = NumberWidth(c.type);
  out->push_back('{');
  for (size_t k = 0; k < c.count; ++k) {
    if (k != 0) out->push_back(',');
    const int n = c.Length(k);
    const char* b = c.Bytes(k);
    if (n < 0) {
      out->append("NULL");
    } else if (c.Format(k) == 1) {
      if (width == 0 || n != width) return false;
      uint64_t bits = 0;
      for (int i = 0; i < n; ++i) bits = bits << 8 | static_cast<unsigned char>(b[i]);
      char t[40];
      int length = 0;
      if (c.type == kPgFloat8) {
        double d;
        std::memcpy(&d, &bits, 8);
        length = std::isnan(d)   ? std::snprintf(t, sizeof t, "NaN")
                 : std::isinf(d) ? std::snprintf(t, sizeof t, d < 0 ? "-Infinity" : "Infinity")
                                 : std::snprintf(t, sizeof t, "%.17g", d);
      } else {
        const int shift = 64 - 8 * n;
        const long long v = static_cast<long long>(static_cast<int64_t>(bits << shift) >> shift);
        length = std::snprintf(t, sizeof t, "%lld", v);
      }
      out->append(t, static_cast<size_t>(length));
    } else {
      if (width != 0 && c.type != kPgFloat8 && OutOfRange(b, n, width)) return false;
      out->push_back('"');
      for (int i = 0; i < n; ++i) {
        if (b[i] == '"' || b[i] == '\\') out->push_back('\\');
        out->push_back(b[i]);
      }
      out->push_back('"');
    }
  }
  out->push_back('}');
  return true;
}
}  // namespace

class PgSetRun : public StorageSetRun {
 public:
  PgSetRun(PgSession* session, std::string name, std::function<void(PgParams*)> bound, bool stop,
           const std::vector<PgChunk>& chunks, const PgUnnest& unnest)
      : session_(session),
        conn_(session->conn_),
        name_(std::move(name)),
        bound_(std::move(bound)),
        stop_(stop),
        chunks_(chunks),
        unnest_(unnest) {
    if (!chunks_.empty()) group_ = kLargestChunkedGroup;
    firstLevel_ = chunks_.empty() ? kAlone : unnest_.name.empty() ? kInChunk : kInUnnest;
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
    level_.push_back(firstLevel_);
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
  enum class Kind { kSavepoint, kExecute, kUnnest, kRelease, kRepair, kSync };
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

  // Sends set next: with the sets queued before it as one execution of
  // unnest or one chunk when it follows them and may go so, or else alone.
  void Queue(size_t set) {
    if (level_[set] == kInUnnest) {
      FlushChunks();  // the sets go in their order
      if (unnested_ != 0 && unnestFrom_ + unnested_ != set) FlushUnnest();
      if (unnested_++ == 0) unnestFrom_ = set;
      if (EndByte(set) - firstByte_[unnestFrom_] >= kUnnestBytes) FlushUnnest();
      return;
    }
    FlushUnnest();
    if (level_[set] == kAlone) {
      FlushChunks();
      return Send(set, 1);
    }
    if (queued_ != 0 && queuedFrom_ + queued_ != set) FlushChunks();
    if (queued_++ == 0) queuedFrom_ = set;
    if (queued_ == chunks_.front().rows) FlushChunks();
  }

  void Flush() {
    FlushUnnest();
    FlushChunks();
  }

  // Sends the sets queued for a chunk: in the largest chunks they fill,
  // the rest alone.
  void FlushChunks() {
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

  // Sends the sets queued for unnest as one execution, or, when fewer
  // than two or a value does not fit its array, to the chunks.
  void FlushUnnest() {
    if (unnested_ == 0) return;
    const size_t from = unnestFrom_, count = unnested_;
    unnested_ = 0;
    if (count > 1 && Arrays(from, count)) {
      pointers_.clear();
      for (size_t i = 0, at = 0; i < arrays_.lengths.size(); ++i) {
        pointers_.push_back(arrays_.bytes.data() + at);
        at += static_cast<size_t>(arrays_.lengths[i]) + 1;
      }
      return Execute(Kind::kUnnest, unnest_.name.c_str(), static_cast<int>(pointers_.size()),
                     arrays_.lengths.data(), arrays_.formats.data(), from, count);
    }
    for (size_t set = from; set < from + count; ++set) {
      level_[set] = kInChunk;
      Queue(set);
    }
  }

  size_t EndValue(size_t set) const {
    return set + 1 < firstValue_.size() ? firstValue_[set + 1] : values_.lengths.size();
  }
  size_t EndByte(size_t set) const {
    return set + 1 < firstByte_.size() ? firstByte_[set + 1] : values_.bytes.size();
  }

  // The values of count sets from set into arrays_, one array per
  // parameter: false when one does not fit.
  bool Arrays(size_t set, size_t count) {
    const size_t n = unnest_.elements.size();
    for (size_t i = set; i < set + count; ++i)
      if (EndValue(i) - firstValue_[i] != n) return false;
    arrays_.bytes.clear();
    arrays_.lengths.clear();
    arrays_.formats.clear();
    arrays_.bytes.reserve(EndByte(set + count - 1) - firstByte_[set] + count * n * 4 + n * 24);
    at_.clear();  // where each value starts
    for (size_t v = firstValue_[set], at = firstByte_[set]; v < firstValue_[set] + count * n; ++v) {
      at_.push_back(at);
      at += values_.lengths[v] < 0 ? 0 : static_cast<size_t>(values_.lengths[v]) + 1;
    }
    for (size_t p = 0; p < n; ++p) {
      const ArrayColumn column{values_, at_.data() + p, firstValue_[set] + p,
                               n,       count,          unnest_.elements[p]};
      const size_t start = arrays_.bytes.size();
      int format = 1;
      if (!BinaryArray(column, &arrays_.bytes)) {
        arrays_.bytes.resize(start);
        format = 0;
        if (!TextArray(column, &arrays_.bytes)) return false;
      }
      arrays_.lengths.push_back(static_cast<int>(arrays_.bytes.size() - start));
      arrays_.formats.push_back(format);
      arrays_.bytes.push_back('\0');
    }
    return true;
  }

  void Send(size_t set, size_t count) {
    const char* name = name_.c_str();
    for (const PgChunk& c : chunks_)
      if (c.rows == count) name = c.name.c_str();
    // The sets' values lie one after the other.
    const size_t from = firstValue_[set];
    const size_t to = EndValue(set + count - 1);
    pointers_.clear();
    for (size_t v = from, at = firstByte_[set]; v < to; ++v) {
      const int n = values_.lengths[v];
      pointers_.push_back(n < 0 ? nullptr : values_.bytes.data() + at);
      at += n < 0 ? 0 : static_cast<size_t>(n) + 1;
    }
    Execute(Kind::kExecute, name, static_cast<int>(to - from), values_.lengths.data() + from,
            values_.formats.data() + from, set, count);
  }

  // Runs name over the values in pointers_ for count sets from set, in
  // the open group (or a new one).
  void Execute(Kind kind, const char* name, int values, const int* lengths, const int* formats,
               size_t set, size_t count) {
    if (broken_) return;
    if (grouped_ == 0 && !Plain(kPgSavepoint, Kind::kSavepoint, set)) return;
    if (!PQsendQueryPrepared(conn_, name, values, pointers_.data(), lengths, formats, 0))
      return Break();
    flight_.push_back({kind, set, count});
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
    } else if (c.kind == Kind::kExecute || c.kind == Kind::kUnnest) {
      int64_t rows = ok ? std::strtoll(PQcmdTuples(r), nullptr, 10) : -1;
      // A chunk changes one row per set (no trigger or rule can skip one).
      if (c.count > 1) rows = rows == static_cast<int64_t>(c.count) ? 1 : -1;
      for (size_t set = c.set; set < c.set + c.count; ++set) {
        states_[set] = ok ? State::kRan : State::kWaiting;
        if (ok) results_[set].rows = rows;
        // A failing execution of unnest is undone, and its sets go again
        // in chunks; a failing chunk's one by one.
        if (failed) level_[set] = c.kind == Kind::kUnnest ? kInChunk : kAlone;
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
  PgUnnest unnest_;                             // no name: no execution of unnest
  Level firstLevel_;                            // how each set goes first
  std::vector<Level> level_;                    // how each set goes now
  size_t queuedFrom_ = 0, queued_ = 0;          // the sets queued for a chunk
  size_t unnestFrom_ = 0, unnested_ = 0;        // the sets queued for unnest
  PgParams arrays_;                             // their arrays
  std::vector<size_t> at_;                      // where their values start
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
                                                    const std::vector<PgChunk>& chunks,
                                                    const PgUnnest& unnest) {
  Settle();  // a cursor's own transaction is not the sets'
  if (PQtransactionStatus(conn_) != PQTRANS_INTRANS) return nullptr;
  return std::unique_ptr<StorageSetRun>(
      new PgSetRun(this, name, std::move(bound), stop, chunks, unnest));
}

}  // namespace velsrv
