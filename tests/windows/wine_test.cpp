// The Windows driver under Wine: loads VELDRV32.DLL next to this program
// with LoadLibrary, calls its exports through GetProcAddress against a
// velora-server on loopback, and plays the user of its message boxes and
// dialogs with its own messages from a timer while they are open (a display
// is needed: run_wine_test.sh runs it under Xvfb).
//   wine_test.exe PORT REFUSED-PORT
#include <windows.h>
// windows.h first
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

HMODULE g_dll;
int g_passed = 0, g_failed = 0;
std::string g_port, g_refusedPort;

void Check(bool ok, const std::string& what, const std::string& detail = "") {
  ++(ok ? g_passed : g_failed);
  std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  std::fflush(stdout);
}

// An export of the DLL with the type of the function of that name in the ODBC headers.
template <typename F>
F Export(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_dll, name)));
}
#define DRV(name) Export<decltype(&::name)>(#name)

// The user: called with the first modal window (class #32770) this thread shows.
std::function<void(HWND)> g_user;

BOOL CALLBACK FindModal(HWND window, LPARAM found) {
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK PlayUser(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND modal = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindModal, reinterpret_cast<LPARAM>(&modal));
  if (modal == nullptr) return;
  KillTimer(nullptr, timer);
  g_user(modal);
}

// Runs call while user plays the modal window it opens.
template <typename Call>
auto WithUser(std::function<void(HWND)> user, Call call) {
  g_user = std::move(user);
  UINT_PTR timer = SetTimer(nullptr, 0, 50, PlayUser);
  auto result = call();
  KillTimer(nullptr, timer);
  return result;
}

