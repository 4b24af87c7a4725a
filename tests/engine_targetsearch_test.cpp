#include <gtest/gtest.h>

#include "engine/TargetSearch.h"
#include "platform/Paths.h"

namespace trawlix {

namespace {

// Targets in walking order (the walk takes the last entry first).
std::vector<const TTargetFolder*> WalkOrder(const TTargetSearch& plan) {
  std::vector<const TTargetFolder*> out;
  for (int i = plan.TargetFolders().Count() - 1; i >= 0; --i) out.push_back(&plan.TargetFolders().Items(i));
  return out;
}

using Masks = std::vector<std::string>;

}  // namespace

TEST(SplitEntries, TrimsSkipsEmptyAndRepeatedPieces) {
  EXPECT_EQ(SplitEntries("*.txt;;  *.TXT ; *.doc;"), (Masks{"*.txt", "*.doc"}));
  EXPECT_EQ(SplitEntries(" ; ;"), Masks{});
  EXPECT_EQ(SplitEntries(""), Masks{});
  EXPECT_EQ(SplitEntries("\t*.c\n;*.Ä;*.ä"), (Masks{"*.c", "*.Ä"}));
  EXPECT_EQ(SplitEntries("/d/A;/d/a;/d/A", false), (Masks{"/d/A", "/d/a"}));
}

TEST(TakeSubfolderPrefix, OnlyTheFirstCharacter) {
  std::string e = "<>/x";
  EXPECT_FALSE(TakeSubfolderPrefix(e, true));
  EXPECT_EQ(e, ">/x");
  e = "> /x";
  EXPECT_TRUE(TakeSubfolderPrefix(e, false));
  EXPECT_EQ(e, " /x");
  e = "/x";
  EXPECT_TRUE(TakeSubfolderPrefix(e, true));
  EXPECT_EQ(e, "/x");
  e = "";
  EXPECT_FALSE(TakeSubfolderPrefix(e, false));
  e = "<";
  EXPECT_FALSE(TakeSubfolderPrefix(e, true));
  EXPECT_EQ(e, "");
}

TEST(TargetSearch, DefaultPlan) {
  TSearchCriteria c;
  c.Files().SetFileName("*.txt");
  c.Files().SetLocation("/data");
  TTargetSearch plan(c);
  ASSERT_EQ(plan.TargetFolders().Count(), 1);
  const TTargetFolder& t = plan.TargetFolders().Items(0);
  EXPECT_EQ(t.Folder, "/data/");
  EXPECT_EQ(t.FileMasks, Masks{"*.txt"});
  EXPECT_TRUE(t.Subfolders);
  EXPECT_EQ(t.MinLevel, 0);
  EXPECT_EQ(t.MaxLevel, 0);
}

TEST(TargetSearch, EmptyMasksMeanEverything) {
  for (const char* names : {"", " ; ;"}) {
    TSearchCriteria c;
    c.Files().SetFileName(names);
    c.Files().SetLocation("/a;/b");
    TTargetSearch plan(c);
    ASSERT_EQ(plan.TargetFolders().Count(), 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(plan.TargetFolders().Items(i).FileMasks, Masks{"*.*"});
  }
}

TEST(TargetSearch, FoldersNamedTwiceAreMergedAndKeepTheirFirstPlace) {
  TSearchCriteria c;
  c.Files().SetFileName("*.c;*.h");
  c.Files().SetLocation("/A;/A/;<  /B;/A/../A");
  c.Files().SetMinLevel(1);
  c.Files().SetMaxLevel(3);
  TTargetSearch plan(c);
  const auto order = WalkOrder(plan);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0]->Folder, "/A/");
  EXPECT_EQ(order[0]->FileMasks, (Masks{"*.c", "*.h", "*.c", "*.h", "*.c", "*.h"}));
  EXPECT_TRUE(order[0]->Subfolders);
  EXPECT_EQ(order[0]->MinLevel, 1);
  EXPECT_EQ(order[0]->MaxLevel, 3);
  // "<" takes only its own character: the blanks after it stay in the path.
  EXPECT_EQ(order[1]->Folder, GetCurrentDir() == "/" ? "/  /B/" : GetCurrentDir() + "/  /B/");
  EXPECT_FALSE(order[1]->Subfolders);
}

