// The interaction the benchmark drivers give the window: messages are
// counted (and printed to standard error when asked), nothing is saved or
// opened. Also the peak-memory reading the drivers print.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
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
  // Questions are accepted: the drivers time the command, not the user.
  bool Question(const QString&, const QString&, const QString&) override { return true; }
  std::optional<std::string> SaveDialog1(const TSaveDialogRequest&) override {
    return std::nullopt;
  }
  int OpenFile(const std::string&) override { return 31; }

 private:
  void Note(const char* kind, const QString& text) {
    ++messages;
    last = text;
    if (print_) std::fprintf(stderr, "%s: %s\n", kind, qPrintable(text));
  }
  bool print_;
};

// The process's peak resident memory so far (VmHWM), in KB.
inline long HighWaterKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

}  // namespace trawlix::bench
