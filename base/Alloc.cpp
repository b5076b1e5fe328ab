// Allocation through malloc with a failure-injection counter for tests.
#include "base/Alloc.h"

#include <atomic>
#include <cstdlib>

namespace {
// Atomic, as allocations happen on every caller's thread; the failure
// counters are a test seam and count all threads' allocations together.
std::atomic<long> g_failAfter{-1};
std::atomic<long> g_failOnce{-1};
std::atomic<unsigned long> g_count{0};
constexpr std::memory_order kRelaxed = std::memory_order_relaxed;
}  // namespace

void* VelAlloc(std::size_t size) {
  g_count.fetch_add(1, kRelaxed);
  if (g_failOnce.load(kRelaxed) >= 0 && g_failOnce.fetch_sub(1, kRelaxed) == 0) return nullptr;
  long after = g_failAfter.load(kRelaxed);
  while (after >= 0) {
    if (after == 0) return nullptr;
    if (g_failAfter.compare_exchange_weak(after, after - 1, kRelaxed)) break;
  }
  return std::malloc(size == 0 ? 1 : size);
}

void VelFree(void* block) { std::free(block); }

void SetAllocFailAfter(long n) { g_failAfter.store(n < 0 ? -1 : n, kRelaxed); }
void ResetAllocFailure() {
  g_failAfter.store(-1, kRelaxed);
  g_failOnce.store(-1, kRelaxed);
}
void SetAllocFailOnce(long n) { g_failOnce.store(n < 0 ? -1 : n, kRelaxed); }
unsigned long AllocCount() { return g_count.load(kRelaxed); }
