#include <fcntl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <functional>
#include <set>
#include <vector>

#include "AppTestSupport.h"
#include "RecordingInteraction.h"
#include "TempTree.h"
#include "app/DateText.h"
#include "app/Formatting.h"
#include "app/Tx_main.h"
#include "platform/Paths.h"
#include "tree/FileListBox.h"
#include "tree/FolderTree.h"

namespace trawlix {
namespace {

time_t LocalTime(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

class WindowTest : public ::testing::Test {
 protected:
  WindowTest() : frm(ui) {
    frm.Results().SetDateFormat(&german);
    frm.show();
  }

  // Runs a search in folder with mask; onFolder runs between folders, when
  // the window lets input through.
  void Search(const std::string& folder, const QString& mask = QStringLiteral("*.*"),
              std::function<void()> onFolder = nullptr) {
    test::RunSearch(frm, folder, mask, onFolder);
  }

  std::string Cell(int row, int col) { return frm.Results().CellText(row, col); }
  int VisibleRows() { return frm.Results().rowCount(); }

  TDateTextFormat german;
  test::StoreFolder store;
  test::RecordingInteraction ui;
  TfrmTrawlix frm;
  test::TempTree tree;
};

TEST_F(WindowTest, LayoutNamesParentsAndTexts) {
  EXPECT_EQ(frm.windowTitle(), QStringLiteral("Vendrel-Tools: Dateien suchen"));
  ASSERT_EQ(frm.size(), QSize(976, 768));
  const struct {
    const char* name;
    const char* parent;
    QRect geometry;
  } placed[] = {
      {"Label1", "Panel1", {7, 7, 117, 12}},
      {"Label2", "Panel1", {6, 397, 117, 13}},
      {"FilterComboBox1", "Panel1", {7, 437, 196, 21}},
      {"edtFileMask", "Panel1", {7, 414, 196, 21}},
      {"VirtualExplorerTreeview1", "Panel1", {8, 24, 193, 361}},
      {"FileListBox1", "frmTrawlix", {7, 472, 196, 249}},
      {"lblFileCount", "Panel2", {671, 5, 256, 13}},
      {"lblDirCount", "Panel2", {671, 18, 256, 13}},
      {"btnSearch", "Panel2", {106, 8, 85, 22}},
      {"btnSaveTab", "Panel2", {304, 8, 110, 22}},
      {"btnClose", "Panel2", {7, 8, 85, 22}},
      {"btnStop", "Panel2", {192, 8, 97, 22}},
      {"btnFindIdentical", "Panel2", {541, 8, 124, 22}},
      {"btnSaveList", "Panel2", {416, 8, 110, 22}},
  };
  for (const auto& p : placed) {
    auto* w = frm.findChild<QWidget*>(QString::fromLatin1(p.name));
    ASSERT_NE(w, nullptr) << p.name;
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(p.parent)) << p.name;
    EXPECT_EQ(w->geometry(), p.geometry) << p.name;
  }
  const struct {
    QPushButton* button;
    const char* caption;
    const char* hint;
  } buttons[] = {
      {frm.btnSearch, "Suche &starten", "sucht alle Dateien in allen Unterverzeichnissen"},
      {frm.btnSaveTab, "&Tabelle speichern", "speichert die Tabelle in eine Textdatei"},
      {frm.btnClose, "&Beenden", "beendet das Programm"},
      {frm.btnStop, "Suche &abbrechen", "bricht die Suche ab"},
      {frm.btnFindIdentical, "&zeige Duplikate", ""},
      {frm.btnSaveList, "&Dateiliste speichern", "speichert die Liste in eine Textdatei"},
  };
  for (const auto& b : buttons) {
    EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
    EXPECT_EQ(b.button->toolTip(), QString::fromUtf8(b.hint)) << b.caption;
  }
  EXPECT_TRUE(frm.btnFindIdentical->isEnabled());
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  0 Dateien in"));
  EXPECT_EQ(frm.lblDirCount->text(), QStringLiteral("  0 Unterverzeichnissen gefunden."));
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.*"));
  ASSERT_EQ(frm.FilterComboBox1->count(), 7);
  EXPECT_EQ(frm.FilterComboBox1->itemText(1), QStringLiteral("temporäre Dateien (*.tmp)"));
  EXPECT_EQ(frm.FilterComboBox1->itemData(1).toString(), QStringLiteral("*.tmp"));

  // The grid: header texts, widths, 65535 rows (header included), no editing.
  const char* headers[] = {"Verzeichnis", "Datei", "Datum", "Größe"};
  const int widths[] = {314, 190, 141, 64};
  auto& model = frm.Results();
  EXPECT_EQ(model.columnCount(), 4);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), QString::fromUtf8(headers[c]));
    EXPECT_EQ(frm.StringGrid1->columnWidth(c), widths[c]);
  }
  EXPECT_EQ(model.RowCount(), 65535);
  EXPECT_EQ(VisibleRows(), 65534);
  EXPECT_EQ(frm.StringGrid1->verticalHeader()->defaultSectionSize(), 16);
  EXPECT_EQ(frm.StringGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(frm.StringGrid1->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(frm.StringGrid1->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(frm.GridMenu(), frm.PopupMenu1);
  ASSERT_EQ(frm.PopupMenu1->actions().size(), 5);
  EXPECT_EQ(frm.PopupMenu1->actions()[4]->text(), QStringLiteral("nach Größe sortieren"));
  EXPECT_EQ(frm.PopupMenu2->actions()[0]->text(), QStringLiteral("Löschen"));

}

TEST_F(WindowTest, DockedPanelsKeepTheirSizeAndTheGridTakesTheRest) {
  frm.resize(1200, 900);
  EXPECT_EQ(frm.Panel1->geometry(), QRect(0, 0, 209, 863));
  EXPECT_EQ(frm.Panel2->geometry(), QRect(0, 863, 1200, 37));
  EXPECT_EQ(frm.StringGrid1->geometry(), QRect(209, 0, 991, 863));
  EXPECT_EQ(frm.FileListBox1->geometry(), QRect(7, 472, 196, 249));
  EXPECT_EQ(frm.btnSaveList->geometry(), QRect(416, 8, 110, 22));
}

// Every control lies inside the window and inside its parent, and none
// covers another: only a panel and what lies on it meet (the file list is
// laid over Panel1).
TEST_F(WindowTest, NoControlIsCoveredOrCutAtAnySize) {
  const QSize minimum = frm.minimumSize();
  EXPECT_EQ(minimum, frm.MinimumClientSize());
  frm.resize(300, 200);
  EXPECT_EQ(frm.size(), minimum);

  std::vector<QWidget*> controls;
  for (QWidget* w : frm.findChildren<QWidget*>())
    if (!w->objectName().isEmpty() && !w->isWindow() && !w->objectName().startsWith(u"qt_") &&
        !w->isHidden()) {  // the note of unreadable folders shows only after such a search
      const QString parent = w->parentWidget()->objectName();
      if (parent == u"frmTrawlix" || parent == u"Panel1" || parent == u"Panel2") controls.push_back(w);
    }
  ASSERT_GE(controls.size(), 17u);
  auto inWindow = [&](QWidget* w) { return QRect(w->mapTo(&frm, QPoint(0, 0)), w->size()); };
  auto related = [&](QWidget* a, QWidget* b) {
    return a->isAncestorOf(b) || b->isAncestorOf(a) ||
           (a == frm.FileListBox1 && b == frm.Panel1) || (b == frm.FileListBox1 && a == frm.Panel1);
  };
  // The criteria button lies over the empty right part of the label
  // "Filter:": against it the label counts with its text alone.
  auto visible = [&](QWidget* w, QWidget* other) {
    QRect r = inWindow(w);
    if (w == frm.Label2 && other == frm.btnCriteria)
      r.setWidth(frm.Label2->fontMetrics().horizontalAdvance(frm.Label2->text()));
    return r;
  };
  for (const QSize size : {minimum, QSize(900, 700), QSize(950, 650), QSize(976, 768), QSize(1200, 900)}) {
    SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
    frm.resize(size);
    ASSERT_EQ(frm.size(), size);
    for (QWidget* w : controls) {
      EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(inWindow(w))) << w->objectName().toStdString();
      EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << w->objectName().toStdString();
      EXPECT_GE(w->height(), w == frm.FileListBox1 ? 4 * 16 : 12) << w->objectName().toStdString();
    }
    for (QWidget* a : controls) {
      for (QWidget* b : controls) {
        if (a < b && !related(a, b)) {
          EXPECT_FALSE(visible(a, b).intersects(visible(b, a)))
              << a->objectName().toStdString() << " and " << b->objectName().toStdString();
        }
      }
    }
  }
  // Shorter than designed, the file list ends above the button row, and the
  // counters stay beside the buttons while they fit there.
  frm.resize(976, 700);
  EXPECT_EQ(frm.FileListBox1->geometry(), QRect(7, 472, 196, 700 - 37 - 10 - 472));
  EXPECT_EQ(frm.lblDirCount->geometry(), QRect(671, 18, 256, 13));
  frm.resize(927, 700);
  EXPECT_EQ(frm.lblDirCount->geometry(), QRect(671, 18, 256, 13));
  EXPECT_EQ(frm.Panel2->height(), 37);
}

TEST(StartSize, DesignSizeUnlessAStoredSizeFitsTheScreen) {
  const QSize minimum(672, 617), large(1280, 1024);
  const struct {
    const char* name;
    bool stored;
    int width, height;
    QSize available, expected;
  } cases[] = {
      {"nothing stored", false, 600, 600, large, {976, 768}},
      {"nothing stored, small screen", false, 600, 600, {800, 700}, {800, 700}},
      {"nothing stored, screen below the minimum", false, 600, 600, {640, 480}, minimum},
      {"no screen", false, 600, 600, QSize(), {976, 768}},
      {"in range", true, 1100, 800, large, {1100, 800}},
      {"the minimum itself", true, 672, 617, large, minimum},
      {"zero", true, 0, 0, large, {976, 768}},
      {"negative", true, -20, -1, large, {976, 768}},
      {"below the minimum", true, 671, 616, large, {976, 768}},
      {"one side below the minimum", true, 1100, 500, large, {1100, 768}},
      {"beyond the screen", true, 2147483647, 5000, large, large},
      {"beyond a small screen", true, 1000, 800, {800, 700}, {800, 700}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StartWindowSize(c.stored, c.width, c.height, c.available, minimum), c.expected) << c.name;
}

// Tab and Shift+Tab go through the controls in the designed order, round
// and round; in the grid they move to the next control, not the next cell,
// whether the grid is empty or holds rows.
TEST_F(WindowTest, TabGoesThroughTheControlsInOrderAndLeavesTheGrid) {
  const std::vector<QWidget*> order = {
      frm.StringGrid1, frm.FilterComboBox1, frm.edtFileMask,      frm.btnCriteria,
      frm.VirtualExplorerTreeview1, frm.FileListBox1, frm.btnSearch, frm.btnSaveTab,
      frm.btnClose,    frm.btnStop,         frm.btnFindIdentical, frm.btnSaveList};
  EXPECT_EQ(frm.TabOrder(), order);
  frm.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frm));
  auto walk = [&](bool forward) {
    std::vector<QWidget*> seen;
    frm.StringGrid1->setFocus(Qt::OtherFocusReason);
    for (size_t i = 0; i < order.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
      seen.push_back(QApplication::focusWidget());
    }
    return seen;
  };
  std::vector<QWidget*> forward(order.begin() + 1, order.end());
  forward.push_back(order.front());
  std::vector<QWidget*> backward(order.rbegin(), order.rend());

  EXPECT_EQ(walk(true), forward) << "empty grid";
  EXPECT_EQ(walk(false), backward) << "empty grid";
  tree.createFile("a.txt");
  tree.createFile("b.txt");
  Search(tree.Root());
  ASSERT_EQ(frm.FileCount(), 2);
  frm.StringGrid1->setCurrentIndex(frm.Results().index(0, 0));
  EXPECT_EQ(walk(true), forward) << "grid with rows";
  EXPECT_EQ(walk(false), backward) << "grid with rows";
}

