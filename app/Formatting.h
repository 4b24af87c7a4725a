// Texts the main window builds from its counters and from errors. Pure
// functions, callable without a window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trawlix {

// Decimal digits grouped in threes from the right, separated by ".":
// 1000 gives "1.000". Value is never negative where the window calls it; a
// negative value keeps its sign in front of the grouped digits.
std::string FormatGrouped(int64_t Value);

// The two count labels below the result table. They read as one sentence:
// "  3 Dateien mit 12.345 Bytes in" "  2 Unterverzeichnissen."
std::string FileCountLabelText(int32_t fileCount, int64_t totalBytes);
std::string DirCountLabelText(int32_t folderCount);

// The note below the counters after a search that could not open or read
// every folder: "  3 Ordner konnten nicht gelesen werden." (singular for 1).
std::string UnreadableNoteText(int64_t folders);

// The labels' texts before the first search.
inline constexpr const char* kInitialFileCountLabel = "  0 Dateien in";
inline constexpr const char* kInitialDirCountLabel = "  0 Unterverzeichnissen gefunden.";

// The text of the general error display: the error's text followed by a full
// stop when its last byte has a higher code than "." (so texts ending in
// ".", "!" or ")" get none; an empty text stays empty).
std::string GeneralErrorText(std::string_view message);

}  // namespace trawlix
