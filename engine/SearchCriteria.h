// The search criteria of the finder: which names and folders to search and
// which entries pass (attributes, time stamps, size, content).
//
// Every class copies another of its own class by value with Assign; an
// object of another class (or none) is refused with an EConvertError and the
// receiver stays unchanged. The criteria are plain values: they are read only
// by the thread that owns the finder, and a running search works on a copy.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/FileTime.h"

namespace trawlix {

// Base of everything that can be copied with Assign.
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Copies Source into this object; Source may be null.
  virtual void Assign(const TPersistent* Source);
  void Assign(const TPersistent& Source) { Assign(&Source); }
  virtual const char* ClassName() const = 0;

 protected:
  // Raises "{source} kann nicht zu {target} zugewiesen werden".
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

enum TFileAttribute { ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory };

// A set of TFileAttribute values (set bits 0 to 4).
class TFileAttributes {
 public:
  constexpr TFileAttributes() = default;
  constexpr TFileAttributes(std::initializer_list<TFileAttribute> values) {
    for (auto v : values) bits_ |= static_cast<uint8_t>(1u << v);
  }
  constexpr bool Contains(TFileAttribute a) const { return bits_ & (1u << a); }
  constexpr void Include(TFileAttribute a) { bits_ |= static_cast<uint8_t>(1u << a); }
  constexpr void Exclude(TFileAttribute a) { bits_ &= static_cast<uint8_t>(~(1u << a)); }
  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool operator==(const TFileAttributes&) const = default;

 private:
  uint8_t bits_ = 0;
};

enum TFileAttributeStatus { fsIgnore, fsSet, fsUnset };

// Which names and folders to search.
class TFileCriteria : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  const char* ClassName() const override { return "TFileCriteria"; }

  // Masks separated by ";"; empty means "*.*".
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& v) { fileName_ = v; }
  // Folders separated by ";", each may carry the prefix "<" or ">".
  const std::string& Location() const { return location_; }
  void SetLocation(const std::string& v) { location_ = v; }
  // Extra targets: a folder path followed by a mask, prefix "<"/">" allowed.
  std::vector<std::string>& Included() { return included_; }
  const std::vector<std::string>& Included() const { return included_; }
  void SetIncluded(const std::vector<std::string>& v) { included_ = v; }
  // Exclusion masks.
  std::vector<std::string>& Excluded() { return excluded_; }
  const std::vector<std::string>& Excluded() const { return excluded_; }
  void SetExcluded(const std::vector<std::string>& v) { excluded_ = v; }
  bool Subfolders() const { return subfolders_; }
  void SetSubfolders(bool v) { subfolders_ = v; }
  uint16_t MinLevel() const { return minLevel_; }
  void SetMinLevel(uint16_t v) { minLevel_ = v; }
  uint16_t MaxLevel() const { return maxLevel_; }
  void SetMaxLevel(uint16_t v) { maxLevel_ = v; }

  // Folders named exactly, one folder per entry: an entry is neither split
  // at ";" nor trimmed and takes no "<" or ">" prefix, so a folder whose
  // name holds ";", "<" or blanks at either end is searched as it is. Each
  // is searched like a folder of Location (made absolute, Subfolders,
  // MinLevel and MaxLevel), after the folders of Location; an empty entry
  // is the current folder, as an empty path is.
  std::vector<std::string>& ExactFolders() { return exactFolders_; }
  const std::vector<std::string>& ExactFolders() const { return exactFolders_; }
  void SetExactFolders(const std::vector<std::string>& v) { exactFolders_ = v; }
  // Names searched exactly: an entry selects the one name with exactly its
  // bytes (letter case counts; "*", "?", ";" and blanks are plain bytes). In
  // every folder of Location and ExactFolders they are searched after the
  // masks of FileName; an empty FileName then adds no "*.*", so only these
  // names are looked for. Empty entries select nothing.
  std::vector<std::string>& ExactNames() { return exactNames_; }
  const std::vector<std::string>& ExactNames() const { return exactNames_; }
  void SetExactNames(const std::vector<std::string>& v) { exactNames_ = v; }

 private:
  std::string fileName_;
  std::string location_;
  std::vector<std::string> exactFolders_;
  std::vector<std::string> exactNames_;
  std::vector<std::string> included_;
  std::vector<std::string> excluded_;
  bool subfolders_ = true;
  uint16_t minLevel_ = 0;
  uint16_t maxLevel_ = 0;
};

