// The driver's mutual-exclusion lock, for the state that concurrent callers
// share. The system object lives inside it; which system provides it is the
// build's choice (LockPosix.cpp or LockWin32.cpp, picked in
// base/CMakeLists.txt), so code that locks never names a platform.
#ifndef VELORA_BASE_LOCK_H
#define VELORA_BASE_LOCK_H

#include <cstddef>
#include <new>

// Not recursive: a thread must not acquire a lock it holds.
class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  // True when the system could not create the lock (out of memory or
  // resources). Its owner reports that as an allocation failure and never
  // uses it; Acquire and Release on it do nothing.
  bool Failed() const { return failed_; }
  void Acquire();
  // Acquires the lock when no thread holds it; false otherwise.
  [[nodiscard]] bool TryAcquire();
  void Release();
  // Sleeps the calling thread for about milliseconds (a waiter's pause).
  static void Pause(int milliseconds);

  // Room for the system's lock object; the implementation checks it fits.
  static constexpr std::size_t kNativeSize = 64;

 private:
  alignas(16) unsigned char native_[kNativeSize];
  bool failed_ = false;
};

// Holds lock for the scope.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~LockGuard() { lock_.Release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

// A lock of the whole process, one per Tag type: made on first use (safe
// when threads race for it) and never destroyed, so it serves before and
// after every static constructor and destructor.
template <typename Tag>
Lock& ProcessLock() {
  alignas(Lock) static unsigned char storage[sizeof(Lock)];
  static Lock* const lock = ::new (static_cast<void*>(storage)) Lock;
  return *lock;
}

#endif
