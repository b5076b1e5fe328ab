// unixODBC's own isql on the sample data source: it connects through the
// driver manager and runs CREATE TABLE and INSERT statements.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "odbc_app.h"
#include "support/odbc_environment.h"
#include "support/velora_server.h"

namespace {

VeloraServer g_server;

std::string RunIsql(const std::string& input) {
  const std::string folder = g_server.Folder();
  std::ofstream(folder + "/input.sql") << input;
  // isql is not built with the sanitizers; a sanitized driver needs their
  // runtime loaded first (VEL_SANITIZER_PRELOAD is empty otherwise).
  // isql gets a minute at most: a hang ends as a failed case, not as the
  // whole program killed at its limit.
  std::string command = std::string("timeout -s KILL 60 env ") + VEL_SANITIZER_PRELOAD +
                        " isql -b -v VeloraSample < '" + folder + "/input.sql' > '" + folder +
                        "/isql.out' 2>&1";
  int status = std::system(command.c_str());
  std::ifstream in(folder + "/isql.out");
  std::stringstream text;
  text << in.rdbuf();
  return "exit " + std::to_string(status) + "\n" + text.str();
}

TEST(Isql, CreatesATableAndInsertsRows) {
  std::string output = RunIsql(
      "CREATE TABLE isql_made (a INTEGER, b VARCHAR(10))\n"
      "INSERT INTO isql_made VALUES (1, 'one')\n"
      "INSERT INTO isql_made VALUES (2, 'two')\n");
  EXPECT_EQ(output.find("ERROR"), std::string::npos) << output;
  EXPECT_EQ(output.rfind("exit 0\n", 0), 0u) << output;

  // The rows are there for any other client.
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VeloraSample"))) << c.Diag();
  SQLLEN rows = 0;
  std::string diag;
  EXPECT_EQ(c.Execute("UPDATE isql_made SET a = a", &rows, &diag), SQL_SUCCESS) << diag;
  EXPECT_EQ(rows, 2);
}

TEST(Isql, ReportsTheServersErrors) {
  std::string output = RunIsql("INSERT INTO missing_table VALUES (1)\n");
  EXPECT_NE(output.find("[QTX][Velora ODBC Server]"), std::string::npos) << output;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!g_server.Start()) {
    std::fprintf(stderr, "velora-server did not start: %s\n", g_server.Error().c_str());
    return 1;
  }
  UsePrivateOdbc("isql_test", DataSourceSection("VeloraSample", "127.0.0.1", g_server.PortText()));
  int rc = RUN_ALL_TESTS();
  g_server.Stop();
  return rc;
}
