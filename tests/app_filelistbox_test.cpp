#include "tree/FileListBox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QLineEdit>

#include "AppTestSupport.h"
#include "TempTree.h"
#include "platform/Errors.h"

namespace trawlix {
namespace {

QCollator German() {
  QCollator c(QLocale(QLocale::German, QLocale::Germany));
  c.setCaseSensitivity(Qt::CaseInsensitive);
  return c;
}

std::vector<std::string> Names(const std::vector<TFileListEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

class ReadFileNamesTest : public ::testing::Test {
 protected:
  ReadFileNamesTest() {
    for (const char* n : {"b.txt", "A.TXT", "\xC3\xA4.txt", "Z.txt", ".hidden", ".hid.txt", "caf\xE9.dat",
                          "tab\tname", "Run.EXE", "noext"})
      tree.createFile(n);
    tree.createDir("sub.txt");
    tree.symlink("b.txt", "link.txt");
    if (::mkfifo(tree.Path("pipe.txt").c_str(), 0644) != 0) throw std::runtime_error("mkfifo");
  }
  std::vector<std::string> Read(const std::string& masks) {
    std::vector<TFileListEntry> entries;
    EXPECT_EQ(ReadFileNames(tree.Root(), masks, German(), entries), 0);
    return Names(entries);
  }
  test::TempTree tree;
};

TEST_F(ReadFileNamesTest, FilesOnlyInCaseInsensitiveOrderWithTheirBytes) {
  // No folders, hidden entries or FIFOs; the link is an entry of its own.
  EXPECT_EQ(Read("*.*"), (std::vector<std::string>{"A.TXT", "\xC3\xA4.txt", "b.txt", "caf\xE9.dat", "link.txt",
                                                   "noext", "Run.EXE", "tab\tname", "Z.txt"}));
  std::vector<TFileListEntry> entries;
  ASSERT_EQ(ReadFileNames(tree.Root(), "caf*", German(), entries), 0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, QStringLiteral("caf\\xE9.dat"));  // stray bytes drawn as \xNN
  EXPECT_FALSE(entries[0].program);
  ASSERT_EQ(ReadFileNames(tree.Root(), "run.exe", German(), entries), 0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].program);
}

TEST_F(ReadFileNamesTest, EachMaskInTurn) {
  const struct {
    const char* masks;
    std::vector<std::string> names;
  } cases[] = {
      {"*.txt", {"A.TXT", "\xC3\xA4.txt", "b.txt", "link.txt", "Z.txt"}},
      {"*.dat;Z*", {"caf\xE9.dat", "Z.txt"}},
      {"b*;*.TXT", {"A.TXT", "\xC3\xA4.txt", "b.txt", "b.txt", "link.txt", "Z.txt"}},  // listed per mask
      {"*.", {"noext", "tab\tname"}},
      {"*.pas", {}},
      {"", {}},
      {";;", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.masks), c.names) << c.masks;
}

TEST(ReadFileNames, FolderErrorsAsCodes) {
  test::TempTree tree;
  std::vector<TFileListEntry> entries;
  EXPECT_EQ(ReadFileNames(tree.Path("missing"), "*.*", German(), entries), kErrFileNotFound);
  EXPECT_EQ(ReadFileNames(tree.createFile("file"), "*.*", German(), entries), kErrPathNotFound);
  EXPECT_TRUE(entries.empty());
}

TEST(ReadFileNames, BusyFromThe101stEntry) {
  for (const int count : {100, 101, 250}) {
    test::TempTree tree;
    for (int i = 0; i < count; ++i) tree.createFile(std::string("f").append(std::to_string(i)));
    int busy = 0;
    std::vector<TFileListEntry> entries;
    ASSERT_EQ(ReadFileNames(tree.Root(), "*.*", German(), entries, [&] { ++busy; }), 0);
    EXPECT_EQ(entries.size(), static_cast<size_t>(count));
    EXPECT_EQ(busy, count > 100 ? 1 : 0) << count;
  }
}

TEST(FileListPictures, ProgramsByTheirEnding) {
  const struct {
    const char* name;
    bool program;
  } cases[] = {{"a.exe", true}, {"A.COM", true}, {"x.Bat", true}, {"y.pif", true}, {".exe", true},
               {"exe", false},  {"a.exe.txt", false}, {"a.ex", false}, {"aexe", false}, {"a.\xC3\xA9xe", false}};
  for (const auto& c : cases) EXPECT_EQ(IsProgramName(c.name), c.program) << c.name;
  EXPECT_NE(FileListIcon(true).pixmap(16, 16).toImage(), FileListIcon(false).pixmap(16, 16).toImage());
}

class FileListBoxTest : public ::testing::Test {
 protected:
  FileListBoxTest() { list.SetFileEdit(&edit); }
  test::TempTree tree;
  QLineEdit edit;
  TFileListBox list;
};

TEST_F(FileListBoxTest, MovesToNormalFoldersAndKeepsItsStateWhenAFolderCannotBeRead) {
  tree.createFile("a/one");
  tree.createFile("b/two");
  list.SetDirectory(tree.Path("a/../a/./"));
  EXPECT_EQ(list.Directory(), tree.Path("a"));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(edit.text(), QStringLiteral("*.*"));

  // The same folder spelt otherwise is no move: the typed text stays.
  edit.setText(QStringLiteral("typed"));
  list.SetDirectory(tree.Path("a/"));
  EXPECT_EQ(edit.text(), QStringLiteral("typed"));

  try {
    list.SetDirectory(tree.Path("b/two"));
    FAIL() << "a file is no folder";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrPathNotFound);
  }
  EXPECT_EQ(list.Directory(), tree.Path("a"));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Entry(0).name, "one");

  list.SetDirectory("/");
  EXPECT_EQ(list.Directory(), "/");
}

TEST_F(FileListBoxTest, ManyEntriesRestoreTheCursorAndAMaskChangeRereads) {
  for (int i = 0; i < 150; ++i) tree.createFile(std::string("f").append(std::to_string(i)).append(i % 2 ? ".txt" : ".dat"));
  list.SetDirectory(tree.Root());
  EXPECT_EQ(list.Count(), 150);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  edit.setText(QStringLiteral("typed"));
  list.SetMask("*.txt");
  EXPECT_EQ(list.Count(), 75);
  EXPECT_EQ(edit.text(), QStringLiteral("*.txt"));
  EXPECT_EQ(edit.selectedText(), QStringLiteral("*.txt"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The same mask again reads nothing: the typed text stays.
  edit.setText(QStringLiteral("typed"));
  list.SetMask("*.txt");
  EXPECT_EQ(edit.text(), QStringLiteral("typed"));
}

}  // namespace
}  // namespace trawlix
