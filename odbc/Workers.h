// The workers behind the exported connection, option, transaction,
// statement and result-set functions. Each returns an ODBC return code and
// posts its diagnostics on the handle object of the call; the exports in
// odbc/Api*.cpp only run the entry frame around them.
#ifndef VELORA_ODBC_WORKERS_H
#define VELORA_ODBC_WORKERS_H

#include <sql.h>
#include <sqlext.h>

#include "handles/ClientDiagnostics.h"
#include "platform/Dialog.h"

class Connection;
class String;
class Environment;
class Statement;

// A text length an application may pass: 0 or more, or SQL_NTS.
inline bool ValidLength(long length) { return length >= 0 || length == SQL_NTS; }

// Environments and connections (odbc/HandleWorkers.cpp). An environment
// records the ODBC version its application declared (SQL_OV_ODBC2 from
// SQLAllocEnv). A null output pointer is refused with SQL_ERROR (with
// "S1009" for a connection); a failed allocation stores a null handle.
int AllocEnvWorker(SQLHENV* phenv, uint32_t odbcVersion);
int AllocConnectWorker(Environment* env, SQLHDBC* phdbc);
// Drops the connection (logged in or not) without a word to the server.
int FreeConnectWorker(Connection* conn);
int FreeEnvWorker(Environment* env);

// Connecting (odbc/connect/Login.cpp). A connection already logged in is refused
// with "08002".
int ConnectWorker(Connection* c, const SQLCHAR* dsn, SQLSMALLINT cbDSN, const SQLCHAR* uid,
                  SQLSMALLINT cbUID, const SQLCHAR* auth, SQLSMALLINT cbAuth);
int DriverConnectWorker(Connection* c, HWND hwnd, const SQLCHAR* in, SQLSMALLINT cbIn, SQLCHAR* out,
                        SQLSMALLINT cbOutMax, SQLSMALLINT* pcbOut);
// DriverConnectWorker up to its output: logs in and sets output to the
// completed connection string (left empty unless the result is SQL_SUCCESS
// or SQL_SUCCESS_WITH_INFO).
int DriverConnectText(Connection* c, HWND hwnd, const SQLCHAR* in, SQLSMALLINT cbIn,
                      SQLSMALLINT cbOutMax, String* output);
// Refused ("S1C00"): connecting by browsing is not offered.
int BrowseConnectWorker(Connection* c, const SQLCHAR* in, SQLSMALLINT cbIn);
// A successful disconnect closes the socket and frees the statements left
// on the connection; a refused one leaves everything as it was.
int DisconnectWorker(Connection* c);

// SQLError's work (odbc/diagnostics/ApiErrors.cpp): the newest record of the most
// specific handle given, its message into message (messageMax bytes).
// cbErrorMsgMax is the application's own size, refused when negative
// (after the handles are checked) without taking a record.
int ErrorWorker(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* szSqlState,
                SQLINTEGER* pfNativeError, SQLCHAR* message, SQLSMALLINT messageMax,
                SQLSMALLINT cbErrorMsgMax, SQLSMALLINT* pcbMessage);

// Options (odbc/options/Options.cpp).
int SetConnectOptionWorker(Connection* c, SQLUSMALLINT fOption, SQLULEN vParam);
int GetConnectOptionWorker(Connection* c, SQLUSMALLINT fOption, SQLPOINTER pvParam);
int SetStmtOptionWorker(Statement* s, SQLUSMALLINT fOption, SQLULEN vParam);
// SQLSetScrollOptions: read-only forward-only or static cursors, and the
// rowset size, set as SQL_CURSOR_TYPE and SQL_ROWSET_SIZE are.
int SetScrollOptionsWorker(Statement* s, SQLUSMALLINT fConcurrency, SQLLEN crowKeyset,
                           SQLUSMALLINT crowRowset);
int GetStmtOptionWorker(Statement* s, SQLUSMALLINT fOption, SQLPOINTER pvParam);
// Tells a session that has just begun every server option whose value on
// the connection differs from a new session's (set before the login, or
// kept from an earlier session), then applies the options kept before the
// login that only a session answers. SQL_SUCCESS, or SQL_SUCCESS_WITH_INFO
// when one was refused (its record is queued on the connection).
int SendChangedOptions(Connection* c);
// Sends the options of s that differ from its connection's (a statement a
// new session allocated takes the connection's); failures are posted on s.
void SendStatementOptions(Statement* s);

