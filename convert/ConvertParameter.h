// Parameter conversion: an application's value (C type, buffer, length
// indicator) made into the value form of the parameter's SQL type, the
// form the server receives.
#ifndef VELORA_CONVERT_CONVERTPARAMETER_H
#define VELORA_CONVERT_CONVERTPARAMETER_H

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "protocol/TypeSizes.h"

// A converted value: bytes in the server's form, or NULL.
class ConvertedValue {
 public:
  ConvertedValue() = default;
  ~ConvertedValue();
  ConvertedValue(const ConvertedValue&) = delete;
  ConvertedValue& operator=(const ConvertedValue&) = delete;

  void SetNull();
  // Copies n bytes; false (the value unchanged) when memory runs out.
  bool SetBytes(const void* bytes, uint32_t n);
  // Copies n characters and adds a NUL, which the length counts.
  bool SetText(const char* text, uint32_t n);
  // n zero bytes for the caller to fill, or null when memory runs out.
  uint8_t* SetSized(uint32_t n);
  // Takes other's value, leaving other NULL.
  void Take(ConvertedValue* other);
  // The value is a decimal text sent under type code (protocol/DECIMAL.md).
  void SetSentType(int16_t code) { sentType_ = code; }
  // The type code the value travels under: its own, else fallback.
  int32_t SentType(int32_t fallback) const { return sentType_ != 0 ? sentType_ : fallback; }

  bool IsNull() const { return null_; }
  uint32_t Length() const { return length_; }
  const uint8_t* Data() const { return data_; }

 private:
  uint8_t* data_ = nullptr;
  uint32_t length_ = 0;
  bool null_ = true;
  int16_t sentType_ = 0;
};

// What a conversion ends in; every outcome but kParamDone names one client
// diagnostic (the caller posts it with SQL_ERROR).
enum ParamOutcome : uint8_t {
  kParamDone,
  kParamMemory,                // S1001
  kParamNotSupported,          // 07006 requested conversion not supported
  kParamProcedures,            // S1C00 SQL_DEFAULT_PARAM
  kParamInvalidLength,         // S1009 another negative length
  kParamDataOutOfRange,        // 22003
  kParamWholeDigitsLost,       // 22003
  kParamValueOutOfRange,       // 22003
  kParamBitOutOfRange,         // 22003 out of range for BIT column
  kParamUlongTooLarge,         // 22003 SQL_C_ULONG above 2^31-1 to NUMERIC
  kParamBinaryLength,          // 22003 binary length against TypeSizes
  kParamNonNumeric,            // 22005 character data is non-numeric
  kParamNotNumeric,            // 22005 could not convert character to numeric
  kParamDataTruncated,         // 01004 data truncated
  kParamFractionalDigitsLost,  // 01004
  kParamFractionalValue,       // 01004 value out of range (BIT from 0..2)
  kParamBitFraction,           // 01004 fractional value for BIT column
  kParamTimeLost,              // 01004 time information lost
  kParamFractionLost,          // 01004 fraction information lost
  kParamDateText,              // 01004 could not convert character to date
  kParamTimeText,              // 01004 could not convert character to time
  kParamInvalidWide,           // 22005 (22018 in ODBC 3) not UTF-16: a lone surrogate, half a unit
  kParamIntervalText,          // 22005 (22018 in ODBC 3) not an interval of the SQL type
  kParamIntervalOverflow,      // 22015 a leading field of more than nine digits
  kParamOutcomeCount
};

// One parameter's value as the application gave it.
struct ParameterInput {
  SQLSMALLINT cType;
  int32_t sqlType;
  const void* data;         // null: the value is NULL
  const SQLLEN* indicator;  // may be null
  // Data given at execution: its length is collected (bytes put), the
  // indicator is not read.
  bool atExec;
  SQLLEN collected;
  // Wide text that is not UTF-16 is refused (kParamInvalidWide), as ODBC 3
  // applications are told; otherwise a lone surrogate becomes U+FFFD and
  // an odd last byte is dropped, as ODBC 2 applications have always had.
  bool strictWide = false;
  // SQL_C_NUMERIC: the scale of the application's descriptor when it set
  // one (digitsSet); else the structure's own scale counts.
  bool digitsSet = false;
  int16_t scale = 0;
  // NUMERIC and DECIMAL values travel as their decimal text, at least
  // decimalDigits digits after the point (the server offered it).
  bool exactDecimal = false;
  int16_t decimalDigits = 0;
};

// Converts in into *out with the fixed sizes of sizes. On failure *out is
// left as it was.
ParamOutcome ConvertParameter(const ParameterInput& in, const TypeSizes& sizes,
                              ConvertedValue* out);

// True when parameters of cType and sqlType collect the pieces given with
// SQLPutData (text and bytes); other types keep the last buffer given.
bool CollectsPieces(SQLSMALLINT cType, int32_t sqlType);

#endif
