#include "app/DateText.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace trawlix {
namespace {

int32_t Pack(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<int32_t>((static_cast<uint32_t>(y - 1980) << 25) | (static_cast<uint32_t>(mo) << 21) |
                              (static_cast<uint32_t>(d) << 16) | (static_cast<uint32_t>(h) << 11) |
                              (static_cast<uint32_t>(mi) << 5) | static_cast<uint32_t>(s / 2));
}

TEST(DateText, GermanSettings) {
  const TDateTextFormat de = DateTextFormatFromLocale(QLocale(QLocale::German, QLocale::Germany));
  const struct {
    const char* name;
    int32_t packed;
    const char* text;
  } cases[] = {
      {"afternoon", Pack(2004, 12, 31, 13, 45, 10), "31.12.2004 13:45:10"},
      {"midnight has no time part", Pack(2004, 12, 31, 0, 0, 0), "31.12.2004"},
      {"one second past midnight", Pack(2004, 12, 31, 0, 0, 2), "31.12.2004 00:00:02"},
      {"first day", Pack(1980, 1, 1, 9, 5, 0), "01.01.1980 09:05:00"},
      {"last year", Pack(2107, 12, 31, 23, 59, 58), "31.12.2107 23:59:58"},
      {"zero packs before 1980", 0, "00.00.00 00:00:00"},
      {"month 13", Pack(2004, 13, 1, 0, 0, 0), "00.00.00 00:00:00"},
      {"30 February", Pack(2004, 2, 30, 0, 0, 0), "00.00.00 00:00:00"},
      {"29 February of a leap year", Pack(2004, 2, 29, 0, 0, 0), "29.02.2004"},
      {"hour 24", Pack(2004, 1, 1, 24, 0, 0), "00.00.00 00:00:00"},
      {"minute 60", Pack(2004, 1, 1, 1, 60, 0), "00.00.00 00:00:00"},
      {"seconds 60", Pack(2004, 1, 1, 1, 0, 60), "00.00.00 00:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(de.Format(c.packed), c.text) << c.name;
  // The default format is the German one.
  EXPECT_EQ(TDateTextFormat().Format(Pack(2004, 12, 31, 13, 45, 10)), "31.12.2004 13:45:10");
}

TEST(DateText, OtherLocalesKeepOrderSeparatorsAndClockButFullYear) {
  const int32_t afternoon = Pack(2004, 3, 7, 13, 45, 10);
  const int32_t morning = Pack(2004, 3, 7, 9, 5, 0);
  const TDateTextFormat us = DateTextFormatFromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(us.Format(afternoon), "03/07/2004 1:45:10 PM");
  EXPECT_EQ(us.Format(morning), "03/07/2004 9:05:00 AM");
  EXPECT_EQ(us.Format(Pack(2004, 3, 7, 0, 0, 0)), "03/07/2004");
  EXPECT_EQ(us.Format(Pack(2004, 3, 7, 0, 30, 0)), "03/07/2004 12:30:00 AM");
  const TDateTextFormat se = DateTextFormatFromLocale(QLocale(QLocale::Swedish, QLocale::Sweden));
  EXPECT_EQ(se.Format(afternoon), "2004-03-07 13:45:10");
  const TDateTextFormat gb = DateTextFormatFromLocale(QLocale(QLocale::English, QLocale::UnitedKingdom));
  EXPECT_EQ(gb.Format(morning), "07/03/2004 09:05:00");
  // The fallback text does not follow the locale.
  EXPECT_EQ(us.Format(0), "00.00.00 00:00:00");
}

TEST(DateText, CAndPosixLocalesCountAsGerman) {
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
    setenv("LC_ALL", name, 1);
    const TDateTextFormat f = DateTextFormatFromLocale(UserTimeLocale());
    EXPECT_EQ(f.Format(Pack(2004, 12, 31, 13, 45, 10)), "31.12.2004 13:45:10") << name;
  }
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace trawlix
