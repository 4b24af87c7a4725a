// File-name masks as the directory enumeration applies them.
//
// "*" stands for any run of characters (also none), "?" for exactly one
// character, and letters match without regard to case, beyond ASCII too.
// A mask ending in ".*" also selects names without a dot that match what
// stands before it, so "*.*" selects every name; a mask ending in a lone "."
// selects only names without a dot ("*." is every name without a dot).
//
// A literal mask (TNameMask::Literal) selects exactly one name: the same
// bytes, letter case and every "*", "?", ";" or blank included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trawlix {

class TNameMask {
 public:
  TNameMask() = default;
  explicit TNameMask(std::string_view mask);
  // The mask that selects the name with exactly these bytes and no other.
  static TNameMask Literal(std::string_view name);

  bool Matches(std::string_view name) const;
  // True for masks that select every name ("*", "*.*").
  bool MatchesEverything() const { return everything_ && !noDot_; }
  const std::string& Text() const { return text_; }
  bool IsLiteral() const { return literal_; }

 private:
  std::string text_;
  std::u32string pattern_;   // folded; without the trailing "." of a no-dot mask
  std::string asciiPattern_;  // folded, when the pattern is ASCII only
  bool asciiOnly_ = true;
  bool everything_ = false;
  bool noDot_ = false;        // mask ended in a lone "."
  bool optionalExt_ = false;  // mask ended in ".*"
  bool literal_ = false;      // text_ is the one name selected
};

// Glob matching of a folded pattern against a folded name ("*" and "?"),
// iterative with one backtrack point: O(name x pattern) at worst. With
// trailingAnyMayBeEmpty, a "?" left at the end of the pattern once the name
// is used up may stand for nothing, as a "*" always may.
bool GlobMatch(std::u32string_view pattern, std::u32string_view name,
               bool trailingAnyMayBeEmpty = false);
bool GlobMatch(std::string_view pattern, std::string_view name,
               bool trailingAnyMayBeEmpty = false);

}  // namespace trawlix
