#include "base/Check.h"

#include <cstdio>
#include <cstdlib>

#include "base/Trace.h"

void CheckFailed(const char* expression, const char* module, int line) {
  Trace('A', 0, "Consistency check failed: %s, module %s, line %d", expression, module, line);
  std::fprintf(stderr, "Velora ODBC: consistency check failed: %s, module %s, line %d\n",
               expression, module, line);
  std::fflush(stderr);
  std::abort();
}
