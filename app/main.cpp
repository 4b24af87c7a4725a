// Trawlix: finds files and duplicate files.
#include <QIcon>
#include <clocale>

#include "app/Application.h"
#include "app/Tx_main.h"
#include "app/UserInteraction.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  trawlix::StartModules();
  trawlix::TApplication app(argc, argv);
  trawlix::InstallGermanQtTranslation(app);
  app.setWindowIcon(QIcon(QStringLiteral(":/trawlix.svg")));

  trawlix::TDialogInteraction dialogs;
  trawlix::TfrmTrawlix frmTrawlix(dialogs);
  dialogs.SetParent(&frmTrawlix);
  app.SetErrorDisplay(&dialogs);
  frmTrawlix.show();
  const int rc = app.exec();
  app.SetErrorDisplay(nullptr);
  return rc;
}