// Which of the five basic attributes a match may (or must) have.
class TAttributeCriteria : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  const char* ClassName() const override { return "TAttributeCriteria"; }

  TFileAttributes Attributes() const;
  void SetAttributes(TFileAttributes v);
  bool ExactMatch() const { return exactMatch_; }
  void SetExactMatch(bool v) { exactMatch_ = v; }
  uint32_t AllowedAttr() const { return allowedAttr_; }

  bool Matches(uint32_t Attr) const;

 private:
  uint32_t allowedAttr_ = 0x27;
  bool exactMatch_ = false;
};

// Tri-state tests on eleven attributes.
class TAttributeCriteriaEx : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  const char* ClassName() const override { return "TAttributeCriteriaEx"; }

  // Index 1 to 11: Archive, Readonly, Hidden, System, Directory, Compressed,
  // Encrypted, Offline, ReparsePoint, SparseFile, Temporary.
  TFileAttributeStatus GetAttributeStatus(int Index) const;
  void SetAttributeStatus(int Index, TFileAttributeStatus Value);

  TFileAttributeStatus Archive() const { return GetAttributeStatus(1); }
  void SetArchive(TFileAttributeStatus v) { SetAttributeStatus(1, v); }
  TFileAttributeStatus Readonly() const { return GetAttributeStatus(2); }
  void SetReadonly(TFileAttributeStatus v) { SetAttributeStatus(2, v); }
  TFileAttributeStatus Hidden() const { return GetAttributeStatus(3); }
  void SetHidden(TFileAttributeStatus v) { SetAttributeStatus(3, v); }
  TFileAttributeStatus System() const { return GetAttributeStatus(4); }
  void SetSystem(TFileAttributeStatus v) { SetAttributeStatus(4, v); }
  TFileAttributeStatus Directory() const { return GetAttributeStatus(5); }
  void SetDirectory(TFileAttributeStatus v) { SetAttributeStatus(5, v); }
  TFileAttributeStatus Compressed() const { return GetAttributeStatus(6); }
  void SetCompressed(TFileAttributeStatus v) { SetAttributeStatus(6, v); }
  TFileAttributeStatus Encrypted() const { return GetAttributeStatus(7); }
  void SetEncrypted(TFileAttributeStatus v) { SetAttributeStatus(7, v); }
  TFileAttributeStatus Offline() const { return GetAttributeStatus(8); }
  void SetOffline(TFileAttributeStatus v) { SetAttributeStatus(8, v); }
  TFileAttributeStatus ReparsePoint() const { return GetAttributeStatus(9); }
  void SetReparsePoint(TFileAttributeStatus v) { SetAttributeStatus(9, v); }
  TFileAttributeStatus SparseFile() const { return GetAttributeStatus(10); }
  void SetSparseFile(TFileAttributeStatus v) { SetAttributeStatus(10, v); }
  TFileAttributeStatus Temporary() const { return GetAttributeStatus(11); }
  void SetTemporary(TFileAttributeStatus v) { SetAttributeStatus(11, v); }

  uint32_t SetMask() const { return setMask_; }
  uint32_t UnsetMask() const { return unsetMask_; }

  bool Matches(uint32_t Attributes) const;

 private:
  uint32_t setMask_ = 0;
  uint32_t unsetMask_ = 0;
};

// Six date-time bounds; 0 is no bound. A bound with whole part 0 is a time
// of day alone, one with fraction 0 a date alone.
class TDateTimeCriteria : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  const char* ClassName() const override { return "TDateTimeCriteria"; }

  TDateTime CreatedBefore() const { return createdBefore_; }
  void SetCreatedBefore(TDateTime v) { createdBefore_ = v; }
  TDateTime CreatedAfter() const { return createdAfter_; }
  void SetCreatedAfter(TDateTime v) { createdAfter_ = v; }
  TDateTime ModifiedBefore() const { return modifiedBefore_; }
  void SetModifiedBefore(TDateTime v) { modifiedBefore_ = v; }
  TDateTime ModifiedAfter() const { return modifiedAfter_; }
  void SetModifiedAfter(TDateTime v) { modifiedAfter_ = v; }
  TDateTime AccessedBefore() const { return accessedBefore_; }
  void SetAccessedBefore(TDateTime v) { accessedBefore_ = v; }
  TDateTime AccessedAfter() const { return accessedAfter_; }
  void SetAccessedAfter(TDateTime v) { accessedAfter_ = v; }

  // The three stamps are file times; a stamp is converted to local time only
  // when its pair has a bound. A stamp that cannot be converted fails a set
  // bound.
  bool Matches(TFileTime Created, TFileTime Modified, TFileTime Accessed) const;

 private:
  TDateTime createdBefore_ = 0, createdAfter_ = 0;
  TDateTime modifiedBefore_ = 0, modifiedAfter_ = 0;
  TDateTime accessedBefore_ = 0, accessedAfter_ = 0;
};

