// Every message of the catalogue against a real server: statements,
// cursors, options, transactions, catalog and type information, and the
// SQLSTATEs of failures.
#include <gtest/gtest.h>

#include "server_harness.h"

namespace srvtest {
namespace {

class ServerStatement : public ServerSessionTest {
 protected:
  // Sends a request of code with the statement id (if it has one) and
  // one option value.
  int Option(uint16_t code, uint32_t id, int32_t value) {
    std::unique_ptr<Request> r(Request::CreateRequest(code));
    r->SetStatementId(id);
    Element* e = nullptr;
    for (ElementList* list : {&r->RequestHeader(), &r->RequestBody()})
      for (Element* x = list->First(); x; x = list->Next())
        if (x->ElementId() != StatementIdElement::kId) e = x;
    if (auto* en = dynamic_cast<EnumElement*>(e)) en->value = value;
    if (auto* ul = dynamic_cast<ULongElement*>(e)) ul->value = static_cast<uint32_t>(value);
    return c.Exchange(r.get());
  }
};

TEST_F(ServerStatement, PrepareExecuteFetchGetDataRowCount) {
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(10) NOT NULL, v)"), 0);
  int32_t n = 0;
  EXPECT_EQ(c.RowCount(s, &n), 0);
  EXPECT_EQ(n, -1);  // DDL changes no rows
  std::vector<Column> cols;
  ASSERT_EQ(c.Prepare(s, "INSERT INTO t (name, v) VALUES (?, ?)", &cols), 0);
  EXPECT_TRUE(cols.empty());
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_EQ(c.Execute(s, {{1, 12, std::string(name) + '\0'}, {2, 4, U32(7)}}), 0);
    ASSERT_EQ(c.RowCount(s, &n), 0);
    EXPECT_EQ(n, 1);
  }
  ASSERT_EQ(c.ExecDirect(s, "UPDATE t SET v = v + 1 WHERE name <> 'a'"), 0);
  ASSERT_EQ(c.RowCount(s, &n), 0);
  EXPECT_EQ(n, 2);

  ASSERT_EQ(c.Prepare(s, "SELECT id, name, v FROM t ORDER BY id", &cols), 0);
  ASSERT_EQ(cols.size(), 3u);
  EXPECT_EQ(cols[0].name, "id");
  EXPECT_EQ(cols[0].sqlType, 4);
  EXPECT_EQ(cols[1].sqlType, 12);
  EXPECT_EQ(cols[1].precision, 10u);
  EXPECT_EQ(cols[1].nullability, 0);
  EXPECT_EQ(cols[1].table, "t");
  EXPECT_EQ(cols[2].sqlType, 12);  // no declared type after a prepare: VARCHAR
  ASSERT_EQ(c.Execute(s), 0);
  ASSERT_EQ(c.RowCount(s, &n), 0);
  EXPECT_EQ(n, -1);  // SELECT
  std::vector<Cell> row;
  ASSERT_EQ(c.Fetch(s, {2}, &row), 0);  // only the asked column travels
  ASSERT_EQ(row.size(), 1u);
  EXPECT_EQ(row[0].column, 2);
  EXPECT_EQ(row[0].bytes, std::string("a\0", 2));
  Cell cell;
  ASSERT_EQ(c.GetData(s, 3, &cell), 0);
  EXPECT_EQ(cell.bytes, std::string("7\0", 2));  // VARCHAR carries the integer as text
  std::unique_ptr<Request> rn(Request::CreateRequest(18));
  rn->SetStatementId(s);
  ASSERT_EQ(c.Exchange(rn.get()), 0);
  EXPECT_EQ(rn->Get<RowNumberElement>()->value, 1u);
  ASSERT_EQ(c.Fetch(s, {}), 0);
  ASSERT_EQ(c.Fetch(s, {1, 2, 3}, &row), 0);
  EXPECT_EQ(row[0].bytes, U32(3));
  EXPECT_EQ(c.Fetch(s, {1}), 100);
  EXPECT_EQ(c.State(s), "02000");  // SQL_NO_DATA_FOUND leaves a diagnostic
  EXPECT_EQ(c.Fetch(s, {1}), 100);
  EXPECT_EQ(c.GetData(s, 1, &cell), -1);
  EXPECT_EQ(c.State(s), "24000");
  // The prepared statement runs again after a close.
  EXPECT_EQ(c.Free(s, 0), 0);
  EXPECT_EQ(c.Free(s, 0), 0);  // closing without a cursor succeeds
  ASSERT_EQ(c.Execute(s), 0);
  EXPECT_EQ(c.Fetch(s, {1}), 0);
}

