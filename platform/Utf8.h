// UTF-8 in the program's one decoder. Text is taken leniently: a byte that
// does not start a valid sequence (a stray continuation byte, a truncated,
// overlong or surrogate sequence) counts as one character of its own,
// kInvalidByteBase + its value, so text that is not UTF-8 is still read byte
// by byte and written back unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trawlix {

// Code points from here on stand for single invalid bytes (kInvalidByteBase +
// byte value) as DecodeUtf8 returns them.
inline constexpr char32_t kInvalidByteBase = 0x110000;

// Decodes one character at p (p < end) and advances p past it. An invalid or
// truncated sequence yields kInvalidByteBase + its first byte and advances by
// one byte.
char32_t DecodeUtf8(const char*& p, const char* end);

// Decodes the character that ends right before p (begin < p), the way
// DecodeUtf8 reads it going forward: a sequence of up to four bytes ending
// at p, or else the single byte before p (kInvalidByteBase + it when it is
// no character of its own).
char32_t DecodeUtf8Before(const char* begin, const char* p);

// Appends the UTF-8 form of c; a kInvalidByteBase value appends its byte.
void AppendUtf8(std::string& out, char32_t c);

// The number of bytes of the sequence a lead byte announces: 2 to 4 for the
// lead bytes of multi-byte sequences, 1 for every other byte.
inline size_t Utf8SequenceLength(uint8_t lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 1;
}

// The number of bytes AppendUtf8 writes for c.
inline size_t Utf8EncodedLength(char32_t c) {
  if (c >= kInvalidByteBase || c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c < 0x10000) return 3;
  return 4;
}

}  // namespace trawlix
