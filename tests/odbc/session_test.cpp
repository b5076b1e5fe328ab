// The driver as an application meets it (its exported functions, linked
// statically) against the scripted fake server: logging in (the greeting
// and connect request bytes, refusals and warnings, the connection string
// and its output, the password prompt), the option and transaction
// requests, and statements (allocation, freeing, a lost server, the
// description of result sets, cursor names, row counts).
#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cstring>
#include <fstream>

#include "handles/Connection.h"
#include "odbc/connect/PasswordDialog.h"
#include "odbc/session.h"
#include "support/scripted_dialog_host.h"

namespace {

// A login the server accepts with a warning, which the driver fetches.
FakeServer& ScriptWarningLogin(FakeServer& s) {
  return Talk(s, {{Greeting(), U16(0)},
                  {ConnectFrame("public", ""), ConnectReply(SQL_SUCCESS_WITH_INFO)},
                  {Frame(9, U32(0)), ErrorReply("01000", 5, "password expires soon")}});
}
bool LoggedIn(SQLHDBC hdbc) { return static_cast<Connection*>(hdbc)->LoggedIn(); }

// The standard keys applications write: UID= names the user where User=
// is absent, PWD= is the password itself (no prompt, even when the switch
// asks for one) and comes back in the output string.
TEST_F(SessionTest, LoginGreetingAndConnectRequestAreExactAndUidAndPwdKeysAreTaken) {
  ScriptedDialogHost host;
  host.Type(kPasswordField, "typed").Click(IDOK);  // would be sent if prompted
  ScriptLogin("bob", "secret").Expect(Frame(8, "")).Send(ReturnOnly(0)).ExpectEnd();
  ASSERT_EQ(SQLSetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, 1), SQL_SUCCESS);
  ASSERT_EQ(Connect(";UID=bob;PWD=secret;Password=yes"), SQL_SUCCESS);
  EXPECT_TRUE(host.seen().empty());
  EXPECT_EQ(out, In() + ";User=bob;Password=yes;PWD=secret");
  // The login timeout bounds the login only, not the requests after it.
  timeval limit{7, 7};
  socklen_t size = sizeof limit;
  const int socket = static_cast<Connection*>(hdbc)->clib.Socket();  // an HDBC is the object
  ASSERT_EQ(getsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, &size), 0);
  EXPECT_EQ(limit.tv_sec + limit.tv_usec, 0);
  // A second login on the connection is refused without a word on the wire.
  EXPECT_EQ(Conn(SQLDriverConnect(hdbc, nullptr, M(In().c_str()), SQL_NTS, nullptr, 0, nullptr, 0)),
            "ERROR 08002 1054 C:connection in use");
  EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);  // after it nothing more is sent
}

// A short output buffer gets the string cut with its NUL, the full length
// and 01004; the completion mode is traced and never decides about the
// prompt (only the "Password" switch does).
TEST_F(SessionTest, LoginOutputStringCutTracedAndCompletionModeIgnored) {
  TraceCapture trace("A2");
  ScriptedDialogHost host;
  host.Click(IDCANCEL);
  ScriptLogin().ExpectEnd();
  server.Start();
  const std::string in = In() + ";Password=no";
  SQLCHAR buffer[8] = "xxxxxxx";
  SQLSMALLINT outLength = 0;
  int hwnd = 0;  // any window of the application
  EXPECT_EQ(
      Conn(SQLDriverConnect(hdbc, &hwnd, (SQLCHAR*)in.c_str(), SQL_NTS, buffer, 6, &outLength, SQL_DRIVER_PROMPT)),
      "INFO 01004 1041 C:data truncated");
  EXPECT_STREQ((char*)buffer, "DSN=S");
  EXPECT_EQ(buffer[6], 'x');
  EXPECT_EQ(outLength, static_cast<SQLSMALLINT>((In() + ";User=public;Password=no").size()));
  EXPECT_TRUE(host.seen().empty());
  EXPECT_TRUE(trace.Has('A', 2, "szConnStrOut=TRUNC [DSN=S]")) << trace.Text();
  EXPECT_NE(trace.Text().find("fDriverCompletion=2"), std::string::npos) << trace.Text();
}

