#include <gtest/gtest.h>

#include <vector>

#include "base/LinkedList.h"

namespace {

std::vector<int> g_deleted;

struct Item : ListItem {
  explicit Item(int v) : value(v) {}
  ~Item() override { g_deleted.push_back(value); }
  int value;
};

// A list of items 1..n; the cursor on the last one appended.
struct ListTest : ::testing::Test {
  Item* Add(int v) {
    Item* item = new (std::nothrow) Item(v);
    list.Append(item);
    return item;
  }
  void SetUp() override { g_deleted.clear(); }
  LinkedList list;
};

TEST_F(ListTest, UnlinkAndDeleteLeaveTheCursorNull) {
  Item* a = Add(1);
  Item* b = Add(2);
  Item* c = Add(3);
  EXPECT_EQ(c, list.Current());
  list.First();
  list.Unlink(b);
  EXPECT_EQ(nullptr, list.Current());
  EXPECT_EQ(nullptr, list.Next());
  EXPECT_EQ(c, a->NextItem());
  EXPECT_EQ(a, c->Previous());
  EXPECT_EQ(nullptr, b->Owner());
  delete b;
  list.Delete(a);
  EXPECT_EQ(nullptr, list.Current());
  EXPECT_EQ(c, list.Head());
  EXPECT_EQ(c, list.Tail());
  EXPECT_EQ(1u, list.Count());
  EXPECT_EQ((std::vector<int>{2, 1}), g_deleted);
}

TEST_F(ListTest, CursorMovesOnlyOnAHit) {
  Item* a = Add(1);
  Item* b = Add(2);
  Item stray(9);
  Item* z = new (std::nothrow) Item(0);
  list.InsertBefore(a, z);  // before the first: the cursor stays on a
  EXPECT_EQ(z, list.Head());
  EXPECT_EQ(a, list.Current());
  EXPECT_EQ(0, list.GetItem(&stray));
  EXPECT_EQ(a, list.Current());
  uint16_t index = 99;
  EXPECT_EQ(CQL_SUCCESS, list.GetItem(b, &index));
  EXPECT_EQ(2, index);
  EXPECT_EQ(b, list.Current());
  list.First();
  EXPECT_EQ(nullptr, list.ItemAt(3));
  EXPECT_EQ(z, list.Current());
  EXPECT_EQ(b, list.ItemAt(2));
  // Past the end Next stays null until First.
  EXPECT_EQ(nullptr, list.Next());
  EXPECT_EQ(nullptr, list.Next());
  EXPECT_EQ(z, list.First());
}

TEST_F(ListTest, DestroyingTheListDeletesEachItemOnceInOrder) {
  {
    LinkedList own;
    for (int i = 1; i <= 4; ++i) own.Append(new (std::nothrow) Item(i));
  }
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), g_deleted);
}

TEST_F(ListTest, UnlinkOfAForeignItemStops) {
  Item stray(5);
  EXPECT_DEATH(list.Unlink(&stray), "GetItem\\(item\\) == CQL_SUCCESS.*CQLLIST");
}

}  // namespace
