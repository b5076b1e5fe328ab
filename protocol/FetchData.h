// fetchData: one column value of a row as the server sends it.
// Wire: column number (2 bytes), null flag (1 byte), length n (4 bytes),
// then n data bytes.
#ifndef VELORA_PROTOCOL_FETCHDATA_H
#define VELORA_PROTOCOL_FETCHDATA_H

#include <cstdint>

#include "protocol/Element.h"

class FetchDataElement : public Element {
 public:
  static constexpr int kId = 15;
  FetchDataElement() = default;
  ~FetchDataElement() override;

  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return 15; }
  uint32_t ElementSize() const override { return length_ + 7; }
  bool FitsOnWire() const override { return length_ <= UINT32_MAX - 7; }

  // Stores the column number and, unless isNull, a copy of length bytes of
  // data (zeros when data is null). Returns false, leaving the element null
  // with length 0, when memory runs out.
  bool Set(uint16_t column, const void* data, uint32_t length, bool isNull);
  // Set with other's values; other must be given (consistency check).
  bool CopyFrom(const FetchDataElement* other);

  uint16_t Column() const { return column_; }
  bool IsNull() const { return nullFlag_; }
  uint32_t Length() const { return length_; }
  const uint8_t* Data() const { return data_; }

 private:
  void Release();
  uint16_t column_ = 0;
  bool nullFlag_ = true;
  uint32_t length_ = 0;
  uint8_t* data_ = nullptr;
};

#endif