// Cancel in the password prompt ends the call with SQL_NO_DATA_FOUND
// before the server is contacted; the next prompt's password is sent.
TEST_F(SessionTest, LoginPasswordPromptCancelledThenTyped) {
  ScriptedDialogHost host;
  host.Click(IDCANCEL).Type(kPasswordField, "typed secret").Click(IDOK);
  ScriptLogin("carol", "typed secret").ExpectEnd();
  EXPECT_EQ(Conn(Connect(";User=carol;Password=YES")), "NO_DATA");
  EXPECT_TRUE(boxes.texts.empty());
  ASSERT_EQ(Connect(";User=carol;Password=YES"), SQL_SUCCESS);
  ASSERT_EQ(host.seen().size(), 2u);
  EXPECT_EQ(host.seen()[1].texts.at(kPasswordUserField), "carol");
  EXPECT_EQ(out, In() + ";User=carol;Password=yes");  // the switch, never the password
  EXPECT_STREQ(g_loginPassword, "");
}

// SQLConnect takes the data source's keys but the given user and password
// (no prompt although the switch asks); texts of explicit length need no
// NUL: the entry traces show exactly the given characters, the password
// as "****".
TEST_F(SessionTest, ConnectReadsDataSourceKeysAndTracesTextsOfExplicitLength) {
  TraceCapture trace("A2");
  Talk(server, {{Greeting(), U16(0)}, {ConnectFrame("ann", "pw", "Trace"), ConnectReply()}}).ExpectEnd();
  server.Start();
  std::ofstream(ini) << "[Trace]\nServer = 127.0.0.1\nService = " << server.Port()
                     << "\nUser = ignored\nPassword = yes\n";
  EXPECT_EQ(SQLConnect(hdbc, (SQLCHAR*)"TraceXYZ", 5, (SQLCHAR*)"annXYZ", 3, (SQLCHAR*)"pwXYZ", 2), SQL_SUCCESS);
  EXPECT_NE(trace.Text().find("szDSN=[Trace]\n             szUID=[ann]\n             szAuthStr=[****]\n"),
            std::string::npos)
      << trace.Text();
  EXPECT_EQ(SQLBrowseConnect(hdbc, (SQLCHAR*)"DSN=x;Server=nowhereXYZ", 5, nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_NE(trace.Text().find("szConnStrIn=[DSN=x]\n"), std::string::npos) << trace.Text();
}

// No trace line shows a password: not SQLConnect's, not PWD= in a
// connection string (any letter case, braced), not the request on the
// wire; the data source's PWD and UID serve an empty password and user
// name. The trace file is the user's alone.
TEST_F(SessionTest, PasswordsNeverReachTheTrace) {
  // in null: SQLConnect(data source, user, password)
  // clang-format off
  const struct { const char *in, *user, *password; } rows[] = {{nullptr, "ann", "Sec1"},
                                                               {nullptr, "", ""},
                                                               {"DSN=K2;UID=ann;PWD=Sec2", "ann", "Sec2"},
                                                               {"dsn=K3; uid =ann;pwd={Se;c}}3}", "ann", "Se;c}3"}};
  // clang-format on
  FakeServer fakes[4];
  std::ofstream file(ini);
  for (int i = 0; i < 4; ++i) {
    const std::string user = *rows[i].user ? rows[i].user : "kept", dsn = "K" + std::to_string(i);
    const std::string login = ConnectFrame(user, *rows[i].password ? rows[i].password : "Sec0", dsn);
    Talk(fakes[i], {{Greeting(), U16(0)}, {login, ConnectReply()}}).ExpectEnd();
    fakes[i].Start();
    file << "[" << dsn << "]\nServer = 127.0.0.1\nPort = " << fakes[i].Port() << "\nUID = kept\nPWD = Sec0\n";
  }
  file.close();
  for (int i = 0; i < 4; ++i) {
    const auto& r = rows[i];
    const std::string dsn = "K" + std::to_string(i);
    TraceCapture trace("A2P2N3");
    SQLCHAR out[256] = "";
    const SQLRETURN rc = r.in ? SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)r.in, SQL_NTS, out, sizeof out, nullptr, 0)
                              : SQLConnect(hdbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)r.user, SQL_NTS,
                                           (SQLCHAR*)r.password, SQL_NTS);
    EXPECT_EQ(Conn(rc), "0") << i;
    EXPECT_TRUE(SQLFreeConnect(hdbc) == SQL_SUCCESS && fakes[i].Finish()) << fakes[i].Error();
    ASSERT_EQ(SQLAllocConnect(henv, &hdbc), SQL_SUCCESS);
    const std::string text = trace.Text();
    for (const char* secret : {"Sec", "Se;c", "c}}3"}) EXPECT_EQ(text.find(secret), std::string::npos) << text;
    EXPECT_NE(text.find(r.in ? "PWD=****" : "szAuthStr=[****]"), std::string::npos) << text;
  }
  char path[] = "/tmp/velora-trace-XXXXXX";
  close(mkstemp(path)), unlink(path);
  FILE* trace = OpenTraceFile(path);
  struct stat info {};
  EXPECT_TRUE(trace && stat(path, &info) == 0 && (info.st_mode & 0777) == 0600);
  if (trace) std::fclose(trace), unlink(path);
}

