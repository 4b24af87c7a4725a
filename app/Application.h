// The program's QApplication: title "Trawlix", German texts for Qt's own
// dialogs, the bridge of its thread's message queue to its event loop, and
// a last line of defence that shows an exception escaping any
// event handler through the general error display instead of ending the
// program.
#pragma once

#include <QApplication>
#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trawlix {

class TUserInteraction;

// Joins the message queue of the thread that creates it (the user-interface
// thread) to Qt's event loop there: a message posted to that queue from any
// thread (a finder's worker posts message 1025 at its end) wakes the loop,
// which then dispatches the queue, so a threaded search ends there like any
// event. It also sets the idle pump, so a waiting Abort keeps Qt's events
// flowing, and shows an error raised inside a worker through the general
// error display (in this thread, after the worker has gone on).
//
// Create and destroy it in the same thread; while it lives it owns that
// thread's wake-up hook and idle pump and the workers' error display.
class TMessageBridge : public QObject {
 public:
  explicit TMessageBridge(QObject* parent = nullptr);
  ~TMessageBridge() override;

  // Where worker errors (and errors of the handlers the queue dispatches)
  // are shown; without one a message box of its own shows them.
  void SetErrorDisplay(TUserInteraction* ui) { errorDisplay_ = ui; }

 protected:
  void customEvent(QEvent* event) override;

 private:
  struct TShared;

  std::shared_ptr<TShared> shared_;
  TUserInteraction* errorDisplay_ = nullptr;
};

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  // Where exceptions that reach the event dispatch, and errors of worker
  // threads, are shown; the program sets the main window's interaction.
  void SetErrorDisplay(TUserInteraction* ui) {
    errorDisplay_ = ui;
    bridge_.SetErrorDisplay(ui);
  }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  TUserInteraction* errorDisplay_ = nullptr;
  TMessageBridge bridge_;  // installed at start-up, for the whole run
};

// Loads Qt's German translation of its own dialogs into the application.
// Returns false when the translation is not installed.
bool InstallGermanQtTranslation(QCoreApplication& app);

// The start-up of the modules: the finder's tables and the user's date and
// time settings, each read once; SIGPIPE ignored for the whole program.
void StartModules();

// The program's version, the project version of the build ("0.1").
const char* ProgramVersion();

// What the command line `trawlix [OPTION] [VERZEICHNIS]` asks for. Options
// come before or after the folder; "--" ends them, so a folder whose name
// begins with "-" can be given after it. The first of --help and --version
// decides; an unknown option or a second folder is a usage error.
struct TCommandLine {
  enum TAction { Run, ShowHelp, ShowVersion, UsageError };
  TAction Action = Run;
  std::optional<std::string> Folder;  // the folder argument's bytes as given
  std::string Error;   // for UsageError: what was wrong, one German line
};

// args: the arguments after the program's name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The German usage text that --help prints (and a usage error, on standard
// error), ending in a newline.
std::string UsageText();

// Empty when folder names a folder (a symbolic link to one counts);
// otherwise the German line, ending in a newline, that tells why the
// program starts without it.
std::string StartFolderError(const std::string& folder);

// The German line for a folder that exists but that the window could not
// move to (the file list cannot open it; its error box has said why).
std::string StartFolderNotShownError(const std::string& folder);

}  // namespace trawlix
