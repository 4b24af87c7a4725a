#include "platform/FileTime.h"

#include <array>
#include <atomic>
#include <cmath>
#include <ctime>
#include <memory>

namespace trawlix {

namespace {

// Howard Hinnant's days_from_civil, shifted so that 1899-12-30 is day 0.
int64_t DaysFromUnixEpoch(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

constexpr int64_t kDaysUnixToDelphi = 25569;  // 1970-01-01 is day 25569

// Offsets of the local zone, cached per day. A day is cached only when its
// first and last second have the same offset, so the moments of a day with a
// zone transition are always computed directly by localtime_r. A slot is
// eight bytes, so the days of a tree's files stay in the processor's caches.
struct OffsetCache {
  struct Slot {
    int32_t day = INT32_MIN;
    int32_t offset = 0;
  };
  std::array<Slot, 8192> slots;
  unsigned generation = 0;
};

std::atomic<unsigned> g_zoneGeneration{1};

bool LocalOffset(int64_t seconds, long& offset) {
  constexpr int64_t kBucket = 86400;
  thread_local std::unique_ptr<OffsetCache> t_cache = std::make_unique<OffsetCache>();
  OffsetCache& cache = *t_cache;
  const unsigned gen = g_zoneGeneration.load(std::memory_order_relaxed);
  if (cache.generation != gen) {
    cache.slots.fill(OffsetCache::Slot{});
    cache.generation = gen;
  }
  const int64_t bucket = seconds >= 0 ? seconds / kBucket : (seconds - kBucket + 1) / kBucket;
  const bool cacheable = bucket > INT32_MIN && bucket <= INT32_MAX;
  auto& slot = cache.slots[static_cast<uint64_t>(bucket) % cache.slots.size()];
  if (cacheable && slot.day == bucket) {
    offset = slot.offset;
    return true;
  }
  struct tm first{}, last{}, exact{};
  const time_t t0 = static_cast<time_t>(bucket * kBucket);
  const time_t t1 = t0 + kBucket - 1;
  const time_t t = static_cast<time_t>(seconds);
  if (localtime_r(&t0, &first) && localtime_r(&t1, &last) &&
      first.tm_gmtoff == last.tm_gmtoff) {
    if (cacheable) {
      slot.day = static_cast<int32_t>(bucket);
      slot.offset = static_cast<int32_t>(first.tm_gmtoff);
    }
    offset = first.tm_gmtoff;
    return true;
  }
  if (!localtime_r(&t, &exact)) return false;
  offset = exact.tm_gmtoff;
  return true;
}

}  // namespace

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  return DaysFromUnixEpoch(year, month, day) + kDaysUnixToDelphi;
}

TFileTime UnixToFileTime(int64_t seconds, int64_t nanoseconds) {
  const int64_t minSeconds = -static_cast<int64_t>(kUnixEpochAsFileTime / 10000000ULL);
  if (seconds < minSeconds) return 0;
  const uint64_t since1601 = static_cast<uint64_t>(seconds - minSeconds);
  return since1601 * 10000000ULL + static_cast<uint64_t>(nanoseconds / 100);
}

void LocalTimeZoneChanged() {
  tzset();
  g_zoneGeneration.fetch_add(1, std::memory_order_relaxed);
}

bool FileTimeToLocalFields(TFileTime fileTime, TDateTimeFields& f) {
  const int64_t ticks = static_cast<int64_t>(fileTime / 10000000ULL) -
                        static_cast<int64_t>(kUnixEpochAsFileTime / 10000000ULL);
  const unsigned subTicks = static_cast<unsigned>(fileTime % 10000000ULL);
  long offset = 0;
  if (!LocalOffset(ticks, offset)) return false;
  const int64_t local = ticks + offset;
  int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  int64_t secOfDay = local - days * 86400;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  if (y < -9999 || y > 99999) return false;
  f.Year = static_cast<int>(y);
  f.Month = static_cast<int>(m);
  f.Day = static_cast<int>(d);
  f.Hour = static_cast<int>(secOfDay / 3600);
  f.Minute = static_cast<int>(secOfDay / 60 % 60);
  f.Second = static_cast<int>(secOfDay % 60);
  f.Millisecond = static_cast<int>(subTicks / 10000);
  return true;
}

TDateTime EncodeDateTime(const TDateTimeFields& f) {
  const int64_t days = DaysFromCivil(f.Year, static_cast<unsigned>(f.Month), static_cast<unsigned>(f.Day));
  const double time =
      (f.Hour * 3600000.0 + f.Minute * 60000.0 + f.Second * 1000.0 + f.Millisecond) / 86400000.0;
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

TDateTimeFields DecodeDateTime(TDateTime value) {
  TDateTimeFields f;
  const double whole = std::trunc(value);
  const double frac = std::fabs(value - whole);
  int64_t y;
  unsigned m, d;
  CivilFromDays(static_cast<int64_t>(whole) - kDaysUnixToDelphi, y, m, d);
  f.Year = static_cast<int>(y);
  f.Month = static_cast<int>(m);
  f.Day = static_cast<int>(d);
  int64_t ms = std::llround(frac * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  f.Hour = static_cast<int>(ms / 3600000);
  f.Minute = static_cast<int>(ms / 60000 % 60);
  f.Second = static_cast<int>(ms / 1000 % 60);
  f.Millisecond = static_cast<int>(ms % 1000);
  return f;
}

bool TryFileTimeToLocalDateTime(TFileTime fileTime, TDateTime& value) {
  TDateTimeFields f;
  if (!FileTimeToLocalFields(fileTime, f)) return false;
  value = EncodeDateTime(f);
  return true;
}

int32_t FileTimeToDosDateTime(TFileTime fileTime) {
  TDateTimeFields f;
  if (!FileTimeToLocalFields(fileTime, f)) return 0;
  if (f.Year < 1980 || f.Year > 2107) return 0;
  const uint32_t packed = (static_cast<uint32_t>(f.Year - 1980) << 25) |
                          (static_cast<uint32_t>(f.Month) << 21) |
                          (static_cast<uint32_t>(f.Day) << 16) |
                          (static_cast<uint32_t>(f.Hour) << 11) |
                          (static_cast<uint32_t>(f.Minute) << 5) |
                          static_cast<uint32_t>(f.Second / 2);
  return static_cast<int32_t>(packed);
}

bool DecodeDosDateTime(int32_t packed, TDateTimeFields& f) {
  const uint32_t v = static_cast<uint32_t>(packed);
  f.Year = 1980 + static_cast<int>(v >> 25);
  f.Month = static_cast<int>((v >> 21) & 0x0F);
  f.Day = static_cast<int>((v >> 16) & 0x1F);
  f.Hour = static_cast<int>((v >> 11) & 0x1F);
  f.Minute = static_cast<int>((v >> 5) & 0x3F);
  f.Second = static_cast<int>((v & 0x1F) * 2);
  f.Millisecond = 0;
  if (f.Month < 1 || f.Month > 12 || f.Day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (f.Year % 4 == 0 && f.Year % 100 != 0) || f.Year % 400 == 0;
  const int maxDay = kDays[f.Month - 1] + (f.Month == 2 && leap ? 1 : 0);
  if (f.Day > maxDay) return false;
  return f.Hour < 24 && f.Minute < 60 && f.Second < 60;
}

}  // namespace trawlix
