// The process-wide module instance handle: stored at load, read by any
// caller's thread.
#include "base/Module.h"

#include <atomic>

namespace {
std::atomic<HINSTANCE> g_instance{nullptr};
}  // namespace

HINSTANCE ModuleInstance() { return g_instance.load(std::memory_order_acquire); }
void SetModuleInstance(HINSTANCE instance) {
  g_instance.store(instance, std::memory_order_release);
}
