// SQLGetFunctions and the fixed table behind it.
#include "odbc/info/Functions.h"

#include <sqlext.h>

#include "handles/Connection.h"
#include "handles/Frame.h"
#include "base/Trace.h"

namespace {

// Every function the driver reports as supported; every other entry of the
// table is FALSE. With SQLExtendedFetch reported, unixODBC passes every
// application fetch to it (SQLFetch and SQLFetchScroll alike). The table
// goes by number: 63 is TRUE and 62 FALSE. In unixODBC's numbering 63 is
// SQLNumParams, which answers, and 62 SQLNativeSql, which never does; the
// driver manager therefore keeps the one and disables the other.
constexpr SQLUSMALLINT kSupported[] = {
    SQL_API_SQLALLOCCONNECT,
    SQL_API_SQLALLOCENV,
    SQL_API_SQLALLOCSTMT,
    SQL_API_SQLBINDCOL,
    SQL_API_SQLCANCEL,
    SQL_API_SQLCOLATTRIBUTES,
    SQL_API_SQLCONNECT,
    SQL_API_SQLDESCRIBECOL,
    SQL_API_SQLDISCONNECT,
    SQL_API_SQLERROR,
    SQL_API_SQLEXECDIRECT,
    SQL_API_SQLEXECUTE,
    SQL_API_SQLFETCH,
    SQL_API_SQLFREECONNECT,
    SQL_API_SQLFREEENV,
    SQL_API_SQLFREESTMT,
    SQL_API_SQLGETCURSORNAME,
    SQL_API_SQLNUMRESULTCOLS,
    SQL_API_SQLPREPARE,
    SQL_API_SQLROWCOUNT,
    SQL_API_SQLSETCURSORNAME,
    SQL_API_SQLTRANSACT,
    SQL_API_SQLCOLUMNS,
    SQL_API_SQLDRIVERCONNECT,
    SQL_API_SQLGETCONNECTOPTION,
    SQL_API_SQLGETDATA,
    SQL_API_SQLGETFUNCTIONS,
    SQL_API_SQLGETINFO,
    SQL_API_SQLGETSTMTOPTION,
    SQL_API_SQLGETTYPEINFO,
    SQL_API_SQLPARAMDATA,
    SQL_API_SQLPUTDATA,
    SQL_API_SQLSETCONNECTOPTION,
    SQL_API_SQLSETSTMTOPTION,
    SQL_API_SQLSPECIALCOLUMNS,
    SQL_API_SQLSTATISTICS,
    SQL_API_SQLTABLES,
    SQL_API_SQLDESCRIBEPARAM,
    63,
    SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLEXTENDEDFETCH,
    SQL_API_SQLMORERESULTS,
    SQL_API_SQLPARAMOPTIONS,
    SQL_API_SQLSETPOS,
    SQL_API_SQLSETSCROLLOPTIONS,
};

// Entries 1 to 71 are traced; 0 and 72 are not.
constexpr SQLUSMALLINT kLastTracedEntry = 71;

}  // namespace

bool FunctionSupported(SQLUSMALLINT fFunction, const Connection* c) {
  for (SQLUSMALLINT supported : kSupported) {
    if (supported == fFunction) return true;
  }
  const bool key = fFunction == SQL_API_SQLPRIMARYKEYS || fFunction == SQL_API_SQLFOREIGNKEYS;
  return key && c != nullptr && c->OffersKeys();
}

SQLRETURN GetFunctions(SQLUSMALLINT fFunction, SQLUSMALLINT* pfExists, const Connection* c) {
  // A number of 100 or more lies outside the table: it is answered FALSE,
  // which is what the driver manager expects of functions it asks about
  // one by one.
  if (pfExists != nullptr) {
    if (fFunction == SQL_API_ALL_FUNCTIONS) {
      for (SQLUSMALLINT i = 0; i < kFunctionTableSize; ++i) {
        pfExists[i] = FunctionSupported(i, c) ? SQL_TRUE : SQL_FALSE;
      }
    } else {
      *pfExists = FunctionSupported(fFunction, c) ? SQL_TRUE : SQL_FALSE;
    }
  }
  if (TraceEnabled('A', 2)) {
    Trace('A', 2, "SQLGetFunctions: Results");
    for (SQLUSMALLINT i = 1; i <= kLastTracedEntry; ++i) {
      Trace('A', 2, "%s", FunctionSupported(i, c) ? "    TRUE" : "    FALSE");
    }
  }
  return SQL_SUCCESS;
}