// Transactions (odbc/connect/Transact.cpp): commits (0) or rolls back (1) one
// connection's server transaction; for a null hdbc, every logged-in
// connection of the environment henv (SQL_INVALID_HANDLE when it is not
// live), each with its own diagnostics, and the worst of their results.
int TransactConnection(Connection* c, int fType);
int TransactEnvironment(const void* henv, SQLUSMALLINT fType);

// SQLCancel of a call that waits for its reply on a session with a cancel
// key (protocol/CANCEL.md): sends the cancel request on a connection of
// its own, without the connection's call lock. kSent when the server took
// it; kNoCall (no call waits) and kFailed (it could not be delivered)
// leave SQLCancel its ODBC 2 meaning.
enum class CancelOutcome { kNoCall, kSent, kFailed };
CancelOutcome CancelWaitingCall(const void* hstmt);

// Statements (odbc/statement/StatementExec.cpp, odbc/statement/StatementCalls.cpp).
int AllocStmtWorker(Connection* c, SQLHSTMT* phstmt);
// Serves SQLFreeStmt (remove true: a successful SQL_DROP deletes s) and
// SQLCancel (SQL_CLOSE, remove false).
int FreeStmtWorker(Statement* s, SQLUSMALLINT fOption, bool remove);
int PrepareWorker(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql);
// A result that came whole with its execution, closed on the server, has
// rows the application has not fetched: a new result over it is refused.
bool UnfetchedRowsHeld(Statement* s);
int ExecuteWorker(Statement* s);
int ExecDirectWorker(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql);
int SetCursorNameWorker(Statement* s, const SQLCHAR* cursor, SQLSMALLINT cbCursor);
int GetCursorNameWorker(Statement* s, SQLCHAR* cursor, SQLSMALLINT cbCursorMax,
                        SQLSMALLINT* pcbCursor);
// GetCursorNameWorker up to its output: the name in *name.
int GetCursorNameText(Statement* s, String* name);
int RowCountWorker(Statement* s, SQLLEN* pcrow);
// The count SQLRowCount answers, posting nothing: -1 when it is not known
// or cannot be had (SQL_DIAG_ROW_COUNT).
SQLLEN QuietRowCount(Statement* s);
// SQL_NO_DATA_FOUND, having closed the cursor of a statement with a result
// set; SQL_ERROR when that close fails.
int MoreResultsWorker(Statement* s);
int NativeSqlWorker(Connection* c, const SQLCHAR* in, SQLINTEGER cbIn);
// The text a statement runs as, from a server that translates it
// (Connection::OffersNativeSql): SQL_SUCCESS with *out set, or SQL_ERROR
// posted on c (a null text "S1009", a bad length "S1090").
int TranslateSqlWorker(Connection* c, const SQLCHAR* in, SQLINTEGER cbIn, String* out);

// Parameters (odbc/params/Parameters.cpp). Bindings are read at execution only.
// The parameter markers of sql: question marks outside string literals,
// quoted identifiers and comments.
uint16_t CountMarkers(const char* sql, long length);
// Makes sql the text of s's parameters: its markers, and whether it is a
// {call ...} or {?= call ...} escape.
void SetParameterText(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql);
// After a call's execution with result rc (odbc/params/Parameters.cpp):
// the row it returned goes into its output parameters and the cursor is
// closed, so that no result set is left; rc, or the transfer's outcome.
int TakeOutputs(Statement* s, int rc);
int BindParameterWorker(Statement* s, SQLUSMALLINT ipar, SQLSMALLINT fParamType, SQLSMALLINT fCType,
                        SQLSMALLINT fSqlType, SQLULEN cbColDef, SQLSMALLINT ibScale,
                        SQLPOINTER rgbValue, SQLLEN cbValueMax, SQLLEN* pcbValue);
