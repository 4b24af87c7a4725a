// Cleaning up the duplicate view: the groups' backgrounds, one row to the
// desktop's trash, keeping one file of each group, and the scan's progress.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "AppTestSupport.h"
#include "HomeTrash.h"
#include "RecordingInteraction.h"
#include "TempTree.h"
#include "app/Tx_main.h"
#include "results/DateText.h"
#include "results/DeleteFile.h"

namespace trawlix {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Two groups: x, y, z of 2000 bytes (rows x, y, y, z) and p, q of 3000
// bytes (rows p, q).
class CleanupTest : public ::testing::Test {
 protected:
  CleanupTest() : trash(test::HomeTrash::Get()), frm(ui) {
    trash.Empty();
    frm.Results().SetDateFormat(&german);
    frm.show();
    for (const char* f : {"a/x.bin", "c/y.bin", "e/z.bin"}) tree.createFile(f, std::string(2000, 'x'));
    for (const char* f : {"b/p.bin", "d/q.bin"}) tree.createFile(f, std::string(3000, 'p'));
    test::RunSearch(frm, tree.Root(), QStringLiteral("*.*"), nullptr);
    frm.btnFindIdentical->click();
  }
  ~CleanupTest() override { trash.Empty(); }

  void Select(int row) {
    frm.StringGrid1->selectionModel()->setCurrentIndex(frm.Results().index(row - 1, 0),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
  }
  std::string Name(int row) { return frm.Results().CellText(row, 1); }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (int r = 1; r <= frm.FileCount(); ++r) out.push_back(Name(r));
    return out;
  }
  QString LastMessage() { return ui.messages.empty() ? QString() : ui.messages.back().text; }

  test::HomeTrash& trash;
  TDateTextFormat german;
  test::StoreFolder store;
  test::RecordingInteraction ui;
  TfrmTrawlix frm;
  test::TempTree tree;
};

TEST_F(CleanupTest, RowsOfAGroupShareTheirBackgroundUntilTheNextSearch) {
  ASSERT_EQ(Names(), (std::vector<std::string>{"x.bin", "y.bin", "y.bin", "z.bin", "p.bin", "q.bin"}));
  for (int row = 1; row <= 6; ++row) EXPECT_EQ(frm.Results().AlternateGroup(row), row >= 5) << row;
  test::RunSearch(frm, tree.Root(), QStringLiteral("*.*"), nullptr);
  for (int row = 1; row <= frm.FileCount(); ++row) EXPECT_FALSE(frm.Results().AlternateGroup(row)) << row;
}

TEST_F(CleanupTest, OneRowGoesToTheTrashNeverTheLastCopy) {
  ASSERT_EQ(frm.PopupMenu2->actions().indexOf(frm.mnuPapierkorb), 1);
  EXPECT_EQ(frm.mnuPapierkorb->text(), QStringLiteral("In den Papierkorb verschieben"));
  Select(5);  // p
  frm.mnuPapierkorb->trigger();
  EXPECT_FALSE(Exists(tree.Path("b/p.bin")));
  EXPECT_EQ(test::ReadAll(trash.Files() + "p.bin"), std::string(3000, 'p'));
  EXPECT_TRUE(frm.Results().Store().IsBlank(5));
  // The middle copy of three shows twice: both its rows go with it.
  Select(3);
  frm.mnuPapierkorb->trigger();
  EXPECT_FALSE(Exists(tree.Path("c/y.bin")));
  EXPECT_EQ(Names(), (std::vector<std::string>{"x.bin", "", "", "z.bin", "", "q.bin"}));
  // q is the last copy now.
  Select(6);
  frm.mnuPapierkorb->trigger();
  EXPECT_TRUE(Exists(tree.Path("d/q.bin")));
  EXPECT_EQ(LastMessage(), QString::fromStdString(LastCopyText(tree.Path("d/q.bin"), TRemoval::Trash)));
  // Nothing highlighted: nothing moves.
  frm.StringGrid1->selectionModel()->clearSelection();
  frm.mnuPapierkorb->trigger();
  auto moved = trash.Names();
  std::sort(moved.begin(), moved.end());
  EXPECT_EQ(moved, (std::vector<std::string>{"p.bin", "y.bin"}));
}

TEST_F(CleanupTest, KeepOneAsksFirstAndKeepsTheFirstOfEachGroup) {
  frm.mnuErsteBehalten->trigger();
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0].text,
            QStringLiteral("3 Dateien mit zusammen 7.000 Bytes werden in den Papierkorb verschoben; "
                           "von jeder Gruppe bleibt die erste Datei. Fortfahren?"));
  EXPECT_EQ(ui.questions[0].accept, QStringLiteral("&Verschieben"));
  EXPECT_EQ(ui.questions[0].cancel, QStringLiteral("Abbrechen"));
  EXPECT_TRUE(trash.Names().empty());  // cancelled
  EXPECT_TRUE(ui.messages.empty());

  ui.questionAnswer = true;
  frm.mnuErsteBehalten->trigger();
  EXPECT_EQ(Names(), (std::vector<std::string>{"x.bin", "", "", "", "p.bin", ""}));
  for (const char* kept : {"a/x.bin", "b/p.bin"}) EXPECT_TRUE(Exists(tree.Path(kept))) << kept;
  auto moved = trash.Names();
  std::sort(moved.begin(), moved.end());
  EXPECT_EQ(moved, (std::vector<std::string>{"q.bin", "y.bin", "z.bin"}));
  EXPECT_EQ(LastMessage(), QStringLiteral("3 Dateien mit 7.000 Bytes in den Papierkorb verschoben."));
  // Again: every group is down to one file.
  frm.mnuErsteBehalten->trigger();
  EXPECT_EQ(LastMessage(), QStringLiteral("Es gibt keine Kopien zum Verschieben."));
}

