#include <gtest/gtest.h>

#include <algorithm>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ListedFile.h"
#include "PermissionOverride.h"
#include "TempTree.h"
#include "platform/Errors.h"
#include "results/Duplicates.h"
#include "results/Sort.h"

namespace trawlix {
namespace {

std::string Words(std::initializer_list<uint32_t> words) {
  std::string s;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((w >> (8 * i)) & 0xFF));
  return s;
}

// n bytes of a pattern that starts with seed.
std::string Bytes(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7 % 251);
  return s;
}

class DuplicateScan : public ::testing::Test {
 protected:
  // Lists the paths as a search would (identity from lstat), sorts by size.
  void List(const std::vector<std::string>& rels) {
    int r = 0;
    for (const std::string& rel : rels) {
      const std::string path = tree.Path(rel);
      struct stat st;
      ASSERT_EQ(::lstat(path.c_str(), &st), 0) << rel;
      const size_t slash = path.rfind('/');
      store.SetRow(++r, path.substr(0, slash + 1), path.substr(slash + 1), 0x30000000,
                   TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                                 static_cast<uint64_t>(st.st_size),
                                 UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)});
    }
    store.SetFileCount(r);
    SortRows(store, TSortOrder::Size, TCollator::User());
  }
  TDuplicateScanResult Scan() { return FindDuplicates(store, events); }
  std::vector<std::string> Rows() const {
    std::vector<std::string> out;
    for (int r = 1; r <= store.FileCount(); ++r)
      out.push_back(store.FullPath(r).substr(tree.Root().size()) + " " +
                    store.CellText(r, TRowStore::colCrc));
    return out;
  }
  test::TempTree tree;
  TRowStore store;
  TDuplicateScanEvents events;
};

