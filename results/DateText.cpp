#include "results/DateText.h"

#include "platform/FileTime.h"

namespace trawlix {

namespace {

void AppendTwo(std::string& out, int v) {
  out.push_back(static_cast<char>('0' + (v / 10) % 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

void AppendFour(std::string& out, int v) {
  AppendTwo(out, (v / 100) % 100);
  AppendTwo(out, v % 100);
}

}  // namespace

void TDateTextFormat::AppendDate(std::string& out, int year, int month, int day) const {
  out += s_.prefix;
  for (int i = 0; i < 3; ++i) {
    if (i == 1) out += s_.sep1;
    if (i == 2) out += s_.sep2;
    switch (s_.order[i]) {
      case TDateTextSettings::Day:
        AppendTwo(out, day);
        break;
      case TDateTextSettings::Month:
        AppendTwo(out, month);
        break;
      case TDateTextSettings::Year:
        AppendFour(out, year);
        break;
    }
  }
  out += s_.suffix;
}

uint32_t TDateTextFormat::DatePartValue(int year, int month, int day) const {
  uint32_t v = 0;
  for (const TDateTextSettings::Field f : s_.order) {
    switch (f) {
      case TDateTextSettings::Day:
        v = v * 100 + static_cast<uint32_t>(day);
        break;
      case TDateTextSettings::Month:
        v = v * 100 + static_cast<uint32_t>(month);
        break;
      case TDateTextSettings::Year:
        v = v * 10000 + static_cast<uint32_t>(year % 10000);
        break;
    }
  }
  return v;
}

std::string TDateTextFormat::TimeText(int hour, int minute, int second) const {
  std::string out;
  AppendTime(out, hour, minute, second);
  return out;
}

void TDateTextFormat::AppendTime(std::string& out, int hour, int minute, int second) const {
  int h = hour;
  if (s_.twelveHour) {
    h = hour % 12;
    if (h == 0) h = 12;
  }
  const std::string& ampm = hour < 12 ? s_.amText : s_.pmText;
  if (s_.twelveHour && s_.ampmBefore) {
    out += ampm;
    out.push_back(' ');
  }
  if (s_.hourLeadingZero || h >= 10)
    AppendTwo(out, h);
  else
    out.push_back(static_cast<char>('0' + h));
  out += s_.timeSep;
  AppendTwo(out, minute);
  out += s_.timeSep;
  AppendTwo(out, second);
  if (s_.twelveHour && !s_.ampmBefore) {
    out.push_back(' ');
    out += ampm;
  }
}

std::string TDateTextFormat::Format(int year, int month, int day, int hour, int minute,
                                    int second) const {
  std::string out;
  out.reserve(32);
  AppendDate(out, year, month, day);
  if (hour == 0 && minute == 0 && second == 0) return out;
  out.push_back(' ');
  AppendTime(out, hour, minute, second);
  return out;
}

void TDateTextFormat::AppendFormat(std::string& out, int32_t packed) const {
  TDateTimeFields f;
  if (!DecodeDosDateTime(packed, f)) {
    out += kInvalidDateText;
    return;
  }
  AppendDate(out, f.Year, f.Month, f.Day);
  if (f.Hour == 0 && f.Minute == 0 && f.Second == 0) return;
  out.push_back(' ');
  AppendTime(out, f.Hour, f.Minute, f.Second);
}

std::string TDateTextFormat::Format(int32_t packed) const {
  std::string out;
  out.reserve(32);
  AppendFormat(out, packed);
  return out;
}

}  // namespace trawlix
