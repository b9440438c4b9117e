// TArray, TPtrArray and TPtrArrayIter: bounds, growth, sorted insertion with
// the three-fifths probe, the five search relations and ownership.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "yxgen.h"

namespace yx {
namespace {

// An item that counts its destructions and remembers its probes.
struct Item {
  explicit Item(int k, int t = 0) : key(k), tag(t) {}
  ~Item() { ++destroyed; }
  int Compare(const Item* other, int) const {
    if (tag == 1) probes.push_back(other->key);
    return Sign((key > other->key) - (key < other->key));
  }
  int key;
  int tag;
  static int destroyed;
  static std::vector<int> probes;  // keys compared with by the item tagged 1
};
int Item::destroyed = 0;
std::vector<int> Item::probes;

std::vector<int> Keys(const TPtrArray<Item>& a) {
  std::vector<int> keys;
  for (unsigned i = 0; i < a.Count(); ++i) keys.push_back(a.At(i)->key);
  return keys;
}

TEST(ArrayTest, BoundsAndResize) {
  TArray<int> a;
  try {
    a.At(0);
    FAIL();
  } catch (const EOutOfRange& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=0,cnt=0)] 'yxgen' line 641 ");
  }
  a.Resize(15);
  a.At(14) = 7;
  EXPECT_EQ(a.At(14), 7);
  try {
    a.At(15);
    FAIL();
  } catch (const EOutOfRange& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=15,cnt=15)] 'yxgen' line 641 ");
  }
  try {
    a.Resize(0);
    FAIL();
  } catch (const EInvalidArgument& e) {
    EXPECT_STREQ(e.What(), "[EInvalidArgument(cnt==0)] 'yxgen' line 634 ");
  }
  EXPECT_EQ(a.Count(), 0u);
}

TEST(PtrArrayTest, OwnsAndDeletesItsItems) {
  Item::destroyed = 0;
  {
    TPtrArray<Item> a(1, 0, 64);
    for (int i = 0; i < 10; ++i) a.Add(new Item(i));
  }
  EXPECT_EQ(Item::destroyed, 10);
}

TEST(PtrArrayTest, RaiseSites) {
  TPtrArray<Item> a(1, 0, 64);
  try {
    a.Add(nullptr);
    FAIL();
  } catch (const EInvalidArgument& e) {
    EXPECT_STREQ(e.What(), "[EInvalidArgument(item==NULL)] 'yxgen' line 963 ");
  }
  a.Add(new Item(1));
  Item* refused = new Item(2);  // not stored: the caller keeps it
  try {
    a.InsertAt(refused, 2);
    FAIL();
  } catch (const EOutOfRange& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=2,cnt=1)] 'yxgen' line 1012 ");
  }
  delete refused;
  try {
    a.At(1);
    FAIL();
  } catch (const EOutOfRange& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=1,cnt=1)] 'yxgen' line 1099 ");
  }
  EXPECT_EQ(a.InsertAt(new Item(9), 1), 1u);  // index == count appends
  EXPECT_EQ(Keys(a), (std::vector<int>{1, 9}));
}

TEST(PtrArrayTest, SortedAddAndDuplicates) {
  TPtrArray<Item> a(1, 0, 64);
  a.Add(new Item(30));
  a.Add(new Item(10));
  a.Add(new Item(20));
  EXPECT_EQ(Keys(a), (std::vector<int>{10, 20, 30}));
  // Without the unique flag a second 20 goes before the one the probe meets.
  EXPECT_TRUE(a.Add(new Item(20, 1)));
  EXPECT_EQ(Keys(a), (std::vector<int>{10, 20, 20, 30}));
  EXPECT_EQ(a.At(1)->tag, 1);
  // A table with a single item puts an equal item after it.
  TPtrArray<Item> one(1, 0, 64);
  one.Add(new Item(20));
  one.Add(new Item(20, 1));
  EXPECT_EQ(one.At(1)->tag, 1);
}