TEST_F(ServerStatement, DirectExecutionTypesUntypedColumnsFromFirstRow) {
  std::vector<Column> cols;
  ASSERT_EQ(c.ExecDirect(s, "SELECT 1, 5000000000, 2.5, 'x', x'00ff', NULL", {}, &cols), 0);
  ASSERT_EQ(cols.size(), 6u);
  EXPECT_EQ(cols[0].sqlType, 4);
  EXPECT_EQ(cols[1].sqlType, -5);
  EXPECT_EQ(cols[2].sqlType, 6);
  EXPECT_EQ(cols[3].sqlType, 12);
  EXPECT_EQ(cols[4].sqlType, -4);
  EXPECT_EQ(cols[5].sqlType, 12);
  std::vector<Cell> row;
  ASSERT_EQ(c.Fetch(s, {1, 2, 5, 6}, &row), 0);
  EXPECT_EQ(row[0].bytes, U32(1));
  EXPECT_EQ(row[1].bytes, U16(0) + U16(1) + U16(0x2A05) + U16(0xF200) + U16(0));
  EXPECT_EQ(row[2].bytes, U32(2) + std::string("\x00\xff", 2));
  EXPECT_TRUE(row[3].isNull);
  EXPECT_EQ(c.Fetch(s, {1}), 100);
}

TEST_F(ServerStatement, AllocFreeAndStatementIdentifiers) {
  uint32_t t = c.Alloc();
  EXPECT_NE(t, s);
  EXPECT_EQ(c.Free(t, 1), 0);
  EXPECT_EQ(c.ExecDirect(t, "SELECT 1"), -1);
  EXPECT_EQ(c.State(t), "S1000");  // dropped
  EXPECT_EQ(c.Free(s, 7), -1);
  EXPECT_EQ(c.State(s), "S1092");
}

TEST_F(ServerStatement, CursorNames) {
  std::unique_ptr<Request> get(Request::CreateRequest(16));
  get->SetStatementId(s);
  ASSERT_EQ(c.Exchange(get.get()), 0);
  EXPECT_EQ(std::string(get->Get<CursorNameElement>()->value.TextOrEmpty()), "SQL_CUR" + std::to_string(s));
  auto set = [&](uint32_t id, const char* name) {
    std::unique_ptr<Request> r(Request::CreateRequest(29));
    r->SetStatementId(id);
    r->Get<CursorNameElement>()->value.SetString(name);
    return c.Exchange(r.get());
  };
  EXPECT_EQ(set(s, "orders_cursor"), 0);
  std::unique_ptr<Request> again(Request::CreateRequest(16));
  again->SetStatementId(s);
  ASSERT_EQ(c.Exchange(again.get()), 0);
  EXPECT_EQ(std::string(again->Get<CursorNameElement>()->value.TextOrEmpty()), "orders_cursor");
  uint32_t t = c.Alloc();
  EXPECT_EQ(set(t, "ORDERS_CURSOR"), -1);
  EXPECT_EQ(c.State(t), "3C000");
  EXPECT_EQ(set(t, "SQL_CUR99"), -1);
  EXPECT_EQ(c.State(t), "34000");
  ASSERT_EQ(c.ExecDirect(t, "SELECT 1"), 0);
  EXPECT_EQ(set(t, "other"), -1);
  EXPECT_EQ(c.State(t), "24000");
}

