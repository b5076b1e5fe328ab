// The ODBC 3.x layer: the exports of the ODBC 3.x library (SQLAllocHandle,
// SQLSetEnvAttr, the descriptor and diagnostic-record calls, and the
// wide-character "W" entry points) live in this folder, above odbc/. Each
// is a thin shim like the ODBC 2.0 exports: it runs the entry frame and
// calls a worker of odbc/Workers.h, converting wide-character texts at
// the edge. Nothing below includes this folder.
#ifndef VELORA_ODBC3_ODBC3_H
#define VELORA_ODBC3_ODBC3_H

#include <cstdint>

class Environment;

// True when env's application declared ODBC 3 (SQL_OV_ODBC3) or later:
// the behaviour where the two versions differ (SQLSTATE classes, date and
// time type codes) follows the 3.x rules.
bool DeclaresOdbc3(const Environment& env);

#endif
