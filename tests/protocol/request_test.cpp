// Request frames byte for byte, the catalogue's codes, every message
// round-tripped in both directions through the same classes the server
// uses, and the decoding rules for short and long reply bodies.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "protocol/Catalog.h"
#include "protocol/Requests.h"
#include "protocol/fill.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

std::string FrameOf(Request& r) {
  int status = -1;
  if (!r.BuildFrame(&status)) return "failed " + std::to_string(status);
  return std::string(reinterpret_cast<const char*>(r.FrameBytes()), r.FrameLength());
}

bool DecodeReply(Request& r, const std::string& body, int* status) {
  return r.DecodeReplyBody(reinterpret_cast<const uint8_t*>(body.data()), static_cast<uint32_t>(body.size()), status);
}

bool DecodeRequest(Request& r, const std::string& body, int* status) {
  return r.DecodeRequestBody(reinterpret_cast<const uint8_t*>(body.data()), static_cast<uint32_t>(body.size()), status);
}

std::unique_ptr<Request> Create(uint16_t code) { return std::unique_ptr<Request>(Request::CreateRequest(code)); }

void FillList(ElementList& list) {
  for (Element* e = list.First(); e != nullptr; e = list.Next()) ASSERT_TRUE(FillElement(e));
}

// Frame: 32-bit body length, 16-bit message code, then the elements.
TEST(RequestFrame, ExamplesAreByteExact) {
  DisconnectRequest disconnect;
  FreeStatementRequest free;
  free.SetStatementId(7);
  free.Get<FreeOptionElement>()->value = 1;
  TablesRequest tables;
  tables.SetStatementId(0x01020304);
  DisconnectRequest none;
  none.SetStatementId(99);  // no statementId: unchanged
  ExecuteRequest execute;
  execute.SetStatementId(2);
  execute.Get<ParameterDataSetElement>()->SetList(new (std::nothrow) ParameterDataList);
  ConnectRequest connect;
  String dsn, user, password;
  dsn.SetString("d");
  user.SetString("");
  password.SetString("pw");
  ASSERT_TRUE(connect.SetLogin(dsn, user, password));
  const struct {
    Request& request;
    const char* frame;
  } rows[] = {
      {disconnect, "00 00 00 00 08 00"}, {none, "00 00 00 00 08 00"},
      {free, "06 00 00 00 0f 00 07 00 00 00 01 00"},
      {tables, "0c 00 00 00 2b 00 04 03 02 01 00 00 00 00 00 00 00 00"},
      {execute, "06 00 00 00 0b 00 02 00 00 00 00 00"},
      {connect, "09 00 00 00 05 00 01 00 'd' 00 00 02 00 'pw'"},
  };
  for (const auto& r : rows) EXPECT_EQ(Hex(FromHex(r.frame)), Hex(FrameOf(r.request)));
}

// Client encodes the request, the server decodes it; the server encodes the
// reply, the client decodes it. Re-encoding on the receiving side must give
// the same bytes, so every value arrived.
TEST(RequestRoundTrip, EveryMessageBothDirections) {
  for (int i = 0; i < MessageCount(); ++i) {
    uint16_t code = MessageCodeAt(i);
    std::unique_ptr<Request> client = Create(code), server = Create(code);
    FillList(client->RequestHeader());
    FillList(client->RequestBody());
    std::string frame = FrameOf(*client);
    ASSERT_GE(frame.size(), 6u);
    EXPECT_EQ(U32(static_cast<uint32_t>(frame.size() - 6)) + U16(code), frame.substr(0, 6));
    int status = -1;
    ASSERT_TRUE(DecodeRequest(*server, frame.substr(6), &status)) << code;
    EXPECT_EQ(frame, FrameOf(*server)) << code;
    FillList(server->ReplyHeader());
    FillList(server->ReplyBody());
    server->Get<ReturnCodeElement>()->value = code % 2;
    ASSERT_TRUE(server->EncodeReply(&status)) << code;
    std::string reply(reinterpret_cast<const char*>(server->FrameBytes()), server->FrameLength());
    EXPECT_EQ(U32(static_cast<uint32_t>(reply.size() - 4)), reply.substr(0, 4));
    ASSERT_TRUE(DecodeReply(*client, reply.substr(4), &status)) << code;
    EXPECT_EQ(code % 2, client->ReturnCode());
    ASSERT_TRUE(client->EncodeReply(&status));
    EXPECT_EQ(reply, std::string(reinterpret_cast<const char*>(client->FrameBytes()), client->FrameLength())) << code;
  }
}