TEST_F(ServerStatement, ErrorsCarryTheirSqlstates) {
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE u (k INTEGER PRIMARY KEY, v TEXT NOT NULL)"), 0);
  struct Case {
    const char* sql;
    const char* state;
  } cases[] = {
      {"SELEC 1", "37000"},
      {"SELECT * FROM missing", "S0002"},
      {"SELECT nope FROM u", "S0022"},
      {"INSERT INTO u (nope) VALUES (1)", "S0022"},
      {"INSERT INTO u VALUES (1, 'a', 3)", "21S01"},
      {"INSERT INTO u (k, v) VALUES (1)", "21S01"},
      {"INSERT INTO u (k) VALUES (1)", "23000"},
      {"CREATE TABLE u (x)", "S0001"},
      {"SELECT 1; SELECT 2", "37000"},
      {"SELECT 1; -- the end\n/* still */ SELECT 2", "37000"},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(c.ExecDirect(s, k.sql), -1) << k.sql;
    int native = 0;
    std::string text;
    EXPECT_EQ(c.State(s, &native, &text), k.state) << k.sql;
    EXPECT_FALSE(text.empty());
  }
  // One statement with a closing semicolon and comments after it is fine.
  EXPECT_EQ(c.ExecDirect(s, "SELECT 1; -- the end"), 0);
  EXPECT_EQ(c.ExecDirect(s, "SELECT 1;\n/* done */ ; -- really\n"), 0);
  EXPECT_EQ(c.Prepare(s, "INSERT INTO u VALUES (9, 'x'); /* open comment"), 0);
  // The native code is SQLite's (SQLITE_CONSTRAINT_NOTNULL = 1299).
  EXPECT_EQ(c.ExecDirect(s, "INSERT INTO u (k) VALUES (2)"), -1);
  int native = 0;
  EXPECT_EQ(c.State(s, &native), "23000");
  EXPECT_EQ(native, 1299);
  // A diagnostic is read once.
  EXPECT_EQ(c.State(s), "00000");
  // Wrong states.
  uint32_t t = c.Alloc();
  EXPECT_EQ(c.Fetch(t, {}), -1);
  EXPECT_EQ(c.State(t), "24000");
  EXPECT_EQ(c.Execute(t), -1);
  EXPECT_EQ(c.State(t), "S1010");
  ASSERT_EQ(c.Prepare(t, "SELECT ?, ?"), 0);
  EXPECT_EQ(c.Execute(t, {{1, 4, U32(1)}}), -1);
  EXPECT_EQ(c.State(t), "07001");
  EXPECT_EQ(c.Execute(t, {{1, 4, U32(1)}, {1, 4, U32(1)}}), -1);
  EXPECT_EQ(c.State(t), "S1093");
  EXPECT_EQ(c.Execute(t, {{1, 4, "abc"}, {2, 4, U32(1)}}), -1);
  EXPECT_EQ(c.State(t), "S1090");
  ASSERT_EQ(c.ExecDirect(t, "SELECT 'abc'"), 0);
  EXPECT_EQ(c.Fetch(t, {2}), -1);
  EXPECT_EQ(c.State(t), "S1002");
  // A value that does not fit its described type fails the fetch.
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE w (i INTEGER)"), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO w VALUES ('not a number'), (5000000000)"), 0);
  ASSERT_EQ(c.ExecDirect(t, "SELECT i FROM w"), 0);
  EXPECT_EQ(c.Fetch(t, {1}), -1);
  EXPECT_EQ(c.State(t), "22005");
  EXPECT_EQ(c.Fetch(t, {1}), -1);
  EXPECT_EQ(c.State(t), "22003");
}

