// The parts of parameter conversion shared by its source kinds: a job (one
// value of a C type made into the form of a SQL type) and the target forms
// it is put in. Used by the ConvertParameter*.cpp files only.
#ifndef VELORA_CONVERT_PARAMETERJOB_H
#define VELORA_CONVERT_PARAMETERJOB_H

#include <cstdint>

#include "convert/ConvertParameter.h"
#include "convert/ParameterTable.h"
#include "protocol/ValueLayout.h"

namespace paramjob {

// A whole number: sign and 64-bit magnitude.
struct Whole {
  bool negative;
  uint64_t magnitude;
  double AsDouble() const {
    return negative ? -static_cast<double>(magnitude) : static_cast<double>(magnitude);
  }
};

const uint64_t kInt64Max = 0x7fffffffffffffffull;

struct Job {
  const ParameterInput& in;
  const ParamCTypeRow* c;
  const SqlTypeInfo* sql;  // the row of the type the value is sent as
  const TypeSizes& sizes;
  ConvertedValue* out;
  const char* text;  // the value read as text (text sources)
  uint32_t length;   // its length, or the bytes' length
};

// kParamDone when stored, else kParamMemory.
ParamOutcome Done(bool stored);
// The fixed form of the target: its TypeSizes size, filled from bytes.
ParamOutcome PutForm(Job& j, const void* bytes, uint32_t n);
// BIGINT words; marked: made from a C number (a negative one carries 0x8000).
ParamOutcome PutBigInt(Job& j, const Whole& w, bool marked);
// The NUMERIC form of digits[0..count) (at most 16, the first not 0) set
// left-aligned in the 16 digit places, times 10^exponent.
ParamOutcome PutNumericForm(Job& j, bool negative, const char* digits, int count, int exponent);
// Digits, one point and a leading sign; fewer than 18 characters after the
// sign; at most 16 significant digits.
ParamOutcome PutNumeric(Job& j, const char* t, uint32_t n);
// The same text as exact decimal text when the server takes it, every
// digit kept and the fraction padded to the parameter's decimal digits;
// else PutNumeric.
ParamOutcome PutDecimal(Job& j, const char* t, uint32_t n);
// Integer targets: the range of the form, and which text an overflow gets
// (a source wider than the form loses whole digits).
ParamOutcome PutInteger(Job& j, const Whole& w, uint32_t sourceWidth);
ParamOutcome PutText(Job& j, const char* text);
// BIT (0 or 1), REAL, FLOAT/DOUBLE, and the date and time forms (the
// target's: DATE, TIME or TIMESTAMP).
ParamOutcome PutBit(Job& j, uint8_t bit);
ParamOutcome PutReal(Job& j, float v);
ParamOutcome PutDouble(Job& j, double v);
ParamOutcome PutDateTime(Job& j, const layout::DateTime& dt);

// By source kind: text (fromDefault: SQL_C_DEFAULT's), UTF-16LE text,
// C numbers, C dates and times.
ParamOutcome FromText(Job& j, bool fromDefault);
ParamOutcome FromWide(Job& j);
ParamOutcome FromStruct(Job& j);  // SQL_C_NUMERIC and SQL_C_GUID, as their texts
ParamOutcome FromNumber(Job& j);
ParamOutcome FromDateTime(Job& j);

}  // namespace paramjob

#endif
