#include "app/VD_Options.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <new>

#include "app/UserInteraction.h"

namespace trawlix {

namespace {

const char* const kOrganisation = "Vendrel";
const char* const kApplication = "VD_Trawlix";

// A stored value that is missing or has the wrong type.
struct BadValue {};

int32_t ReadInteger(const QSettings& s, const char* name) {
  const QVariant v = s.value(name);
  if (!v.isValid()) throw BadValue{};
  if (v.typeId() != QMetaType::QString && v.typeId() != QMetaType::Int &&
      v.typeId() != QMetaType::LongLong)
    throw BadValue{};
  bool ok = false;
  const qlonglong n = v.toString().trimmed().toLongLong(&ok);
  if (!ok || n < INT32_MIN || n > INT32_MAX) throw BadValue{};
  return static_cast<int32_t>(n);
}

}  // namespace

TVDOptions::TVDOptions(TUserInteraction& ui) : ui_(ui) {
  try {
    settings_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            kOrganisation, kApplication);
    settings_->setFallbacksEnabled(false);  // this user's store only
    LoadSettings();
  } catch (...) {
    ui_.ShowMessage(TMsgKind::Error, QStringLiteral("FEHLER:  Optionen nicht lesbar."));
  }
}

TVDOptions::~TVDOptions() = default;

void TVDOptions::LoadSettings() {
  WinMainTop = 0;
  WinMainLeft = 0;
  WinMainHeight = 600;
  WinMainWidth = 600;
  if (!settings_) return;

  // No store yet (the first start) or one that cannot be opened: the
  // defaults, silently.
  const QFileInfo file(settings_->fileName());
  if (!file.exists() || !file.isReadable() || file.isDir()) return;

  try {
    settings_->sync();
    if (settings_->status() == QSettings::FormatError) throw BadValue{};
    WinMainTop = ReadInteger(*settings_, "WinMainTop");
    WinMainLeft = ReadInteger(*settings_, "WinMainLeft");
    WinMainHeight = ReadInteger(*settings_, "WinMainHeight");
    WinMainWidth = ReadInteger(*settings_, "WinMainWidth");
    const QVariant dir = settings_->value("LastDir");
    if (!dir.isValid()) {
      LastDir.clear();
    } else if (dir.typeId() == QMetaType::QString) {
      LastDir = QFile::encodeName(dir.toString()).toStdString();
    } else {
      throw BadValue{};
    }
  } catch (...) {
    ui_.ShowMessage(TMsgKind::Error,
                    QStringLiteral("FEHLER:  Die Einstellungen können nicht gelesen werden."));
  }
}

void TVDOptions::SaveSettings() {
  if (!settings_) return;
  try {
    settings_->setValue("WinMainTop", WinMainTop);
    settings_->setValue("WinMainLeft", WinMainLeft);
    settings_->setValue("WinMainHeight", WinMainHeight);
    settings_->setValue("WinMainWidth", WinMainWidth);
    settings_->setValue("LastDir", QFile::decodeName(QByteArray::fromStdString(LastDir)));
    settings_->sync();
    if (settings_->status() != QSettings::NoError) throw BadValue{};
  } catch (...) {
    ui_.ShowMessage(TMsgKind::Error,
                    QStringLiteral("FEHLER:  Die Einstellungen können nicht gespeichert werden."));
  }
}

}  // namespace trawlix
