// The driver and the server read one SQL type catalogue: for every type a
// value goes all the way round (the driver's parameter conversion, the
// server's decoding, its row form of the described column, the driver's
// value class) and both ends agree on what the type information lists.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "convert/ColumnValue.h"
#include "convert/ConvertColumnValue.h"
#include "convert/ConvertParameter.h"
#include "convert/SqlTypeTable.h"
#include "protocol/ElementNames.h"
#include "protocol/SqlTypeCatalog.h"
#include "server/metadata/MetadataResults.h"
#include "server/values/ValueCodec.h"

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(TypeAgreement, EveryCatalogueTypeRoundTripsAndIsListedAlike) {
  // Per value form (SqlForm's order): the application's C type and value,
  // which the driver reads back from the fetched column.
  const std::pair<SQLSMALLINT, std::string> samples[] = {{SQL_C_CHAR, "1"},        {SQL_C_BINARY, "\x01"},
                                                         {SQL_C_CHAR, "1"},        {SQL_C_CHAR, "2024-01-02"},
                                                         {SQL_C_CHAR, "03:04:05"}, {SQL_C_CHAR, "2024-01-02 03:04:05"}};
  static_assert(sizeof samples / sizeof samples[0] == kSqlFormCount, "one sample per form");
  TypeSizes sizes = {};
  FillTypeSizes(sizes.size);
  for (const SqlTypeInfo& t : AllSqlTypes()) {
    SCOPED_TRACE(t.name);
    // The intervals of several fields (107 to 113) take their own form of text.
    const char* const kFields[] = {"1-02", "1 02", "1 02:03", "1 02:03:04", "1:02", "1:02:03", "1:02"};
    const SQLSMALLINT cType = samples[static_cast<int>(t.form)].first;
    const std::string in = t.code > 106 ? kFields[t.code - 107] : samples[static_cast<int>(t.form)].second;
    // Parameter conversion: the driver's form is the server's, of its size.
    SQLLEN length = static_cast<SQLLEN>(in.size());
    ConvertedValue sent;
    ASSERT_EQ(kParamDone, ConvertParameter({cType, t.code, in.data(), &length, false, 0}, sizes, &sent));
    const int16_t code = static_cast<int16_t>(SentSqlType(t.code));
    velsrv::Value value;
    const std::string longer(sent.Length() + 1, '\0');
    EXPECT_EQ(t.sizeIndex != kSizeNone, !velsrv::DecodeParameter(code, Bytes(longer), sent.Length() + 1, &value).ok);
    ASSERT_TRUE(velsrv::DecodeParameter(code, sent.Data(), sent.Length(), &value).ok);
    // Describe: the server's description and row form make the driver's
    // value, at the fixed kinds' declared length; its text fits the display
    // size. The trace names the type as the catalogue does.
    EXPECT_STREQ(t.name, ValueName(El::kSqlDataType, t.code));
    ColumnDescription d;
    const velsrv::SqlTypeDesc desc = velsrv::TypeForCode(t.code);
    std::tie(d.sqlDataType, d.length, d.precision, d.scale) =
        std::tie(desc.sqlType, desc.length, desc.precision, desc.scale);
    std::unique_ptr<ColumnValue> column(CreateColumnValue(&d));
    std::string cell;
    ASSERT_TRUE(column && velsrv::EncodeRowValue(value, desc, 0, &cell).ok);
    EXPECT_EQ(t.sizing == SqlSizing::kVarying || t.sizing == SqlSizing::kLong ? 0 : desc.length, column->length);
    ASSERT_EQ(kLoadDone, column->Load(Bytes(cell), static_cast<uint32_t>(cell.size())));
    // Bind: the default C type and the text convert.
    char text[64] = {};
    SQLLEN got = 0;
    EXPECT_EQ(kConversionDone, ConvertColumnValue(column.get(), SQL_C_DEFAULT, text, sizeof text, &got));
    EXPECT_EQ(kConversionDone, ConvertColumnValue(column.get(), SQL_C_CHAR, text, sizeof text, &got));
    // Binary values read as characters are two hexadecimal digits a byte.
    const int32_t sqlType = column->SqlType();
    std::string shown = in;
    if (sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY) {
      shown.clear();
      for (unsigned char b : in) shown += "0123456789ABCDEF"[b >> 4], shown += "0123456789ABCDEF"[b & 0xF];
    }
    EXPECT_EQ(shown, std::string(text, got).substr(0, shown.size()));
    EXPECT_LE(static_cast<uint32_t>(got), column->DisplaySize());
    // Type information: the described type is listed once, as the driver
    // answers for its columns.
    const velsrv::ResultSet info = velsrv::TypeInfo(t.code, nullptr);
    ASSERT_EQ(t.listedName ? 1u : 0u, info.rows.size());
    const SqlTypeInfo& driver = *FindSqlTypeInfo(column->SqlType());
    for (const std::vector<velsrv::Value>& row : info.rows)
      EXPECT_TRUE(row[1].integer == desc.sqlType && row[2].integer >= desc.precision &&
                  IsQuoted(driver) == (row[3].bytes == "'") && IsCaseSensitive(driver) == (row[7].integer == 1));
  }
}

}  // namespace
