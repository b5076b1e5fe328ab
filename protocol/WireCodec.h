// Bounded little-endian reads and writes on an ElementCursor. Integers are
// copied as the processor holds them: the protocol is little-endian and so
// are the processors the driver runs on.
#ifndef VELORA_PROTOCOL_WIRECODEC_H
#define VELORA_PROTOCOL_WIRECODEC_H

#include <cstdint>
#include <cstring>

#include "protocol/Element.h"

namespace wire {

// Not [[nodiscard]]: an encoder that has checked the room for a whole
// element first writes its parts without testing each one.

// Copies n bytes from the cursor into out and advances; false (cursor
// unchanged, status 0) when fewer than n bytes are left.
inline bool Take(ElementCursor* cursor, void* out, std::size_t n, int* status) {
  if (cursor->Left() < n) {
    *status = kStatusCommunicationFailure;
    return false;
  }
  if (n > 0) std::memcpy(out, cursor->position, n);
  cursor->position += n;
  return true;
}

// Copies n bytes to the cursor and advances; false (status 1) when the
// buffer, which was sized from ElementSize(), has no room: a programming
// error, never a condition of the data.
inline bool Give(ElementCursor* cursor, const void* in, std::size_t n, int* status) {
  if (cursor->Left() < n) {
    *status = kStatusInternalError;
    return false;
  }
  if (n > 0) std::memcpy(cursor->position, in, n);
  cursor->position += n;
  return true;
}

template <typename T>
inline bool Read(ElementCursor* cursor, T* value, int* status) {
  return Take(cursor, value, sizeof(T), status);
}

template <typename T>
inline bool Write(ElementCursor* cursor, T value, int* status) {
  return Give(cursor, &value, sizeof(T), status);
}

}  // namespace wire

#endif
