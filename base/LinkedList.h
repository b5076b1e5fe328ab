// The driver's one list: intrusive, doubly linked, owning its items, with
// its own cursor. Every list of the driver derives from LinkedList and
// every list member from ListItem.
#ifndef VELORA_BASE_LINKEDLIST_H
#define VELORA_BASE_LINKEDLIST_H

#include <cstdint>

#include "base/Alloc.h"

// What GetItem answers for an item on the list (0 otherwise).
constexpr int kOnList = 1;

class LinkedList;

class ListItem {
  VEL_NOTHROW_ALLOCATED
 public:
  ListItem() = default;
  virtual ~ListItem() = default;
  ListItem(const ListItem&) = delete;
  ListItem& operator=(const ListItem&) = delete;

  ListItem* Previous() const { return previous_; }
  ListItem* NextItem() const { return next_; }
  LinkedList* Owner() const { return owner_; }

 private:
  friend class LinkedList;
  ListItem* previous_ = nullptr;
  ListItem* next_ = nullptr;
  LinkedList* owner_ = nullptr;
};

class LinkedList {
  VEL_NOTHROW_ALLOCATED
 public:
  LinkedList() = default;
  // Deletes every item still on the list, first to last.
  virtual ~LinkedList();
  LinkedList(const LinkedList&) = delete;
  LinkedList& operator=(const LinkedList&) = delete;

  void Append(ListItem* item);
  // position must be on this list; the cursor ends on position.
  void InsertBefore(ListItem* position, ListItem* item);
  // Membership test: kOnList and the cursor on item (its index stored
  // when index is given), or 0 with nothing changed.
  int GetItem(ListItem* item, uint16_t* index = nullptr);
  // Takes item off the list without deleting it; the cursor is left null.
  ListItem* Unlink(ListItem* item);
  void Delete(ListItem* item);
  void Clear();

  ListItem* First();
  ListItem* Next();
  ListItem* Last();
  ListItem* ItemAt(uint16_t index);

  ListItem* Current() const { return cursor_; }
  ListItem* Head() const { return first_; }
  ListItem* Tail() const { return last_; }
  uint32_t Count() const { return count_; }

 private:
  ListItem* first_ = nullptr;
  ListItem* last_ = nullptr;
  ListItem* cursor_ = nullptr;
  uint32_t count_ = 0;
};

// A list whose items are all of type T: the typed walking operations of
// the derived lists of the driver.
template <typename T>
class TypedList : public LinkedList {
 public:
  T* First() { return static_cast<T*>(LinkedList::First()); }
  T* Next() { return static_cast<T*>(LinkedList::Next()); }
  T* Last() { return static_cast<T*>(LinkedList::Last()); }
  T* ItemAt(uint16_t index) { return static_cast<T*>(LinkedList::ItemAt(index)); }
  T* Head() const { return static_cast<T*>(LinkedList::Head()); }
  T* Tail() const { return static_cast<T*>(LinkedList::Tail()); }
  T* Unlink(T* item) { return static_cast<T*>(LinkedList::Unlink(item)); }
};

#endif
