#include "app/CriteriaFields.h"

#include <QFile>
#include <QSettings>
#include <QVariant>
#include <limits>

#include "app/DateText.h"
#include "app/Formatting.h"
#include "engine/ExclusionMask.h"
#include "engine/SearchCriteria.h"
#include "platform/EntryList.h"
#include "platform/Errors.h"

namespace trawlix {

namespace {

constexpr int64_t kUnitBytes[] = {1, 1024, 1024 * 1024, 1024 * 1024 * 1024};
const char* const kUnitNames[] = {"Bytes", "KB", "MB", "GB"};

// Day 0 of the finder's date-time values.
const QDate kDayZero(1899, 12, 30);

enum class TNumber { Empty, Bad, TooLarge, Ok };

// A size text: digits, optionally a decimal comma (or point) and more
// digits, blanks around it allowed. The bytes are the whole bytes of the
// value, the fraction cut off.
TNumber ParseSize(const QString& text, TSizeUnit unit, int64_t& bytes) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return TNumber::Empty;
  const int64_t factor = kUnitBytes[static_cast<int>(unit)];
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t whole = 0, frac = 0, fracScale = 1;
  bool inFraction = false, digits = false;
  for (const QChar ch : t) {
    if (ch == u',' || ch == u'.') {
      if (inFraction) return TNumber::Bad;
      inFraction = true;
      continue;
    }
    if (ch < u'0' || ch > u'9') return TNumber::Bad;
    digits = true;
    const int d = ch.unicode() - u'0';
    if (!inFraction) {
      if (whole > (kMax - d) / 10) return TNumber::TooLarge;
      whole = whole * 10 + d;
    } else if (fracScale < 1000000000) {  // further digits cannot change whole bytes of a GB
      frac = frac * 10 + d;
      fracScale *= 10;
    }
  }
  if (!digits) return TNumber::Bad;
  if (whole > kMax / factor) return TNumber::TooLarge;
  bytes = whole * factor + frac * factor / fracScale;
  return TNumber::Ok;
}

QString SizeProblem(TNumber n, const QString& which) {
  switch (n) {
    case TNumber::Bad:
      return QStringLiteral("Die Größe „%1“ ist keine Zahl.").arg(which);
    case TNumber::TooLarge:
      return QStringLiteral("Die Größe „%1“ ist zu groß.").arg(which);
    default:
      return QString();
  }
}

std::string FileNameBytes(const QString& s) { return QFile::encodeName(s).toStdString(); }

std::vector<std::string> Entries(const QString& text) { return SplitEntries(FileNameBytes(text)); }

bool OnlySeparators(const QString& text) { return !text.trimmed().isEmpty() && Entries(text).empty(); }

TDateTime DayValue(const QDate& d) { return static_cast<TDateTime>(kDayZero.daysTo(d)); }

QString DateText(const QDate& d) {
  return QString::fromStdString(UserDateTextFormat().Format(d.year(), d.month(), d.day(), 0, 0, 0));
}

QString SizeText(const QString& number, TSizeUnit unit) {
  return number.trimmed() + u' ' + QString::fromLatin1(kUnitNames[static_cast<int>(unit)]);
}

}  // namespace

std::optional<int64_t> SizeInBytes(const QString& text, TSizeUnit unit) {
  int64_t bytes = 0;
  if (ParseSize(text, unit, bytes) != TNumber::Ok) return std::nullopt;
  return bytes;
}

