// The ODBC 3.x layer's first piece: which rules an environment follows.
#include "odbc3/Odbc3.h"

#include <sqlext.h>

#include "handles/Environment.h"

bool DeclaresOdbc3(const Environment& env) { return env.OdbcVersion() >= SQL_OV_ODBC3; }