// Greetings the server refuses or never answers (ended by the login
// timeout; cut short: reliability_test.cpp), and a login accepted with a
// warning: the call's result, the first record, the message box, and
// logged in exactly when the call succeeded.
struct Outcome {
  const char* name;
  void (*script)(FakeServer&);
  std::string diag, box;  // logged in when the call succeeds ("INFO")
};
void PrintTo(const Outcome& o, std::ostream* os) { *os << o.name; }
class LoginOutcome : public SessionTest, public ::testing::WithParamInterface<Outcome> {};

TEST_P(LoginOutcome, ResultRecordBoxAndLoginAgree) {
  GetParam().script(server);
  ASSERT_EQ(SQLSetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, 1), SQL_SUCCESS);
  EXPECT_EQ(Conn(Connect()), GetParam().diag);
  std::string shown;
  for (size_t i = 0; i < boxes.texts.size(); ++i) shown += boxes.captions[i] + ": " + boxes.texts[i];
  EXPECT_EQ(shown, GetParam().box);
  EXPECT_EQ(LoggedIn(hdbc), GetParam().diag.rfind("INFO", 0) == 0);
  if (LoggedIn(hdbc)) {
    EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
  }
}

const char kRefused[] = "Unable to connect.\nProtocol failure #3 detected.";
const std::string kLost = "ERROR 08S01 3047 C:communication failure";
INSTANTIATE_TEST_SUITE_P(
    Login, LoginOutcome,
    ::testing::Values(
        Outcome{"GreetingRefused", [](FakeServer& s) { s.Expect(Greeting()).Send(U16(3)).ExpectEnd(); },
                std::string("ERROR 08S01 3047 C:") + kRefused, std::string("VELODBC: Connect: ") + kRefused},
        Outcome{"SilentServer", [](FakeServer& s) { s.Expect(Greeting()).ExpectEnd(); }, kLost,
                "VELODBC: Receive failed.\nerrno 10060: [10060] Connection timed out"},
        Outcome{"LoginWithWarning",
                [](FakeServer& s) { ScriptWarningLogin(s).Expect(Frame(8, "")).Send(ReturnOnly(0)).ExpectEnd(); },
                "INFO 01000 5 S:password expires soon", ""}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

// Before the login the options are kept (read back where a connection
// answers them; 7: nothing written, as for a statement option) and the
// server's are sent as soon as the session exists (the driver manager
// replays an application's options there; the default isolation is not
// sent). Options only a session answers are refused there: the connect
// warns with their records, newest first; the server's "one row at a
// time" is no news (the driver builds the rowsets). Options the server
// never hears of are refused with 08003, and a transaction fails. After
// the login the transaction type goes out unchecked, and a null
// connection means every logged-in connection of the environment (the
// idle one is left alone). (Strings without a data source:
// tests/integration/connect_test.cpp, ConnectionStringIsCompleted.)
TEST_F(SessionTest, OptionsSetBeforeLoginReachTheSessionAndTransactions) {
  EXPECT_EQ(Conn(SQLTransact(henv, hdbc, SQL_COMMIT)), "ERROR 08S01 3047 C:communication failure");
  // clang-format off
  struct Row { SQLUSMALLINT option; SQLULEN value, get; };
  // clang-format on
  const Row rows[] = {{SQL_QUIET_MODE, 0x1234, 0x1234}, {SQL_PACKET_SIZE, 4096, 4096}, {SQL_KEYSET_SIZE, 10, 10},
                      {SQL_AUTOCOMMIT, 0, 0},           {SQL_TXN_ISOLATION, 8, 8},     {SQL_MAX_ROWS, 5, 5},
                      {SQL_ROWSET_SIZE, 3, 3},          {SQL_QUERY_TIMEOUT, 9, 9},     {SQL_ODBC_CURSORS, 2, 7},
                      {SQL_ASYNC_ENABLE, 0, 0}};
  for (const auto& r : rows) {
    SQLUINTEGER answer = 7;
    EXPECT_EQ(SQLSetConnectOption(hdbc, r.option, r.value), SQL_SUCCESS) << r.option;
    EXPECT_EQ(SQLGetConnectOption(hdbc, r.option, &answer), SQL_SUCCESS) << r.option;
    EXPECT_EQ(answer, r.get) << r.option;
  }
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, (SQLULEN) "main"), SQL_SUCCESS);
  EXPECT_EQ(Conn(SQLSetConnectOption(hdbc, SQL_TRANSLATE_DLL, (SQLULEN) "x.so")),
            "ERROR 08003 1054 C:connection not open");
  // A string with neither DSN= nor DRIVER= is refused as ever.
  EXPECT_EQ(Conn(SQLDriverConnect(hdbc, nullptr, M("UID=u"), SQL_NTS, nullptr, 0, nullptr, 0)),
            "ERROR IM007 3047 C:missing data source name");
  Talk(ScriptLogin(), {{Frame(27, U16(0)), ReturnOnly(0)},
                       {Frame(32, U32(0) + U32(5)), ReturnOnly(0)},
                       {Frame(36, U32(0) + U32(3)), ReturnOnly(SQL_SUCCESS_WITH_INFO)},
                       {Frame(9, U32(0)), ErrorReply("01S02", 0, "rows are fetched one at a time")},
                       {Frame(44, U16(7)), ReturnOnly(0xFFFF)},
                       {Frame(9, U32(0)), ErrorReply("S1012", 1, "invalid transaction operation code")},
                       {Frame(44, U16(1)), ReturnOnly(0)},
                       {Frame(0, ""), Alloc(7)}})
      .ExpectEnd();
  EXPECT_EQ(Conn(Connect()), "INFO S1C00 1059 C:keyset-driven cursors not supported+1056");
  char qualifier[16] = "";
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, qualifier), SQL_SUCCESS);
  EXPECT_STREQ(qualifier, "main");
  SQLHDBC idle = nullptr;
  ASSERT_EQ(SQLAllocConnect(henv, &idle), SQL_SUCCESS);
  {
    TraceCapture trace("P2");
    EXPECT_EQ(Conn(SQLTransact(nullptr, hdbc, 7)), "ERROR S1012 1 S:invalid transaction operation code");
    EXPECT_TRUE(trace.Has('P', 2, "Connection::Transact: tType=7"));
  }
  EXPECT_EQ(SQLTransact(henv, SQL_NULL_HDBC, SQL_ROLLBACK), SQL_SUCCESS);
  SQLFreeConnect(idle);
  SQLHSTMT s = nullptr;
  SQLULEN rowset = 0;
  ASSERT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_ROWSET_SIZE, &rowset), SQL_SUCCESS);
  EXPECT_EQ(rowset, 3u);
}

