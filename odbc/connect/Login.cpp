// Logging a connection in and out: the greeting block, the connect request
// and the connection-string handling of SQLDriverConnect.
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "handles/ClientDiagnostics.h"
#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "base/Trace.h"
#include "odbc/connect/ConnectKeys.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/connect/PasswordDialog.h"
#include "odbc/connect/ServerList.h"
#include "odbc/Workers.h"
#include "platform/MessageBox.h"
#include "protocol/Framing.h"
#include "protocol/Requests.h"

namespace {

constexpr int kUserRow = ConnectKeyRow("User");
constexpr int kPwdRow = ConnectKeyRow("PWD");
static_assert(kUserRow >= 0 && kPwdRow >= 0, "the login treats these keys apart");
static_assert(sizeof(ConnectSettings::user) == kLoginNameSize &&
                  sizeof(ConnectSettings::pwd) == kLoginNameSize,
              "the password prompt fills them");

// Reads key (else its alias) of the connection's data source from ODBC.INI
// into buffer; empty when neither is set.
void ReadDataSourceKey(const Connection* c, const ConnectKey& key, char* buffer, int size) {
  const char* section = c->dataSourceName.TextOrEmpty();
  buffer[0] = '\0';
  SQLGetPrivateProfileString(section, key.name, "", buffer, size, "ODBC.INI");
  if (buffer[0] == '\0' && key.alias)
    SQLGetPrivateProfileString(section, key.alias, "", buffer, size, "ODBC.INI");
}

// Sets the connection's settings, each key from the connection string in
// (null: none), else from the connection's data source (when it names
// one), else its default; given[row] tells whether in gave the key.
void ReadSettings(Connection* c, const String* in, bool named, bool* given) {
  c->settings = ConnectSettings{};
  for (int row = 0; row < kConnectKeyCount; ++row) {
    const ConnectKey& key = kConnectKeys[row];
    given[row] = false;
    if (key.size == 0) continue;
    char* value = SettingOf(&c->settings, key);
    if (in && (key.from & kFromString)) {
      for (const char* name : {key.name, key.alias}) {
        if (!given[row] && name)
          given[row] = CopyConnectValue(in->TextOrEmpty(), in->Length(), name, value, key.size);
      }
    }
    if (given[row] && (value[0] != '\0' || (key.from & kEmptyIsGiven))) continue;
    if (named && (key.from & kFromDataSource)) ReadDataSourceKey(c, key, value, key.size);
    if (value[0] == '\0') std::snprintf(value, key.size, "%s", key.fallback);
  }
}

// Wipes the connection's password setting when the login ends.
class PasswordWipe {
 public:
  explicit PasswordWipe(ConnectSettings* settings) : settings_(settings) {}
  ~PasswordWipe() { std::memset(settings_->pwd, 0, sizeof settings_->pwd); }
  PasswordWipe(const PasswordWipe&) = delete;
  PasswordWipe& operator=(const PasswordWipe&) = delete;

 private:
  ConnectSettings* settings_;
};

// "CursorMemory=": bytes, or with K, M or G (any case) KiB, MiB or GiB.
// A value that is no such size leaves the default.
uint64_t CursorMemoryOf(const char* text) {
  uint64_t bytes = 0;
  const char* p = text;
  if (*p < '0' || *p > '9') return Connection::kDefaultCursorMemory;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (bytes > (UINT64_MAX - 9) / 10) return Connection::kDefaultCursorMemory;
    bytes = bytes * 10 + static_cast<uint64_t>(*p - '0');
  }
  int shift = 0;
  switch (std::tolower(static_cast<unsigned char>(*p))) {
    case 'k':
      shift = 10;
      ++p;
      break;
    case 'm':
      shift = 20;
      ++p;
      break;
    case 'g':
      shift = 30;
      ++p;
      break;
    default:
      break;
  }
  if (*p != '\0' || bytes > (UINT64_MAX >> shift)) return Connection::kDefaultCursorMemory;
  return bytes << shift;
}

// The data source the session opens: the Database key (of the connection
// string, else of the data source), else the data source's own name (none
// for a connection string without a data source).
int SetLoginDataSource(Connection* c) {
  return c->settings.database[0] ? c->loginDataSource.SetString(c->settings.database)
                                 : c->loginDataSource.SetString(c->dataSourceName);
}