TEST_F(WindowTest, ShiftF10AndTheMenuKeyOpenTheGridsMenu) {
  tree.createFile("a.txt");
  tree.createFile("b.txt");
  Search(tree.Root());
  frm.StringGrid1->setCurrentIndex(frm.Results().index(1, 1));
  const struct {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool opens;
  } keys[] = {
      {"Shift+F10", Qt::Key_F10, Qt::ShiftModifier, true},
      {"Menu", Qt::Key_Menu, Qt::NoModifier, true},
      {"F10", Qt::Key_F10, Qt::NoModifier, false},
      {"Ctrl+Shift+F10", Qt::Key_F10, Qt::ShiftModifier | Qt::ControlModifier, false},
  };
  for (const auto& k : keys) {
    QTest::keyClick(frm.StringGrid1, k.key, k.modifiers);
    EXPECT_EQ(frm.PopupMenu1->isVisible(), k.opens) << k.name;
    if (k.opens) {
      // At the current cell.
      const QRect cell = frm.StringGrid1->visualRect(frm.StringGrid1->currentIndex());
      EXPECT_EQ(frm.PopupMenu1->pos(), frm.StringGrid1->viewport()->mapToGlobal(cell.center())) << k.name;
    }
    frm.PopupMenu1->hide();
  }
}

TEST(Centring, HalvesTowardZero) {
  EXPECT_EQ(CentredTopLeft(QRect(0, 0, 1280, 1024), QSize(984, 802)), QPoint(148, 111));
  EXPECT_EQ(CentredTopLeft(QRect(0, 0, 1281, 1025), QSize(984, 802)), QPoint(148, 111));
  EXPECT_EQ(CentredTopLeft(QRect(0, 0, 800, 600), QSize(1001, 803)), QPoint(-100, -101));
}

