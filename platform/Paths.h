// Path helpers. Paths are byte strings; "/" separates folders and is the
// root. There are no drive letters: ":" is an ordinary character.
#pragma once

#include <string>
#include <string_view>

namespace trawlix {

// The process's current folder, without a trailing "/" (except the root).
// Empty when it cannot be determined (it was removed, or lies outside the
// process's root): an empty text names no folder, where "/" would silently
// name another.
std::string GetCurrentDir();

// An absolute form of path: a relative path is taken against the current
// folder; "." and ".." parts and repeated separators are removed lexically,
// without resolving symbolic links (".." at the root stays at the root). A
// trailing "/" is kept. An empty path expands to the current folder. When
// the current folder cannot be determined, a relative or empty path gives
// an empty text.
std::string ExpandFileName(std::string_view path);

// Appends "/" unless the path is empty or already ends in "/".
std::string IncludeTrailingPathDelimiter(std::string path);

// True when path names a folder (symbolic links to folders count).
bool DirectoryExists(const std::string& path);

// True when path names an existing entry that is not a folder.
bool FileExists(const std::string& path);

}  // namespace trawlix
