// Switches LC_ALL for one test and refills the engine's shared byte tables;
// restores both when it goes.
#pragma once

#include <clocale>
#include <string>

#include "engine/ContentSearch.h"

namespace trawlix::test {

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    old_ = old ? old : "C";
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
    ReloadContentTables();
  }
  ~ScopedLocale() {
    std::setlocale(LC_ALL, old_.c_str());
    ReloadContentTables();
  }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_ = false;
};

}  // namespace trawlix::test
