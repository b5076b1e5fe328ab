// The exchanges on the connection's socket: the greeting, and one request
// frame written with one reply frame read and decoded.
#include <cstring>

#include "base/Trace.h"
#include "net/ClibConnection.h"
#include "protocol/Framing.h"
#include "protocol/Request.h"

namespace {

// A frame cut short in either direction leaves the stream out of step:
// whatever arrives later would be taken for the next reply. The connection
// is closed, so that every later exchange on it fails as a communication
// failure instead of decoding the wrong bytes.
bool Abandon(ClibConnection* connection, int* status) {
  connection->ReleaseConnection();
  *status = kStatusCommunicationFailure;
  return false;
}

// Reads and drops length bytes so that the next reply starts where it
// should; used when the body cannot be held.
void Discard(ClibConnection* connection, uint32_t length) {
  uint8_t sink[4096];
  while (length > 0) {
    uint32_t n = length < sizeof sink ? length : static_cast<uint32_t>(sizeof sink);
    if (!connection->Read(sink, n)) {
      connection->ReleaseConnection();
      return;
    }
    length -= n;
  }
}

}  // namespace

bool Request::Send(int* status, ClibConnection* connection) {
  flags_ &= ~kWrittenFlag;
  if (!BuildFrame(status)) return false;
  if (connection == nullptr || !connection->IsOpen()) {
    Trace('P', 1, "Request::Send: connection is closed");
    *status = kStatusCommunicationFailure;
    return false;
  }
  connection->CountRequest();
  if (!connection->Write(FrameBytes(), FrameLength())) return Abandon(connection, status);
  flags_ |= kWrittenFlag;
  return true;
}

bool Request::Receive(int* status, ClibConnection* connection) {
  if (connection == nullptr || !connection->IsOpen()) {
    *status = kStatusCommunicationFailure;
    return false;
  }
  uint8_t header[kReplyHeaderSize];
  if (!connection->Read(header, sizeof header)) return Abandon(connection, status);
  const uint32_t length = DecodeReplyHeader(header);
  if (length > kMaxBodyLength) {
    // The stream cannot be resynchronised without reading the whole body:
    // the connection is closed, and every later exchange fails on it.
    Trace('P', 1, "reply length %lu exceeds %lu; connection closed",
          static_cast<unsigned long>(length), static_cast<unsigned long>(kMaxBodyLength));
    return Abandon(connection, status);
  }
  if (!Allocate(length, status)) {
    Discard(connection, length);
    return false;
  }
  size_ = length;
  if (!connection->Read(frame_, length)) return Abandon(connection, status);
  return DecodeReplyBody(frame_, length, status);
}

bool DiscardReply(ClibConnection* connection) {
  uint8_t header[kReplyHeaderSize];
  int status = kStatusCommunicationFailure;
  if (!connection->IsOpen() || !connection->Read(header, sizeof header))
    return Abandon(connection, &status);
  const uint32_t length = DecodeReplyHeader(header);
  if (length > Request::kMaxBodyLength) return Abandon(connection, &status);
  Discard(connection, length);
  return connection->IsOpen();
}

bool ExchangeGreeting(ClibConnection* connection, const char* platform, const char* charset,
                      int16_t* status) {
  uint8_t greeting[kGreetingSize];
  uint8_t answer[kGreetingStatusSize];
  if (!EncodeGreeting(platform, charset, greeting) ||
      !connection->Write(greeting, sizeof greeting) || !connection->Read(answer, sizeof answer))
    return false;
  *status = DecodeGreetingStatus(answer);
  return true;
}

int Request::Exchange(int* status, ClibConnection* connection) {
  if (Failed()) {
    *status = kStatusMemoryFailure;
    return -1;
  }
  if (!Send(status, connection)) return -1;
  if (!Receive(status, connection)) return -1;
  *status = kStatusReplied;
  return ReturnCode();
}