TEST_F(ServerStatement, ConnectionOptionsAndStatementOptions) {
  // Access mode: read-only refuses writes.
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE r (x)"), 0);
  EXPECT_EQ(Option(26, 0, 1), 0);
  EXPECT_EQ(c.ExecDirect(s, "INSERT INTO r VALUES (1)"), -1);
  EXPECT_EQ(c.State(s), "42000");
  EXPECT_EQ(Option(26, 0, 0), 0);
  EXPECT_EQ(c.ExecDirect(s, "INSERT INTO r VALUES (1), (2), (3)"), 0);
  EXPECT_EQ(Option(26, 0, 5), -1);
  EXPECT_EQ(c.State(0), "S1009");
  // Isolation: serializable; weaker levels answer "option value changed".
  EXPECT_EQ(Option(38, 0, 8), 0);
  EXPECT_EQ(Option(38, 0, 2), 1);
  EXPECT_EQ(c.State(0), "01S02");
  EXPECT_EQ(Option(38, 0, 3), -1);
  // Maximum rows on the statement, and as the default of new statements.
  EXPECT_EQ(Option(32, s, 2), 0);
  ASSERT_EQ(c.ExecDirect(s, "SELECT x FROM r"), 0);
  EXPECT_EQ(c.Fetch(s, {1}), 0);
  EXPECT_EQ(c.Fetch(s, {1}), 0);
  EXPECT_EQ(c.Fetch(s, {1}), 100);
  EXPECT_EQ(Option(32, 0, 1), 0);
  uint32_t t = c.Alloc();
  ASSERT_EQ(c.ExecDirect(t, "SELECT x FROM r"), 0);
  EXPECT_EQ(c.Fetch(t, {1}), 0);
  EXPECT_EQ(c.Fetch(t, {1}), 100);
  // Maximum length cuts character data.
  EXPECT_EQ(Option(31, s, 3), 0);
  EXPECT_EQ(Option(32, s, 0), 0);
  std::vector<Cell> row;
  ASSERT_EQ(c.ExecDirect(s, "SELECT 'abcdef'"), 0);
  ASSERT_EQ(c.Fetch(s, {1}, &row), 0);
  EXPECT_EQ(row[0].bytes, std::string("abc\0", 4));
  // The rest are stored; values the server cannot honour say so.
  EXPECT_EQ(Option(28, s, 1), 0);
  EXPECT_EQ(Option(28, s, 2), 1);
  EXPECT_EQ(c.State(s), "01S02");
  EXPECT_EQ(Option(30, s, 0), 0);
  EXPECT_EQ(Option(30, s, 3), 1);
  EXPECT_EQ(Option(33, s, 1), 0);
  EXPECT_EQ(Option(35, s, 0), 0);
  EXPECT_EQ(Option(36, s, 1), 0);
  EXPECT_EQ(Option(36, s, 10), 1);
  EXPECT_EQ(Option(39, s, 0), 0);
  EXPECT_EQ(Option(39, 12345, 0), -1);
  EXPECT_EQ(c.State(12345), "S1000");
}

