// The handle registry: the process-wide list of environments, each
// environment's connections, and the lookups of handle values.
#ifndef VELORA_HANDLES_ENVIRONMENT_H
#define VELORA_HANDLES_ENVIRONMENT_H

#include <cstdint>

#include "handles/ErrorData.h"
#include "base/HandleIndex.h"
#include "base/LinkedList.h"

class Connection;
class Statement;

class ConnectionList : public TypedList<Connection> {
 public:
  ~ConnectionList() override = default;
};

// An HENV is the address of an Environment.
class Environment : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::kEnvironment;
  Environment() : HandleObject(kKind, &callLock_) {}
  // Deletes the connections (with their statements), then the records.
  ~Environment() override = default;

  // True when the environment's lock could not be made; such an
  // environment is deleted, never registered.
  bool Failed() const { return callLock_.Failed(); }

  // Appends conn and makes its handle known; conn must not be null.
  void AddConnection(Connection* conn);
  bool ValidConnection(const Connection* conn) const;
  // conn must be one of this environment's connections; takes it out of
  // the registry and deletes it (at once, or when the last call holding it
  // ends).
  void RemoveConnection(Connection* conn);
  // Removes every connection left, each as SQLFreeConnect does, after any
  // call in progress on it has ended.
  void RemoveAllConnections();

  void ClearErrors() { errors.Clear(); }
  // Queues a client record (see VEL_POST_ERROR); returns rc.
  int PostError(int rc, int32_t native, const char* sqlstate, const char* text, const char* file,
                int32_t line) {
    return errors.Post(rc, native, sqlstate, text, file, line);
  }
  ErrorData* TakeLastError() { return errors.TakeLast(); }

  // The ODBC version the application declared for this environment
  // (SQL_OV_ODBC2, SQL_OV_ODBC3): what its handles answer as, where the
  // two differ.
  uint32_t OdbcVersion() const { return odbcVersion_; }
  void SetOdbcVersion(uint32_t version) { odbcVersion_ = version; }

  ErrorList errors;
  // Changed only under Handles().Mutex(); walked under it, or by the
  // environment's own calls.
  ConnectionList connections;

 private:
  // Serialises the calls on this environment (its records).
  Lock callLock_;
  uint32_t odbcVersion_ = 2;  // SQL_OV_ODBC2
};

class EnvironmentList : public TypedList<Environment> {
 public:
  // Deletes every environment left, with everything below it.
  ~EnvironmentList() override { Clear(); }

  // Appends env and makes its handle known; env must not be null.
  void AddEnvironment(Environment* env);
  // Takes env out of the registry and deletes it (at once, or when the last
  // call holding it ends), with any connections and statements left.
  void RemoveEnvironment(Environment* env);

  // The live object whose address is the handle value, or null. Lookups
  // go through the handle index and take constant time; a value that is
  // not a live handle of that kind is never found. The object is not held:
  // calls use the holds of handles/Frame.h instead.
  Environment* FindEnvironment(const void* henv) const;
  Connection* FindConnection(const void* hdbc) const;
  Statement* FindStatement(const void* hstmt) const;
};

// The process-wide registry, constructed in place on first use (whatever
// the order of static construction) and destroyed only by DestroyRegistry.
EnvironmentList& Registry();
// Deletes every environment, connection and statement left and the list
// itself; called at unload after the trace is closed. A later Registry()
// starts a fresh, empty one.
void DestroyRegistry();

#endif