TEST(Checksum, XorOfLittleEndianWordsNegatedWhenNegative) {
  test::TempTree tree;
  const struct {
    const char* name;
    std::string bytes;
    int32_t sum;
  } cases[] = {
      {"empty", "", 0},
      {"one word", Words({0x01020304}), 0x01020304},
      {"trailing bytes are not read", Words({5}) + "xyz", 5},
      {"negative is negated", Words({0xFFFFFFFF}), 1},
      {"the most negative stays", Words({0x80000000}), -2147483647 - 1},
      {"words cancel", Words({7, 7}), 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FileChecksum(tree.createFile(c.name, c.bytes)), c.sum) << c.name;
  // A word split across reads counts once, whole (the block size is no multiple of three).
  const std::string big = Bytes(1 << 20, 'a') + "ab";
  uint32_t acc = XorWords(reinterpret_cast<const unsigned char*>(big.data()), big.size(), 0);
  EXPECT_EQ(FileChecksum(tree.createFile("big", big)), ChecksumOf(acc));
  try {
    FileChecksum(tree.Path("missing"));
    ADD_FAILURE();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_STREQ(e.what(), "Datei nicht gefunden");
  }
}

// The checksums of files as an independent few lines of Python compute them
// (tests/xorsum.py), one per path.
std::vector<std::string> OracleChecksums(const std::vector<std::string>& paths) {
  std::string command = "python3 " TRAWLIX_TESTS_DIR "/xorsum.py";
  for (const std::string& p : paths) command += " '" + p + "'";
  std::vector<std::string> sums;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return sums;
  char line[64];
  while (std::fgets(line, sizeof line, pipe)) sums.emplace_back(line, std::strcspn(line, "\n"));
  EXPECT_EQ(::pclose(pipe), 0) << command;
  return sums;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Files of several read blocks (128 KiB) and lengths that end inside a
// word: the checksum of FileChecksum and the one the scan shows both agree
// with the independent computation.
TEST_F(DuplicateScan, ChecksumsOfLongAndOddFilesAgreeWithAnIndependentComputation) {
  const size_t block = 128 * 1024;
  const size_t sizes[] = {block - 1, block + 1, 3 * block, 3 * block + 1, 3 * block + 2, 3 * block + 3,
                          5 * block + 7, 1000, 1001};
  std::vector<std::string> rels, paths;
  unsigned seed = 1;
  for (const size_t size : sizes) {
    const std::string bytes = RandomBytes(size, seed++);
    for (const char* copy : {"a", "b"}) {
      rels.push_back(std::string(copy) + "/" + std::to_string(size));
      tree.createFile(rels.back(), bytes);
    }
    paths.push_back(tree.Path(rels.back()));
  }
  const std::vector<std::string> expected = OracleChecksums(paths);
  ASSERT_EQ(expected.size(), std::size(sizes));
  for (size_t i = 0; i < paths.size(); ++i)
    EXPECT_EQ(std::to_string(FileChecksum(paths[i])), expected[i]) << paths[i];

  List(rels);
  ASSERT_EQ(Scan().Lines, 2 * static_cast<int>(std::size(sizes)));
  for (int r = 1; r <= store.FileCount(); ++r) {
    const std::string size(store.Name(r));
    const size_t i = std::find(std::begin(sizes), std::end(sizes), std::stoul(size)) - std::begin(sizes);
    EXPECT_EQ(store.CellText(r, TRowStore::colCrc), expected[i]) << size;
  }
}

// Checksums of names that hold tabs, newlines and bytes that are not UTF-8
// are those of the named file, not of a look-alike beside it.
TEST(Checksum, NamesWithStrayBytesReadTheirOwnFile) {
  test::TempTree tree;
  const std::pair<std::string, std::string> names[] = {
      {"caf\xE9", "caf\xC3\xA9"}, {"a\tb", "a b"}, {"zeile\n", "zeile"}, {"\xFF\xFE", "??"}};
  unsigned seed = 100;
  for (const auto& [name, decoy] : names) {
    const std::string path = tree.createFile(name, RandomBytes(4000, seed++));
    const std::string other = tree.createFile(decoy, RandomBytes(4000, seed++));
    const std::vector<std::string> sums = OracleChecksums({path, other});
    ASSERT_EQ(sums.size(), 2u);
    ASSERT_NE(sums[0], sums[1]);
    EXPECT_EQ(std::to_string(FileChecksum(path)), sums[0]);
  }
}

// The checksum opens as the scan does: it never waits on a FIFO, never
// reads through a link, and reads regular files only.
TEST(Checksum, RefusesLinksFifosAndFolders) {
  test::TempTree tree;
  tree.createFile("real/file", Words({9}));
  tree.symlink(tree.Path("real/file"), "link");
  tree.symlink(tree.Path("real"), "linkdir");
  ASSERT_EQ(::mkfifo(tree.Path("fifo").c_str(), 0644), 0);
  for (const char* rel : {"link", "linkdir/file", "fifo", "real"}) {
    SCOPED_TRACE(rel);
    EXPECT_THROW(FileChecksum(tree.Path(rel)), EInOutError);
  }
  EXPECT_EQ(FileChecksum(tree.Path("real/file")), 9);
}

TEST_F(DuplicateScan, CopiesPairAsNeighboursAndShowTheirChecksum) {
  const std::string copy = Words({0x80000000}) + Bytes(1996, 'q');
  tree.createFile("a/1.bin", copy);
  tree.createFile("b/2.bin", copy);
  tree.createFile("c/3.bin", copy);
  tree.createFile("m/other.bin", Bytes(2000, 'z'));  // same size between them in name order
  tree.createFile("small/x999", Bytes(999, 'k'));
  tree.createFile("small/y999", Bytes(999, 'k'));
  tree.createFile("t/x1000", Bytes(1000, 'k'));
  tree.createFile("t/y1000", Bytes(1000, 'k'));
  List({"m/other.bin", "c/3.bin", "small/x999", "a/1.bin", "t/y1000", "b/2.bin", "small/y999",
        "t/x1000"});
  const TDuplicateScanResult r = Scan();
  EXPECT_EQ(r.Lines, 6);
  EXPECT_FALSE(r.Stopped);
  const int32_t sum = FileChecksum(tree.Path("a/1.bin"));
  const std::string k = std::to_string(FileChecksum(tree.Path("t/x1000")));
  const std::string c = std::to_string(sum);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"t/x1000 " + k, "t/y1000 " + k, "a/1.bin " + c,
                                              "b/2.bin " + c, "b/2.bin " + c, "c/3.bin " + c}));
  // Files below 1000 bytes are not read at all.
  EXPECT_EQ(r.CandidateBytes, 2 * 1000u + 4 * 2000u);
  EXPECT_LE(r.BytesRead, r.CandidateBytes);
}