// Reply bodies: after a return code other than success, a body cut short
// is received (its elements keep zero); after success it is a
// communication failure. Bytes after the last element are ignored.
TEST(ReplyDecoding, ShortAndLongBodies) {
  const struct {
    uint16_t code;
    const char* body;
    bool received;
    int32_t rc;
  } rows[] = {
      {Msg::kGetCursorName, "ff ff", true, -1},  {Msg::kFetch, "64 00 05", true, 100},
      {Msg::kFetch, "00 00 05", false, 0},       {Msg::kDisconnect, "", false, 0},
      {Msg::kDisconnect, "01", false, 0},        {Msg::kRowCount, "00 00 fe ff ff ff 09 09 09", true, 0},
  };
  for (const auto& r : rows) {
    std::unique_ptr<Request> q = Create(r.code);
    int status = -1;
    EXPECT_EQ(r.received, DecodeReply(*q, FromHex(r.body), &status)) << r.code << " " << r.body;
    EXPECT_EQ(kStatusCommunicationFailure, r.received ? kStatusCommunicationFailure : status) << r.code << " " << r.body;
    EXPECT_EQ(r.rc, r.received ? q->ReturnCode() : 0) << r.code;
    auto* rows = q->Get<NumberOfRowsElement>();
    EXPECT_EQ(-2, rows ? rows->value : -2);
  }
  int status = -1;
  // A request body that ends early is refused on the server side.
  FreeStatementRequest server;
  EXPECT_FALSE(DecodeRequest(server, FromHex("07 00 00 00 01"), &status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
}

TEST(ReplyDecoding, ShortBodyAfterSuccessIsTraced) {
  TraceCapture trace("P1");
  FetchRequest cut;
  int status = -1;
  EXPECT_FALSE(DecodeReply(cut, FromHex("00 00 05"), &status));
  EXPECT_TRUE(trace.Has('P', 1, "body of 3 bytes ends inside fetchDataSet")) << trace.Text();
}

// Fail the 1st, 2nd, ... allocation while making each message, then while
// decoding its request and its reply: each either completes or reports
// status 2, and nothing leaks.
TEST(RequestAllocation, FailureSweepOverEveryMessage) {
  for (int i = 0; i < MessageCount(); ++i) {
    uint16_t code = MessageCodeAt(i);
    for (long n = 0; n < 20; ++n) {
      SetAllocFailAfter(n);
      std::unique_ptr<Request> r = Create(code);
      ResetAllocFailure();
      int status = -1;
      if (r && !r->Failed()) break;
      EXPECT_EQ(-1, r ? r->Exchange(&status, nullptr) : -1);
      EXPECT_EQ(kStatusMemoryFailure, r ? status : kStatusMemoryFailure);
    }
    std::unique_ptr<Request> filled = Create(code);
    for (ElementList* list : {&filled->RequestHeader(), &filled->RequestBody(), &filled->ReplyBody()}) FillList(*list);
    int status = -1;
    std::string request = FrameOf(*filled).substr(6);
    ASSERT_TRUE(filled->EncodeReply(&status));
    std::string reply(reinterpret_cast<const char*>(filled->FrameBytes()) + 4, filled->FrameLength() - 4);
    for (bool isReply : {false, true}) {
      bool decoded = false;
      for (long n = 0; n < 60 && !decoded; ++n) {
        std::unique_ptr<Request> q = Create(code);
        status = -1;
        SetAllocFailAfter(n);
        decoded = isReply ? DecodeReply(*q, reply, &status) : DecodeRequest(*q, request, &status);
        ResetAllocFailure();
        EXPECT_EQ(kStatusMemoryFailure, decoded ? kStatusMemoryFailure : status) << code << " at " << n;
      }
      EXPECT_TRUE(decoded) << code;
    }
  }
}

}  // namespace
