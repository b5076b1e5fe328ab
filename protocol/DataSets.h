// Row and parameter elements: fetchDataSet (one row's column values),
// parameterDataElement (one parameter value) and parameterDataSetElement
// (the parameters of one execution).
#ifndef VELORA_PROTOCOL_DATASETS_H
#define VELORA_PROTOCOL_DATASETS_H

#include <cstdint>

#include "protocol/Element.h"
#include "protocol/WireNumbers.h"
#include "protocol/FetchData.h"

class FetchDataList : public TypedList<FetchDataElement> {};

// 16-bit count n, then n fetchData encodings.
class FetchDataSetElement : public Element {
 public:
  static constexpr int kId = El::kFetchDataSet;
  ~FetchDataSetElement() override;
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override;
  bool FitsOnWire() const override;

  // Destroys the list and gives the element a new empty one; false (no
  // list) when memory runs out.
  bool ResetList();
  // The values received, or null before the first decoding/ResetList.
  FetchDataList* List() { return list_; }
  // Keeps a value taken off the list (owned from now on) for the next
  // decoding to fill again, so that row after row of the same shape
  // decodes without allocating.
  void Recycle(FetchDataElement* value) { spares_.Append(value); }
  // A kept value to fill again, else a new one; null when memory runs out.
  FetchDataElement* TakeSpare();

 private:
  FetchDataList* list_ = nullptr;
  FetchDataList spares_;
};

// Parameter number (2 bytes), SQL type (low 16 bits), null flag (1 byte),
// length n (4 bytes), then n data bytes.
class ParameterDataElement : public Element {
 public:
  static constexpr int kId = El::kParameterDataElement;
  // Parameter number, SQL type, null flag and length: the bytes before the data.
  static constexpr uint32_t kHeadBytes = 9;
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override { return value_.Length() + kHeadBytes; }
  bool FitsOnWire() const override { return value_.Length() <= UINT32_MAX - kHeadBytes; }

  // As FetchDataElement::Set, with the SQL type added. Returns false,
  // leaving the element null with length 0, when memory runs out.
  bool Set(uint16_t number, int32_t sqlType, const void* data, uint32_t length, bool isNull);

  uint16_t Number() const { return number_; }
  int32_t SqlType() const { return sqlType_; }
  bool IsNull() const { return value_.IsNull(); }
  uint32_t Length() const { return value_.Length(); }
  const uint8_t* Data() const { return value_.Data(); }

 private:
  uint16_t number_ = 0;
  int32_t sqlType_ = 0;
  ValueBytes value_;
};

class ParameterDataList : public TypedList<ParameterDataElement> {};

// Skips one fetchDataSet or parameterDataSetElement encoding at cursor
// without decoding it: a 16-bit count, then each value's headBytes (its
// element's kHeadBytes, ending in the 4-byte length) and data. False
// (status 0) when the bytes end inside it.
bool SkipValueSet(ElementCursor* cursor, uint32_t headBytes, int* status);

// 16-bit count n, then n parameterDataElement encodings.
class ParameterDataSetElement : public Element {
 public:
  static constexpr int kId = El::kParameterDataSetElement;
  ~ParameterDataSetElement() override;
  bool Reset() override {
    SetList(nullptr);
    return true;
  }
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override;
  bool FitsOnWire() const override;

  // Destroys the current list, if any, and takes ownership of list.
  void SetList(ParameterDataList* list);
  ParameterDataList* List() { return list_; }

 private:
  ParameterDataList* list_ = nullptr;
};

#endif
