// A TUserInteraction for tests: records every message instead of showing
// it, with whether the wait cursor showed at that moment; answers questions
// with questionAnswer and the save
// dialog with saveAnswer and records the path of every file it is asked to
// open instead of starting anything.
#pragma once

#include <QApplication>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/UserInteraction.h"
#include "results/OpenFile.h"

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

  // Questions: every one asked (text and buttons), answered with
  // questionAnswer after onQuestion ran.
  struct Asked {
    QString text, accept, cancel;
  };
  std::vector<Asked> questions;
  bool questionAnswer = false;
  std::function<void()> onQuestion;
  bool Question(const QString& text, const QString& accept, const QString& cancel) override {
    questions.push_back({text, accept, cancel});
    if (onQuestion) onQuestion();
    return questionAnswer;
  }

  // The save dialog: every request, and the answer given (nothing: cancel).
  std::vector<TSaveDialogRequest> saveRequests;
  std::optional<std::string> saveAnswer;
  std::optional<std::string> SaveDialog1(const TSaveDialogRequest& request) override {
    saveRequests.push_back(request);
    return saveAnswer;
  }

  // The opener: every path, whether the wait cursor showed, and the code
  // returned.
  struct Opened {
    std::string path;
    bool waitCursor;
  };
  std::vector<Opened> opened;
  int openResult = kOpenSucceeded;
  int OpenFile(const std::string& path) override {
    opened.push_back({path, QApplication::overrideCursor() != nullptr});
    return openResult;
  }
};

}  // namespace trawlix::test
