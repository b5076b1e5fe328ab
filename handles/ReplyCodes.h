// The return codes a server's reply may carry. SQL_SUCCESS and SQL_ERROR
// fit every call; SQL_SUCCESS_WITH_INFO every call with the server's
// record; SQL_NO_DATA_FOUND only a fetch (the end of the rows), a
// get-data and the get-error request (no record). The server never needs
// data (the driver gathers data-at-execution values before it sends), so
// no reply may say SQL_NEED_DATA. Any other code makes a malformed reply:
// CheckResult turns it into SQL_ERROR with "08S01".
#ifndef VELORA_HANDLES_REPLYCODES_H
#define VELORA_HANDLES_REPLYCODES_H

#include <sql.h>
#include <sqlext.h>

enum class ReplyCodes { kPlain, kWithEnd };

inline bool ReplyCodeFits(int rc, ReplyCodes codes) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR ||
         (rc == SQL_NO_DATA_FOUND && codes == ReplyCodes::kWithEnd);
}

#endif
