// Finding handle objects by handle value in constant time, safely while
// other threads allocate and free handles. Every Environment, Connection
// and Statement is a HandleObject; the registry's lists own them and keep
// their order, and the index, chained through the objects themselves,
// answers "is this value a live handle of this kind".
//
// Calls are serialised per anchor: an environment or a connection is its
// own anchor, a statement's anchor is its connection. A call pins the
// anchor (it cannot be deleted while pinned) and takes the anchor's call
// lock; when it had to wait for the lock it confirms the handle is still
// live. Freeing retires an anchor (it leaves the index and its owner's
// list), always under its call lock, and the last unpin deletes it.
#ifndef VELORA_BASE_HANDLEINDEX_H
#define VELORA_BASE_HANDLEINDEX_H

#include <atomic>
#include <cstdint>

#include "base/LinkedList.h"
#include "base/Lock.h"

enum class HandleKind : uint8_t {
  kEnvironment = 1,
  kConnection = 2,
  kStatement = 3,
  kDescriptor = 4,
};

class HandleObject : public ListItem {
 public:
  // callLock: the lock that serialises calls when this object is an
  // anchor (null for a statement, which uses its connection's).
  HandleObject(HandleKind kind, Lock* callLock) : callLock_(callLock), kind_(kind) {}
  // Leaves the index, whichever way the object is deleted (freed by the
  // application, or deleted with its owner).
  ~HandleObject() override;

  HandleKind Kind() const { return kind_; }
  HandleObject* Anchor() const { return anchor_; }
  Lock* CallLock() const { return callLock_; }

 private:
  friend class HandleIndex;
  HandleObject* indexNext_ = nullptr;
  HandleObject* anchor_ = this;
  Lock* callLock_;
  // The calls in progress that hold this anchor, and kRetired once it is
  // freed (only the last unpin still needs it then). One word, so that an
  // unpin needs no lock and exactly one party sees the last reference go.
  static const uint32_t kRetired = 0x80000000u;
  std::atomic<uint32_t> state_{0};
  HandleKind kind_;
  bool indexed_ = false;
};

// The process-wide index. It never fails: its bucket array starts as a
// fixed array, grows with nothrow allocation when the chains get long, and
// simply stays smaller when growth fails.
class HandleIndex {
 public:
  // Guards the index, every anchor's pins and retirement, and the lists
  // the registry keeps environments and connections on. Held only for
  // moments, never across a call's work.
  Lock& Mutex() const;

  // The caller holds Mutex(). Insert makes object known with anchor (null:
  // the object is its own).
  void Insert(HandleObject* object, HandleObject* anchor = nullptr);
  void Remove(HandleObject* object);
  // The live object of kind whose address is handle, or null.
  HandleObject* Find(const void* handle, HandleKind kind) const;
  // Counts a call on anchor, which is not deleted until it is unpinned.
  static void PinLocked(HandleObject* anchor) { anchor->state_.fetch_add(1); }

  // These take Mutex() themselves.
  // The live object of kind behind handle with its anchor (stored in
  // *anchor) locked by the anchor's call lock and, when *pin comes back
  // true, pinned; null when there is none, or it was freed while this call
  // waited for the lock.
  HandleObject* Enter(const void* handle, HandleKind kind, HandleObject** anchor, bool* pin);
  // Takes anchor out of the index and off its owner's list. Returns true
  // when nobody has it pinned: the caller deletes it then.
  bool Retire(HandleObject* anchor);

  // Without Mutex():
  // Ends a call's pin; deletes the anchor when it was retired and this was
  // the last pin.
  static void Unpin(HandleObject* anchor);
  static bool Retired(const HandleObject* anchor) {
    return (anchor->state_.load() & HandleObject::kRetired) != 0;
  }

  uint32_t Count() const { return count_; }
  uint32_t BucketCount() const { return mask_ + 1; }

 private:
  static const uint32_t kFixedBuckets = 64;
  HandleObject** Buckets() { return heap_ != nullptr ? heap_ : fixed_; }
  HandleObject* const* Buckets() const { return heap_ != nullptr ? heap_ : fixed_; }
  uint32_t Slot(const void* handle) const;
  void Grow();
  void Shrink();

  HandleObject* fixed_[kFixedBuckets] = {};
  HandleObject** heap_ = nullptr;
  uint32_t mask_ = kFixedBuckets - 1;
  uint32_t count_ = 0;
};

// The one index of the process (constant-initialised: usable before and
// after every static constructor and destructor).
HandleIndex& Handles();

#endif
