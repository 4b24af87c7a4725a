// The one seam through which the window talks to the user modally: message
// boxes, the save dialog and the opener of files. The window
// holds a TUserInteraction it does not own; the program passes the dialog
// implementation, tests pass one that records what the user would have seen
// and answers without blocking.
//
// All calls come from the user-interface thread.
#pragma once

#include <QString>
#include <exception>
#include <optional>
#include <string>

class QWidget;

namespace trawlix {

enum class TMsgKind { Error, Warning, Information };

// How the save dialog is set up before it shows.
struct TSaveDialogRequest {
  std::string initialFolder;  // bytes, as the file list holds them
  QString filter;             // one entry: a description with its pattern in parentheses
  QString fileName;           // the proposed name
};

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

  // A question with two buttons, titled "Bestätigung": accept (for
  // example "&Verschieben") and cancel ("Abbrechen"). Cancel is the default
  // button and Escape cancels. True when the user accepts.
  virtual bool Question(const QString& text, const QString& accept, const QString& cancel) = 0;

  // The save dialog: no question before an existing file is replaced, no
  // extension added to a name typed without one. The full path chosen, as
  // bytes, or nothing when the user cancels.
  virtual std::optional<std::string> SaveDialog1(const TSaveDialogRequest& request) = 0;

  // Opens the file at path (bytes) with the application of its type.
  // Returns the code of results/OpenFile.h: above 32 handed over, 0 to 32 a
  // failure. Returns without waiting for the application.
  virtual int OpenFile(const std::string& path) = 0;
};

// The real thing: QMessageBox, Qt's own QFileDialog (the same on every
// desktop), and xdg-open; parented to the given window.
class TDialogInteraction : public TUserInteraction {
 public:
  explicit TDialogInteraction(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(TMsgKind kind, const QString& text) override;
  void ShowErrorBox(const QString& text) override;
  bool Question(const QString& text, const QString& accept, const QString& cancel) override;
  std::optional<std::string> SaveDialog1(const TSaveDialogRequest& request) override;
  int OpenFile(const std::string& path) override;

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
