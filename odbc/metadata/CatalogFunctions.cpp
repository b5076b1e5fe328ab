// The catalog functions and SQLGetTypeInfo. SQLTables, SQLColumns,
// SQLStatistics, SQLSpecialColumns and SQLGetTypeInfo are one request each
// whose reply describes a result set, fetched like a query's, and so are
// SQLPrimaryKeys and SQLForeignKeys, and in the 3.x library SQLProcedures,
// SQLProcedureColumns, SQLTablePrivileges and SQLColumnPrivileges, with a
// server that offered them; the 2.0 library refuses those four.
#include <sql.h>
#include <sqlext.h>

#include "base/String.h"
#include "base/Trace.h"
#include "handles/Connection.h"
#include "handles/Frame.h"
#include "handles/Odbc3Rules.h"
#include "handles/Statement.h"
#include "odbc/metadata/ResultColumnNames.h"
#include "odbc/Workers.h"
#include "protocol/KeysOffer.h"
#include "protocol/Requests.h"

namespace {

// Sends request and adopts the result set its reply describes. The
// statement's old description goes first: any outcome but SQL_SUCCESS
// leaves it without a result set.
int SendCatalogRequest(Statement* s, Request* request) {
  request->SetStatementId(s->StatementId());
  int status = kStatusCommunicationFailure;
  const int rc = s->Exchange(request, &status);
  if (rc != SQL_SUCCESS) return s->CheckResult(rc, status);
  const int adopted = s->AdoptResultSet(request->Get<ResultSetDescriptionElement>());
  return adopted == SQL_SUCCESS ? UseOdbc3CatalogNames(s) : adopted;
}

// Copies the texts into the request's string elements E..., in order.
template <class... E>
bool PutTexts(Request* request, const String* texts) {
  [[maybe_unused]] int i = 0;
  return ((request->Get<E>()->value.SetString(texts[i++]) != 0) && ...);
}

// Builds request R, empties the statement's result set, fills in the texts
// (element classes E...) and then the numbers with fill, and sends it.
// Over a cursor with rows left the server refuses it ("24000"), as it
// refuses a new text; one read to its end is closed by the call, as
// applications calling the catalog one call after another expect.
template <class R, class... E, class Fill>
int Forward(Statement* s, const String* texts, Fill fill) {
  if (UnfetchedRowsHeld(s)) return VEL_POST(s, SQL_ERROR, kDiagCursorStillOpen);
  R request;
  if (request.Failed()) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  s->ForgetResultSet();
  if (!PutTexts<E...>(&request, texts)) return VEL_POST(s, SQL_ERROR, kDiagMemory);
  fill(&request);
  return SendCatalogRequest(s, &request);
}

// An ODBC 3 application asks for the columns ODBC 3 adds; a server that
// does not know the wish answers ODBC 2's columns, renamed all the same.
int32_t CatalogLayout(const Statement* s) {
  return FollowsOdbc3(*s) ? kCatalogOdbc3 : kCatalogBasic;
}

}  // namespace

int TablesWorker(Statement* s, const String* texts) {
  return Forward<TablesRequest, TableQualifierElement, TableOwnerElement, TableNameElement,
                 TableTypeElement>(s, texts, [](Request*) {});
}

int ColumnsWorker(Statement* s, const String* texts) {
  return Forward<ColumnsRequest, TableQualifierElement, TableOwnerElement, TableNameElement,
                 ColumnNameElement>(
      s, texts, [=](Request* r) { r->Get<CatalogTypeElement>()->value = CatalogLayout(s); });
}

int StatisticsWorker(Statement* s, const String* texts, SQLUSMALLINT fUnique,
                     SQLUSMALLINT fAccuracy) {
  return Forward<StatisticsRequest, TableQualifierElement, TableOwnerElement, TableNameElement>(
      s, texts, [=](Request* r) {
        r->Get<IndexTypeElement>()->value = fUnique;
        r->Get<AccuracyElement>()->value = fAccuracy;
      });
}

int SpecialColumnsWorker(Statement* s, SQLUSMALLINT fColType, const String* texts,
                         SQLUSMALLINT fScope, SQLUSMALLINT fNullable) {
  return Forward<SpecialColumnsRequest, TableQualifierElement, TableOwnerElement, TableNameElement>(
      s, texts, [=](Request* r) {
        r->Get<SpecialColumnTypeElement>()->value = fColType;
        r->Get<SpecialColumnScopeElement>()->value = fScope;
        r->Get<NullabilityElement>()->value = fNullable;
      });
}

int GetTypeInfoWorker(Statement* s, SQLSMALLINT fSqlType) {
  return Forward<GetTypeInfoRequest>(s, nullptr, [=](Request* r) {
    r->Get<SqlDataTypeElement>()->value = fSqlType;
    r->Get<CatalogTypeElement>()->value = CatalogLayout(s);
  });
}

