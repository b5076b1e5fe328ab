// The registry operations on environments, connections and statements.
#include <atomic>
#include <cstring>
#include <new>

#include "handles/Connection.h"
#include "handles/Environment.h"
#include "handles/Statement.h"
#include "base/Check.h"
#include "platform/MessageBox.h"

namespace {

// A connection's socket failures are shown to the user as they happen.
void ShowSocketFailure(const char* text) {
  VelMessageBox(nullptr, text, "VELODBC", kMbOk | kMbIconStop);
}

// Storage for the registry, constructed in place on first use: the driver
// may be called (or unloaded) before or after any other static object.
alignas(EnvironmentList) unsigned char g_registryStorage[sizeof(EnvironmentList)];
std::atomic<EnvironmentList*> g_registry{nullptr};
}  // namespace

EnvironmentList& Registry() {
  EnvironmentList* registry = g_registry.load(std::memory_order_acquire);
  if (registry == nullptr) {
    LockGuard guard(Handles().Mutex());
    registry = g_registry.load(std::memory_order_relaxed);
    if (registry == nullptr) {
      registry = ::new (g_registryStorage) EnvironmentList;
      g_registry.store(registry, std::memory_order_release);
    }
  }
  return *registry;
}

void DestroyRegistry() {
  EnvironmentList* registry = g_registry.exchange(nullptr);
  if (registry != nullptr) registry->~EnvironmentList();
}

void EnvironmentList::AddEnvironment(Environment* env) {
  VEL_CHECK_TEXT(env != nullptr, "envp", VEL_MODULE);
  LockGuard guard(Handles().Mutex());
  Append(env);
  Handles().Insert(env);
}

void EnvironmentList::RemoveEnvironment(Environment* env) {
  VEL_CHECK_TEXT(env != nullptr, "envp", VEL_MODULE);
  env->RemoveAllConnections();
  if (Handles().Retire(env)) delete env;
}

namespace {
HandleObject* Find(const void* handle, HandleKind kind) {
  LockGuard guard(Handles().Mutex());
  return Handles().Find(handle, kind);
}
}  // namespace

Environment* EnvironmentList::FindEnvironment(const void* henv) const {
  return static_cast<Environment*>(Find(henv, HandleKind::kEnvironment));
}

Connection* EnvironmentList::FindConnection(const void* hdbc) const {
  return static_cast<Connection*>(Find(hdbc, HandleKind::kConnection));
}

Statement* EnvironmentList::FindStatement(const void* hstmt) const {
  return static_cast<Statement*>(Find(hstmt, HandleKind::kStatement));
}

void Environment::AddConnection(Connection* conn) {
  VEL_CHECK_TEXT(conn != nullptr, "conn", VEL_MODULE);
  LockGuard guard(Handles().Mutex());
  connections.Append(conn);
  Handles().Insert(conn);
}

bool Environment::ValidConnection(const Connection* conn) const {
  return conn != nullptr && conn->Owner() == &connections;
}

void Environment::RemoveConnection(Connection* conn) {
  VEL_CHECK_TEXT(ValidConnection(conn), "ValidConnection(conn)", VEL_MODULE);
  if (Handles().Retire(conn)) delete conn;
}

void Environment::RemoveAllConnections() {
  for (;;) {
    Connection* conn;
    {
      LockGuard guard(Handles().Mutex());
      conn = connections.Head();
      if (conn == nullptr) return;
      HandleIndex::PinLocked(conn);
    }
    // Lock order: an environment's calls may wait for a connection's, never
    // the other way round.
    conn->CallLock()->Acquire();
    if (ValidConnection(conn)) RemoveConnection(conn);
    conn->CallLock()->Release();
    HandleIndex::Unpin(conn);
  }
}

Connection::Connection() : HandleObject(kKind, &callLock_) {
  clib.SetFailureReporter(ShowSocketFailure);
  failed_ = !currentQualifier.SetString("");
}

CallState Connection::TakeCancelTicket(const Statement* stmt, CancelTicket* ticket) {
  LockGuard guard(cancelLock_);
  if (stmt == nullptr || cancelKey_ == 0) return CallState::kNone;
  if (waiting_ != stmt) return busy_ == stmt ? CallState::kBusy : CallState::kNone;
  std::memcpy(ticket->server, server, sizeof server);
  std::memcpy(ticket->service, service, sizeof service);
  std::memcpy(ticket->tlsCaFile, settings.tlsCaFile, sizeof settings.tlsCaFile);
  ticket->tls = cancelTls_;
  ticket->key = cancelKey_;
  ticket->request = waitingRequest_;
  return CallState::kWaiting;
}

void Connection::AddStatement(Statement* stmt) {
  VEL_CHECK_TEXT(stmt != nullptr, "stmt", VEL_MODULE);
  statements.Append(stmt);
  LockGuard guard(Handles().Mutex());
  Handles().Insert(stmt, this);
}

bool Connection::EditsRows() const { return (flags & kConnectionEdit) != 0; }

bool Connection::ValidStatement(const Statement* stmt) const {
  return stmt != nullptr && stmt->Owner() == &statements;
}

void Connection::RemoveStatement(Statement* stmt) {
  VEL_CHECK_TEXT(ValidStatement(stmt), "ValidStatement(stmt)", VEL_MODULE);
  statements.Delete(stmt);
}
