// The driver and the server read one SQL type catalogue: for every type a
// value goes all the way round (the driver's parameter conversion, the
// server's decoding, its row form of the described column, the driver's
// value class) and both ends agree on what the type information lists.
#include <gtest/gtest.h>

#include <memory>

#include "convert/ColumnValue.h"
#include "convert/ConvertColumnValue.h"
#include "convert/ConvertParameter.h"
#include "convert/SqlTypeTable.h"
#include "protocol/SqlTypeCatalog.h"
#include "server/Catalog.h"
#include "server/ValueCodec.h"

namespace {

// Per value form: the application's value and C type, and the text the
// driver reads back from the fetched column.
struct Sample {
  SqlForm form;
  SQLSMALLINT cType;
  std::string in;
  std::string text;
};

const Sample kSamples[] = {
    {SqlForm::kText, SQL_C_CHAR, "1", "1"},
    {SqlForm::kBinary, SQL_C_BINARY, "\x01", "\x01"},
    {SqlForm::kNumber, SQL_C_CHAR, "1", "1"},
    {SqlForm::kDate, SQL_C_CHAR, "2024-01-02", "2024-01-02"},
    {SqlForm::kTime, SQL_C_CHAR, "03:04:05", "03:04:05"},
    {SqlForm::kTimestamp, SQL_C_CHAR, "2024-01-02 03:04:05", "2024-01-02 03:04:05"},
};

TEST(TypeAgreement, EveryCatalogueTypeRoundTripsAndIsListedAlike) {
  TypeSizes sizes = {};
  FillTypeSizes(sizes.size);
  size_t described = 0;
  for (const SqlTypeInfo& t : AllSqlTypes()) {
    SCOPED_TRACE(t.name);
    const Sample& sample = kSamples[static_cast<int>(t.form)];
    ASSERT_EQ(sample.form, t.form);
    // Parameter conversion: the driver's form is the server's.
    SQLLEN length = static_cast<SQLLEN>(sample.in.size());
    ConvertedValue converted;
    ASSERT_EQ(kParamDone,
              ConvertParameter({sample.cType, t.code, sample.in.data(), &length, false, 0}, sizes, &converted));
    velsrv::Value value;
    ASSERT_TRUE(
        velsrv::DecodeParameter(static_cast<int16_t>(SentSqlType(t.code)), converted.Data(), converted.Length(), &value)
            .ok);
    // Describe: the server's description and row form make the driver's
    // value; only the described codes have a value class.
    const velsrv::SqlTypeDesc desc = velsrv::TypeForCode(t.code);
    ColumnDescription d;
    d.sqlDataType = t.code;
    EXPECT_EQ(t.describedAs == t.code, std::unique_ptr<ColumnValue>(CreateColumnValue(&d)) != nullptr);
    d.sqlDataType = desc.sqlType;
    d.length = desc.length;
    d.precision = desc.precision;
    d.scale = desc.scale;
    std::unique_ptr<ColumnValue> column(CreateColumnValue(&d));
    ASSERT_TRUE(column);
    std::string cell;
    ASSERT_TRUE(velsrv::EncodeRowValue(value, desc, 0, &cell).ok);
    ASSERT_EQ(kLoadDone,
              column->Load(reinterpret_cast<const uint8_t*>(cell.data()), static_cast<uint32_t>(cell.size())));
    // Bind: the text, and the default C type, convert.
    char text[64] = {};
    SQLLEN got = 0;
    EXPECT_EQ(kConversionDone, ConvertColumnValue(column.get(), SQL_C_CHAR, text, sizeof text, &got));
    EXPECT_EQ(sample.text, std::string(text, got).substr(0, sample.text.size()));
    EXPECT_LE(static_cast<uint32_t>(got), column->DisplaySize());
    char any[64];
    EXPECT_EQ(kConversionDone, ConvertColumnValue(column.get(), SQL_C_DEFAULT, any, sizeof any, &got));
    // Type information: the listed row is the one the driver describes by.
    const velsrv::ResultSet info = velsrv::TypeInfo(t.code, nullptr);
    if (t.listedName == nullptr) {
      EXPECT_TRUE(info.rows.empty());
      continue;
    }
    ++described;
    ASSERT_EQ(1u, info.rows.size());
    const std::vector<velsrv::Value>& row = info.rows[0];
    EXPECT_EQ(desc.sqlType, row[1].integer);
    EXPECT_LE(desc.precision, row[2].integer);
    const SqlTypeInfo* driver = FindSqlTypeInfo(column->SqlType());
    EXPECT_EQ(IsQuoted(*driver), row[3].bytes == "'");
    EXPECT_EQ(IsCaseSensitive(*driver) ? 1 : 0, row[7].integer);
  }
  EXPECT_EQ(described, velsrv::TypeInfo(0, nullptr).rows.size());
}

}  // namespace
