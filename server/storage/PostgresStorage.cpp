// The PostgreSQL storage engine through libpq: one database connection per
// client session. Result sets are read through cursors a batch of rows at
// a time, so the server never holds a whole result.
#include <cctype>
#include <libpq-fe.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "protocol/IntervalText.h"
#include "server/Diagnostics.h"
#include "server/values/SqlTypes.h"
#include "server/TextCase.h"
#include "server/storage/PostgresBinary.h"
#include "server/storage/PostgresEngine.h"
#include "server/storage/PostgresText.h"

namespace velsrv {

namespace {

// A cursor's first batch has kFirstBatchRows rows (the first rows come
// soon); each later batch as many as the rows seen so far say fit in
// kBatchBytes, counting libpq's own bytes per value, at most kMaxBatchRows.
// Batches of about 128 KiB keep PostgreSQL and this server busy side by
// side: with 1 MiB ones PostgreSQL sat idle between two FETCHes about as
// long as it worked on one, and fetching was a third slower. Large rows still
// come kMinBatchRows at a time while those fit in kLargeBatchBytes, so
// that a result of big values is not read one FETCH per row.
constexpr int kFirstBatchRows = 64, kMinBatchRows = 16, kMaxBatchRows = 1 << 16;
constexpr size_t kBatchBytes = 1 << 17, kLargeBatchBytes = 4 << 20, kValueOverhead = 16;

int BatchRows(size_t perRow) {
  size_t rows = std::min<size_t>(kMaxBatchRows, kBatchBytes / perRow);
  if (rows < kMinBatchRows) rows = std::min<size_t>(kMinBatchRows, kLargeBatchBytes / perRow);
  return static_cast<int>(std::max<size_t>(1, rows));
}
// The rows of a plain INSERT's forms for parameter arrays, and the most
// parameters one statement takes.
constexpr size_t kChunkRows[] = {64, 16, 4};
constexpr size_t kMaxParameters = 65535;

// The interval code (protocol/IntervalText.h) of an interval's modifier:
// its fields mask (PostgreSQL's YEAR 1<<2, MONTH 1<<1, DAY 1<<3, HOUR 1<<10,
// MINUTE 1<<11, SECOND 1<<12) in the upper half; one without fields is DAY
// TO SECOND.
int IntervalCode(int typmod) {
  static const struct {
    int mask, code;
  } kRanges[] = {
      {4, interval::kYear},
      {2, interval::kMonth},
      {6, interval::kYearToMonth},
      {8, interval::kDay},
      {1024, interval::kHour},
      {2048, interval::kMinute},
      {4096, interval::kSecond},
      {1032, interval::kDayToHour},
      {3080, interval::kDayToMinute},
      {7176, interval::kDayToSecond},
      {3072, interval::kHourToMinute},
      {7168, interval::kHourToSecond},
      {6144, interval::kMinuteToSecond},
  };
  const int range = typmod < 0 ? 0x7FFF : (typmod >> 16) & 0x7FFF;
  for (const auto& r : kRanges)
    if (r.mask == range) return r.code;
  return interval::kDayToSecond;
}

// The declared type (in the names SqlTypes maps) of a PostgreSQL type with
// its modifier; empty for types whose values describe themselves. An
// interval is named as its SQL type only for a session that asked
// (protocol/INTERVALS.md), else it describes itself as text, as before.
std::string DeclaredType(Oid type, int typmod, bool fromTable, bool intervals = false) {
  switch (type) {
    case kPgInterval: {
      if (!intervals) return "";
      const int code = IntervalCode(typmod);
      std::string name = "INTERVAL(" + std::string(SqlTypeName(interval::kSqlCodeBase + code) + 9);
      // The seconds precision the modifier declares, after a comma (its
      // low half; 0xFFFF declares none: PostgreSQL's six digits).
      const int digits = typmod < 0 ? 0xFFFF : typmod & 0xFFFF;
      const bool seconds = code == interval::kSecond || code == interval::kDayToSecond ||
                           code == interval::kHourToSecond || code == interval::kMinuteToSecond;
      if (seconds && digits < interval::kSecondDigits) name += "," + std::to_string(digits);
      return name + ")";
    }
    case kPgBool:
      return "BOOLEAN";
    case kPgBytea:
      return "BLOB";
    case kPgChar:
      return "CHAR(1)";
    case kPgName:
      return "VARCHAR(128)";
    case kPgInt2:
      return "SMALLINT";
    case kPgInt4:
      return "INTEGER";
    case kPgInt8:
    case kPgOid:
      return "BIGINT";
    case kPgFloat4:
      return "REAL";
    case kPgFloat8:
      return "DOUBLE";
    case kPgDate:
      return "DATE";
    case kPgTime:
    case kPgTimeTz:
      return "TIME";
    case kPgTimestamp:
    case kPgTimestampTz:
      return "TIMESTAMP";
    case kPgBpchar:
      return typmod >= 5 ? "CHAR(" + std::to_string(typmod - 4) + ")" : "TEXT";
    case kPgVarchar:
      return typmod >= 5 ? "VARCHAR(" + std::to_string(typmod - 4) + ")" : "VARCHAR";
    case kPgNumeric:
      // A numeric without declared digits takes any scale: it is described
      // with every digit a value carries and six of them after the point,
      // so that numbers read as SQL_C_NUMERIC keep the usual fractions.
      if (typmod < 4) return "NUMERIC(" + std::to_string(kSqlNumericDigits) + ",6)";
      return "NUMERIC(" + std::to_string(((typmod - 4) >> 16) & 0xFFFF) + "," +
             std::to_string((typmod - 4) & 0xFFFF) + ")";
    case kPgJson:
    case kPgJsonb:
    case kPgXml:
      return "TEXT";
    case kPgText:
      return fromTable ? "TEXT" : "";  // expressions: by their first value, as SQLite's
    default:
      return "";
  }
}

// A column's declared type from pg_type: a domain named like a SQL type
// ("LONGVARCHAR", "TINYINT") is described as that type, others by their
// base type.
std::string CatalogType(const std::string& name, bool domain, Oid type, int typmod,
                        bool intervals) {
  if (domain && IsExactTypeName(name)) return Upper(name);
  return DeclaredType(type, typmod, true, intervals);
}

std::string Field(const PGresult* r, int row, int column) {
  return PQgetisnull(r, row, column) ? std::string() : PQgetvalue(r, row, column);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// bytea in its hex output form, "\x4142".
std::string Bytes(const char* v, int n) {
  std::string out;
  if (n < 2 || v[0] != '\\' || v[1] != 'x') return std::string(v, n);
  for (int i = 2; i + 1 < n; i += 2)
    out.push_back(static_cast<char>(HexDigit(v[i]) * 16 + HexDigit(v[i + 1])));
  return out;
}

// The zone offset of a timestamptz or timetz value ("+00", "-05:30") cut
// off: the session's zone is UTC and the wire forms carry none.
std::string WithoutZone(const char* v, int n, bool timestamp) {
  std::string s(v, n);
  size_t sign = s.find_last_of("+-");
  if (sign != std::string::npos && sign > (timestamp ? 10u : 0u)) s.resize(sign);
  return s;
}

bool Textual(Oid type) {
  return type == kPgText || type == kPgVarchar || type == kPgBpchar || type == kPgName ||
         type == kPgUnknown;
}

// The width of a number's binary form for a parameter of type, when the
// number has type's very kind and fits (else 0: it goes as text, and
// PostgreSQL says what does not fit); its bits into *bits.
int BinaryNumber(const Value& v, Oid type, uint64_t* bits) {
  if (v.kind == Value::Kind::kReal && type == kPgFloat8) {
    std::memcpy(bits, &v.real, 8);
    return 8;
  }
  if (v.kind != Value::Kind::kInteger) return 0;
  *bits = static_cast<uint64_t>(v.integer);
  if (type == kPgInt8) return 8;
  if (type == kPgInt4 && v.integer >= INT32_MIN && v.integer <= INT32_MAX) return 4;
  if (type == kPgInt2 && v.integer >= INT16_MIN && v.integer <= INT16_MAX) return 2;
  return 0;
}

// The values as libpq sends them to parameters of types, appended to
// *out: raw bytes for bytea and for text holding NUL, numbers of the
// parameter's own type in binary form (nothing to write here and to read
// there), text otherwise.
void ConvertParams(const std::vector<Value>& binds, const std::vector<Oid>& types, PgParams* out) {
  for (size_t i = 0; i < binds.size(); ++i) {
    const Value& v = binds[i];
    uint64_t bits = 0;
    if (const int width = BinaryNumber(v, types[i], &bits)) {
      for (int k = width - 1; k >= 0; --k) out->bytes.push_back(static_cast<char>(bits >> (8 * k)));
      out->bytes.push_back('\0');
      out->lengths.push_back(width);
      out->formats.push_back(1);
      continue;
    }
    const bool rawBytes =
        (v.kind == Value::Kind::kBlob && (types[i] == kPgBytea || Textual(types[i]))) ||
        (v.kind == Value::Kind::kText &&
         (types[i] == kPgBytea || v.bytes.find('\0') != std::string::npos));
    const size_t start = out->bytes.size();
    char b[40];
    switch (v.kind) {
      case Value::Kind::kNull:
        break;
      case Value::Kind::kInteger:
        out->bytes.append(b, std::snprintf(b, sizeof b, "%lld", static_cast<long long>(v.integer)));
        break;
      case Value::Kind::kReal: {
        // The shortest text that reads back as the same double (0.1, not
        // 0.10000000000000001): a NUMERIC column or a comparison with one
        // gets the decimal the application sent.
        int length = std::snprintf(b, sizeof b, "%.15g", v.real);
        if (std::strtod(b, nullptr) != v.real) length = std::snprintf(b, sizeof b, "%.17g", v.real);
        out->bytes.append(b, length);
        break;
      }
      default:
        out->bytes += v.bytes;
    }
    out->lengths.push_back(v.IsNull() ? -1 : static_cast<int>(out->bytes.size() - start));
    out->formats.push_back(rawBytes ? 1 : 0);
    if (!v.IsNull()) out->bytes.push_back('\0');  // libpq reads text up to it
  }
}

class PgStatement : public StorageStatement {
 public:
  PgStatement(PgSession* session, std::string name, std::string text, const PGresult* description,
              bool cursor)
      : session_(session), name_(std::move(name)), text_(std::move(text)), cursor_(cursor) {
    for (int i = 0; i < PQnparams(description); ++i)
      paramTypes_.push_back(PQparamtype(description, i));
    binds_.resize(paramTypes_.size());
    session_->DescribeColumns(description, &columns_);
    // Rows travel in binary form when every column's type is read so.
    binary_ = PQnfields(description) > 0;
    for (int i = 0; i < PQnfields(description); ++i) {
      types_.push_back(PQftype(description, i));
      binary_ = binary_ && PgBinaryReadable(types_.back());
    }
    std::string word = FirstWord(text_);
    readOnly_ = word == "SELECT" || word == "VALUES" || word == "TABLE" || word == "SHOW";
  }
  ~PgStatement() override {
    Reset();
    session_->Command("DEALLOCATE " + name_);
    for (const PgChunk& c : chunks_) session_->Command("DEALLOCATE " + c.name);
    if (!unnest_.name.empty()) session_->Command("DEALLOCATE " + unnest_.name);
  }

  static std::string FirstWord(const std::string& text) {
    size_t i = text.find_first_not_of(" \t\r\n(");
    std::string word;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) word += text[i++];
    return Upper(word);
  }

  int ParameterCount() const override { return static_cast<int>(paramTypes_.size()); }
  int ColumnCount() const override { return static_cast<int>(columns_.size()); }
  ColumnMeta Column(int index) const override { return columns_[index]; }
  // The type PostgreSQL gave the marker when it prepared the statement
  // (without a length: markers have none).
  std::string ParameterType(int index) const override {
    return index < 1 || index > ParameterCount()
               ? ""
               : DeclaredType(paramTypes_[index - 1], -1, true, session_->Intervals());
  }
  bool IsReadOnly() const override { return readOnly_; }

  Status Bind(int index, const Value& value) override {
    if (index < 1 || index > ParameterCount())
      return Status::Error(kStateParameterNumber, 0, "invalid parameter number");
    binds_[index - 1] = value;
    return Status::Ok();
  }

  StepResult Step(Status* status) override {
    if (!started_) {
      Reset();
      started_ = true;
      *status = Start();
      if (!status->ok) return Finish(StepResult::kError);
    }
    if (++row_ >= rows_) {
      if (!more_) return Finish(StepResult::kDone);
      *status = FetchBatch();
      if (!status->ok) return Finish(StepResult::kError);
      if (rows_ == 0) return Finish(StepResult::kDone);
      row_ = 0;
    }
    if (row_ == tooLongRow_) {
      *status = Status::Error(kStateTruncated, 0,
                              "string or blob too big: a value of column " +
                                  std::to_string(tooLongColumn_ + 1) +
                                  " is longer than the largest value");
      return Finish(StepResult::kError);
    }
    return StepResult::kRow;
  }

  Value ColumnValue(int index) const override {
    const PGresult* r = batch_.get();
    if (!r || row_ < 0 || row_ >= rows_ || PQgetisnull(r, row_, index)) return Value::Null();
    const char* v = PQgetvalue(r, row_, index);
    int n = PQgetlength(r, row_, index);
    if (binary_) return PgBinaryValue(types_[index], v, n);
    switch (PQftype(r, index)) {
      case kPgBool:
        return Value::Integer(v[0] == 't' ? 1 : 0);
      case kPgInt2:
      case kPgInt4:
      case kPgInt8:
      case kPgOid:
        return Value::Integer(std::strtoll(v, nullptr, 10));
      case kPgFloat4:
      case kPgFloat8:
        return Value::Real(std::strtod(v, nullptr));
      case kPgBytea:
        return Value::Blob(Bytes(v, n));
      case kPgTimestampTz:
        return Value::Text(WithoutZone(v, n, true));
      case kPgTimeTz:
        return Value::Text(WithoutZone(v, n, false));
      default:
        return Value::Text(std::string(v, n));
    }
  }

  Cell EncodeColumn(int index, const SqlTypeDesc& type, uint32_t maxLength, std::string* out,
                    Status* status) const override {
    const PGresult* r = batch_.get();
    if (!binary_ || !r || row_ < 0 || row_ >= rows_) return Cell::kAsValue;
    if (PQgetisnull(r, row_, index)) return Cell::kNull;
    return PgBinaryCell(types_[index], PQgetvalue(r, row_, index), PQgetlength(r, row_, index),
                        type, maxLength, out, status)
               ? Cell::kEncoded
               : Cell::kAsValue;
  }

  void Reset() override {
    CloseCursor();
    batch_.reset();
    rows_ = 0;
    row_ = -1;
    more_ = false;
    started_ = false;
  }

  int64_t ChangedRows() const override { return changed_; }

  std::unique_ptr<StorageSetRun> StartSets(bool stop) override {
    Reset();
    const bool chunked = Chunked();
    return session_->StartSets(
        name_, [this](PgParams* out) { ConvertParams(binds_, paramTypes_, out); }, stop,
        chunked ? chunks_ : std::vector<PgChunk>(), chunked ? Unnested() : PgUnnest());
  }

 private:
  // A plain INSERT of one row into a table without triggers or rules
  // (nothing of which could tell many rows in one statement from as many
  // statements) gets its forms of several rows, for parameter arrays.
  // The table is looked at for every array (a trigger may come between
  // two); the forms are prepared once.
  bool Chunked() {
    if (!chunksChecked_) {
      chunksChecked_ = true;
      if (paramTypes_.empty() || !SplitInsertValues(text_, &chunkTable_, &chunkHead_, &chunkRow_))
        chunkTable_.clear();
    }
    if (chunkTable_.empty()) return false;
    PgResult plain;
    Status st = session_->Query(
        "SELECT 1 FROM pg_class c WHERE c.oid = to_regclass($1) AND c.relkind = 'r'"
        " AND NOT c.relhasrules AND NOT EXISTS (SELECT 1 FROM pg_trigger t"
        " WHERE t.tgrelid = c.oid AND NOT t.tgisinternal) AND NOT EXISTS (SELECT 1"
        " FROM pg_constraint k WHERE k.conrelid = c.oid AND k.confrelid = c.oid)",
        chunkTable_, &plain, "velora_plain");
    if (!st.ok || PQntuples(plain.get()) != 1) return false;
    const size_t n = paramTypes_.size();
    for (size_t rows : kChunkRows) {
      if (!chunks_.empty() && chunks_.back().rows <= rows) break;  // prepared before
      if (rows * n > kMaxParameters) continue;
      std::string sql = chunkHead_;
      std::vector<Oid> types;
      for (size_t r = 0; r < rows; ++r) {
        sql += (r ? "," : "") + ShiftMarkers(chunkRow_, static_cast<int>(r * n));
        types.insert(types.end(), paramTypes_.begin(), paramTypes_.end());
      }
      std::string name = session_->NextName("velora_m");
      st = session_->Run(
          [&](PGconn* c) {
            return PQsendPrepare(c, name.c_str(), sql.c_str(), static_cast<int>(types.size()),
                                 types.data());
          },
          nullptr);
      if (!st.ok) break;
      chunks_.push_back({rows, name});
    }
    if (chunks_.empty()) chunkTable_.clear();  // its forms do not prepare: never again
    return !chunks_.empty();
  }

  // A plain INSERT whose row is only its markers, "VALUES ($1, $2, ...)",
  // gets its form over one array per parameter: "INSERT INTO table
  // [(columns)] SELECT unnest($1), unnest($2), ...", each parameter of the
  // array type of the type PostgreSQL gave the marker (none for a type
  // without one, such as a domain's: the chunks then). Of the ways to send
  // a few thousand rows it costs PostgreSQL the least: about a third less
  // than INSERTs of 64 rows, and less than a COPY per request, which sets
  // up and frees a slot per buffered row each time and cannot travel in
  // the pipeline beside the savepoints. The unnest calls sit in the select
  // list, where they run in step (the arrays are equally long) row by row;
  // in FROM, each one's rows would be stored first. Prepared once.
  const PgUnnest& Unnested() {
    if (unnestChecked_) return unnest_;
    unnestChecked_ = true;
    const size_t n = paramTypes_.size();
    std::string row = "(", written;
    for (size_t i = 0; i < n; ++i) row += (i ? ",$" : "$") + std::to_string(i + 1);
    row += ")";
    for (const char ch : chunkRow_)
      if (!std::isspace(static_cast<unsigned char>(ch))) written += ch;
    std::vector<Oid> arrays;
    if (written != row || !session_->ArrayTypes(paramTypes_, &arrays)) return unnest_;
    // The head ends with VALUES and the space before the row.
    const size_t values = chunkHead_.find_last_not_of(" \t\r\n") + 1 - 6;
    std::string sql = chunkHead_.substr(0, values) + "SELECT";
    for (size_t i = 0; i < n; ++i)
      sql += (i ? ", unnest($" : " unnest($") + std::to_string(i + 1) + ")";
    const std::string name = session_->NextName("velora_u");
    const Status st = session_->Run(
        [&](PGconn* c) {
          return PQsendPrepare(c, name.c_str(), sql.c_str(), static_cast<int>(n), arrays.data());
        },
        nullptr);
    if (st.ok) unnest_ = {name, paramTypes_};
    return unnest_;
  }

  // Keeps the last batch's rows: the current row stays readable after the
  // end of the rows has been reached.
  StepResult Finish(StepResult r) {
    CloseCursor();
    more_ = false;
    if (r == StepResult::kError) {
      batch_.reset();
      rows_ = 0;
      started_ = false;  // the next step runs the statement again
    }
    return r;
  }

  // Runs the statement: a query opens a cursor (held past the end of its
  // transaction in autocommit mode, where PostgreSQL keeps its rows); any
  // other statement runs to its end, rows it returns held as one batch.
  // A query whose last execution fit in its cursor's first batch runs
  // whole as the prepared statement too: one round trip instead of a
  // transaction, a cursor and its close around each execution (lookups
  // by key executed again and again). Should its rows outgrow that batch
  // after all, that execution holds them, and the next opens a cursor
  // again.
  Status Start() {
    changed_ = 0;
    PgParams params;
    ConvertParams(binds_, paramTypes_, &params);
    std::vector<const char*> values;
    params.Pointers(&values);
    const int* lengths = params.lengths.data();
    const int* formats = params.formats.data();
    int n = static_cast<int>(binds_.size());
    if (cursor_ && !whole_) {
      std::string cursor = session_->NextName("velora_c");
      bool hold = !session_->InTransaction();
      Status st = session_->OpenCursor(this, [&](PGconn* c) {
        std::string sql = "DECLARE " + cursor + " NO SCROLL CURSOR " + (hold ? "WITH HOLD " : "") +
                          "FOR " + text_;
        return PQsendQueryParams(c, sql.c_str(), n, paramTypes_.data(), values.data(), lengths,
                                 formats, binary_ ? 1 : 0);
      });
      // A query a held cursor cannot keep (FOR UPDATE) runs as a whole.
      if (st.ok) {
        cursorName_ = cursor;
        st = FetchBatch();
        whole_ = st.ok && !more_ && rows_ <= kFirstBatchRows;
        return st;
      }
      if (!(hold && st.sqlstate == kStateNotCapable)) return st;
    }
    Status st = session_->Run(
        [&](PGconn* c) {
          return PQsendQueryPrepared(c, name_.c_str(), n, values.data(), lengths, formats,
                                     binary_ ? 1 : 0);
        },
        &batch_);
    if (!st.ok) return st;
    changed_ = std::strtoll(PQcmdTuples(batch_.get()), nullptr, 10);
    more_ = false;
    Measure();
    if (rows_ > kFirstBatchRows) whole_ = false;
    return Status::Ok();
  }

  void CloseCursor() {
    if (!cursorName_.empty()) session_->CloseCursor(this, cursorName_);
    cursorName_.clear();
    aheadRows_ = 0;
  }

  // Reads the batch's size, and finds its first value longer than the
  // largest value (bytea in text form arrives as hex); returns its bytes.
  size_t Measure() {
    const PGresult* r = batch_.get();
    rows_ = PQntuples(r);
    row_ = -1;
    tooLongRow_ = -1;
    const int columns = PQnfields(r);
    const size_t limit = static_cast<size_t>(session_->MaxValueBytes());
    size_t bytes = 0;
    for (int row = 0; row < rows_; ++row) {
      for (int c = 0; c < columns; ++c) {
        size_t n = static_cast<size_t>(PQgetlength(r, row, c));
        bytes += n + kValueOverhead;
        if (!binary_ && types_[c] == kPgBytea && n >= 2) n = (n - 2) / 2;
        if (n > limit && tooLongRow_ < 0) tooLongRow_ = row, tooLongColumn_ = c;
      }
    }
    return bytes;
  }

  std::function<int(PGconn*)> FetchRows(int rows) const {
    std::string sql = "FETCH FORWARD " + std::to_string(rows) + " FROM " + cursorName_;
    const int format = binary_ ? 1 : 0;
    return [sql, format](PGconn* c) {
      return PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, format);
    };
  }