std::optional<QString> CriteriaError(const TCriteriaFields& f) {
  if (f.phrase.isEmpty() && (f.caseSensitive || f.wholeWord))
    return QStringLiteral("Bitte den Text eingeben, den die Dateien enthalten sollen.");
  if (!f.phrase.isEmpty() && f.phrase.trimmed().isEmpty())
    return QStringLiteral("Der gesuchte Text besteht nur aus Leerzeichen.");
  if (QString::fromLocal8Bit(f.phrase.toLocal8Bit()) != f.phrase)
    return QStringLiteral("Der gesuchte Text enthält Zeichen, die der Zeichensatz des Systems nicht kennt.");
  if (f.phrase.size() > kMaxPhraseLength)
    return QStringLiteral("Der gesuchte Text ist zu lang (höchstens %1 Zeichen).")
        .arg(QString::fromStdString(FormatGrouped(kMaxPhraseLength)));

  int64_t minBytes = 0, maxBytes = 0;
  const TNumber min = ParseSize(f.sizeMin, f.sizeMinUnit, minBytes);
  const TNumber max = ParseSize(f.sizeMax, f.sizeMaxUnit, maxBytes);
  if (min != TNumber::Empty && min != TNumber::Ok) return SizeProblem(min, QStringLiteral("mindestens"));
  if (max != TNumber::Empty && max != TNumber::Ok) return SizeProblem(max, QStringLiteral("höchstens"));
  // The finder reads a bound of 0 as no bound at all.
  if ((min == TNumber::Ok && minBytes == 0) || (max == TNumber::Ok && maxBytes == 0))
    return QStringLiteral("Eine Größe muss mindestens 1 Byte betragen; für keine Grenze das Feld leer lassen.");
  if (min == TNumber::Ok && max == TNumber::Ok && minBytes > maxBytes)
    return QStringLiteral("Die Größe „mindestens“ liegt über der Größe „höchstens“.");

  if (f.after.isValid() && f.before.isValid() && f.before < f.after)
    return QStringLiteral("Das Datum „vor“ liegt vor dem Datum „nach“.");
  for (const QDate& d : {f.after, f.before})
    if (!d.isNull() && (!d.isValid() || d.year() < 1900))
      return QStringLiteral("Das Datum muss im Jahr 1900 oder später liegen.");

  if (OnlySeparators(f.excludedFolders) || OnlySeparators(f.excludedFiles))
    return QStringLiteral("Die Liste „Nicht durchsuchen / nicht listen“ enthält keinen Namen, nur „;“.");
  for (const QString* list : {&f.excludedFolders, &f.excludedFiles})
    if (QFile::decodeName(QFile::encodeName(*list)) != *list)
      return QStringLiteral("Die Liste „Nicht durchsuchen / nicht listen“ enthält Zeichen, die der Zeichensatz "
                            "des Systems nicht kennt.");
  if (f.excludedFolders.contains(u'*') || f.excludedFolders.contains(u'?'))
    return QStringLiteral("Ordner werden mit ihrem Namen angegeben, ohne „*“ und „?“.");
  return std::nullopt;
}

std::vector<std::string> ExcludedEntries(const TCriteriaFields& f) {
  std::vector<std::string> entries;
  for (std::string folder : Entries(f.excludedFolders)) {
    while (!folder.empty() && folder.front() == '/') folder.erase(folder.begin());
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    if (!folder.empty()) entries.push_back('/' + folder + '/');
  }
  for (const std::string& mask : Entries(f.excludedFiles)) entries.push_back(mask);
  return entries;
}

void ApplyCriteria(const TCriteriaFields& f, TSearchCriteria& c) {
  if (const std::optional<QString> error = CriteriaError(f)) throw EConvertError(error->toStdString());

  // Start from the defaults: an empty field leaves its criterion as a
  // search without the dialog has it.
  c.SetAttribute(TAttributeCriteria());
  TAttributeCriteriaEx attributes;
  if (!f.withHidden) attributes.SetHidden(fsUnset);
  c.SetAttributeEx(attributes);

  TDateTimeCriteria times;
  const TDateTime after = f.after.isValid() ? DayValue(f.after) : 0;
  const TDateTime before = f.before.isValid() ? DayValue(f.before) : 0;
  if (f.dateKind == TDateKind::Created) {
    times.SetCreatedAfter(after);
    times.SetCreatedBefore(before);
  } else {
    times.SetModifiedAfter(after);
    times.SetModifiedBefore(before);
  }
  c.SetTimeStamp(times);

  TSizeCriteria size;
  size.SetMin(SizeInBytes(f.sizeMin, f.sizeMinUnit).value_or(0));
  size.SetMax(SizeInBytes(f.sizeMax, f.sizeMaxUnit).value_or(0));
  c.SetSize(size);

  TContentCriteria content;
  content.SetPhrase(f.phrase.toLocal8Bit().toStdString());
  content.SetIgnoreCase(!f.caseSensitive);
  content.SetWholeWord(f.wholeWord);
  c.SetContent(content);

  c.Files().SetExcluded(ExcludedEntries(f));
}

