// Lock on POSIX threads: a default (non-recursive) pthread mutex.
#include <pthread.h>
#include <time.h>

#include <cerrno>

#include "base/Lock.h"

namespace {
pthread_mutex_t* Native(unsigned char* storage) {
  return reinterpret_cast<pthread_mutex_t*>(storage);
}
}  // namespace

static_assert(sizeof(pthread_mutex_t) <= Lock::kNativeSize, "Lock::kNativeSize too small");

Lock::Lock() { failed_ = pthread_mutex_init(Native(native_), nullptr) != 0; }

Lock::~Lock() {
  if (!failed_) pthread_mutex_destroy(Native(native_));
}

void Lock::Acquire() {
  if (!failed_) pthread_mutex_lock(Native(native_));
}

bool Lock::TryAcquire() { return failed_ || pthread_mutex_trylock(Native(native_)) == 0; }

void Lock::Release() {
  if (!failed_) pthread_mutex_unlock(Native(native_));
}

void Lock::Pause(int milliseconds) {
  timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}
