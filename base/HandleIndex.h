// Finding handle objects by handle value in constant time. Every
// Environment, Connection and Statement is a HandleObject; the registry's
// lists own them and keep their order, and the index, chained through the
// objects themselves, answers "is this value a live handle of this kind".
#ifndef VELORA_BASE_HANDLEINDEX_H
#define VELORA_BASE_HANDLEINDEX_H

#include <cstdint>

#include "base/LinkedList.h"

enum class HandleKind : uint8_t { kEnvironment = 1, kConnection = 2, kStatement = 3 };

class HandleObject : public ListItem {
 public:
  explicit HandleObject(HandleKind kind) : kind_(kind) {}
  // Leaves the index, whichever way the object is deleted (freed by the
  // application, or deleted with its owner).
  ~HandleObject() override;

  HandleKind Kind() const { return kind_; }
  bool Indexed() const { return indexed_; }

 private:
  friend class HandleIndex;
  HandleObject* indexNext_ = nullptr;
  HandleKind kind_;
  bool indexed_ = false;
};

// The process-wide index. It never fails: its bucket array starts as a
// fixed array, grows with nothrow allocation when the chains get long, and
// simply stays smaller when growth fails.
class HandleIndex {
 public:
  void Insert(HandleObject* object);
  void Remove(HandleObject* object);
  // The live object of kind whose address is handle, or null.
  HandleObject* Find(const void* handle, HandleKind kind) const;

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
