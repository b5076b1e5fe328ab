// Browsing as a desktop database tool does: the metadata calls a table
// browser makes, in its order (SQLGetInfo's quote, terms and separator,
// SQLTables' enumerations and tables, SQLColumns, SQLPrimaryKeys,
// SQLForeignKeys both ways, SQLStatistics, SQLSpecialColumns,
// SQLGetTypeInfo) over tables a CREATE TABLE made. Each call's own rules
// are in the catalog family's table; here the answers must agree with
// each other and with the CREATE TABLE.
#include <map>
#include <set>
#include <vector>

#include "conformance.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
SQLCHAR* T(const std::string& text) { return (SQLCHAR*)text.c_str(); }

// Every row of the result rc started on s, as text (NULL as "-"); the
// cursor is closed after.
Rows Fetch(SQLHSTMT s, SQLRETURN rc) {
  Rows rows;
  SQLSMALLINT n = 0;
  SQLNumResultCols(s, &n);
  while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(SQLFetch(s))) {
    rows.emplace_back();
    for (SQLUSMALLINT i = 1; i <= n; ++i) {
      char value[256] = "";
      SQLLEN length = 0;
      SQLGetData(s, i, SQL_C_CHAR, value, sizeof value, &length);
      rows.back().push_back(length == SQL_NULL_DATA ? "-" : value);
    }
  }
  SQLFreeStmt(s, SQL_CLOSE);
  return rows;
}

// Column i (from 1) of every row, in order.
std::vector<std::string> Column(const Rows& rows, size_t i) {
  std::vector<std::string> column;
  for (const auto& row : rows) column.push_back(row.at(i - 1));
  return column;
}

std::set<std::string> Set(const std::vector<std::string>& values) { return {values.begin(), values.end()}; }

bool Within(const std::vector<std::string>& values, const std::set<std::string>& set) {
  for (const auto& v : values)
    if (set.count(v) == 0) return false;
  return true;
}

// The tables as a CREATE TABLE makes them: name, columns in order, the
// NOT NULL one.
struct Made {
  const char* name;
  std::vector<std::string> columns;
  const char* notNull;
};
const Made kMade[] = {{"browse_child", {"id", "parent_id", "note"}, "-"}, {"browse_parent", {"id", "name"}, "name"}};

class Browse : public Conformance {
 protected:
  std::string Info(SQLUSMALLINT type) {
    char text[64] = "";
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, type, text, sizeof text, &length)) << type;
    return text;
  }
  SQLUINTEGER Number(SQLUSMALLINT type) {
    SQLUINTEGER value = 99;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, type, &value, sizeof value, nullptr)) << type;
    return value;
  }
  Rows Tables(const char* cat, const char* schem, const char* table, const char* type) {
    return Fetch(s, SQLTables(s, (SQLCHAR*)cat, SQL_NTS, (SQLCHAR*)schem, SQL_NTS, (SQLCHAR*)table, SQL_NTS,
                              (SQLCHAR*)type, SQL_NTS));
  }
};

