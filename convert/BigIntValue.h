// BIGINT values: a 64-bit magnitude and a sign.
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

  uint64_t Magnitude() const { return magnitude_; }
  bool Negative() const { return negative_; }

 protected:
  int StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const override;

 private:
  bool negative_ = false;
  uint64_t magnitude_ = 0;
};

#endif