TEST(TargetSearch, LettersOfDifferentCaseAreDifferentFolders) {
  TSearchCriteria c;
  c.Files().SetLocation("/data/A;/data/a");
  TTargetSearch plan(c);
  const auto order = WalkOrder(plan);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0]->Folder, "/data/A/");
  EXPECT_EQ(order[1]->Folder, "/data/a/");
}

TEST(TargetSearch, PrefixOverridesTheSubfolderSwitch) {
  TSearchCriteria c;
  c.Files().SetSubfolders(false);
  c.Files().SetLocation(">/A;/B");
  TTargetSearch plan(c);
  const auto order = WalkOrder(plan);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_TRUE(order[0]->Subfolders);
  EXPECT_FALSE(order[1]->Subfolders);
}

TEST(TargetSearch, IncludedEntriesComeFirstAndSplitOffTheirMask) {
  TSearchCriteria c;
  c.Files().SetFileName("*.txt");
  c.Files().Included() = {"/X/*.a", "/Logs", "<nomask/", "bare"};
  c.Files().SetLocation("/Y;/X");
  TTargetSearch plan(c);
  const auto order = WalkOrder(plan);
  const std::string cwd = IncludeTrailingPathDelimiter(GetCurrentDir());
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(order[0]->Folder, "/X/");
  EXPECT_EQ(order[0]->FileMasks, (Masks{"*.a", "*.txt"}));
  EXPECT_EQ(order[1]->Folder, "/");  // "/Logs" is the mask "Logs" in the root
  EXPECT_EQ(order[1]->FileMasks, Masks{"Logs"});
  EXPECT_EQ(order[2]->Folder, cwd + "nomask/");
  EXPECT_EQ(order[2]->FileMasks, Masks{"*.*"});
  EXPECT_FALSE(order[2]->Subfolders);
  EXPECT_EQ(order[3]->Folder, cwd);  // no folder part: the current folder
  EXPECT_EQ(order[3]->FileMasks, Masks{"bare"});
  EXPECT_EQ(order[4]->Folder, "/Y/");
}

// Folders and names given exactly keep every byte: nothing is split at ";",
// trimmed or read as a prefix or a wildcard.
TEST(TargetSearch, ExactFoldersAndNamesAreTakenAsTheyAre) {
  const struct {
    const char* what;
    std::vector<std::string> folders, names;
    const char* fileName;
    std::vector<std::string> targets;
    Masks masks;  // of every target
    std::vector<bool> exact;
  } rows[] = {
      {"semicolon in the folder", {"/d/Projekte;alt"}, {}, "", {"/d/Projekte;alt/"}, {"*.*"}, {false}},
      {"blanks at both ends", {"/d/ x "}, {}, "*.txt", {"/d/ x /"}, {"*.txt"}, {false}},
      {"prefix characters", {"/d/<x>"}, {}, "", {"/d/<x>/"}, {"*.*"}, {false}},
      {"names only, no *.*", {"/d"}, {"a;b.txt", " Bericht* "}, "", {"/d/"}, {"a;b.txt", " Bericht* "}, {true, true}},
      {"masks first, then names", {"/d"}, {"x?"}, "*.c;*.h", {"/d/"}, {"*.c", "*.h", "x?"}, {false, false, true}},
      {"empty names select nothing", {"/d"}, {""}, "", {"/d/"}, {"*.*"}, {false}},
      {"after the Location folders", {"/e"}, {}, "", {"/l/", "/e/"}, {"*.*"}, {false}},
  };
  for (const auto& row : rows) {
    TSearchCriteria c;
    c.Files().ExactFolders() = row.folders;
    c.Files().ExactNames() = row.names;
    c.Files().SetFileName(row.fileName);
    if (std::string(row.what) == "after the Location folders") c.Files().SetLocation("/l");
    TTargetSearch plan(c);
    const auto order = WalkOrder(plan);
    ASSERT_EQ(order.size(), row.targets.size()) << row.what;
    for (size_t i = 0; i < order.size(); ++i) {
      EXPECT_EQ(order[i]->Folder, row.targets[i]) << row.what;
      EXPECT_EQ(order[i]->FileMasks, row.masks) << row.what;
      EXPECT_EQ(order[i]->ExactMasks, row.exact) << row.what;
      ASSERT_EQ(order[i]->CompiledMasks.size(), row.masks.size()) << row.what;
      for (size_t m = 0; m < row.masks.size(); ++m)
        EXPECT_EQ(order[i]->CompiledMasks[m].IsLiteral(), row.exact[m]) << row.what;
    }
  }
  // A leading "<" is part of a (relative) folder name, not a prefix.
  {
    TSearchCriteria c;
    c.Files().SetSubfolders(true);
    c.Files().ExactFolders() = {"<alt"};
    TTargetSearch plan(c);
    ASSERT_EQ(plan.TargetFolders().Count(), 1);
    EXPECT_EQ(plan.TargetFolders().Items(0).Folder, IncludeTrailingPathDelimiter(GetCurrentDir()) + "<alt/");
    EXPECT_TRUE(plan.TargetFolders().Items(0).Subfolders);
  }
  // Location and FileName keep their rules beside them.
  TSearchCriteria c;
  c.Files().SetLocation("/d/Projekte;alt");
  c.Files().SetFileName("a;b.txt");
  TTargetSearch plan(c);
  ASSERT_EQ(plan.TargetFolders().Count(), 2);
  EXPECT_EQ(WalkOrder(plan)[0]->FileMasks, (Masks{"a", "b.txt"}));
}

