// DATE, TIME and TIMESTAMP values.
#ifndef VELORA_CONVERT_DATETIMEVALUES_H
#define VELORA_CONVERT_DATETIMEVALUES_H

#include <sqltypes.h>

#include "convert/ColumnValue.h"

class DateValue : public ColumnValue {
 public:
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetDate(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const override;
  int Load(const uint8_t* bytes, uint32_t size) override;
  const DATE_STRUCT& Value() const { return value_; }

 private:
  DATE_STRUCT value_ = {};
};

class TimeValue : public ColumnValue {
 public:
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetTime(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const override;
  int Load(const uint8_t* bytes, uint32_t size) override;
  const TIME_STRUCT& Value() const { return value_; }

 private:
  TIME_STRUCT value_ = {};
};

class TimestampValue : public ColumnValue {
 public:
  // yyyy-mm-dd hh:mm:ss, then a point and three, six or nine digits of a
  // non-zero fraction.
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  // kConversionTruncated when hour, minute or second is dropped.
  int GetDate(void* rgbValue, SQLLEN* pcbValue) const override;
  // kConversionTruncated when a fraction is dropped.
  int GetTime(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetTimestamp(void* rgbValue, SQLLEN* pcbValue) const override;
  // Room for the longest text GetChar makes, "yyyy-mm-dd hh:mm:ss" and a
  // nine-digit fraction: applications size character buffers from it, and
  // a value with a fraction must fit.
  int Load(const uint8_t* bytes, uint32_t size) override;
  const TIMESTAMP_STRUCT& Value() const { return value_; }

 private:
  TIMESTAMP_STRUCT value_ = {};
};

#endif
