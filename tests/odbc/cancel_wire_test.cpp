// The cancel extension byte for byte at a scripted server: the offer, the
// query timeout sent once before the request it bounds, and the cancel
// request's own connection, whole and cut at each step.
#include <atomic>
#include <chrono>
#include <thread>

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
// connection greets and sends the key and the number of the request (the
// connect request is 1, the allocation 2, the execution 3). Cut short at
// any step it is not delivered, and the waiting call gets what its own
// connection answers.
TEST_F(CancelWire, TheCancelConnectionCarriesTheKeyAndTheRequestNumber) {
  const std::string answer = U16(0) + ReturnOnly(0);  // greeting status, then the reply
  for (size_t cut : {answer.size(), size_t(0), size_t(1), size_t(2), answer.size() - 1}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const bool whole = cut == answer.size();
    FakeServer f;
    ScriptOffer(f).Expect(Exec("q")).Accept().Expect(Greeting());
    if (whole)
      f.Send(U16(0)).Expect(Frame(47, kKey + U32(3))).Send(ReturnOnly(0));
    else
      f.Send(answer.substr(0, cut));
    f.Resume();
    if (whole)
      Talk(f, {{"", ReturnOnly(-1)}, {Frame(9, U32(7)), ErrorReply("S1008", 0, "operation canceled")}});
    else
      f.Send(ReplyFrame(U16(0) + U16(0)));
    f.ExpectEnd();
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
    bool sent = false;
    for (int k = 0; !sent && !done && k < 5000; ++k) {
      sent = CancelWaitingCall(s);
      if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    call.join();
    EXPECT_EQ(whole, sent);
    EXPECT_EQ(whole ? "ERROR S1008 0 S:operation canceled" : "0", got);
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);
    EXPECT_TRUE(f.Finish()) << f.Error();
  }
}

}  // namespace
