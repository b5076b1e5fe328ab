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

// Each row: the reply to a get-row-number request (statement 7), whether
// the server closes after it, an allocation to fail (-1: none), and what
// the exchange returns. While the connection stays open the next exchange
// must be in step; once closed, nothing more is sent.
TEST(Exchange, RepliesAndWhatTheConnectionIsWorthAfterwards) {
  const std::string request = FromHex("04 00 00 00 12 00 07 00 00 00");
  const uint32_t tooLong = Request::kMaxBodyLength + 1;
  // clang-format off
  struct Row { std::string reply; bool serverCloses; long failAfter; int rc, status; uint32_t rowNumber; bool open; };
  // clang-format on
  const Row rows[] = {
      {ReplyFrame(FromHex("00 00 39 30 00 00 'junk'")), false, -1, 0, kStatusReplied, 12345, true},
      {ReplyFrame(FromHex("ff ff")), false, -1, -1, kStatusReplied, 0, true},  // elements keep zero
      {ReplyFrame(FromHex("00 00 01 00")), false, -1, -1, kStatusCommunicationFailure, 0, true},
      // The request frame is allocated, the reply buffer (longer than it) not.
      {ReplyFrame(FromHex("00 00 39 30 00 00 'junkjunk'")), false, 1, -1, kStatusMemoryFailure, 0, true},
      // Cut short: the stream is out of step, so the connection closes.
      {U32(2), true, -1, -1, kStatusCommunicationFailure, 0, false},
      {U32(6) + FromHex("00 00 01"), true, -1, -1, kStatusCommunicationFailure, 0, false},
      // Over the ceiling: nothing is allocated for it.
      {U32(tooLong) + "xx", false, 1, -1, kStatusCommunicationFailure, 0, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(Hex(r.reply.substr(0, 12)));
    BoxCapture boxes;
    FakeServer server;
    ClibConnection connection;
    server.Expect(request).Send(r.reply);
    if (r.open) server.Expect(request).Send(ReplyFrame(FromHex("01 00 01 00 00 00")));
    r.serverCloses ? server.Close() : server.ExpectEnd();
    server.Start();
    ASSERT_EQ(1, connection.InitiateConnection("127.0.0.1", server.Port().c_str()));
    GetRowNumberRequest rowNumber;
    rowNumber.SetStatementId(7);
    int status = -1;
    if (r.failAfter >= 0) SetAllocFailAfter(r.failAfter);
    EXPECT_EQ(r.rc, rowNumber.Exchange(&status, &connection));
    ResetAllocFailure();
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.rowNumber, rowNumber.Get<RowNumberElement>()->value);
    EXPECT_EQ(r.open, connection.IsOpen());
    status = -1;
    EXPECT_EQ(r.open ? 1 : -1, rowNumber.Exchange(&status, &connection));
    EXPECT_EQ(r.open ? kStatusReplied : kStatusCommunicationFailure, status);
    connection.ReleaseConnection();
    EXPECT_EQ(-1, rowNumber.Exchange(&status, r.open ? &connection : nullptr));  // closed, or none
    EXPECT_EQ(kStatusCommunicationFailure, status);
    EXPECT_TRUE(server.Finish()) << server.Error();
    EXPECT_EQ("", r.serverCloses ? "" : server.Received().back());
  }
}

// Texts up to 32767 bytes are sent; a longer one sends nothing.
TEST(Exchange, TooLongTextSendsNothing) {
  BoxCapture boxes;
  FakeServer server;
  ClibConnection connection;
  server.ExpectEnd().Start();
  ASSERT_EQ(1, connection.InitiateConnection("127.0.0.1", server.Port().c_str()));
  PrepareRequest prepare;
  ASSERT_EQ(1, prepare.Get<StatementElement>()->value.SetString(std::string(32768, 'z').c_str()));
  int status = -1;
  EXPECT_EQ(-1, prepare.Exchange(&status, &connection));
  EXPECT_EQ(kStatusValueTooLong, status);
  ASSERT_EQ(1, prepare.Get<StatementElement>()->value.SetString(std::string(32767, 'z').c_str()));  // the longest
  ASSERT_TRUE(prepare.BuildFrame(&status));
  EXPECT_EQ(6 + 4 + 2 + 32767u, prepare.FrameLength());
  connection.ReleaseConnection();
  ASSERT_TRUE(server.Finish()) << server.Error();
  EXPECT_EQ("", server.Received().at(0));
}

}  // namespace
