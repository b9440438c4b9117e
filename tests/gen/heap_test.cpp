// The process-heap functions, the heap block classes and the root class.

#include <gtest/gtest.h>

#include <cstring>

#include "yxgen.h"

namespace yx {
namespace {

// The heap functions under the block class: a null block is allocated by
// Realloc, sizes are the requested ones.
TEST(HeapBlockTest, SizesContentAndCopiesOwnTheirBytes) {
  TCharBuffer block;
  EXPECT_EQ(block.Chars(), nullptr);
  std::memcpy(block.Realloc(8), "abcdefg", 8);
  EXPECT_EQ(block.Size(), 8u);
  EXPECT_STREQ(static_cast<char*>(block.Realloc(64)), "abcdefg");
  EXPECT_EQ(block.Size(), 64u);
  TCharBuffer copy(block);
  EXPECT_NE(copy.Chars(), block.Chars());
  EXPECT_EQ(copy.Size(), 64u);
  EXPECT_STREQ(copy.Chars(), "abcdefg");
  block.Alloc(37);  // an odd size, as requested
  EXPECT_EQ(block.Size(), 37u);
  EXPECT_EQ(block.Free(), 0u);
  EXPECT_EQ(block.Chars(), nullptr);
  EXPECT_EQ(block.Size(), 0u);
  EXPECT_STREQ(copy.Chars(), "abcdefg");
}

// Objects of the root class's descendants live on the process heap, so
// their size is known to it.
struct Counted : TYxBsMem {
  explicit Counted(int* deaths) : deaths_(deaths) {}
  ~Counted() override { ++*deaths_; }
  int* deaths_;
  char payload[24] = {};
};

TEST(YxBsMemTest, NewAndDeleteUseTheProcessHeap) {
  int deaths = 0;
  TYxBsMem* object = new Counted(&deaths);
  EXPECT_GE(HeapMemSize(object), sizeof(Counted));
  delete object;  // through the virtual destructor
  EXPECT_EQ(deaths, 1);
  Counted* many = new Counted[3]{Counted(&deaths), Counted(&deaths), Counted(&deaths)};
  deaths = 0;
  delete[] many;
  EXPECT_EQ(deaths, 3);
}

// A fixed array's elements end with it and with each Resize, the way a
// leak checker would see them.
struct Tracked {
  static int live;
  Tracked() { ++live; }
  ~Tracked() { --live; }
};
int Tracked::live = 0;

TEST(ArrayTest, ElementsEndWithResizeAndTheArray) {
  {
    TArray<Tracked> array;
    array.Resize(3);
    EXPECT_EQ(Tracked::live, 3);
    array.Resize(2);
    EXPECT_EQ(Tracked::live, 2);
  }
  EXPECT_EQ(Tracked::live, 0);
}

}  // namespace
}  // namespace yx