TEST(TargetSearch, NothingNamedGivesNoTargets) {
  TSearchCriteria c;
  c.Files().SetFileName("*.txt");
  TTargetSearch plan(c);
  EXPECT_EQ(plan.TargetFolders().Count(), 0);
}

TEST(TargetSearch, ContentSearchNeverPassesFolders) {
  TSearchCriteria c;
  c.Attribute().SetAttributes({ffArchive, ffDirectory});
  c.Content().SetPhrase("x");
  c.Files().Excluded() = {"*.bak", " keep as is "};
  TTargetSearch plan(c);
  EXPECT_FALSE(plan.Attribute().Attributes().Contains(ffDirectory));
  EXPECT_TRUE(plan.Attribute().Attributes().Contains(ffArchive));
  EXPECT_TRUE(c.Attribute().Attributes().Contains(ffDirectory));
  EXPECT_EQ(plan.TargetFolders().ExcludedMasks(), (Masks{"*.bak", " keep as is "}));
}

TEST(TargetSearch, PlanIsACopyOfTheCriteria) {
  auto c = std::make_unique<TSearchCriteria>();
  c->Files().SetLocation("/A");
  c->Size().SetMin(5);
  TTargetSearch plan(*c);
  c.reset();
  EXPECT_EQ(plan.Size().Min(), 5);
  EXPECT_EQ(plan.TargetFolders().Items(0).Folder, "/A/");
}

TEST(TargetSearch, AcceptanceTestInOrder) {
  TSearchCriteria c;
  c.Files().SetLocation("/A");
  c.Size().SetMin(10);
  TTargetSearch plan(c);
  TSearchRec rec;
  rec.Name = "f";
  rec.Attr = rec.FindData.dwFileAttributes = 0x20;
  rec.FindData.nFileSizeHigh = 1;  // 4 GiB: the high part counts
  rec.FindData.nFileSizeLow = 0;
  EXPECT_TRUE(plan.Matches("/A/", rec));
  rec.FindData.nFileSizeHigh = 0;
  rec.FindData.nFileSizeLow = 9;
  EXPECT_FALSE(plan.Matches("/A/", rec));
  rec.FindData.nFileSizeLow = 10;
  rec.Attr = 0x10;
  EXPECT_FALSE(plan.Matches("/A/", rec));  // folders do not pass by default
}

}  // namespace trawlix
