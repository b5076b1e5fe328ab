// CHAR, VARCHAR and LONGVARCHAR values: the family that converts to every
// C type.
#ifndef VELORA_CONVERT_TEXTVALUES_H
#define VELORA_CONVERT_TEXTVALUES_H

#include "convert/Decimal.h"
#include "convert/NumberValue.h"

class TextValue : public NumberValue {
 public:
  ~TextValue() override;

  // *pcbValue = `length` (for CHAR the declared length: the text and its
  // NUL padding are copied).
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  // Both copy the `length` held bytes (CHAR: the text and its NUL padding).
  bool HeldBytes(const char** bytes, uint64_t* held, uint64_t* count) const override;
  int GetFloat(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetDouble(void* rgbValue, SQLLEN* pcbValue) const override;
  // Fields at fixed positions: yyyy-mm-dd, hh:mm:ss, yyyy-mm-dd hh:mm:ss.f
  int GetDate(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetTime(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const override;

  // The held text (NUL-terminated, "" before any load) and its length
  // without CHAR's NUL padding.
  const char* Text() const { return buffer_ ? buffer_ : ""; }
  uint32_t TextLength() const { return textLength_; }

 protected:
  int StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const override;
  // Reads the whole text as a number; false when it is not one.
  bool ReadNumber(Decimal* value) const;
  // Text length without trailing blanks: where the fixed date and time
  // positions end.
  uint32_t TrimmedLength() const;
  // Replaces the held text by n bytes of bytes and a NUL; false (holding
  // nothing) when memory runs out.
  bool Hold(const uint8_t* bytes, uint32_t n);

  char* buffer_ = nullptr;
  uint32_t textLength_ = 0;
  uint32_t capacity_ = 0;  // of buffer_, kept from load to load
};

// Holds at most the declared length of text, in a buffer that grows to
// the longest text loaded (see Hold); converts as the text padded with NULs to
// the declared length.
class CharValue : public TextValue {
 public:
  int Load(const uint8_t* bytes, uint32_t size) override;
};

// Holds the whole text; every Load allocates a new buffer.
class VarCharValue : public TextValue {
 public:
  int Load(const uint8_t* bytes, uint32_t size) override;
};

class LongVarCharValue : public VarCharValue {};

#endif
