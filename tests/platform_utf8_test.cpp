// The one UTF-8 decoder: valid characters of every length, and every kind of
// broken sequence read as single bytes, forward and backward alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Utf8.h"

namespace trawlix {

std::vector<char32_t> Forward(const std::string& s) {
  std::vector<char32_t> out;
  const char* p = s.data();
  while (p < s.data() + s.size()) out.push_back(DecodeUtf8(p, s.data() + s.size()));
  return out;
}

std::vector<char32_t> Backward(const std::string& s) {
  std::vector<char32_t> out;
  const char* p = s.data() + s.size();
  while (p > s.data()) {
    const char32_t c = DecodeUtf8Before(s.data(), p);
    out.insert(out.begin(), c);
    p -= Utf8EncodedLength(c);
  }
  return out;
}

TEST(Utf8, DecodesLeniently) {
  constexpr char32_t X = kInvalidByteBase;
  const struct {
    const char* name;
    std::string bytes;
    std::vector<char32_t> chars;
  } cases[] = {
      {"ascii", "aZ", {'a', 'Z'}},
      {"two bytes", "\xC3\xA4", {0xE4}},
      {"three bytes", "\xE2\x82\xAC", {0x20AC}},
      {"four bytes", "\xF0\x9F\x98\x80", {0x1F600}},
      {"stray continuation", "a\xA4", {'a', X + 0xA4}},
      {"truncated", "\xE2\x82", {X + 0xE2, X + 0x82}},
      {"overlong", "\xC0\xAF", {X + 0xC0, X + 0xAF}},
      {"surrogate", "\xED\xA0\x80", {X + 0xED, X + 0xA0, X + 0x80}},
      {"latin-1 word", "K\xE4tz", {'K', X + 0xE4, 't', 'z'}},
      {"lead before a valid one", "\xC3\xC3\xA4", {X + 0xC3, 0xE4}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Forward(c.bytes), c.chars) << c.name;
    EXPECT_EQ(Backward(c.bytes), c.chars) << c.name;
    std::string again;
    for (char32_t ch : c.chars) AppendUtf8(again, ch);
    EXPECT_EQ(again, c.bytes) << c.name;
  }
  EXPECT_EQ(Utf8SequenceLength(0xC3), 2u);
  EXPECT_EQ(Utf8SequenceLength(0xF0), 4u);
  EXPECT_EQ(Utf8SequenceLength(0xA4), 1u);
}

}  // namespace trawlix
