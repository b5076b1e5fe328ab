// Arrays of parameter sets: an execution runs every set of the
// application parameter descriptor's array, each set read from its place
// in the bound arrays, with a status per set and the count of sets
// processed where the implementation parameter descriptor points. A
// server that offered the execute-batch request (protocol/BATCH.md) gets
// many sets per request; any other one request per set, with the same
// outcome for the application.
#ifndef VELORA_ODBC_PARAMS_PARAMARRAYS_H
#define VELORA_ODBC_PARAMS_PARAMARRAYS_H

#include <sql.h>

class Statement;

// One execution of the statement's parameters as they stand (SQLExecute
// or SQLExecDirect with sql).
using ExecuteOnceFunction = int (*)(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql);

// Runs once for a single set without statuses (exactly the execution
// of one set); otherwise every set: a set whose operation is
// SQL_PARAM_IGNORE is skipped (SQL_PARAM_UNUSED); with a status array a
// failing set is SQL_PARAM_ERROR and the next sets still run, without one
// the first failure ends the array (the sets after it unused) and the
// call fails. The result: SQL_ERROR when every set run failed,
// SQL_SUCCESS_WITH_INFO when one did or warned; the records of all sets
// stay queued in order. SQLRowCount then answers the sum of the sets'
// counts. Each set's records carry its number (from 1). A set whose data
// comes at execution returns SQL_NEED_DATA (the number of sets processed
// names it); the SQLParamData that sends it goes on with the array. A
// statement that returns rows takes no array of more than one set
// ("S1C00").
int RunParameterSets(Statement* s, ExecuteOnceFunction once, const SQLCHAR* sql, SQLINTEGER cbSql);

// After the SQLParamData that sent a set of an array with result rc:
// goes on with the array's next sets (execute or execDirect runs a set
// alone) and returns the array's result, or SQL_NEED_DATA again. rc when
// no array was waiting.
int ContinueParameterSets(Statement* s, ExecuteOnceFunction execute, ExecuteOnceFunction execDirect,
                          int rc);

// ContinueParameterSets with SQLExecute's and SQLExecDirect's single
// executions (odbc/statement/StatementExec.cpp).
int ContinueArray(Statement* s, int rc);

// A query's array (a server that gives results one after the other): runs
// the next set not ignored, whose result set becomes the statement's, for
// SQLMoreResults after the results of the set before; SQL_NO_DATA_FOUND
// when none is left. A failing set returns SQL_ERROR; the sets after it
// still come when there is a status array.
int NextSelectSet(Statement* s, ExecuteOnceFunction execute, ExecuteOnceFunction execDirect);

// NextSelectSet with SQLExecute's and SQLExecDirect's single executions
// (odbc/statement/StatementExec.cpp).
int NextSelectSet(Statement* s);

// SQLParamOptions: crow sets (the parameter descriptor's array size) and
// pirow where the number of the set being executed, or of the one that
// failed and ended the array, is written ("S1107" for crow 0).
int ParamOptionsWorker(Statement* s, SQLULEN crow, SQLULEN* pirow);

#endif
