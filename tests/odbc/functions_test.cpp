// SQLGetFunctions' fixed table, answered without a server.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>

#include "odbc/Functions.h"
#include "support/capture.h"

namespace {

// The whole table (exactly 100 entries) agrees with the single answers;
// numbers beyond it (ODBC 3 functions asked one by one) are unsupported.
TEST(GetFunctions, TableAndSingleAnswers) {
  SQLUSMALLINT table[102];
  for (SQLUSMALLINT& entry : table) entry = 0x5555;
  ASSERT_EQ(SQL_SUCCESS, GetFunctions(SQL_API_ALL_FUNCTIONS, table));
  int supported = 0;
  for (SQLUSMALLINT i = 1; i < 100; ++i) {
    SQLUSMALLINT exists = 0x5555;
    ASSERT_EQ(SQL_SUCCESS, GetFunctions(i, &exists));
    EXPECT_EQ(exists, table[i]) << "entry " << i;
    supported += table[i];
  }
  EXPECT_EQ(40, supported);
  EXPECT_EQ(0, table[0]);
  EXPECT_EQ(0x5555, table[100]);
  const std::pair<SQLUSMALLINT, SQLUSMALLINT> cases[] = {
      {SQL_API_SQLGETDATA, 1}, {SQL_API_SQLFETCH, 1}, {SQL_API_SQLBINDPARAMETER, 1}, {63, 1}, {62, 0},
      {SQL_API_SQLEXTENDEDFETCH, 0}, {SQL_API_SQLSETPOS, 0}, {71, 0}, {99, 0}, {100, 0},
      {SQL_API_SQLFETCHSCROLL, 0}, {65535, 0},
  };
  for (const auto& c : cases) {
    SQLUSMALLINT exists = 0x5555;
    EXPECT_EQ(SQL_SUCCESS, GetFunctions(c.first, &exists));
    EXPECT_EQ(c.second, exists) << "function " << c.first;
  }
  EXPECT_EQ(SQL_SUCCESS, GetFunctions(SQL_API_ALL_FUNCTIONS, nullptr));
}

// The trace lists entries 1..71: the 39 supported ones below 72, 32 others.
TEST(GetFunctions, TraceShowsEntriesOneToSeventyOne) {
  for (SQLUSMALLINT function : {SQLUSMALLINT{0}, SQLUSMALLINT{72}, SQLUSMALLINT{100}}) {
    TraceCapture trace("A2");
    SQLUSMALLINT table[100];
    GetFunctions(function, table);
    std::string lines = trace.Text();
    const size_t results = lines.find("SQLGetFunctions: Results\n");
    ASSERT_NE(std::string::npos, results) << lines;
    lines = lines.substr(results);
    int trues = 0, falses = 0;
    for (size_t p = lines.find("A2:     "); p != std::string::npos; p = lines.find("A2:     ", p + 1)) {
      trues += lines.compare(p + 8, 5, "TRUE\n") == 0;
      falses += lines.compare(p + 8, 6, "FALSE\n") == 0;
    }
    EXPECT_EQ(39, trues) << lines;
    EXPECT_EQ(32, falses) << lines;
  }
}

}  // namespace
