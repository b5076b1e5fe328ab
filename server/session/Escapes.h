// ODBC escape clauses in statement texts, rewritten into the engine's SQL when
// the statement's no-scan option is off: {d '...'}, {t '...'},
// {ts '...'}, {oj ...}, {escape 'c'} and {fn ...} with the functions the
// driver reports (CONVERT, MONTH, YEAR) and a few common others.
#ifndef VELORA_SERVER_SESSION_ESCAPES_H
#define VELORA_SERVER_SESSION_ESCAPES_H

#include <string>

#include "server/storage/Storage.h"

namespace velsrv {

// Rewrites the escape clauses of sql into *out. Text inside quotes and
// comments is left alone. Returns false with *error set for an unknown
// or unterminated clause or a procedure call.
bool TranslateEscapes(const std::string& sql, SqlDialect dialect, std::string* out,
                      std::string* error);

}  // namespace velsrv

#endif