// Every option with a request: connection options without a statement id;
// statement options from the connection with id 0 (the default of later
// statements, read back whole) and from a statement with its id. Options
// only stored, or not kept at all, send nothing.
TEST_F(SessionTest, EveryOptionRequestHasItsFrame) {
  // wide: a 32-bit number rather than a 16-bit enumerated value.
  // clang-format off
  struct Row { SQLUSMALLINT option; uint16_t code; bool wide; SQLULEN value; bool statement; };
  // clang-format on
  const Row rows[] = {{SQL_ACCESS_MODE, 26, false, 1, false}, {SQL_AUTOCOMMIT, 27, false, 0, false},
                      {SQL_TXN_ISOLATION, 38, 0, 2, 0},       {SQL_MAX_ROWS, 32, true, 70000, true},
                      {SQL_NOSCAN, 33, false, 1, true},       {SQL_MAX_LENGTH, 31, true, 4096, true},
                      {SQL_CURSOR_TYPE, 30, false, 3, true},  {SQL_CONCURRENCY, 28, false, 2, true},
                      {SQL_ROWSET_SIZE, 36, true, 25, true},  {SQL_RETRIEVE_DATA, 35, false, 0, true},
                      {SQL_USE_BOOKMARKS, 39, false, 1, true}};
  auto body = [](const auto& r, uint32_t id) {
    return (r.statement ? U32(id) : "") +
           (r.wide ? U32(static_cast<uint32_t>(r.value)) : U16(static_cast<uint16_t>(r.value)));
  };
  ScriptLogin();
  for (const auto& r : rows) server.Expect(Frame(r.code, body(r, 0))).Send(ReturnOnly(0));
  server.Expect(Frame(0, "")).Send(Alloc(7));
  for (const auto& r : rows) {
    if (r.statement) server.Expect(Frame(r.code, body(r, 7))).Send(ReturnOnly(0));
  }
  server.ExpectEnd();
  ASSERT_EQ(Connect(), SQL_SUCCESS);
  for (const auto& r : rows) EXPECT_EQ(SQLSetConnectOption(hdbc, r.option, r.value), SQL_SUCCESS);
  for (SQLUSMALLINT stored : {SQL_QUERY_TIMEOUT, SQL_LOGIN_TIMEOUT, SQL_ODBC_CURSORS})
    EXPECT_EQ(SQLSetConnectOption(hdbc, stored, 9), SQL_SUCCESS) << stored;
  EXPECT_EQ(Conn(SQLSetConnectOption(hdbc, 4321, 9)), "ERROR S1092 1072 C:option type out of range");
  SQLHSTMT s = nullptr;
  ASSERT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
  SQLULEN answer = ~SQLULEN{0};  // every bit set: the whole SQLULEN must be written
  EXPECT_EQ(SQLGetStmtOption(s, SQL_QUERY_TIMEOUT, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 9u);
  for (const auto& r : rows) {
    answer = ~SQLULEN{0};
    if (!r.statement) continue;
    EXPECT_EQ(SQLGetStmtOption(s, r.option, &answer), SQL_SUCCESS) << r.option;
    EXPECT_EQ(answer, r.value) << r.option;
    EXPECT_EQ(SQLSetStmtOption(s, r.option, r.value), SQL_SUCCESS) << r.option;
  }
}

// Refusals of both handles and both directions write nothing and queue one
// record; the current qualifier is stored and read back cut to 255; a
// statement option the server refuses is kept all the same; the row
// number is asked from the server each time.
TEST_F(SessionTest, OptionRefusalsQualifierAndRowNumber) {
  Talk(ScriptStatement(), {{Frame(36, U32(7) + U32(10)), ReturnOnly(0xFFFF)},
                           {Frame(9, U32(7)), ErrorReply("S1009", 3, "rowset size not allowed")},
                           {Frame(18, U32(7)), ReplyFrame(U16(0) + U32(42))},
                           {Frame(18, U32(7)), ReplyFrame(U16(0) + U32(43))}});
  SQLHSTMT s = Open();
  // clang-format off
  struct Refusal { bool statement, get; SQLUSMALLINT option; const char* diag; };
  // clang-format on
  const Refusal refused[] = {{0, 0, SQL_PACKET_SIZE, "1056 C:can't change network packet size"},
                             {0, 1, SQL_TRANSLATE_OPTION, "1057 C:translation DLL not supported"},
                             {1, 0, SQL_KEYSET_SIZE, "1059 C:keyset-driven cursors not supported"},
                             {1, 1, SQL_GET_BOOKMARK, "1061 C:bookmarks not supported yet"}};
  for (const auto& r : refused) {
    SQLULEN answer = 99;
    SQLRETURN rc =
        r.statement ? (r.get ? SQLGetStmtOption(s, r.option, &answer) : SQLSetStmtOption(s, r.option, 1))
                    : (r.get ? SQLGetConnectOption(hdbc, r.option, &answer) : SQLSetConnectOption(hdbc, r.option, 1));
    EXPECT_EQ(rc, SQL_ERROR) << r.option;
    EXPECT_EQ(answer, 99u);
    EXPECT_EQ(Diag(r.statement ? nullptr : hdbc, r.statement ? s : nullptr), std::string("S1C00 ") + r.diag);
  }
  std::string name(300, 'q');
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, (SQLULEN)name.c_str()), SQL_SUCCESS);
  char buffer[400];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, buffer), SQL_SUCCESS);
  EXPECT_EQ(std::string(buffer, 257), std::string(255, 'q') + '\0' + 'x');
  EXPECT_EQ(Stmt(SQLSetStmtOption(s, SQL_ROWSET_SIZE, 10), s), "ERROR S1009 3 S:rowset size not allowed");
  SQLULEN answer = 0;
  EXPECT_EQ(SQLGetStmtOption(s, SQL_ROWSET_SIZE, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 10u);
  for (SQLULEN row : {42u, 43u}) {
    EXPECT_EQ(SQLGetStmtOption(s, SQL_ROW_NUMBER, &answer), SQL_SUCCESS);
    EXPECT_EQ(answer, row);
  }
}