TEST_F(WindowTest, SearchListsRowsCountersAndLabels) {
  tree.createFile("Brief.TXT", "Hallo", LocalTime(2004, 12, 31, 13, 45, 10));
  tree.createFile("Alt/x.dat", "abc", LocalTime(2004, 12, 31, 0, 0, 0));
  const std::string odd = "odd\tname\xE9";
  tree.createFile("Alt/" + odd, "12", LocalTime(2004, 12, 31, 0, 0, 0));
  tree.createFile("Alt/old.txt", "", LocalTime(1975, 6, 1, 12, 0, 0));
  Search(tree.Root());

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(frm.FileCount(), 4);
  EXPECT_EQ(frm.FolderCount(), 2);
  EXPECT_EQ(frm.TotalBytes(), 10);
  EXPECT_FALSE(frm.StopRequested());
  EXPECT_EQ(VisibleRows(), 4);
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  4 Dateien mit 10 Bytes in"));
  EXPECT_EQ(frm.lblDirCount->text(), QStringLiteral("  2 Unterverzeichnissen."));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  EXPECT_EQ(Cell(1, 0), tree.Root());
  EXPECT_EQ(Cell(1, 1), "Brief.TXT");
  EXPECT_EQ(Cell(1, 2), "31.12.2004 13:45:10");
  EXPECT_EQ(Cell(1, 3), "5");
  int oddRow = 0, oldRow = 0;
  for (int r = 2; r <= 4; ++r) {
    EXPECT_EQ(Cell(r, 0), tree.Root() + "Alt/");
    if (Cell(r, 1) == odd) oddRow = r;
    if (Cell(r, 1) == "old.txt") oldRow = r;
  }
  ASSERT_NE(oddRow, 0);
  ASSERT_NE(oldRow, 0);
  EXPECT_EQ(Cell(oddRow, 2), "31.12.2004");
  // Before 1980 there is no packed time: the fallback text, the row listed.
  EXPECT_EQ(Cell(oldRow, 2), "00.00.00 00:00:00");
  EXPECT_EQ(Cell(oldRow, 3), "0");
  // The stored bytes name the file on disk.
  struct stat st;
  EXPECT_EQ(::stat(frm.Results().Store().FullPath(oddRow).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 2);

  // One file, one folder: the singular forms.
  test::TempTree single;
  single.createFile("a.bin", std::string(1234, 'x'));
  Search(single.Root());
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  1 Datei mit 1.234 Bytes in"));
  EXPECT_EQ(frm.lblDirCount->text(), QStringLiteral("  1 Unterverzeichnis."));
  EXPECT_EQ(VisibleRows(), 1);
  // The rows of the earlier search below the row count are kept, hidden.
  EXPECT_EQ(frm.Results().CellText(2, 0), tree.Root() + "Alt/");
}

TEST_F(WindowTest, NothingFoundThenAFollowingSearchShowsRows) {
  tree.createFile("a.txt", "x");
  tree.createFile("sub/b.txt", "yy");
  Search(tree.Root(), QStringLiteral("*.nothing"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_FALSE(ui.messages[0].errorBox);
  EXPECT_EQ(ui.messages[0].kind, TMsgKind::Information);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Keine passenden Dateien gefunden!"));
  EXPECT_EQ(frm.FileCount(), 0);
  EXPECT_EQ(frm.FolderCount(), 2);
  EXPECT_EQ(VisibleRows(), 0);
  EXPECT_EQ(frm.Results().RowCount(), 1);
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  0 Dateien mit 0 Bytes in"));

  // As after a duplicate scan: five columns, button disabled.
  frm.Results().SetColCount(5);
  frm.btnFindIdentical->setEnabled(false);
  Search(tree.Root(), QStringLiteral("*.txt"));
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(frm.Results().columnCount(), 4);
  EXPECT_TRUE(frm.btnFindIdentical->isEnabled());
  EXPECT_EQ(frm.GridMenu(), frm.PopupMenu1);
  EXPECT_EQ(VisibleRows(), 2);
  EXPECT_EQ(frm.TotalBytes(), 3);
}

TEST_F(WindowTest, MissingStartFolderCountsAsOneFolder) {
  // The file list's folder removed after it was chosen.
  frm.FileListBox1->SetDirectory(tree.createDir("gone"));
  std::filesystem::remove(tree.Path("gone"));
  Search(tree.Root() + "gone");
  EXPECT_EQ(frm.FolderCount(), 1);
  EXPECT_EQ(frm.FileCount(), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Keine passenden Dateien gefunden!"));
}

TEST_F(WindowTest, SortCommandsReorderWholeRowsAndLeaveCountersAlone) {
  tree.createFile("b/Zebra.txt", std::string(100, 'x'), LocalTime(2004, 3, 15, 0, 0, 0));
  tree.createFile("a/apfel.doc", std::string(99, 'x'), LocalTime(2005, 1, 1, 9, 0, 0));
  tree.createFile("a/Ähre.gz", "", LocalTime(1975, 1, 1, 0, 0, 0));
  Search(tree.Root());
  ASSERT_EQ(frm.FileCount(), 3);
  const QString fileLabel = frm.lblFileCount->text(), dirLabel = frm.lblDirCount->text();
  auto names = [&] { return Cell(1, 1) + "," + Cell(2, 1) + "," + Cell(3, 1); };
  const struct {
    QAction* action;
    const char* names;
  } cases[] = {
      {frm.mnuDirSort, "Ähre.gz,apfel.doc,Zebra.txt"},   // "a/" before "b/", then the name
      {frm.mnuNameSort, "Ähre.gz,apfel.doc,Zebra.txt"},  // Ä with A, h before p
      {frm.mnuExtSort, "apfel.doc,Ähre.gz,Zebra.txt"},   // .doc .gz .txt
      {frm.mnuDateSort, "Ähre.gz,Zebra.txt,apfel.doc"},  // the undated row first
      {frm.mnuSizeSort, "Ähre.gz,apfel.doc,Zebra.txt"},  // 0, 99, 100
  };
  for (const auto& c : cases) {
    c.action->trigger();
    EXPECT_EQ(names(), c.names) << c.action->objectName().toStdString();
  }
  // Rows moved whole: every cell went along with its name.
  EXPECT_EQ(Cell(3, 0), tree.Root() + "b/");
  EXPECT_EQ(Cell(3, 2), "15.03.2004");
  EXPECT_EQ(Cell(3, 3), "100");
  EXPECT_EQ(Cell(1, 2), "00.00.00 00:00:00");
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(frm.FileCount(), 3);
  EXPECT_EQ(frm.TotalBytes(), 199);
  EXPECT_EQ(frm.lblFileCount->text(), fileLabel);
  EXPECT_EQ(frm.lblDirCount->text(), dirLabel);
  EXPECT_EQ(frm.Results().HeaderText(3), QStringLiteral("Größe"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, SortingFewerThanTwoRowsWarnsWithoutTheWaitCursor) {
  tree.createFile("only.txt", "x");
  Search(tree.Root());
  ASSERT_EQ(frm.FileCount(), 1);
  for (QAction* a :
       {frm.mnuDirSort, frm.mnuNameSort, frm.mnuExtSort, frm.mnuDateSort, frm.mnuSizeSort}) {
    ui.messages.clear();
    a->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].kind, TMsgKind::Warning);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Es gibt nichts zum Sortieren."));
    EXPECT_FALSE(ui.messages[0].waitCursor);
  }
  EXPECT_EQ(Cell(1, 1), "only.txt");
}

TEST_F(WindowTest, DuplicateScanGivesTheDuplicateViewAndTheNextSearchEndsIt) {
  const std::string copy(1500, 'c');
  tree.createFile("a/one.bin", copy);
  tree.createFile("b/two.bin", copy);
  tree.createFile("c/three.bin", copy);
  tree.createFile("d/unique.bin", std::string(1500, 'u'));
  tree.createFile("small.txt", "x");
  Search(tree.Root());
  ASSERT_EQ(frm.FileCount(), 5);
  const QString dirLabel = frm.lblDirCount->text();
  frm.btnFindIdentical->click();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(frm.FileCount(), 4);
  EXPECT_EQ(VisibleRows(), 4);
  EXPECT_EQ(frm.Results().columnCount(), 5);
  EXPECT_EQ(frm.Results().headerData(4, Qt::Horizontal).toString(), QStringLiteral("CRC"));
  EXPECT_EQ(frm.GridMenu(), frm.PopupMenu2);
  EXPECT_FALSE(frm.btnFindIdentical->isEnabled());
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  4 Duplikate in"));
  EXPECT_EQ(frm.lblDirCount->text(), dirLabel);
  EXPECT_EQ(Cell(1, 1), "one.bin");
  EXPECT_EQ(Cell(2, 1), "two.bin");  // the size order's tie-break: the folder
  EXPECT_EQ(Cell(3, 1), "two.bin");
  EXPECT_EQ(Cell(4, 1), "three.bin");
  EXPECT_EQ(Cell(1, 4), std::to_string(frm.FileChecksum(tree.Path("a/one.bin"))));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  Search(tree.Root());
  EXPECT_EQ(frm.Results().columnCount(), 4);
  EXPECT_EQ(frm.GridMenu(), frm.PopupMenu1);
  EXPECT_TRUE(frm.btnFindIdentical->isEnabled());
  EXPECT_EQ(frm.FileCount(), 5);
}

TEST_F(WindowTest, DuplicateScanWarnsReportsNothingAndSurvivesAVanishedFile) {
  tree.createFile("only.bin", std::string(2000, 'o'));
  Search(tree.Root());
  frm.btnFindIdentical->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, TMsgKind::Warning);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Es gibt nichts zum Filtern."));
  EXPECT_EQ(frm.Results().columnCount(), 4);
  EXPECT_EQ(frm.GridMenu(), frm.PopupMenu1);

  tree.createFile("other.bin", std::string(2000, 'p'));
  Search(tree.Root());
  ui.messages.clear();
  frm.btnFindIdentical->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, TMsgKind::Information);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Keine doppelten Dateien > 1K gefunden!"));
  EXPECT_EQ(frm.FileCount(), 0);
  EXPECT_EQ(VisibleRows(), 0);
  EXPECT_FALSE(frm.btnFindIdentical->isEnabled());

  // A copy that is gone when its pair is examined is passed over: no error
  // box, the scan ends normally and the counter says what was left out.
  tree.createFile("copy.bin", std::string(2000, 'p'));
  Search(tree.Root());
  ::unlink(tree.Path("copy.bin").c_str());
  ui.messages.clear();
  frm.btnFindIdentical->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Keine doppelten Dateien > 1K gefunden!"));
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  0 Duplikate (1 Datei übergangen) in"));
  EXPECT_EQ(frm.FileCount(), 0);
  EXPECT_FALSE(frm.btnFindIdentical->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, FilesPassedOverByTheScanAreCountedBesideThePairs) {
  for (const char* n : {"a/1", "b/2", "c/3", "d/4"}) tree.createFile(n, std::string(3000, 'k'));
  Search(tree.Root());
  ::unlink(tree.Path("b/2").c_str());
  ::unlink(tree.Path("c/3").c_str());
  frm.btnFindIdentical->click();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(frm.FileCount(), 2);
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  2 Duplikate (2 Dateien übergangen) in"));
}

TEST_F(WindowTest, StopDuringTheDuplicateScanKeepsThePairsSoFar) {
  for (int g = 0; g < 3; ++g)
    for (int c = 0; c < 2; ++c)
      tree.createFile("g" + std::to_string(g) + "/c" + std::to_string(c),
                      std::string(1000 + g, 'a' + g));
  Search(tree.Root());
  QTimer stop;
  stop.setInterval(0);
  QObject::connect(&stop, &QTimer::timeout, [&] {
    if (frm.Scanning()) frm.btnStop->click();
  });
  stop.start();
  frm.btnFindIdentical->click();
  EXPECT_TRUE(frm.StopRequested());
  EXPECT_EQ(frm.FileCount(), 2);
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("Stop nach 2 Duplikaten in"));
  EXPECT_FALSE(frm.btnFindIdentical->isEnabled());
}

// Folders that cannot be read: a note below the counters tells how many
// and its tooltip which (the first ten), without a message box and without
// touching the counter sentence; none after a complete search, none after
// a search the user stopped.
TEST_F(WindowTest, FoldersThatCannotBeReadAreNotedBelowTheCounters) {
  tree.createFile("a.txt", "x");
  std::vector<std::string> locked;
  for (int i = 0; i < 12; ++i) {
    locked.push_back(tree.createDir("locked" + std::to_string(i)));
    ::chmod(locked.back().c_str(), 0);
  }
  test::WithoutPermissionOverride asEveryone;
  if (!test::FolderIsRefused(locked[0].c_str())) GTEST_SKIP() << "permissions are not enforced here";
  const int bottomHeight = frm.Panel2->height();

  struct Step {
    const char* name;
    size_t lockedLeft;   // the others get their permissions back first
    bool stop;           // the user stops the search after some of them
    QString note;        // empty: no note
  };
  const Step steps[] = {
      {"twelve", 12, false, QStringLiteral("  12 Ordner konnten nicht gelesen werden.")},
      {"stopped", 12, true, QString()},
      {"one", 1, false, QStringLiteral("  1 Ordner konnte nicht gelesen werden.")},
      {"none", 0, false, QString()},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    for (size_t i = 0; i < locked.size(); ++i) ::chmod(locked[i].c_str(), i < step.lockedLeft ? 0 : 0755);
    ui.messages.clear();
    Search(tree.Root(), QStringLiteral("*.*"), [&] {
      if (step.stop && frm.FolderCount() >= 8) frm.btnStopClick(frm.btnStop);
    });
    if (step.stop) {
      EXPECT_GT(frm.Finder()->UnreadableFolders(), 0u);  // there were holes, and not a word of them
    } else {
      EXPECT_EQ(frm.lblDirCount->text(), QStringLiteral("  13 Unterverzeichnissen."));
    }
    EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  1 Datei mit 1 Bytes in"));
    EXPECT_EQ(ui.messages.size(), step.stop ? 1u : 0u);  // only the stop's own message
    EXPECT_EQ(frm.lblUnreadFolders->isHidden(), step.note.isEmpty());
    EXPECT_EQ(frm.Panel2->height(), bottomHeight + (step.note.isEmpty() ? 0 : 13));
    if (step.note.isEmpty()) continue;
    EXPECT_EQ(frm.lblUnreadFolders->text(), step.note);
    const QStringList tip = frm.lblUnreadFolders->toolTip().split(u'\n');
    ASSERT_EQ(tip.size(), step.lockedLeft > 10 ? 12 : 1 + static_cast<qsizetype>(step.lockedLeft));
    EXPECT_EQ(tip[0], QStringLiteral("Nicht gelesen:"));
    for (qsizetype i = 1; i < tip.size() && i <= 10; ++i) {
      const std::string line = tip[i].toStdString();
      const std::string folder = line.substr(0, line.find(' '));
      EXPECT_TRUE(std::count(locked.begin(), locked.end(), folder.substr(0, folder.size() - 1))) << line;
      EXPECT_EQ(line.substr(line.find(' ')), " (Dateizugriff verweigert)");
    }
    if (step.lockedLeft > 10) {
      EXPECT_EQ(tip.back(), QStringLiteral("\u2026 und 2 weitere"));
    }
  }
}

TEST_F(WindowTest, ClosingDuringTheDuplicateScanStopsItWithoutAMessage) {
  // Two large sparse files that differ only in their last byte: no pair is
  // found before the window closes.
  for (const char* name : {"big1", "big2"}) {
    const std::string path = tree.createFile(name);
    ASSERT_EQ(::truncate(path.c_str(), (1ll << 31) - 1), 0);
  }
  std::ofstream(tree.Path("big2"), std::ios::binary | std::ios::in).seekp((1ll << 31) - 2).put('!');
  Search(tree.Root());
  QTimer closer;
  closer.setInterval(0);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (frm.Scanning()) frm.close();
  });
  closer.start();
  frm.btnFindIdentical->click();
  EXPECT_FALSE(frm.isVisible());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WindowTest, ByteCounterStopsAtItsLimitInsteadOfWrapping) {
  TSearchRec rec;
  rec.Name = "sparse";
  rec.Size = static_cast<uint64_t>(INT64_MAX);
  frm.FinderFileMatch(nullptr, "/x/", rec);
  frm.FinderFileMatch(nullptr, "/x/", rec);
  EXPECT_EQ(frm.TotalBytes(), INT64_MAX);
}

