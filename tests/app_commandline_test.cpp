// The command line: what ParseCommandLine makes of the arguments, the
// complaint about a folder argument that names no folder, and the window
// started in a given folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <cerrno>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "PermissionOverride.h"
#include "RecordingInteraction.h"
#include "TempTree.h"
#include "app/Application.h"
#include "app/Tx_main.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "tree/FileListBox.h"
#include "tree/FolderTree.h"

namespace trawlix {
namespace {

TEST(CommandLineTest, OptionsFolderAndUsageErrors) {
  using A = TCommandLine;
  const struct {
    std::vector<std::string> args;
    A::TAction action;
    std::optional<std::string> folder;
    std::string error;
  } cases[] = {
      {{}, A::Run, std::nullopt, ""},
      {{"Dokumente"}, A::Run, "Dokumente", ""},
      {{""}, A::Run, "", ""},  // given, though empty: the caller says it is no folder
      {{"caf\xE9 "}, A::Run, "caf\xE9 ", ""},
      {{"-"}, A::Run, "-", ""},
      {{"--", "--help"}, A::Run, "--help", ""},
      {{"-h"}, A::ShowHelp, std::nullopt, ""},
      {{"Dokumente", "--help"}, A::ShowHelp, std::nullopt, ""},
      {{"--version"}, A::ShowVersion, std::nullopt, ""},
      {{"--version", "--help"}, A::ShowVersion, std::nullopt, ""},
      {{"--frob", "--help"}, A::UsageError, std::nullopt, "unbekannte Option \u201E--frob\u201C"},
      {{"-v"}, A::UsageError, std::nullopt, "unbekannte Option \u201E-v\u201C"},
      {{"-platform", "offscreen"}, A::UsageError, std::nullopt, "unbekannte Option \u201E-platform\u201C"},
      {{"a", "b"}, A::UsageError, std::nullopt, "nur ein Verzeichnis kann angegeben werden"},
      {{"--", "a", "b"}, A::UsageError, std::nullopt, "nur ein Verzeichnis kann angegeben werden"},
  };
  for (const auto& c : cases) {
    std::string trace;
    for (const auto& a : c.args) trace += "[" + a + "] ";
    SCOPED_TRACE(trace);
    const TCommandLine got = ParseCommandLine(c.args);
    EXPECT_EQ(got.Action, c.action);
    if (c.action == A::Run) {
      EXPECT_EQ(got.Folder, c.folder);
    }
    EXPECT_EQ(got.Error, c.error);
  }
}

TEST(CommandLineTest, UsageNamesEveryOptionAndTheExitCodes) {
  const std::string usage = UsageText();
  EXPECT_EQ(usage.rfind("Aufruf: trawlix [OPTION] [VERZEICHNIS]\n", 0), 0u);
  for (const char* part : {"-h, --help", "--version", "2 bei einem falschen Aufruf"})
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  EXPECT_EQ(usage.back(), '\n');
}

TEST(CommandLineTest, StartFolderErrorTellsWhyAPathIsNoFolder) {
  test::TempTree tree;
  tree.createDir("Ordner");
  tree.createFile("datei.txt", "x");
  ASSERT_EQ(::symlink("Ordner", tree.Path("verweis").c_str()), 0);
  ASSERT_EQ(::symlink("fehlt", tree.Path("ins-leere").c_str()), 0);
  const struct {
    std::string path;
    std::string error;  // after the quoted path
  } cases[] = {
      {tree.Path("Ordner"), ""},
      {tree.Path("Ordner/"), ""},
      {tree.Path("verweis"), ""},
      {tree.Path("datei.txt"), " ist kein Verzeichnis.\n"},
      {tree.Path("fehlt"), " gibt es nicht.\n"},
      {tree.Path("ins-leere"), " gibt es nicht.\n"},
      {tree.Path("datei.txt/unter"), " gibt es nicht.\n"},
      {"", " gibt es nicht.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string expected = c.error.empty() ? "" : "trawlix: \u201E" + c.path + "\u201C" + c.error;
    EXPECT_EQ(StartFolderError(c.path), expected);
  }

  // Any other failure gives the error's own text.
  tree.createDir("zu/innen");
  ASSERT_EQ(::chmod(tree.Path("zu").c_str(), 0), 0);
  test::WithoutPermissionOverride noOverride;
  struct stat st {};
  if (::stat(tree.Path("zu/innen").c_str(), &st) == 0) GTEST_SKIP() << "this process cannot be refused access";
  ASSERT_EQ(errno, EACCES);
  EXPECT_EQ(StartFolderError(tree.Path("zu/innen")),
            "trawlix: \u201E" + tree.Path("zu/innen") + "\u201C: " + ErrnoText(EACCES) + "\n");
}

// The window started in a folder: the tree selects it, the file list shows
// it and the first search searches it, whatever folder the settings hold.
class StartFolderTest : public ::testing::Test {
 protected:
  StartFolderTest() {
    tree.createFile("gespeichert/alt.txt", "1");
    tree.createFile("gegeben/eins.txt", "22");
    tree.createFile("gegeben/unten/zwei.txt", "333");
    tree.createFile(".verborgen/innen/eins.txt", "4444");  // shown while it is given
    tree.createFile(".verborgen/innen/unten/zwei.txt", "55555");
    ::symlink("gegeben", tree.Path("verweis").c_str());
    store.Write("[General]\nWinMainTop=0\nWinMainLeft=0\nWinMainHeight=600\nWinMainWidth=800\nLastDir=" +
                tree.Path("gespeichert") + "\n");
  }
  std::unique_ptr<TfrmTrawlix> Start(const std::string& folder) {
    return std::make_unique<TfrmTrawlix>(ui, nullptr, folder);
  }

  test::StoreFolder store;
  test::RecordingInteraction ui;
  test::TempTree tree;
};

TEST_F(StartFolderTest, GivenFolderComesBeforeTheStoredOne) {
  const struct {
    std::string given;
    std::string shown;  // the tree's selection and the file list's folder
  } cases[] = {
      {tree.Path("gegeben"), tree.Path("gegeben")},
      {tree.Path("gegeben/"), tree.Path("gegeben")},
      {tree.Path("gegeben/unten/.."), tree.Path("gegeben")},
      {tree.Path("verweis"), tree.Path("verweis")},  // a link stays as written
      {tree.Path(".verborgen/innen"), tree.Path(".verborgen/innen")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    auto frm = Start(c.given);
    EXPECT_TRUE(frm->StartedInFolder());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), c.shown);
    EXPECT_EQ(frm->FileListBox1->Directory(), c.shown);

    frm->btnSearchClick(frm->btnSearch);
    ASSERT_EQ(frm->FileCount(), 2);
    std::set<std::string> found;
    for (int row = 1; row <= 2; ++row)
      found.insert(frm->Results().CellText(row, TResultTable::colFolder) +
                   frm->Results().CellText(row, TResultTable::colName));
    EXPECT_EQ(found, (std::set<std::string>{c.shown + "/eins.txt", c.shown + "/unten/zwei.txt"}));
  }
}

TEST_F(StartFolderTest, FolderTheListCannotOpenLeavesTheStoredOne) {
  auto frm = Start("");
  EXPECT_FALSE(frm->StartedInFolder());
  EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), tree.Path("gespeichert"));

  tree.createDir("gesperrt");
  ASSERT_EQ(::chmod(tree.Path("gesperrt").c_str(), 0), 0);
  test::WithoutPermissionOverride noOverride;
  const int probe = ::open(tree.Path("gesperrt/.").c_str(), O_RDONLY | O_DIRECTORY);
  if (probe >= 0) {
    ::close(probe);
    GTEST_SKIP() << "this process cannot be refused access to a folder";
  }
  frm = Start(tree.Path("gesperrt"));
  EXPECT_FALSE(frm->StartedInFolder());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Dateizugriff verweigert."));
  EXPECT_EQ(frm->VirtualExplorerTreeview1->SelectedPath(), tree.Path("gespeichert"));
  EXPECT_EQ(frm->FileListBox1->Directory(), tree.Path("gespeichert"));
}

}  // namespace
}  // namespace trawlix
