// The value base: ownership and the "not supported" answers.
#include "convert/ColumnValue.h"

#include "convert/NumberValue.h"
#include "protocol/FetchData.h"
#include "protocol/SqlTypeCatalog.h"

ColumnValue::~ColumnValue() {
  delete description;
  // Deleted through the list item's virtual destructor, so this module
  // needs only the element's declaration.
  delete static_cast<ListItem*>(data);
}

bool ColumnValue::HeldBytes(const char**, uint64_t*, uint64_t*) const { return false; }

int ColumnValue::GetBit(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetTinyInt(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetShort(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetLong(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetFloat(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetDouble(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetDate(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetTime(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetTimestamp(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetUShort(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetULong(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetUTinyInt(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetSBigInt(void*, SQLLEN*) const { return kConversionFailed; }
int ColumnValue::GetUBigInt(void*, SQLLEN*) const { return kConversionFailed; }

int NumberValue::GetBit(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetBit, rgbValue, pcbValue);
}
int NumberValue::GetTinyInt(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetTinyInt, rgbValue, pcbValue);
}
int NumberValue::GetShort(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetShort, rgbValue, pcbValue);
}
int NumberValue::GetLong(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetLong, rgbValue, pcbValue);
}
int NumberValue::GetUShort(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetUShort, rgbValue, pcbValue);
}
int NumberValue::GetULong(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetULong, rgbValue, pcbValue);
}
int NumberValue::GetUTinyInt(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetUTinyInt, rgbValue, pcbValue);
}
int NumberValue::GetSBigInt(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetSBigInt, rgbValue, pcbValue);
}
int NumberValue::GetUBigInt(void* rgbValue, SQLLEN* pcbValue) const {
  return StoreInteger(kTargetUBigInt, rgbValue, pcbValue);
}

uint32_t ColumnValue::DisplaySize() const {
  const SqlTypeInfo* type = FindSqlTypeInfo(SqlType());
  return type ? DisplaySizeOf(*type, description->length, description->precision) : 0;
}
