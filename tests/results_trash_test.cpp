// Moving a row's file to the desktop's trash: the same checks as deleting,
// the freedesktop.org layout (files/ and info/), the trash of another file
// system, and the refusals.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "HomeTrash.h"
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

class TrashTest : public ::testing::Test {
 protected:
  TrashTest() : trash(test::HomeTrash::Get()) { trash.Empty(); }
  ~TrashTest() override { trash.Empty(); }

  test::HomeTrash& trash;
  TRowStore store;
  test::TempTree tree;
};

TEST_F(TrashTest, MovesTheFileWithItsExactNameAndWhereItCameFrom) {
  const std::vector<std::string> names = {"plain.txt", std::string("b\xe4r \tzwei\nzeilen.bin"),
                                          "100% sicher #1?.txt"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = tree.createFile("ordner/" + name, "inhalt " + name, 1100000000);
    test::ListFile(store, 1, path);
    std::string error;
    ASSERT_EQ(TrashRowFile(store, 1, nullptr, &error), TDeleteOutcome::Deleted) << error;
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(test::ReadAll(trash.Files() + name), "inhalt " + name);
    const std::string info = test::ReadAll(trash.Info() + name + ".trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u) << info;
    EXPECT_NE(info.find("\nPath=" + test::PercentEncoded(path) + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\nDeletionDate="), std::string::npos) << info;
  }
  // The same name again goes beside the first, which stays.
  tree.createFile("ordner/plain.txt", "zweite", 1100000000);
  test::ListFile(store, 1, tree.Path("ordner/plain.txt"));
  ASSERT_EQ(TrashRowFile(store, 1), TDeleteOutcome::Deleted);
  EXPECT_EQ(test::ReadAll(trash.Files() + "plain.txt"), "inhalt plain.txt");
  EXPECT_EQ(trash.Names().size(), names.size() + 1);
}

TEST_F(TrashTest, RefusesAsDeletingRefuses) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> change;
    TDeleteOutcome expected;
  } cases[] = {
      {"changed since the search",
       [this](const std::string& p) { tree.createFile(p.substr(tree.Root().size()), "qqqqqq", 1100000099); },
       TDeleteOutcome::Changed},
      {"gone", [](const std::string& p) { ::unlink(p.c_str()); }, TDeleteOutcome::Refused},
      {"read-only", [](const std::string& p) { ::chmod(p.c_str(), 0444); }, TDeleteOutcome::Refused},
      {"last copy: the partner was changed",
       [this](const std::string&) { tree.createFile("b/partner", "pppppp", 1100000099); },
       TDeleteOutcome::LastCopy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = tree.createFile("a/f.bin", "pppppp", 1100000000);
    const std::string partner = tree.createFile("b/partner", "pppppp", 1100000000);
    test::ListFile(store, 1, path);
    test::ListFile(store, 2, partner);
    // The view as the scan leaves it: one group, each entry as compared now.
    TDuplicateScanResult view;
    view.Groups = {3, 3};
    for (const std::string& p : {path, partner}) {
      struct stat st {};
      ::lstat(p.c_str(), &st);
      view.ChangeTimes.push_back(static_cast<uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
                                 static_cast<uint64_t>(st.st_ctim.tv_nsec));
    }
    c.change(path);
    const bool existed = Exists(path);
    EXPECT_EQ(TrashRowFile(store, 1, &view), c.expected);
    EXPECT_EQ(Exists(path), existed);
    EXPECT_TRUE(trash.Names().empty());
    ::chmod(path.c_str(), 0644);
  }
  EXPECT_EQ(TrashFailedText("/x/f", "Keine Berechtigung"),
            "Die Datei \"/x/f\" konnte nicht in den Papierkorb verschoben werden: Keine Berechtigung.");
  EXPECT_EQ(LastCopyText("/x/f", TRemoval::Trash),
            "Die Datei \"/x/f\" wird nicht in den Papierkorb verschoben: Es gibt keine andere "
            "unveränderte Kopie mit demselben Inhalt mehr.");
}

// gio renames by path: a folder swapped for a link sends it through the
// link. The row's trash refuses such a path, as deleting does.
TEST_F(TrashTest, FolderSwappedForALinkStopsTheTrash) {
  const std::string f = tree.createFile("a/x.bin", "payload", 1100000000);
  test::ListFile(store, 1, f);
  ASSERT_EQ(::rename(tree.Path("a").c_str(), tree.Path("real").c_str()), 0);
  tree.symlink(tree.Path("real"), "a");
  EXPECT_EQ(TrashRowFile(store, 1), TDeleteOutcome::Refused);
  EXPECT_TRUE(Exists(tree.Path("real/x.bin")));
  EXPECT_TRUE(trash.Names().empty());

  // What gio alone would have done with the same path.
  GFile* file = g_file_new_for_path(f.c_str());
  const bool moved = g_file_trash(file, nullptr, nullptr);
  g_object_unref(file);
  EXPECT_TRUE(moved);
  EXPECT_FALSE(Exists(tree.Path("real/x.bin")));
}

TEST_F(TrashTest, UnwritableHomeTrashIsAFailureAndKeepsTheFile) {
  const std::string f = tree.createFile("f.txt", "bleibt", 1100000000);
  test::ListFile(store, 1, f);
  std::filesystem::create_directories(trash.Files());
  std::filesystem::create_directories(trash.Info());
  ::chmod(trash.Info().c_str(), 0555);
  ::chmod(trash.Files().c_str(), 0555);
  std::string error;
  {
    test::WithoutPermissionOverride asEveryone;
    EXPECT_EQ(TrashRowFile(store, 1, nullptr, &error), TDeleteOutcome::TrashFailed);
  }
  ::chmod(trash.Info().c_str(), 0755);
  ::chmod(trash.Files().c_str(), 0755);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadAll(f), "bleibt");
  EXPECT_TRUE(trash.Names().empty());
}

// Mounts a file system of its own for a test, or says why it cannot.
class OwnFileSystem {
 public:
  // type "tmpfs", or "ext2" (an image on a loop device).
  OwnFileSystem(const test::TempTree& tree, const std::string& type) : at_(tree.createDir("mnt")) {
    if (::geteuid() != 0) {
      why_ = "mounting needs root";
      return;
    }
    std::string command;
    if (type == "tmpfs") {
      command = "mount -t tmpfs -o size=1m tmpfs '" + at_ + "'";
    } else {
      const std::string image = tree.Path("image");
      command = "truncate -s 4M '" + image + "' && mkfs.ext2 -q '" + image + "' && mount -o loop '" + image +
                "' '" + at_ + "'";
    }
    if (std::system((command + " 2>/dev/null").c_str()) != 0) why_ = "cannot mount " + type + " here";
  }
  ~OwnFileSystem() {
    if (why_.empty()) ::umount2(at_.c_str(), MNT_DETACH);
  }
  const std::string& Why() const { return why_; }

 private:
  std::string at_, why_;
};

// gio takes tmpfs for a system mount and has no trash there: a clear
// error, and the file stays.
TEST_F(TrashTest, TmpfsHasNoTrashAndTheFileStays) {
  OwnFileSystem fs(tree, "tmpfs");
  if (!fs.Why().empty()) GTEST_SKIP() << fs.Why();
  const std::string f = tree.createFile("mnt/f.bin", "bleibt", 1100000000);
  test::ListFile(store, 1, f);
  std::string error;
  EXPECT_EQ(TrashRowFile(store, 1, nullptr, &error), TDeleteOutcome::TrashFailed);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadAll(f), "bleibt");
  EXPECT_TRUE(trash.Names().empty());
}

