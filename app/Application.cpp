#include "app/Application.h"

#include <csignal>

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>

#include "app/DateText.h"
#include "app/Formatting.h"
#include "app/UserInteraction.h"
#include "engine/ContentSearch.h"
#include "engine/FindFile.h"
#include "platform/Errors.h"
#include "platform/MessageQueue.h"

namespace trawlix {

namespace {

const QEvent::Type kWakeUpEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kWorkerErrorEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TWorkerErrorEvent : public QEvent {
 public:
  explicit TWorkerErrorEvent(std::string message)
      : QEvent(kWorkerErrorEvent), Message(std::move(message)) {}
  const std::string Message;
};

// Hands fn the given error display, or a message box of its own when there
// is none.
template <class Fn>
void WithErrorDisplay(TUserInteraction* ui, Fn&& fn) {
  if (ui) {
    fn(*ui);
  } else {
    TDialogInteraction box;
    fn(box);
  }
}

}  // namespace

// What the hooks, called in other threads, share with the bridge: they post
// to it only while it lives.
struct TMessageBridge::TShared {
  std::mutex mutex;
  TMessageBridge* bridge = nullptr;  // null once the bridge is going
  std::atomic<bool> wakeUpPending{false};

  void Post(QEvent* event) {
    std::lock_guard lock(mutex);
    if (bridge)
      QCoreApplication::postEvent(bridge, event);
    else
      delete event;
  }
};

TMessageBridge::TMessageBridge(QObject* parent)
    : QObject(parent), shared_(std::make_shared<TShared>()) {
  shared_->bridge = this;
  std::weak_ptr<TShared> weak = shared_;
  // One wake-up event at a time: it dispatches everything queued by then.
  auto wakeUp = [weak] {
    if (auto shared = weak.lock())
      if (!shared->wakeUpPending.exchange(true)) shared->Post(new QEvent(kWakeUpEvent));
  };
  platform::SetWakeUpHook(wakeUp);
  platform::SetIdlePump([] {
    QCoreApplication::processEvents();
    return true;
  });
  SetWorkerErrorDisplay([weak](const std::string& message) {
    if (auto shared = weak.lock()) shared->Post(new TWorkerErrorEvent(message));
  });
  if (platform::PendingMessages() > 0) wakeUp();
}

TMessageBridge::~TMessageBridge() {
  SetWorkerErrorDisplay({});
  platform::SetIdlePump({});
  platform::SetWakeUpHook({});
  std::lock_guard lock(shared_->mutex);
  shared_->bridge = nullptr;
}

void TMessageBridge::customEvent(QEvent* event) {
  if (event->type() == kWakeUpEvent) {
    shared_->wakeUpPending = false;
    // A handler's error (OnSearchFinish, say) ends that handler only.
    try {
      platform::ProcessMessages();
    } catch (...) {
      WithErrorDisplay(errorDisplay_, [](TUserInteraction& ui) { ShowCurrentException(ui); });
    }
  } else if (event->type() == kWorkerErrorEvent) {
    const QString text = QString::fromStdString(
        GeneralErrorText(static_cast<TWorkerErrorEvent*>(event)->Message));
    WithErrorDisplay(errorDisplay_, [&](TUserInteraction& ui) { ui.ShowErrorBox(text); });
  }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The name only: a display name would be appended to every window
  // caption by the X11 platform.
  setApplicationName(QStringLiteral("Trawlix"));
  // The desktop entry's name, so the desktop ties the window to its entry
  // and icon.
  setDesktopFileName(QStringLiteral("org.example.trawlix"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    WithErrorDisplay(errorDisplay_, [](TUserInteraction& ui) { ShowCurrentException(ui); });
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
  // A save into a pipe whose reader left must fail like any write, not end
  // the program with the results unsaved; the opener gives its children the
  // default back.
  std::signal(SIGPIPE, SIG_IGN);
  InitContentTables();
  (void)UserDateTextFormat();
}

const char* ProgramVersion() { return TRAWLIX_VERSION; }

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine result;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (arg == "-h" || arg == "--help") {
        result.Action = TCommandLine::ShowHelp;
        return result;
      }
      if (arg == "--version") {
        result.Action = TCommandLine::ShowVersion;
        return result;
      }
      result.Action = TCommandLine::UsageError;
      result.Error = "unbekannte Option \u201E" + arg + "\u201C";
      return result;
    } else if (result.Folder) {
      result.Action = TCommandLine::UsageError;
      result.Error = "nur ein Verzeichnis kann angegeben werden";
      return result;
    } else {
      result.Folder = arg;
    }
  }
  return result;
}

std::string UsageText() {
  return "Aufruf: trawlix [OPTION] [VERZEICHNIS]\n"
         "Sucht Dateien in einem Verzeichnis und allen Unterverzeichnissen und findet\n"
         "doppelte Dateien.\n"
         "\n"
         "Mit VERZEICHNIS beginnt Trawlix dort statt im zuletzt gewählten Verzeichnis.\n"
         "\n"
         "  -h, --help     diese Hilfe anzeigen und beenden\n"
         "      --version  die Versionsnummer anzeigen und beenden\n"
         "\n"
         "Rückgabewert: 0 nach dem Beenden, 2 bei einem falschen Aufruf.\n"
         "Mehr dazu: man trawlix\n";
}

std::string StartFolderError(const std::string& folder) {
  struct stat st {};
  const std::string quoted = "trawlix: \u201E" + folder + "\u201C";
  if (::stat(folder.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) return quoted + " gibt es nicht.\n";
    return quoted + ": " + ErrnoText(err) + "\n";
  }
  if (!S_ISDIR(st.st_mode)) return quoted + " ist kein Verzeichnis.\n";
  return {};
}

std::string StartFolderNotShownError(const std::string& folder) {
  return "trawlix: \u201E" + folder + "\u201C kann nicht ge\u00F6ffnet werden.\n";
}

}  // namespace trawlix
