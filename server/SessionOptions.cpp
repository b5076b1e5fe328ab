// Session: cursor names, catalog and type information, connection and
// statement options, transactions.
#include <cctype>

#include "protocol/WireNumbers.h"
#include "server/Catalog.h"
#include "server/Session.h"
#include "server/SessionStatement.h"
#include "server/TextCase.h"

namespace velsrv {

// ---- cursor names ----

int Session::GetCursorName(uint32_t id, std::string* name) {
  name->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  *name = s->cursorName;
  return kSqlSuccess;
}

int Session::SetCursorName(uint32_t id, const std::string& name) {
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (s->position != Position::kNone)
    return Fail(id, "24000", 0, "invalid cursor state: a cursor is open");
  bool valid =
      !name.empty() && name.size() <= 18 && (std::isalpha(static_cast<unsigned char>(name[0])));
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') valid = false;
  std::string upper = Upper(name);
  if (upper.compare(0, 7, "SQL_CUR") == 0 || upper.compare(0, 6, "SQLCUR") == 0) valid = false;
  if (!valid) return Fail(id, "34000", 0, "invalid cursor name \"" + name + "\"");
  for (auto& entry : statements_) {
    if (entry.first == id) continue;
    if (Upper(entry.second->cursorName) == upper)
      return Fail(id, "3C000", 0, "duplicate cursor name \"" + name + "\"");
  }
  s->cursorName = name;
  return kSqlSuccess;
}

// ---- catalog ----

int Session::OpenStatic(Statement* s, std::vector<ColumnOut> description,
                        std::vector<std::vector<Value>> rows, std::vector<ColumnOut>* columns) {
  CloseCursor(s);
  s->prepared = false;
  s->storage.reset();
  s->rowCount = -1;
  s->description = std::move(description);
  s->rows = std::move(rows);
  s->isStatic = true;
  s->staticIndex = 0;
  s->position = Position::kBefore;
  *columns = s->description;
  return kSqlSuccess;
}

int Session::GetTypeInfo(uint32_t id, int sqlType, std::vector<ColumnOut>* columns) {
  columns->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  std::map<int16_t, std::string> names;
  ResultSet r = TypeInfo(sqlType, storage_->TypeNames(&names) ? &names : nullptr);
  return OpenStatic(s, std::move(r.columns), std::move(r.rows), columns);
}

int Session::Tables(uint32_t id, const std::string& qualifier, const std::string& owner,
                    const std::string& name, const std::string& types,
                    std::vector<ColumnOut>* columns) {
  columns->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  ResultSet r;
  Status st = CatalogTables(storage_.get(), qualifier, owner, name, types, &r);
  if (!st.ok) return FailStatus(id, st, __LINE__);
  return OpenStatic(s, std::move(r.columns), std::move(r.rows), columns);
}

int Session::Columns(uint32_t id, const std::string& qualifier, const std::string& owner,
                     const std::string& table, const std::string& column,
                     std::vector<ColumnOut>* columns) {
  columns->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  ResultSet r;
  Status st = CatalogColumns(storage_.get(), qualifier, owner, table, column, &r);
  if (!st.ok) return FailStatus(id, st, __LINE__);
  return OpenStatic(s, std::move(r.columns), std::move(r.rows), columns);
}

int Session::Statistics(uint32_t id, const std::string& qualifier, const std::string& owner,
                        const std::string& table, int unique, int accuracy,
                        std::vector<ColumnOut>* columns) {
  columns->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (unique != 0 && unique != 1)
    return Fail(id, "S1100", 0, "uniqueness option type out of range");
  if (accuracy != 0 && accuracy != 1)
    return Fail(id, "S1101", 0, "accuracy option type out of range");
  ResultSet r;
  Status st = CatalogStatistics(storage_.get(), qualifier, owner, table, unique, accuracy, &r);
  if (!st.ok) return FailStatus(id, st, __LINE__);
  return OpenStatic(s, std::move(r.columns), std::move(r.rows), columns);
}

int Session::SpecialColumns(uint32_t id, int columnType, const std::string& qualifier,
                            const std::string& owner, const std::string& table, int scope,
                            int nullable, std::vector<ColumnOut>* columns) {
  columns->clear();
  if (!loggedIn_) return NotLoggedIn(id);
  Statement* s = Require(id);
  if (!s) return kSqlError;
  if (columnType != 1 && columnType != 2) return Fail(id, "S1097", 0, "column type out of range");
  if (scope < 0 || scope > 2) return Fail(id, "S1098", 0, "scope type out of range");
  if (nullable != 0 && nullable != 1) return Fail(id, "S1099", 0, "nullable type out of range");
  ResultSet r;
  Status st = CatalogSpecialColumns(storage_.get(), columnType, qualifier, owner, table, scope,
                                    nullable, &r);
  if (!st.ok) return FailStatus(id, st, __LINE__);
  return OpenStatic(s, std::move(r.columns), std::move(r.rows), columns);
}

// ---- options and transactions ----

int Session::SetAccessMode(int mode) {
  if (!loggedIn_) return NotLoggedIn(0);
  if (mode != 0 && mode != 1)
    return Fail(0, "S1009", 0, "invalid access mode " + std::to_string(mode));
  if (userReadOnly_ && mode == 0)
    return Info(0, "01S02", "this user is read-only: the access mode stays read-only");
  Status st = storage_->SetReadOnly(mode == 1);
  if (!st.ok) return FailStatus(0, st, __LINE__);
  accessMode_ = static_cast<uint32_t>(mode);
  return kSqlSuccess;
}

int Session::SetAutocommit(int mode) {
  if (!loggedIn_) return NotLoggedIn(0);
  if (mode != 0 && mode != 1)
    return Fail(0, "S1009", 0, "invalid autocommit mode " + std::to_string(mode));
  if (mode == 1 && !autocommit_ && storage_->InTransaction()) {
    // Switching autocommit on commits the open transaction.
    CloseAllCursors();
    Status st = storage_->Commit();
    if (!st.ok) return FailStatus(0, st, __LINE__);
  }
  autocommit_ = mode == 1;
  return kSqlSuccess;
}

int Session::SetIsolation(int level) {
  if (!loggedIn_) return NotLoggedIn(0);
  if (level != 1 && level != 2 && level != 4 && level != 8)
    return Fail(0, "S1009", 0, "invalid transaction isolation level " + std::to_string(level));
  int applied = level;
  Status st = storage_->SetIsolation(level, &applied);
  if (!st.ok) return FailStatus(0, st, __LINE__);
  isolation_ = static_cast<uint32_t>(applied);
  if (applied != level)
    return Info(0, "01S02",
                std::string("option value changed: transactions are ") +
                    (applied == 8 ? "serializable" : "read committed"));
  return kSqlSuccess;
}

int Session::SetStatementOption(int code, uint32_t id, uint32_t value) {
  if (!loggedIn_) return NotLoggedIn(id);
  StatementOptions* o = &defaults_;
  if (id != 0) {
    Statement* s = Require(id);
    if (!s) return kSqlError;
    o = &s->options;
  }
  switch (code) {
    case Msg::kSetConcurrency:
      o->concurrency = value;
      if (value != 1) return Info(id, "01S02", "option value changed: cursors are read-only");
      return kSqlSuccess;
    case Msg::kSetCursorType:
      o->cursorType = value;
      if (value != 0) return Info(id, "01S02", "option value changed: cursors are forward-only");
      return kSqlSuccess;
    case Msg::kSetMaxLength:
      o->maxLength = value;
      return kSqlSuccess;
    case Msg::kSetMaxRows:
      o->maxRows = value;
      return kSqlSuccess;
    case Msg::kSetNoscan:
      if (value > 1) return Fail(id, "S1009", 0, "invalid no-scan option " + std::to_string(value));
      o->noscan = value;
      return kSqlSuccess;
    case Msg::kSetRetrieveData:
      if (value > 1)
        return Fail(id, "S1009", 0, "invalid retrieve-data option " + std::to_string(value));
      o->retrieveData = value;
      return kSqlSuccess;
    case Msg::kSetRowsetSize:
      if (value == 0) return Fail(id, "S1009", 0, "rowset size 0 is invalid");
      o->rowsetSize = value;
      if (value != 1)
        return Info(id, "01S02", "option value changed: rows are fetched one at a time");
      return kSqlSuccess;
    case Msg::kSetUseBookmarks:
      if (value > 1)
        return Fail(id, "S1009", 0, "invalid bookmark option " + std::to_string(value));
      o->useBookmarks = value;
      if (value != 0) return Info(id, "01S02", "option value changed: bookmarks are not supported");
      return kSqlSuccess;
    default:
      return Fail(id, "S1092", 0, "option type out of range");
  }
}

int Session::Transact(int type) {
  if (!loggedIn_) return NotLoggedIn(0);
  if (type != 0 && type != 1)
    return Fail(0, "S1012", 0, "invalid transaction operation code " + std::to_string(type));
  if (!storage_->InTransaction()) return kSqlSuccess;
  // Cursors close at the end of a transaction; prepared statements stay.
  CloseAllCursors();
  Status st = type == 0 ? storage_->Commit() : storage_->Rollback();
  if (!st.ok) return FailStatus(0, st, __LINE__);
  return kSqlSuccess;
}

}  // namespace velsrv
