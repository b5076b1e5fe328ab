// Environment attributes: the declared ODBC version, and ODBC's defaults
// for connection pooling, pool matching and NUL-terminated output.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "handles/ClientDiagnostics.h"
#include "handles/Environment.h"
#include "odbc/Workers3.h"

namespace {

// The attributes kept at their defaults: the value each always has.
bool FixedValue(SQLINTEGER attribute, SQLUINTEGER* value) {
  switch (attribute) {
    case SQL_ATTR_CONNECTION_POOLING:
      *value = SQL_CP_OFF;
      return true;
    case SQL_ATTR_CP_MATCH:
      *value = SQL_CP_STRICT_MATCH;
      return true;
    case SQL_ATTR_OUTPUT_NTS:
      *value = SQL_TRUE;
      return true;
    default:
      return false;
  }
}

}  // namespace

int SetEnvAttrWorker(Environment* env, SQLINTEGER attribute, SQLPOINTER value) {
  const SQLUINTEGER number = static_cast<SQLUINTEGER>(reinterpret_cast<uintptr_t>(value));
  if (attribute == SQL_ATTR_ODBC_VERSION) {
    if (env->connections.Count() != 0) return VEL_POST(env, SQL_ERROR, kDiagSequenceError);
#ifdef SQL_OV_ODBC3_80
    const bool odbc380 = number == SQL_OV_ODBC3_80;
#else
    const bool odbc380 = false;  // headers before ODBC 3.80 (Windows'): 3.51 at most
#endif
    if (number != SQL_OV_ODBC2 && number != SQL_OV_ODBC3 && !odbc380) {
      return VEL_POST(env, SQL_ERROR, kDiagInvalidArgument);
    }
    env->SetOdbcVersion(number);
    return SQL_SUCCESS;
  }
  SQLUINTEGER fixed = 0;
  if (!FixedValue(attribute, &fixed)) return VEL_POST(env, SQL_ERROR, kDiagOptionOutOfRange);
  if (number != fixed) return VEL_POST(env, SQL_ERROR, kDiagOptionNotCapable);
  return SQL_SUCCESS;
}

int GetEnvAttrWorker(Environment* env, SQLINTEGER attribute, SQLPOINTER value) {
  SQLUINTEGER answer = 0;
  if (attribute == SQL_ATTR_ODBC_VERSION) {
    answer = env->OdbcVersion();
  } else if (!FixedValue(attribute, &answer)) {
    return VEL_POST(env, SQL_ERROR, kDiagOptionOutOfRange);
  }
  if (value != nullptr) *static_cast<SQLUINTEGER*>(value) = answer;
  return SQL_SUCCESS;
}
