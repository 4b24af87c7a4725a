// The interaction the benchmark drivers give the window: messages are
// counted (and printed to standard error when asked), nothing is saved or
// opened.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "app/UserInteraction.h"

namespace trawlix::bench {

class TBenchInteraction : public TUserInteraction {
 public:
  explicit TBenchInteraction(bool print = false) : print_(print) {}
  int messages = 0;
  QString last;
  void ShowMessage(TMsgKind, const QString& text) override { Note("message", text); }
  void ShowErrorBox(const QString& text) override { Note("error", text); }
  std::optional<std::string> SaveDialog1(const TSaveDialogRequest&) override { return std::nullopt; }
  int OpenFile(const std::string&) override { return 31; }

 private:
  void Note(const char* kind, const QString& text) {
    ++messages;
    last = text;
    if (print_) std::fprintf(stderr, "%s: %s\n", kind, qPrintable(text));
  }
  bool print_;
};

}  // namespace trawlix::bench