std::string FreeFrame(uint16_t option) { return Frame(15, U32(7) + U16(option)); }
// AMOUNT NUMERIC(10,2) updatable, NAME VARCHAR(20) not null, FLAG BIT.
std::string ThreeColumns() {
  return U16(3) + Column("AMOUNT", 12, SQL_NULLABLE, SQL_NUMERIC, 10, 2, 1) +
         Column("NAME", 20, SQL_NO_NULLS, SQL_VARCHAR, 20) + Column("FLAG", 1, 1, SQL_BIT, 1);
}

// A refused allocation leaves no statement and a refused drop a working
// handle (SQLCancel's close: parameter_wire_test.cpp). The server forgets
// a session's statements when it ends; so does the driver: a statement
// left at disconnect is freed with the session, and its handle can never
// reach a later one.
TEST_F(SessionTest, StatementAllocationFreeingAndDisconnectFreesWhatIsLeft) {
  Talk(ScriptLogin(), {{Frame(0, ""), ReturnOnly(0xFFFF)},
                       {Frame(9, U32(0)), ErrorReply("S1000", 9, "too many statements")},
                       {Frame(0, ""), Alloc(7)},
                       {FreeFrame(SQL_DROP), ReturnOnly(0xFFFF)},
                       {Frame(9, U32(7)), ErrorReply("S1010", 2, "busy")},
                       {FreeFrame(SQL_CLOSE), ReturnOnly(0)},
                       {Bytes({6, 0, 0, 0, 0x0F, 0, 7, 0, 0, 0, 1, 0}), ReturnOnly(0)},
                       {Frame(0, ""), Alloc(8)},
                       {Frame(8, ""), ReturnOnly(0)}})
      .ExpectEnd();
  ASSERT_EQ(Connect(), SQL_SUCCESS);
  SQLHSTMT s = reinterpret_cast<SQLHSTMT>(1), left = nullptr;
  EXPECT_EQ(Conn(SQLAllocStmt(hdbc, &s)), "ERROR S1000 9 S:too many statements");
  EXPECT_EQ(s, nullptr);
  ASSERT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_ERROR);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_INVALID_HANDLE);
  ASSERT_EQ(SQLAllocStmt(hdbc, &left), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(left, SQL_CLOSE), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeStmt(left, SQL_DROP), SQL_INVALID_HANDLE);
}

