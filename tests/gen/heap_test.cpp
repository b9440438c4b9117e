// The process-heap functions, the heap block classes and the root class.

#include <gtest/gtest.h>

#include "yxgen.h"

namespace yx {
namespace {

TEST(HeapTest, BlocksReportTheRequestedSize) {
  void* p = HeapMemAlloc(37);
  EXPECT_EQ(HeapMemSize(p), 37u);
  p = HeapMemRealloc(p, 100);
  EXPECT_EQ(HeapMemSize(p), 100u);
  EXPECT_EQ(HeapMemFree(p), 0u);
}

TEST(HeapTest, ReallocOfNullAllocates) {
  void* p = HeapMemRealloc(nullptr, 12);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HeapMemSize(p), 12u);
  HeapMemFree(p);
}

TEST(HeapBlockTest, ReallocKeepsContentAndAllocDiscardsIt) {
  THeapBlock block;
  EXPECT_EQ(block.Ptr(), nullptr);
  EXPECT_EQ(block.Size(), 0u);
  auto* p = static_cast<char*>(block.Realloc(8));
  EXPECT_EQ(block.Size(), 8u);
  std::memcpy(p, "abcdefg", 8);
  p = static_cast<char*>(block.Realloc(64));
  EXPECT_EQ(block.Size(), 64u);
  EXPECT_STREQ(p, "abcdefg");
  block.Alloc(16);
  EXPECT_EQ(block.Size(), 16u);
  EXPECT_EQ(block.Free(), 0u);
  EXPECT_EQ(block.Ptr(), nullptr);
  EXPECT_EQ(block.Size(), 0u);
}

TEST(HeapBlockTest, CopiedCharBufferOwnsItsOwnBytes) {
  TCharBuffer a(10);
  std::memcpy(a.Chars(), "123456789", 10);
  TCharBuffer b(a);
  EXPECT_NE(a.Chars(), b.Chars());
  EXPECT_EQ(b.Size(), 10u);
  EXPECT_STREQ(b.Chars(), "123456789");
  a.Chars()[0] = 'x';
  EXPECT_EQ(b.Chars()[0], '1');
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

}  // namespace
}  // namespace yx
