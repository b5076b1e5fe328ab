// The frame every exported ODBC function runs: entry trace, handle lookup,
// clearing of old diagnostics, worker, return-code trace.
#ifndef VELORA_HANDLES_FRAME_H
#define VELORA_HANDLES_FRAME_H

#include <cstdint>

#include "base/HandleIndex.h"
#include "base/Trace.h"

// Marks a function as one of the library's exports (C linkage, visible).
#define VEL_EXPORT extern "C" __attribute__((visibility("default")))

class Environment;
class Connection;
class Statement;

// Steps 2 and 3 of the frame, safe for concurrent callers: a call's hold
// on the live object behind its handle. Calls on one connection and its
// statements are serialised by the connection's lock (the protocol carries
// one exchange at a time), calls on one environment by the environment's;
// calls on different connections run in parallel. While held, the object
// cannot be freed by another thread; a handle freed meanwhile is not found.
// The hold ends when it goes out of scope, after the entry point has
// traced its return code. No process-wide lock is held meanwhile.
class HandleHold {
 public:
  HandleHold(const void* handle, HandleKind kind);
  ~HandleHold();
  HandleHold(const HandleHold&) = delete;
  HandleHold& operator=(const HandleHold&) = delete;
  // True on a thread that is inside a call on a statement: a call made
  // now comes from a signal handler that interrupted it.
  static bool InStatementCall();

 protected:
  HandleObject* anchor_ = nullptr;  // locked while held
  HandleObject* object_ = nullptr;  // null: no live handle (SQL_INVALID_HANDLE)
  bool pinned_ = false;             // anchor_ pinned as well
  bool busy_ = false;               // a statement's call: its connection knows
};

// The hold typed for its object. With clear (the frame's step 3) the
// object's diagnostics are cleared once it is held.
template <typename T>
class Held : public HandleHold {
 public:
  explicit Held(const void* handle, bool clear = true) : HandleHold(handle, T::kKind) {
    if (clear && object_ != nullptr) Get()->ClearErrors();
  }
  T* Get() const { return static_cast<T*>(object_); }
};
using EnvironmentHold = Held<Environment>;
using ConnectionHold = Held<Connection>;
using StatementHold = Held<Statement>;

// A handle as the trace shows it with "0x%08lx".
inline unsigned long HandleValue(const void* handle) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle));
}

// Steps 1 to 3 of the frame for an export whose only traced argument is
// hstmt: traces the entry, holds the statement as s, and returns
// SQL_INVALID_HANDLE when there is none.
#define VEL_STATEMENT_ENTRY(name)                            \
  Trace('A', 2, name ": hstmt=0x%08lx", HandleValue(hstmt)); \
  StatementHold hold(hstmt);                                 \
  Statement* s = hold.Get();                                 \
  if (s == nullptr) return TraceReturnCode(SQL_INVALID_HANDLE)

// Traces " name=[value]" (A, 2). A null value shows "<null>", a length of
// SQL_NULL_DATA "<null data>"; SQL_NTS means the value ends at its NUL;
// longer values than 80 characters show their first 80 and "...". Other
// negative lengths show "<invalid length N>" without reading the value.
void TraceArgument(const char* name, const char* value, int32_t length);

// Traces "Return code: NAME\n" (A, 2) and returns rc unchanged.
int TraceReturnLine(int rc);
inline int TraceReturnCode(int rc) { return TraceEnabled('A', 2) ? TraceReturnLine(rc) : rc; }

#endif
