// Lock on Windows: a critical section (no C++ thread library needed, which
// a win32-thread-model toolchain does not have).
#include <windows.h>

#include "base/Lock.h"

namespace {
CRITICAL_SECTION* Native(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= Lock::kNativeSize, "Lock::kNativeSize too small");

// The spin count makes short waits cheap; the call fails only when the
// system has no memory for the section's event.
Lock::Lock() { failed_ = InitializeCriticalSectionAndSpinCount(Native(native_), 1000) == 0; }

Lock::~Lock() {
  if (!failed_) DeleteCriticalSection(Native(native_));
}

void Lock::Acquire() {
  if (!failed_) EnterCriticalSection(Native(native_));
}

bool Lock::TryAcquire() { return failed_ || TryEnterCriticalSection(Native(native_)) != 0; }

void Lock::Release() {
  if (!failed_) LeaveCriticalSection(Native(native_));
}

void Lock::Pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }
