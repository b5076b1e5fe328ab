// Statements against a real server: the flow of prepare, execute, fetch
// and get-data, SQLSTATEs of failures, options, transactions, and the wire
// form of every SQL type fetched and bound. Catalog functions are read back
// through the driver manager (tests/integration/catalog_test.cpp).
#include "server_client.h"

namespace {

using ServerStatement = ServerSessionTest;

std::string Text(const Cell& cell) { return cell.isNull ? "<null>" : cell.bytes.c_str(); }

TEST_F(ServerStatement, PrepareExecuteFetchGetData) {
  // A column without a declared type is SQLite's; PostgreSQL's VARCHAR
  // without a length is described as such a column is.
  ASSERT_EQ(c.Exec(s, OnPostgres() ? "CREATE TABLE t (id SERIAL PRIMARY KEY, name VARCHAR(10) NOT NULL, v VARCHAR)"
                                   : "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(10) NOT NULL, v)"),
            0);
  std::unique_ptr<Request> r;
  ASSERT_EQ(c.Exec(s, "INSERT INTO t (name, v) VALUES (?, ?)", {}, nullptr, Msg::kPrepare), 0);
  for (const char* name : {"a", "b", "c"})
    ASSERT_EQ(c.Execute(s, {{1, 12, std::string(name) + '\0'}, {2, 4, U32(7)}}), 0);
  std::vector<int> types;
  ASSERT_EQ(c.Exec(s, "SELECT id, name, v FROM t ORDER BY id", {}, &types, Msg::kPrepare), 0);
  EXPECT_EQ(types, std::vector<int>({4, 12, 12}));  // no declared type after a prepare: VARCHAR
  ASSERT_EQ(c.Execute(s), 0);
  std::vector<Cell> row;
  ASSERT_EQ(c.Fetch(s, {2}, &row), 0);  // only the asked column travels
  ASSERT_EQ(row.size(), 1u);
  EXPECT_EQ(row[0].bytes, std::string("a\0", 2));
  ASSERT_EQ(c.Call(Msg::kGetData, s, 3, &r), 0);
  EXPECT_EQ(r->Get<FetchDataElement>()->Length(), 2u);  // "7" and its NUL
  ASSERT_EQ(c.Fetch(s, {}), 0);
  ASSERT_EQ(c.Fetch(s, {1}, &row), 0);
  EXPECT_EQ(row[0].bytes, U32(3));
  EXPECT_EQ(c.Outcome(c.Fetch(s, {1}), s), "100 02000");
  EXPECT_EQ(c.Outcome(c.Call(Msg::kGetData, s, 1), s), "-1 24000");
  EXPECT_EQ(c.Call(Msg::kFreeStatement, s, 0), 0);
  EXPECT_EQ(c.Call(Msg::kFreeStatement, s, 0), 0);  // closing without a cursor
  ASSERT_EQ(c.Execute(s), 0);
  EXPECT_EQ(c.Fetch(s, {1}), 0);
  EXPECT_EQ(c.Call(Msg::kFreeStatement, s, 0), 0);  // a cursor with rows left refuses a new text
  ASSERT_EQ(c.Exec(s,
                   OnPostgres() ? "SELECT 1, 5000000000, 2.5::float8, 'x', x'00ff', NULL"
                                : "SELECT 1, 5000000000, 2.5, 'x', x'00ff', NULL",
                   {}, &types),
            0);
  EXPECT_EQ(types, std::vector<int>({4, -5, 6, 12, -4, 12}));  // from the first row
}

// Each row: a statement on a fresh statement handle; rc and SQLSTATE.
TEST_F(ServerStatement, FailuresCarryTheirSqlstates) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE u (k INTEGER PRIMARY KEY, v TEXT NOT NULL)"), 0);
  const char* rows[][2] = {
      {"SELEC 1", "-1 37000"},
      {"SELECT nope FROM u", "-1 S0022"},
      {"INSERT INTO u (nope) VALUES (1)", "-1 S0022"},
      {"INSERT INTO u VALUES (1, 'a', 3)", "-1 21S01"},
      {"INSERT INTO u (k, v) VALUES (1)", "-1 21S01"},
      {"INSERT INTO u (k) VALUES (1)", "-1 23000"},
      {"CREATE TABLE u (x INTEGER)", "-1 S0001"},
      // Semicolons that end no statement (texts of several: RESULTS.md).
      {"SELECT 'a;b' AS \"c;d\" /* ; */ -- ;\n", "0 00000"},
      {OnPostgres() ? "SELECT $x$;$x$" : "CREATE TRIGGER ut AFTER INSERT ON u BEGIN DELETE FROM u WHERE k < 0; END",
       "0 00000"},
      {"{call proc}", "-1 37000"},
      {"SELECT 1; -- the end", "0 00000"},
      {"SELECT 1;\n/* done */ ; -- really\n", "0 00000"},
      {"SELECT {fn YEAR({d '2024-05-06'})} + {fn CONVERT('12', SQL_INTEGER)}", "0 00000"},
  };
  for (const auto& r : rows) {
    uint32_t t = c.Alloc();
    EXPECT_EQ(c.Outcome(c.Exec(t, r[0]), t), r[1]) << r[0];
    c.Call(Msg::kFreeStatement, t, 1);
  }
  int native = 0;
  EXPECT_EQ(c.Exec(s, "INSERT INTO u (k) VALUES (2)"), -1);
  EXPECT_EQ(c.State(s, &native), "23000");
  EXPECT_EQ(native, OnPostgres() ? 0 : 1299);   // SQLite's SQLITE_CONSTRAINT_NOTNULL
  EXPECT_EQ(c.State(s), "00000");               // a diagnostic is read once
  EXPECT_EQ(c.Call(Msg::kSetNoscan, s, 1), 0);  // no-scan: the text goes to SQLite as it is
  EXPECT_EQ(c.Outcome(c.Exec(s, "SELECT {d '2024-05-06'}"), s), "-1 37000");
  // Wrong states and parameters; the refused row-identifier type (the
  // catalog calls themselves are read back through the driver manager).
  uint32_t t = c.Alloc();
  EXPECT_EQ(c.Outcome(c.Fetch(t, {}), t), "-1 24000");
  EXPECT_EQ(c.Outcome(c.Execute(t), t), "-1 S1010");
  ASSERT_EQ(c.Exec(t, "SELECT ?, ?", {}, nullptr, Msg::kPrepare), 0);
  EXPECT_EQ(c.Outcome(c.Execute(t, {{1, 4, U32(1)}}), t), "-1 07001");
  EXPECT_EQ(c.Outcome(c.Execute(t, {{1, 4, U32(1)}, {1, 4, U32(1)}}), t), "-1 S1093");
  EXPECT_EQ(c.Outcome(c.Execute(t, {{1, 4, "abc"}, {2, 4, U32(1)}}), t), "-1 S1090");
  ASSERT_EQ(c.Exec(t, "SELECT 'abc'"), 0);
  EXPECT_EQ(c.Outcome(c.Fetch(t, {2}), t), "-1 S1002");
  EXPECT_EQ(c.Outcome(c.Call(Msg::kFreeStatement, t, 7), t), "-1 S1092");
  EXPECT_EQ(c.Call(Msg::kFreeStatement, t, 0), 0);  // a catalog call over unread rows is 24000
  EXPECT_EQ(c.Outcome(c.Call(Msg::kSpecialColumns, t, 9), t), "-1 S1097");
  EXPECT_EQ(c.Call(Msg::kFreeStatement, t, 1), 0);
  EXPECT_EQ(c.Outcome(c.Exec(t, "SELECT 1"), t), "-1 S1000");  // dropped
}