// Another file system has its trash at its top, .Trash-UID, with the path
// relative to that top; a top that cannot be written has no trash, and the
// file stays.
TEST_F(TrashTest, OtherFileSystemUsesItsOwnTrashOrFailsClearly) {
  OwnFileSystem fs(tree, "ext2");
  if (!fs.Why().empty()) GTEST_SKIP() << fs.Why();
  const std::string mnt = tree.Path("mnt");
  const std::string topTrash = mnt + "/.Trash-" + std::to_string(::getuid()) + "/";
  const std::string name = std::string("fremd\xfc.bin");
  const std::string f = tree.createFile("mnt/sub/" + name, "anderswo", 1100000000);
  test::ListFile(store, 1, f);
  std::string error;
  ASSERT_EQ(TrashRowFile(store, 1, nullptr, &error), TDeleteOutcome::Deleted) << error;
  EXPECT_FALSE(Exists(f));
  EXPECT_EQ(test::ReadAll(topTrash + "files/" + name), "anderswo");
  const std::string info = test::ReadAll(topTrash + "info/" + name + ".trashinfo");
  EXPECT_NE(info.find("\nPath=" + test::PercentEncoded("sub/" + name) + "\n"), std::string::npos) << info;
  EXPECT_TRUE(trash.Names().empty());

  // No trash folder there, and none can be made.
  std::filesystem::remove_all(topTrash);
  const std::string g = tree.createFile("mnt/g.bin", "bleibt", 1100000000);
  test::ListFile(store, 1, g);
  ::chmod(mnt.c_str(), 0555);
  {
    test::WithoutPermissionOverride asEveryone;
    EXPECT_EQ(TrashRowFile(store, 1, nullptr, &error), TDeleteOutcome::TrashFailed);
  }
  ::chmod(mnt.c_str(), 0755);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadAll(g), "bleibt");
  EXPECT_TRUE(trash.Names().empty());
}

// On a full file system the trash could take the file but not the record of
// where it came from: it would not be restorable. The file stays instead.
TEST_F(TrashTest, AFullFileSystemKeepsTheFileInPlace) {
  OwnFileSystem fs(tree, "ext2");
  if (!fs.Why().empty()) GTEST_SKIP() << fs.Why();
  const std::string first = tree.createFile("mnt/first.bin", "erste", 1100000000);
  test::ListFile(store, 1, first);
  std::string error;
  ASSERT_EQ(TrashRowFile(store, 1, nullptr, &error), TDeleteOutcome::Deleted) << error;
  const std::string g = tree.createFile("mnt/g.bin", "bleibt", 1100000000);
  // Fills the file system to its last block (dd ends with "no space").
  const int filled = std::system(("dd if=/dev/zero of='" + tree.Path("mnt/fill") + "' bs=64k 2>/dev/null").c_str());
  ASSERT_NE(filled, -1);
  test::ListFile(store, 1, g);
  EXPECT_EQ(TrashRowFile(store, 1, nullptr, &error), TDeleteOutcome::TrashFailed);
  EXPECT_EQ(error, "Zu wenig Speicherplatz");
  EXPECT_EQ(test::ReadAll(g), "bleibt");
}

}  // namespace
}  // namespace trawlix
