// Logging in against the scripted server: the greeting and connect request
// bytes, refusals and warnings, the connection string and its output, and
// the password prompt.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include "base/Alloc.h"
#include "driver_session.h"
#include "handles/Connection.h"
#include "odbc/PasswordDialog.h"
#include "support/scripted_dialog_host.h"
#include "support/velora_server.h"

namespace {

using LoginTest = DriverSession;
// A login the server accepts with a warning, which the driver fetches.
FakeServer& ScriptWarningLogin(FakeServer& s) {
  return s.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame("public", ""))
      .Send(ConnectReply(SQL_SUCCESS_WITH_INFO)).Expect(Frame(9, U32(0)))
      .Send(ErrorReply("01000", 5, "password expires soon"));
}
bool LoggedIn(SQLHDBC hdbc) { return static_cast<Connection*>(hdbc)->LoggedIn(); }

// The standard keys applications write: UID= names the user where User=
// is absent, PWD= is the password itself (no prompt, even when the switch
// asks for one) and comes back in the output string.
TEST_F(LoginTest, GreetingAndConnectRequestAreExactAndUidAndPwdKeysAreTaken) {
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
  EXPECT_EQ(Conn(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)In().c_str(), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT)), "ERROR 08002 1054 [QTX][Velora ODBC Client]connection in use");
  EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);  // after it nothing more is sent
}

// A short output buffer gets the string cut with its NUL, the full length
// and 01004; the completion mode is traced and never decides about the
// prompt (only the "Password" switch does).
TEST_F(LoginTest, OutputStringCutTracedAndCompletionModeIgnored) {
  TraceCapture trace("A2");
  ScriptedDialogHost host;
  host.Click(IDCANCEL);
  ScriptLogin().ExpectEnd();
  server.Start();
  const std::string in = In() + ";Password=no";
  SQLCHAR buffer[8] = "xxxxxxx";
  SQLSMALLINT outLength = 0;
  int hwnd = 0;  // any window of the application
  EXPECT_EQ(SQLDriverConnect(hdbc, &hwnd, (SQLCHAR*)in.c_str(), SQL_NTS, buffer, 6, &outLength,
                             SQL_DRIVER_PROMPT),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ((char*)buffer, "DSN=S");
  EXPECT_EQ(buffer[6], 'x');
  EXPECT_EQ(outLength, static_cast<SQLSMALLINT>((In() + ";User=public;Password=no").size()));
  EXPECT_EQ(ConnDiag(), "01004 1041 [QTX][Velora ODBC Client]data truncated");
  EXPECT_TRUE(host.seen().empty());
  EXPECT_TRUE(trace.Has('A', 2, "szConnStrOut=TRUNC [DSN=S]")) << trace.Text();
  EXPECT_NE(trace.Text().find("fDriverCompletion=2"), std::string::npos) << trace.Text();
}

// Cancel in the password prompt ends the call with SQL_NO_DATA_FOUND
// before the server is contacted; the next prompt's password is sent.
TEST_F(LoginTest, PasswordPromptCancelledThenTyped) {
  ScriptedDialogHost host;
  host.Click(IDCANCEL).Type(kPasswordField, "typed secret").Click(IDOK);
  ScriptLogin("carol", "typed secret").ExpectEnd();
  EXPECT_EQ(Connect(";User=carol;Password=YES"), SQL_NO_DATA_FOUND);
  EXPECT_EQ(ConnDiag(), "");
  EXPECT_TRUE(boxes.texts.empty());
  ASSERT_EQ(Connect(";User=carol;Password=YES"), SQL_SUCCESS);
  ASSERT_EQ(host.seen().size(), 2u);
  EXPECT_EQ(host.seen()[1].texts.at(kPasswordUserField), "carol");
  EXPECT_EQ(out, In() + ";User=carol;Password=yes");  // the switch, never the password
  EXPECT_STREQ(g_loginPassword, "");
}

// SQLConnect takes the data source's keys but the given user and password
// (no prompt although the switch asks); texts of explicit length need no
// NUL: the entry traces show exactly the given characters.
TEST_F(LoginTest, ConnectReadsDataSourceKeysAndTracesTextsOfExplicitLength) {
  TraceCapture trace("A2");
  server.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame("ann", "pw", "Trace"))
      .Send(ConnectReply()).ExpectEnd();
  server.Start();
  UsePrivateIni("[Trace]\nServer = 127.0.0.1\nService = " + server.Port() +
                "\nUser = ignored\nPassword = yes\n");
  EXPECT_EQ(SQLConnect(hdbc, (SQLCHAR*)"TraceXYZ", 5, (SQLCHAR*)"annXYZ", 3, (SQLCHAR*)"pwXYZ", 2),
            SQL_SUCCESS);
  EXPECT_NE(trace.Text().find("szDSN=[Trace]\n             szUID=[ann]\n             szAuthStr=[pw]\n"),
            std::string::npos)
      << trace.Text();
  EXPECT_EQ(SQLBrowseConnect(hdbc, (SQLCHAR*)"DSN=x;Server=nowhereXYZ", 5, nullptr, 0, nullptr),
            SQL_ERROR);
  EXPECT_NE(trace.Text().find("szConnStrIn=[DSN=x]\n"), std::string::npos) << trace.Text();
}

