// SQLGetFunctions' fixed table, answered by the worker without a server.
#include <gtest/gtest.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/Trace.h"
#include "odbc/Functions.h"

namespace {

// The whole table agrees with the single answers and is exactly 100
// entries (200 bytes) long.
TEST(GetFunctions, AllFunctionsFillsTheHundredEntries) {
  SQLUSMALLINT table[102];
  for (SQLUSMALLINT& entry : table) entry = 0x5555;
  ASSERT_EQ(SQL_SUCCESS, GetFunctions(SQL_API_ALL_FUNCTIONS, table));
  int supported = 0;
  for (SQLUSMALLINT i = 1; i < 100; ++i) {  // 0 asks for the whole table
    SQLUSMALLINT exists = 0x5555;
    ASSERT_EQ(SQL_SUCCESS, GetFunctions(i, &exists));
    EXPECT_EQ(exists, table[i]) << "entry " << i;
    supported += table[i];
  }
  EXPECT_EQ(0, table[0]);
  EXPECT_EQ(40, supported);
  EXPECT_EQ(0x5555, table[100]);
  EXPECT_EQ(0x5555, table[101]);
}

TEST(GetFunctions, SingleFunctions) {
  struct Case {
    SQLUSMALLINT function;
    SQLUSMALLINT expected;
  } cases[] = {
      {SQL_API_SQLBINDPARAMETER, 1}, {62, 0},    {SQL_API_SQLEXTENDEDFETCH, 0},
      {SQL_API_SQLSETPOS, 0},        {SQL_API_SQLMORERESULTS, 0},  {63, 1},
      {SQL_API_SQLGETDATA, 1},       {SQL_API_SQLFETCH, 1},        {SQL_API_SQLDESCRIBEPARAM, 1},
      {22, 0},                       {71, 0},                      {99, 0},
      // Numbers beyond the table (ODBC 3 functions the driver manager asks
      // about one by one) are not supported.
      {100, 0},                      {SQL_API_SQLFETCHSCROLL, 0},  {1002, 0},
      {65535, 0},
  };
  for (const Case& c : cases) {
    SQLUSMALLINT exists = 0x5555;
    EXPECT_EQ(SQL_SUCCESS, GetFunctions(c.function, &exists));
    EXPECT_EQ(c.expected, exists) << "function " << c.function;
  }
  EXPECT_EQ(SQL_SUCCESS, GetFunctions(SQL_API_SQLFETCH, nullptr));
  EXPECT_EQ(SQL_SUCCESS, GetFunctions(SQL_API_ALL_FUNCTIONS, nullptr));
}

std::string TraceOf(SQLUSMALLINT function) {
  FILE* file = std::tmpfile();
  FILE* reader = fdopen(dup(fileno(file)), "r");
  SetTraceMode("A2", file);
  SQLUSMALLINT table[100];
  GetFunctions(function, table);
  std::fflush(file);
  std::string out;
  std::rewind(reader);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, reader)) > 0) out.append(buffer, n);
  SetTraceMode("", nullptr);
  std::fclose(reader);
  return out;
}

TEST(GetFunctions, TraceShowsEntriesOneToSeventyOne) {
  for (SQLUSMALLINT function : {SQLUSMALLINT{0}, SQLUSMALLINT{72}, SQLUSMALLINT{100}}) {
    std::string trace = TraceOf(function);
    size_t results = trace.find("SQLGetFunctions: Results\n");
    ASSERT_NE(std::string::npos, results) << trace;
    std::string lines = trace.substr(results);
    int trues = 0, falses = 0;
    for (size_t p = lines.find("A2:     "); p != std::string::npos; p = lines.find("A2:     ", p + 1)) {
      if (lines.compare(p + 8, 5, "TRUE\n") == 0) ++trues;
      else if (lines.compare(p + 8, 6, "FALSE\n") == 0) ++falses;
    }
    // Entries 1..71: the 39 supported ones below 72 and 32 others.
    EXPECT_EQ(39, trues) << trace;
    EXPECT_EQ(32, falses) << trace;
  }
}

}  // namespace

namespace {

TEST(GetFunctions, EntryPointLooksUpTheConnection) {
  SQLHENV henv = SQL_NULL_HENV;
  SQLHDBC hdbc = SQL_NULL_HDBC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &hdbc));
  SQLUSMALLINT table[100] = {0};
  EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(hdbc, SQL_API_ALL_FUNCTIONS, table));
  EXPECT_EQ(1, table[SQL_API_SQLGETDATA]);
  EXPECT_EQ(0, table[SQL_API_SQLEXTENDEDFETCH]);
  SQLUSMALLINT exists = 7;
  // A handle the registry does not hold touches nothing.
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetFunctions(henv, SQL_API_SQLFETCH, &exists));
  EXPECT_EQ(7, exists);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(henv));
}

}  // namespace