TEST_F(DuplicateScan, ChecksumTrapsAreNoPairs) {
  const std::string body = Bytes(1200, 'b');
  const uint32_t b = XorWords(reinterpret_cast<const unsigned char*>(body.data()), body.size(), 0);
  const struct {
    const char* name;
    std::string a, b;
  } traps[] = {
      {"words in another order", Words({1, 2}) + body, Words({2, 1}) + body},
      {"last bytes differ", body + "abc", body + "xyz"},
      {"x and -x", Words({b ^ 5u}) + body, Words({b ^ static_cast<uint32_t>(-5)}) + body},
  };
  for (const auto& t : traps) {
    TRowStore fresh;
    store = std::move(fresh);
    const std::string a = std::string(t.name) + "/a", b = std::string(t.name) + "/b";
    tree.createFile(a, t.a);
    tree.createFile(b, t.b);
    EXPECT_EQ(FileChecksum(tree.Path(a)), FileChecksum(tree.Path(b)))
        << t.name;  // the checksum alone would pair them
    List({a, b});
    EXPECT_EQ(Scan().Lines, 0) << t.name;
    EXPECT_EQ(store.FileCount(), 0);
  }
}

TEST_F(DuplicateScan, TheSameFileNeverPairsWithItself) {
  const std::string bytes = Bytes(3000, 'h');
  tree.createFile("one", bytes);
  ASSERT_EQ(::link(tree.Path("one").c_str(), tree.Path("hardlink").c_str()), 0);
  tree.symlink(tree.Path("one"), "symlink");
  List({"one", "hardlink", "one"});
  EXPECT_EQ(Scan().Lines, 0);
  // With a real copy beside them, the copy pairs with the second link; the
  // first link, whose neighbour is the same file, is listed once.
  TRowStore fresh;
  store = std::move(fresh);
  tree.createFile("zcopy", bytes);
  List({"one", "hardlink", "zcopy"});
  EXPECT_EQ(Scan().Lines, 3);
  EXPECT_EQ(store.Name(1), "hardlink");
  EXPECT_EQ(store.Name(2), "one");
  EXPECT_EQ(store.Name(3), "zcopy");
}

TEST_F(DuplicateScan, LinksAndFifosAreNeverOpened) {
  // A link whose listed size (its target's length) equals a file's size.
  const std::string target = "/" + std::string(1499, 'x');
  tree.symlink(target, "link");
  tree.createFile("file", Bytes(1500, 'l'));
  ASSERT_EQ(::mkfifo(tree.Path("fifo").c_str(), 0644), 0);
  List({"link", "file", "fifo"});
  // The FIFO row as if it had the same size: it must still not be opened.
  TFileIdentity id;
  ASSERT_TRUE(store.Identity(1, id));
  store.SetRow(1, store.Folder(1), store.Name(1), 0x30000000,
               TFileIdentity{id.Device, id.Inode, 1500, id.LastWrite});
  SortRows(store, TSortOrder::Size, TCollator::User());
  EXPECT_EQ(Scan().Lines, 0);
}