// The describe-parameters request: each marker's "type size scale
// nullable", by the column the text puts a marker against, else by
// PostgreSQL's type of it, else LONGVARCHAR; 8000 where no length is
// declared. PostgreSQL's answer where it differs ("", as SQLite's).
TEST_F(ServerStatement, MarkersDescribedByTheirColumns) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE dp (id INTEGER NOT NULL, t VARCHAR(2000), u TEXT, d DATE, n NUMERIC(10,2))"), 0);
  const char* rows[][3] = {
      // text, over SQLite, over PostgreSQL
      {"INSERT INTO dp VALUES (?, ?, ?, ?, ?)", "4 10 0 0/12 2000 0 1/-1 8000 0 1/9 10 0 1/2 10 2 1", ""},
      {"INSERT INTO dp (d, id) VALUES (?, 5)", "9 10 0 1", ""},
      {"SELECT id FROM dp WHERE t = ? AND ? < id", "12 2000 0 1/4 10 0 0", "-1 8000 0 2/4 10 0 0"},
      {"UPDATE dp SET u = ? WHERE dp.id = ? -- ?", "-1 8000 0 1/4 10 0 0", ""},
      {"SELECT ? || 'a'", "-1 8000 0 2", ""},
      {"SELECT 1", "", ""},
  };
  for (const auto& r : rows) {
    ASSERT_EQ(c.Exec(s, r[0], {}, nullptr, Msg::kPrepare), 0) << r[0];
    std::unique_ptr<Request> reply;
    ASSERT_EQ(c.Call(Msg::kDescribeParams, s, 0, &reply), 0) << r[0];
    std::string got;
    for (ColumnDescription* d = reply->Get<ParameterSetDescriptionElement>()->Columns()->Head(); d;
         d = static_cast<ColumnDescription*>(d->NextItem()))
      got += (got.empty() ? "" : "/") + std::to_string(d->sqlDataType) + " " + std::to_string(d->precision) + " " +
             std::to_string(d->scale) + " " + std::to_string(d->nullability);
    EXPECT_EQ(got, r[OnPostgres() && r[2][0] ? 2 : 1]) << r[0];
  }
  uint32_t t = c.Alloc();
  EXPECT_EQ(c.Outcome(c.Call(Msg::kDescribeParams, t, 0), t), "-1 S1010");
  EXPECT_EQ(c.describeType, 1);
}

