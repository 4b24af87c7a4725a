#include "app/UserInteraction.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <new>

#include "app/Formatting.h"
#include "results/OpenFile.h"

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

bool TDialogInteraction::Question(const QString& text, const QString& accept, const QString& cancel) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), text, QMessageBox::NoButton, parent_);
  QPushButton* yes = box.addButton(accept, QMessageBox::AcceptRole);
  QPushButton* no = box.addButton(cancel, QMessageBox::RejectRole);
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

std::optional<std::string> TDialogInteraction::SaveDialog1(const TSaveDialogRequest& request) {
  QFileDialog dialog(parent_);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QString());
  dialog.setNameFilter(request.filter);
  dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(request.initialFolder)));
  dialog.selectFile(request.fileName);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
  return QFile::encodeName(files.first()).toStdString();
}

int TDialogInteraction::OpenFile(const std::string& path) { return OpenWithDefaultApplication(path); }

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
