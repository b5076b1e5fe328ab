// The block of rows of the fetch-block reply.
#include "protocol/RowBlock.h"

#include <cstring>

#include "base/Alloc.h"
#include "base/Trace.h"
#include "protocol/ElementNames.h"
#include "protocol/WireCodec.h"

RowBlockElement::~RowBlockElement() { Release(); }

void RowBlockElement::Release() {
  VelFree(bytes_);
  bytes_ = nullptr;
  length_ = capacity_ = count_ = taken_ = offset_ = 0;
}

bool RowBlockElement::GetElement(ElementCursor* cursor, int* status) {
  ElementCursor start = *cursor;
  uint16_t count = 0;
  if (!wire::Read(cursor, &count, status)) return false;
  const uint8_t* rows = cursor->position;
  for (uint16_t i = 0; i < count; ++i) {
    if (!SkipValueSet(cursor, FetchDataElement::kHeadBytes, status)) {
      Trace('P', 1, "%s: row %u of %u is cut short", ElementName(kId), i + 1u, count);
      *cursor = start;
      return false;
    }
  }
  Release();
  const uint32_t length = static_cast<uint32_t>(cursor->position - rows);
  if (length > 0) {
    bytes_ = static_cast<uint8_t*>(VelAlloc(length));
    if (bytes_ == nullptr) {
      *status = kStatusMemoryFailure;
      return false;
    }
    std::memcpy(bytes_, rows, length);
  }
  length_ = capacity_ = length;
  count_ = count;
  Trace('P', 2, "%s.GetElement()=%u rows, %lu bytes", ElementName(kId), count,
        static_cast<unsigned long>(length));
  return true;
}

bool RowBlockElement::PutElement(ElementCursor* cursor, int* status) {
  Trace('P', 2, "%s.PutElement()=%lu rows, %lu bytes", ElementName(kId),
        static_cast<unsigned long>(count_), static_cast<unsigned long>(length_));
  return wire::Write(cursor, static_cast<uint16_t>(count_), status) &&
         wire::Give(cursor, bytes_, length_, status);
}

bool RowBlockElement::Reserve(uint64_t more) {
  if (length_ + more + 2 > UINT32_MAX) return false;
  if (length_ + more <= capacity_) return true;
  uint64_t grown = capacity_ < 4096 ? 4096 : 2ull * capacity_;
  if (grown < length_ + more) grown = length_ + more;
  if (grown > UINT32_MAX - 2) grown = UINT32_MAX - 2;
  uint8_t* bytes = static_cast<uint8_t*>(VelAlloc(static_cast<uint32_t>(grown)));
  if (bytes == nullptr) return false;
  if (length_ > 0) std::memcpy(bytes, bytes_, length_);
  VelFree(bytes_);
  bytes_ = bytes;
  capacity_ = static_cast<uint32_t>(grown);
  return true;
}

bool RowBlockElement::AppendRow(FetchDataSetElement* row) {
  if (count_ >= kMaxRows || !row->FitsOnWire()) return false;
  const uint32_t size = row->ElementSize();
  if (!Reserve(size)) return false;
  int status = 0;
  ElementCursor cursor{bytes_ + length_, bytes_ + capacity_};
  if (!row->PutElement(&cursor, &status)) return false;
  length_ += size;
  ++count_;
  return true;
}

bool RowBlockElement::BeginRow(uint16_t count) {
  if (count_ >= kMaxRows || !Reserve(2)) return false;
  int status = 0;
  ElementCursor cursor{bytes_ + length_, bytes_ + capacity_};
  wire::Write(&cursor, count, &status);
  length_ += 2;
  ++count_;
  return true;
}

bool RowBlockElement::AppendValue(uint16_t column, const void* data, uint32_t length, bool isNull) {
  if (!Reserve(7ull + length)) return false;
  int status = 0;
  ElementCursor cursor{bytes_ + length_, bytes_ + capacity_};
  wire::Write(&cursor, column, &status);
  if (!ValueBytes::Put(&cursor, isNull, data, length, &status)) return false;
  length_ += 7 + length;
  return true;
}

bool RowBlockElement::NextRow(FetchDataSetElement* row, int* status) {
  if (taken_ >= count_) return false;
  ElementCursor cursor{bytes_ + offset_, bytes_ + length_};
  if (!row->GetElement(&cursor, status)) return false;
  offset_ = static_cast<uint32_t>(cursor.position - bytes_);
  ++taken_;
  return true;
}

bool RowBlockElement::NextRowBytes(const uint8_t** bytes, uint32_t* length) {
  if (taken_ >= count_) return false;
  ElementCursor cursor{bytes_ + offset_, bytes_ + length_};
  int status = 0;
  if (!SkipValueSet(&cursor, FetchDataElement::kHeadBytes, &status)) return false;
  *bytes = bytes_ + offset_;
  *length = static_cast<uint32_t>(cursor.position - *bytes);
  offset_ = static_cast<uint32_t>(cursor.position - bytes_);
  ++taken_;
  return true;
}