  Status FetchBatch() {
    const int asked = aheadRows_ ? aheadRows_ : batchRows_;
    aheadRows_ = 0;
    Status st = session_->FetchCursor(this, FetchRows(asked), &batch_);
    if (!st.ok) return st;
    const size_t bytes = Measure();
    more_ = rows_ == asked;
    if (rows_ > 0) {
      const size_t perRow = bytes / static_cast<size_t>(rows_) + 1;
      batchRows_ = BatchRows(perRow);
    }
    if (!more_)
      CloseCursor();  // its last rows are here
    else if (session_->FetchAhead(this, FetchRows(batchRows_)))
      aheadRows_ = batchRows_;
    return Status::Ok();
  }

  PgSession* session_;
  std::string name_, text_;
  bool cursor_;
  bool whole_ = false;  // the next execution runs without a cursor
  bool readOnly_ = false;
  std::vector<Oid> paramTypes_;
  std::vector<Value> binds_;
  std::vector<ColumnMeta> columns_;
  bool chunksChecked_ = false;
  std::string chunkTable_, chunkHead_, chunkRow_;  // of a plain INSERT of one row
  std::vector<PgChunk> chunks_;                    // its forms of several rows, largest first
  bool unnestChecked_ = false;
  PgUnnest unnest_;  // its form over arrays
  // The execution.
  bool started_ = false;
  std::string cursorName_;
  std::vector<Oid> types_;  // of the result columns
  bool binary_ = false;
  PgResult batch_;
  int rows_ = 0, row_ = -1;
  int tooLongRow_ = -1, tooLongColumn_ = 0;  // the batch's first value over the limit
  bool more_ = false;
  int batchRows_ = kFirstBatchRows;
  int aheadRows_ = 0;  // of the FETCH sent ahead
  int64_t changed_ = 0;
};

}  // namespace

