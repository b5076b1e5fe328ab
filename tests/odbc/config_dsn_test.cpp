// Data-source setup with the build's unixODBC folder (driver "Velora ANSI",
// whose setup library is the built one) and a user odbc.ini of the test's
// own: SQLConfigDataSource without a window, and the
// setup dialog (ConfigDSN linked in) played by the scripted host. The terminal host is run by
// tests/integration/package_test.sh.
#include <gtest/gtest.h>
#include <odbcinst.h>

#include <fstream>

#include "support/capture.h"
#include "support/scripted_dialog_host.h"

extern "C" BOOL ConfigDSN(HWND, WORD, LPCSTR, LPCSTR);

// Rows run in order on one odbc.ini and give the file after them. Without
// a window only the keys listed are written (a configured data source
// keeps the others); the dialog writes all but Debug, renames the data
// source when its name is edited (unless only the letter case changed),
// cannot rename "Default", and stays open after a failed write.
TEST(ConfigDsn, AddConfigureRenameAndRemove) {
  const std::string ini = VEL_TEST_WORK_DIR "/config_dsn." + std::to_string(getpid()) + ".ini";
  setenv("ODBCSYSINI", VEL_ODBC_DIR, 1);
  setenv("ODBCINI", ini.c_str(), 1);
  setenv("HOME", VEL_ODBC_DIR "/home", 1);
  const std::string sales =
      "[Sales]\nDriver=Velora ANSI\nServer=db1\nLoadBalance=yes\nDebug=3\nTLS=verify-full\nCursorMemory=1M\n";
  const std::string added = "DSN=Sales;Server=db1;server=a;Debug=3;tls=verify-full;CursorMemory=1M;LoadBalance=yes";
  const std::string cut = sales + "Description=Test\nUser=" + std::string(255, 'u') + "\nPassword=No\n\n";
  const std::string keys = "Driver=Velora ANSI\nDescription=\nServer=\nService=\nUser=\nPassword=Yes\nDebug=3\n\n";
  const std::string longUser = "DSN=Sales;DESC=Test;Password=0;User=" + std::string(300, 'u') + ";x;Service=9";
  const std::string both = "[SALES2]\n" + keys +
                           "[Default]\nDriver=Velora ANSI\nDescription=\nServer=\nService=\nUser=\n"
                           "Password=No\n\n";
  const std::string bad = "Cannot write data source \"Bad[\": a name has 1 to 32 characters, none of []{}(),;?*=!@\\.";
  const std::pair<int, const char*> ok{IDOK, nullptr};
  // actions: with the dialog; a null text clicks
  // clang-format off
  struct Row { WORD request; std::string list; std::vector<std::pair<int, const char*>> actions; BOOL result;
      std::string ini, box; };
  // clang-format on
  const Row rows[] = {
      {ODBC_ADD_DSN, added, {}, TRUE, sales + "\n", ""},
      {ODBC_ADD_DSN, "Server=db2", {}, FALSE, sales + "\n", ""},
      // Values are cut at 255 characters; a string without "=" ends the list.
      {ODBC_CONFIG_DSN, longUser, {}, TRUE, cut, ""},
      {ODBC_REMOVE_DSN, "DSN=Sales", {}, TRUE, "", ""},
      {ODBC_ADD_DSN, "DSN=Sales;Debug=3;Password=yes", {ok}, TRUE, "[Sales]\n" + keys, ""},
      {ODBC_CONFIG_DSN, "DSN=Sales", {{400, "Sales2"}, ok}, TRUE, "[Sales2]\n" + keys, ""},
      {ODBC_CONFIG_DSN, "DSN=Sales2", {{400, "SALES2"}, ok}, TRUE, "[SALES2]\n" + keys, ""},
      {ODBC_ADD_DSN, "DSN=Default", {{400, "x"}, ok}, TRUE, both, ""},
      {ODBC_ADD_DSN, "", {{400, "Bad["}, ok}, FALSE, both, bad},
  };
  for (const auto& row : rows) {
    ScriptedDialogHost host;
    BoxCapture boxes;
    for (const auto& [id, text] : row.actions) text ? host.Type(id, text) : host.Click(id);
    std::string list = row.list + '\0';
    for (char& c : list) c = c == ';' ? '\0' : c;
    EXPECT_EQ(row.actions.empty() ? SQLConfigDataSource(nullptr, row.request, "Velora ANSI", list.c_str())
                                  : ConfigDSN(HWND(1), row.request, "Velora ANSI", list.c_str()),
              row.result);
    std::ifstream file(ini);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), row.ini) << row.list;
    EXPECT_EQ(boxes.texts, row.box.empty() ? std::vector<std::string>{} : std::vector{row.box});
  }
  std::remove(ini.c_str());
}
