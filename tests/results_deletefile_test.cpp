#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "ListedFile.h"
#include "PermissionOverride.h"
#include "TempTree.h"
#include "results/DeleteFile.h"

namespace trawlix {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

class DeleteTest : public ::testing::Test {
 protected:
  // A duplicate view of the stored rows in the given groups, each entry
  // compared as it is now.
  TDuplicateScanResult View(const std::vector<uint32_t>& groups) const {
    TDuplicateScanResult view;
    view.Groups = groups;
    for (int r = 1; r <= static_cast<int>(groups.size()); ++r) {
      struct stat st {};
      ::lstat(store.FullPath(r).c_str(), &st);
      view.ChangeTimes.push_back(static_cast<uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
                                 static_cast<uint64_t>(st.st_ctim.tv_nsec));
    }
    return view;
  }
  TRowStore store;
  test::TempTree tree;
};

TEST_F(DeleteTest, DeletesTheListedFileOnly) {
  const std::string a = tree.createFile("a.txt", "aaa", 1100000000);
  const std::string b = tree.createFile("b.txt", "bbb", 1100000000);
  test::ListFile(store, 1, a);
  test::ListFile(store, 2, b);
  EXPECT_TRUE(DeleteListedFile(store, 1));
  EXPECT_FALSE(Exists(a));
  EXPECT_TRUE(Exists(b));
}

TEST_F(DeleteTest, RefusesAnEntryThatIsNoLongerTheListedFile) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> change;
  } cases[] = {
      {"grown",
       [](const std::string& p) {
         std::FILE* f = std::fopen(p.c_str(), "ab");
         std::fputs("more", f);
         std::fclose(f);
       }},
      {"written again, same size, other time",
       [this](const std::string& p) {
         tree.createFile(p.substr(tree.Root().size()), "abcdef", 1100000001);
       }},
      {"replaced by another file of equal size and time",
       [this](const std::string& p) {
         const std::string other = tree.createFile("other", "abcdef", 1100000000);
         ::rename(other.c_str(), p.c_str());
       }},
      {"now a folder",
       [](const std::string& p) {
         ::unlink(p.c_str());
         ::mkdir(p.c_str(), 0755);
       }},
      {"read-only", [](const std::string& p) { ::chmod(p.c_str(), 0444); }},
      {"gone", [](const std::string& p) { ::unlink(p.c_str()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = tree.createFile("f.txt", "abcdef", 1100000000);
    test::ListFile(store, 1, path);
    c.change(path);
    struct stat before {};
    const bool existed = ::lstat(path.c_str(), &before) == 0;
    EXPECT_FALSE(DeleteListedFile(store, 1));
    struct stat after {};
    EXPECT_EQ(::lstat(path.c_str(), &after) == 0, existed);
    EXPECT_EQ(after.st_ino, before.st_ino);
    ::chmod(path.c_str(), 0644);
    ::rmdir(path.c_str());
    ::unlink(path.c_str());
  }
}

// Each part of the listed identity on its own decides: a row whose listed
// device, inode, size or time differs from the entry's by one field keeps
// the file. The other fields agree, so no other check can refuse it.
TEST_F(DeleteTest, EachFieldOfTheIdentityAloneRefuses) {
  const struct {
    const char* what;
    void (*change)(TFileIdentity&);
  } cases[] = {
      {"only the size", [](TFileIdentity& id) { ++id.Size; }},
      {"only the device", [](TFileIdentity& id) { id.Device ^= 1; }},
      {"only the inode", [](TFileIdentity& id) { ++id.Inode; }},
      {"only the time of the last write", [](TFileIdentity& id) { ++id.LastWrite; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = tree.createFile("f.bin", "abcdef", 1100000000);
    test::ListFile(store, 1, path);
    TFileIdentity listed;
    ASSERT_TRUE(store.Identity(1, listed));
    TEntryState now;
    ASSERT_TRUE(ReadEntryState(path, now));
    EXPECT_TRUE(IsListedFile(now, listed));
    c.change(listed);
    EXPECT_FALSE(IsListedFile(now, listed));
    const std::string folder(store.Folder(1)), name(store.Name(1));
    store.SetRow(1, folder, name, store.Time(1), listed);
    EXPECT_FALSE(DeleteListedFile(store, 1));
    EXPECT_TRUE(Exists(path));
  }
  // The size of the file itself changed, its time set back as listed.
  const std::string path = tree.createFile("g.bin", "abcdef", 1100000000);
  test::ListFile(store, 2, path);
  ASSERT_EQ(::truncate(path.c_str(), 5), 0);
  const struct timespec times[2] = {{1100000000, 0}, {1100000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_FALSE(DeleteListedFile(store, 2));
  EXPECT_TRUE(Exists(path));
}

// Names are bytes: a tab, a newline, bytes that are not UTF-8 and a name
// that differs from its neighbour only there all delete the one listed.
TEST_F(DeleteTest, NamesWithStrayBytesDeleteThemselvesAndNotTheLookAlike) {
  const struct {
    const char* what;
    std::string name, decoy;
  } cases[] = {
      {"Latin-1 byte", "caf\xE9.txt", "caf\xC3\xA9.txt"},
      {"invalid byte", "a\xFF\xFE", "a??"},
      {"tab", "a\tb", "a b"},
      {"newline", "zeile\nzwei", "zeile"},
      {"trailing newline", "ende\n", "ende"},
      {"carriage return", "x\r", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string victim = tree.createFile("s/" + c.name, "same bytes", 1100000000);
    const std::string decoy = tree.createFile("s/" + c.decoy, "same bytes", 1100000000);
    test::ListFile(store, 1, victim);
    EXPECT_TRUE(DeleteListedFile(store, 1));
    EXPECT_FALSE(Exists(victim));
    EXPECT_TRUE(Exists(decoy));
    ::unlink(decoy.c_str());
  }
}

TEST_F(DeleteTest, BlankAndUnwrittenRowsDeleteNothing) {
  const std::string a = tree.createFile("a.txt", "a");
  test::ListFile(store, 1, a);
  store.ClearRow(1);
  EXPECT_FALSE(DeleteListedFile(store, 1));
  EXPECT_FALSE(DeleteListedFile(store, 7));
  EXPECT_FALSE(DeleteListedFile(store, 0));
  EXPECT_TRUE(Exists(a));
}

TEST_F(DeleteTest, SymbolicLinkGoesItsTargetStays) {
  const std::string target = tree.createFile("target.txt", "keep me");
  tree.symlink(target, "link.txt");
  tree.createDir("dir");
  tree.symlink(tree.Path("dir"), "dirlink");
  test::ListFile(store, 1, tree.Path("link.txt"));
  test::ListFile(store, 2, tree.Path("dirlink"));
  EXPECT_TRUE(DeleteListedFile(store, 1));
  EXPECT_TRUE(DeleteListedFile(store, 2));
  EXPECT_FALSE(Exists(tree.Path("link.txt")));
  EXPECT_FALSE(Exists(tree.Path("dirlink")));
  EXPECT_TRUE(Exists(target));
  EXPECT_TRUE(Exists(tree.Path("dir")));
}

TEST_F(DeleteTest, FolderWithoutWritePermissionKeepsItsFile) {
  const std::string f = tree.createFile("locked/f.txt", "x");
  test::ListFile(store, 1, f);
  ::chmod(tree.Path("locked").c_str(), 0555);
  {
    test::WithoutPermissionOverride asEveryone;
    EXPECT_FALSE(DeleteListedFile(store, 1));
  }
  EXPECT_TRUE(Exists(f));
}

TEST_F(DeleteTest, FileListedTwiceGoesOnceThroughEitherRow) {
  const std::string f = tree.createFile("dup.bin", std::string(2000, 'd'), 1100000000);
  test::ListFile(store, 1, f);
  test::ListFile(store, 2, f);
  EXPECT_TRUE(DeleteListedFile(store, 2));
  EXPECT_FALSE(DeleteListedFile(store, 1));
  // A new file at the path is not the listed one.
  tree.createFile("dup.bin", std::string(2000, 'd'));
  EXPECT_FALSE(DeleteListedFile(store, 1));
  EXPECT_TRUE(Exists(f));
}


// A folder of the path swapped for a link to where the file now lies: the
// path still reaches the listed file, but only through the link.
TEST_F(DeleteTest, FolderSwappedForALinkStopsTheDeletion) {
  const std::string f = tree.createFile("a/x.bin", "payload", 1100000000);
  test::ListFile(store, 1, f);
  ASSERT_EQ(::rename(tree.Path("a").c_str(), tree.Path("real").c_str()), 0);
  tree.symlink(tree.Path("real"), "a");
  EXPECT_EQ(DeleteRowFile(store, 1), TDeleteOutcome::Refused);
  EXPECT_TRUE(Exists(tree.Path("real/x.bin")));
}

TEST_F(DeleteTest, ChangedFileIsReportedNotDeleted) {
  const std::string f = tree.createFile("f.txt", "abc", 1100000000);
  test::ListFile(store, 1, f);
  tree.createFile("f.txt", "abc", 1100000099);
  EXPECT_EQ(DeleteRowFile(store, 1), TDeleteOutcome::Changed);
  EXPECT_TRUE(Exists(f));
  EXPECT_NE(FileChangedSinceSearchText("/t/f.txt").find("\"/t/f.txt\""), std::string::npos);
}

// The duplicate view never deletes the last verified copy of a group: rows
// 1 and 2 are one group, row 3 another.
TEST_F(DeleteTest, DuplicateViewKeepsTheLastVerifiedCopy) {
  struct Case {
    const char* what;
    // What happens to row 2's file before row 1 is deleted.
    std::function<void(const std::string& partner)> partner;
    TDeleteOutcome expected;
    bool listedAfter = false;  // row 2 lists the partner as it is after the change
  } cases[] = {
      {"partner intact", [](const std::string&) {}, TDeleteOutcome::Deleted},
      {"partner removed by another program", [](const std::string& p) { ::unlink(p.c_str()); },
       TDeleteOutcome::LastCopy},
      {"partner changed",
       [](const std::string& p) {
         std::FILE* f = std::fopen(p.c_str(), "ab");
         std::fputs("more", f);
         std::fclose(f);
       },
       TDeleteOutcome::LastCopy},
      // A tag editor that keeps the file's date: same size, same time of
      // last write, other bytes. Only the change time tells.
      {"partner rewritten in place with its time put back",
       [](const std::string& p) {
         struct stat st;
         ::stat(p.c_str(), &st);
         std::FILE* f = std::fopen(p.c_str(), "r+b");
         std::fputs("TAGGED", f);
         std::fclose(f);
         const struct timespec times[2] = {st.st_atim, st.st_mtim};
         ::utimensat(AT_FDCWD, p.c_str(), times, 0);
       },
       TDeleteOutcome::LastCopy},
      {"partner is a hard link of the file itself",
       [this](const std::string& p) {
         ::unlink(p.c_str());
         ::link(tree.Path("a/x").c_str(), p.c_str());
       },
       TDeleteOutcome::LastCopy, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string a = tree.createFile("a/x", std::string(1500, 'q'), 1100000000);
    const std::string b = tree.createFile("c/y", std::string(1500, 'q'), 1100000000);
    const std::string other = tree.createFile("d/z", std::string(1500, 'q'), 1100000000);
    test::ListFile(store, 1, a);
    test::ListFile(store, 2, b);
    test::ListFile(store, 3, other);
    TDuplicateScanResult view = View({0, 0, 1});
    c.partner(b);
    if (c.listedAfter) {
      test::ListFile(store, 2, b);
      view = View({0, 0, 1});
    }
    EXPECT_EQ(DeleteRowFile(store, 1, &view), c.expected);
    EXPECT_EQ(Exists(a), c.expected != TDeleteOutcome::Deleted);
    // The other group's copy never counts for this one.
    EXPECT_TRUE(Exists(other));
    ::unlink(a.c_str());
    ::unlink(b.c_str());
    ::unlink(other.c_str());
  }
}

TEST_F(DeleteTest, DuplicateViewDeletesCopiesOneByOneUntilOneIsLeft) {
  std::vector<std::string> copies;
  for (const char* name : {"p/1", "q/2", "r/3"})
    copies.push_back(tree.createFile(name, std::string(1200, 'k'), 1100000000));
  for (int r = 1; r <= 3; ++r) test::ListFile(store, r, copies[r - 1]);
  const TDuplicateScanResult view = View({7, 7, 7});
  EXPECT_EQ(DeleteRowFile(store, 3, &view), TDeleteOutcome::Deleted);
  store.ClearRow(3);
  EXPECT_EQ(DeleteRowFile(store, 1, &view), TDeleteOutcome::Deleted);
  store.ClearRow(1);
  EXPECT_EQ(DeleteRowFile(store, 2, &view), TDeleteOutcome::LastCopy);
  EXPECT_TRUE(Exists(copies[1]));
}

// A file and its view through an overlay mount: another device, the same
// inode number. Deleting the lower file takes the merged one with it.
TEST_F(DeleteTest, AFileSeenThroughAnOverlayIsNoCopyOfItself) {
  const std::string lower = tree.createFile("lower/f.bin", std::string(3000, 'o'), 1100000000);
  for (const char* d : {"upper", "work", "merged"}) tree.createDir(d);
  const std::string options = "lowerdir=" + tree.Path("lower") + ",upperdir=" + tree.Path("upper") +
                              ",workdir=" + tree.Path("work");
  if (::mount("overlay", tree.Path("merged").c_str(), "overlay", 0, options.c_str()) != 0)
    GTEST_SKIP() << "mounting an overlay needs root";
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{tree.Path("merged")};
  test::ListFile(store, 1, lower);
  test::ListFile(store, 2, tree.Path("merged/f.bin"));
  const TDuplicateScanResult view = View({0, 0});
  EXPECT_EQ(DeleteRowFile(store, 1, &view), TDeleteOutcome::LastCopy);
  EXPECT_EQ(DeleteRowFile(store, 2, &view), TDeleteOutcome::LastCopy);
  EXPECT_TRUE(Exists(lower));
}

// A copy that lies in a trash is on its way out: it never counts as the
// copy that is kept, and keeping the first of a group passes it over.
TEST_F(DeleteTest, ACopyInATrashIsNeverTheKeptCopy) {
  for (const char* trashed : {"home/.local/share/Trash/files/old.bin", "usb/.Trash-1000/files/old.bin",
                              "usb/.Trash/1000/files/old.bin"}) {
    SCOPED_TRACE(trashed);
    TRowStore rows;
    const std::string content(1500, 't');
    test::ListFile(rows, 1, tree.createFile(trashed, content, 1100000000));
    test::ListFile(rows, 2, tree.createFile("a.bin", content, 1100000000));
    test::ListFile(rows, 3, tree.createFile("b.bin", content, 1100000000));
    store = std::move(rows);
    const TDuplicateScanResult view = View({0, 0, 0});
    const TKeepFirstPlan plan = PlanKeepFirst(store, view.Groups);
    ASSERT_EQ(plan.items.size(), 1u);
    EXPECT_EQ(plan.items[0].row, 3);  // a.bin stays, b.bin goes
    EXPECT_EQ(DeleteRowFile(store, 3, &view), TDeleteOutcome::Deleted);
    EXPECT_EQ(DeleteRowFile(store, 2, &view), TDeleteOutcome::LastCopy);
    EXPECT_TRUE(Exists(tree.Path("a.bin")));
  }
}

}  // namespace
}  // namespace trawlix