// ---- the session ----

void PgParams::Pointers(std::vector<const char*>* out) const {
  out->resize(lengths.size());
  size_t at = 0;
  for (size_t i = 0; i < lengths.size(); ++i) {
    (*out)[i] = lengths[i] < 0 ? nullptr : bytes.data() + at;
    at += lengths[i] < 0 ? 0 : static_cast<size_t>(lengths[i]) + 1;
  }
}

void PgSession::DescribeColumns(const PGresult* d, std::vector<ColumnMeta>* out) {
  std::string tables;
  for (int i = 0; i < PQnfields(d); ++i)
    if (PQftable(d, i) != InvalidOid)
      tables += (tables.empty() ? "" : ",") + std::to_string(PQftable(d, i));
  PgResult catalog;
  if (!tables.empty()) {
    std::string set = "{" + tables + "}";
    const char* values[] = {set.c_str()};
    Run(
        [&](PGconn* c) {
          return PQsendQueryParams(
              c,
              "SELECT a.attrelid, a.attnum, c.relname, a.attnotnull, t.typname, t.typtype = 'd',"
              " CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE t.oid END,"
              " CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END"
              " FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid"
              " JOIN pg_type t ON t.oid = a.atttypid"
              " WHERE a.attrelid = ANY($1::oid[]) AND a.attnum > 0",
              1, nullptr, values, nullptr, nullptr, 0);
        },
        &catalog);
  }
  for (int i = 0; i < PQnfields(d); ++i) {
    ColumnMeta meta;
    meta.name = PQfname(d, i);
    meta.declaredType = DeclaredType(PQftype(d, i), PQfmod(d, i), false, intervals_);
    for (int r = 0; catalog && r < PQntuples(catalog.get()); ++r) {
      if (std::strtoul(PQgetvalue(catalog.get(), r, 0), nullptr, 10) != PQftable(d, i) ||
          std::atoi(PQgetvalue(catalog.get(), r, 1)) != PQftablecol(d, i))
        continue;
      meta.table = Field(catalog.get(), r, 2);
      meta.nullability = Field(catalog.get(), r, 3) == "t" ? 0 : 1;
      meta.declaredType = CatalogType(Field(catalog.get(), r, 4), Field(catalog.get(), r, 5) == "t",
                                      std::strtoul(PQgetvalue(catalog.get(), r, 6), nullptr, 10),
                                      std::atoi(PQgetvalue(catalog.get(), r, 7)), intervals_);
    }
    out->push_back(meta);
  }
}

