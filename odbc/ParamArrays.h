// Arrays of parameter sets: an execution runs once per set of the
// application parameter descriptor's array, each set read from its place
// in the bound arrays, with a status per set and the count of sets
// processed where the implementation parameter descriptor points.
#ifndef VELORA_ODBC_PARAMARRAYS_H
#define VELORA_ODBC_PARAMARRAYS_H

#include <sql.h>

class Statement;

// One execution of the statement's parameters as they stand (SQLExecute
// or SQLExecDirect with sql).
using ExecuteOnceFunction = int (*)(Statement* s, const SQLCHAR* sql, SQLINTEGER cbSql);

// Runs once for a single set without statuses (exactly the execution
// of one set); otherwise once per set: a set whose operation is
// SQL_PARAM_IGNORE is skipped (SQL_PARAM_UNUSED); with a status array a
// failing set is SQL_PARAM_ERROR and the next sets still run, without one
// the first failure ends the array (the sets after it unused) and the
// call fails. The result: SQL_ERROR when every set run failed,
// SQL_SUCCESS_WITH_INFO when one did or warned; the records of all sets
// stay queued in order. SQLRowCount then answers the sum of the sets'
// counts. Data at execution is taken in a single set only.
int RunParameterSets(Statement* s, ExecuteOnceFunction once, const SQLCHAR* sql, SQLINTEGER cbSql);

#endif
