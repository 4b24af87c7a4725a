#include "platform/EntryList.h"

#include <algorithm>

#include "platform/CaseFold.h"

namespace trawlix {

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

}  // namespace trawlix