Status PgSession::Prepare(const std::string& sql, std::unique_ptr<StorageStatement>* out,
                          std::string* rest) {
  std::string text, error;
  int markers = 0;
  if (!FirstPostgresStatement(sql, &text, rest, &markers, &error))
    return Status::Error(kStateSyntax, 0, error);
  if (PgStatement::FirstWord(text).empty() &&
      text.find_first_not_of(" \t\r\n") == std::string::npos)
    return Status::Error(kStateSyntax, 0, "the statement text holds no statement");
  // Comments alone are no statement either.
  std::string name = NextName("velora_s");
  Status st = Run(
      [&](PGconn* c) { return PQsendPrepare(c, name.c_str(), text.c_str(), 0, nullptr); }, nullptr);
  if (!st.ok) return st;
  PgResult description;
  st = Run([&](PGconn* c) { return PQsendDescribePrepared(c, name.c_str()); }, &description);
  if (!st.ok) {
    Command("DEALLOCATE " + name);
    return st;
  }
  std::string word = PgStatement::FirstWord(text);
  bool cursor = PQnfields(description.get()) > 0 &&
                (word == "SELECT" || word == "VALUES" || word == "TABLE" || word == "WITH");
  out->reset(new PgStatement(this, name, text, description.get(), cursor));
  return Status::Ok();
}

