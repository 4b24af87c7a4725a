#include "app/DateText.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace trawlix {

namespace {

// A Qt date or time format split into runs of pattern letters and literal
// text (quotes removed).
struct Token {
  bool literal;
  char letter;   // pattern letter of a run
  int count;     // length of the run
  QString text;  // literal text
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

bool IsCOrPosix(const char* name) {
  if (!name || !*name) return true;
  return std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
         std::strncmp(name, "C.", 2) == 0;
}

}  // namespace

TDateTextFormat DateTextFormatFromLocale(const QLocale& locale) {
  TDateTextSettings f;

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
    if ((t.letter != 'd' && t.letter != 'M' && t.letter != 'y') ||
        t.count > (t.letter == 'y' ? 4 : 2) || (t.letter == 'M' && t.count > 2)) {
      ok = false;  // week days or month names: not a numeric short date
      break;
    }
    order.push_back(t.letter);
  }
  if (ok && order.size() == 3 && order[0] != order[1] && order[1] != order[2] &&
      order[0] != order[2] && !literals[1].empty() && !literals[2].empty()) {
    for (int i = 0; i < 3; ++i)
      f.order[i] = static_cast<TDateTextSettings::Field>(order[static_cast<size_t>(i)]);
    f.prefix = literals[0];
    f.sep1 = literals[1];
    f.sep2 = literals[2];
    f.suffix = literals[3];
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
      f.hourLeadingZero = t.count >= 2;
    } else if ((t.letter == 'A' || t.letter == 'a') && apIndex < 0) {
      apIndex = static_cast<int>(i);
    }
  }
  if (hourIndex >= 0) {
    const size_t next = static_cast<size_t>(hourIndex) + 1;
    if (next < time.size() && time[next].literal) {
      QString sep = time[next].text.trimmed();
      if (sep.isEmpty()) sep = time[next].text;
      f.timeSep = sep.toStdString();
    }
    f.twelveHour = hourLetter == 'h' && apIndex >= 0;
    f.ampmBefore = f.twelveHour && apIndex < hourIndex;
  } else {
    f.hourLeadingZero = true;
  }
  f.amText = locale.amText().toStdString();
  f.pmText = locale.pmText().toStdString();
  return TDateTextFormat(std::move(f));
}

QLocale UserTimeLocale() {
  const char* name = std::getenv("LC_ALL");
  if (!name || !*name) name = std::getenv("LC_TIME");
  if (!name || !*name) name = std::getenv("LANG");
  if (IsCOrPosix(name)) return QLocale(QLocale::German, QLocale::Germany);
  // Qt's system locale reads LC_TIME for its date and time formats.
  return QLocale::system();
}

const TDateTextFormat& UserDateTextFormat() {
  static const TDateTextFormat format = DateTextFormatFromLocale(UserTimeLocale());
  return format;
}

}  // namespace trawlix
