// Lists of items kept as their encodings.
#include "protocol/ByteList.h"

#include <cstring>

#include "base/Alloc.h"
#include "base/Trace.h"
#include "protocol/ElementNames.h"
#include "protocol/WireCodec.h"

ByteListElement::~ByteListElement() { VelFree(bytes_); }

bool ByteListElement::PutElement(ElementCursor* cursor, int* status) {
  Trace('P', 2, "%s.PutElement()=%lu items, %lu bytes", ElementName(ElementId()),
        static_cast<unsigned long>(count_), static_cast<unsigned long>(length_));
  return wire::Write(cursor, static_cast<uint16_t>(count_), status) &&
         wire::Give(cursor, bytes_, length_, status);
}

bool ByteListElement::TakeItems(ElementCursor* cursor, int* status,
                                bool (*skip)(ElementCursor*, int*)) {
  ElementCursor start = *cursor;
  uint16_t count = 0;
  if (!wire::Read(cursor, &count, status)) return false;
  const uint8_t* items = cursor->position;
  for (uint16_t i = 0; i < count; ++i) {
    if (!skip(cursor, status)) {
      Trace('P', 1, "%s: item %u of %u is cut short", ElementName(ElementId()), i + 1u, count);
      *cursor = start;
      return false;
    }
  }
  Clear();
  const uint32_t length = static_cast<uint32_t>(cursor->position - items);
  if (!Reserve(length)) {
    *cursor = start;
    *status = kStatusMemoryFailure;
    return false;
  }
  if (length > 0) std::memcpy(bytes_, items, length);
  length_ = length;
  count_ = count;
  Trace('P', 2, "%s.GetElement()=%u items, %lu bytes", ElementName(ElementId()), count,
        static_cast<unsigned long>(length));
  return true;
}

bool ByteListElement::Reserve(uint64_t more) {
  // The element (its bytes and the count) travels in a frame of a 32-bit
  // length, so the bytes stay below UINT32_MAX - 2 and the 32-bit sizes
  // below cannot wrap.
  constexpr uint64_t kMaxBytes = UINT32_MAX - 2;
  const uint64_t need = length_ + more;
  if (need > kMaxBytes) return false;
  if (need <= capacity_) return true;
  uint64_t grown = capacity_ < 4096 ? 4096 : 2ull * capacity_;
  if (grown < need) grown = need;
  if (grown > kMaxBytes) grown = kMaxBytes;
  uint8_t* bytes = static_cast<uint8_t*>(VelAlloc(static_cast<uint32_t>(grown)));
  if (bytes == nullptr) return false;
  if (length_ > 0) std::memcpy(bytes, bytes_, length_);
  VelFree(bytes_);
  bytes_ = bytes;
  capacity_ = static_cast<uint32_t>(grown);
  return true;
}