class StopTest : public WindowTest {
 protected:
  StopTest() {
    for (int i = 0; i < 6; ++i)
      tree.createFile(std::string("d").append(std::to_string(i)).append("/f.txt"), "1234");
  }
};

TEST_F(StopTest, StopTakesEffectAtTheNextFolderAndTheNextSearchRunsToItsEnd) {
  Search(tree.Root(), QStringLiteral("*.*"), [&] {
    if (frm.FolderCount() >= 3) frm.btnStop->click();
  });
  EXPECT_TRUE(frm.StopRequested());
  const int listed = frm.FileCount();
  EXPECT_GT(listed, 0);
  EXPECT_LT(listed, 6);
  EXPECT_EQ(VisibleRows(), listed);
  EXPECT_EQ(frm.TotalBytes(), 4 * listed);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, TMsgKind::Error);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Stop nach %1 Dateien.").arg(listed));

  ui.messages.clear();
  Search(tree.Root());
  EXPECT_FALSE(frm.StopRequested());
  EXPECT_EQ(frm.FileCount(), 6);
  EXPECT_EQ(frm.FolderCount(), 7);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StopTest, AcceleratorsActAtOnceAlsoStopDuringASearch) {
  frm.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frm));
  frm.FileListBox1->SetDirectory(tree.Root());
  frm.edtFileMask->setFocus();
  int pressed = 0;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!frm.Searching() || frm.FolderCount() < 3 || pressed++) return;
    QTest::keyClick(&frm, Qt::Key_A, Qt::AltModifier);
    // Stop was clicked by the key itself, not by a timer after it.
    EXPECT_TRUE(frm.StopRequested());
  });
  poll.start();
  QTest::keyClick(&frm, Qt::Key_S, Qt::AltModifier);
  // The whole search ran inside the key press.
  EXPECT_EQ(pressed, 1);
  EXPECT_FALSE(frm.Searching());
  EXPECT_TRUE(frm.StopRequested());
  EXPECT_LT(frm.FileCount(), 6);
  EXPECT_EQ(frm.focusWidget(), frm.edtFileMask);  // the keys leave the focus where it was
}

