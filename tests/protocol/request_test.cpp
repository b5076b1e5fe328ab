// Request frames byte for byte, the catalogue's sequences, every message
// round-tripped in both directions through the same classes the server
// uses, and the decoding rules for short and long reply bodies.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "protocol/Catalog.h"
#include "protocol/ElementNames.h"
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
  return r.DecodeReplyBody(reinterpret_cast<const uint8_t*>(body.data()),
                           static_cast<uint32_t>(body.size()), status);
}

std::unique_ptr<Request> Create(uint16_t code) {
  return std::unique_ptr<Request>(Request::CreateRequest(code));
}

std::string Names(ElementList& list) {
  std::string out;
  for (Element* e = list.First(); e != nullptr; e = list.Next()) {
    if (!out.empty()) out += ",";
    out += ElementName(e->ElementId());
  }
  return out;
}

void FillList(ElementList& list, int seed) {
  for (Element* e = list.First(); e != nullptr; e = list.Next()) FillElement(e, seed++);
}

TEST(RequestFrame, ExamplesAreByteExact) {
  DisconnectRequest disconnect;
  EXPECT_EQ(Bytes({0, 0, 0, 0, 8, 0}), FrameOf(disconnect));

  FreeStatementRequest free;
  free.SetStatementId(7);
  free.Get<FreeOptionElement>()->value = 1;
  EXPECT_EQ(Bytes({6, 0, 0, 0, 0x0F, 0, 7, 0, 0, 0, 1, 0}), FrameOf(free));

  SetAccessModeRequest access;
  access.SetStatementId(99);  // no statementId: unchanged
  access.Get<AccessModeElement>()->value = 1;
  EXPECT_EQ(Bytes({2, 0, 0, 0, 0x1A, 0, 1, 0}), FrameOf(access));

  TablesRequest tables;
  tables.SetStatementId(0x01020304);
  EXPECT_EQ(Bytes({0x0C, 0, 0, 0, 0x2B, 0, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0}),
            FrameOf(tables));

  ExecuteRequest execute;
  execute.SetStatementId(2);
  execute.Get<ParameterDataSetElement>()->SetList(new (std::nothrow) ParameterDataList);
  EXPECT_EQ(Bytes({6, 0, 0, 0, 0x0B, 0, 2, 0, 0, 0, 0, 0}), FrameOf(execute));

  SetMaxRowsRequest maxRows;
  maxRows.Get<MaxRowsElement>()->value = 10;
  EXPECT_EQ(Bytes({8, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 10, 0, 0, 0}), FrameOf(maxRows));

  ConnectRequest connect;
  String dsn, user, password;
  dsn.SetString("d");
  user.SetString("");
  password.SetString("pw");
  ASSERT_TRUE(connect.SetLogin(dsn, user, password));
  EXPECT_EQ(Bytes({9, 0, 0, 0, 5, 0, 1, 0, 'd', 0, 0, 2, 0, 'p', 'w'}), FrameOf(connect));
}

// The element sequences themselves are pinned by the byte-exact frames
// here and in the driver's session tests; this checks which codes exist.
TEST(RequestFrame, OnlyTheCataloguesCodesMakeRequests) {
  ASSERT_EQ(31, MessageCount());
  std::set<int> seen;
  for (int i = 0; i < MessageCount(); ++i) {
    uint16_t code = MessageCodeAt(i);
    std::unique_ptr<Request> r = Create(code);
    ASSERT_NE(nullptr, r) << code;
    EXPECT_FALSE(r->Failed());
    EXPECT_EQ(code, r->MessageCode());
    EXPECT_EQ("returnCode", Names(r->ReplyHeader())) << code;
    seen.insert(code);
  }
  EXPECT_EQ(31u, seen.size());
  for (int code = 0; code < 70; ++code) {
    if (seen.count(code) == 0) {
      EXPECT_EQ(nullptr, Create(static_cast<uint16_t>(code))) << code;
    }
  }
  EXPECT_EQ(nullptr, Create(0xFFFF));
  EXPECT_FALSE(DisconnectRequest().ReturnsResultSet());
  EXPECT_TRUE(TablesRequest().ReturnsResultSet());
}

// Client encodes the request, the server decodes it; the server encodes the
// reply, the client decodes it. Re-encoding on the receiving side must give
// the same bytes, so every value arrived.
TEST(RequestRoundTrip, EveryMessageBothDirections) {
  for (int i = 0; i < MessageCount(); ++i) {
    uint16_t code = MessageCodeAt(i);
    std::unique_ptr<Request> client = Create(code);
    std::unique_ptr<Request> server = Create(code);
    FillList(client->RequestHeader(), 1);
    FillList(client->RequestBody(), 10);
    std::string frame = FrameOf(*client);
    ASSERT_GE(frame.size(), 6u);
    EXPECT_EQ(U32(static_cast<uint32_t>(frame.size() - 6)) + U16(code), frame.substr(0, 6));
    int status = -1;
    ASSERT_TRUE(server->DecodeRequestBody(reinterpret_cast<const uint8_t*>(frame.data()) + 6,
                                          static_cast<uint32_t>(frame.size() - 6), &status))
        << code;
    EXPECT_EQ(frame, FrameOf(*server)) << code;

    FillList(server->ReplyHeader(), 20);
    server->Get<ReturnCodeElement>()->value = code % 2 ? 1 : 0;
    FillList(server->ReplyBody(), 30);
    ASSERT_TRUE(server->EncodeReply(&status)) << code;
    std::string reply(reinterpret_cast<const char*>(server->FrameBytes()), server->FrameLength());
    EXPECT_EQ(U32(static_cast<uint32_t>(reply.size() - 4)), reply.substr(0, 4));
    ASSERT_TRUE(DecodeReply(*client, reply.substr(4), &status)) << code;
    EXPECT_EQ(code % 2 ? 1 : 0, client->ReturnCode());
    ASSERT_TRUE(client->EncodeReply(&status));
    EXPECT_EQ(reply, std::string(reinterpret_cast<const char*>(client->FrameBytes()),
                                 client->FrameLength()))
        << code;
  }
}

