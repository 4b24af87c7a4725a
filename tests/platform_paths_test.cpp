#include <gtest/gtest.h>

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

TEST(Paths, TrailingDelimiterAndExistence) {
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
  EXPECT_TRUE(DirectoryExists("/"));
  EXPECT_FALSE(DirectoryExists(""));
  EXPECT_FALSE(DirectoryExists("/no/such/folder/anywhere"));
}

}  // namespace trawlix