// Options: code, on the statement or the connection, value, outcome.
TEST_F(ServerStatement, OptionsCursorNamesAndTransactions) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE r (x INTEGER)"), 0);
  // clang-format off
  const struct { uint16_t code; bool onStatement; int32_t value; const char* outcome; } rows[] = {
      {Msg::kSetAccessMode, false, 5, "-1 S1009"},
      {Msg::kSetIsolation, false, 8, "0 00000"},
      {Msg::kSetIsolation, false, 2, OnPostgres() ? "0 00000" : "1 01S02"},
      {Msg::kSetIsolation, false, 3, "-1 S1009"},
      {Msg::kSetConcurrency, true, 1, "0 00000"},
      {Msg::kSetConcurrency, true, 2, "1 01S02"},
      {Msg::kSetCursorType, true, 0, "0 00000"},
      {Msg::kSetCursorType, true, 3, "1 01S02"},
      {Msg::kSetNoscan, true, 1, "0 00000"},
      {Msg::kSetRetrieveData, true, 0, "0 00000"},
      {Msg::kSetRowsetSize, true, 1, "0 00000"},
      {Msg::kSetRowsetSize, true, 10, "1 01S02"},
      {Msg::kSetUseBookmarks, true, 0, "0 00000"},
      {Msg::kTransact, false, 5, "-1 S1012"},
      {Msg::kSetAutocommit, false, 7, "-1 S1009"},
      {Msg::kSetAccessMode, false, 1, "0 00000"},
  };
  // clang-format on
  for (const auto& r : rows) {
    uint32_t id = r.onStatement ? s : 0;
    EXPECT_EQ(c.Outcome(c.Call(r.code, id, r.value), id), r.outcome) << r.code << " " << r.value;
  }
  EXPECT_EQ(c.Outcome(c.Call(Msg::kSetUseBookmarks, 12345, 0), 12345),
            "-1 S1000");                                                       // no such statement
  EXPECT_EQ(c.Outcome(c.Exec(s, "INSERT INTO r VALUES (1)"), s), "-1 42000");  // read-only
  EXPECT_EQ(c.Call(Msg::kSetAccessMode, 0, 0), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO r VALUES (1), (2), (3)"), 0);
  // Maximum rows on the statement and as the default of new ones; maximum
  // length cuts character data.
  EXPECT_EQ(c.Call(Msg::kSetMaxRows, s, 2), 0);
  EXPECT_EQ(c.Query(s, "SELECT x FROM r").size(), 2u);
  EXPECT_EQ(c.Call(Msg::kSetMaxRows, 0, 1), 0);
  EXPECT_EQ(c.Query(c.Alloc(), "SELECT x FROM r").size(), 1u);
  EXPECT_EQ(c.Call(Msg::kSetMaxLength, s, 3), 0);
  EXPECT_EQ(c.Query(s, "SELECT 'abcdef'")[0][0].bytes, std::string("abc\0", 4));
  // Cursor names: the default, one set and read back, refusals.
  auto name = [&](uint32_t id, const char* set) {
    SetCursorNameRequest r;
    r.SetStatementId(id);
    EXPECT_EQ(1, r.Get<CursorNameElement>()->value.SetString(set));
    std::unique_ptr<Request> get;
    int rc = set ? c.Exchange(&r) : c.Call(Msg::kGetCursorName, id, 0, &get);
    return rc ? c.Outcome(rc, id) : set ? "0" : get->Get<CursorNameElement>()->value.TextOrEmpty();
  };
  uint32_t t = c.Alloc(), u = c.Alloc();
  EXPECT_EQ(name(s, nullptr), "SQL_CUR" + std::to_string(s));
  EXPECT_EQ(name(t, "orders_cursor"), "0");
  EXPECT_EQ(name(t, nullptr), "orders_cursor");
  EXPECT_EQ(name(u, "ORDERS_CURSOR"), "-1 3C000");
  EXPECT_EQ(name(u, "SQL_CUR99"), "-1 34000");
  EXPECT_EQ(name(s, "other"), "-1 24000");  // s has an open cursor
  // Transactions: uncommitted rows are invisible to another client (commit
  // and rollback as such: through the driver manager), switching
  // autocommit on commits, logging out (disconnect) rolls back.
  Client other;
  ASSERT_TRUE(other.OpenAndLogin(server.Port()));
  uint32_t o = other.Alloc();
  auto count = [&] { return other.Query(o, "SELECT CAST(count(*) AS INTEGER) FROM r")[0][0].bytes; };
  // A table another client made shows in the storage's own descriptions.
  const char* keys = OnPostgres() ? "SELECT indexname FROM pg_indexes WHERE tablename = 'r2'" : "PRAGMA index_list(r2)";
  EXPECT_EQ(other.Query(o, keys).size(), 0u);
  ASSERT_EQ(c.Exec(t, "CREATE TABLE r2 (x INTEGER UNIQUE)"), 0);
  EXPECT_EQ(other.Query(o, keys).size(), 1u);
  ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
  ASSERT_EQ(c.Exec(t, "INSERT INTO r VALUES (4)"), 0);
  EXPECT_EQ(count(), U32(3));
  EXPECT_EQ(c.Call(Msg::kSetAutocommit, 0, 1), 0);
  EXPECT_EQ(count(), U32(4));
  ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
  ASSERT_EQ(c.Exec(t, "INSERT INTO r VALUES (6)"), 0);
  ASSERT_EQ(c.Call(Msg::kDisconnect, 0), 0);
  EXPECT_TRUE(c.PeerClosed());
  EXPECT_EQ(count(), U32(4));
}

