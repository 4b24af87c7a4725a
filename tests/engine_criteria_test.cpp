#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "engine/SearchCriteria.h"
#include "platform/Errors.h"

namespace trawlix {

TEST(AttributeCriteria, DefaultsAndExactMatch) {
  TAttributeCriteria c;
  EXPECT_EQ(c.AllowedAttr(), 0x27u);
  EXPECT_EQ(c.Attributes(), (TFileAttributes{ffArchive, ffReadonly, ffHidden, ffSystem}));
  EXPECT_TRUE(c.Matches(0));
  EXPECT_TRUE(c.Matches(0x27));
  EXPECT_TRUE(c.Matches(0x20 | 0x400 | 0x200));  // higher bits are ignored
  EXPECT_FALSE(c.Matches(0x10));
  EXPECT_FALSE(c.Matches(0x30));

  c.SetExactMatch(true);
  EXPECT_TRUE(c.Matches(0x27 | 0x400));
  EXPECT_FALSE(c.Matches(0x21));
  EXPECT_FALSE(c.Matches(0x37));

  c.SetAttributes({ffDirectory});
  EXPECT_EQ(c.AllowedAttr(), 0x10u);
  EXPECT_TRUE(c.Matches(0x10));
  c.SetExactMatch(false);
  EXPECT_TRUE(c.Matches(0));
  EXPECT_FALSE(c.Matches(0x20));
}

TEST(AttributeCriteriaEx, TriStateMasks) {
  TAttributeCriteriaEx c;
  EXPECT_TRUE(c.Matches(0xFFFFFFFF));
  c.SetReparsePoint(fsUnset);
  c.SetHidden(fsSet);
  EXPECT_EQ(c.SetMask(), 0x02u);
  EXPECT_EQ(c.UnsetMask(), 0x400u);
  EXPECT_EQ(c.Hidden(), fsSet);
  EXPECT_EQ(c.ReparsePoint(), fsUnset);
  EXPECT_EQ(c.Archive(), fsIgnore);
  EXPECT_TRUE(c.Matches(0x22));
  EXPECT_FALSE(c.Matches(0x20));
  EXPECT_FALSE(c.Matches(0x402));
  c.SetHidden(fsUnset);  // moves the bit from one mask to the other
  EXPECT_EQ(c.SetMask(), 0u);
  EXPECT_EQ(c.UnsetMask(), 0x402u);
  c.SetHidden(fsIgnore);
  EXPECT_EQ(c.UnsetMask(), 0x400u);
  const struct {
    void (TAttributeCriteriaEx::*set)(TFileAttributeStatus);
    uint32_t bit;
  } bits[] = {{&TAttributeCriteriaEx::SetArchive, 0x20},      {&TAttributeCriteriaEx::SetReadonly, 0x01},
              {&TAttributeCriteriaEx::SetHidden, 0x02},       {&TAttributeCriteriaEx::SetSystem, 0x04},
              {&TAttributeCriteriaEx::SetDirectory, 0x10},    {&TAttributeCriteriaEx::SetCompressed, 0x800},
              {&TAttributeCriteriaEx::SetEncrypted, 0x4000},  {&TAttributeCriteriaEx::SetOffline, 0x1000},
              {&TAttributeCriteriaEx::SetReparsePoint, 0x400}, {&TAttributeCriteriaEx::SetSparseFile, 0x200},
              {&TAttributeCriteriaEx::SetTemporary, 0x100}};
  for (const auto& b : bits) {
    TAttributeCriteriaEx one;
    (one.*b.set)(fsSet);
    EXPECT_EQ(one.SetMask(), b.bit);
  }
}

TEST(SizeCriteria, InclusiveBoundsAndZeroMeansNone) {
  TSizeCriteria c;
  EXPECT_TRUE(c.Matches(0));
  EXPECT_TRUE(c.Matches(INT64_MAX));
  c.SetMin(1);
  EXPECT_FALSE(c.Matches(0));
  EXPECT_TRUE(c.Matches(1));
  c.SetMax(4294967296LL);
  EXPECT_TRUE(c.Matches(4294967296LL));
  EXPECT_FALSE(c.Matches(4294967297LL));
}

TEST(DateTimeInRange, Bounds) {
  const double day = 38000;  // some day
  const struct {
    double value, before, after;
    bool expected;
  } cases[] = {
      {day + 0.3, 0, 0, true},
      // date-alone upper bound covers its whole day
      {day + 0.9999, day, 0, true},
      {day + 1.0, day, 0, false},
      // date-alone lower bound
      {day, 0, day, true},
      {day - 0.0001, 0, day, false},
      // time-of-day bounds on any day
      {day + 0.6, 0, 0.5, true},
      {day + 0.4, 0, 0.5, false},
      {day + 0.4, 0.5, 0, true},
      {day + 0.5, 0.5, 0.5, true},
      // full date-time bounds
      {day + 0.5, day + 0.5, day + 0.25, true},
      {day + 0.51, day + 0.5, 0, false},
      {day + 0.24, 0, day + 0.25, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DateTimeInRange(c.value, c.before, c.after), c.expected)
        << c.value << " before " << c.before << " after " << c.after;
}

TEST(DateTimeCriteria, ConvertsOnlyWhatIsBoundedInLocalTime) {
  setenv("TZ", "Europe/Berlin", 1);
  LocalTimeZoneChanged();
  struct tm t{};
  t.tm_year = 2010 - 1900;
  t.tm_mon = 6;
  t.tm_mday = 15;
  t.tm_hour = 10;  // 12:00 in Berlin (summer time)
  const TFileTime noon = UnixToFileTime(timegm(&t), 0);
  TDateTimeCriteria c;
  EXPECT_TRUE(c.Matches(0, 0, 0));
  c.SetModifiedAfter(0.5);  // at or after 12:00 on any day
  EXPECT_TRUE(c.Matches(0, noon, 0));
  c.SetModifiedAfter(0.5 + 1.0 / 86400);
  EXPECT_FALSE(c.Matches(0, noon, 0));
  c.SetModifiedAfter(0);
  const double dayOf = EncodeDateTime({2010, 7, 15, 0, 0, 0, 0});
  c.SetCreatedBefore(dayOf);
  EXPECT_TRUE(c.Matches(noon, 0, 0));
  c.SetCreatedBefore(dayOf - 1);
  EXPECT_FALSE(c.Matches(noon, 0, 0));
  c.SetCreatedBefore(0);
  c.SetAccessedAfter(dayOf + 1);
  EXPECT_FALSE(c.Matches(0, 0, noon));
  EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(noon), dayOf + 0.5);
}

TEST(Assign, CopiesByValueAndRefusesOtherClasses) {
  TSearchCriteria a;
  a.Files().SetFileName("*.txt");
  a.Files().SetLocation("/data");
  a.Files().Included() = {"/x/*.log"};
  a.Files().Excluded() = {"*.bak"};
  a.Files().SetSubfolders(false);
  a.Files().SetMinLevel(2);
  a.Files().SetMaxLevel(5);
  a.Files().ExactFolders() = {"/Projekte;alt "};
  a.Files().ExactNames() = {"a;b*.txt"};
  a.Attribute().SetExactMatch(true);
  a.Attribute().SetAttributes({ffDirectory});
  a.AttributeEx().SetHidden(fsSet);
  a.TimeStamp().SetAccessedBefore(40000);
  a.Size().SetMin(10);
  a.Size().SetMax(20);
  a.Content().SetPhrase("Wort");
  a.Content().SetIgnoreCase(false);
  a.Content().SetWholeWord(true);

  TSearchCriteria b;
  b.Assign(a);
  EXPECT_EQ(b.Files().FileName(), "*.txt");
  EXPECT_EQ(b.Files().Location(), "/data");
  EXPECT_EQ(b.Files().Included(), std::vector<std::string>{"/x/*.log"});
  EXPECT_EQ(b.Files().Excluded(), std::vector<std::string>{"*.bak"});
  EXPECT_FALSE(b.Files().Subfolders());
  EXPECT_EQ(b.Files().MinLevel(), 2);
  EXPECT_EQ(b.Files().MaxLevel(), 5);
  EXPECT_EQ(b.Files().ExactFolders(), std::vector<std::string>{"/Projekte;alt "});
  EXPECT_EQ(b.Files().ExactNames(), std::vector<std::string>{"a;b*.txt"});
  EXPECT_TRUE(b.Attribute().ExactMatch());
  EXPECT_EQ(b.Attribute().AllowedAttr(), 0x10u);
  EXPECT_EQ(b.AttributeEx().SetMask(), 0x02u);
  EXPECT_EQ(b.TimeStamp().AccessedBefore(), 40000);
  EXPECT_EQ(b.Size().Min(), 10);
  EXPECT_EQ(b.Size().Max(), 20);
  EXPECT_EQ(b.Content().Phrase(), "Wort");
  EXPECT_EQ(b.Content().PhraseLength(), 4);
  EXPECT_EQ(b.Content().ComparePhrase(), "Wort");
  EXPECT_FALSE(b.Content().IgnoreCase());
  EXPECT_TRUE(b.Content().WholeWord());

  // A copy, not a share.
  a.Files().Included().push_back("/y");
  EXPECT_EQ(b.Files().Included().size(), 1u);

  TSizeCriteria size;
  size.SetMin(3);
  try {
    size.Assign(a.Files());
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "TFileCriteria kann nicht zu TSizeCriteria zugewiesen werden");
  }
  EXPECT_EQ(size.Min(), 3);
  try {
    b.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "nil kann nicht zu TSearchCriteria zugewiesen werden");
  }
  EXPECT_EQ(b.Files().FileName(), "*.txt");
}

}  // namespace trawlix
