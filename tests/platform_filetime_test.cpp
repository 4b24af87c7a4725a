#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/FileTime.h"

namespace trawlix {

namespace {

// Runs the tests in the zone of Berlin whatever the machine says.
class BerlinTime : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TZ");
    saved_ = old ? old : "";
    hadTz_ = old != nullptr;
    setenv("TZ", "Europe/Berlin", 1);
    LocalTimeZoneChanged();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", saved_.c_str(), 1);
    else
      unsetenv("TZ");
    LocalTimeZoneChanged();
  }
  static TFileTime Utc(int y, int mo, int d, int h, int mi, int s) {
    struct tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return UnixToFileTime(timegm(&t), 0);
  }
  std::string saved_;
  bool hadTz_ = false;
};

}  // namespace

TEST_F(BerlinTime, DosPackingUsesTheOffsetOfEachMoment) {
  // 12:45:11 UTC is 13:45:11 in winter and 14:45:11 in summer.
  TDateTimeFields f;
  ASSERT_TRUE(DecodeDosDateTime(FileTimeToDosDateTime(Utc(2004, 12, 31, 12, 45, 11)), f));
  EXPECT_EQ(f.Year, 2004);
  EXPECT_EQ(f.Month, 12);
  EXPECT_EQ(f.Day, 31);
  EXPECT_EQ(f.Hour, 13);
  EXPECT_EQ(f.Minute, 45);
  EXPECT_EQ(f.Second, 10);  // only even seconds are kept
  ASSERT_TRUE(DecodeDosDateTime(FileTimeToDosDateTime(Utc(2004, 7, 1, 12, 45, 11)), f));
  EXPECT_EQ(f.Hour, 14);
  EXPECT_EQ(FileTimeToDosDateTime(Utc(2004, 12, 31, 12, 45, 11)) & 0x1F, 5);
}

TEST_F(BerlinTime, DosPackingAroundTheSpringTransition) {
  // 2021-03-28 01:59:58 UTC+1 and, two seconds later, 03:00:00 UTC+2.
  TDateTimeFields f;
  ASSERT_TRUE(DecodeDosDateTime(FileTimeToDosDateTime(Utc(2021, 3, 28, 0, 59, 58)), f));
  EXPECT_EQ(f.Hour, 1);
  EXPECT_EQ(f.Minute, 59);
  ASSERT_TRUE(DecodeDosDateTime(FileTimeToDosDateTime(Utc(2021, 3, 28, 1, 0, 0)), f));
  EXPECT_EQ(f.Hour, 3);
  EXPECT_EQ(f.Minute, 0);
}

TEST_F(BerlinTime, MomentsOutsideTheDosRangePackAsInvalid) {
  TDateTimeFields f;
  EXPECT_EQ(FileTimeToDosDateTime(Utc(1979, 12, 31, 12, 0, 0)), 0);
  EXPECT_FALSE(DecodeDosDateTime(0, f));
  EXPECT_EQ(FileTimeToDosDateTime(Utc(2108, 6, 1, 0, 0, 0)), 0);
  EXPECT_NE(FileTimeToDosDateTime(Utc(2100, 6, 1, 0, 0, 0)), 0);
  EXPECT_EQ(FileTimeToDosDateTime(0), 0);
}

TEST(DosDateTime, ValidityOfUnpackedFields) {
  auto pack = [](int y, int mo, int d, int h, int mi, int s) {
    return static_cast<int32_t>((static_cast<uint32_t>(y - 1980) << 25) | (mo << 21) | (d << 16) |
                                (h << 11) | (mi << 5) | (s / 2));
  };
  TDateTimeFields f;
  EXPECT_TRUE(DecodeDosDateTime(pack(2004, 2, 29, 23, 59, 58), f));
  EXPECT_FALSE(DecodeDosDateTime(pack(2003, 2, 29, 0, 0, 0), f));
  EXPECT_FALSE(DecodeDosDateTime(pack(2004, 13, 1, 0, 0, 0), f));
  EXPECT_FALSE(DecodeDosDateTime(pack(2004, 4, 31, 0, 0, 0), f));
  EXPECT_FALSE(DecodeDosDateTime(pack(2004, 4, 1, 24, 0, 0), f));
  EXPECT_FALSE(DecodeDosDateTime(pack(2004, 4, 1, 0, 60, 0), f));
  EXPECT_FALSE(DecodeDosDateTime(pack(2004, 4, 1, 0, 0, 60), f));
}

TEST(DateTimeValue, EncodesDaysFrom1899AndNegativeDays) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 12, 0, 0, 0}), 0.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
  const TDateTimeFields back = DecodeDateTime(-1.25);
  EXPECT_EQ(back.Day, 29);
  EXPECT_EQ(back.Hour, 6);
  const TDateTimeFields round = DecodeDateTime(EncodeDateTime({2024, 2, 29, 23, 59, 59, 500}));
  EXPECT_EQ(round.Month, 2);
  EXPECT_EQ(round.Day, 29);
  EXPECT_EQ(round.Second, 59);
  EXPECT_EQ(round.Millisecond, 500);
}

TEST_F(BerlinTime, LocalDateTimeOfAFileTime) {
  TDateTime v = 0;
  ASSERT_TRUE(TryFileTimeToLocalDateTime(Utc(2000, 1, 1, 11, 0, 0), v));
  EXPECT_DOUBLE_EQ(v, 36526.5);  // noon in Berlin
  ASSERT_TRUE(TryFileTimeToLocalDateTime(Utc(2000, 7, 1, 10, 0, 0), v));
  const TDateTimeFields f = DecodeDateTime(v);
  EXPECT_EQ(f.Hour, 12);  // summer time
  EXPECT_EQ(UnixToFileTime(0, 0), kUnixEpochAsFileTime);
  EXPECT_EQ(UnixToFileTime(1, 500), kUnixEpochAsFileTime + 10000000ULL + 5);
}

}  // namespace trawlix
