// The date text of a packed DOS date-time as the result table shows it: the
// date in the order and with the separators of the user's short date format,
// day and month with two digits and the year with four, then, unless the time
// is exactly 00:00:00, a blank and the time in the user's clock (12 or 24
// hours, leading zero of the hour as the locale has it, minutes and seconds
// with two digits, AM/PM text before or after as the locale orders it).
// German settings give "31.12.2004 13:45:10" and "31.12.2004" at midnight.
// Fields that form no valid date and time give "00.00.00 00:00:00".
//
// The settings come from the program (which reads the user's locale once);
// a format is immutable and may be used from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace trawlix {

inline constexpr const char* kInvalidDateText = "00.00.00 00:00:00";

// What a locale says about its short date and time.
struct TDateTextSettings {
  enum Field : char { Day = 'd', Month = 'M', Year = 'y' };
  std::string prefix, sep1 = ".", sep2 = ".", suffix;  // literal parts of the date
  Field order[3] = {Day, Month, Year};
  std::string timeSep = ":";
  bool hourLeadingZero = true;
  bool twelveHour = false;
  bool ampmBefore = false;
  std::string amText = "AM", pmText = "PM";
};

class TDateTextFormat {
 public:
  // German settings.
  TDateTextFormat() = default;
  explicit TDateTextFormat(TDateTextSettings settings) : s_(std::move(settings)) {}

  const TDateTextSettings& Settings() const { return s_; }

  // The date text of a packed DOS date-time (UTF-8).
  std::string Format(int32_t packed) const;
  void AppendFormat(std::string& out, int32_t packed) const;
  // The date text of calendar fields, which must be valid.
  std::string Format(int year, int month, int day, int hour, int minute, int second) const;

  // The date part alone as one number whose order is the order of the date
  // texts: the fields in the order they are written, as their digits.
  uint32_t DatePartValue(int year, int month, int day) const;
  // The time part alone (hour 0 to 23): the text that follows the date and
  // its blank.
  std::string TimeText(int hour, int minute, int second) const;

 private:
  void AppendDate(std::string& out, int year, int month, int day) const;
  void AppendTime(std::string& out, int hour, int minute, int second) const;
  TDateTextSettings s_;
};

}  // namespace trawlix
