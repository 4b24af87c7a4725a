// The window's file commands: saving the table and the list, opening and
// deleting the file of the selected row.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <set>

#include "AppTestSupport.h"
#include "RecordingInteraction.h"
#include "TempTree.h"
#include "app/Formatting.h"
#include "app/Tx_main.h"
#include "results/DateText.h"
#include "results/OpenFile.h"
#include "tree/FileListBox.h"

namespace trawlix {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

time_t LocalStamp() {
  std::tm tm{};
  tm.tm_year = 2004 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 31;
  tm.tm_hour = 13;
  tm.tm_min = 45;
  tm.tm_sec = 10;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}
const char* const kStampText = "31.12.2004 13:45:10";

class FileCommandTest : public ::testing::Test {
 protected:
  FileCommandTest() : frm(ui) {
    frm.Results().SetDateFormat(&german);
    frm.show();
  }

  void Search(const std::string& folder, std::function<void()> onFolder = nullptr) {
    test::RunSearch(frm, folder, QStringLiteral("*.*"), onFolder);
  }
  // Rows are 1-based as in the store. (Not selectRow: it reads the modifier
  // keys a simulated key press may have left behind.)
  void Select(int row) {
    const QModelIndex index = frm.Results().index(row - 1, 0);
    frm.StringGrid1->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  std::string Cell(int row, int col) { return frm.Results().CellText(row, col); }
  // The row holding the file of that name.
  int RowOf(const std::string& name) {
    for (int r = 1; r <= frm.FileCount(); ++r)
      if (Cell(r, 1) == name) return r;
    return 0;
  }
  // The duplicate view as the scan leaves it: checksums in every row and
  // the fifth column.
  void ShowAsDuplicates() {
    for (int r = 1; r <= frm.FileCount(); ++r) frm.Results().SetChecksum(r, -1000 - r);
    frm.Results().SetColCount(5);
  }
  std::vector<QString> Texts() {
    std::vector<QString> out;
    for (const auto& m : ui.messages) out.push_back(m.text);
    return out;
  }

  TDateTextFormat german;
  test::StoreFolder store;
  test::RecordingInteraction ui;
  TfrmTrawlix frm;
  test::TempTree tree;
};

// --- Saving --------------------------------------------------------------

TEST_F(FileCommandTest, NothingToSaveWarnsWithoutADialog) {
  for (QPushButton* b : {frm.btnSaveTab, frm.btnSaveList}) {
    ui.messages.clear();
    QTest::mouseClick(b, Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(ui.messages[0].errorBox);
    EXPECT_EQ(ui.messages[0].kind, TMsgKind::Warning);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Es gibt nichts zum Speichern."));
  }
  EXPECT_TRUE(ui.saveRequests.empty());
}

TEST_F(FileCommandTest, DialogIsSetUpPerCommandAndCancelWritesNothing) {
  tree.createFile("data/a.txt", "a");
  Search(tree.Path("data/"));
  ui.saveAnswer.reset();
  QTest::mouseClick(frm.btnSaveTab, Qt::LeftButton);
  QTest::mouseClick(frm.btnSaveList, Qt::LeftButton);
  ASSERT_EQ(ui.saveRequests.size(), 2u);
  EXPECT_TRUE(ui.messages.empty());
  const std::string folder = tree.Path("data");  // without its "/"
  EXPECT_EQ(ui.saveRequests[0].initialFolder, folder);
  EXPECT_EQ(ui.saveRequests[0].filter, QStringLiteral("Textdatei (*.TXT)"));
  EXPECT_EQ(ui.saveRequests[0].fileName, QStringLiteral("ScanResult.txt"));
  EXPECT_EQ(ui.saveRequests[1].initialFolder, folder);
  EXPECT_EQ(ui.saveRequests[1].fileName, QStringLiteral("ScanList.txt"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.Path("data")),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(SaveDialogFolderTest, TrailingSlashGoesExceptForTheRoot) {
  EXPECT_EQ(SaveDialogFolder("/home/anna/"), "/home/anna");
  EXPECT_EQ(SaveDialogFolder("/home/anna"), "/home/anna");
  EXPECT_EQ(SaveDialogFolder("/"), "/");
  EXPECT_EQ(SaveDialogFolder("//"), "/");
}

TEST_F(FileCommandTest, SavesTheTableAndTheListAsShownAndReplacesOldFiles) {
  tree.createFile("data/Brief.txt", "12345", LocalStamp());
  Search(tree.Path("data"));
  const std::string header =
      "Verzeichnis\tDatei\tDatum\tGr\xC3\xB6\xC3\x9F"
      "e in Byte\r\n";
  const std::string folder = tree.Path("data/");
  const std::string target = tree.createFile("out/ScanResult.txt", std::string(5000, 'x'));
  ui.saveAnswer = target;
  QTest::mouseClick(frm.btnSaveTab, Qt::LeftButton);
  EXPECT_EQ(Slurp(target), header + folder + "\tBrief.txt\t" + kStampText + "\t5\r\n");
  // A name typed without an extension is used as it stands.
  ui.saveAnswer = tree.Path("out/liste");
  QTest::mouseClick(frm.btnSaveList, Qt::LeftButton);
  EXPECT_EQ(Slurp(tree.Path("out/liste")), folder + "Brief.txt\r\n");
  EXPECT_FALSE(Exists(tree.Path("out/liste.txt")));
  EXPECT_TRUE(ui.messages.empty());

  // The duplicate view adds the checksum to each row line, not to the header.
  ShowAsDuplicates();
  QTest::mouseClick(frm.btnSaveTab, Qt::LeftButton);
  EXPECT_EQ(Slurp(tree.Path("out/liste")),
            header + folder + "\tBrief.txt\t" + kStampText + "\t5\t-1001\r\n");
}

TEST_F(FileCommandTest, WriteFailuresGoToTheGeneralErrorDisplay) {
  tree.createFile("data/a.txt", "a");
  Search(tree.Path("data"));
  tree.createDir("locked");
  ::chmod(tree.Path("locked").c_str(), 0555);
  struct Case {
    std::string path;
    const char* text;
  } cases[] = {
      {tree.Path("locked/ScanResult.txt"), "Dateizugriff verweigert."},
      {"/dev/full", "Zu wenig Speicherplatz."},
      {tree.Path("nowhere/x.txt"), "Datei nicht gefunden."},
  };
  test::WithoutPermissionOverride asEveryone;
  for (const Case& c : cases) {
    for (QPushButton* b : {frm.btnSaveTab, frm.btnSaveList}) {
      ui.messages.clear();
      ui.saveAnswer = c.path;
      QTest::mouseClick(b, Qt::LeftButton);
      ASSERT_EQ(ui.messages.size(), 1u) << c.path;
      EXPECT_TRUE(ui.messages[0].errorBox);
      EXPECT_EQ(ui.messages[0].text, QString::fromUtf8(c.text));
    }
  }
  EXPECT_FALSE(Exists(tree.Path("locked/ScanResult.txt")));
}

// --- Opening -------------------------------------------------------------

TEST_F(FileCommandTest, OpeningHandsTheSelectedRowsPathToTheOpenerUnderTheWaitCursor) {
  const std::string name = "Brief \"an\" Otto\xE9.txt";
  tree.createFile("a/" + name, "x", 100);  // a time before 1980 opens like any other
  tree.createFile("a/z.txt", "x");
  Search(tree.Path("a"));
  const int row = RowOf(name);
  ASSERT_GT(row, 0);
  // Several rows selected: the topmost counts.
  frm.StringGrid1->selectionModel()->select(
      QItemSelection(frm.Results().index(row - 1, 0), frm.Results().index(row - 1, 3)),
      QItemSelectionModel::Select | QItemSelectionModel::Rows);
  frm.StringGrid1->selectionModel()->select(
      QItemSelection(frm.Results().index(2 - row, 0), frm.Results().index(2 - row, 3)),
      QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(frm.SelectedRow(), 1);
  Select(row);
  frm.StringGrid1DblClick(frm.StringGrid1);
  ASSERT_EQ(ui.opened.size(), 1u);
  EXPECT_EQ(ui.opened[0].path, tree.Path("a/" + name));
  EXPECT_TRUE(ui.opened[0].waitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FileCommandTest, DoubleClickOnTheHeaderOrBelowTheRowsActsOnTheSelectedRow) {
  tree.createFile("a/only.txt", "x");
  Search(tree.Path("a"));
  Select(1);
  QWidget* viewport = frm.StringGrid1->viewport();
  const QPoint below(10, viewport->height() - 5);
  ASSERT_FALSE(frm.StringGrid1->indexAt(below).isValid());
  QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, below);
  QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, below);
  QTest::mouseDClick(frm.StringGrid1->horizontalHeader()->viewport(), Qt::LeftButton,
                     Qt::NoModifier, QPoint(20, 5));
  const QRect cell = frm.StringGrid1->visualRect(frm.Results().index(0, 1));
  QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, cell.center());
  ASSERT_EQ(ui.opened.size(), 3u);
  for (const auto& o : ui.opened) EXPECT_EQ(o.path, tree.Path("a/only.txt"));
}

TEST_F(FileCommandTest, OpeningWhatIsNoFileOrFailsShowsItsError) {
  tree.createFile("a/x.qqq", "x");
  tree.createFile("a/y.txt", "x");
  Search(tree.Path("a"));
  const int x = RowOf("x.qqq"), y = RowOf("y.txt");
  const std::string folder = tree.Path("a/");

  // A blank row: the path is empty.
  frm.Results().ClearRow(y);
  Select(y);
  frm.StringGrid1DblClick(frm.StringGrid1);
  // A row whose path is now a folder.
  ::unlink((folder + "x.qqq").c_str());
  ::mkdir((folder + "x.qqq").c_str(), 0755);
  Select(x);
  frm.StringGrid1DblClick(frm.StringGrid1);
  ::rmdir((folder + "x.qqq").c_str());
  tree.createFile("a/x.qqq", "x");
  // The opener fails: no application, file gone meanwhile, unspecified.
  for (int code : {31, 2, 3, 1}) {
    ui.openResult = code;
    frm.StringGrid1DblClick(frm.StringGrid1);
  }
  const QString p = QString::fromStdString(folder + "x.qqq"), f = QString::fromStdString(folder);
  const std::vector<QString> expected = {
      QStringLiteral("Programm \"\" nicht gefunden."),
      QStringLiteral("Programm \"%1\" nicht gefunden.").arg(p),
      QStringLiteral("Die Datei \"%1\" ist nicht mit einer Anwendung verknüpft.").arg(p),
      QStringLiteral("Die Datei \"%1\" wurde nicht gefunden.").arg(p),
      QStringLiteral("Das Verzeichnis \"%1\" wurde nicht gefunden.").arg(f),
      QStringLiteral("Nicht näher spezifizierter Fehler 1"),
  };
  EXPECT_EQ(Texts(), expected);
  for (const auto& m : ui.messages) {
    EXPECT_FALSE(m.errorBox);
    EXPECT_EQ(m.kind, TMsgKind::Error);
    EXPECT_FALSE(m.waitCursor);
  }
  EXPECT_EQ(ui.opened.size(), 4u);
}

// A chain of 300 folders with 32-byte names, files at every 50th level and
// at the bottom: every folder is counted and every file listed, the list
// file holds the full paths as they are, and opening a file whose path no
// application can be handed says so.
TEST_F(FileCommandTest, RowsBelowThePathLimitAreListedSavedAndTooLongToOpen) {
  std::string rel;
  std::vector<std::string> files;
  for (int level = 0; level <= 300; ++level) {
    if (level > 0) rel += std::string(31, 'k') + static_cast<char>('a' + level % 26) + "/";
    if (level % 50 == 0) files.push_back(tree.createFile(rel + (level == 300 ? "bottom.txt" : "f.txt"), "abc"));
  }
  Search(tree.Root());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(frm.FolderCount(), 301);
  EXPECT_EQ(frm.FileCount(), 7);
  EXPECT_EQ(frm.lblDirCount->text(), QStringLiteral("  301 Unterverzeichnissen."));
  EXPECT_TRUE(frm.lblUnreadFolders->isHidden());

  ui.saveAnswer = tree.Path("list.txt");
  QTest::mouseClick(frm.btnSaveList, Qt::LeftButton);
  std::string expected;
  for (const std::string& f : files) expected += f + "\r\n";
  const std::string saved = Slurp(tree.Path("list.txt"));
  EXPECT_EQ(saved.size(), expected.size());
  EXPECT_TRUE(saved == expected);  // in walk order, top first

  const int bottom = RowOf("bottom.txt");
  ASSERT_GT(files.back().size(), 9000u);
  Select(bottom);
  frm.StringGrid1DblClick(frm.StringGrid1);
  EXPECT_TRUE(ui.opened.empty());
  EXPECT_EQ(Texts(), std::vector<QString>{QStringLiteral(
                         "Die Datei \"bottom.txt\" kann nicht mit einer Anwendung geöffnet werden: ihr Pfad ist "
                         "%1 Bytes lang, länger als das System einer Anwendung übergeben kann.")
                                               .arg(QString::fromStdString(FormatGrouped(files.back().size())))});
  // A row above the limit still opens.
  Select(RowOf("f.txt"));
  frm.StringGrid1DblClick(frm.StringGrid1);
  EXPECT_EQ(ui.opened.size(), 1u);
}

// Rows far below the path limit: the duplicate scan reads them and pairs
// the copies, and deleting removes exactly the row's file there (with the
// Delete key in the list view, through the menu in the duplicate view).
TEST_F(FileCommandTest, DuplicateScanAndDeletingWorkBelowThePathLimit) {
  std::string rel;
  for (int level = 0; level < 200; ++level) rel += std::string(31, 'q') + static_cast<char>('a' + level % 26) + "/";
  const std::string copy1 = tree.createFile(rel + "copy1.bin", std::string(3000, 'c'));
  const std::string copy2 = tree.createFile(rel + "copy2.bin", std::string(3000, 'c'));
  const std::string other = tree.createFile(rel + "other.bin", std::string(3000, 'o'));
  const std::string gone = tree.createFile(rel + "gone.txt", "x");
  ASSERT_GT(copy1.size(), 6000u);
  // find sees the files, the test's own stat of them cannot: that is the point.
  struct stat st;
  ASSERT_NE(::lstat(copy1.c_str(), &st), 0);
  Search(tree.Root());
  ASSERT_EQ(frm.FileCount(), 4);

  Select(RowOf("gone.txt"));
  QTest::keyClick(frm.StringGrid1, Qt::Key_Delete);
  EXPECT_TRUE(ui.messages.empty());
  Search(tree.Root());
  EXPECT_EQ(frm.FileCount(), 3);
  EXPECT_EQ(RowOf("gone.txt"), 0);

  frm.btnFindIdentical->click();
  ASSERT_EQ(frm.FileCount(), 2);
  EXPECT_EQ(std::set<std::string>({Cell(1, 1), Cell(2, 1)}), (std::set<std::string>{"copy1.bin", "copy2.bin"}));
  EXPECT_EQ(Cell(1, 4), Cell(2, 4));
  EXPECT_NE(Cell(1, 4), "");
  Select(RowOf("copy2.bin"));
  frm.mnuLoeschen->trigger();
  EXPECT_TRUE(ui.messages.empty());
  Search(tree.Root());
  EXPECT_EQ(frm.FileCount(), 2);
  EXPECT_EQ(RowOf("copy2.bin"), 0);
  EXPECT_NE(RowOf("copy1.bin"), 0);
  EXPECT_NE(RowOf("other.bin"), 0);
}

// The real opener with the machine's xdg-open, kept away from desktops,
// browsers and the user's settings.
class XdgInteraction : public test::RecordingInteraction {
 public:
  TOpenerSettings settings;
  int OpenFile(const std::string& path) override {
    return OpenWithDefaultApplication(path, settings);
  }
};

TEST(RealOpenerWindowTest, FileOfATypeWithoutApplication) {
  if (std::system("command -v xdg-open >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdg-open";
  test::StoreFolder store;
  test::TempTree tree;
  XdgInteraction ui;
  const char* path = std::getenv("PATH");
  ui.settings.environment = {std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
                             "HOME=" + tree.Path("home"),
                             "XDG_CONFIG_HOME=" + tree.Path("cfg"),
                             "XDG_DATA_HOME=" + tree.Path("d"),
                             "XDG_DATA_DIRS=" + tree.Path("d"),
                             "BROWSER=trawlix-test-no-browser"};
  TfrmTrawlix frm(ui);
  const std::string file = tree.createFile("a/x.trawlixunknown", std::string("\0\1", 2));
  frm.FileListBox1->SetDirectory(tree.Path("a"));
  frm.btnSearchClick(frm.btnSearch);
  frm.StringGrid1->selectRow(0);
  frm.StringGrid1DblClick(frm.StringGrid1);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            QStringLiteral("Die Datei \"%1\" ist nicht mit einer Anwendung verknüpft.")
                .arg(QString::fromStdString(file)));
}

// --- Deleting ------------------------------------------------------------

TEST_F(FileCommandTest, DeleteKeyWithAnyModifierDeletesAndBlanksOnlyThatRow) {
  const Qt::KeyboardModifiers mods[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier,
                                        Qt::AltModifier, Qt::ShiftModifier | Qt::ControlModifier};
  for (int i = 0; i < 6; ++i)
    tree.createFile("a/f" + std::to_string(i) + ".txt", std::string(i + 1, 'x'));
  Search(tree.Path("a"));
  const QString fileLabel = frm.lblFileCount->text(), dirLabel = frm.lblDirCount->text();
  const int64_t bytes = frm.TotalBytes();
  for (size_t i = 0; i < std::size(mods); ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    const int row = RowOf(name);
    ASSERT_GT(row, 0) << name;
    std::vector<std::string> others;
    for (int r = 1; r <= 6; ++r)
      if (r != row) others.push_back(Cell(r, 0) + Cell(r, 1) + Cell(r, 2) + Cell(r, 3));
    Select(row);
    QTest::keyClick(frm.StringGrid1, Qt::Key_Delete, mods[i]);
    EXPECT_FALSE(Exists(tree.Path("a/" + name))) << i;
    EXPECT_TRUE(frm.Results().Store().IsBlank(row));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(Cell(row, c), "");
    std::vector<std::string> after;
    for (int r = 1; r <= 6; ++r)
      if (r != row) after.push_back(Cell(r, 0) + Cell(r, 1) + Cell(r, 2) + Cell(r, 3));
    EXPECT_EQ(after, others);
  }
  EXPECT_TRUE(Exists(tree.Path("a/f5.txt")));
  EXPECT_EQ(frm.FileCount(), 6);
  EXPECT_EQ(frm.TotalBytes(), bytes);
  EXPECT_EQ(frm.lblFileCount->text(), fileLabel);
  EXPECT_EQ(frm.lblDirCount->text(), dirLabel);
  EXPECT_TRUE(ui.messages.empty());
  // Other keys do nothing.
  Select(RowOf("f5.txt"));
  QTest::keyClick(frm.StringGrid1, Qt::Key_Backspace);
  EXPECT_TRUE(Exists(tree.Path("a/f5.txt")));
}

TEST_F(FileCommandTest, DeletingRefusesSilentlyWhatIsNotTheListedDeletableFile) {
  tree.createFile("a/ro.txt", "r");
  tree.createFile("a/changed.txt", "c");
  const std::string target = tree.createFile("b/target.txt", "t");
  tree.symlink(target, "a/link.txt");
  Search(tree.Path("a"));
  ::chmod(tree.Path("a/ro.txt").c_str(), 0444);
  tree.createFile("a/changed.txt", "changed after the search");
  for (const char* name : {"ro.txt", "changed.txt"}) {
    const int row = RowOf(name);
    Select(row);
    QTest::keyClick(frm.StringGrid1, Qt::Key_Delete);
    EXPECT_TRUE(Exists(tree.Path(std::string("a/") + name))) << name;
    EXPECT_EQ(Cell(row, 1), name);
  }
  // The read-only file says nothing; the changed one is named.
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, TMsgKind::Error);
  EXPECT_EQ(ui.messages[0].text,
            QString::fromStdString("Die Datei \"" + tree.Path("a/changed.txt") +
                                   "\" wurde nach der Suche geändert oder ersetzt und wird nicht gelöscht."));
  ui.messages.clear();
  // A symbolic link goes; its target stays.
  Select(RowOf("link.txt"));
  QTest::keyClick(frm.StringGrid1, Qt::Key_Delete);
  EXPECT_FALSE(Exists(tree.Path("a/link.txt")));
  EXPECT_TRUE(Exists(target));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FileCommandTest, DuplicateViewDeletesThroughTheMenuOneOfTwoRowsOfAFile) {
  tree.createFile("a/dup.bin", std::string(2000, 'd'));
  tree.createFile("a/other.bin", std::string(2000, 'd'));
  Search(tree.Path("a"));
  // The same file in rows 1 and 2, as a scan can list it.
  const int dup = RowOf("dup.bin");
  std::vector<int> sources = {dup, dup, 3 - dup};
  frm.Results().Store().RebuildFrom(sources);
  frm.Results().Store().SetFileCount(3);
  frm.Results().SetRowCount(4);
  ShowAsDuplicates();
  frm.Results().RowsChanged(1, 3);

  Select(1);
  frm.mnuLoeschen->trigger();
  EXPECT_FALSE(Exists(tree.Path("a/dup.bin")));
  for (int c = 0; c < 5; ++c) EXPECT_EQ(Cell(1, c), "") << c;
  EXPECT_EQ(Cell(2, 1), "dup.bin");
  EXPECT_EQ(Cell(2, 4), "-1002");

  // The other row of that file: nothing to open, nothing to delete.
  Select(2);
  frm.StringGrid1DblClick(frm.StringGrid1);
  frm.mnuLoeschen->trigger();
  EXPECT_EQ(Texts(),
            std::vector<QString>{QStringLiteral("Programm \"%1\" nicht gefunden.")
                                     .arg(QString::fromStdString(tree.Path("a/dup.bin")))});
  EXPECT_EQ(Cell(2, 1), "dup.bin");
  EXPECT_TRUE(Exists(tree.Path("a/other.bin")));
  EXPECT_EQ(frm.FileCount(), 3);
}

TEST_F(FileCommandTest, DeleteDuringASearchDoesNothing) {
  for (const char* f : {"a/1.txt", "a/b/2.txt", "a/b/c/3.txt", "a/d/4.txt", "a/d/e/5.txt"})
    tree.createFile(f, "x");
  std::string listed;
  Search(tree.Path("a"), [&] {
    if (!listed.empty() || frm.FileCount() == 0) return;
    listed = frm.Results().Store().FullPath(1);
    Select(1);
    QTest::keyClick(frm.StringGrid1, Qt::Key_Delete);
    frm.mnuLoeschenClick(frm.mnuLoeschen);
  });
  ASSERT_FALSE(listed.empty());
  EXPECT_TRUE(Exists(listed));
  EXPECT_EQ(frm.FileCount(), 5);
  EXPECT_FALSE(frm.Results().Store().IsBlank(1));
}


// Delete acts only on a row the user highlighted in the table as it is now.
TEST_F(FileCommandTest, DeleteNeedsAHighlightedRowOfTheTableAsItIsNow) {
  for (const char* f : {"a/1.txt", "a/2.txt", "a/3.txt", "a/4.txt"}) tree.createFile(f, "x");
  Search(tree.Path("a"));
  // Only the focus frame: a current cell without a highlight.
  frm.StringGrid1->selectionModel()->setCurrentIndex(frm.Results().index(0, 0),
                                                     QItemSelectionModel::NoUpdate);
  ASSERT_FALSE(frm.StringGrid1->selectionModel()->hasSelection());
  EXPECT_EQ(frm.SelectedRow(), 0);
  QTest::keyClick(frm.StringGrid1, Qt::Key_Delete);
  frm.mnuLoeschenClick(frm.mnuLoeschen);
  // A highlight made before a rewrite of the table is gone after it.
  const struct {
    const char* what;
    std::function<void()> rewrite;
  } rewrites[] = {
      {"a new search", [&] { Search(tree.Path("a")); }},
      {"a sort", [&] { frm.mnuNameSortClick(frm.mnuNameSort); }},
  };
  for (const auto& r : rewrites) {
    SCOPED_TRACE(r.what);
    Select(3);
    r.rewrite();
    EXPECT_EQ(frm.SelectedRow(), 0);
    QTest::keyClick(frm.StringGrid1, Qt::Key_Delete);
  }
  for (const char* f : {"a/1.txt", "a/2.txt", "a/3.txt", "a/4.txt"}) EXPECT_TRUE(Exists(tree.Path(f))) << f;
  // The highlighted row goes, the one drawn highlighted.
  Select(2);
  const std::string chosen = frm.Results().Store().FullPath(2);
  QTest::keyClick(frm.StringGrid1, Qt::Key_Delete);
  EXPECT_FALSE(Exists(chosen));
}

// Keeping the first row of each group and deleting the others leaves a
// copy of every group, even when a copy is removed behind the program's back.
TEST_F(FileCommandTest, DuplicateViewNeverDeletesTheLastCopy) {
  tree.createFile("a/x.bin", std::string(2000, 'x'));
  tree.createFile("c/y.bin", std::string(2000, 'x'));
  tree.createFile("e/z.bin", std::string(2000, 'x'));
  Search(tree.Root());
  frm.btnFindIdentical->click();
  ASSERT_EQ(frm.FileCount(), 4);  // x, y, y, z
  ASSERT_TRUE(frm.DuplicateView());
  EXPECT_EQ(frm.SelectedRow(), 0);
  ::unlink(tree.Path("e/z.bin").c_str());  // another program removes a copy
  // Row 1 is kept; rows 2 to 4 are deleted one after another.
  for (int row = 2; row <= 4; ++row) {
    Select(row);
    frm.mnuLoeschen->trigger();
  }
  EXPECT_TRUE(Exists(tree.Path("a/x.bin")));
  EXPECT_FALSE(Exists(tree.Path("c/y.bin")));
  // Now row 1 is the last copy: refused, with its name.
  Select(1);
  frm.mnuLoeschen->trigger();
  EXPECT_TRUE(Exists(tree.Path("a/x.bin")));
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().kind, TMsgKind::Error);
  EXPECT_TRUE(ui.messages.back().text.startsWith(
      QString::fromStdString("Die Datei \"" + tree.Path("a/x.bin") + "\" wird nicht gelöscht")));
  EXPECT_EQ(Cell(1, 1), "x.bin");
}

}  // namespace
}  // namespace trawlix
