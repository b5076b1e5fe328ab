// REAL, FLOAT and NUMERIC values: numbers that may hold a fraction.
#ifndef VELORA_CONVERT_FLOATINGVALUES_H
#define VELORA_CONVERT_FLOATINGVALUES_H

#include "convert/Decimal.h"
#include "convert/NumberValue.h"

class FloatingValue : public NumberValue {
 public:
  // FormatDouble's text; cut to the buffer only when no whole digit is lost.
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  // Only magnitudes above the largest single-precision value are out of
  // range; kConversionTruncated when the float differs from the value.
  int GetFloat(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetDouble(void* rgbValue, SQLLEN* pcbValue) const override;

  virtual double AsDouble() const = 0;

 protected:
  int StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const override;
  // Significant digits of the text.
  virtual int TextDigits() const { return 12; }
};

class RealValue : public FloatingValue {
 public:
  int GetFloat(void* rgbValue, SQLLEN* pcbValue) const override;
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int Load(const uint8_t* bytes, uint32_t size) override;
  double AsDouble() const override { return value_; }

 protected:
  // A REAL holds 7 decimal digits (the precision the server describes);
  // more would show the noise of widening it to a double (0.85 as
  // 0.85000002384), longer than its display size of 13, which clients
  // size their buffers by.
  int TextDigits() const override { return 7; }

 private:
  float value_ = 0;
};

class FloatValue : public FloatingValue {
 public:
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int Load(const uint8_t* bytes, uint32_t size) override;
  double AsDouble() const override { return value_; }

 private:
  double value_ = 0;
};

// Sign, decimal exponent and sixteen BCD digits, kept exactly: text and
// integers come from the digits, not from a double.
class NumericValue : public FloatingValue {
 public:
  // The held digits with sign and point ("-12.340" for 12340, exponent -3).
  int GetChar(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  // 12 bytes: sign, exponent, two zero bytes, the 8 digit bytes as held.
  int GetBinary(void* rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue) const override;
  int Load(const uint8_t* bytes, uint32_t size) override;
  // The nearest double to the exact value.
  double AsDouble() const override;

  // Writes the exact text into text (room for kMaxText + 1); returns its
  // length and the length before the point in *wholeLength.
  static const uint32_t kMaxText = 160;
  uint32_t FormatExact(char* text, uint32_t* wholeLength) const;

 protected:
  int StoreInteger(IntegerTarget target, void* rgbValue, SQLLEN* pcbValue) const override;

 private:
  void ToDecimal(Decimal* value) const;
  uint8_t sign_ = 0;
  int8_t exponent_ = 0;
  uint8_t packed_[8] = {};   // as received, least significant byte first
  uint8_t digits_[16] = {};  // most significant first
};

#endif