TEST(RequestRoundTrip, TypedValuesArrive) {
  ExecDirectRequest client;
  client.SetStatementId(42);
  client.Get<StatementElement>()->value.SetString("select 1");
  FillElement(client.Get<ParameterDataSetElement>(), 0);
  std::string frame = FrameOf(client);
  ExecDirectRequest server;
  int status = -1;
  ASSERT_TRUE(server.DecodeRequestBody(reinterpret_cast<const uint8_t*>(frame.data()) + 6,
                                       static_cast<uint32_t>(frame.size() - 6), &status));
  EXPECT_EQ(42u, server.Get<StatementIdElement>()->value);
  EXPECT_STREQ("select 1", server.Get<StatementElement>()->value.Text());
  ParameterDataList* parameters = server.Get<ParameterDataSetElement>()->List();
  ASSERT_EQ(2u, parameters->Count());
  EXPECT_EQ(12, parameters->First()->SqlType());
  EXPECT_TRUE(parameters->Next()->IsNull());
  EXPECT_EQ(nullptr, server.Get<FetchDataElement>());
}

TEST(ReplyDecoding, ReturnCodeOnlyRepliesAndShortBodies) {
  int status = -1;
  // Return code alone after a failure: received, elements keep zero.
  GetCursorNameRequest failed;
  EXPECT_TRUE(DecodeReply(failed, Bytes({0xFF, 0xFF}), &status));
  EXPECT_EQ(-1, failed.ReturnCode());
  EXPECT_EQ(0u, failed.Get<CursorNameElement>()->value.Length());
  // SQL_NO_DATA_FOUND with a cut fetchDataSet: received as well.
  FetchRequest noData;
  EXPECT_TRUE(DecodeReply(noData, Bytes({100, 0, 5}), &status));
  EXPECT_EQ(100, noData.ReturnCode());
  // The same cut body after SQL_SUCCESS is a communication failure.
  FetchRequest cut;
  status = -1;
  EXPECT_FALSE(DecodeReply(cut, Bytes({0, 0, 5}), &status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
  // No return code at all.
  DisconnectRequest empty;
  status = -1;
  EXPECT_FALSE(DecodeReply(empty, "", &status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
  status = -1;
  EXPECT_FALSE(DecodeReply(empty, Bytes({1}), &status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
  // Extra bytes after the last element are ignored.
  RowCountRequest rows;
  EXPECT_TRUE(DecodeReply(rows, Bytes({0, 0, 5, 0, 0, 0, 9, 9, 9}), &status));
  EXPECT_EQ(5, rows.Get<NumberOfRowsElement>()->value);
  // A request body that ends early is refused on the server side.
  FreeStatementRequest server;
  status = -1;
  const uint8_t body[] = {7, 0, 0, 0, 1};
  EXPECT_FALSE(server.DecodeRequestBody(body, sizeof body, &status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
}

TEST(ReplyDecoding, ShortBodyAfterSuccessIsTraced) {
  TraceCapture trace("P1");
  FetchRequest cut;
  int status = -1;
  EXPECT_FALSE(DecodeReply(cut, Bytes({0, 0, 5}), &status));
  EXPECT_TRUE(trace.Has('P', 1, "body of 3 bytes ends inside fetchDataSet")) << trace.Text();
}

// Fail the 1st, 2nd, ... allocation while decoding each message's reply:
// the decoding either completes or reports status 2, and nothing leaks.
TEST(ReplyDecoding, AllocationFailureSweep) {
  for (int i = 0; i < MessageCount(); ++i) {
    uint16_t code = MessageCodeAt(i);
    std::unique_ptr<Request> server = Create(code);
    FillList(server->ReplyBody(), 5);
    int status = -1;
    ASSERT_TRUE(server->EncodeReply(&status));
    std::string body(reinterpret_cast<const char*>(server->FrameBytes()) + 4,
                     server->FrameLength() - 4);
    bool decoded = false;
    for (long n = 0; n < 60 && !decoded; ++n) {
      std::unique_ptr<Request> client = Create(code);
      status = -1;
      SetAllocFailAfter(n);
      decoded = DecodeReply(*client, body, &status);
      ResetAllocFailure();
      if (!decoded) {
        EXPECT_EQ(kStatusMemoryFailure, status) << code << " at " << n;
      }
    }
    EXPECT_TRUE(decoded) << code;
  }
}

TEST(RequestConstruction, AllocationFailureSetsFailed) {
  for (int i = 0; i < MessageCount(); ++i) {
    uint16_t code = MessageCodeAt(i);
    for (long n = 0; n < 20; ++n) {
      SetAllocFailAfter(n);
      Request* r = Request::CreateRequest(code);
      ResetAllocFailure();
      if (r == nullptr) continue;
      bool failed = r->Failed();
      if (failed) {
        int status = -1;
        EXPECT_EQ(-1, r->Exchange(&status, nullptr));
        EXPECT_EQ(kStatusMemoryFailure, status);
      }
      delete r;
      if (!failed) break;
    }
  }
}

}  // namespace
