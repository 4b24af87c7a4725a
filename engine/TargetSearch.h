// The search plan: the folders to walk, each with its masks, subfolder
// switch and level limits, and the acceptance test for every entry found.
//
// A plan is built from a copy of the criteria when a search starts and is
// never changed afterwards; from then on only the thread that walks reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SearchCriteria.h"
#include "platform/DirEnum.h"
#include "platform/Mask.h"

namespace trawlix {

// One folder to walk.
class TTargetFolder {
 public:
  std::string Folder;                 // full path ending in "/"
  bool Subfolders = false;
  // The masks searched in this folder, in order; the names of
  // ExactFolders/ExactNames stand here as their bytes. Never empty once
  // built.
  std::vector<std::string> FileMasks;
  uint16_t MinLevel = 0;
  uint16_t MaxLevel = 0;

  // FileMasks compiled for matching, in the same order; filled when the plan
  // is complete. An exact name compiles to a literal mask.
  std::vector<TNameMask> CompiledMasks;
  // Which entries of FileMasks are exact names, in the same order.
  std::vector<bool> ExactMasks;
};

// The plan's folders (owned) and its copy of the exclusion masks.
class TTargetFolderList {
 public:
  TTargetFolderList();
  ~TTargetFolderList();
  TTargetFolderList(const TTargetFolderList&) = delete;
  TTargetFolderList& operator=(const TTargetFolderList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  TTargetFolder& Items(int Index) { return *items_.at(static_cast<size_t>(Index)); }
  const TTargetFolder& Items(int Index) const { return *items_.at(static_cast<size_t>(Index)); }

  std::vector<std::string>& ExcludedMasks() { return excludedMasks_; }
  const std::vector<std::string>& ExcludedMasks() const { return excludedMasks_; }

  // Index of the entry for Folder, -1 when there is none. Folders are the
  // same only when their bytes are the same: Linux tells letter case apart.
  int IndexOfFolder(const std::string& Folder) const;

  // Normalises Path (full path, trailing "/") and returns the entry for it,
  // creating one in front of all others when there is none.
  TTargetFolder& AddFolder(const std::string& Path);

  // True when FileName in Folder matches an entry of ExcludedMasks; false
  // when there is none.
  bool IsExcluded(const std::string& Folder, const std::string& FileName) const;

 private:
  std::vector<std::unique_ptr<TTargetFolder>> items_;
  std::vector<std::string> excludedMasks_;
};

class TTargetSearch {
 public:
  explicit TTargetSearch(const TSearchCriteria& Criteria);
  ~TTargetSearch();
  TTargetSearch(const TTargetSearch&) = delete;
  TTargetSearch& operator=(const TTargetSearch&) = delete;

  TTargetFolderList& TargetFolders() { return *targetFolders_; }
  const TTargetFolderList& TargetFolders() const { return *targetFolders_; }
  const TAttributeCriteria& Attribute() const { return *attribute_; }
  const TAttributeCriteriaEx& AttributeEx() const { return *attributeEx_; }
  const TDateTimeCriteria& TimeStamp() const { return *timeStamp_; }
  const TSizeCriteria& Size() const { return *size_; }
  const TContentCriteria& Content() const { return *content_; }

  // The acceptance test of one entry found in Folder (ending in "/"): size,
  // attributes, extended attributes, time stamps, exclusion, content, in
  // this order; the first that fails gives false.
  bool Matches(const std::string& Folder, const TSearchRec& FileInfo) const;

  // True when Matches refuses every directory whatever else it holds (the
  // attribute criteria leave no room for the directory bit), so a walk need
  // not examine an entry it already knows to be a directory.
  bool RefusesDirectories() const;

 private:
  std::unique_ptr<TTargetFolderList> targetFolders_;
  std::unique_ptr<TAttributeCriteria> attribute_;
  std::unique_ptr<TAttributeCriteriaEx> attributeEx_;
  std::unique_ptr<TDateTimeCriteria> timeStamp_;
  std::unique_ptr<TSizeCriteria> size_;
  std::unique_ptr<TContentCriteria> content_;
};

// Cuts a ";"-separated text into trimmed, non-empty entries in order. A
// piece equal to an earlier one is left out: without regard to letter case
// (Unicode case folding) when ignoreCase, byte for byte otherwise.
std::vector<std::string> SplitEntries(std::string_view Text, bool IgnoreCase = true);

// Reads and removes a leading "<" (false: this folder only) or ">" (true:
// with subfolders); without one returns Default and leaves Entry unchanged.
bool TakeSubfolderPrefix(std::string& Entry, bool Default);

// Gives Path a trailing "/" unless it is empty or ends in "/" already.
std::string AddBackslash(const std::string& Path);

}  // namespace trawlix
