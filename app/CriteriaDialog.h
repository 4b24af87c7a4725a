// TCriteriaDialog: the dialog "Weitere Suchkriterien", where the user sets
// the criteria of TCriteriaFields (a phrase, sizes, dates, exclusions,
// hidden entries). Opened by the main window's button "&Kriterien…" (Alt+K).
//
// The field "Enthält Text" has the focus when it opens; Return is OK and
// Escape cancels. OK with fields CriteriaError finds fault with keeps the
// dialog open and says what is wrong on a line of its own; the fields the
// window searches with change only when the dialog closes with OK.
//
// User-interface thread only.
#pragma once

#include <QDialog>

#include "app/CriteriaFields.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace trawlix {

class TCriteriaDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TCriteriaDialog(const TCriteriaFields& fields, QWidget* parent = nullptr);

  // The fields as the controls show them now.
  TCriteriaFields Fields() const;
  void SetFields(const TCriteriaFields& f);

  // OK: closes only when the fields are valid.
  void accept() override;

  // Controls, named as their object names.
  QLineEdit* edtPhrase = nullptr;
  QCheckBox* chkCaseSensitive = nullptr;
  QCheckBox* chkWholeWord = nullptr;
  QLineEdit* edtSizeMin = nullptr;
  QComboBox* cmbSizeMinUnit = nullptr;
  QLineEdit* edtSizeMax = nullptr;
  QComboBox* cmbSizeMaxUnit = nullptr;
  QCheckBox* chkAfter = nullptr;
  QDateEdit* dtpAfter = nullptr;
  QCheckBox* chkBefore = nullptr;
  QDateEdit* dtpBefore = nullptr;
  QComboBox* cmbDateKind = nullptr;
  QLineEdit* edtExcludedFolders = nullptr;
  QLineEdit* edtExcludedFiles = nullptr;
  QRadioButton* rbWithHidden = nullptr;
  QRadioButton* rbWithoutHidden = nullptr;
  QLabel* lblError = nullptr;
  QDialogButtonBox* buttons = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace trawlix
