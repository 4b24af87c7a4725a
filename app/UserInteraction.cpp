#include "app/UserInteraction.h"

#include <QMessageBox>
#include <new>

#include "app/Formatting.h"

namespace trawlix {

QString MessageTitle(TMsgKind kind) {
  switch (kind) {
    case TMsgKind::Error: return QStringLiteral("Fehler");
    case TMsgKind::Warning: return QStringLiteral("Warnung");
    case TMsgKind::Information: break;
  }
  return QStringLiteral("Informationen");
}

void TDialogInteraction::ShowMessage(TMsgKind kind, const QString& text) {
  QMessageBox::Icon icon = QMessageBox::Information;
  if (kind == TMsgKind::Error) icon = QMessageBox::Critical;
  if (kind == TMsgKind::Warning) icon = QMessageBox::Warning;
  QMessageBox box(icon, MessageTitle(kind), text, QMessageBox::Ok, parent_);
  box.exec();
}

void TDialogInteraction::ShowErrorBox(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Trawlix"), text, QMessageBox::Ok, parent_);
  box.exec();
}

QString ExceptionDisplayText(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e))
    return QString::fromStdString(GeneralErrorText("Zu wenig Arbeitsspeicher"));
  return QString::fromStdString(GeneralErrorText(e.what()));
}

void ShowCurrentException(TUserInteraction& ui) {
  QString text;
  try {
    throw;
  } catch (const std::exception& e) {
    text = ExceptionDisplayText(e);
  } catch (...) {
    text = QString::fromStdString(GeneralErrorText("Unbekannter Fehler"));
  }
  try {
    ui.ShowErrorBox(text);
  } catch (...) {
    // Showing the error failed as well; there is nothing left to tell.
  }
}

}  // namespace trawlix
