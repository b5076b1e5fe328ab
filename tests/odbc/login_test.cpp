// Logging in against the scripted server: the greeting and connect request
// bytes, refusals, warnings, the connection string and its output, the
// password prompt, and where each connection's server comes from.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <cstdio>
#include <fstream>

#include "handles/Connection.h"
#include "base/Alloc.h"
#include "driver_session.h"
#include "odbc/PasswordDialog.h"
#include "support/scripted_dialog_host.h"
#include "support/velora_server.h"

namespace {

void UseDataSources(const std::string& content) { UsePrivateIni(content); }

// Connects to port and hangs up at once: a scripted server still waiting
// for its client (one the driver never opened) ends its script now.
void HangUp(const std::string& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
  connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  close(fd);
}

std::string Section(const std::string& name, const std::string& port, const std::string& extra = "") {
  return "[" + name + "]\nServer = 127.0.0.1\nService = " + port + "\n" + extra + "\n";
}

using LoginTest = DriverSession;

TEST_F(LoginTest, GreetingAndConnectRequestAreExactAndTheOutputStringIsComplete) {
  UseDataSources("");
  ScriptLogin(server, "Sales", "bob", "");
  server.Expect(Frame(8, "")).Send(ReturnOnly(0)).ExpectEnd();
  ASSERT_EQ(Connect(server, ";User=bob;Password=NO"), SQL_SUCCESS);
  EXPECT_EQ(out, "DSN=Sales;Server=127.0.0.1;Service=" + server.Port() + ";User=bob;Password=no");
  EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
  // After the disconnect nothing more is sent.
}

TEST_F(LoginTest, LoginKeepsTheVersionTextAndTypeSizes) {
  ScriptLogin(server);
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  const Connection* c = static_cast<Connection*>(hdbc);  // an HDBC is the object's address
  EXPECT_TRUE(c->LoggedIn());
  EXPECT_STREQ(c->dbmsVersion.Text(), "Velora 1.0");
  for (int i = 0; i < kTypeSizeCount; ++i) EXPECT_EQ(c->typeSizes.size[i], i + 1);
  EXPECT_STREQ(c->server, "127.0.0.1");
  EXPECT_EQ(std::string(c->service), server.Port());
}

TEST_F(LoginTest, OutputStringIsTracedAsCopiedOrCut) {
  TraceCapture trace("A2P2");
  ScriptLogin(server);
  server.Expect(Frame(44, U16(1))).Send(ReturnOnly(0)).ExpectEnd();
  server.Start();
  std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + server.Port();
  SQLCHAR buffer[6];
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, buffer, sizeof buffer,
                             nullptr, SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_TRUE(trace.Has('A', 2, "szConnStrOut=TRUNC [DSN=S]")) << trace.Text();
  EXPECT_EQ(SQLTransact(henv, hdbc, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_TRUE(trace.Has('P', 2, "Connection::Transact: tType=1")) << trace.Text();
}

TEST_F(LoginTest, ConnectSendsTheGivenPasswordAndReadsDataSourceKeys) {
  server.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame("Shop", "ann", "secret"))
      .Send(ConnectReply()).ExpectEnd();
  server.Start();
  UseDataSources(Section("Shop", server.Port(), "User = ignored\nPassword = yes\n"));
  EXPECT_EQ(SQLConnect(hdbc, (SQLCHAR*)"Shop", SQL_NTS, (SQLCHAR*)"ann", SQL_NTS,
                       (SQLCHAR*)"secret", SQL_NTS),
            SQL_SUCCESS);
}

// The standard keys applications write: UID= names the user where User=
// is absent, PWD= is the password itself (no prompt, even when the switch
// asks for one) and comes back in the output string.
TEST_F(LoginTest, StandardUidAndPwdKeysGiveUserAndPassword) {
  UseDataSources("");
  ScriptedDialogHost host;
  host.Type(kPasswordField, "typed").Click(IDOK);  // would be sent if prompted
  ScriptLogin(server, "Sales", "bob", "secret");
  server.ExpectEnd();
  ASSERT_EQ(Connect(server, ";UID=bob;PWD=secret;Password=yes"), SQL_SUCCESS);
  EXPECT_TRUE(host.seen().empty());
  EXPECT_EQ(out, "DSN=Sales;Server=127.0.0.1;Service=" + server.Port() +
                     ";User=bob;Password=yes;PWD=secret");
}

TEST_F(LoginTest, LoggedInConnectionRefusesASecondLogin) {
  UseDataSources("");
  ScriptLogin(server);
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + server.Port();
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT),
            SQL_ERROR);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "08002");
}

TEST_F(LoginTest, RefusedGreetingShowsItsBoxAndClosesTheSocket) {
  UseDataSources("");
  server.Expect(Greeting()).Send(U16(3)).ExpectEnd();
  EXPECT_EQ(Connect(server), SQL_ERROR);
  const std::string text = "Unable to connect.\nProtocol failure #3 detected.";
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], text);
  EXPECT_EQ(boxes.captions[0], "VELODBC: Connect");
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "08S01");
  EXPECT_EQ(records[0].native, 3047);
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Client]" + text);
}

