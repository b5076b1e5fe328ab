// The procedure and privilege result sets: the storage's routines and
// grants, and the server's own rights of the session's user.
#include <algorithm>
#include <set>
#include <tuple>

#include "server/metadata/MetadataResults.h"
#include "server/TextCase.h"
#include "server/values/SqlTypes.h"

namespace velsrv {

namespace {

constexpr uint32_t kName = kCatalogNameLength;

const ColumnLayout kProcedureColumns[] = {
    {"PROCEDURE_QUALIFIER", kSqlVarChar, kName, 1},
    {"PROCEDURE_OWNER", kSqlVarChar, kName, 1},
    {"PROCEDURE_NAME", kSqlVarChar, kName, 0},
    {"NUM_INPUT_PARAMS", kSqlInteger, 0, 1},
    {"NUM_OUTPUT_PARAMS", kSqlInteger, 0, 1},
    {"NUM_RESULT_SETS", kSqlInteger, 0, 1},
    {"REMARKS", kSqlVarChar, 254, 1},
    {"PROCEDURE_TYPE", kSqlSmallInt, 0, 1},
};

const ColumnLayout kProcedureColumnColumns[] = {
    {"PROCEDURE_QUALIFIER", kSqlVarChar, kName, 1},
    {"PROCEDURE_OWNER", kSqlVarChar, kName, 1},
    {"PROCEDURE_NAME", kSqlVarChar, kName, 0},
    {"COLUMN_NAME", kSqlVarChar, kName, 0},
    {"COLUMN_TYPE", kSqlSmallInt, 0, 0},
    {"DATA_TYPE", kSqlSmallInt, 0, 0},
    {"TYPE_NAME", kSqlVarChar, kName, 0},
    {"PRECISION", kSqlInteger, 0, 1},
    {"LENGTH", kSqlInteger, 0, 1},
    {"SCALE", kSqlSmallInt, 0, 1},
    {"RADIX", kSqlSmallInt, 0, 1},
    {"NULLABLE", kSqlSmallInt, 0, 0},
    {"REMARKS", kSqlVarChar, 254, 1},
};

// ODBC 3's further columns, on request (protocol/CATALOG3.md).
const ColumnLayout kProcedureColumnColumns3[] = {
    {"COLUMN_DEF", kSqlVarChar, 254, 1},      {"SQL_DATA_TYPE", kSqlSmallInt, 0, 0},
    {"SQL_DATETIME_SUB", kSqlSmallInt, 0, 1}, {"CHAR_OCTET_LENGTH", kSqlInteger, 0, 1},
    {"ORDINAL_POSITION", kSqlInteger, 0, 0},  {"IS_NULLABLE", kSqlVarChar, 254, 1},
};

const ColumnLayout kTablePrivilegeColumns[] = {
    {"TABLE_QUALIFIER", kSqlVarChar, kName, 1}, {"TABLE_OWNER", kSqlVarChar, kName, 1},
    {"TABLE_NAME", kSqlVarChar, kName, 0},      {"GRANTOR", kSqlVarChar, kName, 1},
    {"GRANTEE", kSqlVarChar, kName, 0},         {"PRIVILEGE", kSqlVarChar, kName, 0},
    {"IS_GRANTABLE", kSqlVarChar, 3, 1},
};

const ColumnLayout kColumnPrivilegeColumns[] = {
    {"TABLE_QUALIFIER", kSqlVarChar, kName, 1}, {"TABLE_OWNER", kSqlVarChar, kName, 1},
    {"TABLE_NAME", kSqlVarChar, kName, 0},      {"COLUMN_NAME", kSqlVarChar, kName, 0},
    {"GRANTOR", kSqlVarChar, kName, 1},         {"GRANTEE", kSqlVarChar, kName, 0},
    {"PRIVILEGE", kSqlVarChar, kName, 0},       {"IS_GRANTABLE", kSqlVarChar, 3, 1},
};

// The privileges ODBC names, on a table and on a column (DELETE is the
// table's alone).
const char* const kTableRights[] = {"DELETE", "INSERT", "REFERENCES", "SELECT", "UPDATE"};
const char* const kColumnRights[] = {"INSERT", "REFERENCES", "SELECT", "UPDATE"};

Value Text(const std::string& s) { return Value::Text(s); }
Value OrNull(const std::string& s) { return s.empty() ? Value::Null() : Value::Text(s); }

// One privilege row before sorting: column empty for a table's.
struct Right {
  std::string table, column, grantor, grantee, privilege;
  bool grantable;
};

// The grants on table (or its columns) and the user's own rights, in
// ODBC's order: table, column, privilege, grantee.
Status Rights(StorageSession* storage, const std::string& table, bool columns,
              const std::string& columnPattern, const SessionRights& rights,
              std::vector<Right>* out) {
  std::vector<GrantEntry> grants;
  bool kept = false;
  Status st = storage->Grants(table, columns, &grants, &kept);
  if (!st.ok) return st;
  std::vector<std::string> names;  // the columns asked for; one empty name for the table
  if (columns) {
    std::vector<TableColumnEntry> all;
    st = storage->TableColumns(table, &all);
    if (!st.ok) return st;
    for (const TableColumnEntry& c : all)
      if (PatternMatch(columnPattern, c.name)) names.push_back(c.name);
  } else {
    names.push_back("");
  }
  // The server's own rights name the user as grantee and no grantor; a
  // session of a server without users is anyone's ("PUBLIC").
  const std::string user = rights.user.empty() ? "PUBLIC" : rights.user;
  for (const std::string& name : names) {
    std::set<std::string> mine;
    for (const GrantEntry& g : grants) {
      if (g.column != name) continue;
      if (rights.readOnly && g.privilege != "SELECT") continue;
      out->push_back({table, name, g.grantor, g.grantee, g.privilege, g.grantable});
      if (g.mine) mine.insert(g.privilege);
    }
    for (const char* privilege :
         columns ? std::vector<const char*>(std::begin(kColumnRights), std::end(kColumnRights))
                 : std::vector<const char*>(std::begin(kTableRights), std::end(kTableRights))) {
      if (rights.readOnly && std::string(privilege) != "SELECT") continue;
      if (kept && mine.count(privilege) == 0) continue;
      out->push_back({table, name, "", user, privilege, false});
    }
  }
  std::stable_sort(out->begin(), out->end(), [](const Right& a, const Right& b) {
    return std::tie(a.table, a.column, a.privilege, a.grantee) <
           std::tie(b.table, b.column, b.privilege, b.grantee);
  });
  return Status::Ok();
}

Value Grantable(const Right& r) { return Text(r.grantable ? "YES" : "NO"); }

}  // namespace

Status CatalogProcedures(StorageSession* storage, const std::string& name, ResultSet* out) {
  out->columns =
      Describe(kProcedureColumns, sizeof kProcedureColumns / sizeof kProcedureColumns[0]);
  std::vector<RoutineEntry> routines;
  Status st = storage->Routines(&routines);
  for (const RoutineEntry& r : routines) {
    if (!st.ok || !PatternMatch(name, r.name)) continue;
    int64_t in = 0, outs = 0;
    for (const RoutineColumnEntry& c : r.columns) {
      in += c.kind == 1 || c.kind == 2;
      outs += c.kind == 2 || c.kind == 4;
    }
    // SQL_PT_PROCEDURE 1, SQL_PT_FUNCTION 2.
    out->rows.push_back({Value::Null(), Value::Null(), Text(r.name), Value::Integer(in),
                         Value::Integer(outs), Value::Integer(r.returnsSet ? 1 : 0),
                         OrNull(r.remarks), Value::Integer(r.procedure ? 1 : 2)});
  }
  return st;
}

Status CatalogProcedureColumns(StorageSession* storage, const std::string& name,
                               const std::string& column, bool odbc3, ResultSet* out) {
  out->columns = Describe(kProcedureColumnColumns, kProcedureColumnColumns3, odbc3);
  std::vector<RoutineEntry> routines;
  Status st = storage->Routines(&routines);
  for (const RoutineEntry& r : routines) {
    if (!st.ok || !PatternMatch(name, r.name)) continue;
    int parameter = 0, result = 0;
    for (const RoutineColumnEntry& c : r.columns) {
      // ORDINAL_POSITION: 0 for the return value, the parameter's place
      // among the parameters, the column's among the result's columns.
      const int position = c.kind == 5 ? 0 : c.kind == 3 ? ++result : ++parameter;
      if (!PatternMatch(column, c.name)) continue;
      const SqlTypeDesc type = ColumnType(c.declaredType);
      std::vector<Value> row = {Value::Null(), Value::Null(), Text(r.name), Text(c.name),
                                Value::Integer(c.kind)};
      TypeFields(type, &row);
      const uint8_t radix = FindSqlTypeInfo(type.sqlType)->radix;
      row.push_back(radix ? Value::Integer(radix) : Value::Null());
      row.push_back(Value::Integer(1));  // SQL_NULLABLE: any argument may be NULL
      row.push_back(Value::Null());
      if (odbc3) {
        row.push_back(Value::Null());
        VerboseType(type.sqlType, &row);
        const SqlForm form = FindSqlTypeInfo(type.sqlType)->form;
        const bool octets = form == SqlForm::kText || form == SqlForm::kBinary;
        row.push_back(octets ? Value::Integer(OctetLength(form, type.length)) : Value::Null());
        row.push_back(Value::Integer(position));
        row.push_back(Text("YES"));
      }
      out->rows.push_back(std::move(row));
    }
  }
  return st;
}

Status CatalogTablePrivileges(StorageSession* storage, const std::string& table,
                              const SessionRights& rights, ResultSet* out) {
  out->columns = Describe(kTablePrivilegeColumns,
                          sizeof kTablePrivilegeColumns / sizeof kTablePrivilegeColumns[0]);
  std::vector<TableEntry> tables;
  Status st = MatchingTables(storage, table, &tables);
  std::vector<Right> all;
  for (size_t t = 0; st.ok && t < tables.size(); ++t)
    st = Rights(storage, tables[t].name, false, "", rights, &all);
  for (const Right& r : all)
    out->rows.push_back({Value::Null(), Value::Null(), Text(r.table), OrNull(r.grantor),
                         Text(r.grantee), Text(r.privilege), Grantable(r)});
  return st;
}

Status CatalogColumnPrivileges(StorageSession* storage, const std::string& table,
                               const std::string& column, const SessionRights& rights,
                               ResultSet* out) {
  out->columns = Describe(kColumnPrivilegeColumns,
                          sizeof kColumnPrivilegeColumns / sizeof kColumnPrivilegeColumns[0]);
  // The table's name is no pattern here: the one table of that name.
  std::vector<TableEntry> tables;
  Status st = MatchingTables(storage, "", &tables);
  std::vector<Right> all;
  for (size_t t = 0; st.ok && t < tables.size() && !table.empty(); ++t)
    if (Upper(tables[t].name) == Upper(table))
      st = Rights(storage, tables[t].name, true, column, rights, &all);
  for (const Right& r : all)
    out->rows.push_back({Value::Null(), Value::Null(), Text(r.table), Text(r.column),
                         OrNull(r.grantor), Text(r.grantee), Text(r.privilege), Grantable(r)});
  return st;
}

}  // namespace velsrv
