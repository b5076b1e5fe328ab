// BIT, TINYINT, SMALLINT and INTEGER values: one held 32-bit number and a
// table of what each kind does differently.
#ifndef VELORA_CONVERT_INTEGERVALUES_H
#define VELORA_CONVERT_INTEGERVALUES_H

#include "convert/NumberValue.h"

struct IntegerKind;

class IntegerFamilyValue : public NumberValue {
 public:
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetFloat(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetDouble(void* rgbValue, SQLLEN* pcbValue) const override;
  int Load(const uint8_t* bytes, uint32_t size) override;
  int32_t Value() const { return value_; }

 protected:
  explicit IntegerFamilyValue(const IntegerKind& kind) : kind_(kind) {}
  int StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const override;

 private:
  const IntegerKind& kind_;
  int32_t value_ = 0;
};

class BitValue : public IntegerFamilyValue {
 public:
  BitValue();
};
class TinyIntValue : public IntegerFamilyValue {
 public:
  TinyIntValue();
};
class SmallIntValue : public IntegerFamilyValue {
 public:
  SmallIntValue();
};
class IntegerValue : public IntegerFamilyValue {
 public:
  IntegerValue();
};

#endif
