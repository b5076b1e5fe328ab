// fetchData: one column value of a row as the server sends it.
// Wire: column number (2 bytes), null flag (1 byte), length n (4 bytes),
// then n data bytes.
#ifndef VELORA_PROTOCOL_FETCHDATA_H
#define VELORA_PROTOCOL_FETCHDATA_H

#include <cstdint>

#include "protocol/Element.h"
#include "protocol/WireNumbers.h"

// The value part that fetchData and parameterDataElement share after their
// numbers: null flag (1 byte), length n (4 bytes), then n data bytes. A
// new value is null with length 0.
class ValueBytes {
 public:
  ValueBytes() = default;
  ~ValueBytes();
  ValueBytes(const ValueBytes&) = delete;
  ValueBytes& operator=(const ValueBytes&) = delete;

  // Releases the old data and, unless isNull, stores a copy of length bytes
  // of data (zeros when data is null). Returns false, leaving the value null
  // with length 0, when memory runs out.
  bool Set(const void* data, uint32_t length, bool isNull);
  // Decodes flag, length and data at cursor. The length decides how many
  // bytes follow, also for a value flagged null (they are kept, so that
  // encoding again reproduces what arrived). The buffer of the value
  // decoded before is used again when it is large enough. False with *status 0 (nothing
  // changed) when the bytes are missing, or 2 (the value left null with
  // length 0) when memory runs out; the caller restores the cursor.
  bool Get(ElementCursor* cursor, int* status);
  // Encodes flag (1 or 0), length and data; false (status 1) without room.
  bool Put(ElementCursor* cursor, int* status) const {
    return Put(cursor, null_, data_, length_, status);
  }
  // The same for a value held elsewhere (data may be null when length is 0).
  static bool Put(ElementCursor* cursor, bool isNull, const void* data, uint32_t length,
                  int* status);

  // Bytes on the wire: flag, length and data.
  uint32_t WireSize() const { return length_ + 5; }
  bool IsNull() const { return null_; }
  uint32_t Length() const { return length_; }
  const uint8_t* Data() const { return length_ > 0 ? data_ : nullptr; }

 private:
  void Release();
  bool null_ = true;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;  // bytes at data_
  uint8_t* data_ = nullptr;
};

class FetchDataElement : public Element {
 public:
  static constexpr int kId = El::kFetchData;
  // Column number, null flag and length: the bytes before the data.
  static constexpr uint32_t kHeadBytes = 7;
  FetchDataElement() = default;

  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override { return value_.Length() + kHeadBytes; }
  bool FitsOnWire() const override { return value_.Length() <= UINT32_MAX - kHeadBytes; }

  // Stores the column number and, unless isNull, a copy of length bytes of
  // data (zeros when data is null). Returns false, leaving the element null
  // with length 0, when memory runs out.
  bool Set(uint16_t column, const void* data, uint32_t length, bool isNull);
  // Set with other's values; other must be given (consistency check).
  bool CopyFrom(const FetchDataElement* other);

  uint16_t Column() const { return column_; }
  bool IsNull() const { return value_.IsNull(); }
  uint32_t Length() const { return value_.Length(); }
  const uint8_t* Data() const { return value_.Data(); }

 private:
  uint16_t column_ = 0;
  ValueBytes value_;
};

#endif