int CriteriaCount(const TCriteriaFields& f) {
  return !f.phrase.isEmpty() + !f.sizeMin.trimmed().isEmpty() + !f.sizeMax.trimmed().isEmpty() +
         f.after.isValid() + f.before.isValid() + !f.excludedFolders.trimmed().isEmpty() +
         !f.excludedFiles.trimmed().isEmpty() + !f.withHidden;
}

QString CriteriaButtonCaption(const TCriteriaFields& f) {
  const int n = CriteriaCount(f);
  return n == 0 ? QStringLiteral("&Kriterien…") : QStringLiteral("&Kriterien (%1)…").arg(n);
}

QString CriteriaToolTip(const TCriteriaFields& f) {
  QStringList lines;
  if (!f.phrase.isEmpty()) {
    constexpr int kShown = 60;  // a long phrase is cut in the tooltip
    const QString shown = f.phrase.size() > kShown ? f.phrase.left(kShown) + u'…' : f.phrase;
    QString line = QStringLiteral("Enthält Text: „%1“").arg(shown);
    QStringList options;
    if (f.caseSensitive) options << QStringLiteral("Groß-/Kleinschreibung beachten");
    if (f.wholeWord) options << QStringLiteral("nur ganze Wörter");
    if (!options.isEmpty()) line += QStringLiteral(" (%1)").arg(options.join(QStringLiteral(", ")));
    lines << line;
  }
  if (!f.sizeMin.trimmed().isEmpty())
    lines << QStringLiteral("Größe mindestens: %1").arg(SizeText(f.sizeMin, f.sizeMinUnit));
  if (!f.sizeMax.trimmed().isEmpty())
    lines << QStringLiteral("Größe höchstens: %1").arg(SizeText(f.sizeMax, f.sizeMaxUnit));
  const QString verb = f.dateKind == TDateKind::Created ? QStringLiteral("Erstellt") : QStringLiteral("Geändert");
  if (f.after.isValid()) lines << QStringLiteral("%1 nach: %2").arg(verb, DateText(f.after));
  if (f.before.isValid()) lines << QStringLiteral("%1 vor: %2").arg(verb, DateText(f.before));
  if (!f.excludedFolders.trimmed().isEmpty())
    lines << QStringLiteral("Nicht durchsuchen: %1").arg(f.excludedFolders.trimmed());
  if (!f.excludedFiles.trimmed().isEmpty())
    lines << QStringLiteral("Nicht listen: %1").arg(f.excludedFiles.trimmed());
  if (!f.withHidden) lines << QStringLiteral("ohne versteckte Dateien und Ordner");
  if (lines.isEmpty()) return QStringLiteral("weitere Suchkriterien: Inhalt, Größe, Datum, Ausschlüsse");
  return lines.join(u'\n');
}

bool SkipsFolder(const TSearchCriteria& c, const std::string& Folder, int Level) {
  if (Level > 1 && c.AttributeEx().Hidden() == fsUnset && Folder.size() >= 2) {
    const size_t start = Folder.rfind('/', Folder.size() - 2);
    if (start != std::string::npos && start + 1 < Folder.size() && Folder[start + 1] == '.') return true;
  }
  for (const std::string& entry : c.Files().Excluded())
    if (!entry.empty() && entry.back() == '/' && ExclusionMatch(Folder, std::string_view(), entry)) return true;
  return false;
}

// The settings: one key per field, texts as typed, switches as words
// ("ja"/"nein", "mit"/"ohne"), units by their names, dates as yyyy-MM-dd.

namespace {

const char* const kGroup = "Kriterien";

struct TReader {
  QSettings& s;
  bool ok = true;