// A fetch-block request of statement id for its first column.
FetchBlockRequest* OneColumn(FetchBlockRequest* r, uint32_t id) {
  r->SetStatementId(id);
  EXPECT_TRUE(r->Get<ColumnNumberVectorElement>()->SetCount(1));
  r->Get<ColumnNumberVectorElement>()->SetAt(0, 1);
  return r;
}
// A block reply's one-byte values, then its record's SQLSTATE: " 1 2 3 02000".
std::string BlockText(Request* r) {
  std::string out;
  FetchDataSetElement row;
  int status = 0;
  while (r->Get<RowBlockElement>()->NextRow(&row, &status)) out += " " + std::to_string(row.List()->Head()->Data()[0]);
  return out + " " + r->Get<SqlstateElement>()->value.TextOrEmpty();
}

// Blocks of rows (offered at login): at least one row however small the
// budget, rows while the budget lasts, and the end, the maximum rows or a
// failing row (22003 at row 4) after the rows with their record in the
// reply: "rc: rows state".
TEST_F(ServerStatement, BlocksEndAtTheBudgetTheEndOrTheFailingRow) {
  if (OnPostgres()) GTEST_SKIP() << "the budgets count SQLite's TINYINT rows and rowid";
  EXPECT_EQ(c.fetchType + c.catalogType, 2);
  ASSERT_EQ(c.Exec(s, "CREATE TABLE b (v TINYINT)"), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO b VALUES (1), (2), (3), (1000)"), 0);
  auto block = [&](uint32_t budget) {
    FetchBlockRequest r;
    OneColumn(&r, s)->Get<MaxLengthElement>()->value = budget;
    const int rc = c.Exchange(&r);
    return std::to_string(rc) + ":" + BlockText(&r);
  };
  const char* three = "SELECT v FROM b WHERE rowid <= 3";  // rows of 10 bytes
  // sql: executed first when given
  // clang-format off
  const struct { const char* sql; uint32_t budget; const char* reply; } rows[] = {
      {three, 1, "0: 1 "}, {nullptr, 1, "0: 2 "}, {nullptr, 10, "0: 3 "}, {nullptr, 1, "100: 02000"},
      {three, 30, "0: 1 2 3 "}, {nullptr, 9, "100: 02000"}, {three, 31, "100: 1 2 3 02000"},
      {"SELECT v FROM b", 1000, "-1: 1 2 3 22003"}, {nullptr, 1000, "100: 02000"},
  };
  // clang-format on
  for (const auto& r : rows) {
    EXPECT_EQ(r.sql ? c.Exec(s, r.sql) : 0, 0);
    EXPECT_EQ(block(r.budget), r.reply) << r.budget;
  }
  EXPECT_EQ(c.State(s), "00000");  // the record went with the block
  EXPECT_EQ(c.Call(Msg::kSetMaxRows, s, 2), 0);
  ASSERT_EQ(c.Exec(s, three), 0);
  EXPECT_EQ(block(1000), "100: 1 2 02000");
  // Blocks asked for ahead (offered with them): three requests written
  // before any reply is read are answered in order, row after row.
  EXPECT_EQ(c.streamType, 1);
  EXPECT_EQ(c.Call(Msg::kSetMaxRows, s, 0), 0);
  ASSERT_EQ(c.Exec(s, three), 0);
  FetchBlockRequest ahead[3];
  int status = 0;
  for (FetchBlockRequest& r : ahead) ASSERT_TRUE(OneColumn(&r, s)->Send(&status, &c.connection));
  std::string order;
  FetchDataSetElement row;
  for (FetchBlockRequest& r : ahead) {
    ASSERT_TRUE(r.Receive(&status, &c.connection));
    order += std::to_string(r.ReturnCode()) + ":";
    while (r.Get<RowBlockElement>()->NextRow(&row, &status)) order += std::to_string(row.List()->Head()->Data()[0]);
    order += " ";
  }
  EXPECT_EQ(order, "0:1 0:2 0:3 ");
}

// Executions with their first block (offered at login): "rc count code: rows
// state"; a result sent whole leaves no cursor open (the fetch after it: 24000).
TEST_F(ServerStatement, ExecutionsBringTheirCountAndFirstRows) {
  if (OnPostgres()) GTEST_SKIP() << "the budgets count SQLite's TINYINT rows";
  ASSERT_EQ(c.Exec(s, "CREATE TABLE q (v TINYINT)"), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO q VALUES (1), (2), (3), (1000)"), 0);
  auto run = [&](const char* sql, int limit, uint32_t budget) {
    c.Call(Msg::kFreeStatement, s, 0);  // a cursor with rows left refuses a new text
    EXPECT_EQ(c.Exec(s, sql, {}, nullptr, Msg::kPrepare), 0);
    ExecuteRowsRequest r;
    r.SetStatementId(s);
    auto* list = new (std::nothrow) ParameterDataList();
    auto* value = new (std::nothrow) ParameterDataElement();
    EXPECT_TRUE(value->Set(1, 4, &limit, 4, false));
    limit < 0 ? delete value : list->Append(value);  // -1: no parameter at all
    r.Get<ParameterDataSetElement>()->SetList(list);
    r.Get<MaxLengthElement>()->value = budget;
    const int rc = c.Exchange(&r);
    return std::to_string(rc) + " " + std::to_string(r.Get<NumberOfRowsElement>()->value) + " " +
           std::to_string(r.Get<BlockCodeElement>()->value) + ":" + BlockText(&r) + "|" +
           std::to_string(c.Fetch(s, {1}));
  };
  const char* upTo = "SELECT v FROM q WHERE rowid <= ?";
  EXPECT_EQ(run(upTo, 3, 1000), "0 -1 100: 1 2 3 02000|-1");
  EXPECT_EQ(run(upTo, 3, 1), "0 -1 0: 1 |0");
  EXPECT_EQ(run(upTo, 4, 1000), "0 -1 -1: 1 2 3 22003|100");
  EXPECT_EQ(run(upTo, -1, 1000), "-1 -1 0: |-1");
  EXPECT_EQ(run("UPDATE q SET v = v WHERE rowid <= ?", 2, 1000), "0 2 100: |-1");
}

// 200 sets in one request, some failing (duplicate keys at both ends and
// in the middle of PostgreSQL's groups, a wrong parameter count): the
// others' rows stay, each once, in both storages and both modes (with
// stop, nothing after the first failure runs).
TEST_F(ServerStatement, BatchesKeepTheWorkOfTheSetsThatSucceed) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE bt (id INTEGER PRIMARY KEY)"), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO bt VALUES (1), (64), (65), (70), (71), (150), (1000)"), 0);
  auto run = [&](bool stop) {
    ExecuteBatchRequest r;
    r.SetStatementId(s);
    EXPECT_EQ(1, r.Get<StatementElement>()->value.SetString("INSERT INTO bt VALUES (?)"));
    r.Get<BatchModeElement>()->value = stop ? kBatchStop : kBatchGoOn;
    ParameterSetsElement* sets = r.Get<ParameterSetsElement>();
    for (uint32_t id = 1; id <= 200; ++id) {
      EXPECT_TRUE(sets->BeginSet());
      for (uint16_t n = 1; n <= (id == 100 ? 2 : 1); ++n)
        EXPECT_TRUE(sets->AppendValue(n, 4, U32(id).data(), 4, false));
      sets->EndSet();
    }
    std::string out = std::to_string(c.Exchange(&r));
    BatchOutcome o;
    int count = 0, rows = 0;
    while (r.Get<BatchOutcomesElement>()->Next(&o)) {
      ++count;
      rows += o.rows;
      if (o.returnCode != 0) out += " " + std::to_string(count) + ":" + std::string(o.sqlstate, o.sqlstateLength);
    }
    return out + " sets " + std::to_string(count) + " rows " + std::to_string(rows);
  };
  const std::string stored = "SELECT CAST(count(*) AS INTEGER), CAST(sum(id) AS INTEGER) FROM bt";
  EXPECT_EQ(run(true), "0 1:23000 sets 1 rows -1");
  EXPECT_EQ(run(false), "0 1:23000 64:23000 65:23000 70:23000 71:23000 100:07001 150:23000 sets 200 rows 186");
  Rows rows = c.Query(s, stored);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes + rows[0][1].bytes, U32(200 - 1 + 1) + U32(200 * 201 / 2 - 100 + 1000));
  ASSERT_EQ(c.Exec(s, "DELETE FROM bt WHERE id NOT IN (64, 65, 70, 71, 150, 1000)"), 0);
  EXPECT_EQ(run(true), "0 64:23000 sets 64 rows 62");
  rows = c.Query(s, stored);
  EXPECT_EQ(rows[0][0].bytes + rows[0][1].bytes, U32(63 + 6) + U32(63 * 64 / 2 + 64 + 65 + 70 + 71 + 150 + 1000));
}

