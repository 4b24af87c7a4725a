// The locale every test starts in, whatever the caller's environment says:
// C.UTF-8, the neutral locale with the UTF-8 character set (it counts as
// German for dates and collation). Names in the tests are UTF-8, so a
// single-byte locale of the caller would change what masks and exports do.
// A test that needs another locale switches with ScopedLocale and says so.
#pragma once

#include <clocale>
#include <cstdlib>
#include <stdexcept>

namespace trawlix::test {

inline void UseTestLocale() {
  // Qt and the program read the environment as well as the C library.
  for (const char* v : {"LC_CTYPE", "LC_COLLATE", "LC_TIME", "LC_NUMERIC", "LC_MESSAGES", "LANGUAGE"})
    unsetenv(v);
  setenv("LC_ALL", "C.UTF-8", 1);
  setenv("LANG", "C.UTF-8", 1);
  if (!std::setlocale(LC_ALL, "C.UTF-8")) throw std::runtime_error("the locale C.UTF-8 is missing");
}

}  // namespace trawlix::test
