#include <gtest/gtest.h>

#include <cstdint>

#include "platform/LargeBlocks.h"

namespace trawlix {
namespace {

struct TRecord {
  uint64_t key = 7;
  uint32_t check = 9;
};

uint64_t Pattern(size_t i) { return i * 0x9E3779B97F4A7C15ull; }

bool Intact(const TGrowingArray<TRecord>& a, size_t n) {
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (a[i].key != Pattern(i) || a[i].check != static_cast<uint32_t>(i)) return false;
  return true;
}

// Growing one element at a time passes from small blocks to mapped ones and
// then through several moves of mapped pages; nothing may be lost on the way.
TEST(GrowingArray, KeepsEveryElementWhileGrowingFromSmallToManyMegabytes) {
  TGrowingArray<TRecord> a;
  const size_t checkpoints[] = {1, 64, 65, 100000, 131072, 131073, 1500000};
  size_t n = 0;
  for (size_t upTo : checkpoints) {
    for (; n < upTo; ++n) a.push_back({Pattern(n), static_cast<uint32_t>(n)});
    ASSERT_TRUE(Intact(a, n)) << "after " << n << " elements";
  }
  // resize gives new elements their default values and keeps the old ones.
  a.resize(n + 3);
  EXPECT_EQ(a[n + 2].key, 7u);
  EXPECT_EQ(a[n + 2].check, 9u);
  a.resize(n);
  EXPECT_TRUE(Intact(a, n));

  TGrowingBytes bytes;
  std::string expected;
  for (int i = 0; expected.size() < (5u << 20); ++i) {
    const std::string piece = std::to_string(i) + "/";
    bytes.append(piece);
    expected += piece;
  }
  EXPECT_EQ(std::string_view(bytes), expected);
}

TEST(GrowingArray, ShrinkingCopyingAndMovingKeepTheElements) {
  struct Case {
    size_t grown, kept;
  };
  // mapped to mapped, mapped to small, small to small
  for (const Case c : {Case{1000000, 300000}, Case{1000000, 1000}, Case{1000, 10}}) {
    TGrowingArray<TRecord> a;
    for (size_t i = 0; i < c.grown; ++i) a.push_back({Pattern(i), static_cast<uint32_t>(i)});
    a.resize(c.kept);
    a.shrink_to_fit();
    EXPECT_EQ(a.capacity(), c.kept);
    ASSERT_TRUE(Intact(a, c.kept)) << c.grown << " -> " << c.kept;

    TGrowingArray<TRecord> copy(a);
    copy[0].key = 1;  // the copy has its own elements
    EXPECT_TRUE(Intact(a, c.kept));
    TGrowingArray<TRecord> moved(std::move(a));
    EXPECT_TRUE(Intact(moved, c.kept));
    EXPECT_EQ(a.size(), 0u);
    a = std::move(copy);
    EXPECT_EQ(a[0].key, 1u);
    EXPECT_EQ(a.size(), c.kept);
    a.push_back({});  // grows again after a shrink
    EXPECT_EQ(a.size(), c.kept + 1);
  }
}

}  // namespace
}  // namespace trawlix
