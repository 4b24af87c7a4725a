#include "platform/Mask.h"

#include "platform/CaseFold.h"

namespace trawlix {

namespace {

// The latest star is the one backtrack point: when a later literal fails,
// the star takes one more character and matching resumes after it. Later
// stars only ever need the leftmost match of what follows them, so one point
// suffices.
template <typename View>
bool GlobMatchImpl(View pattern, View name, bool trailingAnyMayBeEmpty) {
  size_t p = 0, n = 0;
  size_t starP = View::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starP != View::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == '*' || (trailingAnyMayBeEmpty && pattern[p] == '?')))
    ++p;
  return p == pattern.size();
}

}  // namespace

bool GlobMatch(std::u32string_view pattern, std::u32string_view name, bool trailingAnyMayBeEmpty) {
  return GlobMatchImpl(pattern, name, trailingAnyMayBeEmpty);
}

bool GlobMatch(std::string_view pattern, std::string_view name, bool trailingAnyMayBeEmpty) {
  return GlobMatchImpl(pattern, name, trailingAnyMayBeEmpty);
}

TNameMask::TNameMask(std::string_view mask) : text_(mask) {
  std::string_view core = mask;
  if (core.size() >= 2 && core.substr(core.size() - 2) == ".*") {
    optionalExt_ = true;
  } else if (!core.empty() && core.back() == '.' && core != "." && core != "..") {
    noDot_ = true;
    core.remove_suffix(1);
  }
  FoldToUtf32(core, pattern_);
  asciiOnly_ = IsAscii(core);
  if (asciiOnly_) asciiPattern_ = FoldUtf8(core);
  everything_ = core == "*" || core == "*.*" || (core.find_first_not_of('*') == std::string_view::npos && !core.empty());
}

TNameMask TNameMask::Literal(std::string_view name) {
  TNameMask m;
  m.text_.assign(name);
  m.literal_ = true;
  return m;
}

bool TNameMask::Matches(std::string_view name) const {
  if (literal_) return name == text_;
  if (everything_ && !noDot_) return true;
  const bool hasDot = name.find('.') != std::string_view::npos;
  if (noDot_ && hasDot) return false;

  // Patterns and names of plain ASCII are compared byte by byte.
  if (asciiOnly_ && IsAscii(name)) {
    thread_local std::string folded;
    folded.assign(name);
    for (char& c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (GlobMatch(std::string_view(asciiPattern_), std::string_view(folded))) return true;
    if (optionalExt_ && !hasDot)
      return GlobMatch(std::string_view(asciiPattern_).substr(0, asciiPattern_.size() - 2),
                       std::string_view(folded));
    return false;
  }
  thread_local std::u32string folded;
  FoldToUtf32(name, folded);
  if (GlobMatch(std::u32string_view(pattern_), std::u32string_view(folded))) return true;
  if (optionalExt_ && !hasDot)
    return GlobMatch(std::u32string_view(pattern_).substr(0, pattern_.size() - 2),
                     std::u32string_view(folded));
  return false;
}

}  // namespace trawlix