// The wire form of each SQL type's limits and refusals, fetched from a
// column of that declared type: hex of the value, or the SQLSTATE of a
// value that does not fit. Plain values of every type are read back through
// the driver manager (tests/odbc/fetch_server_test.cpp, the clients).
TEST_F(ServerStatement, EveryTypeFetched) {
  if (OnPostgres()) GTEST_SKIP() << "SQLite's types (PostgreSQL's: server_postgres_test)";
  const char* rows[][3] = {
      {"CHAR(8)", "'too long for eight'", "22001"},
      {"BINARY(4)", "X'01'", "01 00 00 00"},
      {"BINARY(4)", "X'0102030405'", "22001"},
      {"BIT", "2", "22003"},
      {"TINYINT", "300", "22003"},
      {"SMALLINT", "-32768", "00 80"},
      {"SMALLINT", "32767", "ff 7f"},
      {"SMALLINT", "32768", "22003"},
      {"SMALLINT", "-32769", "22003"},
      {"INTEGER", "7.0", "07 00 00 00"},
      {"INTEGER", "2.5", "22005"},
      {"INTEGER", "5000000000", "22003"},
      {"INTEGER", "'not a number'", "22005"},
      {"FLOAT", "X'00'", "22005"},
      {"NUMERIC(10,2)", "'1.5'", "00 ff 15 00 00 00 00 00 00 00"},
      {"NUMERIC(10,2)", "'abc'", "22005"},
      {"DECIMAL(5)", "-42", "01 00 42 00 00 00 00 00 00 00"},
      {"DATE", "'yesterday'", "22005"},
      {"TIME", "'25:00:00'", "22005"},
      // A huge declared length makes a long column, not huge values.
      {"CHAR(100000)", "'a'", "'a' 00"},
      {"BINARY(100000)", "X'01'", "01 00 00 00 01"},
  };
  int n = 0;
  for (const auto& r : rows) {
    const std::string table = "t" + std::to_string(++n), e = r[2];
    const bool fails = e.size() == 5 && e[2] != ' ';
    c.Call(Msg::kFreeStatement, s, 0);
    ASSERT_EQ(c.Exec(s, "CREATE TABLE " + table + " (c " + r[0] + ")"), 0) << r[0];
    ASSERT_EQ(c.Exec(s, "INSERT INTO " + table + " VALUES (" + r[1] + "), (NULL)"), 0);
    std::vector<Cell> row;
    int rc = c.Exec(s, "SELECT c FROM " + table);
    rc = rc ? rc : c.Fetch(s, {1}, &row);
    EXPECT_EQ(rc ? c.Outcome(rc, s) : row.at(0).bytes, fails ? "-1 " + e : FromHex(e)) << r[0] << " " << r[1];
    EXPECT_TRUE(fails || (c.Fetch(s, {1}, &row) == 0 && row.at(0).isNull)) << r[0];  // then the NULL
  }
}

