// One protocol message: the elements to send (request header and body) and
// the elements the reply is decoded into (reply header and body), with the
// frame and the exchange on a ClibConnection. The concrete messages are in
// protocol/Requests.h.
//
// Client (driver) side:
//   TablesRequest request;                         // or new (std::nothrow)
//   if (request.Failed()) -> "S1001" memory allocation failure
//   request.SetStatementId(id);
//   request.Get<TableNameElement>()->value.SetString(...);
//   int rc = request.Exchange(&status, connection);
//   if (rc != SQL_SUCCESS) return statement->CheckResult(rc, status);
//   request.Get<ResultSetDescriptionElement>()->Columns() ...
//
// Server side (same classes, same element sequences):
//   read 6 bytes: body length n (4, LE) and message code (2, LE);
//   Request* r = Request::CreateRequest(code);     // null: unknown code
//   read n bytes; r->DecodeRequestBody(body, n, &status) (false: bad body);
//   read the request with r->Get<StatementIdElement>()->value, ...;
//   set the reply: r->Get<ReturnCodeElement>()->value = 0; ...;
//   r->EncodeReply(&status); write r->FrameBytes(), r->FrameLength();
//   delete r;
// Tests build request frames with BuildFrame() and decode reply bodies with
// DecodeReplyBody().
#ifndef VELORA_PROTOCOL_REQUEST_H
#define VELORA_PROTOCOL_REQUEST_H

#include <cstdint>

#include "base/Alloc.h"
#include "protocol/Element.h"

class ClibConnection;

class Request {
  VEL_NOTHROW_ALLOCATED
 public:
  // Longest reply body accepted (and longest frame body built): large
  // enough for any real row, small enough that a corrupt length cannot
  // make the driver allocate without bound.
  static constexpr uint32_t kMaxBodyLength = 256u * 1024u * 1024u;

  Request() = default;
  // Virtual so that a request created by CreateRequest can be deleted
  // through this base; the concrete classes add no fields.
  virtual ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  virtual uint16_t MessageCode() const = 0;
  // True when the reply body is a resultSetDescription that becomes the
  // statement's result set.
  virtual bool ReturnsResultSet() const { return false; }

  // A new request of the concrete class for code, or null for a code that
  // is never sent or when memory runs out (check Failed() as well).
  static Request* CreateRequest(uint16_t code);

  ElementList& RequestHeader() { return requestHeader_; }
  ElementList& RequestBody() { return requestBody_; }
  ElementList& ReplyHeader() { return replyHeader_; }
  ElementList& ReplyBody() { return replyBody_; }

  // Set when the constructor could not create all elements; such a
  // request must not be sent.
  bool Failed() const { return (flags_ & kFailedFlag) != 0; }

  // Stores id in the first request-header element when it is statementId;
  // requests without one are left unchanged.
  void SetStatementId(uint32_t id);
  // The value of the reply's returnCode (0 before a reply was decoded;
  // -1 for a request that has no returnCode because its construction failed).
  int32_t ReturnCode();

  // The element with the given number on any of the four lists (no number
  // occurs twice in one message), or null.
  Element* FindElement(int elementId);
  // Typed access by element class, e.g. Get<StatementIdElement>(); null
  // when the message has no such element.
  template <class T>
  T* Get() {
    return static_cast<T*>(FindElement(T::kId));
  }

  // Sends the request and receives and decodes the reply. Returns the
  // reply's returnCode with *status 3, or -1 with *status 0
  // (communication), 2 (memory), 4 (a value too long to send) or 5 (a body
  // over kMaxBodyLength). A frame
  // cut short, a failed write or a reply length over kMaxBodyLength closes
  // the connection (the stream is out of step); later exchanges on it fail
  // with *status 0 without writing.
  [[nodiscard]] int Exchange(int* status, ClibConnection* connection);
  // Builds the request frame and writes it in one call; false with *status
  // set on failure (nothing written unless the write itself failed).
  [[nodiscard]] bool Send(int* status, ClibConnection* connection);
  // True when the last Send wrote the whole frame: the server may have
  // acted on the request even when no reply could be read or held.
  bool Written() const { return (flags_ & kWrittenFlag) != 0; }
  // Reads one reply frame and decodes it; false with *status set.
  [[nodiscard]] bool Receive(int* status, ClibConnection* connection);

  // Builds the request frame (length, code, header and body elements) in
  // the frame buffer. False with *status 2 (memory) or 4 (a value that
  // cannot be encoded: a text over 32767 bytes, a frame over the ceiling).
  [[nodiscard]] bool BuildFrame(int* status);
  // Decodes size bytes of a reply body into the reply lists. A body that
  // ends inside an element is a communication failure (*status 0), except
  // after a returnCode other than SQL_SUCCESS: then the reply counts as
  // received and the missing elements keep their zero values. Bytes after
  // the last element are ignored.
  [[nodiscard]] bool DecodeReplyBody(const uint8_t* body, uint32_t size, int* status);

  // Server side: decodes a request body (after the 6-byte frame header)
  // into the request lists; false with *status 0 when the body ends inside
  // an element, 2 when memory runs out.
  [[nodiscard]] bool DecodeRequestBody(const uint8_t* body, uint32_t size, int* status);
  // Server side: builds the reply frame (length, then the reply header and
  // body elements) in the frame buffer; failures as for BuildFrame.
  [[nodiscard]] bool EncodeReply(int* status);

  // Makes the request ready to serve another message of its code, as if
  // new: every element back in its first state, the frame buffer kept
  // (unless large). False when an element cannot be reset; the request
  // must then not be used again.
  [[nodiscard]] bool Reset();

  // The frame built last (request or reply frame) or the reply body read
  // last, and its length in bytes.
  const uint8_t* FrameBytes() const { return frame_; }
  uint32_t FrameLength() const { return frameLength_; }
  // The body length of the last frame built or received.
  uint32_t Size() const { return size_; }

 protected:
  // Appends the elements of the layout's sequences for code to the four
  // lists; sets Failed when an element cannot be created or the code is not
  // in the message layouts.
  void Build(uint16_t code);

 private:
  static const unsigned kFailedFlag = 1;
  static const unsigned kWrittenFlag = 2;

  [[nodiscard]] bool Encode(ElementList* first, ElementList* second, uint32_t prefix, int* status);
  [[nodiscard]] bool Decode(ElementList* first, ElementList* second, const uint8_t* body,
                            uint32_t size, int* status, bool reply);
  [[nodiscard]] bool Allocate(uint32_t length, int* status);
  void ReleaseFrame();

  ElementList requestHeader_;
  ElementList requestBody_;
  uint8_t* frame_ = nullptr;
  uint32_t size_ = 0;
  uint32_t frameLength_ = 0;
  uint32_t frameCapacity_ = 0;
  ElementList replyHeader_;
  ElementList replyBody_;
  unsigned flags_ = 0;
};

#endif