TEST_F(CleanupTest, KeepOneCountsWhatChangedAndWhatWasLeftByAStop) {
  struct Case {
    const char* what;
    std::function<void()> before;  // after the question, before the files move
    QString message;
  } cases[] = {
      {"a changed file and a last copy",
       [&] {
         tree.createFile("e/z.bin", std::string(2000, 'z'));  // rewritten: not the file compared
         ::unlink(tree.Path("b/p.bin").c_str());               // q becomes the last copy
       },
       QStringLiteral("1 Datei mit 2.000 Bytes in den Papierkorb verschoben.\n"
                      "1 Datei nach der Suche geändert oder ersetzt: nicht verschoben.\n"
                      "1 Datei als letzte unveränderte Kopie behalten.")},
      {"a stop after the first file",
       [&] {
         frm.CleanupIdleEvery = std::chrono::milliseconds(0);
         auto* poll = new QTimer(&frm);
         poll->setInterval(0);
         QObject::connect(poll, &QTimer::timeout, [&, poll] {
           if (!trash.Names().empty()) {
             frm.btnStop->click();
             poll->stop();
           }
         });
         poll->start();
       },
       QStringLiteral("1 Datei mit 2.000 Bytes in den Papierkorb verschoben.\n"
                      "Abgebrochen: 2 Dateien nicht mehr geprüft.")},
  };
  ui.questionAnswer = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ui.onQuestion = c.before;
    frm.mnuErsteBehalten->trigger();
    EXPECT_EQ(LastMessage(), c.message);
    EXPECT_EQ(trash.Names(), std::vector<std::string>{"y.bin"});
    EXPECT_TRUE(Exists(tree.Path("a/x.bin")));
    EXPECT_TRUE(Exists(tree.Path("d/q.bin")));
    // Put things back for the next case: a fresh search and scan.
    trash.Empty();
    tree.createFile("c/y.bin", std::string(2000, 'x'));
    tree.createFile("e/z.bin", std::string(2000, 'x'));
    tree.createFile("b/p.bin", std::string(3000, 'p'));
    test::RunSearch(frm, tree.Root(), QStringLiteral("*.*"), nullptr);
    frm.btnFindIdentical->click();
    ASSERT_EQ(frm.FileCount(), 6);
  }
}

// The scan shows its progress in the window title and takes it away at
// the end.
TEST_F(CleanupTest, ScanProgressShowsInTheTitleWhileItRuns) {
  const QString plain = frm.windowTitle();
  EXPECT_EQ(plain, QStringLiteral("Vendrel-Tools: Dateien suchen"));
  test::RunSearch(frm, tree.Root(), QStringLiteral("*.*"), nullptr);
  QStringList seen;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (seen.isEmpty() || seen.back() != frm.windowTitle()) seen << frm.windowTitle();
  });
  poll.start();
  frm.btnFindIdentical->click();
  poll.stop();
  EXPECT_EQ(frm.windowTitle(), plain);
  const QRegularExpression shape(QStringLiteral("^(\\d+) % – Vendrel-Tools: Dateien suchen$"));
  int last = -1;
  for (const QString& t : seen) {
    const auto m = shape.match(t);
    ASSERT_TRUE(m.hasMatch()) << t.toStdString();
    EXPECT_GE(m.captured(1).toInt(), last);
    last = m.captured(1).toInt();
    EXPECT_LE(last, 100);
  }
  EXPECT_FALSE(seen.isEmpty());
}

}  // namespace
}  // namespace trawlix
