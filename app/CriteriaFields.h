// The further search criteria as the user enters them in the dialog
// "Weitere Suchkriterien": a contained phrase, a size range, a date range,
// folders and files to leave out, and whether hidden entries are listed.
//
// TCriteriaFields holds the fields as shown (texts, units, dates), so the
// dialog, the settings store and the window's caption all read the same
// values. CriteriaError says what is wrong with them, in German;
// ApplyCriteria turns valid fields into the finder's criteria and refuses
// invalid ones, so a search never runs with criteria other than those shown.
// With every field empty the finder's criteria are exactly their defaults
// (apart from the folders and names the window sets itself).
//
// Plain values; user-interface thread only (they are read while the walk
// runs in the same thread).
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

class QSettings;

namespace trawlix {

class TSearchCriteria;

enum class TSizeUnit { Bytes, KB, MB, GB };
// Which time stamp the date range tests.
enum class TDateKind { Modified, Created };

struct TCriteriaFields {
  QString phrase;
  bool caseSensitive = false;
  bool wholeWord = false;
  QString sizeMin;  // a whole number (or one with a decimal comma), empty for no bound
  TSizeUnit sizeMinUnit = TSizeUnit::KB;
  QString sizeMax;
  TSizeUnit sizeMaxUnit = TSizeUnit::KB;
  QDate after;  // null for no bound; both days count
  QDate before;
  TDateKind dateKind = TDateKind::Modified;
  QString excludedFolders;  // folder names (or path tails), ";"-separated
  QString excludedFiles;    // name masks, ";"-separated
  bool withHidden = true;

  bool operator==(const TCriteriaFields&) const = default;
};

// The longest phrase the dialog takes, in characters.
inline constexpr int kMaxPhraseLength = 1000;

// What is wrong with the fields, as the dialog tells it; nothing when they
// can be searched with.
std::optional<QString> CriteriaError(const TCriteriaFields& f);

// The bytes of a size field with its unit (1 KB = 1024 bytes); nothing when
// the text is empty. Throws nothing; an unreadable or too large number gives
// nothing as well (CriteriaError tells them apart).
std::optional<int64_t> SizeInBytes(const QString& text, TSizeUnit unit);

// The entries of an exclusion field as the finder takes them: name masks
// as typed (trimmed, repeats left out); folders as path tails "/name/".
std::vector<std::string> ExcludedEntries(const TCriteriaFields& f);

// Sets every criterion of the finder that the dialog governs (attributes,
// time stamps, size, content, exclusions) from the fields; the folders and
// names to search are left alone. Fields with an error raise an
// EConvertError with CriteriaError's text, and the criteria stay unchanged.
void ApplyCriteria(const TCriteriaFields& f, TSearchCriteria& c);

// How many criteria are set: the phrase, each size bound, each date bound,
// each exclusion field, and leaving out hidden entries count one each.
int CriteriaCount(const TCriteriaFields& f);

// The caption of the window's button: "&Kriterien…" or "&Kriterien (n)…".
QString CriteriaButtonCaption(const TCriteriaFields& f);

// The button's tooltip: one line per criterion set, or what the dialog is
// for when none is.
QString CriteriaToolTip(const TCriteriaFields& f);

// True when the walk is to pass over the folder at Level (1 for the folder
// the search starts in) with everything below it: a folder the exclusions
// name as a whole (an entry ending in "/"), and, when hidden entries are
// left out, a folder below the start whose name begins with ".".
bool SkipsFolder(const TSearchCriteria& c, const std::string& Folder, int Level);

// The fields as kept in the settings store, in the group "Kriterien".
// Reading gives false when a value was there but could not be read: that
// value is dropped (its field keeps its default); fields that read well but
// together make no valid criteria are all dropped. Writing with every field
// at its default removes the group.
bool ReadCriteriaSettings(QSettings& s, TCriteriaFields& f);
void WriteCriteriaSettings(QSettings& s, const TCriteriaFields& f);

}  // namespace trawlix
