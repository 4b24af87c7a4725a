// The ";"-separated lists of the program: name masks ("*.txt; *.doc"),
// folders of a search, and the mask text of the window's file list. One
// function cuts them all, so a mask text is never read two ways.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trawlix {

// Cuts a ";"-separated text into trimmed, non-empty entries in order
// (spaces, tabs and other bytes up to 32 are trimmed). A piece equal to an
// earlier one is left out: without regard to letter case (Unicode case
// folding) when IgnoreCase, byte for byte otherwise.
std::vector<std::string> SplitEntries(std::string_view Text, bool IgnoreCase = true);

}  // namespace trawlix
