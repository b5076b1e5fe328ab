// One typed field of a protocol message. Nothing on the wire names an
// element: both ends know each message's sequence of elements, and each
// element knows its own encoding.
#ifndef VELORA_PROTOCOL_ELEMENT_H
#define VELORA_PROTOCOL_ELEMENT_H

#include <cstddef>
#include <cstdint>

#include "base/LinkedList.h"

// Exchange status, stored by whatever fails.
enum ExchangeStatus {
  kStatusCommunicationFailure = 0,
  kStatusInternalError = 1,
  kStatusMemoryFailure = 2,
  kStatusReplied = 3,
  // A value too long for its element: refused before anything was sent.
  kStatusValueTooLong = 4,
  // A request body over Request::kMaxBodyLength: nothing was sent.
  kStatusBodyTooLong = 5,
};

// A position in a frame buffer with the end of the bytes that may be read
// or written: decoding never reads past end.
struct ElementCursor {
  uint8_t* position;
  const uint8_t* end;
  std::size_t Left() const { return static_cast<std::size_t>(end - position); }
};

class Element : public ListItem {
 public:
  // Decodes the element at cursor and advances it by the bytes read. On
  // failure stores the reason in *status (memory: 2; bytes missing: 0)
  // and returns false.
  [[nodiscard]] virtual bool GetElement(ElementCursor* cursor, int* status) = 0;
  // Encodes the element at cursor and advances it by ElementSize() bytes.
  [[nodiscard]] virtual bool PutElement(ElementCursor* cursor, int* status) = 0;
  // Index in the element name table (0..65); used for trace lines only.
  virtual int ElementId() const = 0;
  // Bytes the element occupies on the wire with its current value.
  virtual uint32_t ElementSize() const = 0;
  // False when the current value cannot be encoded faithfully (a text
  // longer than a length field can carry); such a request is not sent.
  virtual bool FitsOnWire() const { return true; }
  // True when a request sends nothing for the element: an offer at the end
  // of a request body that asks for nothing (0), which the other end reads
  // as 0 when the body ends before it. Replies carry every element.
  virtual bool LeftOutOfRequest() const { return false; }
  // Puts the element back in the state it was created in (buffers may be
  // kept), so that its request can serve another message of its code;
  // false for a kind that cannot, whose request is then made anew.
  virtual bool Reset() { return false; }
};

class ElementList : public TypedList<Element> {};

#endif
