// Logging a connection in and out: the greeting block, the connect request
// and the connection-string handling of SQLDriverConnect.
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "base/Trace.h"
#include "odbc/ConnectString.h"
#include "odbc/PasswordDialog.h"
#include "odbc/Workers.h"
#include "platform/MessageBox.h"
#include "protocol/Requests.h"

namespace {

constexpr int kGreetingSize = 80;
constexpr int kSwitchSize = 10;  // the "Password" switch: at most 9 characters

// Reads key of the connection's data source from ODBC.INI into buffer.
void ReadDataSourceKey(const Connection* c, const char* key, const char* defaultValue, char* buffer,
                       int size) {
  SQLGetPrivateProfileString(c->dataSourceName.TextOrEmpty(), key, defaultValue, buffer, size,
                             "ODBC.INI");
}

// Closes the connection's socket without a word to the server and marks it
// not logged in.
void DropSession(Connection* c) {
  c->clib.ReleaseConnection();
  c->flags &= static_cast<uint8_t>(~VEL_CONNECTION_LOGGED_IN);
}

// Bounds the login's socket traffic by the login timeout and lifts the
// bound again when the login ends, whatever its outcome: a server that
// accepts the connection but never answers cannot hang the application,
// while later requests may take as long as their statements run.
class LoginTimeout {
 public:
  LoginTimeout(ClibConnection* clib, int32_t seconds) : clib_(clib) { clib_->SetTimeout(seconds); }
  ~LoginTimeout() { clib_->SetTimeout(0); }
  LoginTimeout(const LoginTimeout&) = delete;
  LoginTimeout& operator=(const LoginTimeout&) = delete;

 private:
  ClibConnection* clib_;
};

// Opens the socket and, as mode asks, encrypts it. In prefer mode a
// failed handshake is followed by a plaintext connection, and *fellBack
// gets the reason. SQL_SUCCESS, or SQL_ERROR posted.
int OpenChannel(Connection* c, TlsMode mode, char* fellBack, int size) {
  if (!c->clib.InitiateConnection(c->server, c->service)) {
    return VEL_POST(c, SQL_ERROR, kDiagConnectionFailure);
  }
  if (mode == TlsMode::kOff) return SQL_SUCCESS;
  char reason[200], text[300];
  const TlsStart started = c->clib.Encrypt(mode, c->tlsCaFile, c->server, reason, sizeof reason);
  if (started == TlsStart::kDone) return SQL_SUCCESS;
  c->clib.ReleaseConnection();
  if (started == TlsStart::kNoMemory) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  if (mode != TlsMode::kPrefer) {
    std::snprintf(text, sizeof text, kDiagTlsFailure.text, reason);
    return VEL_POST_TEXT(c, SQL_ERROR, kDiagTlsFailure, text);
  }
  // The server answered the handshake with something else (most likely
  // a refused greeting); a new connection speaks plaintext.
  std::snprintf(fellBack, static_cast<size_t>(size), "%s", reason);
  if (!c->clib.InitiateConnection(c->server, c->service)) {
    return VEL_POST(c, SQL_ERROR, kDiagConnectionFailure);
  }
  return SQL_SUCCESS;
}

}  // namespace

