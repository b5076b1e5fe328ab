// On ELF systems the load and unload hooks run DllMain's process attach and
// detach.
#include <dlfcn.h>
#include <sql.h>

#include "base/Module.h"
#include "odbc/Library.h"

namespace {

// The module handle is the address the library is loaded at, as on Windows.
HINSTANCE OwnModule() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModule), &info) != 0) return info.dli_fbase;
  return nullptr;
}

__attribute__((constructor)) void LibraryLoaded() { DllMain(OwnModule(), 1, nullptr); }

// Runs when the library is unloaded or the process ends.
__attribute__((destructor)) void LibraryUnloaded() { DllMain(ModuleInstance(), 0, nullptr); }

}  // namespace
