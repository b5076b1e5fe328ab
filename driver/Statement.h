// A statement handle: its connection, its server-side id and its
// diagnostics.
#ifndef VELORA_DRIVER_STATEMENT_H
#define VELORA_DRIVER_STATEMENT_H

#include <cstdint>

#include "diag/ErrorData.h"
#include "driver/HandleIndex.h"

class Connection;

// An HSTMT is the address of a Statement. It is registered with
// Connection::AddStatement, which also makes its handle known.
class Statement : public HandleObject {
 public:
  Statement() : HandleObject(HandleKind::kStatement) {}
  ~Statement() override = default;

  void ClearErrors() { errors.Clear(); }
  // Queues a client record (see VEL_POST_ERROR); returns rc.
  int PostError(int rc, int32_t native, const char* sqlstate, const char* text, const char* file,
                int32_t line) {
    return errors.Post(rc, native, sqlstate, text, file, line);
  }
  ErrorData* TakeLastError() { return errors.TakeLast(); }

  // As Connection::CheckResult, for an exchange about this statement.
  int CheckResult(int rc, int status);

  Connection* connection = nullptr;  // the owner; not owned
  ErrorList errors;
  uint32_t statementId = 0;  // the server's id; 0 until allocated there
};

#endif