TEST_F(ServerStatement, TransactionsWithAutocommitOff) {
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE acct (n INTEGER)"), 0);
  Client other;
  ASSERT_TRUE(other.OpenAndLogin(server.port()));
  uint32_t o = other.Alloc();
  auto count = [&]() {
    auto rows = other.Query(o, "SELECT count(*) FROM acct");
    return rows.empty() ? -1 : static_cast<int>(Get32(rows[0][0].bytes, 0));
  };
  ASSERT_EQ(c.SetAutocommit(0), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO acct VALUES (1)"), 0);
  EXPECT_EQ(count(), 0);  // not committed yet
  ASSERT_EQ(c.Transact(1), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO acct VALUES (2)"), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO acct VALUES (3)"), 0);
  ASSERT_EQ(c.Transact(0), 0);
  EXPECT_EQ(count(), 2);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO acct VALUES (4)"), 0);
  EXPECT_EQ(c.SetAutocommit(1), 0);  // switching it on commits
  EXPECT_EQ(count(), 3);
  EXPECT_EQ(c.Transact(0), 0);  // nothing open: fine
  EXPECT_EQ(c.Transact(5), -1);
  EXPECT_EQ(c.State(0), "S1012");
  EXPECT_EQ(c.SetAutocommit(7), -1);
  // An open transaction is rolled back when the client logs out.
  ASSERT_EQ(c.SetAutocommit(0), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO acct VALUES (5)"), 0);
  std::unique_ptr<Request> out(Request::CreateRequest(8));
  EXPECT_EQ(c.Exchange(out.get()), 0);
  EXPECT_TRUE(c.PeerClosed());
  EXPECT_EQ(count(), 3);
}

TEST_F(ServerStatement, TablesColumnsStatisticsSpecialColumns) {
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE emp (id INTEGER PRIMARY KEY, name VARCHAR(30) NOT NULL, "
                            "salary NUMERIC(10,2), hired DATE)"),
            0);
  ASSERT_EQ(c.ExecDirect(s, "CREATE UNIQUE INDEX emp_name ON emp (name)"), 0);
  ASSERT_EQ(c.ExecDirect(s, "CREATE INDEX emp_hired ON emp (hired, salary)"), 0);
  ASSERT_EQ(c.ExecDirect(s, "CREATE VIEW emp_view AS SELECT name FROM emp"), 0);
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE e_x (a)"), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO emp (name) VALUES ('a'), ('b')"), 0);

  auto fetchAll = [&](std::vector<Column>* cols) {
    std::vector<std::vector<Cell>> rows;
    std::vector<uint16_t> all;
    for (size_t i = 0; i < cols->size(); ++i) all.push_back(static_cast<uint16_t>(i + 1));
    std::vector<Cell> row;
    while (c.Fetch(s, all, &row) == 0) rows.push_back(row);
    return rows;
  };
  auto names = [](const std::vector<Column>& cols) {
    std::string out;
    for (const Column& col : cols) out += col.name + "/" + std::to_string(col.sqlType) + " ";
    return out;
  };
  auto text = [](const Cell& cell) { return cell.isNull ? std::string("<null>") : std::string(cell.bytes.c_str()); };

  // SQLTables with a name and a type pattern: the result's columns and rows.
  auto tablesOf = [&](const char* name, const char* type, std::vector<Column>* cols) {
    std::unique_ptr<Request> tables(Request::CreateRequest(43));
    tables->SetStatementId(s);
    tables->Get<TableNameElement>()->value.SetString(name);
    tables->Get<TableTypeElement>()->value.SetString(type);
    EXPECT_EQ(c.Exchange(tables.get()), 0);
    *cols = Client::Columns(tables.get());
    return fetchAll(cols);
  };
  std::vector<Column> cols;
  auto rows = tablesOf("EMP%", "", &cols);
  EXPECT_EQ(names(cols), "TABLE_QUALIFIER/12 TABLE_OWNER/12 TABLE_NAME/12 TABLE_TYPE/12 REMARKS/12 ");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(text(rows[0][2]), "emp");
  EXPECT_EQ(text(rows[0][3]), "TABLE");
  EXPECT_EQ(text(rows[1][2]), "emp_view");
  EXPECT_EQ(text(rows[1][3]), "VIEW");
  EXPECT_TRUE(rows[0][0].isNull);
  // "_" is one character, "\" escapes it.
  rows = tablesOf("e\\_%", "", &cols);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(text(rows[0][2]), "e_x");
  // Table types only, and the list of types.
  EXPECT_EQ(tablesOf("", "'VIEW'", &cols).size(), 1u);
  EXPECT_EQ(tablesOf("", "%", &cols).size(), 3u);

  // SQLColumns
  std::unique_ptr<Request> columns(Request::CreateRequest(4));
  columns->SetStatementId(s);
  columns->Get<TableNameElement>()->value.SetString("emp");
  ASSERT_EQ(c.Exchange(columns.get()), 0);
  cols = Client::Columns(columns.get());
  EXPECT_EQ(names(cols),
            "TABLE_QUALIFIER/12 TABLE_OWNER/12 TABLE_NAME/12 COLUMN_NAME/12 DATA_TYPE/5 TYPE_NAME/12 "
            "PRECISION/4 LENGTH/4 SCALE/5 RADIX/5 NULLABLE/5 REMARKS/12 ");
  rows = fetchAll(&cols);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(text(rows[1][3]), "name");
  EXPECT_EQ(Get16(rows[1][4].bytes, 0), 12);
  EXPECT_EQ(text(rows[1][5]), "VARCHAR");
  EXPECT_EQ(Get32(rows[1][6].bytes, 0), 30u);
  EXPECT_EQ(Get16(rows[1][10].bytes, 0), 0);  // NOT NULL
  EXPECT_EQ(Get16(rows[2][4].bytes, 0), 2);    // NUMERIC, never DECIMAL
  EXPECT_EQ(Get32(rows[2][6].bytes, 0), 10u);
  EXPECT_EQ(Get16(rows[2][8].bytes, 0), 2);
  EXPECT_EQ(Get16(rows[2][9].bytes, 0), 10);
  EXPECT_EQ(Get16(rows[3][4].bytes, 0), 9);
  EXPECT_TRUE(rows[3][9].isNull);
  EXPECT_EQ(Get16(rows[0][10].bytes, 0), 0);  // the INTEGER PRIMARY KEY holds no NULL
  // An INTEGER column that is only part of a key may hold NULL.
  ASSERT_EQ(c.ExecDirect(s, "CREATE TABLE pair (a INTEGER, b TEXT, PRIMARY KEY (a, b))"), 0);
  ASSERT_EQ(c.ExecDirect(s, "INSERT INTO pair VALUES (NULL, 'x')"), 0);
  columns->Get<TableNameElement>()->value.SetString("pair");
  ASSERT_EQ(c.Exchange(columns.get()), 0);
  rows = fetchAll(&cols);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(text(rows[0][3]), "a");
  EXPECT_EQ(Get16(rows[0][10].bytes, 0), 1);

  // SQLStatistics: the table row, then the unique index, then the other.
  std::unique_ptr<Request> stats(Request::CreateRequest(41));
  stats->SetStatementId(s);
  stats->Get<TableNameElement>()->value.SetString("emp");
  stats->Get<IndexTypeElement>()->value = 1;
  stats->Get<AccuracyElement>()->value = 1;
  ASSERT_EQ(c.Exchange(stats.get()), 0);
  cols = Client::Columns(stats.get());
  EXPECT_EQ(names(cols),
            "TABLE_QUALIFIER/12 TABLE_OWNER/12 TABLE_NAME/12 NON_UNIQUE/5 INDEX_QUALIFIER/12 INDEX_NAME/12 "
            "TYPE/5 SEQ_IN_INDEX/5 COLUMN_NAME/12 COLLATION/1 CARDINALITY/4 PAGES/4 FILTER_CONDITION/12 ");
  rows = fetchAll(&cols);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(Get16(rows[0][6].bytes, 0), 0);
  EXPECT_EQ(Get32(rows[0][10].bytes, 0), 2u);
  EXPECT_EQ(text(rows[1][5]), "emp_name");
  EXPECT_EQ(Get16(rows[1][3].bytes, 0), 0);
  EXPECT_EQ(text(rows[2][5]), "emp_hired");
  EXPECT_EQ(text(rows[3][8]), "salary");
  EXPECT_EQ(Get16(rows[3][7].bytes, 0), 2);
  stats->Get<IndexTypeElement>()->value = 0;  // unique only
  ASSERT_EQ(c.Exchange(stats.get()), 0);
  EXPECT_EQ(fetchAll(&cols).size(), 2u);

  // SQLSpecialColumns: the INTEGER PRIMARY KEY; ROWID for a table without
  // a key; nothing for SQL_ROWVER.
  std::unique_ptr<Request> special(Request::CreateRequest(40));
  special->SetStatementId(s);
  special->Get<SpecialColumnTypeElement>()->value = 1;
  special->Get<TableNameElement>()->value.SetString("emp");
  special->Get<NullabilityElement>()->value = 1;
  ASSERT_EQ(c.Exchange(special.get()), 0);
  cols = Client::Columns(special.get());
  EXPECT_EQ(names(cols),
            "SCOPE/5 COLUMN_NAME/12 DATA_TYPE/5 TYPE_NAME/12 PRECISION/4 LENGTH/4 SCALE/5 PSEUDO_COLUMN/5 ");
  rows = fetchAll(&cols);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(text(rows[0][1]), "id");
  special->Get<TableNameElement>()->value.SetString("e_x");
  ASSERT_EQ(c.Exchange(special.get()), 0);
  rows = fetchAll(&cols);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(text(rows[0][1]), "ROWID");
  EXPECT_EQ(Get16(rows[0][7].bytes, 0), 2);
  special->Get<SpecialColumnTypeElement>()->value = 2;
  ASSERT_EQ(c.Exchange(special.get()), 0);
  EXPECT_TRUE(fetchAll(&cols).empty());
  special->Get<SpecialColumnTypeElement>()->value = 9;
  EXPECT_EQ(c.Exchange(special.get()), -1);
  EXPECT_EQ(c.State(s), "S1097");
}

