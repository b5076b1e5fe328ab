// SQL_C_NUMERIC and SQL_C_GUID: values into the structures (precision and
// scale given, or the column's) and the structures' texts for parameters.
#include "convert/NumericGuid.h"
#include "convert_test_util.h"

namespace convert_test {
namespace {

// A structure's bytes: precision, scale, sign (1 positive), 16 bytes of
// magnitude, little-endian.
Bytes Num(int precision, int scale, bool positive, uint64_t low, uint64_t high = 0) {
  return Cat(Bytes{uint8_t(precision), uint8_t(int8_t(scale)), uint8_t(positive)}, Cat(LE(low), LE(high)));
}
ValuePtr Described(int32_t type, uint32_t precision, int16_t scale, const Bytes& row) {
  ColumnDescription d;
  d.sqlDataType = type, d.length = 64, d.precision = precision, d.scale = scale;
  ValuePtr v(CreateColumnValue(&d));
  if (v && LoadBytes(v.get(), row) != kLoadDone) v.reset();
  return v;
}

TEST(StructTypesTest, NumericAndGuidTargets) {
  // clang-format off
  struct Row { int32_t type; uint32_t precision; int16_t scale; Bytes row; SQLSMALLINT cType; int result; Bytes out; };
  // clang-format on
  const Row rows[] = {
      // The column's precision and scale when its type has a scale.
      {SQL_NUMERIC, 10, 2, N(false, -2, "1234567"), SQL_C_NUMERIC, kDone, Num(10, 2, true, 1234567)},
      {SQL_INTEGER, 10, 0, LE(int32_t(-42)), SQL_C_NUMERIC, kDone, Num(10, 0, false, 42)},
      // Otherwise 38 digits and the places the value has.
      {SQL_VARCHAR, 0, 0, T("-0.005"), SQL_C_NUMERIC, kDone, Num(38, 3, false, 5)},
      {SQL_VARCHAR, 0, 0, T(" " + std::string(38, '9') + " "), SQL_C_NUMERIC, kDone,
       Num(38, 0, true, 0x098A223FFFFFFFFFull, 0x4B3B4CA85A86C47Aull)},
      {SQL_VARCHAR, 0, 0, T("1" + std::string(38, '0')), SQL_C_NUMERIC, kFail, {}},
      {SQL_VARCHAR, 0, 0, T("1e40"), SQL_C_NUMERIC, kFail, {}},
      {SQL_VARCHAR, 0, 0, T("12a"), SQL_C_NUMERIC, kFail, {}},
      {SQL_VARCHAR, 0, 0, T(" {6F9619FF-8b86-D011-B42D-00C04FC964FF} "), SQL_C_GUID, kDone,
       Cat(LE(uint32_t(0x6F9619FF)),
           Cat(LE(uint16_t(0x8B86)), Cat(LE(uint16_t(0xD011)), Bytes{0xB4, 0x2D, 0, 0xC0, 0x4F, 0xC9, 0x64, 0xFF})))},
      {SQL_VARCHAR, 0, 0, T("6F9619FF-8B86-D011-B42D-00C04FC964F"), SQL_C_GUID, kFail, {}},
      {SQL_VARCHAR, 0, 0, T("6F9619FF+8B86-D011-B42D-00C04FC964FF"), SQL_C_GUID, kFail, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " " + std::to_string(r.cType));
    ValuePtr v = Described(r.type, r.precision, r.scale, r.row);
    Check(v.get(), r.cType, 24, r.result, r.out, r.result == kFail ? SQL_NO_TOTAL : SQLLEN(r.out.size()));
  }
  // Precision and scale from the application's descriptor: the fraction
  // beyond the scale is cut, whole digits beyond the precision refused.
  ValuePtr v = Described(SQL_VARCHAR, 0, 0, T("12.345"));
  SQL_NUMERIC_STRUCT n;
  EXPECT_EQ(kCut, GetNumericStruct(v.get(), 5, 1, &n, nullptr));
  EXPECT_EQ(Num(5, 1, true, 123), Bytes(reinterpret_cast<uint8_t*>(&n), reinterpret_cast<uint8_t*>(&n) + sizeof n));
  EXPECT_EQ(kDone, GetNumericStruct(v.get(), 6, 4, &n, nullptr));
  EXPECT_EQ(123450, n.val[0] | n.val[1] << 8 | n.val[2] << 16);
  EXPECT_EQ(kFail, GetNumericStruct(v.get(), 2, 1, &n, nullptr));
}

TEST(StructTypesTest, TextsOfParameters) {
  // clang-format off
  const struct { Bytes in; std::string text; } rows[] = {
      {Num(10, 2, true, 1234567), "12345.67"},
      {Num(38, 3, false, 5), "-0.005"},
      {Num(5, -2, true, 5), "500"},
      {Num(1, 0, false, 0), "-0"},
      {Num(1, 1, true, 0), "0.0"},
      {Num(38, 0, true, ~0ull, ~0ull), "340282366920938463463374607431768211455"},
  };
  // clang-format on
  for (const auto& r : rows) {
    SQL_NUMERIC_STRUCT n;
    std::memcpy(&n, r.in.data(), sizeof n);
    char text[172];
    EXPECT_EQ(r.text.size(), NumericStructText(n, text));
    EXPECT_EQ(r.text, text);
  }
  SQLGUID g = {0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}};
  char text[37];
  EXPECT_EQ(36u, GuidText(g, text));
  EXPECT_STREQ("6f9619ff-8b86-d011-b42d-00c04fc964ff", text);
}

}  // namespace
}  // namespace convert_test