  // The stored text of a key, or nothing when it is missing or no text.
  std::optional<QString> Text(const char* key) {
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid()) return std::nullopt;
    if (v.typeId() != QMetaType::QString) {
      ok = false;
      return std::nullopt;
    }
    return v.toString();
  }
  void Read(const char* key, QString& field) {
    if (auto t = Text(key)) field = *t;
  }
  // One of the given words, by its index.
  template <class T, size_t N>
  void Read(const char* key, T& field, const char* const (&words)[N]) {
    const auto t = Text(key);
    if (!t) return;
    for (size_t i = 0; i < N; ++i)
      if (*t == QLatin1String(words[i])) {
        field = static_cast<T>(i);
        return;
      }
    ok = false;
  }
  // A switch stored as one of two words, the word for off first.
  void Read(const char* key, bool& field, const char* const (&words)[2]) {
    int v = field;
    Read(key, v, words);
    field = v != 0;
  }
  void Read(const char* key, QDate& field) {
    const auto t = Text(key);
    if (!t || t->isEmpty()) return;
    const QDate d = QDate::fromString(*t, Qt::ISODate);
    if (d.isValid())
      field = d;
    else
      ok = false;
  }
};

const char* const kDateKinds[] = {"Aenderung", "Erstellung"};
const char* const kYesNo[] = {"nein", "ja"};
const char* const kHidden[] = {"ohne", "mit"};

}  // namespace

bool ReadCriteriaSettings(QSettings& s, TCriteriaFields& f) {
  TCriteriaFields read;
  s.beginGroup(QLatin1String(kGroup));
  TReader r{s};
  r.Read("Text", read.phrase);
  r.Read("GrossKlein", read.caseSensitive, kYesNo);
  r.Read("GanzeWoerter", read.wholeWord, kYesNo);
  r.Read("GroesseMindestens", read.sizeMin);
  r.Read("GroesseMindestensEinheit", read.sizeMinUnit, kUnitNames);
  r.Read("GroesseHoechstens", read.sizeMax);
  r.Read("GroesseHoechstensEinheit", read.sizeMaxUnit, kUnitNames);
  r.Read("Nach", read.after);
  r.Read("Vor", read.before);
  r.Read("Zeitpunkt", read.dateKind, kDateKinds);
  r.Read("NichtDurchsuchen", read.excludedFolders);
  r.Read("NichtListen", read.excludedFiles);
  r.Read("Versteckte", read.withHidden, kHidden);
  s.endGroup();
  if (CriteriaError(read)) {
    f = TCriteriaFields();
    return false;
  }
  f = read;
  return r.ok;
}

void WriteCriteriaSettings(QSettings& s, const TCriteriaFields& f) {
  s.remove(QLatin1String(kGroup));
  if (f == TCriteriaFields()) return;
  auto yesNo = [](bool b) { return QString::fromLatin1(kYesNo[b]); };
  auto unit = [](TSizeUnit u) { return QString::fromLatin1(kUnitNames[static_cast<int>(u)]); };
  auto date = [](const QDate& d) { return d.isValid() ? d.toString(Qt::ISODate) : QString(); };
  s.beginGroup(QLatin1String(kGroup));
  s.setValue("Text", f.phrase);
  s.setValue("GrossKlein", yesNo(f.caseSensitive));
  s.setValue("GanzeWoerter", yesNo(f.wholeWord));
  s.setValue("GroesseMindestens", f.sizeMin);
  s.setValue("GroesseMindestensEinheit", unit(f.sizeMinUnit));
  s.setValue("GroesseHoechstens", f.sizeMax);
  s.setValue("GroesseHoechstensEinheit", unit(f.sizeMaxUnit));
  s.setValue("Nach", date(f.after));
  s.setValue("Vor", date(f.before));
  s.setValue("Zeitpunkt", QString::fromLatin1(kDateKinds[static_cast<int>(f.dateKind)]));
  s.setValue("NichtDurchsuchen", f.excludedFolders);
  s.setValue("NichtListen", f.excludedFiles);
  s.setValue("Versteckte", QString::fromLatin1(kHidden[f.withHidden]));
  s.endGroup();
}

}  // namespace trawlix
