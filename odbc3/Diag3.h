// The handle a diagnostic call names, held without clearing its records.
#ifndef VELORA_ODBC3_DIAG3_H
#define VELORA_ODBC3_DIAG3_H

#include <sql.h>

#include "handles/Descriptor.h"
#include "handles/Frame.h"
#include "odbc/Workers3.h"

class DiagHold {
 public:
  DiagHold(SQLSMALLINT type, SQLHANDLE handle);
  // False for an unknown type or a handle that is not live.
  bool Found() const { return target.errors != nullptr; }

  DiagTarget target;

 private:
  EnvironmentHold env_;
  ConnectionHold conn_;
  StatementHold stmt_;
  Held<Descriptor> desc_;
};

#endif