TEST_F(LoginTest, GreetingCutShortIsCommunicationFailure) {
  UseDataSources("");
  server.Expect(Greeting()).Send(Bytes({0})).Close();
  EXPECT_EQ(Connect(server), SQL_ERROR);
  auto records = ConnectionErrors();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "08S01");
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Client]communication failure");
}

// A server that accepts the connection but never answers the greeting
// cannot hang the application: the login timeout ends the wait.
TEST_F(LoginTest, SilentServerEndsTheLoginAtTheLoginTimeout) {
  UseDataSources("");
  server.Expect(Greeting()).ExpectEnd();
  ASSERT_EQ(SQLSetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, 1), SQL_SUCCESS);
  EXPECT_EQ(Connect(server), SQL_ERROR);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "08S01");
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Receive failed.\nerrno 10060: [10060] Connection timed out");
  EXPECT_FALSE(static_cast<Connection*>(hdbc)->LoggedIn());
}

// After the login the time limit is lifted: a request may take as long as
// its statement runs.
TEST_F(LoginTest, LoginTimeoutDoesNotBoundLaterRequests) {
  UseDataSources("");
  ScriptLogin(server);
  server.Expect(Frame(44, U16(0))).Send(ReturnOnly(0)).ExpectEnd();
  ASSERT_EQ(SQLSetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, 1), SQL_SUCCESS);
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  timeval limit{7, 7};
  socklen_t size = sizeof limit;
  const Connection* c = static_cast<Connection*>(hdbc);
  ASSERT_EQ(getsockopt(c->clib.Socket(), SOL_SOCKET, SO_RCVTIMEO, &limit, &size), 0);
  EXPECT_EQ(limit.tv_sec, 0);
  EXPECT_EQ(limit.tv_usec, 0);
  EXPECT_EQ(SQLTransact(henv, hdbc, SQL_COMMIT), SQL_SUCCESS);
}

// A server that went away has ended the session already: SQLDisconnect
// closes it with a warning instead of leaving a connection that can never
// be freed.
TEST_F(LoginTest, DisconnectFromAVanishedServerEndsTheSessionWithAWarning) {
  UseDataSources("");
  ScriptLogin(server);
  server.Close();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  ASSERT_TRUE(server.Finish()) << server.Error();
  EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS_WITH_INFO);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "01002");
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Client]disconnect error");
  EXPECT_FALSE(static_cast<Connection*>(hdbc)->LoggedIn());
}

TEST_F(LoginTest, RefusedLoginQueuesTheServerRecordAndClosesTheSocket) {
  UseDataSources("");
  server.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame("Sales", "public", ""))
      .Send(ReplyFrame(U16(0xFFFF)))
      .Expect(Frame(9, U32(0)))
      .Send(ErrorReply("28000", 18, "wrong password"))
      .ExpectEnd();
  EXPECT_EQ(Connect(server), SQL_ERROR);
  EXPECT_EQ(out, "");
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "28000");
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Server]wrong password");
  // Not logged in: options that are not kept for the session are refused.
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_TRANSLATE_DLL, (SQLULEN) "x.so"), SQL_ERROR);
}

TEST_F(LoginTest, LoginWithWarningIsALogin) {
  UseDataSources("");
  server.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame("Sales", "public", ""))
      .Send(ConnectReply(SQL_SUCCESS_WITH_INFO))
      .Expect(Frame(9, U32(0)))
      .Send(ErrorReply("01000", 5, "password expires soon"))
      .Expect(Frame(8, ""))
      .Send(ReturnOnly(0))
      .ExpectEnd();
  EXPECT_EQ(Connect(server), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(out.rfind("DSN=Sales;Server=127.0.0.1;", 0), 0u) << out;
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Server]password expires soon");
  EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
}

// Whichever single allocation fails during a login that the server answers
// with a warning, the call's result and the connection agree: a result of
// SQL_SUCCESS or SQL_SUCCESS_WITH_INFO means logged in, any other means
// not logged in (and the login may be tried again).
TEST_F(LoginTest, FailedAllocationNeverLeavesAFailedLoginLoggedIn) {
  bool completed = false;
  long n = 0;
  for (; n < 400 && !completed; ++n) {
    FakeServer s;
    s.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame("Sales", "public", ""))
        .Send(ConnectReply(SQL_SUCCESS_WITH_INFO))
        .Expect(Frame(9, U32(0)))
        .Send(ErrorReply("01000", 5, "password expires soon"))
        .ExpectEnd();
    s.Start();
    SQLHDBC dbc = nullptr;
    ASSERT_EQ(SQLAllocConnect(henv, &dbc), SQL_SUCCESS);
    std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + s.Port();
    const unsigned long before = AllocCount();
    SetAllocFailOnce(n);
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                    nullptr, SQL_DRIVER_NOPROMPT);
    ResetAllocFailure();
    // Once the call makes no more than n allocations, none of them failed.
    completed = AllocCount() - before <= static_cast<unsigned long>(n);
    const Connection* c = static_cast<Connection*>(dbc);
    EXPECT_EQ(c->LoggedIn(), SQL_SUCCEEDED(rc)) << "allocation " << n << " failing, rc " << rc;
    SQLFreeConnect(dbc);
    HangUp(s.Port());
    s.Finish();  // the script may end early; only the driver's state matters here
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(n, 5);
}