TEST(PtrArrayTest, SortedAddProbesAtThreeFifths) {
  TPtrArray<Item> a(1, 0, 64);
  for (int k = 0; k < 100; k += 10) a.Add(new Item(k));  // 0..90, count 10
  // The new item probes the last item (90), then the one at (9*3)/5 = 5
  // (key 50), which is equal: it goes there. (Debug builds compare the new
  // item with its neighbours afterwards.)
  Item::probes.clear();
  a.Add(new Item(50, 1));
  ASSERT_GE(Item::probes.size(), 2u);
  EXPECT_EQ(Item::probes[0], 90);
  EXPECT_EQ(Item::probes[1], 50);
  EXPECT_EQ(a.At(5)->tag, 1);
}

TEST(PtrArrayTest, SearchRelationsOnSmallTable) {
  TPtrArray<Item> a(1, 0, 64);
  for (int k : {10, 20, 30}) a.Add(new Item(k));
  unsigned at = 99;
  Item k20(20), k25(25), k35(35), k5(5), k10(10), k30(30);
  EXPECT_TRUE(a.Search(&at, &k20, kEqual));
  EXPECT_EQ(at, 1u);
  EXPECT_FALSE(a.Search(&at, &k25, kEqual));
  EXPECT_TRUE(a.Search(&at, &k35, kLastBelowOrEqual));
  EXPECT_EQ(at, 2u);
  EXPECT_TRUE(a.Search(&at, &k5, kFirstAboveOrEqual));
  EXPECT_EQ(at, 0u);
  EXPECT_FALSE(a.Search(&at, &k10, kLastBelow));
  EXPECT_FALSE(a.Search(&at, &k30, kFirstAbove));
  EXPECT_TRUE(a.Search(nullptr, &k25, kFirstAbove));
  TPtrArray<Item> single(1, 0, 64);
  single.Add(new Item(10));
  EXPECT_TRUE(single.Search(&at, &k20, kLastBelow));
  EXPECT_EQ(at, 0u);
  EXPECT_FALSE(single.Search(&at, &k20, kFirstAbove));
  EXPECT_TRUE(single.Search(&at, &k10, kEqual));
  TPtrArray<Item> empty(1, 0, 64);
  EXPECT_FALSE(empty.Search(&at, &k10, kEqual));
}

// Against a plain model of the relations on a large unique table.
TEST(PtrArrayTest, SearchByProbeNeedsNoKeyItem) {
  TPtrArray<Item> a(1, TPtrArray<Item>::kUnique, 64);
  for (int k = 0; k < 200; ++k) a.Add(new Item(k * 2));
  unsigned at = 0;
  EXPECT_TRUE(a.SearchBy(&at, kEqual, [](const Item* i) { return Sign(i->key - 84); }));
  EXPECT_EQ(at, 42u);
  EXPECT_FALSE(a.SearchBy(&at, kEqual, [](const Item* i) { return Sign(i->key - 85); }));
}

TEST(PtrArrayIterTest, WalksEveryItemOnce) {
  TPtrArray<Item> a(0, 0, 64);
  TPtrArrayIter<Item> it(a);
  EXPECT_FALSE(it.First(0));
  EXPECT_FALSE(it.Valid());
  for (int k : {1, 2, 3}) a.Add(new Item(k));
  std::vector<int> seen;
  for (it.First(0); it.Valid(); it.Next()) seen.push_back(it.Current()->key);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(it.Cursor(), 2u);  // Next() at the last item does not move the cursor
  EXPECT_FALSE(it.Valid());
  EXPECT_FALSE(it.First(3));
  try {
    it.Current();
    FAIL();
  } catch (const EOutOfRange& e) {
    EXPECT_STREQ(e.What(), "[EOutOfRange(idx=3,cnt=3)] 'yxgen' line 1081 ");
  }
}

}  // namespace
}  // namespace yx