// Greetings the server refuses, cuts short or never answers (ended by the
// login timeout), and a login accepted with a warning: the call's result,
// the first record, the message box, and logged in exactly when the call
// succeeded.
struct Outcome {
  const char* name;
  void (*script)(FakeServer&);
  SQLRETURN rc;
  std::string diag, box;
};
class LoginOutcome : public DriverSession, public ::testing::WithParamInterface<Outcome> {};

TEST_P(LoginOutcome, ResultRecordBoxAndLoginAgree) {
  GetParam().script(server);
  ASSERT_EQ(SQLSetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, 1), SQL_SUCCESS);
  EXPECT_EQ(Connect(), GetParam().rc);
  EXPECT_EQ(ConnDiag(), GetParam().diag);
  std::string shown;
  for (size_t i = 0; i < boxes.texts.size(); ++i) shown += boxes.captions[i] + ": " + boxes.texts[i];
  EXPECT_EQ(shown, GetParam().box);
  EXPECT_EQ(LoggedIn(hdbc), SQL_SUCCEEDED(GetParam().rc));
  if (SQL_SUCCEEDED(GetParam().rc)) {
    EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
  }
}

const char kRefused[] = "Unable to connect.\nProtocol failure #3 detected.";
INSTANTIATE_TEST_SUITE_P(Login, LoginOutcome, ::testing::Values(
    Outcome{"GreetingRefused", [](FakeServer& s) { s.Expect(Greeting()).Send(U16(3)).ExpectEnd(); }, SQL_ERROR,
            std::string("08S01 3047 [QTX][Velora ODBC Client]") + kRefused,
            std::string("VELODBC: Connect: ") + kRefused},
    Outcome{"GreetingCutShort", [](FakeServer& s) { s.Expect(Greeting()).Send(Bytes({0})).Close(); }, SQL_ERROR,
            "08S01 3047 [QTX][Velora ODBC Client]communication failure", ""},
    Outcome{"SilentServer", [](FakeServer& s) { s.Expect(Greeting()).ExpectEnd(); }, SQL_ERROR,
            "08S01 3047 [QTX][Velora ODBC Client]communication failure",
            "VELODBC: Receive failed.\nerrno 10060: [10060] Connection timed out"},
    Outcome{"LoginWithWarning",
            [](FakeServer& s) { ScriptWarningLogin(s).Expect(Frame(8, "")).Send(ReturnOnly(0)).ExpectEnd(); },
            SQL_SUCCESS_WITH_INFO, "01000 5 [QTX][Velora ODBC Server]password expires soon", ""}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

// Whichever single allocation fails during a login that the server answers
// with a warning, the call's result and the connection agree: a result of
// SQL_SUCCESS or SQL_SUCCESS_WITH_INFO means logged in, any other not.
TEST_F(LoginTest, FailedAllocationNeverLeavesAFailedLoginLoggedIn) {
  bool completed = false;
  long n = 0;
  for (; n < 400 && !completed; ++n) {
    FakeServer s;
    ScriptWarningLogin(s).ExpectEnd();
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
    EXPECT_EQ(LoggedIn(dbc), SQL_SUCCEEDED(rc)) << "allocation " << n << " failing, rc " << rc;
    SQLFreeConnect(dbc);
    // A script still waiting for a client the driver never opened ends now.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(s.Port())));
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    close(fd);
    s.Finish();  // the script may end early; only the driver's state matters here
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(n, 5);
}

}  // namespace
