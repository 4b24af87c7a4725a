#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "results/Sort.h"

namespace trawlix {
namespace {

int32_t Pack(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return static_cast<int32_t>((static_cast<uint32_t>(y - 1980) << 25) |
                              (static_cast<uint32_t>(mo) << 21) | (static_cast<uint32_t>(d) << 16) |
                              (static_cast<uint32_t>(h) << 11) | (static_cast<uint32_t>(mi) << 5) |
                              static_cast<uint32_t>(s / 2));
}

struct Row {
  std::string folder;  // empty: a blank row (a deleted file)
  std::string name;
  int32_t time;
  uint64_t size;
};

const TCollator& German() {
  static const TCollator collator("de_DE");
  return collator;
}

void Fill(TRowStore& store, const std::vector<Row>& rows) {
  int r = 0;
  for (const Row& row : rows) {
    ++r;
    store.SetRow(r, row.folder.empty() ? "/blank/" : row.folder, row.name, row.time,
                 TFileIdentity{1, static_cast<uint64_t>(r), row.size, 0});
    if (row.folder.empty()) store.ClearRow(r);
  }
  store.SetFileCount(r);
}

// The rows as "folder|name|date|size" after sorting.
std::vector<std::string> Sorted(const std::vector<Row>& rows, TSortOrder order) {
  TRowStore store;
  Fill(store, rows);
  SortRows(store, order, German());
  std::vector<std::string> out;
  for (int r = 1; r <= store.FileCount(); ++r)
    out.push_back(store.CellText(r, 0) + "|" + store.CellText(r, 1) + "|" + store.CellText(r, 2) +
                  "|" + store.CellText(r, 3));
  return out;
}

const int32_t kDay = Pack(2004, 3, 15, 13, 45, 10);

TEST(Sort, FolderOrderBreaksTiesByNameThenDateTextThenSizeText) {
  const std::vector<Row> rows = {
      {"/b/", "x", kDay, 1},
      {"/a/", "z", kDay, 1},
      {"/a/", "y", Pack(2004, 3, 15), 100},
      {"/a/", "y", Pack(2004, 3, 15), 99},  // size text: "100" before "99"
      {"/a/", "y", Pack(2003, 3, 16), 5},   // date text: "15.03.2004" before "16.03.2003"
      {"/Ä/", "q", kDay, 1},                // Ä sorts with A, after it
  };
  EXPECT_EQ(
      Sorted(rows, TSortOrder::Folder),
      (std::vector<std::string>{"/a/|y|15.03.2004|100", "/a/|y|15.03.2004|99", "/a/|y|16.03.2003|5",
                                "/a/|z|15.03.2004 13:45:10|1", "/Ä/|q|15.03.2004 13:45:10|1",
                                "/b/|x|15.03.2004 13:45:10|1"}));
}

TEST(Sort, NameOrderIgnoresLetterCaseAndFollowsGermanCollation) {
  const std::vector<Row> rows = {
      {"/2/", "Birne", kDay, 1},
      {"/1/", "Ärger", kDay, 1},
      {"/1/", "Apfel", kDay, 1},
      {"/3/", "brief.txt", Pack(2004, 3, 16), 1},
      {"/2/", "BRIEF.TXT", Pack(2004, 3, 15), 1},  // equal name: the date text decides
      {"/1/", "straße", kDay, 1},
      {"/1/", "Strasse", kDay, 1},
  };
  const std::vector<std::string> got = Sorted(rows, TSortOrder::Name);
  EXPECT_EQ(got, (std::vector<std::string>{
                     "/1/|Apfel|15.03.2004 13:45:10|1", "/1/|Ärger|15.03.2004 13:45:10|1",
                     "/2/|Birne|15.03.2004 13:45:10|1", "/2/|BRIEF.TXT|15.03.2004|1",
                     "/3/|brief.txt|16.03.2004|1", "/1/|Strasse|15.03.2004 13:45:10|1",
                     "/1/|straße|15.03.2004 13:45:10|1"}));
}

TEST(Sort, ExtensionOrderUsesTheLastDot) {
  const std::vector<Row> rows = {
      {"/a/", "b.tar.gz", kDay, 1}, {"/a/", "Makefile", kDay, 1}, {"/a/", "a.TXT", kDay, 1},
      {"/a/", ".bashrc", kDay, 1},  {"/a/", "x.", kDay, 1},       {"/a/", "b.txt", kDay, 1},
      {"/a/", "a.gz", kDay, 1},
  };
  std::vector<std::string> names;
  for (const std::string& line : Sorted(rows, TSortOrder::Extension)) {
    const size_t from = line.find('|') + 1;
    names.push_back(line.substr(from, line.find('|', from) - from));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Makefile", "x.", ".bashrc", "a.gz", "b.tar.gz",
                                             "a.TXT", "b.txt"}));
  EXPECT_EQ(ExtensionKey("b.tar.gz"), ".gz");
  EXPECT_EQ(ExtensionKey(".bashrc"), ".bashrc");
  EXPECT_EQ(ExtensionKey("x."), ".");
  EXPECT_EQ(ExtensionKey("Makefile"), "");
}

