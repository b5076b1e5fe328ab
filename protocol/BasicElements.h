// The element kinds holding numbers, codes, texts and fixed arrays, and the
// template that turns a kind into a concrete element with its own number.
#ifndef VELORA_PROTOCOL_BASICELEMENTS_H
#define VELORA_PROTOCOL_BASICELEMENTS_H

#include <cstdint>

#include "base/String.h"
#include "protocol/Element.h"
#include "protocol/WireNumbers.h"

// A concrete element: a kind with its element number fixed. Each
// instantiation is a class of its own (see protocol/Elements.h).
template <class Kind, int Id>
class ConcreteElement final : public Kind {
 public:
  static constexpr int kId = Id;
  int ElementId() const override { return Id; }
};

// Signed 16-bit value; 2 bytes.
class ShortElement : public Element {
 public:
  bool Reset() override {
    value = 0;
    return true;
  }
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return 2; }
  int16_t value = 0;
};

// Signed 32-bit value; 4 bytes.
class LongElement : public Element {
 public:
  bool Reset() override {
    value = 0;
    return true;
  }
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return 4; }
  int32_t value = 0;
};

// Unsigned 32-bit value; 4 bytes.
class ULongElement : public Element {
 public:
  bool Reset() override {
    value = 0;
    return true;
  }
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return 4; }
  uint32_t value = 0;
};

// 32-bit code sent as its low 16 bits and sign-extended when read.
class EnumElement : public Element {
 public:
  bool Reset() override {
    value = 0;
    return true;
  }
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return 2; }
  int32_t value = 0;

 protected:
  bool GetEnumeratedElement(ElementCursor* cursor, int* status, uint16_t* code);
  bool PutEnumeratedElement(ElementCursor* cursor, int* status);
};

// Longest text a StringElement carries: its length travels in 16 bits and
// is taken as a signed 16-bit number.
constexpr uint32_t kMaxStringElementLength = 32767;

// Text: 16-bit length n, then n bytes without terminator.
class StringElement : public Element {
 public:
  bool Reset() override {
    value.Clear();
    return true;
  }
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return value.Length() + 2; }
  bool FitsOnWire() const override { return value.Length() <= kMaxStringElementLength; }
  String value;
};

// 16-bit count n, then n unsigned 16-bit values.
class ShortVectorElement : public Element {
 public:
  ~ShortVectorElement() override;
  bool Reset() override;
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  uint32_t ElementSize() const override { return 2u * count_ + 2u; }

  // Releases the old array and makes room for n values (all 0). Returns
  // false, leaving count 0 and no array, when memory runs out.
  bool SetCount(uint16_t n);
  // Requires index < Count() (consistency check).
  void SetAt(uint16_t index, uint16_t value);
  uint16_t Count() const { return count_; }
  uint16_t At(uint16_t index) const;

 private:
  uint16_t count_ = 0;
  uint16_t* values_ = nullptr;
};

// The thirteen 16-bit value sizes of the server's fixed-size types; no
// count on the wire.
class NativeLengthValuesElement : public Element {
 public:
  static constexpr int kId = El::kNativeLengthValues;
  static constexpr int kCount = 13;
  bool GetElement(ElementCursor* cursor, int* status) override;
  bool PutElement(ElementCursor* cursor, int* status) override;
  int ElementId() const override { return kId; }
  uint32_t ElementSize() const override { return 2 * kCount; }
  uint16_t values[kCount] = {};
};

#endif
