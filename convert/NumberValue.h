// Base of the classes that convert to every integer C type: one hook
// serves all nine integer targets.
#ifndef VELORA_CONVERT_NUMBERVALUE_H
#define VELORA_CONVERT_NUMBERVALUE_H

#include "convert/ColumnValue.h"
#include "convert/IntegerTargets.h"

class NumberValue : public ColumnValue {
 public:
  int GetBit(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetTinyInt(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetShort(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetLong(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetUShort(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetULong(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetUTinyInt(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetSBigInt(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetUBigInt(void* rgbValue, SQLLEN* pcbValue) const override;

 protected:
  // Converts the held value into target with the class's rules.
  virtual int StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const = 0;
};

#endif
