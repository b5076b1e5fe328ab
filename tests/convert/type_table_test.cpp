// The SQL type table's consequences: what SQL_C_DEFAULT means, which pairs
// SQLGetData refuses and that a refused pair's class writes nothing.
#include <tuple>

#include "convert_test_util.h"

namespace convert_test {
namespace {

// Every type's class, fixed length and display size: tests/server/type_agreement_test.
TEST(SqlTypeTableTest, CreationCopiesTheDescription) {
  ColumnDescription d;
  d.sqlDataType = SQL_CHAR;
  ASSERT_EQ(1, d.columnName.SetString("price"));
  ValuePtr v(CreateColumnValue(&d));
  ASSERT_TRUE(v && v->description != &d);
  EXPECT_STREQ("price", v->description->columnName.Text());
  for (int32_t type : {SQL_DECIMAL, SQL_DOUBLE, 0, 13, 99, -8}) EXPECT_FALSE(Make(type)) << type;
  EXPECT_EQ(nullptr, CreateColumnValue(nullptr));
  // Huge declared lengths do not wrap the display size.
  EXPECT_EQ(UINT32_MAX, Make(SQL_VARBINARY, 0x80000000u)->DisplaySize());
  EXPECT_EQ(UINT32_MAX, Make(SQL_NUMERIC, 8, UINT32_MAX)->DisplaySize());
  // Failing the 1st, 2nd, ... allocation: creation succeeds or gives nothing.
  bool created = false;
  for (long n = 0; n < 20 && !created; ++n) {
    SetAllocFailAfter(n);
    created = ValuePtr(CreateColumnValue(&d)) != nullptr;
    ResetAllocFailure();
  }
  EXPECT_TRUE(created);
}

TEST(SqlTypeTableTest, RefusedPairsAndTheirClasses) {
  // Refused by SQLGetData ("22005"); the class then fails and writes nothing.
  // (The fetch tests show more refused pairs through the driver.)
  const std::tuple<int32_t, SQLSMALLINT, bool> cases[] = {
      {SQL_INTEGER, SQL_C_TYPE_TIMESTAMP, true}, {SQL_NUMERIC, SQL_C_TIME, true},
      {SQL_INTEGER, SQL_C_SBIGINT, false},       {SQL_BINARY, SQL_C_DATE, true},
      {SQL_VARCHAR, SQL_C_TIMESTAMP, false},     {SQL_DATE, SQL_C_DOUBLE, true},
      {SQL_DATE, SQL_C_TYPE_TIMESTAMP, false},   {SQL_TIME, SQL_C_DATE, true},
      {SQL_TIMESTAMP, SQL_C_TYPE_TIME, false},   {SQL_TIMESTAMP, SQL_C_UTINYINT, true},
  };
  for (const auto& [sqlType, cType, refused] : cases) {
    SCOPED_TRACE(std::to_string(sqlType) + " as " + std::to_string(cType));
    EXPECT_EQ(refused, RefusesConversion(sqlType, cType));
    Conversion out = Convert(Make(sqlType, 16).get(), cType, 64);
    EXPECT_EQ(refused ? kFail : kDone, out.result);
    EXPECT_TRUE(!refused || out.buffer == Bytes(out.buffer.size(), kGuard));
  }
  // A C type without any conversion: refused by the types that name their
  // C types, left to the transfer's S1003 by the others (as the fetch tests
  // show).
  for (SQLSMALLINT c : {SQLSMALLINT(9999), SQLSMALLINT(0)}) {
    EXPECT_FALSE(HasConversion(SQL_VARCHAR, c) || RefusesConversion(SQL_VARCHAR, c) ||
                 RefusesConversion(SQL_INTEGER, c));
    EXPECT_TRUE(RefusesConversion(SQL_VARBINARY, c) && RefusesConversion(SQL_TIMESTAMP, c));
  }
}

// SQL_C_DEFAULT converts as the row's default C type (the fetch tests show
// BIGINT's text and the ODBC 3 date and time types); a null buffer gets the
// length only, and fixed-size targets refuse it.
TEST(SqlTypeTableTest, DefaultCTypeAndNullBuffers) {
  Check(Loaded(SQL_INTEGER, LE<int32_t>(-5)).get(), SQL_C_DEFAULT, 4, kDone, LE<int32_t>(-5), 4);
  Check(Loaded(SQL_DATE, Fields({1996, 5, 1})).get(), SQL_C_DEFAULT, 6, kDone, Fields({1996, 5, 1}), 6);
  Check(Loaded(SQL_VARBINARY, {2, 8, 9}).get(), SQL_C_DEFAULT, 4, kDone, {8, 9}, 2);
  ValuePtr text = Loaded(SQL_VARCHAR, T("5"));
  SQLLEN pcb = SQL_NO_TOTAL;
  EXPECT_EQ(kCut, ConvertColumnValue(text.get(), SQL_C_BINARY, nullptr, 100, &pcb));
  EXPECT_EQ(1, pcb);
  pcb = SQL_NO_TOTAL;
  EXPECT_EQ(kFail, ConvertColumnValue(text.get(), SQL_C_SLONG, nullptr, 0, &pcb));
  EXPECT_EQ(SQL_NO_TOTAL, pcb);
  int32_t n = 0;
  EXPECT_EQ(kDone, ConvertColumnValue(text.get(), SQL_C_SLONG, &n, 0, nullptr));
  EXPECT_EQ(5, n);
}

}  // namespace
}  // namespace convert_test
