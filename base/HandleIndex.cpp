// The handle index: a hash of object addresses chained through the objects.
#include "base/HandleIndex.h"

#include <cstring>

#include "base/Alloc.h"

namespace {
HandleIndex g_index;  // trivially constructed, lives as long as the process

struct IndexLockTag;
}  // namespace

HandleIndex& Handles() { return g_index; }

Lock& HandleIndex::Mutex() const { return ProcessLock<IndexLockTag>(); }

HandleObject::~HandleObject() {
  LockGuard guard(Handles().Mutex());
  if (indexed_) Handles().Remove(this);
}

uint32_t HandleIndex::Slot(const void* handle) const {
  // Objects are at least 16-byte aligned; Fibonacci hashing spreads the rest.
  uint64_t value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle)) >> 4;
  return static_cast<uint32_t>((value * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
}

void HandleIndex::Insert(HandleObject* object, HandleObject* anchor) {
  if (object == nullptr || object->indexed_) return;
  object->anchor_ = anchor != nullptr ? anchor : object;
  HandleObject** buckets = Buckets();
  uint32_t slot = Slot(object);
  object->indexNext_ = buckets[slot];
  buckets[slot] = object;
  object->indexed_ = true;
  ++count_;
  if (count_ > 2 * (mask_ + 1)) Grow();
}

void HandleIndex::Remove(HandleObject* object) {
  if (object == nullptr || !object->indexed_) return;
  HandleObject** link = &Buckets()[Slot(object)];
  while (*link != nullptr && *link != object) link = &(*link)->indexNext_;
  if (*link == object) {
    *link = object->indexNext_;
    --count_;
  }
  object->indexNext_ = nullptr;
  object->indexed_ = false;
  if (count_ == 0) Shrink();
}

HandleObject* HandleIndex::Find(const void* handle, HandleKind kind) const {
  if (handle == nullptr) return nullptr;
  for (HandleObject* o = Buckets()[Slot(handle)]; o != nullptr; o = o->indexNext_) {
    if (o == handle) return o->kind_ == kind ? o : nullptr;
  }
  return nullptr;
}

HandleObject* HandleIndex::Enter(const void* handle, HandleKind kind, HandleObject** anchor,
                                 bool* pin) {
  HandleObject* object;
  HandleObject* owner;
  {
    LockGuard guard(Mutex());
    object = Find(handle, kind);
    if (object == nullptr || Retired(object->anchor_)) return nullptr;
    owner = object->anchor_;
    *anchor = owner;
    // A free call lock taken while the object is known live: nobody else
    // can free it before this call lets go of the lock. (Taking it without
    // waiting cannot deadlock with callers that hold it and want Mutex().)
    // Only a call on an anchor itself may free it, and its pin keeps the
    // anchor until the call ends; a statement's call needs none.
    if (owner->CallLock()->TryAcquire()) {
      *pin = object == owner;
      if (*pin) PinLocked(owner);
      return object;
    }
    PinLocked(owner);
    *pin = true;
  }
  owner->CallLock()->Acquire();
  // The object may have been freed while this call waited for the lock.
  {
    LockGuard guard(Mutex());
    if (Find(handle, kind) == object && object->anchor_ == owner && !Retired(owner)) {
      return object;
    }
  }
  owner->CallLock()->Release();
  Unpin(owner);
  return nullptr;
}

bool HandleIndex::Retire(HandleObject* anchor) {
  LockGuard guard(Mutex());
  Remove(anchor);
  if (anchor->Owner() != nullptr) anchor->Owner()->Unlink(anchor);
  return (anchor->state_.fetch_or(HandleObject::kRetired) & ~HandleObject::kRetired) == 0;
}

void HandleIndex::Unpin(HandleObject* anchor) {
  // Deleting a connection deletes its statements, and each of those
  // leaves the index under Mutex(): this holds no lock.
  if (anchor->state_.fetch_sub(1) == (HandleObject::kRetired | 1)) delete anchor;
}

void HandleIndex::Grow() {
  uint32_t newCount = (mask_ + 1) * 4;
  if (newCount > (1u << 24)) return;
  HandleObject** fresh =
      static_cast<HandleObject**>(VelAlloc(sizeof(HandleObject*) * static_cast<size_t>(newCount)));
  if (fresh == nullptr) return;  // chains get longer; lookups still work
  std::memset(fresh, 0, sizeof(HandleObject*) * static_cast<size_t>(newCount));
  HandleObject** old = Buckets();
  uint32_t oldCount = mask_ + 1;
  HandleObject** oldHeap = heap_;
  heap_ = fresh;
  mask_ = newCount - 1;
  for (uint32_t i = 0; i < oldCount; ++i) {
    HandleObject* o = old[i];
    while (o != nullptr) {
      HandleObject* next = o->indexNext_;
      uint32_t slot = Slot(o);
      o->indexNext_ = fresh[slot];
      fresh[slot] = o;
      o = next;
    }
  }
  if (oldHeap != nullptr) VelFree(oldHeap);
}

void HandleIndex::Shrink() {
  if (heap_ == nullptr) return;
  VelFree(heap_);
  heap_ = nullptr;
  mask_ = kFixedBuckets - 1;
  std::memset(fixed_, 0, sizeof fixed_);
}
