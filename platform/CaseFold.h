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

namespace trawlix {

// Code points above this stand for single invalid bytes (kInvalidByteBase +
// byte value) as DecodeUtf8 returns them.
inline constexpr char32_t kInvalidByteBase = 0x110000;

// Decodes one character at p (p < end) and advances p past it. An invalid or
// truncated sequence yields kInvalidByteBase + its first byte and advances by
// one byte.
char32_t DecodeUtf8(const char*& p, const char* end);

// Appends the UTF-8 form of c; a kInvalidByteBase value appends its byte.
void AppendUtf8(std::string& out, char32_t c);

// Simple case folding of one code point (a lower-case form); characters
// without a folding, and invalid-byte values, are returned unchanged.
char32_t FoldChar(char32_t c);

// Folds a whole text character by character.
std::string FoldUtf8(std::string_view text);

// Decodes and folds a whole text into characters (replacing out's content).
void FoldToUtf32(std::string_view text, std::u32string& out);

// True when every byte of s is below 0x80.
bool IsAscii(std::string_view s);

// True when the C library's current locale uses UTF-8 as its character set
// (the "C"/"POSIX" locale counts as UTF-8 for names, as file names on Linux
// are UTF-8 by convention).
bool LocaleIsUtf8();

}  // namespace trawlix
