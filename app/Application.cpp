#include "app/Application.h"

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/DateText.h"
#include "app/UserInteraction.h"
#include "engine/ContentSearch.h"

namespace trawlix {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The name only: a display name would be appended to every window
  // caption by the X11 platform.
  setApplicationName(QStringLiteral("Trawlix"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    if (errorDisplay_) {
      ShowCurrentException(*errorDisplay_);
    } else {
      TDialogInteraction box;
      ShowCurrentException(box);
    }
    return true;
  }
}

bool InstallGermanQtTranslation(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  const QStringList folders = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QStringLiteral("/usr/share/qt6/translations")};
  for (const QString& folder : folders) {
    if (translator->load(QStringLiteral("qtbase_de"), folder)) {
      QCoreApplication::installTranslator(translator);
      return true;
    }
  }
  delete translator;
  return false;
}

void StartModules() {
  InitContentTables();
  (void)UserDateTextFormat();
}

}  // namespace trawlix
