// Parameter conversion at its boundaries: the ends of each integer range,
// texts with signs and without digits, REAL and BIGINT limits, the NUMERIC
// form's sixteen digits. A failure stores nothing.
#include <gtest/gtest.h>

#include <string>

#include "convert/ConvertParameter.h"
#include "support/bytes.h"

namespace {

std::string D(double v) { return std::string(reinterpret_cast<const char*>(&v), 8); }
std::string I(int32_t v) { return U32(static_cast<uint32_t>(v)); }
const TypeSizes kSizes = {{10, 1, 6, 12, 8, 8, 4, 12, 4, 2, 6, 16, 1}};

const struct {
  SQLSMALLINT c, sql;
  std::string in;
  ParamOutcome outcome;
  std::string form;  // hex of the converted value; none after a failure
} kBounds[] = {
    {SQL_C_CHAR, SQL_INTEGER, "-2147483648", kParamDone, "00 00 00 80"},
    {SQL_C_CHAR, SQL_INTEGER, "", kParamDone, "00 00 00 00"},
    {SQL_C_CHAR, SQL_INTEGER, "-", kParamNonNumeric, ""},
    {SQL_C_CHAR, SQL_INTEGER, "99999999999999999999", kParamDataOutOfRange, ""},
    {SQL_C_CHAR, SQL_SMALLINT, "-32768", kParamDone, "00 80"},
    {SQL_C_CHAR, SQL_SMALLINT, "32768", kParamDataOutOfRange, ""},
    {SQL_C_CHAR, SQL_TINYINT, "-128", kParamDone, "80"},
    {SQL_C_CHAR, SQL_TINYINT, "128", kParamDataOutOfRange, ""},
    {SQL_C_SLONG, SQL_SMALLINT, I(-32769), kParamWholeDigitsLost, ""},
    {SQL_C_SSHORT, SQL_TINYINT, U16(128), kParamWholeDigitsLost, ""},
    {SQL_C_UTINYINT, SQL_TINYINT, "\x80", kParamDataOutOfRange, ""},
    {SQL_C_ULONG, SQL_INTEGER, U32(2147483648u), kParamDataOutOfRange, ""},
    {SQL_C_DOUBLE, SQL_INTEGER, D(-2147483648.0), kParamDone, "00 00 00 80"},
    {SQL_C_DOUBLE, SQL_INTEGER, D(2147483648.0), kParamWholeDigitsLost, ""},
    {SQL_C_DOUBLE, SQL_BIGINT, D(-9223372036854775808.0), kParamDone, "00 80 00 00 00 00 00 00 01 00"},
    {SQL_C_DOUBLE, SQL_BIGINT, D(9223372036854775808.0), kParamDataOutOfRange, ""},
    {SQL_C_CHAR, SQL_BIGINT, "-9223372036854775808", kParamDone, "00 80 00 00 00 00 00 00 01 00"},
    {SQL_C_CHAR, SQL_BIGINT, "9223372036854775808", kParamDataOutOfRange, ""},
    {SQL_C_CHAR, SQL_BIGINT, "000000000000000000001", kParamDataTruncated, ""},
    {SQL_C_CHAR, SQL_REAL, "-1", kParamDone, "00 00 80 bf"},
    {SQL_C_CHAR, SQL_REAL, "0", kParamDone, "00 00 00 00"},
    {SQL_C_CHAR, SQL_REAL, "0.00000000000000000000000000000000000000000001", kParamDone, "07 00 00 00"},
    {SQL_C_CHAR, SQL_NUMERIC, "0", kParamDone, "00 f0 00 00 00 00 00 00 00 00 00 00"},
    {SQL_C_CHAR, SQL_DECIMAL, "-.05", kParamDone, "01 ef 00 00 00 00 00 00 00 00 00 50"},
    {SQL_C_CHAR, SQL_NUMERIC, "9876543210987654", kParamDone, "00 00 00 00 54 76 98 10 32 54 76 98"},
    {SQL_C_CHAR, SQL_NUMERIC, "12345678901234560", kParamDone, "00 01 00 00 56 34 12 90 78 56 34 12"},
    {SQL_C_CHAR, SQL_NUMERIC, "12345678901234567", kParamDataTruncated, ""},
    {SQL_C_DOUBLE, SQL_NUMERIC, D(0.1), kParamDone, "00 f0 00 00 00 00 00 00 00 00 00 10"},
    {SQL_C_DOUBLE, SQL_DECIMAL, D(-2.5), kParamDone, "01 f1 00 00 00 00 00 00 00 00 00 25"},
    {SQL_C_DOUBLE, SQL_NUMERIC, D(1e20), kParamDone, "00 05 00 00 00 00 00 00 00 00 00 10"},
    {SQL_C_DOUBLE, SQL_NUMERIC, D(1e300), kParamValueOutOfRange, ""},
    {SQL_C_CHAR, SQL_TIMESTAMP, "2024-02-29 13:45:30.123456789", kParamDone,
     "e8 07 02 00 1d 00 0d 00 2d 00 1e 00 15 cd 5b 07"},
};

TEST(ParameterConversion, Boundaries) {
  for (const auto& r : kBounds) {
    ConvertedValue out;
    SQLLEN ind = static_cast<SQLLEN>(r.in.size());
    ParameterInput in{r.c, r.sql, r.in.data(), &ind, false, 0};
    EXPECT_EQ(ConvertParameter(in, kSizes, &out), r.outcome) << r.c << " " << r.sql << " " << r.in;
    const std::string got(reinterpret_cast<const char*>(out.Data()), out.Length());
    EXPECT_EQ(got, FromHex(r.form)) << r.c << " " << r.sql << " " << r.in;
  }
}

}  // namespace
