// Value layouts on the wire: row data the server sends (one layout per
// described SQL type) and the parameter forms it receives.
#ifndef VELORA_SERVER_VALUES_VALUECODEC_H
#define VELORA_SERVER_VALUES_VALUECODEC_H

#include <cstdint>
#include <string>

#include "server/values/SqlTypes.h"
#include "server/values/Value.h"
#include "server/storage/Storage.h"

namespace velsrv {

// Encodes a non-null value in the row layout of type into *out. A value
// that does not fit the type is converted where that keeps it intact;
// otherwise an error Status (22001, 22003, 22005) is returned and *out
// holds nothing useful. maxLength > 0 cuts character and variable binary
// values to that many bytes.
Status EncodeRowValue(const Value& value, const SqlTypeDesc& type, uint32_t maxLength,
                      std::string* out);

// A value seen where the storage holds it: text and blob bytes are not
// copied into a Value first (data need not end in a NUL).
struct ValueView {
  Value::Kind kind = Value::Kind::kNull;
  int64_t integer = 0;
  double real = 0;
  const char* data = nullptr;
  size_t size = 0;
};
ValueView ViewOf(const Value& value);

// EncodeRowValue of the value view shows (non-null).
Status EncodeRowView(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                     std::string* out);
// EncodeRowView with its outcome in *status: a cell's encoder, which makes
// no Status for the common values (every value of every row asks).
void EncodeRowCell(const ValueView& value, const SqlTypeDesc& type, uint32_t maxLength,
                   std::string* out, Status* status);

// The fields of a DATE, TIME or TIMESTAMP value.
struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  uint32_t fraction = 0;  // nanoseconds
};

// Encodes fields that make a valid value (a date that exists in years 1 to
// 9999, a time of day) in the row layout of a DATE, TIME or TIMESTAMP
// type into *out; false for any other type.
bool EncodeRowDateTime(const DateTime& dt, int16_t sqlType, std::string* out);

// Decodes a parameter value of sqlType sent in its parameter form. Wrong
// sizes and unknown types give an error Status and leave *out untouched.
Status DecodeParameter(int16_t sqlType, const uint8_t* data, uint32_t length, Value* out);

// Text of a real with the fewest digits that read back as the same value.
std::string FormatReal(double value);

}  // namespace velsrv

#endif