// Closes the connection's socket without a word to the server and marks it
// not logged in.
void DropSession(Connection* c) {
  c->SetCancelKey(0, TlsMode::kOff);
  c->clib.ReleaseConnection();
  c->flags &= ~uint32_t{kConnectionLoggedIn};
}

// Bounds the login's socket traffic by the login timeout and lifts the
// bound again (back to the connection timeout, if set) when the login
// ends, whatever its outcome: a server that
// accepts the connection but never answers cannot hang the application,
// while later requests may take as long as their statements run.
class LoginTimeout {
 public:
  LoginTimeout(Connection* c, int32_t seconds) : clib_(&c->clib), after_(c->ConnectionTimeout()) {
    clib_->SetTimeout(seconds);
  }
  ~LoginTimeout() { clib_->SetTimeout(after_); }
  LoginTimeout(const LoginTimeout&) = delete;
  LoginTimeout& operator=(const LoginTimeout&) = delete;

 private:
  ClibConnection* clib_;
  int32_t after_;  // the connection timeout (ODBC 3), else none
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
  const TlsStart started =
      c->clib.Encrypt(mode, c->settings.tlsCaFile, c->server, reason, sizeof reason);
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

// One login at c->server and c->service, the socket traffic bounded to
// seconds. quiet keeps failures out of message boxes (the caller reports
// them together).
int LoginOnce(Connection* c, const String& password, TlsMode mode, int32_t seconds, bool quiet) {
  LoginTimeout timeout(c, seconds);
  char fellBack[200] = "";
  const int opened = OpenChannel(c, mode, fellBack, sizeof fellBack);
  if (opened != SQL_SUCCESS) return opened;
  int16_t greetingStatus = kGreetingAccepted;
  if (!ExchangeGreeting(&c->clib, "WIN32", "iso8859-1", &greetingStatus)) {
    c->clib.ReleaseConnection();
    return VEL_POST(c, SQL_ERROR, kDiagCommunicationFailure);
  }
  if (greetingStatus != kGreetingAccepted) {
    c->clib.ReleaseConnection();
    char text[80];
    std::snprintf(text, sizeof text, kDiagProtocolFailure.text, greetingStatus);
    if (!quiet) VelMessageBox(nullptr, text, "VELODBC: Connect", kMbOk | kMbIconStop);
    return VEL_POST_TEXT(c, SQL_ERROR, kDiagProtocolFailure, text);
  }

  ConnectRequest request;
  if (request.Failed() || !request.SetLogin(c->loginDataSource, c->userName, password)) {
    c->clib.ReleaseConnection();
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  int status = kStatusCommunicationFailure;
  c->clib.SetSecret(true);
  const int rc = request.Exchange(&status, &c->clib);
  c->clib.SetSecret(false);
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
    c->flags |= kConnectionLoggedIn;
    c->flags &=
        ~uint32_t{kConnectionBlockFetch | kConnectionKeys | kConnectionBatch | kConnectionStream |
                  kConnectionDescribe | kConnectionResults | kConnectionRoutines |
                  kConnectionQuick | kConnectionInfoAnswers | kConnectionEdit |
                  kConnectionEditKeys | kConnectionIntervals | kConnectionDecimal};
    if (request.Get<FetchTypeElement>()->value == kFetchBlock) c->flags |= kConnectionBlockFetch;
    if (request.Get<StreamTypeElement>()->value == kStreamAhead) c->flags |= kConnectionStream;
    if (request.Get<CatalogTypeElement>()->value == kCatalogKeys) c->flags |= kConnectionKeys;
    if (request.Get<RoutineTypeElement>()->value == kRoutinesAndRights)
      c->flags |= kConnectionRoutines;
    if (request.Get<BatchTypeElement>()->value == kBatchSets) c->flags |= kConnectionBatch;
    c->sessionInfo = request.Get<SessionInfoElement>()->value & 0xFFFF;
    if (request.Get<DescribeTypeElement>()->value == kDescribeParams)
      c->flags |= kConnectionDescribe;
    if (request.Get<ResultsTypeElement>()->value == kResultsMore) c->flags |= kConnectionResults;
    if (request.Get<QuickTypeElement>()->value == kQuickRows) c->flags |= kConnectionQuick;
    const InfoAnswersElement* answers = request.Get<InfoAnswersElement>();
    c->infoAnswerCount = answers->count;
    for (uint16_t i = 0; i < answers->count; ++i) {
      c->infoAnswerTypes[i] = answers->types[i];
      c->infoAnswerValues[i] = answers->values[i];
    }
    if (answers->count != 0) c->flags |= kConnectionInfoAnswers;
    const int32_t edits = request.Get<EditTypeElement>()->value;
    if (edits == kEditRows || edits == kEditKeys) c->flags |= kConnectionEdit;
    if (edits == kEditKeys) c->flags |= kConnectionEditKeys;
    if (request.Get<DecimalTypeElement>()->value == kDecimalText) c->flags |= kConnectionDecimal;
    // The cancel connection is encrypted as the session's is; a session
    // that preferred TLS and got it requires it for the cancel too.
    const TlsMode cancelTls = !c->clib.Encrypted()       ? TlsMode::kOff
                              : mode == TlsMode::kPrefer ? TlsMode::kRequire
                                                         : mode;
    c->SetCancelKey(request.Get<CancelTypeElement>()->value == kCancelRequest
                        ? request.Get<CancelKeyElement>()->value
                        : 0,
                    cancelTls);
  }
  // Fetching the server's record can itself fail (no memory for the
  // request); a login that ends in an error must not stay logged in.
  int result = c->CheckResult(rc, status);
  if (!accepted || (result != SQL_SUCCESS && result != SQL_SUCCESS_WITH_INFO)) {
    DropSession(c);
    return result;
  }
  // Interval types, for an ODBC 3 application of the ODBC 3.80 library
  // (protocol/INTERVALS.md; the ODBC 2.0 library's environments answer
  // as ODBC 2); without them intervals stay character data.
  if (request.Get<IntervalTypeElement>()->value == kIntervalTypes && c->environment != nullptr &&
      c->environment->OdbcVersion() >= SQL_OV_ODBC3) {
    SetIntervalsRequest wish;
    int wishStatus = kStatusCommunicationFailure;
    if (wish.Failed()) return VEL_POST(c, SQL_ERROR, kDiagMemory);
    wish.Get<IntervalTypeElement>()->value = kIntervalTypes;
    if (wish.Exchange(&wishStatus, &c->clib) == SQL_SUCCESS) c->flags |= kConnectionIntervals;
  }
  if (SendChangedOptions(c) != SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
  if (fellBack[0] != '\0') {
    char text[300];
    std::snprintf(text, sizeof text, kDiagTlsFallback.text, fellBack);
    result = VEL_POST_TEXT(c, SQL_SUCCESS_WITH_INFO, kDiagTlsFallback, text);
  }
  return result;
}

// The last socket failure of a login that tries several servers, in place
// of a message box per server (one thread logs in on a connection at a
// time).
thread_local char g_socketReport[160];

void CaptureSocketReport(const char* text) {
  // Its last line holds the error ("errno 10061: [10061] Connection refused").
  const char* line = std::strrchr(text, '\n');
  std::snprintf(g_socketReport, sizeof g_socketReport, "%s", line ? line + 1 : text);
}

bool IsYes(const char* value) {
  char lower[8] = "";
  for (int i = 0; value[i] != '\0' && i + 1 < static_cast<int>(sizeof lower); ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(value[i])));
  return std::strcmp(lower, "yes") == 0 || std::strcmp(lower, "on") == 0 ||
         std::strcmp(lower, "true") == 0 || std::strcmp(lower, "1") == 0;
}

// A failure of one server that another may not have: it could not be
// reached, broke off, refused the greeting, or is stopping ("08..."). A
// refused user, a missing data source or exhausted memory end the login.
bool TryNextServer(const Connection* c) {
  const ErrorData* newest = c->errors.Tail();
  return newest != nullptr && std::strncmp(newest->sqlstate.TextOrEmpty(), "08", 2) == 0;
}

uint64_t ShuffleSeed(const Connection* c) {
  static std::atomic<uint64_t> logins{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<uint64_t>(now) ^ (reinterpret_cast<uintptr_t>(c) << 16) ^
         (++logins * 0x9E3779B97F4A7C15ull);
}

}  // namespace

static int LoginConnection(Connection* c, const String& password) {
  ConnectSettings& settings = c->settings;
  c->cursorMemory = CursorMemoryOf(settings.cursorMemory);
  TlsMode mode = TlsMode::kOff;
  if (!ParseTlsMode(settings.tls, &mode)) {
    char text[120];
    std::snprintf(text, sizeof text, kDiagTlsMode.text, settings.tls);
    return VEL_POST_TEXT(c, SQL_ERROR, kDiagTlsMode, text);
  }
  ServerList list;
  ParseServerList(settings.servers, settings.service, &list);
  if (IsYes(settings.loadBalance)) ShuffleServers(&list, ShuffleSeed(c));
  const bool several = list.count > 1;
  const SocketFailureReporter reporter = c->clib.FailureReporter();
  if (several) c->clib.SetFailureReporter(CaptureSocketReport);
  // All servers share the login timeout (0: no bound).
  const int32_t seconds = c->options.LoginTimeout();
  const auto start = std::chrono::steady_clock::now();
  char reasons[kServerReasonsSize] = "";
  char lastState[6] = "08001";
  int rc = SQL_ERROR;
  for (int i = 0; i < list.count; ++i) {
    const ServerEntry& entry = list.entries[i];
    std::snprintf(c->server, sizeof c->server, "%s", entry.host);
    std::snprintf(c->service, sizeof c->service, "%s", entry.service);
    int32_t left = seconds;
    if (seconds > 0) {
      const auto spent =
          std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
              .count();
      left = spent < seconds ? seconds - static_cast<int32_t>(spent) : 0;
    }
    if (seconds > 0 && left == 0) {
      AppendServerReason(reasons, entry, "not tried: the login timeout expired", list.count);
      continue;
    }
    // A server that accepts but never answers (or a host that is down and
    // drops the packets) must not take the whole login timeout from the
    // servers after it: each gets an equal share of what is left, at
    // least a second, and the last all of it.
    if (seconds > 0 && i + 1 < list.count) {
      const int32_t share = left / (list.count - i);
      left = share > 0 ? share : 1;
    }
    g_socketReport[0] = '\0';
    rc = LoginOnce(c, password, mode, left, several);
    if (c->LoggedIn() || !several || !TryNextServer(c)) break;
    const ErrorData* newest = c->errors.Tail();
    char reason[kServerReasonsSize];
    std::snprintf(reason, sizeof reason, "%s%s%s%s", newest->text.TextOrEmpty(),
                  g_socketReport[0] ? " (" : "", g_socketReport, g_socketReport[0] ? ")" : "");
    for (char* p = reason; *p; ++p)
      if (*p == '\n') *p = ' ';
    std::snprintf(lastState, sizeof lastState, "%s", newest->sqlstate.TextOrEmpty());
    AppendServerReason(reasons, entry, reason, list.count);
    c->ClearErrors();
  }
  c->clib.SetFailureReporter(reporter);
  if (c->LoggedIn()) {
    // From here on the settings name the server that answered.
    std::snprintf(settings.servers, sizeof settings.servers, "%s", c->server);
    std::snprintf(settings.service, sizeof settings.service, "%s", c->service);
  }
  if (!several || c->LoggedIn() || c->errors.Count() > 0) return rc;
  // Every server failed in a way the next might not have: one record
  // names each with its reason, under the last failure's SQLSTATE.
  char text[kServerReasonsSize + 32];
  std::snprintf(text, sizeof text, kDiagNoServerAnswered.text, reasons);
  VelMessageBox(nullptr, text, "VELODBC: Connect", kMbOk | kMbIconStop);
  return VEL_POST_ERROR(c, SQL_ERROR, kDiagNoServerAnswered.native, lastState, text);
}

namespace {

// A key's count of seconds or tries: digits up to max; anything else is
// fallback.
int SmallNumber(const char* text, int max, int fallback) {
  int value = 0;
  if (*text == '\0') return fallback;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return fallback;
    value = value * 10 + (*p - '0');
    if (value > max) return max;
  }
  return value;
}

void WipeRetryPassword(Connection* c) {
  if (c->retryPassword.Length() != 0)
    std::memset(const_cast<char*>(c->retryPassword.Text()), 0, c->retryPassword.Length());
  c->retryPassword.Clear();
  c->retryServers.Clear();
  c->retryService.Clear();
  c->relogin = nullptr;
}

// The statements of a session made again: new ids, their own options
// where they differ from the connection's, their cursor names, their
// texts prepared again (a text the new session refuses is its
// execution's error later). False when the connection fails meanwhile.
bool RestoreStatements(Connection* c) {
  for (Statement* s = c->statements.Head(); s != nullptr;
       s = static_cast<Statement*>(s->NextItem())) {
    AllocStatementRequest alloc;
    int status = kStatusCommunicationFailure;
    if (alloc.Failed() || alloc.Exchange(&status, &c->clib) != SQL_SUCCESS) return false;
    s->Reallocated(alloc.Get<StatementIdElement>()->value);
    SendStatementOptions(s);
    if (!c->clib.IsOpen()) return false;
    if (s->cursorName.Length() != 0) {
      SetCursorNameRequest name;
      if (name.Failed() || !name.Get<CursorNameElement>()->value.SetString(s->cursorName))
        return false;
      name.SetStatementId(s->StatementId());
      static_cast<void>(name.Exchange(&status, &c->clib));
      if (status != kStatusReplied) return false;
    }
    if (s->preparedText.Length() == 0) continue;
    PrepareRequest prepare;
    if (prepare.Failed() || !prepare.Get<StatementElement>()->value.SetString(s->preparedText))
      return false;
    prepare.SetStatementId(s->StatementId());
    static_cast<void>(prepare.Exchange(&status, &c->clib));
    if (status != kStatusReplied) return false;
  }
  return true;
}

// Connection resiliency: the session of c, idle when its server went away,
// is made again: at most ConnectRetryCount logins ConnectRetryInterval
// seconds apart, all within the login timeout, on the servers as given.
// The options set are sent again (the login sends those that differ from
// a new session's), then the statements are restored. Whatever fails, the
// records of the tries go (the call reports its own "08S01" then), and the
// connection stays logged in on a closed socket, as a lost one does.
bool Relogin(Connection* c) {
  const int tries = SmallNumber(c->settings.connectRetryCount, 255, 0);
  const int interval = SmallNumber(c->settings.connectRetryInterval, 3600, 1);
  const int32_t timeout = c->options.LoginTimeout();
  const uint32_t flags = c->flags;
  char server[sizeof c->server], service[sizeof c->service];
  std::memcpy(server, c->server, sizeof server);
  std::memcpy(service, c->service, sizeof service);
  const uint32_t records = c->errors.Count();
  const SocketFailureReporter reporter = c->clib.FailureReporter();
  c->clib.SetFailureReporter(nullptr);
  const auto start = std::chrono::steady_clock::now();
  bool revived = false;
  for (int i = 0; i < tries && !revived; ++i) {
    const auto spent =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
            .count();
    int32_t left = timeout > 0 ? timeout - static_cast<int32_t>(spent) : 0;
    if (i > 0 && timeout > 0 && left <= interval) break;
    if (i > 0) {
      Lock::Pause(interval * 1000);
      left -= interval;
    }
    Trace('P', 1, "connection lost while idle: logging in again (try %d of %d)", i + 1, tries);
    DropSession(c);
    std::snprintf(c->settings.servers, sizeof c->settings.servers, "%s",
                  c->retryServers.TextOrEmpty());
    std::snprintf(c->settings.service, sizeof c->settings.service, "%s",
                  c->retryService.TextOrEmpty());
    c->options.Set(OptionSlot::kLoginTimeout, left);
    const int rc = LoginConnection(c, c->retryPassword);
    c->options.Set(OptionSlot::kLoginTimeout, timeout);
    revived =
        c->LoggedIn() && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && RestoreStatements(c);
  }
  while (c->errors.Count() > records) delete c->TakeLastError();
  c->clib.SetFailureReporter(reporter);
  if (revived) {
    c->workSinceCommit = false;
    return true;
  }
  c->clib.ReleaseConnection();
  c->SetCancelKey(0, TlsMode::kOff);
  c->flags = flags;
  // The server that answered last stays the connection's.
  std::memcpy(c->server, server, sizeof server);
  std::memcpy(c->settings.servers, server, sizeof server);
  std::memcpy(c->service, service, sizeof service);
  std::memcpy(c->settings.service, service, sizeof service);
  return false;
}

// Turns connection resiliency on for c's new session when its keys ask for
// it (no memory for the copies: off).
void ArmRelogin(Connection* c, const String& password, const ConnectSettings& given) {
  WipeRetryPassword(c);
  if (SmallNumber(c->settings.connectRetryCount, 255, 0) == 0) return;
  if (!c->retryPassword.SetString(password) || !c->retryServers.SetString(given.servers) ||
      !c->retryService.SetString(given.service)) {
    WipeRetryPassword(c);
    return;
  }
  c->relogin = Relogin;
}

}  // namespace

