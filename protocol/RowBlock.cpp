// The block of rows of the fetch-block reply.
#include "protocol/RowBlock.h"

#include <cstring>

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

bool RowBlockElement::BeginRow(uint16_t count, uint64_t dataBytes) {
  if (count_ >= kMaxRows || !Reserve(2 + 7ull * count + dataBytes)) return false;
  int status = 0;
  ElementCursor cursor = WriteCursor();
  if (!wire::Write(&cursor, count, &status)) return false;
  length_ += 2;
  ++count_;
  return true;
}

bool RowBlockElement::AppendValue(uint16_t column, const void* data, uint32_t length, bool isNull) {
  // Written in place (the fetchData form: column, null flag, length,
  // data, little-endian): one row's values come by the thousand.
  if (capacity_ - length_ < 7ull + length && !Reserve(7ull + length)) return false;
  uint8_t* at = bytes_ + length_;
  at[0] = static_cast<uint8_t>(column);
  at[1] = static_cast<uint8_t>(column >> 8);
  at[2] = isNull ? 1 : 0;
  for (int i = 0; i < 4; ++i) at[3 + i] = static_cast<uint8_t>(length >> (8 * i));
  if (length > 0) std::memcpy(at + 7, data, length);
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
