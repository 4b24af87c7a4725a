#include "app/DateText.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/FileTime.h"

namespace trawlix {

namespace {

// A Qt date or time format split into runs of pattern letters and literal
// text (quotes removed).
struct Token {
  bool literal;
  char letter;  // pattern letter of a run
  int count;    // length of the run
  QString text; // literal text
};

std::vector<Token> Tokenize(const QString& format) {
  std::vector<Token> out;
  auto addLiteral = [&out](QChar c) {
    if (out.empty() || !out.back().literal) out.push_back({true, 0, 0, QString()});
    out.back().text += c;
  };
  for (qsizetype i = 0; i < format.size();) {
    const QChar c = format[i];
    if (c == u'\'') {
      // Quoted text; '' inside or alone is a quote character.
      qsizetype j = i + 1;
      if (j < format.size() && format[j] == u'\'') {
        addLiteral(u'\'');
        i = j + 1;
        continue;
      }
      while (j < format.size()) {
        if (format[j] == u'\'') {
          if (j + 1 < format.size() && format[j + 1] == u'\'') {
            addLiteral(u'\'');
            j += 2;
            continue;
          }
          break;
        }
        addLiteral(format[j]);
        ++j;
      }
      i = j + 1;
      continue;
    }
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
      qsizetype j = i;
      while (j < format.size() && format[j] == c) ++j;
      out.push_back({false, static_cast<char>(c.unicode()), static_cast<int>(j - i), QString()});
      i = j;
      continue;
    }
    addLiteral(c);
    ++i;
  }
  return out;
}

void AppendTwo(std::string& out, int v) {
  out.push_back(static_cast<char>('0' + (v / 10) % 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

void AppendFour(std::string& out, int v) {
  AppendTwo(out, (v / 100) % 100);
  AppendTwo(out, v % 100);
}

bool IsCOrPosix(const char* name) {
  if (!name || !*name) return true;
  return std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
         std::strncmp(name, "C.", 2) == 0;
}

}  // namespace

TDateTextFormat::TDateTextFormat() : prefix_(), sep1_("."), sep2_("."), suffix_() {
  amText_ = "AM";
  pmText_ = "PM";
}

TDateTextFormat TDateTextFormat::FromLocale(const QLocale& locale) {
  TDateTextFormat f;

  // Date: three runs of d, M and y with the literal text between them.
  const std::vector<Token> date = Tokenize(locale.dateFormat(QLocale::ShortFormat));
  std::vector<char> order;
  std::vector<std::string> literals(4);  // before, between, between, after
  bool ok = true;
  for (const Token& t : date) {
    if (t.literal) {
      if (order.size() <= 3) literals[order.size()] += t.text.toStdString();
      continue;
    }
    if ((t.letter != 'd' && t.letter != 'M' && t.letter != 'y') || t.count > (t.letter == 'y' ? 4 : 2) ||
        (t.letter == 'M' && t.count > 2)) {
      ok = false;  // week days or month names: not a numeric short date
      break;
    }
    order.push_back(t.letter);
  }
  if (ok && order.size() == 3 && order[0] != order[1] && order[1] != order[2] && order[0] != order[2] &&
      !literals[1].empty() && !literals[2].empty()) {
    for (int i = 0; i < 3; ++i) f.order_[i] = static_cast<Field>(order[static_cast<size_t>(i)]);
    f.prefix_ = literals[0];
    f.sep1_ = literals[1];
    f.sep2_ = literals[2];
    f.suffix_ = literals[3];
  }

  // Time: the hour run tells the clock and the leading zero, the literal
  // after it the separator, an AP run the 12-hour clock and its side.
  const std::vector<Token> time = Tokenize(locale.timeFormat(QLocale::ShortFormat));
  int hourIndex = -1, apIndex = -1;
  char hourLetter = 0;
  for (size_t i = 0; i < time.size(); ++i) {
    const Token& t = time[i];
    if (t.literal) continue;
    if ((t.letter == 'h' || t.letter == 'H') && hourIndex < 0) {
      hourIndex = static_cast<int>(i);
      hourLetter = t.letter;
      f.hourLeadingZero_ = t.count >= 2;
    } else if ((t.letter == 'A' || t.letter == 'a') && apIndex < 0) {
      apIndex = static_cast<int>(i);
    }
  }
  if (hourIndex >= 0) {
    const size_t next = static_cast<size_t>(hourIndex) + 1;
    if (next < time.size() && time[next].literal) {
      QString sep = time[next].text.trimmed();
      if (sep.isEmpty()) sep = time[next].text;
      f.timeSep_ = sep.toStdString();
    }
    f.twelveHour_ = hourLetter == 'h' && apIndex >= 0;
    f.ampmBefore_ = f.twelveHour_ && apIndex < hourIndex;
  } else {
    f.hourLeadingZero_ = true;
  }
  f.amText_ = locale.amText().toStdString();
  f.pmText_ = locale.pmText().toStdString();
  return f;
}

QLocale TDateTextFormat::UserTimeLocale() {
  const char* name = std::getenv("LC_ALL");
  if (!name || !*name) name = std::getenv("LC_TIME");
  if (!name || !*name) name = std::getenv("LANG");
  if (IsCOrPosix(name)) return QLocale(QLocale::German, QLocale::Germany);
  // Qt's system locale reads LC_TIME for its date and time formats.
  return QLocale::system();
}

const TDateTextFormat& TDateTextFormat::User() {
  static const TDateTextFormat format = FromLocale(UserTimeLocale());
  return format;
}

std::string TDateTextFormat::Format(int year, int month, int day, int hour, int minute,
                                    int second) const {
  std::string out;
  out.reserve(32);
  out += prefix_;
  for (int i = 0; i < 3; ++i) {
    if (i == 1) out += sep1_;
    if (i == 2) out += sep2_;
    switch (order_[i]) {
      case Day: AppendTwo(out, day); break;
      case Month: AppendTwo(out, month); break;
      case Year: AppendFour(out, year); break;
    }
  }
  out += suffix_;
  if (hour == 0 && minute == 0 && second == 0) return out;

  out.push_back(' ');
  int h = hour;
  if (twelveHour_) {
    h = hour % 12;
    if (h == 0) h = 12;
  }
  const std::string& ampm = hour < 12 ? amText_ : pmText_;
  if (twelveHour_ && ampmBefore_) {
    out += ampm;
    out.push_back(' ');
  }
  if (hourLeadingZero_ || h >= 10)
    AppendTwo(out, h);
  else
    out.push_back(static_cast<char>('0' + h));
  out += timeSep_;
  AppendTwo(out, minute);
  out += timeSep_;
  AppendTwo(out, second);
  if (twelveHour_ && !ampmBefore_) {
    out.push_back(' ');
    out += ampm;
  }
  return out;
}

std::string TDateTextFormat::Format(int32_t packed) const {
  TDateTimeFields f;
  if (!DecodeDosDateTime(packed, f)) return kInvalidDateText;
  return Format(f.Year, f.Month, f.Day, f.Hour, f.Minute, f.Second);
}

}  // namespace trawlix
