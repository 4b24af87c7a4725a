#include "engine/ExclusionMask.h"

#include <string>

#include "engine/ContentSearch.h"
#include "platform/CaseFold.h"
#include "platform/Mask.h"

namespace trawlix {

namespace {

// ASCII letters without regard to case, every other byte exactly.
bool EqualsAsciiIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Extension: from the last "." to the end; base: the rest.
void SplitName(std::string_view name, std::string_view& base, std::string_view& ext) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) {
    base = name;
    ext = {};
  } else {
    base = name.substr(0, dot);
    ext = name.substr(dot);
  }
}

}  // namespace

uint8_t LowerChar(uint8_t C) { return LowerCaseTable()[C]; }

bool WildcardMatch(std::string_view Name, std::string_view Mask) {
  // Letters fold as in the name masks of the walk: byte by byte where that
  // is exact, by characters otherwise.
  thread_local std::string name, mask;
  if (FoldBytesForMatch(Name, name) && FoldBytesForMatch(Mask, mask))
    return GlobMatch(std::string_view(mask), std::string_view(name), /*trailingAnyMayBeEmpty=*/true);
  thread_local std::u32string nameChars, maskChars;
  FoldToUtf32(Name, nameChars);
  FoldToUtf32(Mask, maskChars);
  return GlobMatch(std::u32string_view(maskChars), std::u32string_view(nameChars), true);
}

bool FileNameMatch(std::string_view FileName, std::string_view Mask) {
  std::string_view fb, fe, mb, me;
  SplitName(FileName, fb, fe);
  SplitName(Mask, mb, me);
  if (me.empty()) return WildcardMatch(fb, mb);
  if (fe.empty()) fe = ".";
  return WildcardMatch(fe, me) && WildcardMatch(fb, mb);
}

std::string_view PathDrive(std::string_view Path) { return Path.substr(0, 0); }

bool DriveMatch(std::string_view FolderDrive, std::string_view EntryDrive) {
  if (EntryDrive.empty()) return true;
  if (EntryDrive.size() >= 2 && EntryDrive[0] == '\\' && EntryDrive[1] == '\\')
    return WildcardMatch(FolderDrive, EntryDrive);
  if (EntryDrive[0] == '*' || EntryDrive[0] == '?') return true;
  if (FolderDrive.empty()) return false;
  return LowerChar(static_cast<uint8_t>(FolderDrive[0])) ==
         LowerChar(static_cast<uint8_t>(EntryDrive[0]));
}

bool ExclusionMatch(std::string_view Folder, std::string_view FileName, std::string_view Entry) {
  const size_t slash = Entry.rfind('/');
  std::string_view folderPart =
      slash == std::string_view::npos ? std::string_view() : Entry.substr(0, slash + 1);
  const std::string_view nameMask =
      slash == std::string_view::npos ? Entry : Entry.substr(slash + 1);

  if (!folderPart.empty()) {
    const std::string_view folderDrive = PathDrive(Folder);
    const std::string_view entryDrive = PathDrive(folderPart);
    if (!entryDrive.empty()) {
      if (!DriveMatch(folderDrive, entryDrive)) return false;
      folderPart.remove_prefix(entryDrive.size());
    }
    if (!folderPart.empty()) {
      if (Folder.size() - folderDrive.size() < folderPart.size()) return false;
      if (!EqualsAsciiIgnoreCase(Folder.substr(Folder.size() - folderPart.size()), folderPart))
        return false;
    }
  }
  if (nameMask.empty()) return true;
  return FileNameMatch(FileName, nameMask);
}

bool IsExcludedBy(const std::vector<std::string>& Masks, const std::string& Folder,
                  const std::string& FileName) {
  for (auto it = Masks.rbegin(); it != Masks.rend(); ++it)
    if (ExclusionMatch(Folder, FileName, *it)) return true;
  return false;
}

}  // namespace trawlix