TEST_F(DuplicateScan, FilesChangedSinceTheSearchDoNotPair) {
  const std::string bytes = Bytes(1500, 'c');
  tree.createFile("a", bytes);
  tree.createFile("b", bytes);
  tree.createFile("c", bytes);
  List({"a", "b", "c"});
  tree.createFile("b", bytes + "grown");
  ::truncate(tree.Path("c").c_str(), 1000);
  const TDuplicateScanResult r = Scan();
  EXPECT_EQ(r.Lines, 0);
  EXPECT_EQ(r.PassedOver, 2);
}

// One file that cannot be compared no longer ends the whole scan: it is
// passed over, counted, and the other files still pair.
TEST_F(DuplicateScan, AFileThatCannotBeReadIsPassedOverAndTheScanGoesOn) {
  const struct {
    const char* what;
    std::function<void(const test::TempTree&)> spoil;  // applied to y/y
  } cases[] = {
      {"vanished", [](const test::TempTree& t) { ::unlink(t.Path("y/y").c_str()); }},
      {"its folder became a file",
       [](const test::TempTree& t) {
         ::unlink(t.Path("y/y").c_str());
         ::rmdir(t.Path("y").c_str());
         t.createFile("y", "not a folder");
       }},
      {"its folder was swapped for a link",
       [](const test::TempTree& t) {
         ::rename(t.Path("y").c_str(), t.Path("y-real").c_str());
         t.symlink(t.Path("y-real"), "y");
       }},
      {"no permission to read it",
       [](const test::TempTree& t) { ::chmod(t.Path("y/y").c_str(), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempTree t;
    const std::string bytes = Bytes(1500, 'v');
    TRowStore rows;
    for (const char* rel : {"x/x", "y/y", "z/z"}) test::ListFile(rows, rows.FileCount() + 1, t.createFile(rel, bytes));
    SortRows(rows, TSortOrder::Size, TCollator::User());
    c.spoil(t);
    test::WithoutPermissionOverride asEveryone;
    const TDuplicateScanResult r = FindDuplicates(rows, events);
    EXPECT_EQ(r.Lines, 2);
    EXPECT_EQ(r.PassedOver, 1);
    EXPECT_EQ(rows.FullPath(1), t.Path("x/x"));
    EXPECT_EQ(rows.FullPath(2), t.Path("z/z"));
  }
}

// Another file renamed over a candidate's name while it is read: the bytes
// compared are the old file's, the path names the new one. No pair.
TEST_F(DuplicateScan, AFileReplacedWhileItIsReadDoesNotPair) {
  const std::string bytes = Bytes(3 * 128 * 1024 + 10, 'r');
  tree.createFile("a", bytes);
  tree.createFile("b", bytes);
  tree.createFile("new", Bytes(bytes.size(), 's'));
  List({"a", "b"});
  events.IdleEvery = std::chrono::milliseconds(0);
  // Replaced once the scan has b open, that is while it reads it.
  const auto bIsOpen = [&] {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (std::filesystem::read_symlink(fd.path(), ec) == tree.Path("b")) return true;
    }
    return false;
  };
  bool replaced = false;
  events.OnIdle = [&] {
    if (!replaced && bIsOpen())
      replaced = ::rename(tree.Path("new").c_str(), tree.Path("b").c_str()) == 0;
    return false;
  };
  const TDuplicateScanResult r = Scan();
  EXPECT_TRUE(replaced);
  EXPECT_EQ(r.Lines, 0);
  EXPECT_EQ(r.PassedOver, 1);
}

// One directory entry reached twice (the same path listed twice, a folder
// bound a second time inside the tree) is one row of the view; a hard link
// is another entry and stays.
TEST_F(DuplicateScan, EachDirectoryEntryIsListedOnce) {
  const std::string bytes = Bytes(2500, 'e');
  tree.createFile("a/x", bytes);
  tree.createFile("c/y", bytes);
  List({"a/x", "a/x", "c/y"});
  TDuplicateScanResult r = Scan();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a/x " + std::to_string(FileChecksum(tree.Path("a/x"))),
                                              "c/y " + std::to_string(FileChecksum(tree.Path("c/y")))}));
  EXPECT_EQ(r.Groups, (std::vector<uint32_t>{0, 0}));

  tree.createDir("bind");
  if (::mount(tree.Path("a").c_str(), tree.Path("bind").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "mount --bind needs root";
  TRowStore fresh;
  store = std::move(fresh);
  List({"a/x", "bind/x", "c/y"});
  r = Scan();
  ::umount2(tree.Path("bind").c_str(), MNT_DETACH);
  EXPECT_EQ(r.Lines, 2);
  EXPECT_EQ(store.Name(1), "x");
  EXPECT_EQ(store.FullPath(2), tree.Path("c/y"));
}

// A file written while it is read, its time of last write put back after:
// the bytes compared are not what the file holds.
TEST_F(DuplicateScan, AFileWrittenInPlaceWhileItIsReadDoesNotPair) {
  const std::string bytes = Bytes(3 * 128 * 1024 + 10, 'w');
  tree.createFile("a", bytes, 1100000000);
  tree.createFile("b", bytes, 1100000000);
  List({"a", "b"});
  events.IdleEvery = std::chrono::milliseconds(0);
  int calls = 0;
  events.OnIdle = [&] {
    if (++calls == 4) {  // after the first block of both
      std::FILE* f = std::fopen(tree.Path("b").c_str(), "r+b");
      std::fputs("TAGGED", f);
      std::fclose(f);
      tree.setMtime("b", 1100000000);
    }
    return false;
  };
  const TDuplicateScanResult r = Scan();
  EXPECT_GE(calls, 4);
  EXPECT_EQ(r.Lines, 0);
}

TEST_F(DuplicateScan, AFileSeenThroughAnOverlayNeverPairsWithItself) {
  tree.createFile("lower/f.bin", Bytes(3000, 'o'));
  for (const char* d : {"upper", "work", "merged"}) tree.createDir(d);
  const std::string options = "lowerdir=" + tree.Path("lower") + ",upperdir=" + tree.Path("upper") +
                              ",workdir=" + tree.Path("work");
  if (::mount("overlay", tree.Path("merged").c_str(), "overlay", 0, options.c_str()) != 0)
    GTEST_SKIP() << "mounting an overlay needs root";
  List({"lower/f.bin", "merged/f.bin"});
  const TDuplicateScanResult r = Scan();
  ::umount2(tree.Path("merged").c_str(), MNT_DETACH);
  EXPECT_EQ(r.Lines, 0);
}

TEST_F(DuplicateScan, GroupsNumberTheRowsOfEachSetOfCopies) {
  for (const char* n : {"a1", "a2", "a3"}) tree.createFile(n, Bytes(1000, 'a'));
  for (const char* n : {"b1", "b2"}) tree.createFile(n, Bytes(1000, 'b'));
  List({"a1", "a2", "a3", "b1", "b2"});
  const TDuplicateScanResult r = Scan();
  ASSERT_EQ(r.Lines, 6);  // a1 a2 a2 a3, b1 b2
  EXPECT_EQ(r.Groups.size(), 6u);
  EXPECT_EQ(r.ChangeTimes.size(), 6u);
  EXPECT_EQ(r.Groups[0], r.Groups[3]);
  EXPECT_EQ(r.Groups[4], r.Groups[5]);
  EXPECT_NE(r.Groups[0], r.Groups[4]);
}

// Progress: every file of a run that can pair counts once (a hard link
// adds nothing), never backwards, and the scan ends at the whole, also where
// it read less because files differed early.
TEST_F(DuplicateScan, ProgressCountsEachCandidateOnceAndEndsAtTheWhole) {
  for (const char* n : {"a1", "a2"}) tree.createFile(n, Bytes(1000, 'a'));
  ASSERT_EQ(::link(tree.Path("a1").c_str(), tree.Path("a1link").c_str()), 0);
  tree.createFile("d1", "1" + Bytes(299999, 'd'));
  tree.createFile("d2", "2" + Bytes(299999, 'd'));
  tree.createFile("lonely", Bytes(4000, 'l'));
  for (const char* n : {"s1", "s2"}) tree.createFile(n, Bytes(999, 's'));
  List({"a1", "a2", "a1link", "d1", "d2", "lonely", "s1", "s2"});
  TDuplicateProgress progress;
  std::vector<uint64_t> seen;
  events.Progress = &progress;
  events.IdleEvery = std::chrono::milliseconds(0);
  events.OnIdle = [&] {
    seen.push_back(progress.Done);
    return false;
  };
  const TDuplicateScanResult r = Scan();
  EXPECT_EQ(progress.Total, 2 * 1000u + 2 * 300000u);
  EXPECT_EQ(progress.Done, progress.Total);
  EXPECT_LT(r.BytesRead, progress.Total);  // d1 and d2 differ in their first block
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LE(seen.back(), progress.Total);
}

TEST_F(DuplicateScan, StopKeepsThePairsFoundSoFar) {
  for (const char* n : {"a1", "a2"}) tree.createFile(n, Bytes(1000, 'a'));
  for (const char* n : {"b1", "b2"}) tree.createFile(n, Bytes(2000, 'b'));
  List({"a1", "a2", "b1", "b2"});
  int pairs = 0;
  events.OnPair = [&](int) { return ++pairs == 1; };
  const TDuplicateScanResult r = Scan();
  EXPECT_TRUE(r.Stopped);
  EXPECT_EQ(r.Lines, 2);
  EXPECT_EQ(store.Name(1), "a1");
}

TEST_F(DuplicateScan, LargeRunsOfOneSizeKeepEveryGroupApart) {
  // More files of one size than are compared in step: two groups of copies
  // and many files that differ only in their last byte or their first block.
  std::vector<std::string> rels;
  const std::string base = Bytes(5000, 'g');
  for (int i = 0; i < 70; ++i)
    rels.push_back(
        tree.createFile("g/copy" + std::to_string(100 + i), base).substr(tree.Root().size()));
  for (int i = 0; i < 3; ++i)
    rels.push_back(tree.createFile("h/other" + std::to_string(i), "X" + base.substr(1))
                       .substr(tree.Root().size()));
  for (int i = 0; i < 80; ++i) {
    std::string v = base;
    v.back() = static_cast<char>(i);
    rels.push_back(
        tree.createFile("v/last" + std::to_string(100 + i), v).substr(tree.Root().size()));
  }
  List(rels);
  const TDuplicateScanResult r = Scan();
  // 69 neighbour pairs of the 70 copies, 2 of the three others; one of the
  // varied files equals the copies (its last byte happens to match).
  int copies = 0, others = 0, varied = 0;
  for (int row = 1; row <= store.FileCount(); ++row) {
    const std::string name(store.Name(row));
    copies += name.rfind("copy", 0) == 0;
    others += name.rfind("other", 0) == 0;
    varied += name.rfind("last", 0) == 0;
  }
  const bool oneMatches = base.back() < 80 && base.back() >= 0;
  EXPECT_EQ(others, 4);
  EXPECT_EQ(copies + varied, oneMatches ? 2 * 70 : 2 * 69);
  EXPECT_EQ(r.Lines, copies + others + varied);
  // Each group stands together.
  for (int row = 1; row + 1 <= store.FileCount(); row += 2)
    EXPECT_EQ(store.CellText(row, TRowStore::colCrc), store.CellText(row + 1, TRowStore::colCrc))
        << row;
}

}  // namespace
}  // namespace trawlix
