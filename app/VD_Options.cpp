#include "app/VD_Options.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <new>

#include "app/CriteriaFields.h"
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

std::unique_ptr<QSettings> OpenStore() {
  auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                                       kApplication);
  s->setFallbacksEnabled(false);  // this user's store only
  return s;
}

// The folder as the store keeps it: text when the bytes decode as file-name
// text and back unchanged, else the bytes themselves, so a folder name that
// is not valid text survives the round trip exactly.
QVariant FolderValue(const std::string& folder) {
  const QByteArray bytes = QByteArray::fromStdString(folder);
  const QString text = QFile::decodeName(bytes);
  if (QFile::encodeName(text) == bytes) return text;
  return bytes;
}

}  // namespace

TVDOptions::TVDOptions(TUserInteraction& ui) : ui_(ui) {
  try {
    settings_ = OpenStore();
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
  unparsable_ = false;
  sizeStored_ = false;
  if (!settings_) return;

  // No store yet (the first start) or one that cannot be opened: the
  // defaults, silently.
  const QFileInfo file(settings_->fileName());
  if (!file.exists() || !file.isReadable() || file.isDir()) return;

  bool unreadable = false;
  try {
    WinMainTop = ReadInteger(*settings_, "WinMainTop");
    WinMainLeft = ReadInteger(*settings_, "WinMainLeft");
    WinMainHeight = ReadInteger(*settings_, "WinMainHeight");
    WinMainWidth = ReadInteger(*settings_, "WinMainWidth");
    sizeStored_ = true;
    const QVariant dir = settings_->value("LastDir");
    if (!dir.isValid()) {
      LastDir.clear();
    } else if (dir.typeId() == QMetaType::QString) {
      LastDir = QFile::encodeName(dir.toString()).toStdString();
    } else if (dir.typeId() == QMetaType::QByteArray) {
      LastDir = dir.toByteArray().toStdString();
    } else {
      throw BadValue{};
    }
  } catch (...) {
    unreadable = true;
  }
  // The criteria have keys of their own: a bad one costs only itself.
  if (!ReadCriteriaSettings(*settings_, Criteria)) unreadable = true;
  if (unreadable)
    ui_.ShowMessage(TMsgKind::Error,
                    QStringLiteral("FEHLER:  Die Einstellungen können nicht gelesen werden."));
  // QSettings parses the file a section at a time, when a value of it is
  // first asked for; parse them all now to learn whether the file is sound.
  (void)settings_->allKeys();
  unparsable_ = settings_->status() == QSettings::FormatError;
}

void TVDOptions::SaveSettings() {
  if (!settings_) return;
  try {
    if (unparsable_) {
      // QSettings keeps the first error it meets: the format error of the
      // old file would hide the outcome of this write (and is reported
      // again after a good one). The file is rewritten whole anyway, so
      // start over from an empty store, whose status tells of this write.
      const QString path = settings_->fileName();
      settings_.reset();
      QFile::remove(path);
      settings_ = OpenStore();
      unparsable_ = false;
    }
    settings_->setValue("WinMainTop", WinMainTop);
    settings_->setValue("WinMainLeft", WinMainLeft);
    settings_->setValue("WinMainHeight", WinMainHeight);
    settings_->setValue("WinMainWidth", WinMainWidth);
    settings_->setValue("LastDir", FolderValue(LastDir));
    WriteCriteriaSettings(*settings_, Criteria);
    // A store that cannot be written, also one whose folder cannot be made,
    // is told: silently losing the settings would look like success.
    settings_->sync();
    if (settings_->status() != QSettings::NoError) throw BadValue{};
  } catch (...) {
    ui_.ShowMessage(TMsgKind::Error,
                    QStringLiteral("FEHLER:  Die Einstellungen können nicht gespeichert werden."));
  }
}

}  // namespace trawlix
