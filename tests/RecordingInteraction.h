// A TUserInteraction for tests: records every message instead of showing
// it, and can run a hook when a message arrives.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "app/UserInteraction.h"

namespace trawlix::test {

class RecordingInteraction : public TUserInteraction {
 public:
  struct Message {
    bool errorBox;   // the general error display
    TMsgKind kind;   // for ShowMessage
    QString text;
  };
  std::vector<Message> messages;

  void ShowMessage(TMsgKind kind, const QString& text) override {
    messages.push_back({false, kind, text});
  }
  void ShowErrorBox(const QString& text) override { messages.push_back({true, TMsgKind::Error, text}); }
};

}  // namespace trawlix::test