// Texts passed with an explicit length need no NUL: the entry traces show
// exactly the given characters and read nothing beyond them.
TEST_F(LoginTest, EntryTracesShowTextsOfExplicitLengthOnly) {
  TraceCapture trace("A2");
  server.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame("Trace", "ann", "pw"))
      .Send(ConnectReply()).ExpectEnd();
  server.Start();
  UseDataSources(Section("Trace", server.Port()));
  const char dsn[] = "TraceXYZ", uid[] = "annXYZ", pwd[] = "pwXYZ";
  EXPECT_EQ(SQLConnect(hdbc, (SQLCHAR*)dsn, 5, (SQLCHAR*)uid, 3, (SQLCHAR*)pwd, 2), SQL_SUCCESS);
  const std::string text = trace.Text();
  EXPECT_NE(text.find("szDSN=[Trace]\n             szUID=[ann]\n             szAuthStr=[pw]\n"),
            std::string::npos)
      << text;
  const char in[] = "DSN=x;Server=nowhereXYZ";
  EXPECT_EQ(SQLBrowseConnect(hdbc, (SQLCHAR*)in, 5, nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_NE(trace.Text().find("szConnStrIn=[DSN=x]\n"), std::string::npos) << trace.Text();
}

TEST_F(LoginTest, DataSourceKeyMayEndALongerKeyName) {
  UseDataSources("");
  ScriptLogin(server, "x");
  server.ExpectEnd();
  server.Start();
  std::string in = "MyDSN=x;Server=127.0.0.1;Service=" + server.Port();
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS_WITH_INFO);
}

TEST_F(LoginTest, OutputBufferOfZeroGivesTheLengthAndTruncation) {
  UseDataSources("");
  ScriptLogin(server);
  server.ExpectEnd();
  server.Start();
  std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + server.Port();
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, &length,
                             SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS_WITH_INFO);
  std::string expected = "DSN=Sales;Server=127.0.0.1;Service=" + server.Port() +
                         ";User=public;Password=no";
  EXPECT_EQ(length, static_cast<SQLSMALLINT>(expected.size()));
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "01004");
}

TEST_F(LoginTest, ShortOutputBufferIsCutWithItsNul) {
  UseDataSources("");
  ScriptLogin(server);
  server.ExpectEnd();
  server.Start();
  std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + server.Port();
  SQLCHAR buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, buffer, 6, &length,
                             SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "DSN=S");
  EXPECT_EQ(buffer[6], 'x');
}

TEST_F(LoginTest, PasswordPromptSendsWhatTheUserTyped) {
  UseDataSources("");
  ScriptedDialogHost host;
  host.Type(kPasswordField, "typed secret").Click(IDOK);
  ScriptLogin(server, "Sales", "carol", "typed secret");
  server.ExpectEnd();
  ASSERT_EQ(Connect(server, ";User=carol;Password=YES"), SQL_SUCCESS);
  ASSERT_EQ(host.seen().size(), 1u);
  EXPECT_EQ(host.seen()[0].texts.at(kPasswordUserField), "carol");
  // The switch is echoed, never the password.
  EXPECT_EQ(out.substr(out.size() - 13), ";Password=yes");
  EXPECT_STREQ(g_loginPassword, "");
}

// Only the "Password" switch decides about the prompt: the completion
// mode is traced and otherwise not used.
TEST_F(LoginTest, CompletionModeNeverDecidesAboutThePrompt) {
  UseDataSources("");
  ScriptedDialogHost host;
  host.Click(IDCANCEL);
  ScriptLogin(server);
  server.ExpectEnd();
  server.Start();
  TraceCapture trace("A2");
  std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + server.Port() + ";Password=no";
  int hwnd = 0;  // any window of the application
  EXPECT_EQ(SQLDriverConnect(hdbc, &hwnd, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_PROMPT),
            SQL_SUCCESS_WITH_INFO);  // the output buffer of 0 bytes
  EXPECT_TRUE(host.seen().empty());
  EXPECT_NE(trace.Text().find("fDriverCompletion=2"), std::string::npos) << trace.Text();
}

TEST_F(LoginTest, CancelInThePromptEndsWithoutContactingTheServer) {
  UseDataSources("");
  ScriptedDialogHost host;
  host.Click(IDCANCEL);
  int port = UnusedLoopbackPort();
  std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + std::to_string(port) + ";Password=yes";
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT),
            SQL_NO_DATA_FOUND);
  EXPECT_TRUE(ConnectionErrors().empty());
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(LoginTest, WithoutADialogHostTheLoginGoesOnWithAnEmptyPassword) {
  UseDataSources("");
  ScriptLogin(server, "Sales", "public", "");
  server.ExpectEnd();
  EXPECT_EQ(Connect(server, ";Password=Yes"), SQL_SUCCESS);
}

}  // namespace
