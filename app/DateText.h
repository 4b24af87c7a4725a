// The date text of a packed DOS date-time as the result table shows it: the
// date in the order and with the separators of the user's short date format,
// day and month with two digits and the year with four, then, unless the time
// is exactly 00:00:00, a blank and the time in the user's clock (12 or 24
// hours, leading zero of the hour as the locale has it, minutes and seconds
// with two digits, AM/PM text before or after as the locale orders it).
// German settings give "31.12.2004 13:45:10" and "31.12.2004" at midnight.
// Fields that form no valid date and time give "00.00.00 00:00:00".
//
// The user's settings are read once (TDateTextFormat::User); a format is
// immutable afterwards and may be used from any thread.
#pragma once

#include <QLocale>
#include <cstdint>
#include <string>

namespace trawlix {

inline constexpr const char* kInvalidDateText = "00.00.00 00:00:00";

class TDateTextFormat {
 public:
  // German settings.
  TDateTextFormat();
  // The date and time settings of a locale; a locale whose short formats
  // cannot be read as day, month and year gives German settings.
  static TDateTextFormat FromLocale(const QLocale& locale);
  // The user's settings, read from the LC_TIME locale on first use. The C
  // and POSIX locales count as German.
  static const TDateTextFormat& User();
  // The locale User() reads: LC_ALL, else LC_TIME, else LANG; German for
  // none, "C" and "POSIX".
  static QLocale UserTimeLocale();

  // The date text of a packed DOS date-time (UTF-8).
  std::string Format(int32_t packed) const;
  // The date text of calendar fields, which must be valid.
  std::string Format(int year, int month, int day, int hour, int minute, int second) const;

 private:
  enum Field : char { Day = 'd', Month = 'M', Year = 'y' };
  std::string prefix_, sep1_, sep2_, suffix_;  // literal parts of the date
  Field order_[3] = {Day, Month, Year};
  std::string timeSep_ = ":";
  bool hourLeadingZero_ = true;
  bool twelveHour_ = false;
  bool ampmBefore_ = false;
  std::string amText_, pmText_;
};

}  // namespace trawlix
