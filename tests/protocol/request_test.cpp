// Request frames byte for byte, every message round-tripped in both
// directions through the same classes the server uses (under allocation
// failures), and the decoding rules for short and long reply bodies.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "protocol/MessageLayouts.h"
#include "protocol/Requests.h"
#include "protocol/fill.h"
#include "support/capture.h"
#include "support/fake_server.h"

namespace {

std::string Built(Request& r) { return std::string(reinterpret_cast<const char*>(r.FrameBytes()), r.FrameLength()); }

std::string FrameOf(Request& r) {
  int status = -1;
  return r.BuildFrame(&status) ? Built(r) : "failed " + std::to_string(status);
}

std::string ReplyOf(Request& r) {
  int status = -1;
  return r.EncodeReply(&status) ? Built(r) : "failed " + std::to_string(status);
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

// Frame: 32-bit body length, 16-bit message code, then the elements. The
// frames the driver sends are pinned byte for byte by its wire tests
// (tests/odbc); here, a statement id given to a message without one.
TEST(RequestFrame, StatementIdOnlyWhereTheMessageHasOne) {
  DisconnectRequest none;
  none.SetStatementId(99);
  EXPECT_EQ(Hex(FromHex("00 00 00 00 08 00")), Hex(FrameOf(none)));
}

// Reply bodies: after a return code other than success, a body cut short
// is received (its elements keep zero); after success it is a
// communication failure. Bytes after the last element are ignored (the
// exchange's rows show that).
TEST(ReplyDecoding, ShortAndLongBodies) {
  // clang-format off
  const struct { uint16_t code; const char* body; bool received; int32_t rc; } rows[] = {
      {Msg::kFetch, "64 00 05", true, 100},
      {Msg::kFetch, "00 00 05", false, 0},
      {Msg::kDisconnect, "", false, 0},
      {Msg::kDisconnect, "01", false, 0},
  };
  // clang-format on
  TraceCapture trace("P1");
  for (const auto& r : rows) {
    std::unique_ptr<Request> q = Create(r.code);
    int status = -1;
    EXPECT_EQ(r.received, DecodeReply(*q, FromHex(r.body), &status)) << r.code << " " << r.body;
    EXPECT_EQ(kStatusCommunicationFailure, r.received ? kStatusCommunicationFailure : status)
        << r.code << " " << r.body;
    EXPECT_EQ(r.rc, r.received ? q->ReturnCode() : 0) << r.code;
  }
  EXPECT_TRUE(trace.Has('P', 1, "body of 3 bytes ends inside fetchDataSet")) << trace.Text();
  int status = -1;
  // A request body that ends early is refused on the server side.
  FreeStatementRequest server;
  EXPECT_FALSE(DecodeRequest(server, FromHex("07 00 00 00 01"), &status));
  EXPECT_EQ(kStatusCommunicationFailure, status);
}

// Every message both ways, each value filled from its kind's sample. Fail
// the 1st, 2nd, ... allocation while making it, then while decoding its
// request and its reply: each either completes or reports status 2, and
// nothing leaks. Once decoded, encoding again gives the same bytes, so
// every value arrived.
TEST(RequestAllocation, FailureSweepAndRoundTripOfEveryMessage) {
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
    const std::string frame = FrameOf(*filled), reply = ReplyOf(*filled);
    ASSERT_EQ(U32(static_cast<uint32_t>(frame.size() - 6)) + U16(code), frame.substr(0, 6));
    ASSERT_EQ(U32(static_cast<uint32_t>(reply.size() - 4)), reply.substr(0, 4));
    // Reset, it is a new request again (the execute-rows request, sent again and again, can be).
    const bool reset = filled->Reset();
    EXPECT_TRUE(reset || code != Msg::kExecuteRows) << code;
    EXPECT_EQ(reset ? FrameOf(*Create(code)) + ReplyOf(*Create(code)) : "",
              reset ? FrameOf(*filled) + ReplyOf(*filled) : "")
        << code;
    for (bool isReply : {false, true}) {
      bool decoded = false;
      for (long n = 0; n < 60 && !decoded; ++n) {
        std::unique_ptr<Request> q = Create(code);
        int status = -1;
        SetAllocFailAfter(n);
        decoded = isReply ? DecodeReply(*q, reply.substr(4), &status) : DecodeRequest(*q, frame.substr(6), &status);
        ResetAllocFailure();
        EXPECT_EQ(kStatusMemoryFailure, decoded ? kStatusMemoryFailure : status) << code << " at " << n;
        EXPECT_EQ(decoded ? (isReply ? reply : frame) : "", decoded ? (isReply ? ReplyOf(*q) : FrameOf(*q)) : "")
            << code;
      }
      EXPECT_TRUE(decoded) << code;
    }
  }
}

}  // namespace