TEST_F(StopTest, StopBeforeAnyFileGivesTheNothingFoundMessage) {
  Search(tree.Root(), QStringLiteral("*.*"), [&] { frm.btnStopClick(frm.btnStop); });
  EXPECT_EQ(frm.FileCount(), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Keine passenden Dateien gefunden!"));
}

TEST_F(StopTest, SecondSearchPressDuringASearchDoesNothing) {
  int presses = 0;
  Search(tree.Root(), QStringLiteral("*.*"), [&] {
    if (frm.FolderCount() == 3 && presses == 0) {
      ++presses;
      frm.btnSearch->click();
    }
  });
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(frm.FileCount(), 6);
  EXPECT_EQ(frm.FolderCount(), 7);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StopTest, ClosingDuringASearchStopsItAndClosesAfterwards) {
  Search(tree.Root(), QStringLiteral("*.*"), [&] {
    if (frm.FolderCount() == 3) frm.close();
  });
  EXPECT_LT(frm.FileCount(), 6);
  EXPECT_FALSE(frm.isVisible());
  EXPECT_EQ(frm.Finder(), nullptr);
  EXPECT_FALSE(frm.Searching());
  EXPECT_TRUE(ui.messages.empty());
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// A search or scan draws its counters, texts and rows at the pacer's rate,
// whatever the number of folders, and ends with exactly its final state.
// The pacer's clock is the test's: it moves by a fixed step at every reading.
class PacingTest : public WindowTest {
 protected:
  PacingTest() {
    for (int i = 0; i < kFolders; ++i) {
      const std::string dir = "d" + std::to_string(i % 10) + "/e" + std::to_string(i) + "/";
      for (int f = 0; f < 2; ++f) expected.insert(tree.createFile(dir + "f" + std::to_string(f), "abc"));
    }
    frm.SetDrawClock([this] {
      ++readings;
      return now += step;
    });
    // At its designed size, where the counters are inside the window; fully
    // drawn once before anything is counted.
    frm.resize(kDesignClientWidth, kDesignClientHeight);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&frm));
    QCoreApplication::processEvents();
  }

  // Paints of each thing a search or scan changes while it runs.
  struct Paints {
    PaintCounter files, folders, rows;
    explicit Paints(TfrmTrawlix& frm)
        : files(frm.lblFileCount), folders(frm.lblDirCount), rows(frm.StringGrid1->viewport()) {}
  };

  static constexpr int kFolders = 80;  // d0 ... d9, then 80 folders e* below them
  std::set<std::string> expected;
  int64_t now = 0, step = 0;
  int readings = 0;
};

TEST_F(PacingTest, SearchDrawsAtThePacersRateAndEndsWithItsExactCountsAndRows) {
  struct Case {
    const char* what;
    int64_t stepMs;
    int stopAtFolder;  // 0: runs to its end
  };
  for (const Case& c : {Case{"clock stands still", 0, 0}, Case{"1 ms per reading", 1, 0},
                        Case{"40 ms per reading: every folder shown", 40, 0},
                        Case{"stopped, clock stands still", 0, 40}, Case{"stopped, 1 ms per reading", 1, 40}}) {
    SCOPED_TRACE(c.what);
    step = c.stepMs;
    readings = 0;
    ui.messages.clear();
    int staleFolders = 0;
    Paints paints(frm);
    Search(tree.Root(), QStringLiteral("*.*"), [&] {
      if (!frm.Searching()) return;
      if (frm.lblDirCount->text() != QString::fromStdString(DirCountLabelText(frm.FolderCount()))) ++staleFolders;
      if (c.stopAtFolder && frm.FolderCount() >= c.stopAtFolder) frm.btnStop->click();
    });
    // Drawn while it ran: at most once per 33 ms of the clock, the first
    // folder always.
    const int most = 1 + static_cast<int>(readings * c.stepMs / TDrawPacer::kIntervalMs);
    for (int n : {paints.files.paints, paints.folders.paints, paints.rows.paints}) EXPECT_LE(n, most);
    if (c.stepMs == 0) {
      EXPECT_GT(staleFolders, 10);  // the pacing held the label back
    } else if (c.stepMs == 1) {
      EXPECT_GE(paints.folders.paints, 3);  // and drew it when its time came
    } else {
      EXPECT_EQ(staleFolders, 0);
    }
    const int during = paints.folders.paints;
    QCoreApplication::processEvents();
    EXPECT_LE(paints.folders.paints, during + 1);

    const int n = frm.FileCount();
    if (c.stopAtFolder) {
      EXPECT_TRUE(frm.StopRequested());
      EXPECT_GT(n, 0);
      EXPECT_LT(n, static_cast<int>(expected.size()));
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].text, QStringLiteral("Stop nach %1 Dateien.").arg(n));
    } else {
      EXPECT_EQ(n, static_cast<int>(expected.size()));
      EXPECT_EQ(frm.FolderCount(), kFolders + 11);
      EXPECT_TRUE(ui.messages.empty());
    }
    EXPECT_EQ(frm.lblFileCount->text(), QString::fromStdString(FileCountLabelText(n, 3 * n)));
    EXPECT_EQ(frm.lblDirCount->text(), QString::fromStdString(DirCountLabelText(frm.FolderCount())));
    EXPECT_EQ(VisibleRows(), n);
    std::set<std::string> listed;
    for (int r = 1; r <= n; ++r) listed.insert(frm.Results().Store().FullPath(r));
    EXPECT_EQ(listed.size(), static_cast<size_t>(n));
    EXPECT_TRUE(std::includes(expected.begin(), expected.end(), listed.begin(), listed.end()));
    // What the grid draws is what is stored.
    EXPECT_EQ(frm.Results().data(frm.Results().index(n - 1, 1)).toString(),
              QString::fromStdString(Cell(n, 1)));
  }
}

TEST_F(PacingTest, ScanProgressIsPacedAndEndsWithTheFinalText) {
  // 24 pairs of copies, each pair its own size.
  for (int i = 0; i < 24; ++i)
    for (int c = 0; c < 2; ++c)
      tree.createFile("dup/p" + std::to_string(i) + "_" + std::to_string(c), std::string(1000 + i, 'x'));
  Search(tree.Root(), QStringLiteral("p*"));
  ASSERT_EQ(frm.FileCount(), 48);
  QCoreApplication::processEvents();

  std::vector<QString> seen;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (frm.Scanning()) seen.push_back(frm.lblFileCount->text());
  });
  watch.start();
  {
    Paints paints(frm);
    frm.btnFindIdentical->click();
    EXPECT_LE(paints.files.paints, 1);  // the clock stands still: the first text only
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), QStringLiteral("  prüfe Datei 2 von 48 in"));
  EXPECT_EQ(seen.back(), seen.front());
  EXPECT_EQ(frm.lblFileCount->text(), QStringLiteral("  48 Duplikate in"));
  EXPECT_EQ(VisibleRows(), 48);
}

TEST_F(WindowTest, FolderTreeAndFileList) {
  tree.createFile("one/x.txt");
  tree.createFile("one/B.txt");
  tree.createDir("one/two");
  TFolderTree* t = frm.VirtualExplorerTreeview1;
  int changes = 0;
  QObject::connect(t, &TFolderTree::Change, [&] { ++changes; });
  EXPECT_EQ(t->SelectedPath(), GetCurrentDir());
  const std::string target = tree.Root() + "one";
  ASSERT_TRUE(t->SelectPath(target + "/"));
  EXPECT_EQ(t->SelectedPath(), target);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(t->isExpanded(t->currentIndex()));
  // Moving to the same folder again still tells the listener.
  ASSERT_TRUE(t->SelectPath(target));
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(t->SelectPath(tree.Root() + "missing"));
  EXPECT_FALSE(t->SelectPath(tree.Root() + "one/x.txt"));
  EXPECT_EQ(t->SelectedPath(), target);
  EXPECT_EQ(changes, 2);

  frm.FileListBox1->SetDirectory(target);
  EXPECT_EQ(frm.FileListBox1->Directory(), target);
  ASSERT_EQ(frm.FileListBox1->Count(), 2);  // files only, not the subfolder
  EXPECT_EQ(frm.FileListBox1->Entry(0).text, QStringLiteral("B.txt"));
}

}  // namespace
}  // namespace trawlix

