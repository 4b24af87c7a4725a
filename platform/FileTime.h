// File times, date-time values and the packed DOS date-time form.
//
// A file time is a count of 100-nanosecond intervals since 1 January 1601
// UTC. A date-time value counts days from 30 December 1899 (day 0), its
// fraction being the part of the day elapsed; before day 0 the time of day is
// subtracted from the negative day number (-1.25 is 29 December 1899, 06:00).
//
// Local time always uses the zone rules in force at the moment converted
// (localtime_r), so a July stamp and a January stamp each get their own
// offset. All functions are thread-safe.
#pragma once

#include <cstdint>

namespace trawlix {

using TFileTime = uint64_t;
using TDateTime = double;

// 100-ns intervals between 1601-01-01 and 1970-01-01.
inline constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

// Seconds and nanoseconds since the Unix epoch to a file time; moments before
// 1601 give 0.
TFileTime UnixToFileTime(int64_t seconds, int64_t nanoseconds);

// Calendar fields of a moment.
struct TDateTimeFields {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// The local calendar fields of a file time. False when the moment cannot be
// converted (beyond what the C library's calendar holds).
bool FileTimeToLocalFields(TFileTime fileTime, TDateTimeFields& fields);

// A file time as a local date-time value; false when it cannot be converted.
bool TryFileTimeToLocalDateTime(TFileTime fileTime, TDateTime& value);

// The packed DOS date-time of a file time in local time: bits 25-31 year
// minus 1980, 21-24 month, 16-20 day, 11-15 hours, 5-10 minutes, 0-4 seconds
// divided by 2. A moment outside 1980 to 2107 packs as 0, which is no valid
// date.
int32_t FileTimeToDosDateTime(TFileTime fileTime);

// Unpacks a DOS date-time; true when the fields form a valid date and time
// (month 1-12, a day within the month, hours below 24, minutes and seconds
// below 60).
bool DecodeDosDateTime(int32_t packed, TDateTimeFields& fields);

// Calendar fields to a date-time value (no range check beyond the calendar).
TDateTime EncodeDateTime(const TDateTimeFields& fields);

// A date-time value back to calendar fields (milliseconds rounded).
TDateTimeFields DecodeDateTime(TDateTime value);

// Days of the proleptic Gregorian calendar: 30 December 1899 is day 0.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);

// Forget cached zone offsets; call after changing TZ at run time.
void LocalTimeZoneChanged();

}  // namespace trawlix
