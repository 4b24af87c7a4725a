#include <gtest/gtest.h>

#include "platform/EntryList.h"

namespace trawlix {

using Masks = std::vector<std::string>;

TEST(SplitEntries, TrimsSkipsEmptyAndRepeatedPieces) {
  EXPECT_EQ(SplitEntries("*.txt;;  *.TXT ; *.doc;"), (Masks{"*.txt", "*.doc"}));
  EXPECT_EQ(SplitEntries(" ; ;"), Masks{});
  EXPECT_EQ(SplitEntries(""), Masks{});
  EXPECT_EQ(SplitEntries("\t*.c\n;*.Ä;*.ä"), (Masks{"*.c", "*.Ä"}));
  EXPECT_EQ(SplitEntries("/d/A;/d/a;/d/A", false), (Masks{"/d/A", "/d/a"}));
}

}  // namespace trawlix
