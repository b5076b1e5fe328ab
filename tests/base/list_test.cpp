#include <gtest/gtest.h>

#include <vector>

#include "base/LinkedList.h"

namespace {

std::vector<int>* g_deleted;

class Item : public ListItem {
 public:
  explicit Item(int v) : value(v) {}
  ~Item() override {
    if (g_deleted) g_deleted->push_back(value);
  }
  int value;
};

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override { g_deleted = &deleted; }
  void TearDown() override { g_deleted = nullptr; }
  std::vector<int> deleted;
};

TEST_F(ListTest, UnlinkAndDeleteLeaveCursorNull) {
  LinkedList list;
  Item* a = new (std::nothrow) Item(1);
  Item* b = new (std::nothrow) Item(2);
  Item* c = new (std::nothrow) Item(3);
  list.Append(a);
  list.Append(b);
  list.Append(c);
  EXPECT_EQ(c, list.Current());
  list.First();
  list.Unlink(b);
  EXPECT_EQ(nullptr, list.Current());
  EXPECT_EQ(nullptr, list.Next());
  EXPECT_EQ(2u, list.Count());
  EXPECT_EQ(c, a->NextItem());
  EXPECT_EQ(a, c->Previous());
  EXPECT_EQ(nullptr, b->Owner());
  delete b;
  list.Delete(a);
  EXPECT_EQ(nullptr, list.Current());
  EXPECT_EQ(c, list.Head());
  EXPECT_EQ(c, list.Tail());
  EXPECT_EQ((std::vector<int>{2, 1}), deleted);
}

TEST_F(ListTest, InsertBeforeFirstLeavesCursorOnOldFirst) {
  LinkedList list;
  Item* a = new (std::nothrow) Item(1);
  Item* z = new (std::nothrow) Item(0);
  list.Append(a);
  list.InsertBefore(a, z);
  EXPECT_EQ(z, list.Head());
  EXPECT_EQ(a, list.Current());
  EXPECT_EQ(2u, list.Count());
}

TEST_F(ListTest, GetItemAndItemAtMoveCursorOnlyOnHit) {
  LinkedList list;
  LinkedList other;
  Item* a = new (std::nothrow) Item(1);
  Item* b = new (std::nothrow) Item(2);
  Item* x = new (std::nothrow) Item(9);
  list.Append(a);
  list.Append(b);
  other.Append(x);
  list.First();
  EXPECT_EQ(0, list.GetItem(x));
  EXPECT_EQ(a, list.Current());
  uint16_t index = 99;
  EXPECT_EQ(CQL_SUCCESS, list.GetItem(b, &index));
  EXPECT_EQ(1, index);
  EXPECT_EQ(b, list.Current());
  list.First();
  EXPECT_EQ(nullptr, list.ItemAt(2));
  EXPECT_EQ(a, list.Current());
  EXPECT_EQ(b, list.ItemAt(1));
}

TEST_F(ListTest, NextAfterEndStaysNullUntilFirst) {
  LinkedList list;
  list.Append(new (std::nothrow) Item(1));
  EXPECT_NE(nullptr, list.First());
  EXPECT_EQ(nullptr, list.Next());
  EXPECT_EQ(nullptr, list.Next());
  EXPECT_NE(nullptr, list.First());
}

TEST_F(ListTest, DestroyingListDeletesEachItemOnceInOrder) {
  {
    LinkedList list;
    for (int i = 1; i <= 4; ++i) list.Append(new (std::nothrow) Item(i));
  }
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), deleted);
}

TEST_F(ListTest, UnlinkOfForeignItemStops) {
  LinkedList list;
  Item stray(5);
  EXPECT_DEATH(list.Unlink(&stray), "GetItem\\(item\\) == CQL_SUCCESS.*CQLLIST");
}

}  // namespace