// A text that does not scan (an unterminated quote) stays one statement,
// whose preparation reports it.
void PgSession::SplitStatements(const std::string& sql, std::vector<std::string>* statements,
                                std::vector<int>* markers) const {
  statements->clear();
  markers->clear();
  std::string rest = sql, text, after, error;
  while (HoldsStatement(rest)) {
    int count = 0;
    if (!FirstPostgresStatement(rest, &text, &after, &count, &error)) after.clear();
    std::string statement = rest.substr(0, rest.size() - after.size());
    if (HoldsStatement(statement)) {
      statements->push_back(std::move(statement));
      markers->push_back(count);
    }
    rest.swap(after);
  }
}

// Read from pg_type: the built-in type of each SQL type, and instead of it
// a domain on the search path named like the SQL type (so that a
// "CREATE DOMAIN tinyint AS smallint" adds TINYINT).
bool PgSession::TypeNames(std::map<int16_t, std::string>* out) {
  static const struct {
    int16_t sqlType;
    Oid type;
  } kBuiltIn[] = {
      {kSqlBit, kPgBool},
      {kSqlBigInt, kPgInt8},
      {kSqlLongVarBinary, kPgBytea},
      {kSqlLongVarChar, kPgText},
      {kSqlChar, kPgBpchar},
      {kSqlNumeric, kPgNumeric},
      {kSqlInteger, kPgInt4},
      {kSqlSmallInt, kPgInt2},
      {kSqlFloat, kPgFloat8},
      {kSqlReal, kPgFloat4},
      {kSqlDate, kPgDate},
      {kSqlTime, kPgTime},
      {kSqlTimestamp, kPgTimestamp},
      {kSqlVarChar, kPgVarchar},
  };
  PgResult r;
  Status st = Run(
      [](PGconn* c) {
        return PQsendQueryParams(
            c,
            "SELECT t.oid, t.typname, t.typtype = 'd' FROM pg_type t"
            " WHERE t.oid < 10000 OR (t.typtype = 'd' AND pg_type_is_visible(t.oid))",
            0, nullptr, nullptr, nullptr, nullptr, 0);
      },
      &r);
  if (!st.ok) return false;
  std::map<int16_t, std::string> domains;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    const std::string name = Field(r.get(), i, 1);
    const Oid type = static_cast<Oid>(std::strtoul(PQgetvalue(r.get(), i, 0), nullptr, 10));
    SqlTypeDesc described;
    if (Field(r.get(), i, 2) == "t" && IsExactTypeName(name) && TypeFromDeclared(name, &described))
      domains[described.sqlType] = Upper(name);
    for (const auto& b : kBuiltIn)
      if (b.type == type) (*out)[b.sqlType] = Upper(name);
  }
  for (const auto& d : domains) (*out)[d.first] = d.second;
  return true;
}

