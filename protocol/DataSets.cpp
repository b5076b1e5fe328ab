// Encoding and decoding of fetchDataSet, parameterDataElement and
// parameterDataSetElement.
#include "protocol/DataSets.h"

#include <cstdio>
#include <cstring>

#include "base/Trace.h"
#include "protocol/ElementNames.h"
#include "protocol/WireCodec.h"

namespace {

const uint32_t kMaxCount = 65535;

// Sum of the items' sizes, saturated so that an absurd total cannot wrap.
template <class List>
uint32_t ListSize(List* list) {
  uint64_t total = 2;
  if (list != nullptr) {
    for (Element* e = list->Head(); e != nullptr; e = static_cast<Element*>(e->NextItem())) {
      total += e->ElementSize();
    }
  }
  return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

template <class List>
bool ListFits(List* list) {
  if (list == nullptr) return true;
  if (list->Count() > kMaxCount) return false;
  uint64_t total = 2;
  for (Element* e = list->Head(); e != nullptr; e = static_cast<Element*>(e->NextItem())) {
    if (!e->FitsOnWire()) return false;
    total += e->ElementSize();
  }
  return total <= UINT32_MAX;
}

template <class List>
bool PutList(List* list, ElementCursor* cursor, int* status) {
  uint16_t count = list != nullptr ? static_cast<uint16_t>(list->Count()) : 0;
  if (!wire::Write(cursor, count, status)) return false;
  if (list == nullptr) return true;
  for (Element* e = list->Head(); e != nullptr; e = static_cast<Element*>(e->NextItem())) {
    if (!e->PutElement(cursor, status)) return false;
  }
  return true;
}

// Reads a count and checks that count items of at least minItem bytes can
// follow, so that nothing is created for a count the body cannot hold.
bool ReadCount(ElementCursor* cursor, uint32_t minItem, uint16_t* count, int* status) {
  ElementCursor start = *cursor;
  if (!wire::Read(cursor, count, status)) return false;
  if (cursor->Left() / minItem < *count) {
    *cursor = start;
    *status = kStatusCommunicationFailure;
    return false;
  }
  return true;
}

// Decodes and appends count items of type Item to list, each taken from
// spares while it has one, else created.
template <class Item, class List>
bool GetItems(List* list, uint16_t count, ElementCursor* cursor, int* status,
              List* spares = nullptr) {
  for (uint16_t i = 0; i < count; ++i) {
    Item* item = spares != nullptr && spares->Head() != nullptr ? spares->Unlink(spares->Head())
                                                                : new (std::nothrow) Item;
    if (item == nullptr) {
      *status = kStatusMemoryFailure;
      return false;
    }
    if (!item->GetElement(cursor, status)) {
      delete item;
      return false;
    }
    list->Append(item);
  }
  return true;
}

}  // namespace

FetchDataSetElement::~FetchDataSetElement() { delete list_; }

bool FetchDataSetElement::ResetList() {
  delete list_;
  list_ = new (std::nothrow) FetchDataList;
  return list_ != nullptr;
}

uint32_t FetchDataSetElement::ElementSize() const { return ListSize(list_); }
bool FetchDataSetElement::FitsOnWire() const { return ListFits(list_); }

FetchDataElement* FetchDataSetElement::TakeSpare() {
  return spares_.Head() != nullptr ? spares_.Unlink(spares_.Head())
                                   : new (std::nothrow) FetchDataElement;
}

bool FetchDataSetElement::GetElement(ElementCursor* cursor, int* status) {
  if ((list_ == nullptr || list_->Count() != 0) && !ResetList()) {
    *status = kStatusMemoryFailure;
    return false;
  }
  uint16_t count = 0;
  if (!ReadCount(cursor, FetchDataElement::kHeadBytes, &count, status)) return false;
  return GetItems<FetchDataElement>(list_, count, cursor, status, &spares_);
}

bool FetchDataSetElement::PutElement(ElementCursor* cursor, int* status) {
  if (!FitsOnWire()) {
    *status = kStatusValueTooLong;
    return false;
  }
  return PutList(list_, cursor, status);
}

bool ParameterDataElement::Set(uint16_t number, int32_t sqlType, const void* data, uint32_t length,
                               bool isNull) {
  number_ = number;
  sqlType_ = sqlType;
  return value_.Set(data, length, isNull);
}

namespace {
void DumpParameter(const char* direction, const ParameterDataElement& e, const uint8_t* start) {
  if (!TraceEnabled('P', 2)) return;
  char title[160];
  std::snprintf(title, sizeof title, "%s.%s() #%u type=%s, nullFlag=%d, length=%lu",
                ElementName(ParameterDataElement::kId), direction, e.Number(),
                ValueName(El::kSqlDataType, e.SqlType()), e.IsNull() ? 1 : 0,
                static_cast<unsigned long>(e.Length()));
  TraceDump(title, start, e.ElementSize());
}
}  // namespace

bool ParameterDataElement::GetElement(ElementCursor* cursor, int* status) {
  ElementCursor start = *cursor;
  uint16_t number = 0;
  int16_t type = 0;
  if (!wire::Read(cursor, &number, status) || !wire::Read(cursor, &type, status) ||
      !value_.Get(cursor, status)) {
    *cursor = start;
    if (*status == kStatusMemoryFailure) {
      number_ = number;
      sqlType_ = type;
    }
    return false;
  }
  number_ = number;
  sqlType_ = type;
  DumpParameter("GetElement", *this, start.position);
  return true;
}

bool ParameterDataElement::PutElement(ElementCursor* cursor, int* status) {
  if (!FitsOnWire()) {
    *status = kStatusValueTooLong;
    return false;
  }
  if (cursor->Left() < static_cast<std::size_t>(ElementSize())) {
    *status = kStatusInternalError;
    return false;
  }
  const uint8_t* start = cursor->position;
  wire::Write(cursor, number_, status);
  wire::Write(cursor, static_cast<uint16_t>(sqlType_), status);
  value_.Put(cursor, status);
  DumpParameter("PutElement", *this, start);
  return true;
}

ParameterDataSetElement::~ParameterDataSetElement() { delete list_; }

void ParameterDataSetElement::SetList(ParameterDataList* list) {
  if (list == list_) return;
  delete list_;
  list_ = list;
}

uint32_t ParameterDataSetElement::ElementSize() const { return ListSize(list_); }
bool ParameterDataSetElement::FitsOnWire() const { return ListFits(list_); }

bool ParameterDataSetElement::GetElement(ElementCursor* cursor, int* status) {
  ParameterDataList* list = new (std::nothrow) ParameterDataList;
  if (list == nullptr) {
    *status = kStatusMemoryFailure;
    return false;
  }
  SetList(list);
  uint16_t count = 0;
  if (!ReadCount(cursor, ParameterDataElement::kHeadBytes, &count, status)) return false;
  return GetItems<ParameterDataElement>(list_, count, cursor, status);
}

bool ParameterDataSetElement::PutElement(ElementCursor* cursor, int* status) {
  if (!FitsOnWire()) {
    *status = kStatusValueTooLong;
    return false;
  }
  return PutList(list_, cursor, status);
}

bool SkipValueSet(ElementCursor* cursor, uint32_t headBytes, int* status) {
  uint16_t values = 0;
  if (!wire::Read(cursor, &values, status)) return false;
  for (uint16_t i = 0; i < values; ++i) {
    uint32_t length = 0;
    if (cursor->Left() < headBytes) {
      *status = kStatusCommunicationFailure;
      return false;
    }
    std::memcpy(&length, cursor->position + headBytes - sizeof length, sizeof length);
    if (cursor->Left() - headBytes < length) {
      *status = kStatusCommunicationFailure;
      return false;
    }
    cursor->position += headBytes + length;
  }
  return true;
}
