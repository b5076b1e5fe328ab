// The Windows driver under Wine: loads VEL_DLL (VELDRV32.DLL or VELDRV64.DLL) next to this program
// with LoadLibrary, calls its exports through GetProcAddress against a
// velora-server on loopback, and plays the user of its message boxes and
// dialogs with its own messages from a timer while they are open (a display
// is needed: run_wine_test.sh runs it under Xvfb). Given the name of an
// installed driver, it loads the DLL that ODBCINST.INI names for it instead
// and makes the data source through the installer library.
//   wine_test.exe PORT REFUSED-PORT TLS-PORT [DRIVER]
#include <windows.h>
// windows.h first
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

HMODULE g_dll;
char g_file[MAX_PATH] = VEL_DLL;  // the driver's file
int g_passed = 0, g_failed = 0;

void Check(bool ok, const std::string& what, const std::string& detail = "") {
  ++(ok ? g_passed : g_failed);
  std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.c_str());
  std::fflush(stdout);
}

// The DLL's export with the type of the function of that name in the ODBC headers.
template <typename F>
F Export(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_dll, name)));
}
#define DRV(name) Export<decltype(&::name)>(#name)

// The user of the next modal window (a dialog or message box) of this thread: reads its caption and the text of
// control g_read into g_shown, then types each act's text into its control, or clicks it when the text is null.
// clang-format off
struct Act { int id; const char* text; };
// clang-format on
std::vector<Act> g_acts;
int g_read, g_focus;
std::string g_shown;

BOOL CALLBACK FindModal(HWND window, LPARAM found) {
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  if (std::string(name) == "#32770" && IsWindowVisible(window)) *reinterpret_cast<HWND*>(found) = window;
  return *reinterpret_cast<HWND*>(found) == nullptr;
}

void CALLBACK PlayUser(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND modal = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindModal, reinterpret_cast<LPARAM>(&modal));
  if (modal == nullptr) return;
  KillTimer(nullptr, timer);
  char caption[128] = "", text[512] = "";
  GetWindowTextA(modal, caption, sizeof caption);
  GetDlgItemTextA(modal, g_read, text, sizeof text);
  g_shown = std::string(caption) + ": " + text;
  g_focus = GetDlgCtrlID(GetFocus());
  for (const Act& act : g_acts) {
    if (act.text) SetDlgItemTextA(modal, act.id, act.text);
    if (!act.text) SendDlgItemMessageA(modal, act.id, BM_CLICK, 0, 0);
  }
}

// Runs call while the user plays the modal window it opens.
template <typename Call>
auto Playing(int read, std::vector<Act> acts, Call call) {
  g_read = read;
  g_acts = std::move(acts);
  g_shown = "<no window>";
  UINT_PTR timer = SetTimer(nullptr, 0, 50, PlayUser);
  auto result = call();
  KillTimer(nullptr, timer);
  return result;
}

std::string Registry(const std::string& dsn, const char* key) {
  char value[256] = "<none>";
  DWORD size = sizeof value;
  RegGetValueA(HKEY_CURRENT_USER, ("Software\\ODBC\\ODBC.INI\\" + dsn).c_str(), key, RRF_RT_REG_SZ, nullptr, value,
               &size);
  return value;
}

std::string Error(SQLHDBC dbc, SQLHSTMT stmt) {
  SQLCHAR state[6] = "", text[512] = "";
  DRV(SQLError)(SQL_NULL_HENV, dbc, stmt, state, nullptr, text, sizeof text, nullptr);
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
}

// ConfigDSN's attribute list from "key=value;" pairs.
std::string List(std::string pairs) {
  for (char& c : pairs) c = c == ';' ? '\0' : c;
  return pairs + '\0';
}

