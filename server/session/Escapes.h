// ODBC escape clauses in statement texts, rewritten into the storage's SQL
// when the statement's no-scan option is off: {d '...'}, {t '...'},
// {ts '...'}, {guid '...'}, {INTERVAL ...}, {oj ...}, {escape 'c'},
// {fn ...} with every scalar function ODBC lists that the storage can run,
// {call ...} and {?= call ...}. The same tables give what SQLGetInfo says
// of them (the masks the server offers at login, protocol/ESCAPES.md).
#ifndef VELORA_SERVER_SESSION_ESCAPES_H
#define VELORA_SERVER_SESSION_ESCAPES_H

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "server/storage/Storage.h"

namespace velsrv {

// What a translation needs of the session beside the text.
struct EscapeContext {
  SqlDialect dialect = SqlDialect::kSqlite;
  std::string user;  // {fn USER()}
  // {call name(...)} on PostgreSQL: true when name is a procedure (CALL),
  // false for a function (SELECT * FROM name(...)).
  std::function<bool(const std::string& name)> isProcedure;
};

// Rewrites the escape clauses of sql into *out. Text inside quotes and
// comments is left alone. Returns false with *error set for an unknown,
// malformed or unterminated clause, or one the storage cannot run.
bool TranslateEscapes(const std::string& sql, const EscapeContext& context, std::string* out,
                      std::string* error);
bool TranslateEscapes(const std::string& sql, SqlDialect dialect, std::string* out,
                      std::string* error);

// The SQLGetInfo answers (information type, value) that follow from the
// translation on a storage: the function masks, the SQL_CONVERT_* masks,
// SQL_OJ_CAPABILITIES, SQL_DATETIME_LITERALS and the TIMESTAMPADD and
// TIMESTAMPDIFF intervals. sqliteVersion: sqlite3_libversion_number().
std::vector<std::pair<uint16_t, uint32_t>> EscapeInfoAnswers(SqlDialect dialect, int sqliteVersion);

}  // namespace velsrv

#endif
