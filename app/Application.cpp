#include "app/Application.h"

#include <csignal>

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <atomic>
#include <mutex>
#include <string>

#include "app/DateText.h"
#include "app/Formatting.h"
#include "app/UserInteraction.h"
#include "engine/ContentSearch.h"
#include "engine/FindFile.h"
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

}  // namespace trawlix
