// BINARY, VARBINARY and LONGVARBINARY values: raw bytes, converted to
// characters (two uppercase hexadecimal digits a byte) and to binary only.
#ifndef VELORA_CONVERT_BINARYVALUES_H
#define VELORA_CONVERT_BINARYVALUES_H

#include "convert/ColumnValue.h"

class BinaryValueBase : public ColumnValue {
 public:
  ~BinaryValueBase() override;
  // The digits and a NUL, cut on whole bytes to the buffer.
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  bool HeldBytes(const char** bytes, uint64_t* held, uint64_t* count) const override;
  const uint8_t* Bytes() const { return bytes_; }

 protected:
  // Replaces the held bytes with count bytes of source.
  int Hold(const uint8_t* source, uint32_t count);
  // Frees the held bytes; `length` of the variable kinds becomes 0.
  void Drop();
  // Loads a counted value (VARBINARY, LONGVARBINARY) of sqlType.
  int LoadCounted(int32_t sqlType, const uint8_t* bytes, uint32_t size);
  uint8_t* bytes_ = nullptr;
};

// Exactly the declared length of bytes.
class BinaryValue : public BinaryValueBase {
 public:
  int Load(const uint8_t* bytes, uint32_t size) override;
};

// A 1-byte count, then the bytes.
class VarBinaryValue : public BinaryValueBase {
 public:
  int Load(const uint8_t* bytes, uint32_t size) override;
};

// A 4-byte count, then the bytes.
class LongVarBinaryValue : public BinaryValueBase {
 public:
  int Load(const uint8_t* bytes, uint32_t size) override;
};

#endif
