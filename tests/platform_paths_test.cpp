#include <gtest/gtest.h>

#include "TempTree.h"
#include "platform/Paths.h"

namespace trawlix {

TEST(ExpandFileName, AbsoluteAndLexical) {
  const std::string cwd = GetCurrentDir();
  const struct {
    std::string in, out;
  } cases[] = {
      {"/", "/"},
      {"/a/b/../c", "/a/c"},
      {"/a/./b//c/", "/a/b/c/"},
      {"/../..", "/"},
      {"/a/b/..", "/a"},
      {"/x:y/z", "/x:y/z"},
      {"rel", cwd == "/" ? "/rel" : cwd + "/rel"},
      {"", cwd},
      {"-dash dir ", cwd == "/" ? "/-dash dir " : cwd + "/-dash dir "},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandFileName(c.in), c.out) << c.in;
}

// A removed current folder is no folder at all, not the root.
TEST(Paths, VanishedCurrentFolderNamesNoFolder) {
  test::InVanishedFolder gone;
  EXPECT_EQ(GetCurrentDir(), "");
  EXPECT_EQ(ExpandFileName(""), "");
  EXPECT_EQ(ExpandFileName("rel/x"), "");
  EXPECT_EQ(ExpandFileName("/abs/../y"), "/y");
}

TEST(Paths, TrailingDelimiterAndExistence) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
  EXPECT_TRUE(DirectoryExists("/"));
  EXPECT_FALSE(DirectoryExists(""));
  EXPECT_FALSE(DirectoryExists("/no/such/folder/anywhere"));
}

}  // namespace trawlix
