#include "base/LinkedList.h"

#include "base/Check.h"

LinkedList::~LinkedList() { Clear(); }

void LinkedList::Append(ListItem* item) {
  item->previous_ = last_;
  item->next_ = nullptr;
  if (last_ != nullptr) {
    last_->next_ = item;
  } else {
    first_ = item;
  }
  last_ = item;
  item->owner_ = this;
  ++count_;
  cursor_ = item;
}

void LinkedList::InsertBefore(ListItem* position, ListItem* item) {
  VEL_CHECK_TEXT(position != nullptr && position->owner_ == this, "position on list", VEL_MODULE);
  item->next_ = position;
  item->previous_ = position->previous_;
  if (position->previous_ != nullptr) {
    position->previous_->next_ = item;
  } else {
    first_ = item;
  }
  position->previous_ = item;
  item->owner_ = this;
  ++count_;
  cursor_ = position;
}

int LinkedList::GetItem(ListItem* item, uint16_t* index) {
  uint16_t i = 0;
  for (ListItem* p = first_; p != nullptr; p = p->next_, ++i) {
    if (p == item) {
      cursor_ = p;
      if (index != nullptr) *index = i;
      return kOnList;
    }
  }
  return 0;
}

ListItem* LinkedList::Unlink(ListItem* item) {
  // The owner pointer answers membership at once; the walk of GetItem is
  // kept for items whose owner says otherwise, so the check still holds.
  VEL_CHECK_TEXT(
      item != nullptr && (item->owner_ == this ? (cursor_ = item, true) : GetItem(item) == kOnList),
      "GetItem(item) == kOnList", VEL_MODULE);
  if (item->previous_ != nullptr) {
    item->previous_->next_ = item->next_;
  } else {
    first_ = item->next_;
  }
  if (item->next_ != nullptr) {
    item->next_->previous_ = item->previous_;
  } else {
    last_ = item->previous_;
  }
  --count_;
  cursor_ = nullptr;
  item->previous_ = nullptr;
  item->next_ = nullptr;
  item->owner_ = nullptr;
  return item;
}

void LinkedList::Delete(ListItem* item) { delete Unlink(item); }

void LinkedList::Clear() {
  ListItem* p = first_;
  first_ = last_ = cursor_ = nullptr;
  count_ = 0;
  while (p != nullptr) {
    ListItem* next = p->next_;
    p->previous_ = p->next_ = nullptr;
    p->owner_ = nullptr;
    delete p;
    p = next;
  }
}

ListItem* LinkedList::First() {
  cursor_ = first_;
  return cursor_;
}

ListItem* LinkedList::Next() {
  if (cursor_ != nullptr) cursor_ = cursor_->next_;
  return cursor_;
}

ListItem* LinkedList::Last() {
  cursor_ = last_;
  return cursor_;
}

ListItem* LinkedList::ItemAt(uint16_t index) {
  uint16_t i = 0;
  for (ListItem* p = first_; p != nullptr; p = p->next_, ++i) {
    if (i == index) {
      cursor_ = p;
      return p;
    }
  }
  return nullptr;
}