int PrimaryKeysWorker(Statement* s, const String* texts) {
  if (!s->OwningConnection()->OffersKeys())
    return VEL_POST(s, SQL_ERROR, kDiagPrimaryKeysUnimplemented);
  return Forward<PrimaryKeysRequest, TableQualifierElement, TableOwnerElement, TableNameElement>(
      s, texts, [](Request*) {});
}

int ForeignKeysWorker(Statement* s, const String* texts) {
  if (!s->OwningConnection()->OffersKeys())
    return VEL_POST(s, SQL_ERROR, kDiagForeignKeysUnimplemented);
  return Forward<ForeignKeysRequest, TableQualifierElement, TableOwnerElement, TableNameElement,
                 FkTableQualifierElement, FkTableOwnerElement, FkTableNameElement>(
      s, texts, [=](Request* r) { r->Get<CatalogTypeElement>()->value = CatalogLayout(s); });
}

// A request of the routines offer: refused without a request where the
// server made none.
template <class R, class... E, class Fill>
int ForwardRoutines(Statement* s, const String* texts, const ClientDiagnostic& refusal, Fill fill) {
  if (!s->OwningConnection()->OffersRoutines()) return VEL_POST(s, SQL_ERROR, refusal);
  return Forward<R, E...>(s, texts, fill);
}

int ProceduresWorker(Statement* s, const String* texts) {
  return ForwardRoutines<ProceduresRequest, TableQualifierElement, TableOwnerElement,
                         TableNameElement>(s, texts, kDiagProceduresUnimplemented, [](Request*) {});
}

int ProcedureColumnsWorker(Statement* s, const String* texts) {
  return ForwardRoutines<ProcedureColumnsRequest, TableQualifierElement, TableOwnerElement,
                         TableNameElement, ColumnNameElement>(
      s, texts, kDiagProcedureColumnsUnimplemented,
      [=](Request* r) { r->Get<CatalogTypeElement>()->value = CatalogLayout(s); });
}

int TablePrivilegesWorker(Statement* s, const String* texts) {
  return ForwardRoutines<TablePrivilegesRequest, TableQualifierElement, TableOwnerElement,
                         TableNameElement>(s, texts, kDiagTablePrivilegesUnimplemented,
                                           [](Request*) {});
}

int ColumnPrivilegesWorker(Statement* s, const String* texts) {
  return ForwardRoutines<ColumnPrivilegesRequest, TableQualifierElement, TableOwnerElement,
                         TableNameElement, ColumnNameElement>(
      s, texts, kDiagColumnPrivilegesUnimplemented, [](Request*) {});
}

namespace {

// How a text argument reads while SQL_ATTR_METADATA_ID is on: a list of
// values is unchanged; an identifier loses its quotes; a pattern argument
// becomes an identifier searched for as itself, and may not be null.
enum class Reading : uint8_t { kValues, kIdentifier, kPattern };

// One text argument of a catalog function: its ODBC name, the text and its
// length, what a failure to store it posts, and how it reads.
struct TextArgument {
  const char* name;
  const SQLCHAR* text;
  SQLSMALLINT length;
  const ClientDiagnostic* memory = &kDiagMemory;
  Reading reading = Reading::kIdentifier;
};

// The identifier in text: without its double quotes (a doubled quote
// inside them is one), with "%", "_" and "\" escaped as a pattern's
// characters when pattern. Case is left alone: the server compares names
// without it.
int AsIdentifier(const String& text, bool pattern, String* out) {
  const char* t = text.TextOrEmpty();
  uint32_t n = text.Length();
  const bool quoted = n >= 2 && t[0] == '"' && t[n - 1] == '"';
  if (quoted) ++t, n -= 2;
  out->Clear();
  for (uint32_t i = 0; i < n; ++i) {
    if (quoted && t[i] == '"' && i + 1 < n && t[i + 1] == '"') ++i;
    const bool special = t[i] == '%' || t[i] == '_' || t[i] == '\\';
    if ((pattern && special && !out->Append("\\", 1)) || !out->Append(t + i, 1)) return 0;
  }
  return 1;
}

// Traces each text argument (before the lookup).
template <int N>
void TraceTexts(const TextArgument (&args)[N]) {
  for (const TextArgument& a : args) {
    TraceArgument(a.name, reinterpret_cast<const char*>(a.text), a.length);
  }
}

// Stores the texts in argument order: SQL_SUCCESS, or the call's result
// when it ends here.
template <int N>
int StoreTexts(Statement* s, const TextArgument (&args)[N], String (&texts)[N]) {
  for (const TextArgument& a : args) {
    if (!ValidLength(a.length)) return VEL_POST(s, SQL_ERROR, kDiagInvalidLength);
    if (s->metadataId && a.reading == Reading::kPattern && a.text == nullptr)
      return VEL_POST(s, SQL_ERROR, kDiagInvalidArgument);
  }
  for (int i = 0; i < N; ++i) {
    String given;
    const TextArgument& a = args[i];
    if (!given.SetString(reinterpret_cast<const char*>(a.text), a.length) ||
        !(s->metadataId && a.reading != Reading::kValues
              ? AsIdentifier(given, a.reading == Reading::kPattern, &texts[i])
              : texts[i].SetString(given))) {
      return VEL_POST(s, SQL_ERROR, *a.memory);
    }
  }
  return SQL_SUCCESS;
}

// A refused catalog function: "S1C00" "<function> not implemented"; the
// statement's result set stays.
int Refuse(Statement* s, const ClientDiagnostic& d) { return VEL_POST(s, SQL_ERROR, d); }

}  // namespace

