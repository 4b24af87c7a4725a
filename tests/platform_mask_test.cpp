#include <gtest/gtest.h>

#include "platform/CaseFold.h"
#include "platform/Mask.h"

namespace trawlix {

TEST(NameMask, Rules) {
  const struct {
    const char* mask;
    const char* name;
    bool expected;
  } cases[] = {
      {"*.*", "readme", true},
      {"*.*", "a.b.c", true},
      {"*.*", ".hidden", true},
      {"*", "anything.at.all", true},
      {"*.txt", "Brief.TXT", true},
      {"*.txt", "brief.txt.bak", false},
      {"*.txt", "txt", false},
      {"*.", "Makefile", true},
      {"*.", "main.c", false},
      {"a*.", "abc", true},
      {"a*.", "a.b", false},
      {"data.*", "data", true},
      {"data.*", "data.csv", true},
      {"data.*", "database", false},
      {"?.c", "a.c", true},
      {"?.c", "ab.c", false},
      {"?.c", ".c", false},
      {"?.c", "ä.c", true},  // one character, two bytes
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"*ab", "aab", true},
      {"Übersicht.doc", "übersicht.DOC", true},
      {"ΑΒΓ*", "αβγδ", true},
      {"*.ПДФ", "отчёт.пдф", true},
      {"-rf", "-RF", true},
      {"a b", "A B", true},
      {"*x", "\xff\xfe" "x", true},  // bytes that are not UTF-8
      {"?x", "\xff" "x", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TNameMask(c.mask).Matches(c.name), c.expected) << c.mask << " vs " << c.name;
}

TEST(NameMask, StarBacktracksWithoutBlowingUp) {
  const std::string name(2000, 'a');
  EXPECT_FALSE(TNameMask("*a*a*a*a*a*a*a*b").Matches(name));
  EXPECT_TRUE(TNameMask("*a*a*a*a*a*a*a*").Matches(name));
}

TEST(NameMask, LiteralSelectsExactlyItsBytes) {
  const struct {
    const char* literal;
    const char* name;
    bool expected;
  } cases[] = {
      {"Bericht*", "Bericht*", true},   {"Bericht*", "Bericht1", false}, {"a?c", "abc", false},
      {"a;b.txt", "a;b.txt", true},     {" x ", "x", false},             {"Brief.txt", "brief.txt", false},
      {"caf\xe9", "caf\xe9", true},    {"caf\xe9", "caf\xc3\xa9", false}, {"*.*", "a.b", false},
      {"*.", "*.", true},
  };
  for (const auto& c : cases) {
    const TNameMask m = TNameMask::Literal(c.literal);
    EXPECT_TRUE(m.IsLiteral());
    EXPECT_FALSE(m.MatchesEverything());
    EXPECT_EQ(m.Matches(c.name), c.expected) << c.literal << " vs " << c.name;
  }
}

TEST(CaseFold, FoldsBeyondAsciiAndKeepsInvalidBytes) {
  EXPECT_EQ(FoldUtf8("ÄÖÜ ÉÇ"), "äöü éç");
  EXPECT_EQ(FoldUtf8("ΣΊΣΥΦΟΣ"), "σίσυφοσ");
  EXPECT_EQ(FoldUtf8("ПРИВЕТ Ёж"), "привет ёж");
  EXPECT_EQ(FoldUtf8("ß"), "ß");
  EXPECT_EQ(FoldUtf8("A\xff" "B\xc3"), "a\xff" "b\xc3");
  const std::string s = "a\xe2\x82";  // truncated sequence
  EXPECT_EQ(FoldUtf8(s), s);
}

}  // namespace trawlix
