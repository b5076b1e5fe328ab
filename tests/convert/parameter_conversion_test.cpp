// Parameter conversion at its boundaries: the ends of each integer range,
// texts with signs and without digits, REAL and BIGINT limits, the NUMERIC
// form's sixteen digits. A failure stores nothing.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "convert/ConvertParameter.h"
#include "support/bytes.h"

namespace {

std::string D(double v) { return std::string(reinterpret_cast<const char*>(&v), 8); }
std::string I(int32_t v) { return U32(static_cast<uint32_t>(v)); }
const SQLSMALLINT kCh = SQL_C_CHAR, kDb = SQL_C_DOUBLE;
const TypeSizes kSizes = {{10, 1, 6, 12, 8, 8, 4, 12, 4, 2, 6, 16, 1}};

// form: hex of the converted value; none after a failure.
const std::tuple<SQLSMALLINT, SQLSMALLINT, std::string, ParamOutcome, std::string> kBounds[] = {
    {kCh, SQL_INTEGER, "-2147483648", kParamDone, "00 00 00 80"},
    {kCh, SQL_INTEGER, "", kParamDone, "00 00 00 00"},
    {kCh, SQL_INTEGER, "-", kParamNonNumeric, ""},
    {kCh, SQL_INTEGER, "99999999999999999999", kParamDataOutOfRange, ""},
    {kCh, SQL_SMALLINT, "-32768", kParamDone, "00 80"},
    {kCh, SQL_SMALLINT, "32768", kParamDataOutOfRange, ""},
    {kCh, SQL_TINYINT, "-128", kParamDone, "80"},
    {kCh, SQL_TINYINT, "128", kParamDataOutOfRange, ""},
    {SQL_C_SLONG, SQL_SMALLINT, I(-32769), kParamWholeDigitsLost, ""},
    {SQL_C_SSHORT, SQL_TINYINT, U16(128), kParamWholeDigitsLost, ""},
    {SQL_C_UTINYINT, SQL_TINYINT, "\x80", kParamDataOutOfRange, ""},
    {SQL_C_ULONG, SQL_INTEGER, U32(2147483648u), kParamDataOutOfRange, ""},
    {kDb, SQL_INTEGER, D(-2147483648.0), kParamDone, "00 00 00 80"},
    {kDb, SQL_INTEGER, D(2147483648.0), kParamWholeDigitsLost, ""},
    {kDb, SQL_BIGINT, D(-9223372036854775808.0), kParamDone, "00 80 00 00 00 00 00 00 01 00"},
    {kDb, SQL_BIGINT, D(9223372036854775808.0), kParamDataOutOfRange, ""},
    {kCh, SQL_BIGINT, "-9223372036854775808", kParamDone, "00 80 00 00 00 00 00 00 01 00"},
    {kCh, SQL_BIGINT, "9223372036854775808", kParamDataOutOfRange, ""},
    {kCh, SQL_BIGINT, "000000000000000000001", kParamDataTruncated, ""},
    {kCh, SQL_REAL, "-1", kParamDone, "00 00 80 bf"},
    {kCh, SQL_REAL, "0.00000000000000000000000000000000000000000001", kParamDone, "07 00 00 00"},
    {kCh, SQL_NUMERIC, "0", kParamDone, "00 f0 00 00 00 00 00 00 00 00 00 00"},
    {kCh, SQL_DECIMAL, "-.05", kParamDone, "01 ef 00 00 00 00 00 00 00 00 00 50"},
    {kCh, SQL_NUMERIC, "9876543210987654", kParamDone, "00 00 00 00 54 76 98 10 32 54 76 98"},
    {kCh, SQL_NUMERIC, "12345678901234560", kParamDone, "00 01 00 00 56 34 12 90 78 56 34 12"},
    {kCh, SQL_NUMERIC, "12345678901234567", kParamDataTruncated, ""},
    {kDb, SQL_NUMERIC, D(0.1), kParamDone, "00 f0 00 00 00 00 00 00 00 00 00 10"},
    {kDb, SQL_DECIMAL, D(-2.5), kParamDone, "01 f1 00 00 00 00 00 00 00 00 00 25"},
    {kDb, SQL_NUMERIC, D(1e20), kParamDone, "00 05 00 00 00 00 00 00 00 00 00 10"},
    {kDb, SQL_NUMERIC, D(1e300), kParamValueOutOfRange, ""},
    {kCh, SQL_TIMESTAMP, "2024-02-29 13:45:30.123456789", kParamDone,
     "e8 07 02 00 1d 00 0d 00 2d 00 1e 00 15 cd 5b 07"},
};

TEST(ParameterConversion, Boundaries) {
  for (const auto& [c, sql, in, outcome, form] : kBounds) {
    SCOPED_TRACE(std::to_string(c) + " " + std::to_string(sql) + " " + in);
    ConvertedValue out;
    SQLLEN ind = static_cast<SQLLEN>(in.size());
    EXPECT_EQ(ConvertParameter(ParameterInput{c, sql, in.data(), &ind, false, 0}, kSizes, &out), outcome);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Data()), out.Length()), FromHex(form));
  }
}

}  // namespace

namespace {

// SQL_C_NUMERIC's scale: the application descriptor's when it set one,
// else the structure's own.
TEST(ParameterConversion, NumericScaleFromTheDescriptor) {
  SQL_NUMERIC_STRUCT n = {5, 1, 1, {0x7d}};
  for (bool set : {false, true}) {
    ConvertedValue out;
    ParameterInput in{SQL_C_NUMERIC, SQL_VARCHAR, &n, nullptr, false, 0};
    in.digitsSet = set, in.scale = 2;
    ASSERT_EQ(ConvertParameter(in, kSizes, &out), kParamDone);
    EXPECT_STREQ(reinterpret_cast<const char*>(out.Data()), set ? "1.25" : "12.5");
  }
}

}  // namespace
