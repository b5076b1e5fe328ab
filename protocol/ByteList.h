// A 16-bit count n, then n items held as the bytes that travel, so that
// many items (parameter sets, batch outcomes, fetched rows) cost one
// allocation. Items are appended by the sender and read one at a time by
// the receiver.
#ifndef VELORA_PROTOCOL_BYTELIST_H
#define VELORA_PROTOCOL_BYTELIST_H

#include <cstdint>

#include "protocol/Element.h"

class ByteListElement : public Element {
 public:
  static constexpr uint32_t kMaxItems = 65535;
  ByteListElement() = default;
  ~ByteListElement() override;
  ByteListElement(const ByteListElement&) = delete;
  ByteListElement& operator=(const ByteListElement&) = delete;

  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return length_ + 2; }
  uint32_t Items() const { return count_; }
  // Forgets every item (the element can be filled again; its memory stays).
  void Clear() { length_ = count_ = offset_ = taken_ = 0; }

 protected:
  // Keeps the count items that start at cursor after checking each with
  // skip (which advances over one item or fails with *status set).
  [[nodiscard]] bool TakeItems(ElementCursor* cursor, int* status,
                               bool (*skip)(ElementCursor*, int*));
  // Makes room for more bytes after those held: false when memory runs
  // out or the element would no longer fit a frame's 32-bit length.
  [[nodiscard]] bool Reserve(uint64_t more);
  // The bytes not yet read by the receiver.
  ElementCursor ReadCursor() { return {bytes_ + offset_, bytes_ + length_}; }
  ElementCursor WriteCursor() { return {bytes_ + length_, bytes_ + capacity_}; }
  uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t offset_ = 0;  // where the receiver reads next
  uint32_t taken_ = 0;   // items read by the receiver
};

#endif
