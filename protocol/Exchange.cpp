// The exchange: one request frame written, one reply frame read and
// decoded, on the connection's socket.
#include <cstring>

#include "driver/trace.h"
#include "net/ClibConnection.h"
#include "protocol/Request.h"

namespace {

// Reads and drops length bytes so that the next reply starts where it
// should; used when the body cannot be held.
void Discard(ClibConnection* connection, uint32_t length) {
  uint8_t sink[4096];
  while (length > 0) {
    uint32_t n = length < sizeof sink ? length : static_cast<uint32_t>(sizeof sink);
    if (!connection->Read(sink, n)) return;
    length -= n;
  }
}

}  // namespace

bool Request::Send(int* status, ClibConnection* connection) {
  if (!BuildFrame(status)) return false;
  if (connection == nullptr || !connection->IsOpen()) {
    Trace('P', 1, "Request::Send: connection is closed");
    *status = kStatusCommunicationFailure;
    return false;
  }
  if (!connection->Write(FrameBytes(), FrameLength())) {
    *status = kStatusCommunicationFailure;
    return false;
  }
  return true;
}

bool Request::Receive(int* status, ClibConnection* connection) {
  uint32_t length = 0;
  if (connection == nullptr || !connection->IsOpen() || !connection->Read(&length, 4)) {
    *status = kStatusCommunicationFailure;
    return false;
  }
  if (length > kMaxBodyLength) {
    // The stream cannot be resynchronised without reading the whole body:
    // the connection is closed, and every later exchange fails on it.
    Trace('P', 1, "reply length %lu exceeds %lu; connection closed",
          static_cast<unsigned long>(length), static_cast<unsigned long>(kMaxBodyLength));
    connection->ReleaseConnection();
    *status = kStatusCommunicationFailure;
    return false;
  }
  if (!Allocate(length, status)) {
    Discard(connection, length);
    return false;
  }
  size_ = length;
  if (!connection->Read(frame_, length)) {
    *status = kStatusCommunicationFailure;
    return false;
  }
  return DecodeReplyBody(frame_, length, status);
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
