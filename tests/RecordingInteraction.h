// A TUserInteraction for tests: records every message instead of showing
// it, with whether the wait cursor showed at that moment.
#pragma once

#include <QApplication>
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
    bool waitCursor;  // the wait cursor showed while the message was up
  };
  std::vector<Message> messages;

  void ShowMessage(TMsgKind kind, const QString& text) override {
    messages.push_back({false, kind, text, QApplication::overrideCursor() != nullptr});
  }
  void ShowErrorBox(const QString& text) override {
    messages.push_back({true, TMsgKind::Error, text, QApplication::overrideCursor() != nullptr});
  }
};

}  // namespace trawlix::test