TEST(Sort, DateOrderPutsUndatedRowsFirstAndBreaksTiesBySizeText) {
  const std::vector<Row> rows = {
      {"/a/", "late", Pack(2107, 12, 31, 23, 59, 58), 1},
      {"/a/", "same99", kDay, 99},
      {"/a/", "same100", kDay, 100},
      {"/a/", "epoch", 0, 7},  // before 1980: the fallback text, kept
      {"", "", 0, 0},          // blank after a deletion
      {"/a/", "early", Pack(1980, 1, 1), 3},
      {"/b/", "epoch", 0, 7},
  };
  EXPECT_EQ(Sorted(rows, TSortOrder::Date),
            (std::vector<std::string>{
                "|||", "/a/|epoch|00.00.00 00:00:00|7", "/b/|epoch|00.00.00 00:00:00|7",
                "/a/|early|01.01.1980|3", "/a/|same100|15.03.2004 13:45:10|100",
                "/a/|same99|15.03.2004 13:45:10|99", "/a/|late|31.12.2107 23:59:58|1"}));
}

TEST(Sort, SizeOrderIsNumericAndRanksBlankRowsFirstLeavingThemBlank) {
  const std::vector<Row> rows = {
      {"/a/", "big", kDay, 100000000000ULL},
      {"/a/", "nearly", kDay, 99999999999ULL},
      {"/a/", "thousand", kDay, 1000},
      {"", "", 0, 0},
      {"/b/", "nine", kDay, 999},
      {"/a/", "nine", kDay, 999},
      {"/a/", "empty", kDay, 0},
  };
  EXPECT_EQ(Sorted(rows, TSortOrder::Size),
            (std::vector<std::string>{
                "|||", "/a/|empty|15.03.2004 13:45:10|0", "/a/|nine|15.03.2004 13:45:10|999",
                "/b/|nine|15.03.2004 13:45:10|999", "/a/|thousand|15.03.2004 13:45:10|1000",
                "/a/|nearly|15.03.2004 13:45:10|99999999999",
                "/a/|big|15.03.2004 13:45:10|100000000000"}));
}

