// The locale's comparison of texts without regard to letter case, as sort
// keys: ICU collation at secondary strength (accents count, case does not)
// for the LC_COLLATE locale of the environment; the C and POSIX locales
// collate as German.
//
// Texts are bytes. Valid UTF-8 collates as its characters; a byte that is
// not UTF-8 collates as U+FFFD, and the raw bytes of such a text follow its
// key, so texts that differ only in stray bytes still have distinct keys and
// every order stays total and repeatable.
//
// A collator is immutable once made; its keys may be made from any thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace trawlix {

class TCollator {
 public:
  // The ICU locale name the environment asks for: LC_ALL, else
  // LC_COLLATE, else LANG, without encoding or modifier ("de_DE.UTF-8"
  // gives "de_DE"); "de_DE" for none, "C" and "POSIX".
  static std::string UserLocale();

  // A collator for an ICU locale name. A name ICU does not know falls back
  // to ICU's root order.
  explicit TCollator(const std::string& locale = UserLocale());
  ~TCollator();
  TCollator(const TCollator&) = delete;
  TCollator& operator=(const TCollator&) = delete;

  // The collator of the user's locale, made on first use.
  static const TCollator& User();

  // Appends the sort key of text to out: keys compare with memcmp (shorter
  // first on a common prefix) as the texts compare. Each key ends in a zero
  // byte, followed by the raw bytes when the text is not valid UTF-8.
  void AppendSortKey(std::string_view text, std::string& out) const;
  std::string SortKey(std::string_view text) const;

  // <0, 0 or >0 as a compares to b.
  int Compare(std::string_view a, std::string_view b) const;

 private:
  UCollator* collator_ = nullptr;
};

}  // namespace trawlix
