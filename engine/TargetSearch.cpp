#include "engine/TargetSearch.h"

#include <algorithm>

#include "engine/ExclusionMask.h"
#include "platform/CaseFold.h"
#include "platform/Paths.h"

namespace trawlix {

// Helpers

std::vector<std::string> SplitEntries(std::string_view Text, bool IgnoreCase) {
  std::vector<std::string> entries;
  std::vector<std::string> keys;  // folded forms when IgnoreCase
  size_t start = 0;
  while (start <= Text.size()) {
    size_t end = Text.find(';', start);
    if (end == std::string_view::npos) end = Text.size();
    std::string_view piece = Text.substr(start, end - start);
    start = end + 1;
    while (!piece.empty() && static_cast<unsigned char>(piece.front()) <= 32) piece.remove_prefix(1);
    while (!piece.empty() && static_cast<unsigned char>(piece.back()) <= 32) piece.remove_suffix(1);
    if (piece.empty()) continue;
    std::string key = IgnoreCase ? FoldUtf8(piece) : std::string(piece);
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(std::move(key));
    entries.emplace_back(piece);
  }
  return entries;
}

bool TakeSubfolderPrefix(std::string& Entry, bool Default) {
  if (Entry.empty() || (Entry[0] != '<' && Entry[0] != '>')) return Default;
  const bool withSubfolders = Entry[0] == '>';
  Entry.erase(0, 1);
  return withSubfolders;
}

std::string AddBackslash(const std::string& Path) {
  if (Path.empty() || Path.back() == '/') return Path;
  return Path + '/';
}

// TTargetFolderList

TTargetFolderList::TTargetFolderList() = default;

TTargetFolderList::~TTargetFolderList() {
  excludedMasks_.clear();
  while (!items_.empty()) items_.pop_back();
}

int TTargetFolderList::IndexOfFolder(const std::string& Folder) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->Folder == Folder) return static_cast<int>(i);
  return -1;
}

TTargetFolder& TTargetFolderList::AddFolder(const std::string& Path) {
  const std::string folder = AddBackslash(ExpandFileName(Path));
  const int index = IndexOfFolder(folder);
  if (index >= 0) return *items_[static_cast<size_t>(index)];
  auto target = std::make_unique<TTargetFolder>();
  target->Folder = folder;
  items_.insert(items_.begin(), std::move(target));
  return *items_.front();
}

bool TTargetFolderList::IsExcluded(const std::string& Folder, const std::string& FileName) const {
  if (excludedMasks_.empty()) return false;
  return IsExcludedBy(excludedMasks_, Folder, FileName);
}

// TTargetSearch

TTargetSearch::TTargetSearch(const TSearchCriteria& Criteria)
    : targetFolders_(std::make_unique<TTargetFolderList>()),
      attribute_(std::make_unique<TAttributeCriteria>()),
      attributeEx_(std::make_unique<TAttributeCriteriaEx>()),
      timeStamp_(std::make_unique<TDateTimeCriteria>()),
      size_(std::make_unique<TSizeCriteria>()),
      content_(std::make_unique<TContentCriteria>()) {
  const TFileCriteria& files = Criteria.Files();
  TTargetFolderList& list = *targetFolders_;

  list.ExcludedMasks() = files.Excluded();

  for (const std::string& included : files.Included()) {
    std::string entry = included;
    const bool subfolders = TakeSubfolderPrefix(entry, files.Subfolders());
    const size_t slash = entry.rfind('/');
    const std::string folderPart = slash == std::string::npos ? std::string() : entry.substr(0, slash + 1);
    const std::string namePart = slash == std::string::npos ? entry : entry.substr(slash + 1);
    TTargetFolder& target = list.AddFolder(folderPart);
    target.FileMasks.push_back(namePart.empty() ? "*.*" : namePart);
    target.ExactMasks.push_back(false);
    target.Subfolders = subfolders;
    target.MinLevel = files.MinLevel();
    target.MaxLevel = files.MaxLevel();
  }

  // Exact names join the masks of the Location and ExactFolders folders.
  std::vector<std::string> masks = SplitEntries(files.FileName());
  std::vector<bool> exact(masks.size(), false);
  for (const std::string& name : files.ExactNames()) {
    if (name.empty()) continue;
    masks.push_back(name);
    exact.push_back(true);
  }
  if (masks.empty()) {
    masks.push_back("*.*");
    exact.push_back(false);
  }
  auto addTarget = [&](const std::string& folder, bool subfolders) {
    TTargetFolder& target = list.AddFolder(folder);
    target.FileMasks.insert(target.FileMasks.end(), masks.begin(), masks.end());
    target.ExactMasks.insert(target.ExactMasks.end(), exact.begin(), exact.end());
    target.Subfolders = subfolders;
    target.MinLevel = files.MinLevel();
    target.MaxLevel = files.MaxLevel();
  };

  // Folders are told apart byte for byte: "/data/A" and "/data/a" are two
  // folders on Linux and both are searched.
  for (std::string entry : SplitEntries(files.Location(), /*IgnoreCase=*/false)) {
    const bool subfolders = TakeSubfolderPrefix(entry, files.Subfolders());
    addTarget(entry, subfolders);
  }
  for (const std::string& folder : files.ExactFolders()) addTarget(folder, files.Subfolders());

  for (int i = 0; i < list.Count(); ++i) {
    TTargetFolder& t = list.Items(i);
    t.CompiledMasks.clear();
    for (size_t m = 0; m < t.FileMasks.size(); ++m)
      t.CompiledMasks.push_back(t.ExactMasks[m] ? TNameMask::Literal(t.FileMasks[m]) : TNameMask(t.FileMasks[m]));
  }

  attribute_->Assign(&Criteria.Attribute());
  attributeEx_->Assign(&Criteria.AttributeEx());
  timeStamp_->Assign(&Criteria.TimeStamp());
  size_->Assign(&Criteria.Size());
  content_->Assign(&Criteria.Content());

  // Folders never pass a content search.
  if (content_->PhraseLength() > 0) {
    TFileAttributes attrs = attribute_->Attributes();
    attrs.Exclude(ffDirectory);
    attribute_->SetAttributes(attrs);
  }
}

TTargetSearch::~TTargetSearch() {
  targetFolders_.reset();
  attribute_.reset();
  attributeEx_.reset();
  timeStamp_.reset();
  size_.reset();
  content_.reset();
}

bool TTargetSearch::RefusesDirectories() const {
  // A directory always carries the directory bit: it fails the attribute
  // test when that bit is not allowed (with ExactMatch too, since the bits
  // then differ), and the extended test when the bit must be unset.
  return !(attribute_->AllowedAttr() & faDirectory) || (attributeEx_->UnsetMask() & faDirectory);
}

bool TTargetSearch::Matches(const std::string& Folder, const TSearchRec& FileInfo) const {
  const TFindData& fd = FileInfo.FindData;
  const int64_t size =
      static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
  if (!size_->Matches(size)) return false;
  if (!attribute_->Matches(FileInfo.Attr)) return false;
  if (!attributeEx_->Matches(fd.dwFileAttributes)) return false;
  if (!timeStamp_->Matches(fd.ftCreationTime, fd.ftLastWriteTime, fd.ftLastAccessTime)) return false;
  if (targetFolders_->IsExcluded(Folder, FileInfo.Name)) return false;
  if (content_->PhraseLength() > 0 && !content_->Matches(Folder + FileInfo.Name)) return false;
  return true;
}

}  // namespace trawlix