namespace trawlix {
namespace {

// The folder tree, the file list, the mask field and the filter list.
class SelectionTest : public WindowTest {
 protected:
  // Moves the tree as a click would; the window follows its change event.
  void SelectInTree(const std::string& path) {
    ASSERT_TRUE(frm.VirtualExplorerTreeview1->SelectPath(path));
  }
  std::vector<std::string> Listed() {
    std::vector<std::string> names;
    for (int i = 0; i < frm.FileListBox1->Count(); ++i)
      names.push_back(frm.FileListBox1->Entry(i).name);
    return names;
  }
  // Chooses a filter entry as the drop-down does.
  void Choose(int index) {
    frm.FilterComboBox1->setCurrentIndex(index);
    emit frm.FilterComboBox1->activated(index);
  }
  void Type(const QString& text) {
    frm.edtFileMask->selectAll();
    QTest::keyClicks(frm.edtFileMask, text);
  }
  void ClickEntry(int row) {
    TFileListBox* list = frm.FileListBox1;
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
  }
  std::string Dir() { return frm.FileListBox1->Directory(); }
  std::string Folder(const std::string& rel) { return tree.Root() + rel; }
};

TEST_F(SelectionTest, TreeMovesTheFileListAndResetsTheMaskField) {
  tree.createFile("a/b.txt");
  tree.createFile("a/A.doc");
  tree.createDir("a/sub");
  tree.createFile("b/x.c", "123");
  Type(QStringLiteral("*.txt"));
  ASSERT_EQ(frm.edtFileMask->text(), QStringLiteral("*.txt"));

  SelectInTree(Folder("a"));
  EXPECT_EQ(Dir(), Folder("a"));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"A.doc", "b.txt"}));
  EXPECT_EQ(frm.FileListBox1->ItemIndex(), -1);
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.*"));
  EXPECT_EQ(frm.edtFileMask->selectedText(), QStringLiteral("*.*"));

  // The folder the list shows already: nothing changes, the typed mask stays.
  Type(QStringLiteral("*.txt"));
  SelectInTree(Folder("a/"));
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.txt"));

  SelectInTree(Folder("b"));
  EXPECT_EQ(Dir(), Folder("b"));
  EXPECT_EQ(Listed(), std::vector<std::string>{"x.c"});
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.*"));

  // A selected folder that is gone when its change arrives: the list, and
  // with it the search location, stays.
  {
    const QSignalBlocker quiet(frm.VirtualExplorerTreeview1);
    SelectInTree(tree.createDir("c"));
  }
  std::filesystem::remove(Folder("c"));
  frm.VirtualExplorerTreeview1Change(frm.VirtualExplorerTreeview1, QModelIndex());
  EXPECT_EQ(Dir(), Folder("b"));
  // Through the change event the tree goes back to the list's folder.
  emit frm.VirtualExplorerTreeview1->Change();
  EXPECT_EQ(frm.VirtualExplorerTreeview1->SelectedPath(), Folder("b"));
  EXPECT_EQ(Dir(), Folder("b"));
  EXPECT_TRUE(ui.messages.empty());

  frm.btnSearchClick(frm.btnSearch);
  EXPECT_EQ(frm.FileCount(), 1);
  EXPECT_EQ(Cell(1, 0), Folder("b/"));
  EXPECT_EQ(frm.TotalBytes(), 3);
}

TEST_F(SelectionTest, ChoosingAFilterEntrySetsTheListsMaskAndPutsItBackAfterTyping) {
  const char* entries[][2] = {
      {"Alle Dateien (*.*)", "*.*"},       {"temporäre Dateien (*.tmp)", "*.tmp"},
      {"Word-Dokumente (*.doc)", "*.doc"}, {"Textdateien (*.txt)", "*.txt"},
      {"C-Sourcen (*.c)", "*.c"},          {"Pascal-Sourcen (*.pas)", "*.pas"},
      {"Programme (*.exe)", "*.exe"},
  };
  ASSERT_EQ(frm.FilterComboBox1->count(), 7);
  EXPECT_FALSE(frm.FilterComboBox1->isEditable());
  EXPECT_EQ(frm.FilterComboBox1->currentIndex(), 0);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(frm.FilterComboBox1->itemText(i), QString::fromUtf8(entries[i][0]));
    EXPECT_EQ(frm.FilterComboBox1->itemData(i).toString(), QString::fromUtf8(entries[i][1]));
  }

  tree.createFile("a.txt");
  tree.createFile("b.TXT");
  tree.createFile("c.doc");
  tree.createFile("d.exe");
  SelectInTree(tree.Root());
  Choose(3);
  EXPECT_EQ(frm.FileListBox1->Mask(), "*.txt");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a.txt", "b.TXT"}));
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.txt"));

  // Typing changes neither the list nor the filter; choosing the same entry
  // again restores its mask in the field.
  Type(QStringLiteral("*.doc"));
  EXPECT_EQ(Listed().size(), 2u);
  Choose(3);
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.txt"));
  EXPECT_EQ(Listed().size(), 2u);

  Choose(0);
  EXPECT_EQ(Listed().size(), 4u);
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.*"));

  // With no current entry the last one is made current first.
  frm.FilterComboBox1->setCurrentIndex(-1);
  frm.FilterComboBox1Change(frm.FilterComboBox1);
  EXPECT_EQ(frm.FilterComboBox1->currentIndex(), 6);
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.exe"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SelectionTest, PickingAFileWritesItsNameSelectedAndTheSearchLooksForExactlyIt) {
  const std::string odd = "caf\xE9.txt";  // Latin-1 bytes, not UTF-8
  tree.createFile("plain.txt", "1");
  tree.createFile(odd, "22");
  tree.createFile("caf\xEF\xBF\xBD.txt", "333");  // what the odd name looks like decoded
  tree.createFile("sub/" + odd, "4444");
  SelectInTree(tree.Root());
  ASSERT_EQ(frm.FileListBox1->Count(), 3);
  int plainRow = -1, oddRow = -1;
  for (int i = 0; i < 3; ++i) {
    if (frm.FileListBox1->Entry(i).name == "plain.txt") plainRow = i;
    if (frm.FileListBox1->Entry(i).name == odd) oddRow = i;
  }
  ASSERT_GE(plainRow, 0);
  ASSERT_GE(oddRow, 0);

  ClickEntry(plainRow);
  EXPECT_EQ(frm.FileListBox1->ItemIndex(), plainRow);
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("plain.txt"));
  EXPECT_EQ(frm.edtFileMask->selectedText(), QStringLiteral("plain.txt"));
  // Selecting the entry that is selected already does nothing.
  Type(QStringLiteral("typed"));
  ClickEntry(plainRow);
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("typed"));

  ClickEntry(oddRow);
  EXPECT_EQ(frm.edtFileMask->text(), frm.FileListBox1->Entry(oddRow).text);
  EXPECT_EQ(frm.edtFileMask->selectedText(), frm.edtFileMask->text());
  EXPECT_EQ(frm.FileListBox1->FileEditBytes(), odd);

  // The search looks for the picked bytes: both files of that name, not the
  // one whose name merely looks the same.
  frm.btnSearchClick(frm.btnSearch);
  ASSERT_EQ(frm.FileCount(), 2);
  EXPECT_EQ(frm.TotalBytes(), 2 + 4);
  EXPECT_EQ(Cell(1, 1), odd);
  EXPECT_TRUE(ui.messages.empty());
}