void Session(SQLHDBC dbc, const std::string& port, const std::string& refusedPort, const std::string& tlsPort) {
  SQLRETURN rc = DRV(SQLConnect)(dbc, (SQLCHAR*)"WineDsn", SQL_NTS, (SQLCHAR*)"wine", SQL_NTS, (SQLCHAR*)"secret", 6);
  Check(rc == SQL_SUCCESS, "SQLConnect to the data source ConfigDSN wrote", Error(dbc, nullptr));
  SQLHSTMT st;
  DRV(SQLAllocStmt)(dbc, &st);
  auto exec = [&](const char* sql) { return DRV(SQLExecDirect)(st, (SQLCHAR*)sql, SQL_NTS); };
  exec("DROP TABLE wine_t");  // left by the run with another of the drivers
  Check(exec("CREATE TABLE wine_t (id INTEGER, name VARCHAR(20))") == SQL_SUCCESS, "CREATE TABLE");
  SQLINTEGER id = 0;
  char name[21] = "";
  SQLLEN nameLength = SQL_NTS;
  DRV(SQLPrepare)(st, (SQLCHAR*)"INSERT INTO wine_t VALUES (?, ?)", SQL_NTS);
  DRV(SQLBindParameter)(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr);
  DRV(SQLBindParameter)(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 0, &nameLength);
  for (rc = SQL_SUCCESS, id = 1; id <= 3 && rc == SQL_SUCCESS; ++id) {
    std::snprintf(name, sizeof name, "row %d", static_cast<int>(id));
    rc = DRV(SQLExecute)(st);
  }
  Check(rc == SQL_SUCCESS, "INSERT with parameters", Error(dbc, st));
  DRV(SQLFreeStmt)(st, SQL_RESET_PARAMS);
  exec("SELECT id, name FROM wine_t WHERE id >= 2 ORDER BY id");
  DRV(SQLBindCol)(st, 1, SQL_C_LONG, &id, 0, nullptr);
  std::string rows;
  while (DRV(SQLFetch)(st) == SQL_SUCCESS && DRV(SQLGetData)(st, 2, SQL_C_CHAR, name, 21, nullptr) == SQL_SUCCESS)
    rows += std::to_string(id) + "=" + name + ";";
  Check(rows == "2=row 2;3=row 3;", "SELECT with a bound column and SQLGetData", rows);
  DRV(SQLFreeStmt)(st, SQL_UNBIND);
  DRV(SQLFreeStmt)(st, SQL_CLOSE);
  DRV(SQLTables)(st, nullptr, 0, nullptr, 0, (SQLCHAR*)"wine_t", SQL_NTS, nullptr, 0);
  name[0] = '\0';
  if (DRV(SQLFetch)(st) == SQL_SUCCESS) DRV(SQLGetData)(st, 3, SQL_C_CHAR, name, sizeof name, nullptr);
  Check(_stricmp(name, "wine_t") == 0, "SQLTables", name);
  DRV(SQLFreeStmt)(st, SQL_CLOSE);
  // The ODBC 3 library answers in UTF-16 through its W function.
  SQLWCHAR wide[21] = L"";
  if (GetProcAddress(g_dll, "SQLGetInfoW") == nullptr)
    DRV(SQLGetInfo)(dbc, SQL_DRIVER_NAME, name, sizeof name, nullptr);
  if (GetProcAddress(g_dll, "SQLGetInfoW") != nullptr) {
    DRV(SQLGetInfoW)(dbc, SQL_DRIVER_NAME, wide, sizeof wide, nullptr);
    for (int i = 0; i < 21; ++i) name[i] = static_cast<char>(wide[i]);
  }
  Check(name[0] != '\0' && std::strstr(g_file, name) != nullptr, "SQLGetInfo(SQL_DRIVER_NAME)", name);
  rc = exec("SELECT * FROM no_such_table");
  const std::string error = Error(dbc, st);
  Check(rc == SQL_ERROR && error.find("[Velora ODBC Server]") != std::string::npos, "SQLError: server error", error);
  DRV(SQLFreeStmt)(st, SQL_DROP);
  DRV(SQLDisconnect)(dbc);

  // The password dialog over a window, and the message box of a refused connection.
  HWND owner = CreateWindowA("STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  auto driverConnect = [&](HWND window, const std::string& text) {
    return DRV(SQLDriverConnect)(dbc, window, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                 SQL_DRIVER_COMPLETE);
  };
  const std::string prompt = "DRIVER=Velora;Server=127.0.0.1;Service=" + port + ";User=wine;Password=Yes";
  rc = Playing(1005, {{1006, "secret"}, {IDOK, nullptr}}, [&] { return driverConnect(owner, prompt); });
  Check(SQL_SUCCEEDED(rc) && g_shown == "Input Password: wine" && g_focus == 1006,
        "password dialog: OK logs in with the typed password", g_shown + " " + Error(dbc, nullptr));
  DRV(SQLDisconnect)(dbc);
  rc = Playing(1005, {{IDCANCEL, nullptr}}, [&] { return driverConnect(owner, prompt); });
  Check(rc == SQL_NO_DATA, "password dialog: Cancel ends the connect", std::to_string(rc));
  rc = Playing(0xFFFF, {{IDOK, nullptr}},
               [&] { return driverConnect(nullptr, "DRIVER=V;Server=127.0.0.1;Service=" + refusedPort); });
  Check(rc == SQL_ERROR && g_shown.find("VELODBC: Unable to connect to host.\nHost 127.0.0.1, Service " + refusedPort +
                                        "\nerrno 10061: [10061] Connection refused") == 0,
        "refused connection: message box", g_shown);

  // TLS through Schannel to a server with a certificate for localhost: verify-full with that certificate as the CA,
  // and refusal with another (a message box, if any, is clicked away).
  auto tls = [&](const char* ca) {
    return Playing(0xFFFF, {{IDOK, nullptr}}, [&] {
      return driverConnect(nullptr, "DRIVER=V;Server=localhost;Service=" + tlsPort +
                                        ";UID=wine;PWD=secret;TLS=verify-full;TLSCAFile=C:\\" + ca);
    });
  };
  rc = tls("velora-cert.pem");
  Check(SQL_SUCCEEDED(rc), "TLS verify-full", Error(dbc, nullptr));
  DRV(SQLDisconnect)(dbc);
  rc = tls("velora-other.pem");
  const std::string refused = Error(dbc, nullptr);
  Check(rc == SQL_ERROR && refused.find("08001 [QTX][Velora ODBC Client]TLS handshake failed: certificate verify") == 0,
        "TLS verify-full refuses a certificate of another CA", refused);

  // The setup dialog over a window: shows the data source's keys, writes the typed values with OK, none with Cancel.
  BOOL ok = Playing(403, {{400, "WineDsn2"}, {402, "typed"}, {406, nullptr}, {IDOK, nullptr}},
                    [&] { return DRV(ConfigDSN)(owner, ODBC_CONFIG_DSN, "Velora", List("DSN=WineDsn;").c_str()); });
  Check(ok && g_shown == "Velora ODBC Driver Setup: 127.0.0.1" && Registry("WineDsn2", "Description") == "typed" &&
            Registry("WineDsn2", "Password") == "Yes" && Registry("WineDsn2", "Server") == "127.0.0.1",
        "setup dialog: OK writes the typed values under the typed name", g_shown);
  ok = Playing(403, {{402, "not kept"}, {IDCANCEL, nullptr}},
               [&] { return DRV(ConfigDSN)(owner, ODBC_CONFIG_DSN, "Velora", List("DSN=WineDsn2;").c_str()); });
  Check(!ok && Registry("WineDsn2", "Description") == "typed", "setup dialog: Cancel writes nothing", g_shown);
  DestroyWindow(owner);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return 2;
  DWORD size = sizeof g_file;
  if (argc == 5) {
    RegGetValueA(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\ODBC\\ODBCINST.INI\\") + argv[4]).c_str(), "Driver",
                 RRF_RT_REG_SZ, nullptr, g_file, &size);
  }
  if ((g_dll = LoadLibraryA(g_file)) == nullptr) return 2;
  // ConfigDSN without a window (through the installer library for an installed driver) writes the data source the
  // session connects to.
  const std::string port = argv[1], dsn = List("DSN=WineDsn;Server=127.0.0.1;Service=" + port + ";User=wine;");
  // The ODBC 3 library's ConfigDSNW through the installer library's W function.
  auto widen = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
  BOOL added = argc < 5 ? DRV(ConfigDSN)(nullptr, ODBC_ADD_DSN, "Velora", dsn.c_str())
               : GetProcAddress(g_dll, "ConfigDSNW")
                   ? SQLConfigDataSourceW(nullptr, ODBC_ADD_DSN, widen(argv[4]).c_str(), widen(dsn).c_str())
                   : SQLConfigDataSource(nullptr, ODBC_ADD_DSN, argv[4], dsn.c_str());
  Check(added && Registry("WineDsn", "Server") == "127.0.0.1" && Registry("WineDsn", "Service") == port,
        "ConfigDSN writes the data source into the registry",
        std::string(g_file) + " " + Registry("WineDsn", "Server"));
  SQLHENV env;
  SQLHDBC dbc;
  Check(DRV(SQLAllocEnv)(&env) == SQL_SUCCESS && DRV(SQLAllocConnect)(env, &dbc) == SQL_SUCCESS, "handles");
  Session(dbc, port, argv[2], argv[3]);
  DRV(SQLFreeConnect)(dbc);
  DRV(SQLFreeEnv)(env);
  FreeLibrary(g_dll);

  // The trace went to the file VELODBC.INI (in the Windows directory) names, and was closed at unload.
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
