// Data-source setup through unixODBC's installer in a private folder:
// SQLConfigDataSource with the built library as the setup library of
// "Velora", the setup dialog played by the scripted host (ConfigDSN linked
// in), and the terminal host under a pseudo-terminal.
#include <gtest/gtest.h>
#include <odbcinst.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "odbc/Setup.h"
#include "support/capture.h"
#include "support/scripted_dialog_host.h"

extern "C" BOOL ConfigDSN(HWND, WORD, LPCSTR, LPCSTR);

namespace {

const std::string kDir = VEL_TEST_WORK_DIR "/config_dsn." + std::to_string(getpid());

struct Folder : ::testing::Environment {
  void SetUp() override {
    mkdir(kDir.c_str(), 0700);
    std::ofstream(kDir + "/odbcinst.ini")
        << "[Velora]\nDriver = " VEL_DRIVER_PATH "\nSetup = " VEL_DRIVER_PATH "\n";
    setenv("ODBCSYSINI", kDir.c_str(), 1);
    setenv("ODBCINI", (kDir + "/odbc.ini").c_str(), 1);
    setenv("HOME", kDir.c_str(), 1);
  }
  void TearDown() override { EXPECT_EQ(std::system(("rm -rf " + kDir).c_str()), 0); }
};
const auto* const kFolder = ::testing::AddGlobalTestEnvironment(new Folder);

// Each test starts with an empty user odbc.ini.
struct ConfigDsnTest : ::testing::Test {
  void SetUp() override { std::ofstream(kDir + "/odbc.ini"); }
  static std::string Ini() {
    std::stringstream s;
    s << std::ifstream(kDir + "/odbc.ini").rdbuf();
    return s.str();
  }
};

// "a;b" as the attribute list "a\0b\0\0".
std::string List(std::string text) {
  for (char& c : text) c = c == ';' ? '\0' : c;
  return text + '\0';
}

// Rows run in order on one file; each gives the file after it. Keys not in
// the list are not written on adding and kept on configuring.
TEST_F(ConfigDsnTest, AddConfigureRemoveThroughTheDriverManager) {
  const std::string sales = "[Sales]\nDriver=Velora\nServer=db1\nDebug=3\n";
  const std::string configured = sales + "Description=Test\nPassword=Yes\n";
  const std::string cut = sales + "Description=Test\nPassword=No\nUser=" + std::string(255, 'u');
  const struct {
    WORD request;
    std::string list;
    BOOL result;
    std::string ini;
  } rows[] = {
      {ODBC_ADD_DSN, "DSN=Sales;server=a;Server=db1;Debug=3", TRUE, sales + "\n"},
      {ODBC_ADD_DSN, "Server=db2", FALSE, sales + "\n"},
      {ODBC_CONFIG_DSN, "Server=db2", FALSE, sales + "\n"},
      {ODBC_ADD_DSN, "DSN=Bad[name;Server=db2", FALSE, sales + "\n"},
      {ODBC_CONFIG_DSN, "DSN=Sales;DESC=Test;Password=yes", TRUE, configured + "\n"},
      // A value is cut at 255 characters; a string without "=" ends the list.
      {ODBC_CONFIG_DSN,
       "DSN=Sales;Password=maybe;User=" + std::string(300, 'u') + ";stop;Service=9", TRUE,
       cut + "\n\n"},
      {ODBC_REMOVE_DSN, "Server=db1", FALSE, cut + "\n\n"},
      {ODBC_REMOVE_DSN, "DSN=Sales", TRUE, ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(SQLConfigDataSource(nullptr, row.request, "Velora", List(row.list).c_str()),
              row.result)
        << row.list;
    EXPECT_EQ(Ini(), row.ini) << row.list;
  }
}

// The dialog: a name typed renames the data source (the old section goes,
// unless only the letter case changed); "Default" cannot be renamed; OK
// stays disabled without a name; a failed write keeps the dialog open.
TEST_F(ConfigDsnTest, SetupDialogThroughTheScriptedHost) {
  const std::string keys = "Description=\nServer=db1\nService=\nUser=\nPassword=Yes\nDebug=3\n\n";
  const std::string added = "[Sales]\nDriver=Velora\n" + keys,
                    moved = "[Sales2]\nDriver=Velora\n" + keys;
  const std::string renamed = "[SALES2]\nDriver=Velora\n" + keys;
  const std::string both =
      renamed + "[Default]\nDriver=Velora\nDescription=\nServer=\nService=\nUser=\nPassword=No\n\n";
  const std::string bad =
      "The data source \"Bad[\" could not be written. A name has 1 to 32 "
      "characters, none of []{}(),;?*=!@\\.";
  const std::pair<int, const char*> ok{IDOK, nullptr}, cancel{IDCANCEL, nullptr};  // clicks
  const struct {
    WORD request;
    std::string list;
    std::vector<std::pair<int, const char*>> actions;
    std::string results;  // whether each action took effect
    BOOL result;
    std::string ini, box;
  } rows[] = {
      {ODBC_ADD_DSN, "DSN=Sales;Password=yes;Debug=3;Server=db1", {ok}, "1", TRUE, added, ""},
      {ODBC_CONFIG_DSN, "DSN=Sales", {{400, "Sales2"}, ok}, "11", TRUE, moved, ""},
      {ODBC_CONFIG_DSN, "DSN=Sales2", {{400, "SALES2"}, ok}, "11", TRUE, renamed, ""},
      {ODBC_ADD_DSN, "DSN=Default", {{400, "x"}, ok}, "01", TRUE, both, ""},
      {ODBC_ADD_DSN, "", {ok, {400, "Bad["}, ok, cancel}, "0111", FALSE, both, bad},
  };
  int window = 0;  // any parent window
  for (const auto& row : rows) {
    ScriptedDialogHost host;
    BoxCapture boxes;
    for (const auto& [id, text] : row.actions) text ? host.Type(id, text) : host.Click(id);
    EXPECT_EQ(ConfigDSN(&window, row.request, "Velora", List(row.list).c_str()), row.result);
    std::string results;
    for (bool r : host.results()) results += r ? '1' : '0';
    EXPECT_EQ(results, row.results) << row.list;
    EXPECT_EQ(Ini(), row.ini) << row.list;
    EXPECT_EQ(boxes.texts, row.box.empty() ? std::vector<std::string>{} : std::vector{row.box});
  }
}

// The terminal host shows each field with its value (an empty answer keeps
// it), asks the check box as a question and presses OK.
TEST_F(ConfigDsnTest, TerminalDialogUnderAPseudoTerminal) {
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    _exit(
        SQLConfigDataSource(&terminal, ODBC_ADD_DSN, "Velora", List("DSN=Tty;Service=7").c_str()));
  }
  const std::string answers = "\nTerminal one\nann\ny\nhost9\n\n";
  ASSERT_EQ(write(terminal, answers.data(), answers.size()), ssize_t(answers.size()));
  std::string shown;
  char buffer[512];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 1 << 8) << shown;
  EXPECT_NE(shown.find("Velora ODBC Driver Setup"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Service: [7]"), std::string::npos) << shown;
  EXPECT_EQ(Ini(),
            "[Tty]\nDriver=Velora\nDescription=Terminal one\nServer=host9\nService=7\n"
            "User=ann\nPassword=Yes\n\n");
}

}  // namespace