int LoginConnection(Connection* c, const String& password) {
  LoginTimeout timeout(&c->clib, c->options.LoginTimeout());
  // Server and service belong to this connection: its connection string
  // set them, else its own data source supplies them here.
  if (c->server[0] == '\0') ReadDataSourceKey(c, "Server", "unknown", c->server, sizeof c->server);
  if (c->service[0] == '\0')
    ReadDataSourceKey(c, "Service", "unknown", c->service, sizeof c->service);
  // A connection string without a data source (DRIVER=) reads no keys.
  const bool named = c->dataSourceName.Length() > 0;
  if (c->tls[0] == '\0' && named) ReadDataSourceKey(c, "TLS", "off", c->tls, sizeof c->tls);
  if (c->tlsCaFile[0] == '\0' && named)
    ReadDataSourceKey(c, "TLSCAFile", "", c->tlsCaFile, sizeof c->tlsCaFile);
  TlsMode mode = TlsMode::kOff;
  if (!ParseTlsMode(c->tls, &mode)) {
    char text[120];
    std::snprintf(text, sizeof text, kDiagTlsMode.text, c->tls);
    return VEL_POST_TEXT(c, SQL_ERROR, kDiagTlsMode, text);
  }
  char fellBack[200] = "";
  const int opened = OpenChannel(c, mode, fellBack, sizeof fellBack);
  if (opened != SQL_SUCCESS) return opened;
  char greeting[kGreetingSize];
  std::memset(greeting, 0, sizeof greeting);
  std::snprintf(greeting, sizeof greeting, "L%c %s %s", 6, "WIN32", "iso8859-1");
  if (!c->clib.Write(greeting, sizeof greeting)) {
    c->clib.ReleaseConnection();
    return VEL_POST(c, SQL_ERROR, kDiagCommunicationFailure);
  }
  uint8_t answer[2];
  if (!c->clib.Read(answer, sizeof answer)) {
    c->clib.ReleaseConnection();
    return VEL_POST(c, SQL_ERROR, kDiagCommunicationFailure);
  }
  const int16_t greetingStatus = static_cast<int16_t>(answer[0] | (answer[1] << 8));
  if (greetingStatus != 0) {
    c->clib.ReleaseConnection();
    char text[80];
    std::snprintf(text, sizeof text, kDiagProtocolFailure.text, greetingStatus);
    VelMessageBox(nullptr, text, "VELODBC: Connect", VEL_MB_OK | VEL_MB_ICONSTOP);
    return VEL_POST_TEXT(c, SQL_ERROR, kDiagProtocolFailure, text);
  }

  ConnectRequest request;
  if (request.Failed() || !request.SetLogin(c->loginDataSource, c->userName, password)) {
    c->clib.ReleaseConnection();
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  int status = kStatusCommunicationFailure;
  const int rc = request.Exchange(&status, &c->clib);
  // SQL_SUCCESS_WITH_INFO is a login too: the server's record is queued
  // and the call reports the warning on a connection that is logged in.
  const bool accepted =
      status == kStatusReplied && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO);
  if (accepted) {
    if (!c->dbmsVersion.SetString(request.Get<VersionElement>()->value)) {
      c->clib.ReleaseConnection();
      return VEL_POST(c, SQL_ERROR, kDiagMemory);
    }
    const NativeLengthValuesElement* sizes = request.Get<NativeLengthValuesElement>();
    for (int i = 0; i < kTypeSizeCount; ++i) c->typeSizes.size[i] = sizes->values[i];
    c->flags |= VEL_CONNECTION_LOGGED_IN;
    c->flags &= static_cast<uint8_t>(~VEL_CONNECTION_BLOCK_FETCH);
    if (request.Get<FetchTypeElement>()->value == kFetchBlock)
      c->flags |= VEL_CONNECTION_BLOCK_FETCH;
  }
  // Fetching the server's record can itself fail (no memory for the
  // request); a login that ends in an error must not stay logged in.
  int result = c->CheckResult(rc, status);
  if (!accepted || (result != SQL_SUCCESS && result != SQL_SUCCESS_WITH_INFO)) {
    DropSession(c);
    return result;
  }
  if (SendChangedOptions(c) != SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
  if (fellBack[0] != '\0') {
    char text[300];
    std::snprintf(text, sizeof text, kDiagTlsFallback.text, fellBack);
    result = VEL_POST_TEXT(c, SQL_SUCCESS_WITH_INFO, kDiagTlsFallback, text);
  }
  return result;
}

// The completed string keeps the encryption asked for, so that a
// reconnection with it is as safe as the first connection.
static bool AppendTls(const Connection* c, String* out) {
  TlsMode mode = TlsMode::kOff;
  if (!ParseTlsMode(c->tls, &mode) || mode == TlsMode::kOff) return true;
  return out->Concatenate(";TLS=") && out->Concatenate(c->tls) &&
         (c->tlsCaFile[0] == '\0' ||
          (out->Concatenate(";TLSCAFile=") && out->Concatenate(c->tlsCaFile)));
}

int ParseConnectString(Connection* c, HWND hwnd, const String& in, String* out) {
  const char* text = in.TextOrEmpty();
  const uint32_t length = in.Length();
  const char* value = "";
  uint32_t valueLength = 0;
  // A string that names the driver instead of a data source carries all
  // it needs itself: no ODBC.INI key is read, and the session uses the
  // data source "Database=" names, else the server's default one.
  String driver;
  String database;
  const bool named = FindConnectKey(text, length, "DSN=", &value, &valueLength);
  if (!named) {
    const char* found;
    uint32_t foundLength;
    if (!FindConnectKeyAnyCase(text, length, "DRIVER=", &found, &foundLength)) {
      return VEL_POST(c, SQL_ERROR, kDiagMissingDataSourceName);
    }
    if (!driver.SetString(found, static_cast<int32_t>(foundLength)))
      return VEL_POST(c, SQL_ERROR, kDiagMemory);
    if (FindConnectKey(text, length, "Database=", &found, &foundLength) &&
        !database.SetString(found, static_cast<int32_t>(foundLength))) {
      return VEL_POST(c, SQL_ERROR, kDiagMemory);
    }
  }
  if (!c->dataSourceName.SetString(value, static_cast<int32_t>(valueLength)) ||
      !c->loginDataSource.SetString(named ? c->dataSourceName : database)) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  c->server[0] = '\0';
  c->service[0] = '\0';
  if (!CopyConnectValue(text, length, "Server=", c->server, sizeof c->server) && !named) {
    std::snprintf(c->server, sizeof c->server, "%s", "unknown");
  }
  if (!CopyConnectValue(text, length, "Service=", c->service, sizeof c->service) && !named) {
    std::snprintf(c->service, sizeof c->service, "%s", "unknown");
  }
  c->tls[0] = '\0';
  c->tlsCaFile[0] = '\0';
  if (!CopyConnectValue(text, length, "TLS=", c->tls, sizeof c->tls) && !named)
    std::snprintf(c->tls, sizeof c->tls, "%s", "off");
  CopyConnectValue(text, length, "TLSCAFile=", c->tlsCaFile, sizeof c->tlsCaFile);
  // ODBC's standard keys UID= and PWD=, which applications (pyodbc's users
  // above all) write in connection strings, serve where the driver's own
  // User= is absent; PWD= is the password itself, so no prompt is needed.
  if (!CopyConnectValue(text, length, "User=", g_loginUserName, sizeof g_loginUserName) &&
      !CopyConnectValue(text, length, "UID=", g_loginUserName, sizeof g_loginUserName)) {
    if (named) {
      ReadDataSourceKey(c, "User", "public", g_loginUserName, sizeof g_loginUserName);
    } else {
      std::snprintf(g_loginUserName, sizeof g_loginUserName, "%s", "public");
    }
  }
  char passwordSwitch[kSwitchSize] = "no";
  if (!CopyConnectValue(text, length, "Password=", passwordSwitch, sizeof passwordSwitch) &&
      named) {
    ReadDataSourceKey(c, "Password", "no", passwordSwitch, sizeof passwordSwitch);
  }
  std::memset(g_loginPassword, 0, sizeof g_loginPassword);
  for (char* p = passwordSwitch; *p; ++p)
    *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  const bool givenPassword =
      CopyConnectValue(text, length, "PWD=", g_loginPassword, sizeof g_loginPassword);
  if (!givenPassword && std::strcmp(passwordSwitch, "yes") == 0) {
    // Cancel ends the connect attempt; a dialog that cannot be shown at all
    // (no terminal, no window system) lets the login go on without a
    // password.
    if (RunPasswordDialog(hwnd) == 0) return SQL_NO_DATA_FOUND;
  }
  String password;
  const bool copied = c->userName.SetString(g_loginUserName) && password.SetString(g_loginPassword);
  std::memset(g_loginPassword, 0, sizeof g_loginPassword);
  if (!copied) return VEL_POST(c, SQL_ERROR, kDiagMemory);

  const int rc = LoginConnection(c, password);
  if (!c->LoggedIn()) return rc;
  // The completed string says what was used: the data source, or the
  // driver and the server's data source when one was named.
  const bool begun = named ? out->SetString("DSN=") && out->Concatenate(c->dataSourceName)
                           : out->SetString("DRIVER=") && out->Concatenate(driver) &&
                                 (database.Length() == 0 ||
                                  (out->Concatenate(";Database=") && out->Concatenate(database)));
  if (!begun || !out->Concatenate(";Server=") || !out->Concatenate(c->server) ||
      !out->Concatenate(";Service=") || !out->Concatenate(c->service) ||
      !out->Concatenate(";User=") || !out->Concatenate(g_loginUserName) ||
      !out->Concatenate(";Password=") || !out->Concatenate(passwordSwitch) || !AppendTls(c, out) ||
      (givenPassword && (!out->Concatenate(";PWD=") || !out->Concatenate(password)))) {
    // The call fails, so the connection must not stay logged in.
    DropSession(c);
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  return rc;
}

int ConnectWorker(Connection* c, const SQLCHAR* dsn, SQLSMALLINT cbDSN, const SQLCHAR* uid,
                  SQLSMALLINT cbUID, const SQLCHAR* auth, SQLSMALLINT cbAuth) {
  if (c->LoggedIn()) return VEL_POST(c, SQL_ERROR, kDiagConnectionInUse);
  if (!ValidLength(cbDSN) || !ValidLength(cbUID) || !ValidLength(cbAuth)) {
    return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  }
  const char* dsnText = reinterpret_cast<const char*>(dsn);
  String password;
  if (!c->dataSourceName.SetString(dsnText, cbDSN) ||
      !c->loginDataSource.SetString(dsnText, cbDSN) ||
      !c->userName.SetString(reinterpret_cast<const char*>(uid), cbUID) ||
      !password.SetString(reinterpret_cast<const char*>(auth), cbAuth)) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  c->server[0] = '\0';
  c->service[0] = '\0';
  c->tls[0] = '\0';
  c->tlsCaFile[0] = '\0';
  return LoginConnection(c, password);
}

int DriverConnectWorker(Connection* c, HWND hwnd, const SQLCHAR* in, SQLSMALLINT cbIn, SQLCHAR* out,
                        SQLSMALLINT cbOutMax, SQLSMALLINT* pcbOut) {
  if (c->LoggedIn()) return VEL_POST(c, SQL_ERROR, kDiagConnectionInUse);
  if (!ValidLength(cbIn) || cbOutMax < 0) return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  String input;
  if (!input.SetString(reinterpret_cast<const char*>(in), cbIn)) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  String output;
  const int rc = ParseConnectString(c, hwnd, input, &output);
  if (rc == SQL_ERROR || rc == SQL_NO_DATA_FOUND) return rc;
  if (pcbOut) *pcbOut = static_cast<SQLSMALLINT>(output.Length());
  char* target = reinterpret_cast<char*>(out);
  if (!target || cbOutMax == 0) {
    Trace('A', 2, "szConnStrOut=<NULL>");
    return VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
  }
  if (CopyOutput(output.TextOrEmpty(), output.Length(), target, cbOutMax)) {
    Trace('A', 2, "szConnStrOut=[%s]", target);
    return rc;
  }
  Trace('A', 2, "szConnStrOut=TRUNC [%s]", target);
  return VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
}

int DisconnectWorker(Connection* c) {
  DisconnectRequest request;
  if (request.Failed()) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  int status = kStatusCommunicationFailure;
  const int rc = request.Exchange(&status, &c->clib);
  // A server that refuses the logout keeps the session. A server that can no
  // longer be reached has ended it already: keeping the connection "logged
  // in" would leave the application unable ever to free it (the driver
  // manager refuses to free a connected handle), so the session ends here
  // with a warning.
  bool unreachable = rc != SQL_SUCCESS && status == kStatusCommunicationFailure;
  if (rc != SQL_SUCCESS && !unreachable) return c->CheckResult(rc, status);
  DropSession(c);
  // The statements still open belong to the session that ended: the
  // server has forgotten their identifiers, so their handles go with it
  // (nothing is sent). A later login cannot reach them by mistake.
  c->statements.Clear();
  return unreachable ? VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDisconnectError) : SQL_SUCCESS;
}

int BrowseConnectWorker(Connection* c, const SQLCHAR* in, SQLSMALLINT cbIn) {
  if (!ValidLength(cbIn)) return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  // The string is taken (and can fail to be) before the refusal, as a
  // browsing driver would.
  String text;
  if (!text.SetString(reinterpret_cast<const char*>(in), cbIn)) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  return VEL_POST(c, SQL_ERROR, kDiagBrowseConnectUnimplemented);
}
