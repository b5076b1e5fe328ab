// Allocation through malloc with a failure-injection counter for tests.
#include "base/Alloc.h"

#include <cstdlib>

namespace {
long g_failAfter = -1;
long g_failOnce = -1;
unsigned long g_count = 0;
}  // namespace

void* VelAlloc(std::size_t size) {
  ++g_count;
  if (g_failOnce >= 0 && g_failOnce-- == 0) return nullptr;
  if (g_failAfter == 0) return nullptr;
  if (g_failAfter > 0) --g_failAfter;
  return std::malloc(size == 0 ? 1 : size);
}

void VelFree(void* block) { std::free(block); }

void SetAllocFailAfter(long n) { g_failAfter = n < 0 ? -1 : n; }
void ResetAllocFailure() {
  g_failAfter = -1;
  g_failOnce = -1;
}
void SetAllocFailOnce(long n) { g_failOnce = n < 0 ? -1 : n; }
unsigned long AllocCount() { return g_count; }