// The search walks exactly the file list's folder: a ";" in its name does
// not make two folders of it, and blanks at its end are part of it.
TEST_F(SelectionTest, FoldersWithSemicolonsAndBlanksAreSearchedAsTheyAre) {
  const struct {
    const char* folder;
    const char* decoy;  // what a split or trimmed folder text would reach
  } rows[] = {
      {"Projekte;alt", "Projekte"},
      {"ende ", "ende"},
      {" vorn", "vorn"},
      {"<klein", "klein"},
  };
  for (const auto& row : rows) {
    tree.createFile(std::string(row.folder) + "/richtig.txt", "1");
    tree.createFile(std::string(row.decoy) + "/falsch.txt", "22");
  }
  tree.createFile("alt/falsch.txt", "333");
  for (const auto& row : rows) {
    SelectInTree(Folder(row.folder));
    ASSERT_EQ(Dir(), Folder(row.folder)) << row.folder;
    frm.btnSearchClick(frm.btnSearch);
    ASSERT_EQ(frm.FileCount(), 1) << row.folder;
    EXPECT_EQ(Cell(1, 0), Folder(row.folder) + "/") << row.folder;
    EXPECT_EQ(Cell(1, 1), "richtig.txt") << row.folder;
  }
  EXPECT_TRUE(ui.messages.empty());
}

// A picked name is one exact name: ";" does not split it, "*" and "?" are
// no wildcards, and blanks stay. Typed text keeps the mask rules.
TEST_F(SelectionTest, PickedNamesAreSearchedExactlyAndTypedTextAsMasks) {
  for (const char* n :
       {"a;b.txt", "a", "b.txt", "Bericht*", "Bericht1", "was?", "wasd", " rand ", "rand"})
    tree.createFile(n, "x");
  tree.createFile("sub/a;b.txt", "yy");
  SelectInTree(tree.Root());
  auto pick = [&](const std::string& name) {
    for (int i = 0; i < frm.FileListBox1->Count(); ++i)
      if (frm.FileListBox1->Entry(i).name == name) return ClickEntry(i);
    FAIL() << "not listed: " << name;
  };
  auto found = [&] {
    std::set<std::string> names;
    for (int r = 1; r <= frm.FileCount(); ++r)
      names.insert(Cell(r, 0).substr(tree.Root().size()) + Cell(r, 1));
    return names;
  };
  pick("a;b.txt");
  frm.btnSearchClick(frm.btnSearch);
  EXPECT_EQ(found(), (std::set<std::string>{"a;b.txt", "sub/a;b.txt"}));
  for (const char* n : {"Bericht*", "was?", " rand "}) {
    pick(n);
    frm.btnSearchClick(frm.btnSearch);
    EXPECT_EQ(found(), std::set<std::string>{n}) << n;
  }
  // The same text typed is mask text again.
  Type(QStringLiteral("a;b.txt"));
  frm.btnSearchClick(frm.btnSearch);
  EXPECT_EQ(found(), (std::set<std::string>{"a", "b.txt"}));
}

TEST_F(SelectionTest, FolderThatCannotBeEnteredKeepsTheListShowsAccessDeniedAndTheTreeGoesBack) {
  tree.createFile("open/one.txt");
  const std::string closed = tree.createDir("closed");
  ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
  SelectInTree(Folder("open"));
  Type(QStringLiteral("*.c"));

  // Root passes over permissions; without that right it is refused like
  // everyone else.
  test::WithoutPermissionOverride noOverride;
  const int probe = ::open((closed + "/.").c_str(), O_RDONLY | O_DIRECTORY);
  if (probe >= 0) {
    ::close(probe);
    GTEST_SKIP() << "this process cannot be refused access to a folder";
  }
  ASSERT_EQ(errno, EACCES);

  SelectInTree(closed);
  // After the message the tree names the list's folder again.
  EXPECT_EQ(frm.VirtualExplorerTreeview1->SelectedPath(), Folder("open"));
  EXPECT_EQ(Dir(), Folder("open"));
  EXPECT_EQ(Listed(), std::vector<std::string>{"one.txt"});
  EXPECT_EQ(frm.edtFileMask->text(), QStringLiteral("*.c"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].errorBox);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Dateizugriff verweigert."));
}

// Start and close with the settings store.
class StartTest : public ::testing::Test {
 protected:
  std::unique_ptr<TfrmTrawlix> Start() { return std::make_unique<TfrmTrawlix>(ui); }
  void WriteStore(const std::string& values) { store.Write("[General]\n" + values); }
  QSettings Stored() {
    return QSettings(QString::fromStdString(store.ConfPath()), QSettings::IniFormat);
  }
  static QPoint Centred(TfrmTrawlix& frm) {
    return CentredTopLeft(frm.screen()->geometry(), frm.frameGeometry().size());
  }

  test::StoreFolder store;
  test::RecordingInteraction ui;
  test::TempTree tree;
};

// The first start shows the design size, the tree on the folder the file
// list shows (opened down to it and selected), the focus on the grid; a
// close at once stores that folder.
TEST_F(StartTest, FirstStartWithoutAStore) {
  auto frm = Start();
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_NE(frm->Options(), nullptr);
  EXPECT_EQ(frm->size(), QSize(976, 768));
  TFolderTree* t = frm->VirtualExplorerTreeview1;
  EXPECT_EQ(t->SelectedPath(), GetCurrentDir());
  EXPECT_EQ(t->currentIndex(), t->selectionModel()->selectedRows().value(0));
  for (QModelIndex up = t->currentIndex().parent(); up.isValid(); up = up.parent()) EXPECT_TRUE(t->isExpanded(up));
  EXPECT_EQ(frm->FileListBox1->Directory(), GetCurrentDir());
  EXPECT_EQ(frm->focusWidget(), frm->StringGrid1);
  EXPECT_EQ(frm->edtFileMask->text(), QStringLiteral("*.*"));
  EXPECT_EQ(frm->FilterComboBox1->currentIndex(), 0);
  ASSERT_NE(frm->Finder(), nullptr);
  EXPECT_TRUE(frm->Finder()->Criteria().Files().Subfolders());
  frm->show();
  EXPECT_EQ(frm->pos(), Centred(*frm));
  frm->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
  EXPECT_EQ(QApplication::focusWidget(), frm->StringGrid1);
  EXPECT_TRUE(t->visualRect(t->currentIndex()).intersects(t->viewport()->rect()));
  frm->close();
  EXPECT_EQ(Stored().value("LastDir").toString().toStdString(), GetCurrentDir());
  EXPECT_EQ(Stored().value("WinMainWidth").toInt(), 976);
  EXPECT_EQ(Stored().value("WinMainHeight").toInt(), 768);
}

TEST_F(StartTest, StoredFolderMovesTheTreeAndTheListOnlyWhenItIsAFolder) {
  tree.createFile("kept/f.txt");
  tree.createFile("plain.txt");
  const struct {
    const char* name;
    std::string lastDir;
    bool moves;
  } cases[] = {
      {"existing folder", tree.Path("kept"), true},
      {"removed folder", tree.Path("gone"), false},
      {"a file", tree.Path("plain.txt"), false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::StoreFolder own;
    ui.messages.clear();
    // Top and left far off the screen: the window opens centred all the same.
    own.Write(
        "[General]\nWinMainTop=5000\nWinMainLeft=-7000\nWinMainHeight=700\nWinMainWidth="
        "1000\nLastDir=" +
        c.lastDir + "\n");
    auto frm = Start();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(frm->size(), QSize(1000, 700));
    if (c.moves) {
      EXPECT_EQ(frm->focusWidget(), frm->VirtualExplorerTreeview1);
      EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), c.lastDir);
      EXPECT_EQ(frm->FileListBox1->Directory(), c.lastDir);
      ASSERT_EQ(frm->FileListBox1->Count(), 1);
      EXPECT_EQ(frm->FileListBox1->Entry(0).name, "f.txt");
    } else {
      EXPECT_EQ(frm->focusWidget(), frm->StringGrid1);
      EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), GetCurrentDir());
      EXPECT_EQ(frm->FileListBox1->Directory(), GetCurrentDir());
    }
    frm->show();
    EXPECT_EQ(frm->pos(), Centred(*frm));
  }
}

// Started in a folder that was removed: the file list is empty and a search
// lists nothing there, as for any missing folder; it does not fall back to
// the root.
TEST_F(StartTest, VanishedCurrentFolderListsNothingAndSearchesNothing) {
  test::InVanishedFolder gone;
  auto frm = Start();
  EXPECT_EQ(frm->FileListBox1->Directory(), "");
  EXPECT_EQ(frm->FileListBox1->Count(), 0);
  EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), "");
  frm->btnSearchClick(frm->btnSearch);
  EXPECT_EQ(frm->FileCount(), 0);
  EXPECT_EQ(frm->FolderCount(), 1);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Keine passenden Dateien gefunden!"));
}