// The login of SQLConnect and SQLDriverConnect: the settings as given
// are kept for the logins of connection resiliency.
static int LoginAndArm(Connection* c, const String& password) {
  ConnectSettings given = {};
  std::memcpy(given.servers, c->settings.servers, sizeof given.servers);
  std::memcpy(given.service, c->settings.service, sizeof given.service);
  const int rc = LoginConnection(c, password);
  if (c->LoggedIn()) ArmRelogin(c, password, given);
  return rc;
}

// The completed string says what was used: the data source, or the
// driver and the server's data source when one was named; then the keys
// as the table says (the encryption asked for among them, so that a
// reconnection with it is as safe as the first connection). 0 when
// memory runs out.
static int CompleteConnectString(const Connection* c, const char* driver, bool driverBraced,
                                 const bool* given, String* out) {
  const ConnectSettings& settings = c->settings;
  const bool named = c->dataSourceName.Length() > 0;
  if (!out->SetString("") ||
      !(named ? AppendConnectPair(out, "DSN", c->dataSourceName.TextOrEmpty())
              : AppendConnectPair(out, "DRIVER", driver, driverBraced) &&
                    (settings.database[0] == '\0' ||
                     AppendConnectPair(out, "Database", settings.database)))) {
    return 0;
  }
  TlsMode mode = TlsMode::kOff;
  const bool encrypted = ParseTlsMode(settings.tls, &mode) && mode != TlsMode::kOff;
  for (int row = 0; row < kConnectKeyCount; ++row) {
    const ConnectKey& key = kConnectKeys[row];
    const char* value = SettingOf(const_cast<ConnectSettings*>(&settings), key);
    const bool shown = key.out == KeyOut::kValue ||
                       (key.out == KeyOut::kWithTls && encrypted && value[0] != '\0') ||
                       (key.out == KeyOut::kGiven && given[row]);
    if (shown && !AppendConnectPair(out, key.name, value)) return 0;
  }
  return 1;
}

