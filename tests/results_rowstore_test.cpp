#include <gtest/gtest.h>

#include "results/RowStore.h"

namespace trawlix {
namespace {

constexpr int32_t kNoon2004 =
    static_cast<int32_t>((24u << 25) | (12u << 21) | (31u << 16) | (12u << 11));

TFileIdentity Id(uint64_t inode, uint64_t size) { return TFileIdentity{7, inode, size, 1234567}; }

TEST(RowStore, KeepsExactBytesIdentityAndSignedChecksum) {
  TRowStore store;
  const std::string odd = std::string("a\tb\nc\xE4.txt");  // tab, newline, Latin-1 byte
  store.SetRow(1, "/data/Ä/", odd, kNoon2004, Id(42, 5368709120ULL));
  store.SetRow(2, "/Data/", "Brief.TXT", 0, Id(43, 0));
  store.SetFileCount(2);
  EXPECT_EQ(store.Folder(1), "/data/Ä/");
  EXPECT_EQ(store.Name(1), odd);
  EXPECT_EQ(store.FullPath(1), "/data/Ä/" + odd);
  EXPECT_EQ(store.CellText(1, TRowStore::colDate), "31.12.2004 12:00:00");
  EXPECT_EQ(store.CellText(1, TRowStore::colSize), "5368709120");
  // Letter case is kept; a time that packs as no date shows the fallback text.
  EXPECT_EQ(store.CellText(2, TRowStore::colFolder), "/Data/");
  EXPECT_EQ(store.CellText(2, TRowStore::colName), "Brief.TXT");
  EXPECT_EQ(store.CellText(2, TRowStore::colDate), "00.00.00 00:00:00");
  EXPECT_EQ(store.CellText(2, TRowStore::colSize), "0");
  TFileIdentity id;
  ASSERT_TRUE(store.Identity(1, id));
  EXPECT_EQ(id.Device, 7u);
  EXPECT_EQ(id.Inode, 42u);
  EXPECT_EQ(id.Size, 5368709120ULL);
  EXPECT_EQ(id.LastWrite, 1234567u);
  EXPECT_EQ(store.CellText(1, TRowStore::colCrc), "");
  store.SetChecksum(1, -2147483647 - 1);
  EXPECT_EQ(store.CellText(1, TRowStore::colCrc), "-2147483648");
  // Writing the row anew removes its checksum.
  store.SetRow(1, "/x/", "y", kNoon2004, Id(1, 1));
  EXPECT_FALSE(store.HasChecksum(1));
}

TEST(RowStore, BlankRowsAndRowsBeyondTheListedOnes) {
  TRowStore store;
  for (int r = 1; r <= 5; ++r) store.SetRow(r, "/a/", "f" + std::to_string(r), kNoon2004, Id(r, r));
  store.SetFileCount(3);
  EXPECT_EQ(store.Name(5), "f5");  // kept, only hidden
  store.ClearRow(2);
  EXPECT_TRUE(store.IsBlank(2));
  for (int col = 0; col < 5; ++col) EXPECT_EQ(store.CellText(2, col), "") << col;
  TFileIdentity id;
  EXPECT_FALSE(store.Identity(2, id));
  EXPECT_TRUE(store.IsBlank(9));
  EXPECT_EQ(store.FullPath(9), "");
}

TEST(RowStore, PermuteMovesWholeRowsAndRefusesWhatIsNoPermutation) {
  TRowStore store;
  store.SetRow(1, "/x/", "one", kNoon2004, Id(1, 1));
  store.SetRow(2, "/y/", "two", 0, Id(2, 2));
  store.SetRow(3, "/z/", "three", kNoon2004, Id(3, 3));
  store.SetChecksum(2, 4242);
  store.PermuteRows(1, {3, 1, 2});
  EXPECT_EQ(store.FullPath(1), "/z/three");
  EXPECT_EQ(store.FullPath(2), "/x/one");
  EXPECT_EQ(store.FullPath(3), "/y/two");
  EXPECT_EQ(store.CellText(3, TRowStore::colCrc), "4242");
  TFileIdentity id;
  ASSERT_TRUE(store.Identity(3, id));
  EXPECT_EQ(id.Inode, 2u);
  EXPECT_THROW(store.PermuteRows(1, {1, 5}), std::out_of_range);
  EXPECT_THROW(store.PermuteRows(1, {1, 1, 2}), std::out_of_range);
  EXPECT_EQ(store.FullPath(1), "/z/three");  // a refused order changes nothing
}

TEST(RowStore, RebuildRepeatsAndDropsRowsWithoutGrowingTheTexts) {
  TRowStore store;
  const char* names[] = {"A", "B", "C", "D"};
  for (int r = 1; r <= 4; ++r) store.SetRow(r, "/f/", names[r - 1], kNoon2004, Id(r, 1000));
  store.SetChecksum(2, 77);
  const size_t text = store.TextBytes();
  store.RebuildFrom({1, 2, 2, 3});
  store.SetFileCount(4);
  EXPECT_EQ(store.StoredRows(), 4);
  EXPECT_EQ(store.Name(1), "A");
  EXPECT_EQ(store.Name(2), "B");
  EXPECT_EQ(store.Name(3), "B");
  EXPECT_EQ(store.Name(4), "C");
  EXPECT_EQ(store.CellText(3, TRowStore::colCrc), "77");
  EXPECT_EQ(store.TextBytes(), text);
  // One of the two B rows blanked: the other keeps its cells.
  store.ClearRow(2);
  EXPECT_EQ(store.Name(3), "B");
  store.RebuildFrom({});
  EXPECT_EQ(store.StoredRows(), 0);
}

TEST(RowStore, RepeatedFillsReclaimSpaceButKeepEveryRow) {
  TRowStore store;
  const std::string longName(200, 'n');
  for (int fill = 0; fill < 40; ++fill) {
    store.BeginFill();
    for (int r = 1; r <= 2000; ++r)
      store.SetRow(r, "/folder" + std::to_string(fill) + "/", longName + std::to_string(r),
                   kNoon2004, Id(r, r));
  }
  store.SetRow(2001, "/last/", "kept", kNoon2004, Id(1, 1));
  store.BeginFill();
  EXPECT_EQ(store.FullPath(1), "/folder39/" + longName + "1");
  EXPECT_EQ(store.FullPath(2000), "/folder39/" + longName + "2000");
  EXPECT_EQ(store.FullPath(2001), "/last/kept");
  // 40 fills of 400 kB names would be 16 MB without reclaiming.
  EXPECT_LT(store.MemoryUse(), 8u << 20);
}

}  // namespace
}  // namespace trawlix
