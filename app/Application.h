// The program's QApplication: title "Trawlix", German texts for Qt's own
// dialogs, and a last line of defence that shows an exception escaping any
// event handler through the general error display instead of ending the
// program.
#pragma once

#include <QApplication>

namespace trawlix {

class TUserInteraction;

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  // Where exceptions that reach the event dispatch are shown; the program
  // sets the main window's interaction.
  void SetErrorDisplay(TUserInteraction* ui) { errorDisplay_ = ui; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  TUserInteraction* errorDisplay_ = nullptr;
};

// Loads Qt's German translation of its own dialogs into the application.
// Returns false when the translation is not installed.
bool InstallGermanQtTranslation(QCoreApplication& app);

// The start-up of the modules: the finder's tables and the user's date and
// time settings, each read once.
void StartModules();

}  // namespace trawlix