// Parameter forms at their limits and malformed ones the driver never
// sends, read back through SQLite's quote(): its text, or the outcome of a
// refused form. Plain values of every type: tests/integration/parameter_test.
TEST_F(ServerStatement, EveryParameterForm) {
  if (OnPostgres()) GTEST_SKIP() << "SQLite's quote() (PostgreSQL's forms: server_postgres_test)";
  // clang-format off
  const struct { int16_t type; std::string bytes; const char* expected; } rows[] = {
      {-6, "\x80", "-128"},
      {5, U16(0x8000), "-32768"},
      {5, U16(0x7fff), "32767"},
      // BIGINT from a C integer: magnitude words and sign 1; from text: no mark.
      {-5, FromHex("01 00 00 00 00 00 00 00 00 00"), "281474976710656"},
      {-5, FromHex("ff 7f ff ff ff ff ff ff 00 00"), "9223372036854775807"},
      {-5, FromHex("00 80 00 00 00 00 00 00 01 00"), "-9223372036854775808"},
      {-5, FromHex("00 80 00 00 00 00 00 00 00 00"), "-1 22003"},  // beyond BIGINT
      // NUMERIC: sign, exponent, two zero bytes, 16 BCD digits left-aligned.
      {3, FromHex("01 f1 00 00 00 00 00 00 00 00 00 70"), "-7"},
      {3, FromHex("00 05 00 00 00 00 00 00 00 00 00 10"), "1.0e+20"},   // beyond BIGINT: a real
      {2, FromHex("00 00 00 00 0a 00 00 00 00 00 00 00"), "-1 22005"},  // not a BCD digit
      {11, FromHex("d0 07 01 00 02 00 03 00 04 00 05 00 40 42 0f 00"), "'2000-01-02 03:04:05.001'"},
      // Lengths that do not fit the form, and an unknown type.
      {-7, std::string(2, '\0'), "-1 S1090"},  // every type's: tests/server/type_agreement_test
      {99, "x", "-1 S1004"},
  };
  // clang-format on
  auto read = [&](int16_t type, const std::string& bytes, bool isNull) {
    int rc = c.Exec(s, "SELECT quote(?)", {{1, type, bytes, isNull}});
    Rows got = rc ? Rows() : c.Query(s, "", 1);
    return rc ? c.Outcome(rc, s) : got.size() == 1 ? Text(got[0][0]) : "rows " + std::to_string(got.size());
  };
  for (const auto& r : rows) EXPECT_EQ(read(r.type, r.bytes, false), r.expected) << r.type << " " << r.bytes.size();
  EXPECT_EQ(read(12, "", true), "NULL");
}

}  // namespace