std::string ItemText(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void Press(HWND dialog, int button) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

std::string Registry(const std::string& dsn, const char* key) {
  char value[256] = "";
  DWORD size = sizeof value;
  std::string path = "Software\\ODBC\\ODBC.INI\\" + dsn;
  if (RegGetValueA(HKEY_CURRENT_USER, path.c_str(), key, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return "<none>";
  return value;
}

std::string Diagnostic(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt) {
  SQLCHAR state[6] = "", text[512] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  DRV(SQLError)(env, dbc, stmt, state, &native, text, sizeof text, &length);
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
}

std::string Attributes(std::string list) {
  for (char& c : list) c = c == ';' ? '\0' : c;
  return list + '\0';
}

void Session(SQLHENV env) {
  SQLHDBC dbc;
  DRV(SQLAllocConnect)(env, &dbc);
  SQLRETURN rc =
      DRV(SQLConnect)(dbc, (SQLCHAR*)"WineDsn", SQL_NTS, (SQLCHAR*)"wine", SQL_NTS, (SQLCHAR*)"secret", SQL_NTS);
  Check(rc == SQL_SUCCESS, "SQLConnect to the data source ConfigDSN wrote", Diagnostic(env, dbc, SQL_NULL_HSTMT));
  SQLHSTMT st;
  DRV(SQLAllocStmt)(dbc, &st);
  auto exec = [&](const char* sql) { return DRV(SQLExecDirect)(st, (SQLCHAR*)sql, SQL_NTS); };
  Check(exec("CREATE TABLE wine_t (id INTEGER, name VARCHAR(20))") == SQL_SUCCESS, "CREATE TABLE");
  SQLINTEGER id = 0;
  char name[21] = "";
  SQLLEN nameLength = SQL_NTS;
  DRV(SQLPrepare)(st, (SQLCHAR*)"INSERT INTO wine_t VALUES (?, ?)", SQL_NTS);
  DRV(SQLBindParameter)(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  DRV(SQLBindParameter)(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 0, &nameLength);
  bool inserted = true;
  for (id = 1; id <= 3; ++id) {
    std::snprintf(name, sizeof name, "row %d", static_cast<int>(id));
    inserted = inserted && DRV(SQLExecute)(st) == SQL_SUCCESS;
  }
  Check(inserted, "INSERT with parameters", Diagnostic(env, dbc, st));
  DRV(SQLFreeStmt)(st, SQL_RESET_PARAMS);
  exec("SELECT id, name FROM wine_t WHERE id >= 2 ORDER BY id");
  SQLINTEGER fetched = 0;
  DRV(SQLBindCol)(st, 1, SQL_C_LONG, &fetched, 0, nullptr);
  std::string rows;
  while (DRV(SQLFetch)(st) == SQL_SUCCESS) {
    DRV(SQLGetData)(st, 2, SQL_C_CHAR, name, sizeof name, &nameLength);
    rows += std::to_string(fetched) + "=" + name + ";";
  }
  Check(rows == "2=row 2;3=row 3;", "SELECT with a bound column and SQLGetData", rows);
  DRV(SQLFreeStmt)(st, SQL_UNBIND);
  DRV(SQLFreeStmt)(st, SQL_CLOSE);
  DRV(SQLTables)(st, nullptr, 0, nullptr, 0, (SQLCHAR*)"wine_t", SQL_NTS, nullptr, 0);
  char table[64] = "";
  bool found = DRV(SQLFetch)(st) == SQL_SUCCESS &&
               DRV(SQLGetData)(st, 3, SQL_C_CHAR, table, sizeof table, nullptr) == SQL_SUCCESS;
  Check(found && _stricmp(table, "wine_t") == 0, "SQLTables", table);
  DRV(SQLFreeStmt)(st, SQL_CLOSE);
  char info[64] = "";
  DRV(SQLGetInfo)(dbc, SQL_DRIVER_NAME, info, sizeof info, nullptr);
  Check(std::string(info) == "VELDRV32.DLL", "SQLGetInfo(SQL_DRIVER_NAME)", info);
  Check(exec("SELECT * FROM no_such_table") == SQL_ERROR, "a failing statement");
  std::string error = Diagnostic(env, dbc, st);
  Check(error.find("[Velora ODBC Server]") != std::string::npos, "SQLError gives the server's record", error);
  DRV(SQLFreeStmt)(st, SQL_DROP);
  DRV(SQLDisconnect)(dbc);

  // The password prompt: the user types the password and presses OK, or Cancel.
  const std::string prompt = "DRIVER=Velora;Server=127.0.0.1;Service=" + g_port + ";User=wine;Password=Yes";
  HWND owner = CreateWindowA("STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  std::string shownUser;
  auto driverConnect = [&] {
    SQLCHAR out[512] = "";
    SQLSMALLINT outLength = 0;
    return DRV(SQLDriverConnect)(dbc, owner, (SQLCHAR*)prompt.c_str(), SQL_NTS, out, sizeof out, &outLength,
                                 SQL_DRIVER_COMPLETE);
  };
  rc = WithUser(
      [&](HWND d) {
        shownUser = ItemText(d, 1005);
        SetDlgItemTextA(d, 1006, "secret");
        Press(d, IDOK);
      },
      driverConnect);
  Check(rc == SQL_SUCCESS && shownUser == "wine", "password dialog: OK with the typed password logs in",
        shownUser + " " + Diagnostic(env, dbc, SQL_NULL_HSTMT));
  DRV(SQLDisconnect)(dbc);
  rc = WithUser([](HWND d) { Press(d, IDCANCEL); }, driverConnect);
  Check(rc == SQL_NO_DATA, "password dialog: Cancel ends the connect", std::to_string(rc));

  // A refused connection shows the socket error text in a message box.
  std::string caption, text;
  const std::string refused = "DRIVER=Velora;Server=127.0.0.1;Service=" + g_refusedPort + ";User=wine";
  rc = WithUser(
      [&](HWND box) {
        char buffer[512] = "";
        GetWindowTextA(box, buffer, sizeof buffer);
        caption = buffer;
        text = ItemText(box, 0xFFFF);
        Press(box, IDOK);
      },
      [&] {
        return DRV(SQLDriverConnect)(dbc, nullptr, (SQLCHAR*)refused.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                     SQL_DRIVER_NOPROMPT);
      });
  Check(rc == SQL_ERROR && caption == "VELODBC" &&
            text.find("errno 10061: [10061] Connection refused") != std::string::npos,
        "refused connection: message box", caption + ": " + text);
  DRV(SQLFreeConnect)(dbc);

  // The setup dialog over a window: shows the data source's keys, takes typed values with OK, none with Cancel.
  std::string shownServer;
  auto configure = [&] { return DRV(ConfigDSN)(owner, ODBC_CONFIG_DSN, "Velora", Attributes("DSN=WineDsn;").c_str()); };
  BOOL ok = WithUser(
      [&](HWND d) {
        shownServer = ItemText(d, 403);
        SetDlgItemTextA(d, 400, "WineDsn2");
        SetDlgItemTextA(d, 402, "typed description");
        CheckDlgButton(d, 406, BST_CHECKED);
        Press(d, IDOK);
      },
      configure);
  Check(ok && shownServer == "127.0.0.1" && Registry("WineDsn2", "Description") == "typed description" &&
            Registry("WineDsn2", "Password") == "Yes" && Registry("WineDsn2", "Server") == "127.0.0.1",
        "setup dialog: OK writes the typed values under the typed name", shownServer);
  ok = WithUser(
      [&](HWND d) {
        SetDlgItemTextA(d, 402, "not kept");
        Press(d, IDCANCEL);
      },
      [&] { return DRV(ConfigDSN)(owner, ODBC_CONFIG_DSN, "Velora", Attributes("DSN=WineDsn2;").c_str()); });
  Check(!ok && Registry("WineDsn2", "Description") == "typed description", "setup dialog: Cancel writes nothing");
  DestroyWindow(owner);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  g_port = argv[1];
  g_refusedPort = argv[2];
  g_dll = LoadLibraryA("VELDRV32.DLL");
  if (g_dll == nullptr) {
    std::printf("FAIL LoadLibrary: %lu\n0 passed, 1 failed\n", GetLastError());
    return 1;
  }
  // ConfigDSN without a window writes the data source the session connects to.
  BOOL added = DRV(ConfigDSN)(nullptr, ODBC_ADD_DSN, "Velora",
                              Attributes("DSN=WineDsn;Server=127.0.0.1;Service=" + g_port + ";User=wine;").c_str());
  Check(added && Registry("WineDsn", "Server") == "127.0.0.1" && Registry("WineDsn", "Service") == g_port,
        "ConfigDSN writes the data source into the registry", Registry("WineDsn", "Server"));
  SQLHENV env;
  Check(DRV(SQLAllocEnv)(&env) == SQL_SUCCESS, "SQLAllocEnv");
  Session(env);
  DRV(SQLFreeEnv)(env);
  FreeLibrary(g_dll);

  // The trace went to the file VELODBC.INI (in the Windows directory) names.
  char logFile[MAX_PATH] = "";
  GetPrivateProfileStringA("Debug", "LogFile", "", logFile, sizeof logFile, "VELODBC.INI");
  std::ostringstream trace;
  trace << std::ifstream(logFile).rdbuf();
  Check(trace.str().find("SQLExecDirect: hstmt=0x") != std::string::npos &&
            trace.str().find("errno 10061: [10061] Connection refused") != std::string::npos &&
            trace.str().find("\n\nEnde: ") != std::string::npos,
        "trace file", logFile);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
