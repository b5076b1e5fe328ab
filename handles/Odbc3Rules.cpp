#include "handles/Odbc3Rules.h"

#include <sqlext.h>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "protocol/SqlTypeCatalog.h"

bool FollowsOdbc3(const Statement& s) {
  const Connection* conn = s.OwningConnection();
  return conn != nullptr && conn->environment != nullptr &&
         conn->environment->OdbcVersion() >= SQL_OV_ODBC3;
}

int32_t ReportedSqlType(const Statement& s, int32_t code) {
  return FollowsOdbc3(s) ? Odbc3SqlType(code) : code;
}
