#include "app/ResultTable.h"

#include <gtest/gtest.h>

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>

namespace trawlix {
namespace {

constexpr int32_t kNoon2004 = static_cast<int32_t>((24u << 25) | (12u << 21) | (31u << 16) | (12u << 11));

TFileIdentity Sized(uint64_t size) { return TFileIdentity{1, 1, size, 0}; }

class ResultTableTest : public ::testing::Test {
 protected:
  ResultTableTest() {
    table.SetDateFormat(&german);
    table.SetRowCount(65535);
  }
  TDateTextFormat german;
  TResultTable table;
};

TEST_F(ResultTableTest, DrawsExactBytesReadably) {
  const std::string odd = std::string("a\tb\nc\xE4.txt");  // tab, newline, Latin-1 byte
  table.SetRow(1, "/data/Ä/", odd, kNoon2004, Sized(5368709120ULL));
  EXPECT_EQ(table.data(table.index(0, 1)).toString(), QString::fromUtf8("a\u2409b\u240Ac\\xE4.txt"));
  EXPECT_EQ(table.data(table.index(0, 0)).toString(), QString::fromUtf8("/data/Ä/"));
  EXPECT_EQ(table.data(table.index(0, 2)).toString(), QStringLiteral("31.12.2004 12:00:00"));
  EXPECT_EQ(table.data(table.index(0, 3)).toString(), QStringLiteral("5368709120"));
  EXPECT_EQ(table.data(table.index(1, 3)).toString(), QString());  // never written: blank
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
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", QStringLiteral("\\xF4\\x90\\x80\\x80")},
      {"C1 control", "a\xC2\x85z", QStringLiteral("a\\xC2\\x85z")},
      {"carriage return and delete", "a\rb\x7F", QString::fromUtf8("a\u240Db\u2421")},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadableText(c.bytes), c.shown) << c.name;
}

TEST_F(ResultTableTest, ChecksumColumnSwitchesOnAndOff) {
  EXPECT_EQ(table.columnCount(), 4);
  table.SetHeaderText(4, QStringLiteral("CRC"));
  table.SetColCount(5);
  EXPECT_EQ(table.columnCount(), 5);
  EXPECT_EQ(table.headerData(4, Qt::Horizontal).toString(), QStringLiteral("CRC"));
  table.SetChecksum(1, -2147483647 - 1);
  EXPECT_EQ(table.data(table.index(0, 4)).toString(), QStringLiteral("-2147483648"));
  table.SetColCount(4);
  EXPECT_EQ(table.columnCount(), 4);
}

// Neighbouring groups alternate between base and alternate base, whatever
// their numbers; a group of one row still takes its turn.
TEST_F(ResultTableTest, GroupsShareABackgroundAndNeighboursAlternate) {
  const QPalette palette = QGuiApplication::palette();
  ASSERT_NE(palette.base().color(), palette.alternateBase().color());
  auto background = [&](int row) { return table.data(table.index(row - 1, 2), Qt::BackgroundRole); };
  table.SetGroups({5, 5, 5, 5, 2, 2, 9, 7, 7});
  const bool alternate[] = {false, false, false, false, true, true, false, true, true};
  for (int row = 1; row <= 9; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(table.AlternateGroup(row), alternate[row - 1]);
    EXPECT_EQ(background(row).value<QBrush>().color(),
              (alternate[row - 1] ? palette.alternateBase() : palette.base()).color());
  }
  EXPECT_FALSE(background(10).isValid());
  QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
  table.SetGroups({});
  EXPECT_EQ(changed.count(), 1);
  EXPECT_FALSE(background(1).isValid());
}

TEST_F(ResultTableTest, ChangeNoticesAreBatchedAndClippedToVisibleRows) {
  QSignalSpy spy(&table, &QAbstractItemModel::dataChanged);
  for (int r = 1; r <= 100; ++r) table.SetRow(r, "/a/", "n", kNoon2004, Sized(1));
  EXPECT_EQ(spy.count(), 0);
  table.FlushChanges();
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0][0].toModelIndex().row(), 0);
  EXPECT_EQ(spy[0][1].toModelIndex().row(), 99);
  table.FlushChanges();
  EXPECT_EQ(spy.count(), 1);
  table.SetRowCount(11);
  spy.clear();
  table.SetRow(50, "/a/", "hidden", kNoon2004, Sized(1));
  table.FlushChanges();
  EXPECT_EQ(spy.count(), 0);  // below the row count: nothing to repaint
  table.RowsChanged(1, 100);  // a sort of the store: one notice for what is visible
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0][1].toModelIndex().row(), 9);
}

}  // namespace
}  // namespace trawlix