TEST_F(StartTest, MissingWinMainTopStopsTheRead) {
  tree.createDir("kept");
  WriteStore("WinMainLeft=10\nWinMainHeight=500\nWinMainWidth=700\nLastDir=" + tree.Path("kept") +
             "\n");
  auto frm = Start();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_FALSE(ui.messages[0].errorBox);
  EXPECT_EQ(ui.messages[0].kind, TMsgKind::Error);
  EXPECT_EQ(ui.messages[0].text,
            QStringLiteral("FEHLER:  Die Einstellungen können nicht gelesen werden."));
  EXPECT_EQ(frm->size(), QSize(976, 768));
  EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), GetCurrentDir());
  EXPECT_EQ(frm->FileListBox1->Directory(), GetCurrentDir());
}

// Sizes that would hide controls or outgrow the screen are not used, and
// the size used is the one stored at the close.
TEST_F(StartTest, StoredSizesOutOfRangeGiveTheDesignSizeOrTheScreen) {
  const QSize screen = QApplication::primaryScreen()->availableGeometry().size();
  ASSERT_EQ(screen, QSize(1280, 1024));
  const struct {
    const char* name;
    std::string store;
    QSize expected;
  } cases[] = {
      {"the old default", "WinMainHeight=600\nWinMainWidth=600\n", {976, 768}},
      {"zero", "WinMainHeight=0\nWinMainWidth=0\n", {976, 768}},
      {"negative and huge", "WinMainHeight=-20\nWinMainWidth=2147483647\n", {1280, 768}},
      {"too low", "WinMainHeight=500\nWinMainWidth=1100\n", {1100, 768}},
      {"beyond the screen", "WinMainHeight=5000\nWinMainWidth=1000\n", {1000, 1024}},
      {"in range", "WinMainHeight=700\nWinMainWidth=900\n", {900, 700}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteStore("WinMainTop=0\nWinMainLeft=0\n" + c.store);
    auto frm = Start();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(frm->size(), c.expected);
    frm->show();
    frm->close();
    EXPECT_EQ(QSize(Stored().value("WinMainWidth").toInt(), Stored().value("WinMainHeight").toInt()), c.expected);
  }
}

// The stored folder exists but cannot be entered: the message, and the tree
// on the folder the file list stays in.
TEST_F(StartTest, StoredFolderThatCannotBeEnteredLeavesTreeAndListOnTheCurrentFolder) {
  const std::string closed = tree.createDir("closed");
  ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
  WriteStore("WinMainTop=0\nWinMainLeft=0\nWinMainHeight=700\nWinMainWidth=1000\nLastDir=" + closed + "\n");
  test::WithoutPermissionOverride noOverride;
  const int probe = ::open((closed + "/.").c_str(), O_RDONLY | O_DIRECTORY);
  if (probe >= 0) {
    ::close(probe);
    GTEST_SKIP() << "this process cannot be refused access to a folder";
  }
  auto frm = Start();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Dateizugriff verweigert."));
  EXPECT_EQ(frm->FileListBox1->Directory(), GetCurrentDir());
  EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), GetCurrentDir());
  EXPECT_EQ(frm->focusWidget(), frm->StringGrid1);
}

// Started in a hidden folder: the tree shows it, and that one alone of the
// hidden folders beside it.
TEST_F(StartTest, StartInAHiddenFolderShowsItInTheTree) {
  const std::string inner = tree.createDir(".versteckt/innen");
  tree.createDir(".anderer");
  tree.createDir("sichtbar");
  test::InFolder there(inner);
  auto frm = Start();
  TFolderTree* t = frm->VirtualExplorerTreeview1;
  EXPECT_EQ(t->SelectedPath(), inner);
  EXPECT_EQ(frm->FileListBox1->Directory(), inner);
  const QModelIndex root = t->currentIndex().parent().parent();
  std::set<QString> shown;
  for (int r = 0; r < t->model()->rowCount(root); ++r) shown.insert(t->model()->index(r, 0, root).data().toString());
  EXPECT_EQ(shown, (std::set<QString>{QStringLiteral(".versteckt"), QStringLiteral("sichtbar")}));
}

TEST_F(StartTest, CloseStoresGeometryAndTheTreesFolderForTheNextStart) {
  tree.createFile("kept/f.txt");
  const std::string kept = tree.Path("kept");
  {
    auto frm = Start();
    frm->show();
    frm->resize(800, 650);
    frm->move(30, 40);
    ASSERT_TRUE(frm->VirtualExplorerTreeview1->SelectPath(kept));
    const QPoint at = frm->pos();
    frm->close();
    EXPECT_EQ(frm->Finder(), nullptr);
    EXPECT_TRUE(ui.messages.empty());
    QSettings s = Stored();
    EXPECT_EQ(s.value("WinMainTop").toInt(), at.y());
    EXPECT_EQ(s.value("WinMainLeft").toInt(), at.x());
    EXPECT_EQ(s.value("WinMainHeight").toInt(), 650);
    EXPECT_EQ(s.value("WinMainWidth").toInt(), 800);
    EXPECT_EQ(s.value("LastDir").toString().toStdString(), kept);
  }
  {
    auto frm = Start();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(frm->size(), QSize(800, 650));
    EXPECT_EQ(frm->FileListBox1->Directory(), kept);
    // A selection the user takes away (Ctrl+click) comes back, as the file
    // list still shows its folder.
    frm->VirtualExplorerTreeview1->selectionModel()->clearSelection();
    EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), kept);
    // Nothing selected in the tree at close: no folder stored.
    {
      const QSignalBlocker quiet(frm->VirtualExplorerTreeview1);
      frm->VirtualExplorerTreeview1->selectionModel()->clearSelection();
    }
    frm->close();
  }
  EXPECT_EQ(Stored().value("LastDir").toString(), QString());
  auto frm = Start();
  EXPECT_EQ(frm->FileListBox1->Directory(), GetCurrentDir());
  EXPECT_TRUE(ui.messages.empty());
}

// A folder whose name is not UTF-8 (with ";" and a trailing blank too) is
// chosen in the tree by its bytes, drawn with \xNN, searched, stored at
// close and chosen again at the next start.
TEST_F(StartTest, FolderThatIsNotUtf8IsChosenSearchedAndRestoredAtTheNextStart) {
  const std::string rel = "caf\xE9;alt ";
  tree.createFile(rel + "/drin.txt", "1");
  tree.createFile("caf\xEF\xBF\xBD;alt /falsch.txt", "22");  // what it looks like decoded
  tree.createFile("caf?;alt /falsch.txt", "333");
  const std::string odd = tree.Path(rel);
  {
    auto frm = Start();
    TFolderTree* t = frm->VirtualExplorerTreeview1;
    ASSERT_TRUE(t->SelectPath(odd));
    EXPECT_EQ(t->SelectedPath(), odd);
    EXPECT_EQ(t->currentIndex().data().toString(), QStringLiteral("caf\\xE9;alt "));
    EXPECT_EQ(frm->FileListBox1->Directory(), odd);
    frm->btnSearchClick(frm->btnSearch);
    ASSERT_EQ(frm->FileCount(), 1);
    EXPECT_EQ(frm->Results().CellText(1, 0), odd + "/");
    EXPECT_EQ(frm->Results().CellText(1, 1), "drin.txt");
    frm->close();
  }
  auto frm = Start();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), odd);
  EXPECT_EQ(frm->FileListBox1->Directory(), odd);
}

TEST_F(StartTest, StoreThatCannotBeWrittenIsToldAndTheWindowStillCloses) {
  // The folder of the store is a regular file.
  store.Use(tree.createFile("not-a-folder"));
  auto frm = Start();
  EXPECT_TRUE(ui.messages.empty());
  frm->show();
  frm->close();
  EXPECT_FALSE(frm->isVisible());
  EXPECT_EQ(frm->Finder(), nullptr);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            QStringLiteral("FEHLER:  Die Einstellungen können nicht gespeichert werden."));
}

}  // namespace
}  // namespace trawlix