static int ParseConnectString(Connection* c, HWND hwnd, const String& in, String* out) {
  const char* text = in.TextOrEmpty();
  const uint32_t length = in.Length();
  // A string that names the driver instead of a data source carries all
  // it needs itself: no ODBC.INI key is read, and the session uses the
  // data source "Database=" names, else the server's default one.
  String driver;
  ConnectPair pair;
  bool driverBraced = false;
  const bool named = FindConnectKey(text, length, "DSN", &pair);
  if (named) {
    if (!SetPairValue(pair, &c->dataSourceName)) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  } else {
    if (!FindConnectKey(text, length, "DRIVER", &pair)) {
      return VEL_POST(c, SQL_ERROR, kDiagMissingDataSourceName);
    }
    driverBraced = pair.braced;
    if (!SetPairValue(pair, &driver) || !c->dataSourceName.SetString("")) {
      return VEL_POST(c, SQL_ERROR, kDiagMemory);
    }
  }
  // ODBC's standard keys UID= and PWD=, which applications (pyodbc's users
  // above all) write in connection strings, serve where the driver's own
  // User= is absent; PWD= is the password itself, so no prompt is needed.
  // A data source may keep its password (PWD) in ODBC.INI: no prompt
  // then, and the completed string does not repeat it.
  bool given[kConnectKeyCount];
  PasswordWipe wipe(&c->settings);
  ReadSettings(c, &in, named, given);
  if (!SetLoginDataSource(c)) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  ConnectSettings& settings = c->settings;
  for (char* p = settings.passwordSwitch; *p; ++p)
    *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  if (!given[kPwdRow] && settings.pwd[0] == '\0' &&
      std::strcmp(settings.passwordSwitch, "yes") == 0) {
    // Cancel ends the connect attempt; a dialog that cannot be shown at all
    // (no terminal, no window system) lets the login go on without a
    // password.
    std::snprintf(g_loginUserName, sizeof g_loginUserName, "%s", settings.user);
    std::memset(g_loginPassword, 0, sizeof g_loginPassword);
    const INT_PTR prompted = RunPasswordDialog(hwnd);
    std::memcpy(settings.user, g_loginUserName, sizeof settings.user);
    std::memcpy(settings.pwd, g_loginPassword, sizeof settings.pwd);
    std::memset(g_loginPassword, 0, sizeof g_loginPassword);
    if (prompted == 0) return SQL_NO_DATA_FOUND;
  }
  String password;
  const bool copied = c->userName.SetString(settings.user) && password.SetString(settings.pwd);
  if (!copied) return VEL_POST(c, SQL_ERROR, kDiagMemory);

  const int rc = LoginAndArm(c, password);
  if (!c->LoggedIn()) return rc;
  if (!CompleteConnectString(c, driver.TextOrEmpty(), driverBraced, given, out)) {
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
  if (!c->dataSourceName.SetString(dsnText, cbDSN)) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  bool given[kConnectKeyCount];
  PasswordWipe wipe(&c->settings);
  ReadSettings(c, nullptr, c->dataSourceName.Length() > 0, given);
  if (!SetLoginDataSource(c) || !c->userName.SetString(reinterpret_cast<const char*>(uid), cbUID) ||
      !password.SetString(reinterpret_cast<const char*>(auth), cbAuth)) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  // ODBC's rule: an empty user name or password is the data source's
  // (User or UID, PWD; no default); arguments given win.
  char stored[kSetupValueSize];
  if (c->userName.Length() == 0) {
    ReadDataSourceKey(c, kConnectKeys[kUserRow], stored, sizeof stored);
    if (!c->userName.SetString(stored)) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  if (password.Length() == 0) {
    ReadDataSourceKey(c, kConnectKeys[kPwdRow], stored, sizeof stored);
    const bool set = password.SetString(stored);
    std::memset(stored, 0, sizeof stored);
    if (!set) return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  return LoginAndArm(c, password);
}

int DriverConnectText(Connection* c, HWND hwnd, const SQLCHAR* in, SQLSMALLINT cbIn,
                      SQLSMALLINT cbOutMax, String* output) {
  if (c->LoggedIn()) return VEL_POST(c, SQL_ERROR, kDiagConnectionInUse);
  if (!ValidLength(cbIn) || cbOutMax < 0) return VEL_POST(c, SQL_ERROR, kDiagInvalidLength);
  String input;
  if (!input.SetString(reinterpret_cast<const char*>(in), cbIn)) {
    return VEL_POST(c, SQL_ERROR, kDiagMemory);
  }
  return ParseConnectString(c, hwnd, input, output);
}

int DriverConnectWorker(Connection* c, HWND hwnd, const SQLCHAR* in, SQLSMALLINT cbIn, SQLCHAR* out,
                        SQLSMALLINT cbOutMax, SQLSMALLINT* pcbOut) {
  String output;
  const int rc = DriverConnectText(c, hwnd, in, cbIn, cbOutMax, &output);
  if (rc == SQL_ERROR || rc == SQL_NO_DATA_FOUND) return rc;
  if (pcbOut) *pcbOut = static_cast<SQLSMALLINT>(output.Length());
  char* target = reinterpret_cast<char*>(out);
  if (!target || cbOutMax == 0) {
    Trace('A', 2, "szConnStrOut=<NULL>");
    return VEL_POST(c, SQL_SUCCESS_WITH_INFO, kDiagDataTruncated);
  }
  if (CopyOutput(output.TextOrEmpty(), output.Length(), target, cbOutMax)) {
    TraceMaskedConnectString("szConnStrOut=", target, static_cast<uint32_t>(std::strlen(target)));
    return rc;
  }
  TraceMaskedConnectString("szConnStrOut=TRUNC ", target,
                           static_cast<uint32_t>(std::strlen(target)));
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
  WipeRetryPassword(c);
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