TEST_P(Browse, AnswersAgreeWithEachOtherAndTheCreateTable) {
  for (const char* sql : {"DROP TABLE browse_child", "DROP TABLE browse_parent"}) Exec(sql);
  for (const char* sql : {"CREATE TABLE browse_parent (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL)",
                          "CREATE TABLE browse_child (id INTEGER PRIMARY KEY, parent_id INTEGER REFERENCES "
                          "browse_parent (id), note VARCHAR(30))",
                          "CREATE INDEX browse_child_note ON browse_child (note)"})
    ASSERT_EQ(SQL_SUCCESS, Exec(sql)) << sql;

  const std::string quote = Info(SQL_IDENTIFIER_QUOTE_CHAR), catalogTerm = Info(SQL_CATALOG_TERM);
  const std::string schemaTerm = Info(SQL_SCHEMA_TERM), separator = Info(SQL_CATALOG_NAME_SEPARATOR);
  const Rows catalogs = Tables(SQL_ALL_CATALOGS, "", "", ""), schemas = Tables("", SQL_ALL_SCHEMAS, "", "");
  const Rows types = Tables("", "", "", SQL_ALL_TABLE_TYPES);
  // No usage, no names; the 2.0 library names its terms all the same.
  EXPECT_EQ(Number(SQL_CATALOG_USAGE) == 0, catalogs.empty());
  EXPECT_EQ(Number(SQL_SCHEMA_USAGE) == 0, schemas.empty());
  if (lib().odbc3) {
    EXPECT_EQ(catalogs.empty(), catalogTerm.empty());
    EXPECT_EQ(catalogs.empty(), separator.empty());
    EXPECT_EQ(schemas.empty(), schemaTerm.empty());
  }
  const std::set<std::string> typeNames = Set(Column(types, 4));
  EXPECT_EQ(1u, typeNames.count("TABLE"));

  const Rows tables = Tables(nullptr, nullptr, "browse%", nullptr);
  ASSERT_EQ(std::vector<std::string>({"browse_child", "browse_parent"}), Column(tables, 3));
  EXPECT_TRUE(Within(Column(tables, 4), typeNames));
  EXPECT_TRUE(Within(Column(tables, 1), catalogs.empty() ? Set({"-"}) : Set(Column(catalogs, 1))));
  EXPECT_TRUE(Within(Column(tables, 2), schemas.empty() ? Set({"-"}) : Set(Column(schemas, 2))));

  std::vector<std::string> dataTypes;
  std::map<std::string, Rows> columns;
  for (size_t t = 0; t < 2; ++t) {
    const Made& made = kMade[t];
    SCOPED_TRACE(made.name);
    // A browser names the table as SQLTables gave it: catalog and schema.
    const std::string cat = tables[t][0] == "-" ? "" : tables[t][0], schem = tables[t][1] == "-" ? "" : tables[t][1];
    const Rows& cols = columns[made.name] =
        Fetch(s, SQLColumns(s, T(cat), SQL_NTS, T(schem), SQL_NTS, T(made.name), SQL_NTS, T("%"), SQL_NTS));
    EXPECT_EQ(made.columns, Column(cols, 4));
    for (const auto& row : cols) {
      EXPECT_EQ(tables[t][2], row[2]);
      dataTypes.push_back(row[4]);
      EXPECT_TRUE(row[3] != made.notNull || row[10] == "0") << row[3];  // NULLABLE: SQL_NO_NULLS
    }
    // A query with the quoted name shows the same columns.
    ASSERT_EQ(SQL_SUCCESS, Exec("SELECT * FROM " + quote + made.name + quote));
    SQLSMALLINT n = 0;
    SQLNumResultCols(s, &n);
    EXPECT_EQ(made.columns.size(), size_t(n));
    SQLFreeStmt(s, SQL_CLOSE);
    const Rows keys = Fetch(s, SQLPrimaryKeys(s, T(cat), SQL_NTS, T(schem), SQL_NTS, T(made.name), SQL_NTS));
    EXPECT_EQ(std::vector<std::string>({"id"}), Column(keys, 4));
    const Rows special = Fetch(s, SQLSpecialColumns(s, SQL_BEST_ROWID, T(cat), SQL_NTS, T(schem), SQL_NTS, T(made.name),
                                                    SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE));
    EXPECT_TRUE(Within(Column(special, 2), Set(made.columns)));
    for (const auto& row : special) dataTypes.push_back(row[2]);
  }

  // The one foreign key, asked from either end: the same row, naming
  // columns SQLColumns and SQLPrimaryKeys gave.
  const Rows fromParent = Fetch(
      s, SQLForeignKeys(s, nullptr, 0, nullptr, 0, T("browse_parent"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0));
  const Rows fromChild = Fetch(
      s, SQLForeignKeys(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, T("browse_child"), SQL_NTS));
  EXPECT_EQ(fromParent, fromChild);
  ASSERT_EQ(1u, fromChild.size());
  const std::vector<std::string> key = fromChild[0];
  EXPECT_EQ((std::vector<std::string>{"browse_parent", "id", "browse_child", "parent_id"}),
            (std::vector<std::string>{key[2], key[3], key[6], key[7]}));

  const Rows statistics =
      Fetch(s, SQLStatistics(s, nullptr, 0, nullptr, 0, T("browse_child"), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK));
  bool noteIndex = false;
  for (const auto& row : statistics) {
    EXPECT_TRUE(row[8] == "-" || Within({row[8]}, Set(Column(columns["browse_child"], 4)))) << row[8];
    noteIndex = noteIndex || (row[5] == "browse_child_note" && row[8] == "note");
  }
  EXPECT_TRUE(noteIndex);

  const Rows typeInfo = Fetch(s, SQLGetTypeInfo(s, SQL_ALL_TYPES));
  EXPECT_TRUE(Within(dataTypes, Set(Column(typeInfo, 2))));
  for (const char* sql : {"DROP TABLE browse_child", "DROP TABLE browse_parent"}) Exec(sql);
}

VEL_CONFORMANCE_SUITE(Browse);

}  // namespace
