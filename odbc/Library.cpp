// Library load and unload: DllMain, the system's entry point of the
// library on Windows; elsewhere LibraryElf.cpp runs its process attach and
// detach.
#include <sql.h>

#include "base/Module.h"
#include "base/Trace.h"
#include "handles/Environment.h"
#include "handles/Frame.h"
#include "net/Sockets.h"
#include "odbc/Library.h"

namespace {
const DWORD kProcessDetach = 0;
const DWORD kProcessAttach = 1;
}  // namespace

// Process attach: keeps the instance handle, starts the socket library and
// opens the trace. Process detach: closes the trace first (later trace
// calls write nothing), then deletes every environment, connection and
// statement the application left, resetting their sockets, and stops the
// socket library; when the process is ending (reserved not null on Windows)
// other libraries may be gone already, so only the trace is closed and the
// system closes the sockets. Thread attach and detach do nothing.
VEL_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == kProcessAttach) {
    SetModuleInstance(instance);
    Registry();  // exists before the first call, whatever the static order
    // A failure shows later, as the socket error of the first connect.
    static_cast<void>(StartSocketLibrary());
    OpenTrace();
  } else if (reason == kProcessDetach) {
    CloseTrace();
    if (reserved != nullptr) return 1;
    DestroyRegistry();
    StopSocketLibrary();
  }
  return 1;  // TRUE
}

// Part of the library's published export list (tests/odbc/expected_exports.txt),
// so that a caller resolving it finds it; empty because everything a load
// needs is done by DllMain (or its ELF counterpart) already.
VEL_EXPORT void SQL_API LoadByOrdinal(void) {}