Status PgSession::Tables(std::vector<TableEntry>* out) {
  PgResult r;
  Status st = Run(
      [](PGconn* c) {
        return PQsendQueryParams(
            c,
            "SELECT c.relname, c.relkind IN ('v', 'm') FROM pg_class c"
            " JOIN pg_namespace n ON n.oid = c.relnamespace"
            " WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') AND pg_table_is_visible(c.oid)"
            " AND n.nspname NOT IN ('pg_catalog', 'information_schema') ORDER BY 1",
            0, nullptr, nullptr, nullptr, nullptr, 0);
      },
      &r);
  for (int i = 0; st.ok && i < PQntuples(r.get()); ++i)
    out->push_back({Field(r.get(), i, 0), Field(r.get(), i, 1) == "t" ? "VIEW" : "TABLE"});
  return st;
}

Status PgSession::TableColumns(const std::string& table, std::vector<TableColumnEntry>* out) {
  PgResult r;
  Status st = Query(
      "SELECT a.attname, t.typname, t.typtype = 'd', CASE WHEN t.typtype = 'd' THEN t.typbasetype "
      "ELSE t.oid END,"
      " CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END, a.attnotnull,"
      " coalesce(array_position(k.conkey, a.attnum), 0), d.adbin IS NOT NULL,"
      " coalesce(pg_get_expr(d.adbin, d.adrelid), '')"
      " FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid"
      " LEFT JOIN pg_constraint k ON k.conrelid = a.attrelid AND k.contype = 'p'"
      " LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum"
      " WHERE a.attrelid = to_regclass(quote_ident($1)) AND a.attnum > 0 AND NOT a.attisdropped"
      " ORDER BY a.attnum",
      table, &r);
  for (int i = 0; st.ok && i < PQntuples(r.get()); ++i) {
    TableColumnEntry e;
    e.name = Field(r.get(), i, 0);
    e.declaredType = CatalogType(Field(r.get(), i, 1), Field(r.get(), i, 2) == "t",
                                 std::strtoul(PQgetvalue(r.get(), i, 3), nullptr, 10),
                                 std::atoi(PQgetvalue(r.get(), i, 4)), intervals_);
    e.notNull = Field(r.get(), i, 5) == "t";
    e.primaryKeyPosition = std::atoi(PQgetvalue(r.get(), i, 6));
    e.hasDefault = Field(r.get(), i, 7) == "t";
    e.defaultValue = Field(r.get(), i, 8);
    out->push_back(e);
  }
  return st;
}

