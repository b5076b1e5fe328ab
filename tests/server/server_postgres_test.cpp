// The PostgreSQL storage through the protocol (run over the test cluster
// only): its types fetched and bound, its SQLSTATEs, statements failing
// inside a transaction, long results read in batches, isolation levels, and
// two servers sharing one database.
#include <atomic>
#include <thread>

#include "server_client.h"

namespace {

class ServerPostgres : public ServerSessionTest {
 protected:
  void SetUp() override {
    if (!OnPostgres()) GTEST_SKIP() << "runs over PostgreSQL (VEL_TEST_STORAGE)";
    ServerSessionTest::SetUp();
  }
  std::string Count(Client* client, uint32_t id, const std::string& table) {
    Rows rows = client->Query(id, "SELECT CAST(count(*) AS INTEGER) FROM " + table);
    return rows.size() == 1 ? rows[0][0].bytes : "no count";
  }
};

// Each row: a column type, a literal; the SQL type described and the
// value's wire form in hex, or the SQLSTATE of a value with no wire form.
TEST_F(ServerPostgres, EachTypeDescribedAndFetched) {
  // Domains named like SQL types are those types, in the type information too.
  ASSERT_EQ(c.Exec(s, "/* PostgreSQL */ CREATE DOMAIN longvarchar AS text"), 0);
  ASSERT_EQ(c.Exec(s, "/* PostgreSQL */ CREATE DOMAIN tinyint AS smallint"), 0);
  ASSERT_EQ(c.Call(Msg::kGetTypeInfo, s, -6), 0);
  EXPECT_EQ(c.Query(s, "", 1).at(0).at(0).bytes, std::string("TINYINT") + '\0');
  c.Call(Msg::kFreeStatement, s, 0);  // a cursor with rows left refuses a new text
  const char* rows[][4] = {
      {"boolean", "true", "-7", "01"},
      {"smallint", "-2", "5", "fe ff"},
      {"bigint", "-5", "-5", "00 00 00 00 00 00 05 00 01 00"},
      {"real", "1.5", "7", "00 00 c0 3f"},
      {"double precision", "-2", "6", "00 00 00 00 00 00 00 c0"},
      {"numeric(10,2)", "-1.5", "2", "01 ff 15 00 00 00 00 00 00 00"},
      {"numeric", "'NaN'", "2", "22005"},
      {"char(4)", "'ab'", "1", "'ab  ' 00"},
      {"varchar(5)", "'abc'", "12", "'abc' 00"},
      {"text", "'t'", "-1", "'t' 00"},
      {"longvarchar", "'d'", "-1", "'d' 00"},
      {"tinyint", "-3", "-6", "fd"},
      {"json", "'[1]'", "-1", "'[1]' 00"},
      {"bytea", "'\\x00ff'", "-4", "02 00 00 00 00 ff"},
      {"date", "'2024-02-29'", "9", "e8 07 02 00 1d 00"},
      {"date", "'infinity'", "9", "22005"},
      {"time", "'13:45:30.5'", "10", "0d 00 2d 00 1e 00"},
      {"timetz", "'13:45:30+02'", "10", "0d 00 2d 00 1e 00"},  // its own clock time,
      {"timestamp", "'2024-02-29 13:45:30.25'", "11", "e8 07 02 00 1d 00 0d 00 2d 00 1e 00 80 b2 e6 0e"},
      {"timestamptz", "'2024-01-01 00:30:00+01'", "11", "e7 07 0c 00 1f 00 17 00 1e 00 00 00 00 00 00 00"},
      {"timestamptz", "'0044-03-15 12:00:00+00 BC'", "11", "22005"},  // no year before 1
      {"uuid", "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'", "12", "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11' 00"},
  };
  int n = 0;
  for (const auto& r : rows) {
    const std::string table = "t" + std::to_string(++n), e = r[3];
    c.Call(Msg::kFreeStatement, s, 0);
    ASSERT_EQ(c.Exec(s, "/* PostgreSQL */ CREATE TABLE " + table + " (c " + r[0] + ")"), 0) << r[0];
    ASSERT_EQ(c.Exec(s, "INSERT INTO " + table + " VALUES (" + r[1] + ")"), 0) << r[0];
    std::vector<int> types;
    std::vector<Cell> row;
    int rc = c.Exec(s, "SELECT c FROM " + table, {}, &types);
    EXPECT_EQ(types, std::vector<int>({std::stoi(r[2])})) << r[0];
    rc = rc ? rc : c.Fetch(s, {1}, &row);
    const bool fails = e.size() == 5 && e[2] != ' ';
    EXPECT_EQ(rc ? c.Outcome(rc, s) : row.at(0).bytes, fails ? "-1 " + e : FromHex(e)) << r[0] << " " << r[1];
  }
}

// Boundary values read in binary form (alone) and in text form (beside an
// interval, which is read as text): the same wire bytes, or the same
// SQLSTATE.
TEST_F(ServerPostgres, BinaryAndTextRowsAgree) {
  const char* values[] = {
      // Numerics.
      "-123456.789::numeric(12,3)", "0::numeric", "0.000::numeric(5,3)", "'-0.0012'::numeric",
      "12345678901234567.5::numeric", "1e-20::numeric", "10000.0001::numeric", "'NaN'::numeric", "'-Infinity'::numeric",
      // Dates and times.
      "'1969-12-31 23:59:59.999999'::timestamp", "'1900-02-28 01:02:03.5'::timestamp",
      "'0001-01-01 00:00:00'::timestamp", "'0044-03-15 12:00:00 BC'::timestamp", "'10000-01-01'::timestamp",
      "'infinity'::timestamp", "'-infinity'::timestamptz", "'2024-06-30 23:59:59.123+05:30'::timestamptz",
      "'1969-07-20'::date", "'0001-01-01'::date", "'-infinity'::date", "'24:00:00'::time", "'00:00:00.000001'::time",
      "'23:59:59.5-11'::timetz",
      // Integers and floating point.
      "NULL::integer", "'-32768'::smallint", "'-2147483648'::integer", "'-9223372036854775808'::bigint",
      "4294967295::oid", "'NaN'::float8", "'-Infinity'::float8", "'Infinity'::real", "'-0'::float8",
      "3.4028235e38::real", "1e-45::real", "0.1::real",
      // The rest.
      "''::text", "''::bytea", "'\\x00ff'::bytea", "'ab'::char(4)", "true", "'x'::name", "'[1]'::json", "'lit'"};
  for (const std::string v : values) {
    std::string forms[2];
    for (int text = 0; text < 2; ++text) {
      std::vector<Cell> row;
      c.Call(Msg::kFreeStatement, s, 0);
      int rc = c.Exec(s, "SELECT " + v + (text ? ", NULL::interval" : ""));
      rc = rc ? rc : c.Fetch(s, {1}, &row);
      forms[text] = rc ? c.Outcome(rc, s) : row.at(0).isNull ? "null" : row.at(0).bytes;
    }
    EXPECT_EQ(forms[0], forms[1]) << v;
  }
}

// Parameters in each wire form into a column of a PostgreSQL type, read
// back as text.
TEST_F(ServerPostgres, EachParameterFormStored) {
  // clang-format off
  const struct { const char* column; int16_t type; std::string bytes; const char* expected; } rows[] = {
      {"boolean", -7, "\x01", "true"},
      {"smallint", -6, "\x80", "-128"},
      {"bigint", -5, FromHex("ff 7f ff ff ff ff ff ff 00 00"), "9223372036854775807"},
      {"numeric(20,2)", 2, FromHex("01 f1 00 00 00 00 00 00 00 00 00 70"), "-7.00"},
      {"double precision", 8, FromHex("00 00 00 00 00 00 f8 3f"), "1.5"},
      {"text", 8, FromHex("9a 99 99 99 99 99 b9 3f"), "0.1"},  // the shortest text of the double
      {"date", 9, FromHex("e8 07 02 00 1d 00"), "2024-02-29"},
      {"timestamp", 11, FromHex("d0 07 01 00 02 00 03 00 04 00 05 00 40 42 0f 00"), "2000-01-02 03:04:05.001"},
      {"bytea", -2, std::string("A\0B", 3), "\\x410042"},
      {"text", 12, std::string("h\xc3\xa9llo") + '\0', "h\xc3\xa9llo"},
      {"text", -3, std::string("A\0B", 3), "-1 22005"},  // PostgreSQL's text holds no NUL
      {"integer", 12, std::string("12x") + '\0', "-1 22005"},
  };
  // clang-format on
  int n = 0;
  for (const auto& r : rows) {
    const std::string table = "p" + std::to_string(++n);
    ASSERT_EQ(c.Exec(s, "CREATE TABLE " + table + " (c " + r.column + ")"), 0) << r.column;
    int rc = c.Exec(s, "INSERT INTO " + table + " VALUES (?)", {{1, r.type, r.bytes}});
    Rows got = rc ? Rows() : c.Query(s, "SELECT CAST(c AS TEXT) FROM " + table);
    const std::string stored = got.size() == 1 ? got[0][0].bytes : "rows";
    EXPECT_EQ(rc ? c.Outcome(rc, s) : stored, rc ? r.expected : std::string(r.expected) + '\0') << r.column;
  }
}

// Arrays of 70 sets into a plain INSERT, many rows per statement where
// nothing can tell: each set's outcome and the rows stored are those of
// the sets one by one (a trigger skips even ids; a row refers to the next
// one, not there yet; a check refuses the first and the last set). Each
// parameter's values by kind: i the id; n the id, d the id + 0.25, t text
// ("" for ids ending in 6), D a date (each NULL for ids ending in 5); x
// the id as a double, 3e9 (beyond INTEGER) for id 35.
TEST_F(ServerPostgres, ArraysKeepEachSetsOutcome) {
  const char* rows[][5] = {
      {"CREATE TABLE a1 (id INTEGER, t TEXT)", "INSERT INTO a1 VALUES (?, '$1 ?' || ? || ?)",
       "a1 WHERE t = '$1 ?' || id || id", "0 70 70", "iii"},
      {"CREATE TABLE a2 (t TEXT, id INTEGER)", "INSERT INTO a2 (id, t) VALUES (? * 2, E'\\'' || ? || ?)",
       "a2 WHERE id % 2 = 0", "0 70 70", "iii"},
      {"CREATE TABLE a3 (id INTEGER); CREATE FUNCTION odd() RETURNS trigger LANGUAGE plpgsql AS $f$ BEGIN IF NEW.id % "
       "2 = 0 THEN RETURN NULL; END IF; RETURN NEW; END $f$; CREATE TRIGGER a3t BEFORE INSERT ON a3 FOR EACH ROW "
       "EXECUTE FUNCTION odd()",
       "INSERT INTO a3 VALUES (? + 0 * ? * ?)", "a3", "0 35 35", "iii"},
      {"CREATE TABLE a4 (id INTEGER PRIMARY KEY, up INTEGER REFERENCES a4)",
       "INSERT INTO a4 VALUES (?, ? + 1 - 2 * ((? + 1) % 2))", "a4", "70 -70 0", "iii"},
      {"CREATE TABLE a5 (id INTEGER, a SMALLINT, b BIGINT, c REAL, d FLOAT, e NUMERIC(8,2), "
       "m FLOAT, f TEXT, g VARCHAR(20), h CHAR(20), j BYTEA, k DATE, l TIMESTAMP, o NAME)",
       "INSERT INTO a5 (id, a, b, c, d, e, m, f, g, h, j, k, l, o) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
       "a5, LATERAL (SELECT CASE id % 10 WHEN 6 THEN '' ELSE 'q\"b\\c,{a}\xc3\xa9''' || id END AS x) v WHERE "
       "CASE id % 10 WHEN 5 THEN num_nulls(a, b, c, d, e, m, f, g, h, j, k, l, o) = 13 ELSE a = id AND b = id AND "
       "c = id + 0.25 AND d = c AND e = c AND m = id AND f = x AND g = x AND CAST(h AS TEXT) = x AND "
       "convert_from(j, 'UTF8') = x AND k = DATE '2024-01-01' + id % 28 AND l = k AND CAST(o AS TEXT) = x END",
       "0 70 70", "inndddnttttDDt"},
      {"CREATE TABLE a6 (id INTEGER CHECK (id NOT IN (1, 70)), n INTEGER)", "INSERT INTO a6 VALUES (?, ?)", "a6",
       "2 66 68", "in"},
      {"CREATE TABLE a7 (id INTEGER, n INTEGER)", "INSERT INTO a7 VALUES (?, ?)", "a7 WHERE n = id", "1 68 69", "ix"},
  };
  for (const auto& r : rows) {
    ASSERT_EQ(c.Exec(s, r[0]), 0) << r[0];
    c.Call(Msg::kFreeStatement, s, 0);
    ExecuteBatchRequest b;
    b.SetStatementId(s);
    EXPECT_EQ(1, b.Get<StatementElement>()->value.SetString(r[1]));
    for (uint32_t id = 1; id <= 70; ++id) {
      EXPECT_TRUE(b.Get<ParameterSetsElement>()->BeginSet());
      for (uint16_t n = 1; r[4][n - 1]; ++n) {
        const char kind = r[4][n - 1];
        const double d = kind == 'x' ? (id == 35 ? 3e9 : id) : id + 0.25;
        char date[16];
        std::snprintf(date, sizeof date, "2024-01-%02u", id % 28 + 1);
        const std::string v = kind == 'i' || kind == 'n'   ? U32(id)
                              : kind == 'd' || kind == 'x' ? std::string(reinterpret_cast<const char*>(&d), 8)
                              : kind == 'D'                ? std::string(date) + '\0'
                              : id % 10 == 6               ? std::string(1, '\0')
                                                           : "q\"b\\c,{a}\xc3\xa9'" + std::to_string(id) + '\0';
        const int16_t type = kind == 'i' || kind == 'n' ? 4 : kind == 'd' || kind == 'x' ? 8 : 12;
        EXPECT_TRUE(b.Get<ParameterSetsElement>()->AppendValue(n, type, v.data(), static_cast<uint32_t>(v.size()),
                                                               id % 10 == 5 && kind != 'i' && kind != 'x'));
      }
      b.Get<ParameterSetsElement>()->EndSet();
    }
    ASSERT_EQ(c.Exchange(&b), 0) << r[1];
    BatchOutcome o;
    int failed = 0, changed = 0;
    while (b.Get<BatchOutcomesElement>()->Next(&o)) failed += o.returnCode != 0, changed += o.rows;
    const std::string count = Count(&c, s, r[2]);
    EXPECT_EQ(std::to_string(failed) + " " + std::to_string(changed) + " " + std::to_string(count[0]), r[3]) << r[1];
  }
}

// PostgreSQL's SQLSTATEs as ODBC 2's; a statement failing inside a
// transaction leaves the transaction usable, as with SQLite.
TEST_F(ServerPostgres, FailuresMapAndKeepTheTransaction) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE k (id INTEGER PRIMARY KEY, v VARCHAR(3) NOT NULL)"), 0);
  ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO k VALUES (1, 'a')"), 0);
  const char* rows[][2] = {
      {"INSERT INTO k VALUES (1, 'b')", "-1 23000"},
      {"INSERT INTO k VALUES (2, 'long')", "-1 22001"},
      {"SELECT 1 / 0", "-1 22012"},
      {"SELECT CAST(70000 AS SMALLINT)", "-1 22003"},
      {"SELECT * FROM nowhere", "-1 S0002"},
      {"SELECT nope FROM k", "-1 S0022"},
      {"INSERT INTO k VALUES (1, 'a', 3)", "-1 21S01"},
      {"SELEC 1", "-1 37000"},
      {"SELECT 1; SELECT 2", "0 00000"},  // one result after the other
      {"SELECT '; ?' || $x$;$x$ /* ; */", "0 00000"},
      {"CREATE TABLE k (x INTEGER)", "-1 S0001"},
      {"SELECT {fn MONTH({d '2024-05-06'})}", "0 00000"},
      {"INSERT INTO k VALUES (2, 'b')", "0 00000"},
  };
  for (const auto& r : rows) {
    c.Call(Msg::kFreeStatement, s, 0);
    EXPECT_EQ(c.Outcome(c.Exec(s, r[0]), s), r[1]) << r[0];
  }
  c.Call(Msg::kFreeStatement, s, 0);
  ASSERT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
  EXPECT_EQ(Count(&c, s, "k"), U32(2));
}

