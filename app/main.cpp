// Trawlix: finds files and duplicate files.
#include <QIcon>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Tx_main.h"
#include "app/UserInteraction.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // The command line is read before Qt starts, so --help and --version work
  // without a display.
  const trawlix::TCommandLine command = trawlix::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (command.Action) {
    case trawlix::TCommandLine::ShowHelp:
      std::fputs(trawlix::UsageText().c_str(), stdout);
      return 0;
    case trawlix::TCommandLine::ShowVersion:
      std::printf("Trawlix %s\n", trawlix::ProgramVersion());
      return 0;
    case trawlix::TCommandLine::UsageError:
      std::fprintf(stderr, "trawlix: %s\n", command.Error.c_str());
      std::fputs(trawlix::UsageText().c_str(), stderr);
      return 2;
    case trawlix::TCommandLine::Run:
      break;
  }
  // A path that names no folder is told and left out: the window starts as
  // without it.
  std::string startFolder;
  if (command.Folder) {
    const std::string error = trawlix::StartFolderError(*command.Folder);
    if (error.empty())
      startFolder = *command.Folder;
    else
      std::fputs(error.c_str(), stderr);
  }

  trawlix::StartModules();
  // Qt sees the program's name alone: every argument has been read above,
  // and a folder named like one of Qt's own options stays a folder.
  int qtArgc = 1;
  trawlix::TApplication app(qtArgc, argv);
  trawlix::InstallGermanQtTranslation(app);
  app.setWindowIcon(QIcon(QStringLiteral(":/trawlix.svg")));

  trawlix::TDialogInteraction dialogs;
  trawlix::TfrmTrawlix frmTrawlix(dialogs, nullptr, startFolder);
  if (!startFolder.empty() && !frmTrawlix.StartedInFolder())
    std::fputs(trawlix::StartFolderNotShownError(startFolder).c_str(), stderr);
  dialogs.SetParent(&frmTrawlix);
  app.SetErrorDisplay(&dialogs);
  frmTrawlix.show();
  const int rc = app.exec();
  app.SetErrorDisplay(nullptr);
  return rc;
}
