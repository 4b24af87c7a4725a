// Exclusion masks: entries taken apart into folder tail and name mask, name
// masks matched by base and extension, wildcards with backtracking.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "ScopedLocale.h"
#include "engine/ContentSearch.h"
#include "engine/ExclusionMask.h"
#include "platform/Mask.h"

namespace trawlix {
namespace {

using test::ScopedLocale;

struct ExclusionCase {
  const char* name;  // what the row shows
  const char* entry;
  const char* folder;
  const char* file;
  bool excluded;
};

const ExclusionCase kExclusionCases[] = {
    {"empty entry matches everything", "", "/work/Temp/", "a.txt", true},
    {"extension any folder, case ignored", "*.bak", "/work/Temp/", "old.BAK", true},
    {"extension must match whole", "*.bak", "/work/Temp/", "old.bak2", false},
    {"full folder", "/work/Temp/", "/work/Temp/", "a.txt", true},
    {"folder tail at any depth", "/Temp/", "/work/Temp/", "a.txt", true},
    {"folder tail ignores ASCII case", "/temp/", "/work/Temp/", "a.txt", true},
    {"other folder", "/other/Temp/", "/work/Temp/", "a.txt", false},
    {"folder tail is not a head", "/work/", "/work/Temp/", "a.txt", false},
    {"tail without leading slash fits inside a name", "Temp/*", "/x/MyTemp/", "a.txt", true},
    {"folder and mask", "/Temp/*.log", "/work/Temp/", "a.log", true},
    {"folder and mask, other extension", "/Temp/*.log", "/work/Temp/", "a.txt", false},
    {"folder and mask, subfolder", "/Temp/*.log", "/work/Temp/Sub/", "a.log", false},
    {"lone slash is the end of every folder", "/", "/work/Temp/", "a.txt", true},
    {"folder shorter than entry", "/Temp/x.txt", "/", "x.txt", false},
    {"entry longer than any path", "/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/t/u/v/w/x/y/z/Temp/",
     "/work/Temp/", "a.txt", false},
    {"only wildcards", "*?*", "/work/Temp/", "a.txt", true},
    {"mask without extension ignores the file's", "readme", "/w/", "README.TXT", true},
    {"mask without extension, plain name", "readme", "/w/", "README", true},
    {"mask without extension, other case", "readme", "/w/", "ReadMe.doc", true},
    {"mask without extension, other base", "readme", "/w/", "readme2.txt", false},
    {"star dot: name without extension", "*.", "/w/", "Makefile", true},
    {"star dot: name with extension", "*.", "/w/", "make.txt", false},
    {"star dot star: every name", "*.*", "/w/", "Makefile", true},
    {"star dot star: dot file", "*.*", "/w/", ".bashrc", true},
    {"star: dot file has an empty base", "*", "/w/", ".bashrc", true},
    {"star after literal needs the rest", "a*z.txt", "/w/", "abc.txt", false},
    {"star after literal, fitting", "a*z.txt", "/w/", "abz.txt", true},
    {"star may be empty", "a*z.txt", "/w/", "az.txt", true},
    {"star spans dots of the base", "a*z.txt", "/w/", "a.b.z.txt", true},
    {"trailing question mark, one character", "data?.csv", "/w/", "data1.csv", true},
    {"trailing question mark, nothing", "data?.csv", "/w/", "data.csv", true},
    {"trailing question mark, two characters", "data?.csv", "/w/", "data12.csv", false},
    {"question mark in the extension", "*.tx?", "/w/", "a.tx", true},
    {"question mark in the extension, too long", "*.tx?", "/w/", "a.text", false},
    {"colon is an ordinary character", "C:/", "/mnt/C:/", "a.txt", true},
    {"colon does not start a drive", "C:/", "/mnt/D:/", "a.txt", false},
    {"colon inside a name mask", "C:*", "/w/", "C:x", true},
    {"tab and newline are name bytes", "a\tb*", "/w/", "A\tB\n", true},
};

TEST(ExclusionMatch, TableOfCases) {
  for (const auto& c : kExclusionCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExclusionMatch(c.folder, c.file, c.entry), c.excluded)
        << "entry '" << c.entry << "' folder '" << c.folder << "' file '" << c.file << "'";
  }
}

TEST(IsExcludedBy, EmptyListExcludesNothing) {
  EXPECT_FALSE(IsExcludedBy({}, "/work/Temp/", "a.txt"));
}

TEST(IsExcludedBy, AnyEntryMatching) {
  const std::vector<std::string> masks{"*.bak", "/Temp/*.log", "readme"};
  EXPECT_TRUE(IsExcludedBy(masks, "/work/Temp/", "x.log"));
  EXPECT_TRUE(IsExcludedBy(masks, "/elsewhere/", "y.BAK"));
  EXPECT_TRUE(IsExcludedBy(masks, "/elsewhere/", "README.md"));
  EXPECT_FALSE(IsExcludedBy(masks, "/elsewhere/", "x.log"));
}

struct WildcardCase {
  const char* name;
  const char* mask;
  bool match;
};

const WildcardCase kWildcardCases[] = {
    {"", "", true},
    {"", "*", true},
    {"", "?", true},  // a trailing "?" may stand for nothing
    {"a", "", false},
    {"ab", "ab*", true},
    {"ab", "ab?c", false},
    {".tx", ".tx?", true},
    {"ax", "a*b", false},  // the rest of the mask counts after "*"
    {"abcbc", "a*bc", true},  // the star has to give back what it took
    {"abcbcx", "a*bc", false},
    {"mississippi", "m*iss*ppi", true},
    {"mississippi", "m*iss*ppx", false},
    {"aaa", "a*a*a", true},
    {"aa", "a*a*a", false},
    {"abc", "*?", true},
    {"abcd", "a?c", false},
    {"abc", "a?c", true},
    {"ABC", "a*C", true},
    {"a*c", "a\\*c", false},  // no escapes: the backslash is a literal
    {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "*a*a*a*a*a*a*a*a*b", false},
};

TEST(WildcardMatch, TableOfCases) {
  for (const auto& c : kWildcardCases) {
    EXPECT_EQ(WildcardMatch(c.name, c.mask), c.match) << "name '" << c.name << "' mask '" << c.mask << "'";
  }
}

TEST(DriveMatch, Rules) {
  // Linux paths have no drive; the rules stay for entries that carry one.
  EXPECT_TRUE(PathDrive("C:/x/").empty());
  EXPECT_TRUE(PathDrive("//srv/share/").empty());
  EXPECT_TRUE(DriveMatch("C:", "c:"));
  EXPECT_FALSE(DriveMatch("C:", "D:"));
  EXPECT_TRUE(DriveMatch("", "*:"));
  EXPECT_TRUE(DriveMatch("\\\\srv\\docs", "?:"));
  EXPECT_FALSE(DriveMatch("", "C:"));
  EXPECT_TRUE(DriveMatch("\\\\srv\\docs", "\\\\*"));
  EXPECT_FALSE(DriveMatch("C:", "\\\\srv\\docs"));
}

TEST(ExclusionUtf8, LettersBeyondAsciiFoldInNameMasks) {
  ScopedLocale locale("de_DE.UTF-8");
  ASSERT_TRUE(locale.ok()) << "locale de_DE.UTF-8 is missing (scripts/setup.sh generates it)";
  EXPECT_TRUE(ExclusionMatch("/w/", "ärger1.txt", "ÄRGER*.TXT"));
  EXPECT_TRUE(ExclusionMatch("/w/", "ОТЧЁТ.doc", "отчёт*"));
  EXPECT_TRUE(ExclusionMatch("/w/", "ΣΟΦΙΑ.md", "σοφια.*"));
  // "?" stands for one character, not one byte.
  EXPECT_TRUE(ExclusionMatch("/w/", "ä.txt", "?.txt"));
  EXPECT_FALSE(ExclusionMatch("/w/", "äö.txt", "?.txt"));
  // Folder tails compare ASCII letters only without regard to case.
  EXPECT_FALSE(ExclusionMatch("/x/ärger/", "a.txt", "/Ärger/"));
  EXPECT_TRUE(ExclusionMatch("/x/ärger/", "a.txt", "/ärger/"));
  // Bytes that are not UTF-8 are characters of their own.
  EXPECT_TRUE(ExclusionMatch("/w/", "K\xE4se.txt", "k?se.*"));
  EXPECT_FALSE(ExclusionMatch("/w/", "K\xE4se.txt", "käse.*"));
  EXPECT_EQ(LowerChar('A'), 'a');
  EXPECT_EQ(LowerChar(0xC3), 0xC3);  // a lead byte stays as it is
}

TEST(ExclusionSingleByte, LettersFoldByTheLocalesTable) {
  ScopedLocale locale("de_DE.ISO-8859-1");
  ASSERT_TRUE(locale.ok()) << "locale de_DE.ISO-8859-1 is missing (scripts/setup.sh generates it)";
  EXPECT_EQ(LowerChar(0xC4), 0xE4);  // Ä -> ä in Latin-1
  EXPECT_TRUE(ExclusionMatch("/w/", "\xE4rger.txt", "\xC4RGER.TXT"));
  EXPECT_TRUE(WildcardMatch("\xC4", "?"));
}

// Regression: under a single-byte locale the name masks of the walk folded
// by UTF-8 characters while exclusion entries folded by the locale's table,
// so "\xC4*" (Ä*) excluded "\xE4pfel" (äpfel) but did not list it.
TEST(MaskFolding, NameMasksAndExclusionEntriesFoldAlike) {
  const struct {
    const char* locale;
    const char* mask;
    const char* name;
    bool matches;
  } cases[] = {
      {"de_DE.ISO-8859-1", "\xC4*", "\xE4pfel", true},      // Ä* / äpfel
      {"de_DE.ISO-8859-1", "*\xD6L", "Schmier\xF6l", true},  // *ÖL / Schmieröl
      {"de_DE.ISO-8859-1", "?pfel", "\xC4pfel", true},       // one byte, one character
      {"de_DE.ISO-8859-1", "\xC4pfel", "apfel", false},
      {"de_DE.UTF-8", "Ä*", "äpfel", true},
      {"de_DE.UTF-8", "?pfel", "Äpfel", true},
      {"de_DE.UTF-8", "*ÖL", "schmieröl", true},
      {"de_DE.UTF-8", "Äpfel", "apfel", false},
  };
  for (const auto& c : cases) {
    ScopedLocale locale(c.locale);
    ASSERT_TRUE(locale.ok()) << "locale " << c.locale << " is missing (scripts/setup.sh generates it)";
    EXPECT_EQ(TNameMask(c.mask).Matches(c.name), c.matches) << c.locale << " " << c.mask << " " << c.name;
    EXPECT_EQ(WildcardMatch(c.name, c.mask), c.matches) << c.locale << " " << c.mask << " " << c.name;
  }
}

}  // namespace
}  // namespace trawlix
