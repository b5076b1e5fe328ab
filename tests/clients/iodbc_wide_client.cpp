// A wide-character application linked to iODBC (SQLWCHAR: 4-byte wchar_t),
// for each connection string given: SQLDriverConnectW, non-ASCII text and
// an emoji both ways (a literal, a wide parameter), a value read in pieces
// (lengths in bytes), SQLDescribeColW, SQLGetDiagRecW and catalog calls.
//   iodbc_wide_client CONNECTION_STRING...
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what, const std::wstring& got) {
  if (!ok && ++g_failures) std::fprintf(stderr, "FAILED: %s (got \"%ls\")\n", what, got.c_str());
}

SQLWCHAR* W(const wchar_t* text) { return const_cast<SQLWCHAR*>(text); }

// Column column of each row of the result, read as wide text in pieces
// of piece characters (the 0 included), the rows joined by ",".
std::wstring Rows(SQLHSTMT s, SQLUSMALLINT column, long piece = 64) {
  std::wstring all;
  SQLWCHAR value[64];
  SQLLEN length = 0;
  for (int row = 0; SQL_SUCCEEDED(SQLFetch(s)); ++row) {
    all += row != 0 ? L"," : L"";
    while (SQL_SUCCEEDED(SQLGetData(s, column, SQL_C_WCHAR, value, piece * sizeof value[0], &length))) all += value;
  }
  SQLCloseCursor(s);
  return all;
}

void Session(SQLHENV env, const std::wstring& connect) {
  SQLHDBC c = nullptr;
  SQLHSTMT s = nullptr;
  SQLAllocHandle(SQL_HANDLE_DBC, env, &c);
  SQLWCHAR out[512], state[6], text[256];
  SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
  // (*length is iODBC's here: it counts the completed string in bytes.)
  SQLRETURN rc = SQLDriverConnectW(c, nullptr, W(connect.c_str()), SQL_NTS, out, 512, &length, SQL_DRIVER_NOPROMPT);
  Check(SQL_SUCCEEDED(rc) && std::wstring(out).find(L"Service=") != std::wstring::npos, "SQLDriverConnectW", connect);
  if (!SQL_SUCCEEDED(rc)) return;
  SQLAllocHandle(SQL_HANDLE_STMT, c, &s);
  SQLExecDirectW(s, W(L"DROP TABLE IF EXISTS \"wide_café\""), SQL_NTS);
  const wchar_t* param = L"héllo 😀 wörld";
  SQLLEN paramLength = SQL_NTS;
  SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0, W(param), 0, &paramLength);
  for (const wchar_t* sql :
       {L"CREATE TABLE \"wide_café\" (id INTEGER PRIMARY KEY, tëxt VARCHAR(40))",
        L"INSERT INTO \"wide_café\" VALUES (1, 'ça 日本 😀')", L"INSERT INTO \"wide_café\" VALUES (2, ?)"})
    Check(SQL_SUCCEEDED(SQLExecDirectW(s, W(sql), SQL_NTS)), "SQLExecDirectW", sql);
  SQLFreeStmt(s, SQL_RESET_PARAMS);
  const std::wstring both = std::wstring(L"ça 日本 😀,") + param;
  SQLExecDirectW(s, W(L"SELECT tëxt FROM \"wide_café\" ORDER BY id"), SQL_NTS);
  SQLULEN size = 0;
  SQLDescribeColW(s, 1, text, 256, &length, &type, &size, &digits, &nullable);
  Check(std::wstring(text) == L"tëxt" && length == 4, "SQLDescribeColW", text);
  const std::wstring pieces = Rows(s, 1, 3);
  Check(pieces == both, "values in pieces of two characters", pieces);
  SQLExecDirectW(s, W(L"SELECT tëxt FROM \"wide_café\" ORDER BY id"), SQL_NTS);
  SQLFetch(s);
  SQLLEN bytes = 0;
  SQLGetData(s, 1, SQL_C_WCHAR, text, sizeof text, &bytes);
  Check(bytes == 7 * sizeof(SQLWCHAR), "the value's length in bytes", text);
  SQLCloseCursor(s);
  SQLTablesW(s, nullptr, 0, nullptr, 0, W(L"wide_caf%"), SQL_NTS, W(L"TABLE"), SQL_NTS);
  Check(Rows(s, 3) == L"wide_café", "SQLTablesW", L"");
  SQLColumnsW(s, nullptr, 0, nullptr, 0, W(L"wide_café"), SQL_NTS, W(L"%"), SQL_NTS);
  Check(Rows(s, 4) == L"id,tëxt", "SQLColumnsW", L"");
  SQLPrimaryKeysW(s, nullptr, 0, nullptr, 0, W(L"wide_café"), SQL_NTS);
  Check(Rows(s, 4) == L"id", "SQLPrimaryKeysW", L"");
  SQLExecDirectW(s, W(L"DROP TABLE \"wide_café\""), SQL_NTS);

  rc = SQLExecDirectW(s, W(L"SELECT * FROM no_such_täble"), SQL_NTS);
  SQLINTEGER native = 0;
  SQLGetDiagRecW(SQL_HANDLE_STMT, s, 1, state, &native, text, 256, &length);
  const std::wstring message(text);
  Check(rc == SQL_ERROR && std::wstring(state) == L"42S02", "SQLGetDiagRecW's state", state);
  Check(message.find(L"no_such_täble") != std::wstring::npos && length == SQLSMALLINT(message.size()),
        "SQLGetDiagRecW's message", message);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  SQLDisconnect(c);
  SQLFreeHandle(SQL_HANDLE_DBC, c);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  static_assert(sizeof(SQLWCHAR) == 4, "iODBC's SQLWCHAR");
  SQLHENV env = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  for (int i = 1; i < argc; ++i) {
    std::wstring connect(std::mbstowcs(nullptr, argv[i], 0), L'\0');
    std::mbstowcs(&connect[0], argv[i], connect.size());
    Session(env, connect);
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  if (g_failures == 0) std::puts("iODBC wide client: OK");
  return g_failures == 0 ? 0 : 1;
}
