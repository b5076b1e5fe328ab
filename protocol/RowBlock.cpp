// The block of rows of the fetch-block reply.
#include "protocol/RowBlock.h"

#include "base/Alloc.h"
#include "protocol/WireCodec.h"

namespace {

bool SkipRow(ElementCursor* cursor, int* status) {
  return SkipValueSet(cursor, FetchDataElement::kHeadBytes, status);
}

}  // namespace

bool RowBlockElement::Reset() {
  constexpr uint32_t kKeptBytes = 64u << 10;
  if (capacity_ > kKeptBytes) {
    VelFree(bytes_);
    bytes_ = nullptr;
    capacity_ = 0;
  }
  Clear();
  return true;
}

bool RowBlockElement::GetElement(ElementCursor* cursor, int* status) {
  return TakeItems(cursor, status, SkipRow);
}

bool RowBlockElement::AppendRow(FetchDataSetElement* row) {
  if (count_ >= kMaxRows || !row->FitsOnWire()) return false;
  const uint32_t size = row->ElementSize();
  if (!Reserve(size)) return false;
  int status = 0;
  ElementCursor cursor = WriteCursor();
  if (!row->PutElement(&cursor, &status)) return false;
  length_ += size;
  ++count_;
  return true;
}

bool RowBlockElement::BeginRow(uint16_t count) {
  if (count_ >= kMaxRows || !Reserve(2)) return false;
  int status = 0;
  ElementCursor cursor = WriteCursor();
  if (!wire::Write(&cursor, count, &status)) return false;
  length_ += 2;
  ++count_;
  return true;
}

bool RowBlockElement::AppendValue(uint16_t column, const void* data, uint32_t length, bool isNull) {
  if (!Reserve(7ull + length)) return false;
  int status = 0;
  ElementCursor cursor = WriteCursor();
  if (!wire::Write(&cursor, column, &status) ||
      !ValueBytes::Put(&cursor, isNull, data, length, &status))
    return false;
  length_ += 7 + length;
  return true;
}

bool RowBlockElement::NextRow(FetchDataSetElement* row, int* status) {
  if (taken_ >= count_) return false;
  ElementCursor cursor = ReadCursor();
  if (!row->GetElement(&cursor, status)) return false;
  offset_ = static_cast<uint32_t>(cursor.position - bytes_);
  ++taken_;
  return true;
}

bool RowBlockElement::NextRowBytes(const uint8_t** bytes, uint32_t* length) {
  if (taken_ >= count_) return false;
  ElementCursor cursor = ReadCursor();
  int status = 0;
  if (!SkipValueSet(&cursor, FetchDataElement::kHeadBytes, &status)) return false;
  *bytes = bytes_ + offset_;
  *length = static_cast<uint32_t>(cursor.position - *bytes);
  offset_ = static_cast<uint32_t>(cursor.position - bytes_);
  ++taken_;
  return true;
}
