// Library load and unload: DllMain and, on ELF systems, the load and unload
// hooks that run its process attach and detach.
#include <dlfcn.h>
#include <sql.h>

#include "handles/Environment.h"
#include "handles/Frame.h"
#include "base/Module.h"
#include "base/Trace.h"

namespace {
const DWORD kProcessDetach = 0;
const DWORD kProcessAttach = 1;
}  // namespace

// Process attach: keeps the instance handle and opens the trace; process
// detach: closes the trace. Thread attach and detach do nothing.
VEL_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void* /*reserved*/) {
  if (reason == kProcessAttach) {
    SetModuleInstance(instance);
    OpenTrace();
  } else if (reason == kProcessDetach) {
    CloseTrace();
  }
  return 1;  // TRUE
}

VEL_EXPORT void LoadByOrdinal(void) {}

#ifndef _WIN32
namespace {

// The module handle is the address the library is loaded at, as on Windows.
HINSTANCE OwnModule() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModule), &info) != 0) return info.dli_fbase;
  return nullptr;
}

__attribute__((constructor)) void LibraryLoaded() {
  Registry();  // exists before the first call, whatever the static order
  DllMain(OwnModule(), kProcessAttach, nullptr);
}

// Runs when the library is unloaded or the process ends: the trace is
// closed first (later trace calls write nothing), then the registry
// deletes every environment, connection and statement the application left,
// resetting their sockets.
__attribute__((destructor)) void LibraryUnloaded() {
  DllMain(ModuleInstance(), kProcessDetach, nullptr);
  DestroyRegistry();
}

}  // namespace
#endif
