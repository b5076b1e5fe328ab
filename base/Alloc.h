// The driver's one allocation function. Every heap block and every object
// the driver creates goes through here, so tests can make the Nth
// allocation fail and check that the failure is reported, not crashed on.
#ifndef VELORA_BASE_ALLOC_H
#define VELORA_BASE_ALLOC_H

#include <cstddef>
#include <new>

// Returns a block of at least size bytes, or nullptr when memory is
// exhausted (or a test has asked for this allocation to fail).
void* VelAlloc(std::size_t size);
void VelFree(void* block);

// Test seam: after SetAllocFailAfter(n), the next n allocations succeed and
// every one after them fails, until ResetAllocFailure(). n < 0 turns it off.
void SetAllocFailAfter(long n);
void ResetAllocFailure();
// Test seam: the next n allocations succeed, the one after them fails, and
// every later one succeeds again (until ResetAllocFailure()).
void SetAllocFailOnce(long n);
// Number of allocations made through VelAlloc since the process started.
unsigned long AllocCount();

// Gives a class nothrow-only allocation through VelAlloc: `new T` does not
// compile, `new (std::nothrow) T` returns nullptr when memory runs out.
#define VEL_NOTHROW_ALLOCATED                                                   \
 public:                                                                        \
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept { \
    return VelAlloc(size);                                                      \
  }                                                                             \
  static void operator delete(void* block) noexcept { VelFree(block); }         \
  static void operator delete(void* block, const std::nothrow_t&) noexcept { VelFree(block); }

#endif
