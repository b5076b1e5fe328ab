// Catalog and type-information result sets with the columns ODBC 2.0
// defines for SQLTables, SQLColumns, SQLStatistics, SQLSpecialColumns,
// SQLPrimaryKeys, SQLForeignKeys, SQLProcedures, SQLProcedureColumns,
// SQLTablePrivileges, SQLColumnPrivileges and SQLGetTypeInfo (names, order,
// types).
#ifndef VELORA_SERVER_METADATA_METADATARESULTS_H
#define VELORA_SERVER_METADATA_METADATARESULTS_H

#include <map>
#include <string>
#include <vector>

#include "server/session/Session.h"
#include "server/storage/Storage.h"

namespace velsrv {

struct ResultSet {
  std::vector<ColumnOut> columns;
  std::vector<std::vector<Value>> rows;
};

// One column of a catalog result set: name, SQL type, size for the types
// that have one, nullability (0 no nulls, 1 nullable).
struct ColumnLayout {
  const char* name;
  int16_t sqlType;
  uint32_t size;
  int nullability;
};
constexpr uint32_t kCatalogNameLength = 128;

std::vector<ColumnOut> Describe(const ColumnLayout* layout, size_t count);

// A layout followed, when odbc3, by ODBC 3's further columns.
template <size_t N, size_t M>
std::vector<ColumnOut> Describe(const ColumnLayout (&layout)[N], const ColumnLayout (&more)[M],
                                bool odbc3) {
  std::vector<ColumnOut> out = Describe(layout, N);
  if (odbc3) {
    std::vector<ColumnOut> tail = Describe(more, M);
    out.insert(out.end(), tail.begin(), tail.end());
  }
  return out;
}

// The fields of one type description in the layout shared by SQLColumns,
// SQLSpecialColumns and SQLProcedureColumns: DATA_TYPE, TYPE_NAME,
// PRECISION, LENGTH, SCALE.
void TypeFields(const SqlTypeDesc& t, std::vector<Value>* row);
// ODBC 3's SQL_DATA_TYPE and SQL_DATETIME_SUB of a type (NULL for the
// types without a subcode).
void VerboseType(int16_t code, std::vector<Value>* row);
// The type a declared type names; VARCHAR for a name the server does not know.
SqlTypeDesc ColumnType(const std::string& declared);

// The tables whose names match pattern (see PatternMatch), sorted by name.
Status MatchingTables(StorageSession* storage, const std::string& pattern,
                      std::vector<TableEntry>* out);

// Search pattern match: "%" any run, "_" any one character, "\" escapes
// the next character; letters compare without case, as SQLite names do.
// An empty pattern matches everything.
bool PatternMatch(const std::string& pattern, const std::string& text);

Status CatalogTables(StorageSession* storage, const std::string& qualifier,
                     const std::string& owner, const std::string& name, const std::string& types,
                     ResultSet* out);
// odbc3: with the six columns ODBC 3 adds (protocol/CATALOG3.md), here and
// for the type information.
Status CatalogColumns(StorageSession* storage, const std::string& qualifier,
                      const std::string& owner, const std::string& table, const std::string& column,
                      bool odbc3, ResultSet* out);
Status CatalogStatistics(StorageSession* storage, const std::string& qualifier,
                         const std::string& owner, const std::string& table, int unique,
                         int accuracy, ResultSet* out);
Status CatalogSpecialColumns(StorageSession* storage, int columnType, const std::string& qualifier,
                             const std::string& owner, const std::string& table, int scope,
                             int nullable, ResultSet* out);
// Primary keys of the table named table; foreign keys of the table named
// fkTable that refer to the table named pkTable (KeyResults.cpp). The
// names are not patterns; an empty one names every table. The qualifiers
// and owners are ignored, as for the columns: there are none.
Status CatalogPrimaryKeys(StorageSession* storage, const std::string& table, ResultSet* out);
// odbc3: NO ACTION as ODBC 3's SQL_NO_ACTION, and DEFERRABILITY after PK_NAME.
Status CatalogForeignKeys(StorageSession* storage, const std::string& pkTable,
                          const std::string& fkTable, bool odbc3, ResultSet* out);
// Procedures and functions whose names match name, and their columns
// matching column (RoutineResults.cpp); SQLite has none.
Status CatalogProcedures(StorageSession* storage, const std::string& name, ResultSet* out);
Status CatalogProcedureColumns(StorageSession* storage, const std::string& name,
                               const std::string& column, bool odbc3, ResultSet* out);
// Who may do what on the tables matching table, or on the columns matching
// column of the one table named table: the storage's grants, and the
// server's own rights of user (a read-only user: SELECT alone, and the
// storage's grants of SELECT alone).
struct SessionRights {
  std::string user;
  bool readOnly = false;
};
Status CatalogTablePrivileges(StorageSession* storage, const std::string& table,
                              const SessionRights& rights, ResultSet* out);
Status CatalogColumnPrivileges(StorageSession* storage, const std::string& table,
                               const std::string& column, const SessionRights& rights,
                               ResultSet* out);
// Every type (sqlType 0) or the one asked for (91, 92, 93 as 9, 10, 11);
// unknown types give no rows.
// names: the engine's own name of each type it has (others are left out);
// null: the server's names, every type.
// intervals: list the interval types (PostgreSQL, a session that asked).
ResultSet TypeInfo(int sqlType, const std::map<int16_t, std::string>* names = nullptr,
                   bool odbc3 = false, bool intervals = false);

}  // namespace velsrv

#endif