// The bound test of one time stamp (inclusive; a date-alone bound covers its
// whole day, a time-alone bound applies to the time of day on any day).
bool DateTimeInRange(TDateTime Value, TDateTime Before, TDateTime After);

// A file time as a local date-time value (zone rules of that moment); 0 when
// it cannot be converted.
TDateTime FileTimeToLocalDateTime(TFileTime FileTime);

// Minimum and maximum size in bytes; 0 is no bound; both inclusive.
class TSizeCriteria : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  const char* ClassName() const override { return "TSizeCriteria"; }

  int64_t Min() const { return min_; }
  void SetMin(int64_t v) { min_ = v; }
  int64_t Max() const { return max_; }
  void SetMax(int64_t v) { max_ = v; }

  bool Matches(int64_t Size) const;

 private:
  int64_t min_ = 0;
  int64_t max_ = 0;
};

// A phrase the file must contain. The writers keep PhraseLength,
// ComparePhrase (lower-cased when IgnoreCase) and Table current. An empty
// phrase switches the test off.
class TContentCriteria : public TPersistent {
 public:
  TContentCriteria();
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  const char* ClassName() const override { return "TContentCriteria"; }

  const std::string& Phrase() const { return phrase_; }
  void SetPhrase(const std::string& v);
  bool IgnoreCase() const { return ignoreCase_; }
  void SetIgnoreCase(bool v);
  bool WholeWord() const { return wholeWord_; }
  void SetWholeWord(bool v) { wholeWord_ = v; }

  int32_t PhraseLength() const { return phraseLength_; }
  const std::string& ComparePhrase() const { return comparePhrase_; }
  // The 256-entry byte translation table the scan uses.
  const uint8_t* Table() const { return table_; }

  // True when PhraseLength is 0 (the file is not touched); otherwise true
  // exactly when the file contains the phrase; false when it cannot be read.
  bool Matches(const std::string& FileName) const;

 private:
  void UpdateDerived();

  std::string phrase_;
  bool ignoreCase_ = true;
  bool wholeWord_ = false;
  int32_t phraseLength_ = 0;
  std::string comparePhrase_;
  const uint8_t* table_ = nullptr;
};

// The aggregate of the six criteria, created and freed in this order.
class TSearchCriteria : public TPersistent {
 public:
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;
  const char* ClassName() const override { return "TSearchCriteria"; }

  TFileCriteria& Files() { return files_; }
  const TFileCriteria& Files() const { return files_; }
  void SetFiles(const TFileCriteria& v) { files_.Assign(&v); }
  TAttributeCriteria& Attribute() { return attribute_; }
  const TAttributeCriteria& Attribute() const { return attribute_; }
  void SetAttribute(const TAttributeCriteria& v) { attribute_.Assign(&v); }
  TAttributeCriteriaEx& AttributeEx() { return attributeEx_; }
  const TAttributeCriteriaEx& AttributeEx() const { return attributeEx_; }
  void SetAttributeEx(const TAttributeCriteriaEx& v) { attributeEx_.Assign(&v); }
  TDateTimeCriteria& TimeStamp() { return timeStamp_; }
  const TDateTimeCriteria& TimeStamp() const { return timeStamp_; }
  void SetTimeStamp(const TDateTimeCriteria& v) { timeStamp_.Assign(&v); }
  TSizeCriteria& Size() { return size_; }
  const TSizeCriteria& Size() const { return size_; }
  void SetSize(const TSizeCriteria& v) { size_.Assign(&v); }
  TContentCriteria& Content() { return content_; }
  const TContentCriteria& Content() const { return content_; }
  void SetContent(const TContentCriteria& v) { content_.Assign(&v); }

 private:
  TFileCriteria files_;
  TAttributeCriteria attribute_;
  TAttributeCriteriaEx attributeEx_;
  TDateTimeCriteria timeStamp_;
  TSizeCriteria size_;
  TContentCriteria content_;
};

}  // namespace trawlix