TEST_F(ServerStatement, TypeInformation) {
  std::unique_ptr<Request> info(Request::CreateRequest(19));
  info->SetStatementId(s);
  info->Get<SqlDataTypeElement>()->value = 0;
  ASSERT_EQ(c.Exchange(info.get()), 0);
  std::vector<Column> cols = Client::Columns(info.get());
  std::string all;
  for (const Column& col : cols) all += col.name + " ";
  EXPECT_EQ(all,
            "TYPE_NAME DATA_TYPE PRECISION LITERAL_PREFIX LITERAL_SUFFIX CREATE_PARAMS NULLABLE CASE_SENSITIVE "
            "SEARCHABLE UNSIGNED_ATTRIBUTE MONEY AUTO_INCREMENT LOCAL_TYPE_NAME MINIMUM_SCALE MAXIMUM_SCALE ");
  std::vector<uint16_t> wanted = {1, 2};
  std::vector<Cell> row;
  std::vector<int> types;
  while (c.Fetch(s, wanted, &row) == 0) types.push_back(static_cast<int16_t>(Get16(row[1].bytes, 0)));
  EXPECT_EQ(types.size(), 17u);
  EXPECT_TRUE(std::is_sorted(types.begin(), types.end()));
  EXPECT_EQ(std::count(types.begin(), types.end(), 3), 0);  // no DECIMAL
  EXPECT_EQ(std::count(types.begin(), types.end(), 8), 0);  // no DOUBLE
  info->Get<SqlDataTypeElement>()->value = 12;
  ASSERT_EQ(c.Exchange(info.get()), 0);
  ASSERT_EQ(c.Fetch(s, wanted, &row), 0);
  EXPECT_EQ(std::string(row[0].bytes.c_str()), "VARCHAR");
  EXPECT_EQ(c.Fetch(s, wanted, &row), 100);
  info->Get<SqlDataTypeElement>()->value = 8;
  ASSERT_EQ(c.Exchange(info.get()), 0);
  EXPECT_EQ(c.Fetch(s, wanted, &row), 100);
}

TEST_F(ServerStatement, EscapeClausesUnlessNoscan) {
  auto rows = c.Query(s, "SELECT {fn YEAR({d '2024-05-06'})}, {fn CONVERT('12', SQL_INTEGER)} + 1");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes, U32(2024));
  EXPECT_EQ(rows[0][1].bytes, U32(13));
  EXPECT_EQ(c.ExecDirect(s, "{call proc}"), -1);
  EXPECT_EQ(c.State(s), "37000");
  EXPECT_EQ(Option(33, s, 1), 0);  // no-scan: the text goes to SQLite as it is
  EXPECT_EQ(c.ExecDirect(s, "SELECT {d '2024-05-06'}"), -1);
  EXPECT_EQ(c.State(s), "37000");
}

TEST_F(ServerStatement, DisconnectEndsTheSession) {
  std::unique_ptr<Request> out(Request::CreateRequest(8));
  ASSERT_EQ(c.Exchange(out.get()), 0);
  EXPECT_TRUE(c.PeerClosed());
}

}  // namespace
}  // namespace srvtest
