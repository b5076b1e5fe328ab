// The registry operations on environments, connections and statements.
#include <new>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "base/Check.h"
#include "platform/MessageBox.h"

namespace {

// A connection's socket failures are shown to the user as they happen.
void ShowSocketFailure(const char* text) {
  VelMessageBox(nullptr, text, "VELODBC", VEL_MB_OK | VEL_MB_ICONSTOP);
}

// Storage for the registry, constructed in place on first use: the driver
// may be called (or unloaded) before or after any other static object.
alignas(EnvironmentList) unsigned char g_registryStorage[sizeof(EnvironmentList)];
EnvironmentList* g_registry = nullptr;
}  // namespace

EnvironmentList& Registry() {
  if (g_registry == nullptr) g_registry = ::new (g_registryStorage) EnvironmentList;
  return *g_registry;
}

void DestroyRegistry() {
  if (g_registry == nullptr) return;
  g_registry->~EnvironmentList();
  g_registry = nullptr;
}

void EnvironmentList::AddEnvironment(Environment* env) {
  VEL_CHECK_TEXT(env != nullptr, "envp", VEL_MODULE);
  Append(env);
  Handles().Insert(env);
}

void EnvironmentList::RemoveEnvironment(Environment* env) {
  VEL_CHECK_TEXT(env != nullptr, "envp", VEL_MODULE);
  Delete(env);
}

Environment* EnvironmentList::FindEnvironment(const void* henv) const {
  return static_cast<Environment*>(Handles().Find(henv, HandleKind::kEnvironment));
}

Connection* EnvironmentList::FindConnection(const void* hdbc) const {
  return static_cast<Connection*>(Handles().Find(hdbc, HandleKind::kConnection));
}

Statement* EnvironmentList::FindStatement(const void* hstmt) const {
  return static_cast<Statement*>(Handles().Find(hstmt, HandleKind::kStatement));
}

void Environment::AddConnection(Connection* conn) {
  VEL_CHECK_TEXT(conn != nullptr, "conn", VEL_MODULE);
  connections.Append(conn);
  Handles().Insert(conn);
}

bool Environment::ValidConnection(const Connection* conn) const {
  return conn != nullptr && conn->Owner() == &connections;
}

void Environment::RemoveConnection(Connection* conn) {
  VEL_CHECK_TEXT(ValidConnection(conn), "ValidConnection(conn)", VEL_MODULE);
  connections.Delete(conn);
}

Connection::Connection() : HandleObject(HandleKind::kConnection) {
  clib.SetFailureReporter(ShowSocketFailure);
  failed_ = !currentQualifier.SetString("");
}

void Connection::AddStatement(Statement* stmt) {
  VEL_CHECK_TEXT(stmt != nullptr, "stmt", VEL_MODULE);
  statements.Append(stmt);
  Handles().Insert(stmt);
}

bool Connection::ValidStatement(const Statement* stmt) const {
  return stmt != nullptr && stmt->Owner() == &statements;
}

void Connection::RemoveStatement(Statement* stmt) {
  VEL_CHECK_TEXT(ValidStatement(stmt), "ValidStatement(stmt)", VEL_MODULE);
  statements.Delete(stmt);
}
