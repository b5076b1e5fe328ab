// fetchData: one column value of a row, with its encoding and dump, and the
// value part (flag, length, data) it shares with parameterDataElement.
#include "protocol/FetchData.h"

#include <cstdio>
#include <cstring>

#include "base/Check.h"
#include "base/Trace.h"
#include "protocol/ElementNames.h"
#include "protocol/WireCodec.h"

namespace {

void DumpFetchData(const char* direction, const FetchDataElement& e, const uint8_t* start) {
  if (!TraceEnabled('P', 2)) return;
  char title[160];
  std::snprintf(title, sizeof title, "%s.%s() column=%u, nullFlag=%d, length=%lu",
                ElementName(FetchDataElement::kId), direction, e.Column(), e.IsNull() ? 1 : 0,
                static_cast<unsigned long>(e.Length()));
  TraceDump(title, start, e.ElementSize());
}

}  // namespace

ValueBytes::~ValueBytes() { Release(); }

void ValueBytes::Release() {
  VelFree(data_);
  data_ = nullptr;
  length_ = capacity_ = 0;
}

bool ValueBytes::Set(const void* data, uint32_t length, bool isNull) {
  Release();
  null_ = true;
  if (isNull) return true;
  if (length > 0) {
    data_ = static_cast<uint8_t*>(VelAlloc(length));
    if (data_ == nullptr) return false;
    capacity_ = length;
    if (data != nullptr) {
      std::memcpy(data_, data, length);
    } else {
      std::memset(data_, 0, length);
    }
  }
  length_ = length;
  null_ = false;
  return true;
}

bool ValueBytes::Get(ElementCursor* cursor, int* status) {
  ElementCursor start = *cursor;
  uint8_t flag = 0;
  uint32_t n = 0;
  if (!wire::Read(cursor, &flag, status) || !wire::Read(cursor, &n, status) || cursor->Left() < n) {
    *cursor = start;
    *status = kStatusCommunicationFailure;
    return false;
  }
  null_ = true;
  length_ = 0;
  if (n > capacity_) {
    Release();
    data_ = static_cast<uint8_t*>(VelAlloc(n));
    if (data_ == nullptr) {
      *cursor = start;
      *status = kStatusMemoryFailure;
      return false;
    }
    capacity_ = n;
  }
  if (n > 0) {
    wire::Take(cursor, data_, n, status);
    length_ = n;
  }
  null_ = flag != 0;
  return true;
}

bool ValueBytes::Put(ElementCursor* cursor, bool isNull, const void* data, uint32_t length,
                     int* status) {
  if (cursor->Left() < static_cast<std::size_t>(length) + 5) {
    *status = kStatusInternalError;
    return false;
  }
  wire::Write(cursor, static_cast<uint8_t>(isNull ? 1 : 0), status);
  wire::Write(cursor, length, status);
  return wire::Give(cursor, data, length, status);
}

bool FetchDataElement::Set(uint16_t column, const void* data, uint32_t length, bool isNull) {
  column_ = column;
  return value_.Set(data, length, isNull);
}

bool FetchDataElement::CopyFrom(const FetchDataElement* other) {
  VEL_CHECK_TEXT(other != nullptr, "fData != 0", VEL_MODULE);
  if (other == this) return true;
  return Set(other->column_, other->Data(), other->Length(), other->IsNull());
}

bool FetchDataElement::GetElement(ElementCursor* cursor, int* status) {
  ElementCursor start = *cursor;
  uint16_t column = 0;
  if (!wire::Read(cursor, &column, status) || !value_.Get(cursor, status)) {
    *cursor = start;
    if (*status == kStatusMemoryFailure) column_ = column;
    return false;
  }
  column_ = column;
  DumpFetchData("GetElement", *this, start.position);
  return true;
}

bool FetchDataElement::PutElement(ElementCursor* cursor, int* status) {
  if (!FitsOnWire()) {
    *status = kStatusValueTooLong;
    return false;
  }
  if (cursor->Left() < static_cast<std::size_t>(ElementSize())) {
    *status = kStatusInternalError;
    return false;
  }
  const uint8_t* start = cursor->position;
  wire::Write(cursor, column_, status);
  value_.Put(cursor, status);
  DumpFetchData("PutElement", *this, start);
  return true;
}