// The description survives SQL_CLOSE for the executions that follow; the
// column attributes come from it (or are refused at its limits); a
// description with an unknown column type fails, keeping the columns
// before it.
TEST_F(SessionTest, StatementPrepareDescribesAndCloseKeepsTheDescriptionForExecute) {
  const std::string sql = "SELECT AMOUNT, NAME, FLAG FROM SALES";
  Talk(ScriptStatement(),
       {{Frame(23, U32(7) + Text16(sql)), ReplyFrame(U16(0) + ThreeColumns())},
        {FreeFrame(SQL_CLOSE), ReturnOnly(0)},
        {Frame(11, U32(7) + U16(0)), ReturnOnly(0)},
        {Frame(11, U32(7) + U16(0)), ReturnOnly(0)},
        {Frame(23, U32(7) + Text16("q")),
         ReplyFrame(U16(0) + U16(2) + Column("A", 4, 1, SQL_INTEGER) + Column("B", 8, 1, SQL_DOUBLE))}});
  SQLHSTMT s = Open();
  ASSERT_EQ(SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS);
  SQLCHAR name[16];
  SQLSMALLINT count = 0, length = 0, type = 0, scale = 0, nullable = 0;
  SQLULEN precision = 0;
  EXPECT_EQ(Stmt(SQLDescribeCol(s, 1, name, 5, &length, &type, &precision, &scale, &nullable), s),
            "INFO 01004 1041 C:data truncated");
  EXPECT_EQ((char*)name + (" " + std::to_string(length)) + " " + std::to_string(type) + " " +
                std::to_string(precision) + " " + std::to_string(scale) + " " + std::to_string(nullable),
            "AMOU 6 2 10 2 1");
  // text: set for the text answers; the label is the name when there is none
  // clang-format off
  struct Row { SQLUSMALLINT icol, type; SQLLEN number; const char* text = nullptr; };
  // clang-format on
  const Row rows[] = {{99, SQL_COLUMN_COUNT, 3},  // whatever the column
                      {2, SQL_COLUMN_TYPE, SQL_VARCHAR},
                      {1, SQL_COLUMN_LENGTH, 12},
                      {2, SQL_COLUMN_LENGTH, 80},  // VARCHAR(20): up to four bytes a character
                      {2, SQL_COLUMN_DISPLAY_SIZE, 20},
                      {2, SQL_COLUMN_NULLABLE, SQL_NO_NULLS},
                      {1, SQL_COLUMN_UPDATABLE, SQL_ATTR_WRITE},
                      {1, 5000, -1},  // unknown: nothing written
                      {1, SQL_COLUMN_TABLE_NAME, 0, "SALES"},
                      {1, SQL_COLUMN_LABEL, 0, "AMOUNT"}};
  for (const auto& r : rows) {
    char text[64] = {0};
    SQLLEN number = -1;  // every bit set: the whole SQLLEN must be written
    EXPECT_EQ(SQLColAttributes(s, r.icol, r.type, text, sizeof text, &length, &number), SQL_SUCCESS);
    EXPECT_EQ(r.text ? text + ("/" + std::to_string(length)) : std::to_string(number),
              r.text ? r.text + ("/" + std::to_string(std::strlen(r.text))) : std::to_string(r.number))
        << r.icol << " " << r.type;
  }
  EXPECT_EQ(SQLColAttributes(s, 1, SQL_COLUMN_LABEL, name, 0, &length, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(SQLColAttributes(s, 1, SQL_COLUMN_NAME, name, 4, &length, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ((char*)name, "AMO");
  EXPECT_EQ(Stmt(SQLColAttributes(s, 0, SQL_COLUMN_COUNT, nullptr, 0, nullptr, nullptr), s),
            "ERROR S1C00 1061 C:bookmarks not supported yet");
  for (SQLUSMALLINT outside : {0, 4})
    EXPECT_EQ(Stmt(SQLDescribeCol(s, outside, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr), s),
              "ERROR S1002 1044 C:column number out of range");
  EXPECT_EQ(Stmt(SQLColAttributes(s, 4, SQL_COLUMN_NAME, nullptr, 0, nullptr, nullptr), s),
            "ERROR S1002 1044 C:column number out of range");
  EXPECT_EQ(Stmt(SQLPrepare(s, (SQLCHAR*)"q", SQL_NTS), s).substr(0, 11), "ERROR S1001");
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 1);
}

// Without a description (none, or a warning instead) the calls that need
// one say so; cursor names lose trailing blanks and are cut with 01004;
// the server's "no count" reaches the application as -1.
TEST_F(SessionTest, StatementNoResultSetCursorNamesAndRowCount) {
  const std::string name = ReplyFrame(U16(0) + Text16("mine"));
  Talk(ScriptStatement(), {{Frame(10, U32(7) + Text16("CREATE TABLE t (a INT)") + U16(0)), ReplyFrame(U16(0) + U16(0))},
                           {Frame(10, U32(7) + Text16("x") + U16(0)), ReplyFrame(U16(1))},
                           {Frame(9, U32(7)), ErrorReply("01000", 1, "warning")},
                           {Frame(29, U32(7) + Text16("mine")), ReturnOnly(0)},
                           {Frame(16, U32(7)), name},
                           {Frame(16, U32(7)), name},
                           {Frame(16, U32(7)), name},
                           {Frame(25, U32(7)), ReplyFrame(U16(0) + U32(3))},
                           {Frame(25, U32(7)), ReplyFrame(U16(0) + U32(0xFFFFFFFF))}});
  SQLHSTMT s = Open();
  const std::string none = "24000 1006 C:result set does not exist";
  for (const char* sql : {"CREATE TABLE t (a INT)", "x"}) {  // "x": a warning, no description
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS)));
    EXPECT_EQ(Stmt(SQLDescribeCol(s, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr), s), "ERROR " + none);
    EXPECT_EQ(Stmt(SQLColAttributes(s, 1, SQL_COLUMN_COUNT, nullptr, 0, nullptr, nullptr), s), "ERROR " + none);
  }
  EXPECT_EQ(Stmt(SQLNumResultCols(s, nullptr), s), "ERROR S1000 1072 C:NULL pointer in argument pccol");
  EXPECT_EQ(SQLSetCursorName(s, (SQLCHAR*)"mine  ", SQL_NTS), SQL_SUCCESS);
  char text[8];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLGetCursorName(s, (SQLCHAR*)text, sizeof text, &length), SQL_SUCCESS);
  EXPECT_STREQ(text, "mine");
  EXPECT_EQ(Stmt(SQLGetCursorName(s, (SQLCHAR*)text, 4, &length), s), "INFO 01004 1041 C:data truncated");
  EXPECT_STREQ(text, "min");
  EXPECT_EQ(SQLGetCursorName(s, nullptr, 0, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(length, 4);
  // The row-count request still goes out.
  EXPECT_EQ(Stmt(SQLRowCount(s, nullptr), s), "ERROR S1000 1072 C:NULL pointer in argument pcrow");
  SQLLEN rows = 0;
  EXPECT_EQ(SQLRowCount(s, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, -1);                              // the server's "no count"
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA_FOUND);  // no result set: nothing sent
  EXPECT_EQ(Stmt(SQLPrepare(s, (SQLCHAR*)"x", -7), s).substr(0, 11), "ERROR S1090");
}

}  // namespace