Status PgSession::Indexes(const std::string& table, std::vector<IndexEntry>* out) {
  PgResult r;
  Status st = Query(
      "SELECT i.relname, x.indisunique, coalesce(a.attname, '')"
      " FROM pg_index x JOIN pg_class i ON i.oid = x.indexrelid"
      " CROSS JOIN LATERAL unnest(x.indkey::int2[]) WITH ORDINALITY AS k(n, o)"
      " LEFT JOIN pg_attribute a ON a.attrelid = x.indrelid AND a.attnum = k.n AND k.n > 0"
      " WHERE x.indrelid = to_regclass(quote_ident($1)) AND k.o <= x.indnkeyatts ORDER BY "
      "i.relname, k.o",
      table, &r);
  for (int i = 0; st.ok && i < PQntuples(r.get()); ++i) {
    std::string name = Field(r.get(), i, 0);
    if (out->empty() || out->back().name != name)
      out->push_back({name, Field(r.get(), i, 1) == "t", {}});
    out->back().columns.push_back(Field(r.get(), i, 2));
  }
  return st;
}

Status PgSession::PrimaryKey(const std::string& table, PrimaryKeyEntry* out) {
  PgResult r;
  Status st = Query(
      "SELECT k.conname, a.attname FROM pg_constraint k"
      " CROSS JOIN LATERAL unnest(k.conkey) WITH ORDINALITY AS u(n, o)"
      " JOIN pg_attribute a ON a.attrelid = k.conrelid AND a.attnum = u.n"
      " WHERE k.contype = 'p' AND k.conrelid = to_regclass(quote_ident($1)) ORDER BY u.o",
      table, &r);
  for (int i = 0; st.ok && i < PQntuples(r.get()); ++i) {
    out->name = Field(r.get(), i, 0);
    out->columns.push_back(Field(r.get(), i, 1));
  }
  return st;
}

Status PgSession::ForeignKeys(const std::string& table, std::vector<ForeignKeyEntry>* out) {
  // The key referred to is the primary key or unique constraint whose
  // index the foreign key uses (the index's name when there is none).
  PgResult r;
  Status st = Query(
      "SELECT k.conname, f.relname, coalesce(p.conname, i.relname, ''), a.attname, b.attname,"
      " k.confupdtype, k.confdeltype, k.condeferrable, k.condeferred FROM pg_constraint k"
      " JOIN pg_class f ON f.oid = k.confrelid"
      " LEFT JOIN pg_class i ON i.oid = k.conindid"
      " LEFT JOIN pg_constraint p ON p.conrelid = k.confrelid AND p.conindid = k.conindid"
      " AND p.contype IN ('p', 'u')"
      " CROSS JOIN LATERAL unnest(k.conkey, k.confkey) WITH ORDINALITY AS u(n, m, o)"
      " JOIN pg_attribute a ON a.attrelid = k.conrelid AND a.attnum = u.n"
      " JOIN pg_attribute b ON b.attrelid = k.confrelid AND b.attnum = u.m"
      " WHERE k.contype = 'f' AND k.conrelid = to_regclass(quote_ident($1))"
      " ORDER BY k.conname, u.o",
      table, &r);
  auto action = [](const std::string& code) {
    return code == "c"   ? "CASCADE"
           : code == "r" ? "RESTRICT"
           : code == "n" ? "SET NULL"
           : code == "d" ? "SET DEFAULT"
                         : "NO ACTION";
  };
  for (int i = 0; st.ok && i < PQntuples(r.get()); ++i) {
    const std::string name = Field(r.get(), i, 0);
    if (out->empty() || out->back().name != name) {
      out->emplace_back();
      out->back().name = name;
      out->back().referencedTable = Field(r.get(), i, 1);
      out->back().referencedKey = Field(r.get(), i, 2);
      out->back().onUpdate = action(Field(r.get(), i, 5));
      out->back().onDelete = action(Field(r.get(), i, 6));
      out->back().deferrable = Field(r.get(), i, 7) != "t"   ? "NOT DEFERRABLE"
                               : Field(r.get(), i, 8) == "t" ? "INITIALLY DEFERRED"
                                                             : "INITIALLY IMMEDIATE";
    }
    out->back().columns.push_back(Field(r.get(), i, 3));
    out->back().referencedColumns.push_back(Field(r.get(), i, 4));
  }
  return st;
}

