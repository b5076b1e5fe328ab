// The cancel extension byte for byte at a scripted server: the offer, the
// query timeout sent once before the request it bounds, and the cancel
// request's own connection, whole and cut at each step.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "odbc/Workers.h"
#include "odbc/session.h"

namespace {

const std::string kKey("\x11\x22\x33\x44\x55\x66\x77\x88", 8);

// The login with cancelType CANCEL_REQUEST and the key, then statement 7.
FakeServer& ScriptOffer(FakeServer& f) {
  const std::string offers = U16(0) + U16(0) + U16(0) + U16(1) + U16(0) + kKey;
  return Talk(f, {{Greeting(), U16(0)}, {ConnectFrame("public", ""), ReplyFrame(ConnectBody() + offers)}})
      .Expect(Frame(0, ""))
      .Send(ReplyFrame(U16(0) + U32(7)));
}
std::string Exec(const char* sql) { return Frame(10, U32(7) + Text16(sql) + U16(0)); }

using CancelWire = SessionTest;

TEST_F(CancelWire, TheTimeoutTravelsBeforeTheFirstRequestItBoundsAndAgainWhenItChanges) {
  Talk(ScriptOffer(server), {{Frame(46, U32(7) + U32(5)), ReturnOnly(0)},
                             {Exec("q"), ReturnOnly(-1)},
                             {Frame(9, U32(7)), ErrorReply("S1T00", 0, "timeout expired")},
                             {Exec("q"), ReplyFrame(U16(0) + U16(0))},
                             {Frame(46, U32(7) + U32(0)), ReturnOnly(0)},
                             {Exec("q"), ReplyFrame(U16(0) + U16(0))}});
  SQLHSTMT s = Open();
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtOption(s, SQL_QUERY_TIMEOUT, 5));
  EXPECT_EQ("ERROR S1T00 0 S:timeout expired", Stmt(SQLExecDirect(s, M("q"), SQL_NTS), s));
  EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(s, M("q"), SQL_NTS));
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtOption(s, SQL_QUERY_TIMEOUT, 0));
  EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(s, M("q"), SQL_NTS));
}

// A call waits for its reply while another thread cancels it: the cancel
// connection greets as one and sends the key and the number of the request
// (the connect request is 1, the allocation 2, the execution 3). Cut after
// any byte of the server's side (closed or reset), refused, or left
// without a reply (its own time limit), it is not delivered: the waiting
// call gets what its own connection answers, and the session goes on.
TEST_F(CancelWire, TheCancelConnectionCarriesTheKeyAndTheRequestNumber) {
  const std::string answer = U16(0) + ReturnOnly(0);  // greeting status, then the reply
  const std::string greeting = ("L\x06 CANCEL iso8859-1" + std::string(80, '\0')).substr(0, 80);
  // clang-format off
  struct Case { std::string sent; bool reset, silent; };
  // clang-format on
  std::vector<Case> cases = {{answer, false, false}, {U16(3), false, false}, {U16(0), false, true}};
  for (size_t cut = 0; cut < answer.size(); ++cut)
    for (bool reset : {false, true}) cases.push_back({answer.substr(0, cut), reset, false});
  for (const Case& k : cases) {
    SCOPED_TRACE(Hex(k.sent) + (k.reset ? " reset" : "") + (k.silent ? " silent" : ""));
    const bool whole = k.sent == answer;
    FakeServer f;
    ScriptOffer(f).Expect(Exec("q")).Accept().Expect(greeting).Send(k.sent);
    if (whole) f.Expect(Frame(47, kKey + U32(3))).Send(ReturnOnly(0));
    if (k.silent) f.Expect(Frame(47, kKey + U32(3))).ExpectEnd();
    f.Resume(k.reset);
    if (whole)
      Talk(f, {{"", ReturnOnly(-1)}, {Frame(9, U32(7)), ErrorReply("S1008", 0, "operation canceled")}});
    else
      f.Send(ReplyFrame(U16(0) + U16(0)));
    Talk(f, {{Exec("q"), ReplyFrame(U16(0) + U16(0))}}).ExpectEnd();
    f.Start();
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT s = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env, &dbc));
    const std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + f.Port();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, M(in.c_str()), SQL_NTS, nullptr, 0, nullptr, 0)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(dbc, &s));
    std::atomic<bool> done{false};
    std::string got;
    std::thread call([&] {
      got = Stmt(SQLExecDirect(s, M("q"), SQL_NTS), s);
      done = true;
    });
    CancelOutcome outcome = CancelOutcome::kNoCall;
    for (int k = 0; outcome == CancelOutcome::kNoCall && !done && k < 5000; ++k) {
      outcome = CancelWaitingCall(s);
      if (outcome == CancelOutcome::kNoCall) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    call.join();
    EXPECT_EQ(whole ? CancelOutcome::kSent : CancelOutcome::kFailed, outcome);
    EXPECT_EQ(whole ? "ERROR S1008 0 S:operation canceled" : "0", got);
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(s, M("q"), SQL_NTS));
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);
    EXPECT_TRUE(f.Finish()) << f.Error();
  }
}

}  // namespace
