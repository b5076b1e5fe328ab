// BIGINT values: a 64-bit magnitude in four 16-bit words and a sign word.
#ifndef VELORA_CONVERT_BIGINTVALUE_H
#define VELORA_CONVERT_BIGINTVALUE_H

#include "convert/NumberValue.h"

class BigIntValue : public NumberValue {
 public:
  // Every digit of the value, exactly.
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  // 8 bytes: the magnitude with bit 63 set for a negative value.
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetFloat(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetDouble(void* rgbValue, SQLLEN* pcbValue) const override;
  int Load(const uint8_t* bytes, uint32_t size) override;

  // ((w0 * 65536 + w1) * 65536 + w2) * 65536 + w3
  uint64_t Magnitude() const;
  bool Negative() const { return words_[4] != 0; }

 protected:
  int StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const override;

 private:
  uint16_t words_[5] = {};  // w0 (most significant) .. w3, sign
};

#endif