// A name as PostgreSQL resolves it: folded to lower case unless quoted.
bool PgSession::IsProcedure(const std::string& name) {
  std::string folded;
  if (name.size() > 1 && name.front() == '"' && name.back() == '"') {
    folded = name.substr(1, name.size() - 2);
  } else {
    for (char c : name) folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  PgResult r;
  // A schema's name before it does not matter: any procedure of that name.
  if (folded.find('.') != std::string::npos) folded = folded.substr(folded.rfind('.') + 1);
  Status st = Query("SELECT 1 FROM pg_proc WHERE prokind = 'p' AND proname = $1", folded, &r);
  return st.ok && PQntuples(r.get()) > 0;
}

// One row per argument (none for a routine without), in the order of
// proallargtypes; the mode letters are pg_proc's: i in, o out, b in and
// out, v variadic, t a column of RETURNS TABLE.
Status PgSession::Routines(std::vector<RoutineEntry>* out) {
  PgResult r;
  Status st = Run(
      [](PGconn* c) {
        return PQsendQueryParams(
            c,
            "SELECT p.oid, p.proname, p.prokind = 'p', p.proretset,"
            " coalesce(obj_description(p.oid, 'pg_proc'), ''), a.o IS NOT NULL,"
            " coalesce(p.proargnames[a.o], ''), coalesce(p.proargmodes[a.o], 'i'), t.typname,"
            " t.typtype = 'd', CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE t.oid END,"
            " r.typname, r.typtype = 'd', CASE WHEN r.typtype = 'd' THEN r.typbasetype ELSE r.oid "
            "END"
            " FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace"
            " LEFT JOIN pg_type r ON r.oid = p.prorettype"
            " LEFT JOIN LATERAL unnest(coalesce(p.proallargtypes, p.proargtypes::oid[]))"
            " WITH ORDINALITY AS a(t, o) ON true LEFT JOIN pg_type t ON t.oid = a.t"
            " WHERE p.prokind IN ('f', 'p') AND pg_function_is_visible(p.oid)"
            " AND n.nspname NOT IN ('pg_catalog', 'information_schema')"
            " ORDER BY p.proname, p.oid, a.o",
            0, nullptr, nullptr, nullptr, nullptr, 0);
      },
      &r);
  auto type = [&](int row, int column) {
    return CatalogType(Field(r.get(), row, column), Field(r.get(), row, column + 1) == "t",
                       std::strtoul(PQgetvalue(r.get(), row, column + 2), nullptr, 10), -1,
                       intervals_);
  };
  std::string oid;
  bool columnsOut = false;  // the routine's rows are made of its out and table arguments
  for (int i = 0; st.ok && i <= PQntuples(r.get()); ++i) {
    const bool next = i == PQntuples(r.get()) || Field(r.get(), i, 0) != oid;
    // A function that returns a value of its own (not void, no out
    // arguments) ends with it: first for a scalar, a result column for a set.
    if (next && !out->empty() && !out->back().procedure && !columnsOut) {
      RoutineEntry& e = out->back();
      const std::string returned = type(i - 1, 11);
      if (Field(r.get(), i - 1, 11) != "void") {
        RoutineColumnEntry value{e.returnsSet ? e.name : "RETURN_VALUE", e.returnsSet ? 3 : 5,
                                 returned};
        if (e.returnsSet)
          e.columns.push_back(value);
        else
          e.columns.insert(e.columns.begin(), value);
      }
    }
    if (i == PQntuples(r.get())) break;
    if (next) {
      oid = Field(r.get(), i, 0);
      columnsOut = false;
      RoutineEntry e;
      e.name = Field(r.get(), i, 1);
      e.procedure = Field(r.get(), i, 2) == "t";
      e.returnsSet = Field(r.get(), i, 3) == "t";
      e.remarks = Field(r.get(), i, 4);
      out->push_back(e);
    }
    if (Field(r.get(), i, 5) != "t") continue;
    RoutineEntry& e = out->back();
    const std::string mode = Field(r.get(), i, 7);
    const int kind = mode == "b" ? 2 : mode == "t" ? 3 : mode == "o" ? (e.procedure ? 4 : 3) : 1;
    if (kind == 3) columnsOut = true;
    e.columns.push_back({Field(r.get(), i, 6), kind, type(i, 8)});
  }
  // Parameters before result columns, each kept in its own order.
  for (RoutineEntry& e : *out)
    std::stable_sort(e.columns.begin(), e.columns.end(),
                     [](const RoutineColumnEntry& a, const RoutineColumnEntry& b) {
                       return (a.kind == 3) < (b.kind == 3);
                     });
  return st;
}

Status PgSession::Grants(const std::string& table, bool columns, std::vector<GrantEntry>* out,
                         bool* kept) {
  *kept = true;
  PgResult r;
  // The grants the information schema shows this role, on the visible
  // table of that name.
  Status st = Query(columns ? "SELECT g.column_name, g.grantor, g.grantee, g.privilege_type,"
                              " g.is_grantable = 'YES', CASE WHEN g.grantee = 'PUBLIC' THEN true"
                              " ELSE pg_has_role(g.grantee, 'USAGE') END"
                              " FROM information_schema.column_privileges g"
                              " JOIN pg_class c ON c.oid = to_regclass(quote_ident($1))"
                              " JOIN pg_namespace n ON n.oid = c.relnamespace"
                              " WHERE g.table_schema = n.nspname AND g.table_name = c.relname"
                            : "SELECT '', g.grantor, g.grantee, g.privilege_type,"
                              " g.is_grantable = 'YES', CASE WHEN g.grantee = 'PUBLIC' THEN true"
                              " ELSE pg_has_role(g.grantee, 'USAGE') END"
                              " FROM information_schema.table_privileges g"
                              " JOIN pg_class c ON c.oid = to_regclass(quote_ident($1))"
                              " JOIN pg_namespace n ON n.oid = c.relnamespace"
                              " WHERE g.table_schema = n.nspname AND g.table_name = c.relname",
                    table, &r);
  for (int i = 0; st.ok && i < PQntuples(r.get()); ++i)
    out->push_back({Field(r.get(), i, 0), Field(r.get(), i, 1), Field(r.get(), i, 2),
                    Field(r.get(), i, 3), Field(r.get(), i, 4) == "t",
                    Field(r.get(), i, 5) == "t"});
  return st;
}

Status PgSession::RowCount(const std::string& table, int64_t* out) {
  *out = 0;
  PgResult r;
  std::string sql = "SELECT count(*) FROM \"";
  for (char c : table) sql += c == '"' ? std::string("\"\"") : std::string(1, c);
  sql += "\"";
  Status st = Run(
      [&](PGconn* c) {
        return PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
      },
      &r);
  if (st.ok && PQntuples(r.get()) == 1) *out = std::strtoll(PQgetvalue(r.get(), 0, 0), nullptr, 10);
  return st;
}

}  // namespace velsrv
