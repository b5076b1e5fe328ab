// The conformance tables: each exported function's rules as ODBC's
// reference states them, one table per function family, run through the
// real driver manager against a real server, for both libraries (the
// ODBC 3.80 library with an ODBC 3 application, the ODBC 2.0 library with
// an ODBC 2 one). A row names the library it holds for where the two
// differ by design.
#ifndef VELORA_TESTS_CONFORMANCE_CONFORMANCE_H
#define VELORA_TESTS_CONFORMANCE_CONFORMANCE_H

#include <string>

#include "integration/integration.h"

// Which libraries a row holds for.
enum Libraries { kBoth = 3, kOdbc3Only = 1, kOdbc2Only = 2 };

struct Library {
  const char* name;  // as the test's name shows it
  const char* dsn;
  SQLULEN version;  // what the application declares
  bool odbc3;       // the ODBC 3.80 library (Velora)
  // The SQLSTATE as this library's application reads it: ODBC 2's form
  // ("S1009") for the 2.0 library, ODBC 3's ("HY009") for the other.
  std::string State(const std::string& odbc3_state) const;
  bool Holds(Libraries which) const { return (which & (odbc3 ? kOdbc3Only : kOdbc2Only)) != 0; }
};

// The first record's SQLSTATE of a handle, or "" when it has none.
std::string FirstState(SQLSMALLINT type, SQLHANDLE handle);

// A connection through one library for each case, and a statement on it.
class Conformance : public ::testing::TestWithParam<Library> {
 protected:
  Conformance() : c(GetParam().version) {}
  void SetUp() override;
  void TearDown() override;
  const Library& lib() const { return GetParam(); }
  // SQLExecDirect of the text as the storage at hand takes it.
  SQLRETURN Exec(const std::string& sql) { return Exec(s, sql); }
  static SQLRETURN Exec(SQLHSTMT stmt, const std::string& sql);
  OdbcConnection c;
  SQLHSTMT s = SQL_NULL_HSTMT;
};

// Runs a Conformance fixture's cases for both libraries.
#define VEL_CONFORMANCE_SUITE(Fixture)                                                      \
  INSTANTIATE_TEST_SUITE_P(Libraries, Fixture, ::testing::ValuesIn(ConformanceLibraries()), \
                           [](const ::testing::TestParamInfo<Library>& info) { return std::string(info.param.name); })

const std::vector<Library>& ConformanceLibraries();

#endif
