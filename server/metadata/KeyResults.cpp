// The primary-key and foreign-key result sets, from the storage's key
// information.
#include <algorithm>
#include <map>
#include <tuple>

#include "server/metadata/MetadataResults.h"
#include "server/values/SqlTypes.h"
#include "server/TextCase.h"

namespace velsrv {

namespace {

constexpr uint32_t kName = kCatalogNameLength;

const ColumnLayout kPrimaryKeyColumns[] = {
    {"TABLE_QUALIFIER", kSqlVarChar, kName, 1},
    {"TABLE_OWNER", kSqlVarChar, kName, 1},
    {"TABLE_NAME", kSqlVarChar, kName, 0},
    {"COLUMN_NAME", kSqlVarChar, kName, 0},
    {"KEY_SEQ", kSqlSmallInt, 0, 0},
    {"PK_NAME", kSqlVarChar, kName, 1},
};

const ColumnLayout kForeignKeyColumns[] = {
    {"PKTABLE_QUALIFIER", kSqlVarChar, kName, 1},
    {"PKTABLE_OWNER", kSqlVarChar, kName, 1},
    {"PKTABLE_NAME", kSqlVarChar, kName, 0},
    {"PKCOLUMN_NAME", kSqlVarChar, kName, 0},
    {"FKTABLE_QUALIFIER", kSqlVarChar, kName, 1},
    {"FKTABLE_OWNER", kSqlVarChar, kName, 1},
    {"FKTABLE_NAME", kSqlVarChar, kName, 0},
    {"FKCOLUMN_NAME", kSqlVarChar, kName, 0},
    {"KEY_SEQ", kSqlSmallInt, 0, 0},
    {"UPDATE_RULE", kSqlSmallInt, 0, 1},
    {"DELETE_RULE", kSqlSmallInt, 0, 1},
    {"FK_NAME", kSqlVarChar, kName, 1},
    {"PK_NAME", kSqlVarChar, kName, 1},
};

// ODBC 3's further column, on request (protocol/CATALOG3.md).
const ColumnLayout kForeignKeyColumns3[] = {{"DEFERRABILITY", kSqlSmallInt, 0, 1}};

Value Name(const std::string& s) { return s.empty() ? Value::Null() : Value::Text(s); }

// ODBC's rule codes: SQL_CASCADE 0, SQL_RESTRICT 1, SQL_SET_NULL 2 and
// SQL_SET_DEFAULT 4. NO ACTION is reported as SQL_RESTRICT, the code ODBC
// 2 applications know for a change that is refused, unless ODBC 3's
// SQL_NO_ACTION (3) was asked for.
Value Rule(const std::string& action, bool odbc3) {
  const std::string a = Upper(action);
  if (odbc3 && a == "NO ACTION") return Value::Integer(3);
  return Value::Integer(a == "CASCADE" ? 0 : a == "SET NULL" ? 2 : a == "SET DEFAULT" ? 4 : 1);
}

// SQL_INITIALLY_DEFERRED 5, SQL_INITIALLY_IMMEDIATE 6, SQL_NOT_DEFERRABLE
// 7; NULL when the storage does not say (SQLite keeps it in the table's
// text alone).
Value Deferrability(const std::string& deferrable) {
  if (deferrable.empty()) return Value::Null();
  return Value::Integer(deferrable == "INITIALLY DEFERRED"    ? 5
                        : deferrable == "INITIALLY IMMEDIATE" ? 6
                                                              : 7);
}

// A key's table argument names one table, without case and without
// pattern characters; an empty one (a null argument) names every table.
bool Names(const std::string& argument, const std::string& table) {
  return argument.empty() || Upper(argument) == Upper(table);
}

struct ForeignKeyRow {
  std::string pkTable, fkTable;
  const ForeignKeyEntry* key;
};

}  // namespace

Status CatalogPrimaryKeys(StorageSession* storage, const std::string& table, ResultSet* out) {
  out->columns =
      Describe(kPrimaryKeyColumns, sizeof kPrimaryKeyColumns / sizeof kPrimaryKeyColumns[0]);
  std::vector<TableEntry> tables;
  Status st = MatchingTables(storage, "", &tables);
  for (size_t t = 0; st.ok && t < tables.size(); ++t) {
    if (tables[t].type == "VIEW" || !Names(table, tables[t].name)) continue;
    PrimaryKeyEntry key;
    st = storage->PrimaryKey(tables[t].name, &key);
    for (size_t k = 0; st.ok && k < key.columns.size(); ++k)
      out->rows.push_back({Value::Null(), Value::Null(), Value::Text(tables[t].name),
                           Value::Text(key.columns[k]), Value::Integer(static_cast<int64_t>(k + 1)),
                           Name(key.name)});
  }
  return st;
}

Status CatalogForeignKeys(StorageSession* storage, const std::string& pkTable,
                          const std::string& fkTable, bool odbc3, ResultSet* out) {
  out->columns =
      Describe(kForeignKeyColumns, sizeof kForeignKeyColumns / sizeof kForeignKeyColumns[0]);
  if (odbc3) out->columns.push_back(Describe(kForeignKeyColumns3, 1)[0]);
  std::vector<TableEntry> all;
  Status st = MatchingTables(storage, "", &all);
  if (!st.ok) return st;
  // A reference names its table as written: shown as the table is named.
  std::map<std::string, std::string> names;
  for (const TableEntry& t : all) names[Upper(t.name)] = t.name;
  std::vector<std::vector<ForeignKeyEntry>> keys(all.size());
  std::vector<ForeignKeyRow> found;
  for (size_t t = 0; t < all.size(); ++t) {
    if (all[t].type == "VIEW" || !Names(fkTable, all[t].name)) continue;
    st = storage->ForeignKeys(all[t].name, &keys[t]);
    if (!st.ok) return st;
    for (const ForeignKeyEntry& k : keys[t]) {
      auto it = names.find(Upper(k.referencedTable));
      const std::string& referenced = it == names.end() ? k.referencedTable : it->second;
      if (Names(pkTable, referenced)) found.push_back({referenced, all[t].name, &k});
    }
  }
  // Named by the primary-key table alone: ordered by the foreign-key
  // tables; otherwise by the primary-key tables. Keys of one table keep
  // the storage's order.
  const bool byForeign = fkTable.empty() && !pkTable.empty();
  std::stable_sort(
      found.begin(), found.end(), [byForeign](const ForeignKeyRow& a, const ForeignKeyRow& b) {
        return byForeign ? std::tie(a.fkTable, a.pkTable) < std::tie(b.fkTable, b.pkTable)
                         : std::tie(a.pkTable, a.fkTable) < std::tie(b.pkTable, b.fkTable);
      });
  for (const ForeignKeyRow& f : found) {
    PrimaryKeyEntry primary;
    const ForeignKeyEntry& k = *f.key;
    for (size_t c = 0; c < k.columns.size(); ++c) {
      std::string referenced = k.referencedColumns[c];
      if (referenced.empty() && primary.columns.empty()) {
        st = storage->PrimaryKey(f.pkTable, &primary);
        if (!st.ok) return st;
      }
      if (referenced.empty() && c < primary.columns.size()) referenced = primary.columns[c];
      out->rows.push_back({Value::Null(), Value::Null(), Value::Text(f.pkTable),
                           Value::Text(referenced), Value::Null(), Value::Null(),
                           Value::Text(f.fkTable), Value::Text(k.columns[c]),
                           Value::Integer(static_cast<int64_t>(c + 1)), Rule(k.onUpdate, odbc3),
                           Rule(k.onDelete, odbc3), Name(k.name), Name(k.referencedKey)});
      if (odbc3) out->rows.back().push_back(Deferrability(k.deferrable));
    }
  }
  return Status::Ok();
}

}  // namespace velsrv
