// Exclusion masks: whether a file in a folder matches an entry of the
// plan's exclusion list.
//
// An entry reads as an optional folder part (everything up to and including
// its last "/") followed by an optional name mask. The folder part must be
// the tail of the walked folder (ASCII letters without regard to case, no
// wildcards); the name mask is matched against the file name with base and
// extension taken separately ("*" any run, "?" one character, letters
// without regard to case, beyond ASCII under a UTF-8 locale). Paths have no
// drive on Linux, so a folder part is always compared as a tail.
//
// Letters fold by the same rule as the name masks of the walk
// (FoldBytesForMatch in platform/CaseFold.h). Everything here only reads its
// arguments and the shared lower-case table; it may run in any thread and
// never raises.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trawlix {

// True when FileName in Folder (ending in "/") matches any of Masks. The
// entries are tried from the last to the first; false for an empty list.
bool IsExcludedBy(const std::vector<std::string>& Masks, const std::string& Folder,
                  const std::string& FileName);

// True when one exclusion entry matches FileName in Folder.
bool ExclusionMatch(std::string_view Folder, std::string_view FileName, std::string_view Entry);

// The drive at the start of a path; always empty on Linux, where ":" is an
// ordinary character and there are no universal names.
std::string_view PathDrive(std::string_view Path);

// True when a folder's drive fits an entry's drive (EntryDrive not empty):
// a "\\" drive by wildcard match, a drive beginning with "*" or "?" fits
// every drive, otherwise the first letters are compared without regard to
// case. Never reached for Linux paths (they have no drive), kept for the
// exclusion rules' completeness.
bool DriveMatch(std::string_view FolderDrive, std::string_view EntryDrive);

// True when a file name fits a name mask, base and extension taken
// separately. A mask without extension ignores the file's extension; a file
// without extension counts as having the extension ".".
bool FileNameMatch(std::string_view FileName, std::string_view Mask);

// True when Name fits Mask: "*" stands for any run of characters (also
// none), "?" for exactly one character, except that "?" at the end of the
// mask may also stand for nothing once the name is used up ("data?" fits
// "data"). Letters match without regard to case. At worst O(name x mask).
bool WildcardMatch(std::string_view Name, std::string_view Mask);

// The lower-case form of one byte in the locale's character set (under
// UTF-8 the ASCII letters; other bytes are parts of characters and stay).
uint8_t LowerChar(uint8_t C);

}  // namespace trawlix
