// Test entry point for the tests that need no window.
#include <gtest/gtest.h>

#include "TestLocale.h"

int main(int argc, char** argv) {
  trawlix::test::UseTestLocale();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