// The rest of a catalog export, after its entry line and its args.
#define VEL_CATALOG_CALL(worker)                                \
  String texts[sizeof args / sizeof args[0]];                   \
  TraceTexts(args);                                             \
  StatementHold hold(hstmt);                                    \
  Statement* s = hold.Get();                                    \
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE); \
  if (int rc = StoreTexts(s, args, texts); rc != SQL_SUCCESS) { \
    return TraceReturnCode(rc);                                 \
  }                                                             \
  return TraceReturnCode(worker)

VEL_EXPORT SQLRETURN SQLTables(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                               SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                               SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                               SQLSMALLINT cbTableName, SQLCHAR* szTableType,
                               SQLSMALLINT cbTableType) {
  Trace('A', 2, "SQLTables: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {
      {"szTableQualifier", szTableQualifier, cbTableQualifier},
      {"szTableOwner", szTableOwner, cbTableOwner},
      {"szTableName", szTableName, cbTableName, &kDiagMemory, Reading::kPattern},
      {"szTableType", szTableType, cbTableType, &kDiagTableTypeMemory, Reading::kValues}};
  VEL_CATALOG_CALL(TablesWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLColumns(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                SQLSMALLINT cbTableName, SQLCHAR* szColumnName,
                                SQLSMALLINT cbColumnName) {
  Trace('A', 2, "SQLColumns: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {
      {"szTableQualifier", szTableQualifier, cbTableQualifier},
      {"szTableOwner", szTableOwner, cbTableOwner},
      {"szTableName", szTableName, cbTableName, &kDiagMemory, Reading::kPattern},
      {"szColumnName", szColumnName, cbColumnName, &kDiagColumnNameMemory, Reading::kPattern}};
  VEL_CATALOG_CALL(ColumnsWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLStatistics(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                   SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                   SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                   SQLSMALLINT cbTableName, SQLUSMALLINT fUnique,
                                   SQLUSMALLINT fAccuracy) {
  Trace('A', 2, "SQLStatistics: hstmt=0x%08lx, fUnique=%u, fAccuracy=%u", HandleValue(hstmt),
        fUnique, fAccuracy);
  const TextArgument args[] = {{"szTableQualifier", szTableQualifier, cbTableQualifier},
                               {"szTableOwner", szTableOwner, cbTableOwner},
                               {"szTableName", szTableName, cbTableName}};
  VEL_CATALOG_CALL(StatisticsWorker(s, texts, fUnique, fAccuracy));
}

VEL_EXPORT SQLRETURN SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT fColType,
                                       SQLCHAR* szTableQualifier, SQLSMALLINT cbTableQualifier,
                                       SQLCHAR* szTableOwner, SQLSMALLINT cbTableOwner,
                                       SQLCHAR* szTableName, SQLSMALLINT cbTableName,
                                       SQLUSMALLINT fScope, SQLUSMALLINT fNullable) {
  Trace('A', 2, "SQLSpecialColumns: hstmt=0x%08lx, fColType=%u, fScope=%u, fNullable=%u",
        HandleValue(hstmt), fColType, fScope, fNullable);
  const TextArgument args[] = {{"szTableQualifier", szTableQualifier, cbTableQualifier},
                               {"szTableOwner", szTableOwner, cbTableOwner},
                               {"szTableName", szTableName, cbTableName}};
  VEL_CATALOG_CALL(SpecialColumnsWorker(s, fColType, texts, fScope, fNullable));
}

SQLRETURN TablePrivilegesEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                               SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                               SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                               SQLSMALLINT cbTableName) {
  Trace('A', 2, "SQLTablePrivileges: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {{"szTableQualifier", szTableQualifier, cbTableQualifier},
                               {"szTableOwner", szTableOwner, cbTableOwner},
                               {"szTableName", szTableName, cbTableName}};
  VEL_CATALOG_CALL(served ? TablePrivilegesWorker(s, texts)
                          : Refuse(s, kDiagTablePrivilegesUnimplemented));
}

SQLRETURN ColumnPrivilegesEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                SQLSMALLINT cbTableName, SQLCHAR* szColumnName,
                                SQLSMALLINT cbColumnName) {
  Trace('A', 2, "SQLColumnPrivileges: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {
      {"szTableQualifier", szTableQualifier, cbTableQualifier, &kDiagColumnNameMemory},
      {"szTableOwner", szTableOwner, cbTableOwner},
      {"szTableName", szTableName, cbTableName},
      {"szColumnName", szColumnName, cbColumnName}};
  VEL_CATALOG_CALL(served ? ColumnPrivilegesWorker(s, texts)
                          : Refuse(s, kDiagColumnPrivilegesUnimplemented));
}

VEL_EXPORT SQLRETURN SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR* szTableQualifier,
                                    SQLSMALLINT cbTableQualifier, SQLCHAR* szTableOwner,
                                    SQLSMALLINT cbTableOwner, SQLCHAR* szTableName,
                                    SQLSMALLINT cbTableName) {
  Trace('A', 2, "SQLPrimaryKeys: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {{"szTableQualifier", szTableQualifier, cbTableQualifier},
                               {"szTableOwner", szTableOwner, cbTableOwner},
                               {"szTableName", szTableName, cbTableName}};
  VEL_CATALOG_CALL(PrimaryKeysWorker(s, texts));
}

