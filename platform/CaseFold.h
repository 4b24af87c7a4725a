// Unicode-aware case folding of UTF-8 text, used to match masks and phrases
// without regard to letter case ("ä" matches "Ä", Greek and Cyrillic too).
//
// Text is taken as UTF-8 leniently: a byte that does not start a valid
// sequence counts as one character of its own and folds to itself, so names
// that are not UTF-8 still match and are never altered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Utf8.h"

namespace trawlix {

// Simple case folding of one code point (a lower-case form); characters
// without a folding, and invalid-byte values, are returned unchanged.
char32_t FoldChar(char32_t c);

// Folds a whole text character by character.
std::string FoldUtf8(std::string_view text);

// Decodes and folds a whole text into characters (replacing out's content).
void FoldToUtf32(std::string_view text, std::u32string& out);

// True when every byte of s is below 0x80.
bool IsAscii(std::string_view s);

// The lower-case form of every byte in the C library's LC_CTYPE locale: the
// ASCII letters under UTF-8 (the other bytes are parts of characters and
// stay), the locale's tolower under a single-byte locale. Read from the
// locale once, on first use; ReloadLocaleCase reads it again.
const uint8_t* LocaleLowerTable();
// True when the table was read under a UTF-8 locale.
bool LocaleCaseUtf8();
// Reads the table again for the LC_CTYPE locale now in force, for a program
// that switches its locale after start (tests do). Nothing may fold text
// meanwhile.
void ReloadLocaleCase();

// The one rule by which masks and exclusion entries compare letters. Folds
// text byte by byte into `bytes` and returns true when that is exact: under
// a single-byte locale always (through LocaleLowerTable, each byte one
// character), under UTF-8 for ASCII text. Returns false when the text must
// be folded by characters instead (FoldToUtf32).
bool FoldBytesForMatch(std::string_view text, std::string& bytes);

// True when the C library's current locale uses UTF-8 as its character set
// (the "C"/"POSIX" locale counts as UTF-8 for names, as file names on Linux
// are UTF-8 by convention).
bool LocaleIsUtf8();

}  // namespace trawlix