// Results longer than a batch arrive whole and in order, in autocommit
// mode (a cursor held past its transaction) and inside a transaction; two
// cursors of one connection stay open side by side.
TEST_F(ServerPostgres, LongResultsInBatches) {
  for (int autocommit : {1, 0}) {
    ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, autocommit), 0);
    uint32_t t = c.Alloc();
    ASSERT_EQ(c.Exec(s, "SELECT CAST(i AS INTEGER), repeat('x', i % 50) FROM generate_series(1, 3000) i"), 0);
    ASSERT_EQ(c.Exec(t, "SELECT CAST(i AS INTEGER) FROM generate_series(1, 3000) i ORDER BY i DESC"), 0);
    int wrong = 0;
    std::vector<Cell> row;
    for (uint32_t i = 1; i <= 3000; ++i) {
      if (c.Fetch(s, {1, 2}, &row) != 0 || row[0].bytes != U32(i) || row[1].bytes.size() != i % 50 + 1) ++wrong;
      if (c.Fetch(t, {1}, &row) != 0 || row[0].bytes != U32(3001 - i)) ++wrong;
      if (autocommit && i == 1500) {  // written between fetches: committed at once
        ASSERT_EQ(c.Exec(c.Alloc(), "CREATE TABLE mid (n INTEGER)"), 0);
        Client other;
        ASSERT_TRUE(other.OpenAndLogin(server.Port()));
        EXPECT_EQ(other.Exec(other.Alloc(), "SELECT n FROM mid"), 0);
      }
    }
    EXPECT_EQ(wrong, 0) << autocommit;
    EXPECT_EQ(c.Outcome(c.Fetch(s, {1}), s), "100 02000");
    uint32_t u = c.Alloc();  // closed with its next rows on the way, then used again
    ASSERT_EQ(c.Exec(u, "SELECT i FROM generate_series(1, 100000) i"), 0);
    ASSERT_EQ(c.Fetch(u, {1}), 0);
    ASSERT_EQ(c.Call(Msg::kFreeStatement, u, 0), 0);
    EXPECT_EQ(Count(&c, u, "generate_series(1, 7)"), U32(7));
    c.Call(Msg::kFreeStatement, t, 1);
  }
  ASSERT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
}

