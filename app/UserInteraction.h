// The one seam through which the window talks to the user modally: message
// boxes now, and later the save dialog and the opener of files. The window
// holds a TUserInteraction it does not own; the program passes the dialog
// implementation, tests pass one that records what the user would have seen
// and answers without blocking.
//
// All calls come from the user-interface thread.
#pragma once

#include <QString>
#include <exception>

class QWidget;

namespace trawlix {

enum class TMsgKind { Error, Warning, Information };

// The window title of a message of this kind: "Fehler", "Warnung",
// "Informationen".
QString MessageTitle(TMsgKind kind);

class TUserInteraction {
 public:
  virtual ~TUserInteraction() = default;

  // A modal message box with one OK button, titled by its kind.
  virtual void ShowMessage(TMsgKind kind, const QString& text) = 0;

  // The general error display: title "Trawlix", an error icon, one OK
  // button. The text already carries its closing full stop.
  virtual void ShowErrorBox(const QString& text) = 0;
};

// The real thing: QMessageBox, parented to the given window.
class TDialogInteraction : public TUserInteraction {
 public:
  explicit TDialogInteraction(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(TMsgKind kind, const QString& text) override;
  void ShowErrorBox(const QString& text) override;

 private:
  QWidget* parent_;
};

// The text the general error display shows for an exception: its message
// (a lack of memory in German) with the full-stop rule applied.
QString ExceptionDisplayText(const std::exception& e);

// Shows the exception currently being handled through the general error
// display. Call only inside a catch block.
void ShowCurrentException(TUserInteraction& ui);

// Runs fn; any exception that escapes it is shown by the general error
// display and ends only this command. Every handler of the window runs
// through here, so no exception crosses Qt's event dispatch.
template <class Fn>
void RunGuarded(TUserInteraction& ui, Fn&& fn) {
  try {
    fn();
  } catch (...) {
    ShowCurrentException(ui);
  }
}

}  // namespace trawlix
