// Type information through the unixODBC driver manager against a real
// server: the columns each type name makes (the catalog functions' rules
// are tests/conformance/catalog_test.cpp's).
#include <sstream>

#include "integration.h"

namespace {

SQLCHAR* S(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

// On server B, which the other tests leave without tables.
class Catalog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelOther"))) << c.Diag();
    s = c.Statement();
  }
  void TearDown() override { SQLFreeHandle(SQL_HANDLE_STMT, s); }

  std::string Rows(SQLRETURN rc, const std::vector<int>& columns) { return ::Rows(s, rc, columns); }

  OdbcConnection c;
  SQLHSTMT s = SQL_NULL_HSTMT;
};

// Applications build CREATE TABLE from a type's name and parameters: each
// must make a column of that very type.
TEST_F(Catalog, EveryTypeNameAndItsParametersMakeAColumnOfThatType) {
  std::istringstream types(Rows(SQLGetTypeInfo(s, SQL_ALL_TYPES), {1, 6, 2}));
  int n = 0;
  for (std::string name, params, code;
       std::getline(types, name, '/') && std::getline(types, params, '/') && std::getline(types, code, ';');) {
    const std::string sizes = params == "-" ? "" : params == "max length" || params == "length" ? "(10)" : "(10,2)";
    const std::string table = "made" + std::to_string(n++);
    ASSERT_EQ(c.Execute("CREATE TABLE " + table + " (c " + name + sizes + ")"), SQL_SUCCESS) << name;
    EXPECT_EQ(Rows(SQLColumns(s, 0, 0, 0, 0, S(table.c_str()), SQL_NTS, 0, 0), {5}), code) << name;
  }
  EXPECT_EQ(n, OnPostgres() ? 14 : 17);  // PostgreSQL has no TINYINT, BINARY, VARBINARY
}

}  // namespace