// A marker without a binding is described as SQL_VARCHAR, 255, 0.
int DescribeParamWorker(Statement* s, SQLUSMALLINT ipar, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                        SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable);
// The markers of the text last prepared or executed directly; without a
// text, the number of bindings.
int NumParamsWorker(Statement* s, SQLSMALLINT* pcpar);
int ParamDataWorker(Statement* s, SQLPOINTER* prgbValue);
int PutDataWorker(Statement* s, SQLPOINTER rgbValue, SQLLEN cbValue);

// Result-set description (odbc/statement/ResultSet.cpp).
int NumResultColsWorker(Statement* s, SQLSMALLINT* pccol);
int DescribeColWorker(Statement* s, SQLUSMALLINT icol, SQLCHAR* name, SQLSMALLINT cbNameMax,
                      SQLSMALLINT* pcbName, SQLSMALLINT* pfSqlType, SQLULEN* pcbColDef,
                      SQLSMALLINT* pibScale, SQLSMALLINT* pfNullable);
int ColAttributesWorker(Statement* s, SQLUSMALLINT icol, SQLUSMALLINT fDescType, SQLPOINTER rgbDesc,
                        SQLSMALLINT cbDescMax, SQLSMALLINT* pcbDesc, SQLLEN* pfDesc);

// Catalog functions and type information (odbc/metadata/CatalogFunctions.cpp): one request
// each, whose reply's description becomes the statement's result set. The
// texts are the call's arguments, stored in argument order.
int TablesWorker(Statement* s, const String* texts);
int ColumnsWorker(Statement* s, const String* texts);
int StatisticsWorker(Statement* s, const String* texts, SQLUSMALLINT fUnique,
                     SQLUSMALLINT fAccuracy);
int SpecialColumnsWorker(Statement* s, SQLUSMALLINT fColType, const String* texts,
                         SQLUSMALLINT fScope, SQLUSMALLINT fNullable);
int GetTypeInfoWorker(Statement* s, SQLSMALLINT fSqlType);
// Primary keys (texts: qualifier, owner, table) and foreign keys (texts:
// the primary-key table's qualifier, owner and name, then the foreign-key
// table's), where the server offered keys at login (protocol/KEYS.md); to
// any other server nothing is sent and the call answers "S1C00", leaving
// the statement's result set as it was.
int PrimaryKeysWorker(Statement* s, const String* texts);
int ForeignKeysWorker(Statement* s, const String* texts);
// Procedures (texts: qualifier, owner, name pattern), their columns (and
// a column pattern), the privileges of tables (qualifier, owner, table
// pattern) and of columns (qualifier, owner, table, column pattern), where
// the server offered them at login; to any other server nothing is sent
// and the call answers "S1C00" as the keys do.
int ProceduresWorker(Statement* s, const String* texts);
int ProcedureColumnsWorker(Statement* s, const String* texts);
int TablePrivilegesWorker(Statement* s, const String* texts);
int ColumnPrivilegesWorker(Statement* s, const String* texts);
// The ANSI entries of those four functions, which each library exports in
// its own way: served false answers "S1C00" whatever the server offered
// (the 2.0 library's odbc/info/ApiInfo.cpp), true calls the worker
// (odbc3/WideCatalog.cpp).
SQLRETURN ProceduresEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                          SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                          SQLSMALLINT cbProcOwner, SQLCHAR* szProcName, SQLSMALLINT cbProcName);
SQLRETURN ProcedureColumnsEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                                SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                                SQLSMALLINT cbProcOwner, SQLCHAR* szProcName,
                                SQLSMALLINT cbProcName, SQLCHAR* szColumnName,
                                SQLSMALLINT cbColumnName);
SQLRETURN TablePrivilegesEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                               SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                               SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                               SQLSMALLINT cbTableName);
SQLRETURN ColumnPrivilegesEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                SQLSMALLINT cbTableName, SQLCHAR* szColumnName,
                                SQLSMALLINT cbColumnName);

// SQLGetInfo (odbc/info/GetInfo.cpp, its table in odbc/info/InfoTable.cpp). The
// ODBC 3.x library (odbc3 true) answers from odbc/info/InfoTable3.cpp first.
int GetInfoWorker(Connection* c, SQLUSMALLINT fInfoType, SQLPOINTER rgbInfoValue,
                  SQLSMALLINT cbInfoValueMax, SQLSMALLINT* pcbInfoValue, bool odbc3 = false);

#endif