// Each level as PostgreSQL has it; a serializable transaction that loses
// to a concurrent one fails with 40001.
TEST_F(ServerPostgres, IsolationLevels) {
  const int rows[][2] = {{1, 1}, {2, 0}, {4, 0}, {8, 0}};
  for (const auto& r : rows) EXPECT_EQ(c.Call(Msg::kSetIsolation, 0, r[0]), r[1]) << r[0];
  ASSERT_EQ(c.Exec(s, "CREATE TABLE iso (n INTEGER)"), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO iso VALUES (0)"), 0);
  Client other;
  ASSERT_TRUE(other.OpenAndLogin(server.Port()));
  uint32_t o = other.Alloc();
  ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
  EXPECT_EQ(c.Query(s, "SELECT n FROM iso").at(0).at(0).bytes, U32(0));  // the snapshot
  ASSERT_EQ(other.Exec(o, "UPDATE iso SET n = 1"), 0);
  EXPECT_EQ(c.Query(s, "SELECT n FROM iso").at(0).at(0).bytes, U32(0));
  EXPECT_EQ(c.Outcome(c.Exec(s, "UPDATE iso SET n = n + 10"), s), "-1 40001");
  ASSERT_EQ(c.Call(Msg::kTransact, 0, 1), 0);
}

// A read-only user's session stays read-only whatever its statements
// switch: each runs in a read-only transaction, under a savepoint.
TEST_F(ServerPostgres, ReadOnlyUserCannotSwitchItOff) {
  ASSERT_EQ(c.Exec(s, "CREATE TABLE ro (n INTEGER)"), 0);
  VeloraServer guarded;
  guarded.UseLocation(server.Location());
  guarded.AddUser("reader", "pages", "--read-only");
  ASSERT_TRUE(guarded.Start()) << guarded.Error();
  Client r;
  ASSERT_EQ(r.Connect(guarded.Port(), "any", "reader", "pages"), 0);
  uint32_t rs = r.Alloc();
  for (int autocommit : {1, 0}) {
    ASSERT_EQ(r.Call(Msg::kSetAutocommit, 0, autocommit), 0);
    for (const char* sql : {"SET SESSION CHARACTERISTICS AS TRANSACTION READ WRITE",
                            "SELECT set_config('default_transaction_read_only', 'off', false)",
                            "SET transaction_read_only = off", "INSERT INTO ro VALUES (1)"}) {
      r.Call(Msg::kFreeStatement, rs, 0);
      r.Exec(rs, sql);
    }
    EXPECT_EQ(r.Outcome(r.Exec(rs, "INSERT INTO ro VALUES (1)"), rs), "-1 42000") << autocommit;
  }
  EXPECT_EQ(Count(&r, rs, "ro"), U32(0));
}

// Two servers over one database: writes through one are read through the
// other; updates of one row wait for each other and both count; killing
// one server loses no committed row, rolls back its open transaction and
// leaves the other serving. The database credentials never reach a log.
TEST_F(ServerPostgres, TwoServersShareOneDatabase) {
  VeloraServer second;
  second.UseLocation(server.Location());
  ASSERT_TRUE(second.Start()) << second.Error();
  Client b;
  ASSERT_TRUE(b.OpenAndLogin(second.Port()));
  uint32_t bs = b.Alloc();
  ASSERT_EQ(c.Exec(s, "CREATE TABLE shared (id INTEGER PRIMARY KEY, n INTEGER)"), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO shared VALUES (1, 0)"), 0);
  EXPECT_EQ(Count(&b, bs, "shared"), U32(1));
  ASSERT_EQ(c.Call(Msg::kSetAutocommit, 0, 0), 0);
  ASSERT_EQ(c.Exec(s, "UPDATE shared SET n = n + 1 WHERE id = 1"), 0);
  std::atomic<int> updated{-2};
  std::thread waiter([&] { updated = b.Exec(bs, "UPDATE shared SET n = n + 1 WHERE id = 1"); });
  Client watch;
  ASSERT_TRUE(watch.OpenAndLogin(server.Port()));
  uint32_t ws = watch.Alloc();
  const std::string waiting = "SELECT CAST(count(*) AS INTEGER) FROM pg_stat_activity WHERE wait_event_type = 'Lock'";
  for (int i = 0; i < 500 && watch.Query(ws, waiting).at(0).at(0).bytes != U32(1); ++i) usleep(20000);
  EXPECT_EQ(watch.Query(ws, waiting).at(0).at(0).bytes, U32(1));
  EXPECT_EQ(updated, -2);  // still waiting for the row
  ASSERT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
  waiter.join();
  EXPECT_EQ(updated, 0);
  EXPECT_EQ(b.Query(bs, "SELECT n FROM shared").at(0).at(0).bytes, U32(2));
  // A client that hangs up while its update waits has the update cancelled.
  ASSERT_EQ(c.Exec(s, "UPDATE shared SET n = n + 1 WHERE id = 1"), 0);
  {
    Client gone;
    ASSERT_TRUE(gone.OpenAndLogin(second.Port()));
    ExecDirectRequest r;
    r.SetStatementId(gone.Alloc());
    EXPECT_EQ(1, r.Get<StatementElement>()->value.SetString("UPDATE shared SET n = n + 100 WHERE id = 1"));
    int status = 0;
    ASSERT_TRUE(r.Send(&status, &gone.connection));
    for (int i = 0; i < 500 && watch.Query(ws, waiting).at(0).at(0).bytes != U32(1); ++i) usleep(20000);
  }
  for (int i = 0; i < 500 && watch.Query(ws, waiting).at(0).at(0).bytes != U32(0); ++i) usleep(20000);
  EXPECT_EQ(watch.Query(ws, waiting).at(0).at(0).bytes, U32(0));
  ASSERT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
  EXPECT_EQ(b.Query(bs, "SELECT n FROM shared").at(0).at(0).bytes, U32(3));
  ASSERT_EQ(c.Exec(s, "INSERT INTO shared VALUES (2, 0)"), 0);
  ASSERT_EQ(c.Call(Msg::kTransact, 0, 0), 0);
  ASSERT_EQ(c.Exec(s, "INSERT INTO shared VALUES (3, 0)"), 0);  // never committed
  EXPECT_EQ(server.Stop(SIGKILL), 128 + SIGKILL);
  EXPECT_EQ(Count(&b, bs, "shared"), U32(2));
  Client late;
  ASSERT_TRUE(late.OpenAndLogin(second.Port()));
  EXPECT_EQ(Count(&late, late.Alloc(), "shared"), U32(2));
  for (const std::string& log : {server.Log(), second.Log()})
    EXPECT_EQ(log.find("velora-test-secret"), std::string::npos);
}

}  // namespace
