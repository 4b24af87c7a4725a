#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>

#include "TempTree.h"
#include "platform/DirEnum.h"
#include "platform/Errors.h"

namespace trawlix {

using test::TempTree;

namespace {

std::map<std::string, TSearchRec> ListAll(const std::string& pattern, uint32_t attrMask,
                                          int* firstResult = nullptr) {
  std::map<std::string, TSearchRec> out;
  TSearchRec rec;
  int r = FirstEntry(pattern, attrMask, rec);
  if (firstResult) *firstResult = r;
  while (r == 0) {
    out[rec.Name] = rec;
    r = NextEntry(rec);
  }
  EndEntries(rec);
  return out;
}

}  // namespace

TEST(DirEnum, AttributesSizesAndNames) {
  TempTree t;
  t.createFile("plain.txt", "12345");
  t.createFile(".hidden", "x");
  t.createFile("ro.txt", "r");
  ::chmod(t.Path("ro.txt").c_str(), 0444);
  t.createDir("sub");
  t.symlink("plain.txt", "link");
  t.symlink("sub", "dirlink");
  ASSERT_EQ(::mkfifo(t.Path("fifo").c_str(), 0644), 0);
  {  // a sparse file: 1 MiB with nothing written
    const int fd = ::open(t.Path("sparse").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(::ftruncate(fd, 1 << 20), 0);
    ::close(fd);
  }
  t.createFile("tab\tnew\nline", "");
  t.createFile("bad\xff\xfe", "");

  const auto all = ListAll(t.Root() + "*.*", faAnyFile);
  EXPECT_EQ(all.at("plain.txt").Attr, faArchive);
  EXPECT_EQ(all.at("plain.txt").Size, 5u);
  EXPECT_EQ(all.at("plain.txt").FindData.nFileSizeLow, 5u);
  EXPECT_EQ(all.at("plain.txt").FindData.cFileName, "plain.txt");
  EXPECT_EQ(all.at(".hidden").Attr, faArchive | faHidden);
  EXPECT_EQ(all.at("ro.txt").Attr, faArchive | faReadOnly);
  EXPECT_EQ(all.at("sub").Attr, faDirectory);
  EXPECT_EQ(all.at("sub").Size, 0u);
  EXPECT_EQ(all.at("link").Attr, faReparsePoint);  // never followed
  EXPECT_EQ(all.at("link").Size, 9u);               // the link's own size
  EXPECT_EQ(all.at("dirlink").Attr, faReparsePoint);
  EXPECT_EQ(all.at("fifo").Attr, faSysFile);
  EXPECT_EQ(all.at("sparse").Attr, faArchive | faSparseFile);
  EXPECT_EQ(all.at("sparse").Size, 1u << 20);
  EXPECT_TRUE(all.count("tab\tnew\nline"));
  EXPECT_TRUE(all.count("bad\xff\xfe"));
  EXPECT_TRUE(all.count("."));
  EXPECT_TRUE(all.count(".."));
  EXPECT_NE(all.at("plain.txt").Time, 0);
  EXPECT_NE(all.at("plain.txt").FindData.ftLastWriteTime, 0u);
}

TEST(DirEnum, PassedOverAttributesFollowTheMask) {
  TempTree t;
  t.createFile("a.txt");
  t.createFile(".h.txt");
  t.createDir("d.txt");
  // Mask 0x20 passes over hidden, system and directory entries.
  auto plain = ListAll(t.Root() + "*.txt", faArchive);
  EXPECT_EQ(plain.size(), 1u);
  EXPECT_TRUE(plain.count("a.txt"));
  auto withDirs = ListAll(t.Root() + "*.txt", faArchive | faDirectory);
  EXPECT_EQ(withDirs.size(), 2u);
  auto everything = ListAll(t.Root() + "*.txt", 0x37);
  EXPECT_EQ(everything.size(), 3u);
}

TEST(DirEnum, MaskWithoutExtensionSelectsOnlyNamesWithoutADot) {
  TempTree t;
  t.createFile("Makefile");
  t.createFile("main.c");
  const auto names = ListAll(t.Root() + "*.", faArchive);
  EXPECT_EQ(names.size(), 1u);
  EXPECT_TRUE(names.count("Makefile"));
}

TEST(DirEnum, Failures) {
  TempTree t;
  t.createFile("file", "x");
  int r = -1;
  EXPECT_TRUE(ListAll(t.Root() + "missing/*.*", 0x37, &r).empty());
  EXPECT_EQ(r, kErrFileNotFound);
  EXPECT_TRUE(ListAll(t.Root() + "file/*.*", 0x37, &r).empty());
  EXPECT_EQ(r, kErrPathNotFound);
  EXPECT_TRUE(ListAll(t.Root() + "*.none", 0x37, &r).empty());
  EXPECT_EQ(r, kErrFileNotFound);
  EXPECT_TRUE(ListAll(t.Root(), 0x37, &r).empty());  // no mask at all
  EXPECT_EQ(r, kErrFileNotFound);
  EXPECT_TRUE(ListAll(t.Root() + std::string(5000, 'x') + "/*.*", 0x37, &r).empty());
  EXPECT_EQ(r, kErrPathNotFound);

  TSearchRec rec;
  EXPECT_EQ(NextEntry(rec), kErrNoMoreFiles);  // never opened
  EndEntries(rec);
}

// A folder whose path is longer than the system takes in one call is read
// all the same, a link on the way followed as in any path.
TEST(DirEnum, FolderBeyondThePathLimit) {
  TempTree t;
  std::string rel = "real/";
  for (int i = 0; i < 40; ++i) rel += std::string(120, 'a' + i % 26) + "/";
  t.createFile(rel + "deep.txt", "12345");
  t.symlink(t.Path("real"), "link");
  for (const std::string& start : {t.Path(rel), t.Path("link/" + rel.substr(5))}) {
    ASSERT_GT(start.size(), 4096u);
    int r = -1;
    const auto all = ListAll(start + "*.txt", 0x37, &r);
    EXPECT_EQ(r, 0);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all.begin()->second.Size, 5u);
  }
}

TEST(DirEnum, ListingServesSeveralPasses) {
  TempTree t;
  t.createFile("a.txt");
  t.createFile("b.doc");
  t.createDir("c");
  TFolderListing listing;
  ASSERT_EQ(listing.Read(t.Root()), 0);
  std::set<std::string> txt, dirs;
  TSearchRec rec;
  const TNameMask mask("*.TXT");
  for (size_t i = 0; listing.FindNext(i, mask, 0, rec, true) == 0; ++i) txt.insert(rec.Name);
  listing.CloseHandle();
  for (size_t i = 0; i < listing.Count(); ++i)
    if (listing.IsDirectory(i) && !listing.IsDotOrDotDot(i)) dirs.insert(std::string(listing.Name(i)));
  EXPECT_EQ(txt, std::set<std::string>{"a.txt"});
  EXPECT_EQ(dirs, std::set<std::string>{"c"});
}

TEST(DirEnum, CopiedRecordLeavesTheEnumerationWithTheOriginal) {
  TempTree t;
  t.createFile("a");
  t.createFile("b");
  TSearchRec rec;
  ASSERT_EQ(FirstEntry(t.Root() + "?", 0x37, rec), 0);
  TSearchRec copy = rec;
  EXPECT_EQ(copy.Name, rec.Name);
  EXPECT_EQ(NextEntry(copy), kErrNoMoreFiles);
  EXPECT_EQ(NextEntry(rec), 0);
  EndEntries(rec);
}

}  // namespace trawlix