VEL_EXPORT SQLRETURN SQLForeignKeys(SQLHSTMT hstmt, SQLCHAR* szPkTableQualifier,
                                    SQLSMALLINT cbPkTableQualifier, SQLCHAR* szPkTableOwner,
                                    SQLSMALLINT cbPkTableOwner, SQLCHAR* szPkTableName,
                                    SQLSMALLINT cbPkTableName, SQLCHAR* szFkTableQualifier,
                                    SQLSMALLINT cbFkTableQualifier, SQLCHAR* szFkTableOwner,
                                    SQLSMALLINT cbFkTableOwner, SQLCHAR* szFkTableName,
                                    SQLSMALLINT cbFkTableName) {
  Trace('A', 2, "SQLForeignKeys: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {{"szPkTableQualifier", szPkTableQualifier, cbPkTableQualifier},
                               {"szPkTableOwner", szPkTableOwner, cbPkTableOwner},
                               {"szPkTableName", szPkTableName, cbPkTableName},
                               {"szFkTableQualifier", szFkTableQualifier, cbFkTableQualifier},
                               {"szFkTableOwner", szFkTableOwner, cbFkTableOwner},
                               {"szFkTableName", szFkTableName, cbFkTableName}};
  VEL_CATALOG_CALL(ForeignKeysWorker(s, texts));
}

SQLRETURN ProceduresEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                          SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                          SQLSMALLINT cbProcOwner, SQLCHAR* szProcName, SQLSMALLINT cbProcName) {
  Trace('A', 2, "SQLProcedures: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {{"szProcQualifier", szProcQualifier, cbProcQualifier},
                               {"szProcOwner", szProcOwner, cbProcOwner},
                               {"szProcName", szProcName, cbProcName}};
  VEL_CATALOG_CALL(served ? ProceduresWorker(s, texts) : Refuse(s, kDiagProceduresUnimplemented));
}

SQLRETURN ProcedureColumnsEntry(bool served, SQLHSTMT hstmt, SQLCHAR* szProcQualifier,
                                SQLSMALLINT cbProcQualifier, SQLCHAR* szProcOwner,
                                SQLSMALLINT cbProcOwner, SQLCHAR* szProcName,
                                SQLSMALLINT cbProcName, SQLCHAR* szColumnName,
                                SQLSMALLINT cbColumnName) {
  Trace('A', 2, "SQLProcedureColumns: hstmt=0x%08lx", HandleValue(hstmt));
  const TextArgument args[] = {{"szProcQualifier", szProcQualifier, cbProcQualifier},
                               {"szProcOwner", szProcOwner, cbProcOwner},
                               {"szProcName", szProcName, cbProcName},
                               {"szColumnName", szColumnName, cbColumnName}};
  VEL_CATALOG_CALL(served ? ProcedureColumnsWorker(s, texts)
                          : Refuse(s, kDiagProcedureColumnsUnimplemented));
}

VEL_EXPORT SQLRETURN SQLGetTypeInfo(SQLHSTMT hstmt, SQLSMALLINT fSqlType) {
  Trace('A', 2, "SQLGetTypeInfo: hstmt=0x%08lx, fSqlType=%d", HandleValue(hstmt), fSqlType);
  StatementHold hold(hstmt);
  Statement* s = hold.Get();
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE);
  return TraceReturnCode(GetTypeInfoWorker(s, fSqlType));
}
