#include "app/ResultTable.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/DateText.h"

namespace trawlix {
namespace {

constexpr int32_t kNoon2004 = static_cast<int32_t>((24u << 25) | (12u << 21) | (31u << 16) | (12u << 11));

class ResultTableTest : public ::testing::Test {
 protected:
  ResultTableTest() {
    table.SetDateFormat(&german);
    table.SetRowCount(65535);
  }
  TDateTextFormat german;
  TResultTable table;
};

TEST_F(ResultTableTest, KeepsExactBytesAndDrawsThemReadably) {
  const std::string odd = std::string("a\tb\nc\xE4.txt");  // tab, newline, Latin-1 byte
  table.SetRow(1, "/data/Ä/", odd, kNoon2004, 5368709120ULL);
  EXPECT_EQ(table.Folder(1), "/data/Ä/");
  EXPECT_EQ(table.Name(1), odd);
  EXPECT_EQ(table.FullPath(1), "/data/Ä/" + odd);
  EXPECT_EQ(table.CellText(1, 2), "31.12.2004 12:00:00");
  EXPECT_EQ(table.CellText(1, 3), "5368709120");
  EXPECT_EQ(table.data(table.index(0, 1)).toString(), QString::fromUtf8("a\u2409b\u240Ac\\xE4.txt"));
  EXPECT_EQ(table.data(table.index(0, 0)).toString(), QString::fromUtf8("/data/Ä/"));
  // Letter case is kept.
  table.SetRow(2, "/Data/", "Brief.TXT", kNoon2004, 0);
  EXPECT_EQ(table.CellText(2, 0), "/Data/");
  EXPECT_EQ(table.CellText(2, 1), "Brief.TXT");
  EXPECT_EQ(table.CellText(2, 3), "0");
}

TEST(ReadableText, DecodesUtf8AndShowsEverythingElse) {
  const struct {
    const char* name;
    std::string bytes;
    QString shown;
  } cases[] = {
      {"ascii", "plain.txt", QStringLiteral("plain.txt")},
      {"umlaut", "Übersicht.DOC", QStringLiteral("Übersicht.DOC")},
      {"four-byte", "\xF0\x9F\x98\x80", QString::fromUtf8("\xF0\x9F\x98\x80")},
      {"latin-1 byte", "caf\xE9", QStringLiteral("caf\\xE9")},
      {"overlong slash", "\xC0\xAF", QStringLiteral("\\xC0\\xAF")},
      {"truncated sequence", "x\xE2\x82", QStringLiteral("x\\xE2\\x82")},
      {"surrogate", "\xED\xA0\x80", QStringLiteral("\\xED\\xA0\\x80")},
      {"carriage return and delete", "a\rb\x7F", QString::fromUtf8("a\u240Db\u2421")},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadableText(c.bytes), c.shown) << c.name;
}

TEST_F(ResultTableTest, RowsBeyondTheRowCountStayStoredAndUnwrittenRowsAreBlank) {
  for (int r = 1; r <= 5; ++r) table.SetRow(r, "/a/", "f" + std::to_string(r), kNoon2004, r);
  table.SetRowCount(3);
  EXPECT_EQ(table.rowCount(), 2);
  EXPECT_EQ(table.Name(5), "f5");
  // A later, shorter fill overwrites from the top and leaves the rest.
  table.BeginFill();
  table.SetRow(1, "/b/", "g1", kNoon2004, 10);
  EXPECT_EQ(table.Name(1), "g1");
  EXPECT_EQ(table.Name(2), "f2");
  EXPECT_TRUE(table.IsBlank(6));
  EXPECT_EQ(table.CellText(6, 0), "");
  EXPECT_EQ(table.CellText(6, 2), "");
  EXPECT_EQ(table.data(table.index(0, 3)).toString(), QStringLiteral("10"));
  table.ClearRow(2);
  EXPECT_TRUE(table.IsBlank(2));
  EXPECT_EQ(table.CellText(2, 3), "");
}

TEST_F(ResultTableTest, RowsMoveAsWholeUnitsWithTheirChecksum) {
  table.SetRow(1, "/x/", "one", kNoon2004, 1);
  table.SetRow(2, "/y/", "two", 0, 2);
  table.SetRow(3, "/z/", "three", kNoon2004, 3);
  table.SetCrc(2, 4242);
  table.SwapRows(1, 2);
  EXPECT_EQ(table.FullPath(1), "/y/two");
  EXPECT_EQ(table.CellText(1, 2), "00.00.00 00:00:00");
  EXPECT_EQ(table.CellText(1, 4), "4242");
  EXPECT_EQ(table.CellText(2, 4), "");
  table.PermuteRows(1, {3, 1, 2});  // new row 1 is old row 3 ...
  EXPECT_EQ(table.FullPath(1), "/z/three");
  EXPECT_EQ(table.FullPath(2), "/y/two");
  EXPECT_EQ(table.FullPath(3), "/x/one");
  EXPECT_EQ(table.CellText(2, 4), "4242");
  table.CopyRow(3, 1);
  EXPECT_EQ(table.FullPath(3), "/z/three");
  EXPECT_THROW(table.PermuteRows(1, {1, 5}), std::out_of_range);
}

TEST_F(ResultTableTest, ChecksumColumnSwitchesOnAndOff) {
  EXPECT_EQ(table.columnCount(), 4);
  table.SetHeaderText(4, QStringLiteral("CRC"));
  table.SetColCount(5);
  EXPECT_EQ(table.columnCount(), 5);
  EXPECT_EQ(table.headerData(4, Qt::Horizontal).toString(), QStringLiteral("CRC"));
  table.SetColCount(4);
  EXPECT_EQ(table.columnCount(), 4);
}

TEST_F(ResultTableTest, ChangeNoticesAreBatchedAndClippedToVisibleRows) {
  QSignalSpy spy(&table, &QAbstractItemModel::dataChanged);
  for (int r = 1; r <= 100; ++r) table.SetRow(r, "/a/", "n", kNoon2004, 1);
  EXPECT_EQ(spy.count(), 0);
  table.FlushChanges();
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0][0].toModelIndex().row(), 0);
  EXPECT_EQ(spy[0][1].toModelIndex().row(), 99);
  table.FlushChanges();
  EXPECT_EQ(spy.count(), 1);
  table.SetRowCount(11);
  spy.clear();
  table.SetRow(50, "/a/", "hidden", kNoon2004, 1);
  table.FlushChanges();
  EXPECT_EQ(spy.count(), 0);  // below the row count: nothing to repaint
}

TEST_F(ResultTableTest, RepeatedFillsReclaimSpaceButKeepEveryRow) {
  const std::string longName(200, 'n');
  for (int fill = 0; fill < 40; ++fill) {
    table.BeginFill();
    for (int r = 1; r <= 2000; ++r)
      table.SetRow(r, "/folder" + std::to_string(fill) + "/", longName + std::to_string(r), kNoon2004, r);
  }
  table.SetRow(2001, "/last/", "kept", kNoon2004, 1);
  table.BeginFill();
  EXPECT_EQ(table.FullPath(1), "/folder39/" + longName + "1");
  EXPECT_EQ(table.FullPath(2000), "/folder39/" + longName + "2000");
  EXPECT_EQ(table.FullPath(2001), "/last/kept");
  // 40 fills of 400 kB names would be 16 MB without reclaiming.
  EXPECT_LT(table.MemoryUse(), 8u << 20);
}

}  // namespace
}  // namespace trawlix
