// Session: catalog functions and type information, answered as static
// result sets.
#include "server/metadata/MetadataResults.h"
#include "server/Diagnostics.h"
#include "server/session/Session.h"
#include "server/session/SessionStatement.h"

namespace velsrv {

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

int Session::OpenCatalog(uint32_t id, std::vector<ColumnOut>* columns,
                         const std::function<Status(ResultSet*)>& build) {
  columns->clear();
  // A cursor with rows left is refused as a new text over it is; one read
  // to its end is closed.
  Statement* s = ReadyWithoutCursor(id);
  if (!s) return kSqlError;
  ResultSet r;
  Status st = build(&r);
  if (!st.ok) return FailStatus(id, st, __LINE__);
  CountStatement(StatementKind::kCatalog);
  return OpenStatic(s, std::move(r.columns), std::move(r.rows), columns);
}

int Session::GetTypeInfo(uint32_t id, int sqlType, bool odbc3, std::vector<ColumnOut>* columns) {
  // ODBC's type codes: the ODBC 2 and 3 ones, the wide, GUID and interval
  // ones (the intervals PostgreSQL's alone, for a session that asked).
  const bool known = (sqlType >= -11 && sqlType <= 12) || (sqlType >= 91 && sqlType <= 93) ||
                     (sqlType >= 101 && sqlType <= 113);
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    if (!known) return Status::Error(kStateTypeOutOfRange, 0, "invalid SQL data type");
    std::map<int16_t, std::string> names;
    *r = TypeInfo(sqlType, storage_->TypeNames(&names) ? &names : nullptr, odbc3, intervals_);
    return Status::Ok();
  });
}

int Session::Tables(uint32_t id, const std::string& qualifier, const std::string& owner,
                    const std::string& name, const std::string& types,
                    std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    return CatalogTables(storage_.get(), qualifier, owner, name, types, r);
  });
}

int Session::Columns(uint32_t id, const std::string& qualifier, const std::string& owner,
                     const std::string& table, const std::string& column, bool odbc3,
                     std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    return CatalogColumns(storage_.get(), qualifier, owner, table, column, odbc3, r);
  });
}

int Session::Statistics(uint32_t id, const std::string& qualifier, const std::string& owner,
                        const std::string& table, int unique, int accuracy,
                        std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    if (unique != 0 && unique != 1)
      return Status::Error(kStateUniquenessOption, 0, "uniqueness option type out of range");
    if (accuracy != 0 && accuracy != 1)
      return Status::Error(kStateAccuracyOption, 0, "accuracy option type out of range");
    return CatalogStatistics(storage_.get(), qualifier, owner, table, unique, accuracy, r);
  });
}

int Session::SpecialColumns(uint32_t id, int columnType, const std::string& qualifier,
                            const std::string& owner, const std::string& table, int scope,
                            int nullable, std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    if (columnType != 1 && columnType != 2)
      return Status::Error(kStateColumnType, 0, "column type out of range");
    if (scope < 0 || scope > 2) return Status::Error(kStateScopeType, 0, "scope type out of range");
    if (nullable != 0 && nullable != 1)
      return Status::Error(kStateNullableType, 0, "nullable type out of range");
    return CatalogSpecialColumns(storage_.get(), columnType, qualifier, owner, table, scope,
                                 nullable, r);
  });
}

int Session::PrimaryKeys(uint32_t id, const std::string& table, std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns,
                     [&](ResultSet* r) { return CatalogPrimaryKeys(storage_.get(), table, r); });
}

int Session::ForeignKeys(uint32_t id, const std::string& pkTable, const std::string& fkTable,
                         bool odbc3, std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    return CatalogForeignKeys(storage_.get(), pkTable, fkTable, odbc3, r);
  });
}

int Session::Procedures(uint32_t id, const std::string& name, std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns,
                     [&](ResultSet* r) { return CatalogProcedures(storage_.get(), name, r); });
}

int Session::ProcedureColumns(uint32_t id, const std::string& name, const std::string& column,
                              bool odbc3, std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    return CatalogProcedureColumns(storage_.get(), name, column, odbc3, r);
  });
}

int Session::TablePrivileges(uint32_t id, const std::string& table,
                             std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    return CatalogTablePrivileges(storage_.get(), table, {user_, userReadOnly_}, r);
  });
}

int Session::ColumnPrivileges(uint32_t id, const std::string& table, const std::string& column,
                              std::vector<ColumnOut>* columns) {
  return OpenCatalog(id, columns, [&](ResultSet* r) {
    return CatalogColumnPrivileges(storage_.get(), table, column, {user_, userReadOnly_}, r);
  });
}

}  // namespace velsrv
