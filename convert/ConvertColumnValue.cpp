// The dispatch by C type: the table's operation for a C type, run on the
// value's class.
#include "convert/ConvertColumnValue.h"

#include "convert/NumericGuid.h"
#include "convert/WideValue.h"

int ConvertColumnValue(const ColumnValue* value, SQLSMALLINT fCType, void* rgbValue,
                       SQLLEN cbValueMax, SQLLEN* pcbValue) {
  if (fCType == SQL_C_DEFAULT) fCType = DefaultCType(value->SqlType());
  CTarget op;
  if (!FindCTarget(fCType, &op)) return kConversionUnknownCType;
  if (op == kToChar || op == kToBinary || op == kToWChar) {
    if (!rgbValue) cbValueMax = 0;
    if (op == kToWChar) return GetWideText(value, 0, rgbValue, cbValueMax, pcbValue, nullptr);
    return op == kToChar ? value->GetChar(rgbValue, cbValueMax, pcbValue)
                         : value->GetBinary(rgbValue, cbValueMax, pcbValue);
  }
  if (!rgbValue) return kConversionFailed;
  switch (op) {
    case kToBit:
      return value->GetBit(rgbValue, pcbValue);
    case kToTinyInt:
      return value->GetTinyInt(rgbValue, pcbValue);
    case kToShort:
      return value->GetShort(rgbValue, pcbValue);
    case kToLong:
      return value->GetLong(rgbValue, pcbValue);
    case kToFloat:
      return value->GetFloat(rgbValue, pcbValue);
    case kToDouble:
      return value->GetDouble(rgbValue, pcbValue);
    case kToDate:
      return value->GetDate(rgbValue, pcbValue);
    case kToTime:
      return value->GetTime(rgbValue, pcbValue);
    case kToTimestamp:
      return value->GetTimestamp(rgbValue, pcbValue);
    case kToUShort:
      return value->GetUShort(rgbValue, pcbValue);
    case kToULong:
      return value->GetULong(rgbValue, pcbValue);
    case kToUTinyInt:
      return value->GetUTinyInt(rgbValue, pcbValue);
    case kToSBigInt:
      return value->GetSBigInt(rgbValue, pcbValue);
    case kToUBigInt:
      return value->GetUBigInt(rgbValue, pcbValue);
    case kToNumeric:
      return GetNumericStruct(value, 0, 0, rgbValue, pcbValue);
    case kToGuid:
      return GetGuid(value, rgbValue, pcbValue);
    default:
      return kConversionFailed;
  }
}