TEST(Sort, EveryOrderKeepsEveryRowOfOddNamesAndIsRepeatable) {
  std::vector<Row> rows;
  const std::string odd[] = {"tab\there", "new\nline", "latin\xE4", "latin\xF6", "\xFF", "",
                             "Same",      "same",      "same",      "\xC3\xA4",  "A",    "a"};
  int i = 0;
  for (const std::string& n : odd)
    rows.push_back({i % 2 ? "/x/" : "/X/", n, Pack(2000 + i % 3, 1, 1), 10u + i % 2}), ++i;
  rows.push_back({"", "", 0, 0});
  rows.push_back({"/x/", "same", Pack(2000, 1, 1), 10});  // identical to an earlier row
  for (TSortOrder order : {TSortOrder::Folder, TSortOrder::Name, TSortOrder::Extension,
                           TSortOrder::Date, TSortOrder::Size}) {
    std::vector<std::string> first = Sorted(rows, order);
    EXPECT_EQ(first, Sorted(rows, order)) << static_cast<int>(order);
    // The same rows, only moved.
    std::vector<std::string> before;
    TRowStore store;
    Fill(store, rows);
    for (int r = 1; r <= store.FileCount(); ++r) before.push_back(store.FullPath(r));
    SortRows(store, order, German());
    std::vector<std::string> after;
    for (int r = 1; r <= store.FileCount(); ++r) after.push_back(store.FullPath(r));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after) << static_cast<int>(order);
  }
  // Stray bytes keep distinct names apart: the two Latin-1 names never swap
  // with each other between runs, and both stay.
  const auto byName = Sorted(rows, TSortOrder::Name);
  EXPECT_EQ(
      std::count_if(byName.begin(), byName.end(),
                    [](const std::string& l) { return l.find("latin") != std::string::npos; }),
      2);
}

TEST(Sort, HundredSortsOfOneTableKeepItsMemoryFlat) {
  TRowStore store;
  std::vector<Row> rows;
  for (int i = 0; i < 3000; ++i)
    rows.push_back({"/d" + std::to_string(i % 17) + "/",
                    "name" + std::to_string(i * 7919 % 3000) + ".e" + std::to_string(i % 5),
                    Pack(1990 + i % 30, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60),
                    static_cast<uint64_t>(i % 1000)});
  Fill(store, rows);
  SortRows(store, TSortOrder::Name, German());
  const size_t memory = store.MemoryUse(), text = store.TextBytes();
  const TSortOrder orders[] = {TSortOrder::Folder, TSortOrder::Name, TSortOrder::Extension,
                               TSortOrder::Date, TSortOrder::Size};
  for (int i = 0; i < 100; ++i) SortRows(store, orders[i % 5], German());
  EXPECT_EQ(store.MemoryUse(), memory);
  EXPECT_EQ(store.TextBytes(), text);
  EXPECT_EQ(store.FileCount(), 3000);
}

// The size order makes name keys only for rows that tie on size and
// folder; making one key must not disturb the one it is compared with.
TEST(Sort, SizeOrderTiesOfOneFolderFallBackToTheNames) {
  std::vector<Row> rows;
  for (int i = 0; i < 2000; ++i)
    rows.push_back({"/same/", "n" + std::to_string(i * 7919 % 2000 + 10000) + std::string(i % 40, 'x'), kDay, 5});
  const std::vector<std::string> got = Sorted(rows, TSortOrder::Size);
  ASSERT_EQ(got.size(), rows.size());
  EXPECT_TRUE(std::is_sorted(got.begin(), got.end())) << got.front();
}

TEST(Collator, FollowsTheEnvironmentAndCountsCAsGerman) {
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  const struct {
    const char* env;
    const char* locale;
  } cases[] = {
      {"C", "de_DE"}, {"POSIX", "de_DE"}, {"sv_SE.UTF-8", "sv_SE"}, {"de_DE.UTF-8@euro", "de_DE"}};
  for (const auto& c : cases) {
    setenv("LC_ALL", c.env, 1);
    EXPECT_EQ(TCollator::UserLocale(), c.locale) << c.env;
  }
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
  // Swedish puts Ä after Z, German with A.
  EXPECT_LT(TCollator("sv_SE").Compare("Z", "Ä"), 0);
  EXPECT_GT(German().Compare("Z", "Ä"), 0);
  EXPECT_EQ(German().Compare("brief", "BRIEF"), 0);
  EXPECT_NE(German().Compare("a\xE4", "a\xF6"), 0);
}

}  // namespace
}  // namespace trawlix
