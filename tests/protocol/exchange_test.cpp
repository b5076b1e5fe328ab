// The exchange against a scripted server on loopback: replies that arrive
// whole, cut short, too long, or with extra bytes, and what the connection
// is worth afterwards.
#include <gtest/gtest.h>

#include <string>

#include "net/ClibConnection.h"
#include "protocol/Requests.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

const std::string kFreeFrame = Bytes({6, 0, 0, 0, 0x0F, 0, 7, 0, 0, 0, 1, 0});

class ExchangeTest : public ::testing::Test {
 protected:
  // Starts the script and connects the client to it.
  void Connect() {
    server.Start();
    ASSERT_EQ(1, connection.InitiateConnection("127.0.0.1", server.Port().c_str()));
  }
  // Exchanges a free-statement request (id 7, drop).
  int ExchangeFree(int* status) {
    FreeStatementRequest request;
    request.SetStatementId(7);
    request.Get<FreeOptionElement>()->value = 1;
    return request.Exchange(status, &connection);
  }
  void TearDown() override {
    connection.ReleaseConnection();
    EXPECT_TRUE(server.Finish()) << server.Error();
  }
  BoxCapture boxes;
  FakeServer server;
  ClibConnection connection;
};

TEST_F(ExchangeTest, SuccessReturnsCodeWithRepliedStatus) {
  server.Expect(kFreeFrame).Send(ReplyFrame(Bytes({0, 0}))).ExpectEnd();
  Connect();
  int status = -1;
  EXPECT_EQ(0, ExchangeFree(&status));
  EXPECT_EQ(kStatusReplied, status);
}

TEST_F(ExchangeTest, NonZeroReturnCodeIsNotAFailure) {
  server.Expect(kFreeFrame).Send(Bytes({2, 0, 0, 0, 0xFF, 0xFF})).ExpectEnd();
  Connect();
  int status = -1;
  EXPECT_EQ(-1, ExchangeFree(&status));
  EXPECT_EQ(kStatusReplied, status);
}

TEST_F(ExchangeTest, ReturnCodeOnlyErrorReplyLeavesElementsZero) {
  server.Expect(Bytes({4, 0, 0, 0, 0x10, 0, 3, 0, 0, 0}))
      .Send(ReplyFrame(Bytes({0xFF, 0xFF})))
      .ExpectEnd();
  Connect();
  GetCursorNameRequest request;
  request.SetStatementId(3);
  int status = -1;
  EXPECT_EQ(-1, request.Exchange(&status, &connection));
  EXPECT_EQ(kStatusReplied, status);
  EXPECT_EQ(0u, request.Get<CursorNameElement>()->value.Length());
}

TEST_F(ExchangeTest, RepliesAreDecodedInOrderAndExtraBytesIgnored) {
  server.ExpectAny(10)
      .Send(ReplyFrame(Bytes({0, 0}) + U32(12345) + "junk"))
      .Expect(kFreeFrame)
      .Send(ReplyFrame(Bytes({1, 0})))
      .ExpectEnd();
  Connect();
  GetRowNumberRequest rows;
  int status = -1;
  EXPECT_EQ(0, rows.Exchange(&status, &connection));
  EXPECT_EQ(12345u, rows.Get<RowNumberElement>()->value);
  EXPECT_EQ(1, ExchangeFree(&status));
  EXPECT_EQ(kStatusReplied, status);
}

TEST_F(ExchangeTest, PeerClosingAfterLengthIsCommunicationFailure) {
  server.Expect(kFreeFrame).Send(U32(2)).Close();
  Connect();
  int status = -1;
  EXPECT_EQ(-1, ExchangeFree(&status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
}

TEST_F(ExchangeTest, TruncatedBodyIsCommunicationFailure) {
  server.ExpectAny(10).Send(U32(6) + Bytes({0, 0, 1})).Close();
  Connect();
  GetRowNumberRequest rows;
  int status = -1;
  EXPECT_EQ(-1, rows.Exchange(&status, &connection));
  EXPECT_EQ(kStatusCommunicationFailure, status);
  // The stream is out of step: the connection says so from now on.
  EXPECT_FALSE(connection.IsOpen());
  status = -1;
  EXPECT_EQ(-1, rows.Exchange(&status, &connection));
  EXPECT_EQ(kStatusCommunicationFailure, status);
}

TEST_F(ExchangeTest, SuccessWithShortBodyIsCommunicationFailure) {
  server.ExpectAny(10).Send(ReplyFrame(Bytes({0, 0, 1, 0}))).ExpectEnd();
  Connect();
  GetRowNumberRequest rows;
  int status = -1;
  EXPECT_EQ(-1, rows.Exchange(&status, &connection));
  EXPECT_EQ(kStatusCommunicationFailure, status);
}

TEST_F(ExchangeTest, OversizedLengthClosesTheConnection) {
  server.Expect(kFreeFrame).Send(U32(Request::kMaxBodyLength + 1) + "xx").ExpectEnd();
  Connect();
  int status = -1;
  FreeStatementRequest request;
  request.SetStatementId(7);
  request.Get<FreeOptionElement>()->value = 1;
  unsigned long before = AllocCount();
  EXPECT_EQ(-1, request.Exchange(&status, &connection));
  EXPECT_EQ(kStatusCommunicationFailure, status);
  EXPECT_EQ(1u, AllocCount() - before);  // the request frame only
  EXPECT_FALSE(connection.IsOpen());
  status = -1;
  EXPECT_EQ(-1, ExchangeFree(&status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
  // Nothing more was written after the oversized reply.
  ASSERT_TRUE(server.Finish()) << server.Error();
  ASSERT_EQ(2u, server.Received().size());
  EXPECT_EQ("", server.Received()[1]);
}

TEST_F(ExchangeTest, ReplyBufferFailureKeepsTheStreamInStep) {
  server.Expect(kFreeFrame)
      .Send(ReplyFrame(Bytes({0, 0})))
      .Expect(kFreeFrame)
      .Send(ReplyFrame(Bytes({1, 0})))
      .ExpectEnd();
  Connect();
  int status = -1;
  FreeStatementRequest request;
  request.SetStatementId(7);
  request.Get<FreeOptionElement>()->value = 1;
  SetAllocFailAfter(1);  // the request frame succeeds, the reply buffer not
  EXPECT_EQ(-1, request.Exchange(&status, &connection));
  ResetAllocFailure();
  EXPECT_EQ(kStatusMemoryFailure, status);
  EXPECT_EQ(1, request.Exchange(&status, &connection));
  EXPECT_EQ(kStatusReplied, status);
}

TEST_F(ExchangeTest, TooLongTextSendsNothing) {
  server.ExpectEnd();
  Connect();
  PrepareRequest prepare;
  std::string text(32768, 'z');
  prepare.Get<StatementElement>()->value.SetString(text.c_str());
  int status = -1;
  EXPECT_EQ(-1, prepare.Exchange(&status, &connection));
  EXPECT_EQ(kStatusValueTooLong, status);
  connection.ReleaseConnection();
  ASSERT_TRUE(server.Finish()) << server.Error();
  ASSERT_EQ(1u, server.Received().size());
  EXPECT_EQ("", server.Received()[0]);
}

TEST(ExchangeWithoutServer, ClosedConnectionFailsAtOnce) {
  ClibConnection closed;
  DisconnectRequest request;
  int status = -1;
  EXPECT_EQ(-1, request.Exchange(&status, &closed));
  EXPECT_EQ(kStatusCommunicationFailure, status);
  EXPECT_EQ(-1, request.Exchange(&status, nullptr));
}

}  // namespace
