#include "app/CriteriaDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/DateText.h"

namespace trawlix {

namespace {

template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

// A date in the order and with the separators of the user's dates, the
// year with four digits, as the result table writes them.
QString DateEditFormat() {
  const TDateTextSettings& s = UserDateTextFormat().Settings();
  auto literal = [](const std::string& text) {
    if (text.empty()) return QString();
    QString t = QString::fromStdString(text);
    t.replace(u'\'', QStringLiteral("''"));
    return u'\'' + t + u'\'';
  };
  auto field = [](TDateTextSettings::Field f) {
    switch (f) {
      case TDateTextSettings::Day:
        return QStringLiteral("dd");
      case TDateTextSettings::Month:
        return QStringLiteral("MM");
      default:
        return QStringLiteral("yyyy");
    }
  };
  return literal(s.prefix) + field(s.order[0]) + literal(s.sep1) + field(s.order[1]) + literal(s.sep2) +
         field(s.order[2]) + literal(s.suffix);
}

QComboBox* UnitBox(QWidget* parent, const char* name) {
  auto* box = Named(new QComboBox(parent), name);
  box->addItems({QStringLiteral("Bytes"), QStringLiteral("KB"), QStringLiteral("MB"), QStringLiteral("GB")});
  return box;
}

QDateEdit* DateBox(QWidget* parent, const char* name, const QString& format) {
  auto* edit = Named(new QDateEdit(parent), name);
  edit->setCalendarPopup(true);
  edit->setDisplayFormat(format);
  edit->setMinimumDate(QDate(1900, 1, 1));
  edit->setDate(QDate::currentDate());
  edit->setEnabled(false);
  return edit;
}

}  // namespace

TCriteriaDialog::TCriteriaDialog(const TCriteriaFields& fields, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("dlgCriteria"));
  setWindowTitle(QStringLiteral("Weitere Suchkriterien"));
  auto* layout = new QVBoxLayout(this);

  auto* content = new QGroupBox(QStringLiteral("Inhalt"), this);
  auto* contentForm = new QFormLayout(content);
  edtPhrase = Named(new QLineEdit(content), "edtPhrase");
  edtPhrase->setMaxLength(kMaxPhraseLength + 1);  // one more, so an overlong paste is told, not cut
  contentForm->addRow(QStringLiteral("&Enthält Text:"), edtPhrase);
  chkCaseSensitive = Named(new QCheckBox(QStringLiteral("&Groß-/Kleinschreibung beachten"), content), "chkCaseSensitive");
  chkWholeWord = Named(new QCheckBox(QStringLiteral("nur ganze &Wörter"), content), "chkWholeWord");
  auto* options = new QHBoxLayout;
  options->addWidget(chkCaseSensitive);
  options->addWidget(chkWholeWord);
  options->addStretch();
  contentForm->addRow(QString(), options);
  layout->addWidget(content);

  auto* size = new QGroupBox(QStringLiteral("Größe"), this);
  auto* sizeRow = new QHBoxLayout(size);
  edtSizeMin = Named(new QLineEdit(size), "edtSizeMin");
  cmbSizeMinUnit = UnitBox(size, "cmbSizeMinUnit");
  edtSizeMax = Named(new QLineEdit(size), "edtSizeMax");
  cmbSizeMaxUnit = UnitBox(size, "cmbSizeMaxUnit");
  auto* minLabel = new QLabel(QStringLiteral("&mindestens:"), size);
  minLabel->setBuddy(edtSizeMin);
  auto* maxLabel = new QLabel(QStringLiteral("hö&chstens:"), size);
  maxLabel->setBuddy(edtSizeMax);
  for (QWidget* w : {static_cast<QWidget*>(minLabel), static_cast<QWidget*>(edtSizeMin),
                     static_cast<QWidget*>(cmbSizeMinUnit), static_cast<QWidget*>(maxLabel),
                     static_cast<QWidget*>(edtSizeMax), static_cast<QWidget*>(cmbSizeMaxUnit)})
    sizeRow->addWidget(w);
  edtSizeMin->setToolTip(QStringLiteral("leer: keine Grenze; 1 KB = 1024 Bytes"));
  edtSizeMax->setToolTip(edtSizeMin->toolTip());
  layout->addWidget(size);

  auto* dates = new QGroupBox(QStringLiteral("Datum"), this);
  auto* dateGrid = new QHBoxLayout(dates);
  const QString format = DateEditFormat();
  chkAfter = Named(new QCheckBox(QStringLiteral("Geändert &nach"), dates), "chkAfter");
  dtpAfter = DateBox(dates, "dtpAfter", format);
  chkBefore = Named(new QCheckBox(QStringLiteral("&vor"), dates), "chkBefore");
  dtpBefore = DateBox(dates, "dtpBefore", format);
  cmbDateKind = Named(new QComboBox(dates), "cmbDateKind");
  cmbDateKind->addItems({QStringLiteral("letzte Änderung"), QStringLiteral("Erstellung")});
  cmbDateKind->setToolTip(
      QStringLiteral("welcher Zeitpunkt der Datei zählt; wo das Dateisystem keine Erstellung kennt, die letzte Änderung"));
  for (QWidget* w : {static_cast<QWidget*>(chkAfter), static_cast<QWidget*>(dtpAfter),
                     static_cast<QWidget*>(chkBefore), static_cast<QWidget*>(dtpBefore),
                     static_cast<QWidget*>(cmbDateKind)})
    dateGrid->addWidget(w);
  connect(chkAfter, &QCheckBox::toggled, dtpAfter, &QWidget::setEnabled);
  connect(chkBefore, &QCheckBox::toggled, dtpBefore, &QWidget::setEnabled);
  layout->addWidget(dates);

  auto* excluded = new QGroupBox(QStringLiteral("Nicht durchsuchen / nicht listen"), this);
  auto* excludedForm = new QFormLayout(excluded);
  edtExcludedFolders = Named(new QLineEdit(excluded), "edtExcludedFolders");
  edtExcludedFolders->setPlaceholderText(QStringLiteral("z. B. .git; node_modules; Archiv/alt"));
  edtExcludedFiles = Named(new QLineEdit(excluded), "edtExcludedFiles");
  edtExcludedFiles->setPlaceholderText(QStringLiteral("z. B. *.bak; *.tmp"));
  excludedForm->addRow(QStringLiteral("&Ordner:"), edtExcludedFolders);
  excludedForm->addRow(QStringLiteral("&Dateien:"), edtExcludedFiles);
  layout->addWidget(excluded);

  auto* hidden = new QGroupBox(QStringLiteral("Versteckte Dateien und Ordner"), this);
  auto* hiddenRow = new QHBoxLayout(hidden);
  rbWithHidden = Named(new QRadioButton(QStringLiteral("m&it"), hidden), "rbWithHidden");
  rbWithoutHidden = Named(new QRadioButton(QStringLiteral("o&hne"), hidden), "rbWithoutHidden");
  hiddenRow->addWidget(rbWithHidden);
  hiddenRow->addWidget(rbWithoutHidden);
  hiddenRow->addStretch();
  layout->addWidget(hidden);

  lblError = Named(new QLabel(this), "lblError");
  lblError->setWordWrap(true);
  QPalette pal = lblError->palette();
  pal.setColor(QPalette::WindowText, QColor(0xb0, 0, 0));
  lblError->setPalette(pal);
  lblError->hide();
  layout->addWidget(lblError);

  buttons = Named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Reset,
                                       this),
                  "buttons");
  buttons->button(QDialogButtonBox::Reset)->setText(QStringLiteral("&Zurücksetzen"));
  buttons->button(QDialogButtonBox::Reset)->setAutoDefault(false);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &TCriteriaDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TCriteriaDialog::reject);
  connect(buttons->button(QDialogButtonBox::Reset), &QPushButton::clicked, this,
          [this] { SetFields(TCriteriaFields()); });
  layout->addWidget(buttons);

  SetFields(fields);
}

TCriteriaFields TCriteriaDialog::Fields() const {
  TCriteriaFields f;
  f.phrase = edtPhrase->text();
  f.caseSensitive = chkCaseSensitive->isChecked();
  f.wholeWord = chkWholeWord->isChecked();
  f.sizeMin = edtSizeMin->text();
  f.sizeMinUnit = static_cast<TSizeUnit>(cmbSizeMinUnit->currentIndex());
  f.sizeMax = edtSizeMax->text();
  f.sizeMaxUnit = static_cast<TSizeUnit>(cmbSizeMaxUnit->currentIndex());
  if (chkAfter->isChecked()) f.after = dtpAfter->date();
  if (chkBefore->isChecked()) f.before = dtpBefore->date();
  f.dateKind = static_cast<TDateKind>(cmbDateKind->currentIndex());
  f.excludedFolders = edtExcludedFolders->text();
  f.excludedFiles = edtExcludedFiles->text();
  f.withHidden = !rbWithoutHidden->isChecked();
  return f;
}

void TCriteriaDialog::SetFields(const TCriteriaFields& f) {
  edtPhrase->setText(f.phrase);
  chkCaseSensitive->setChecked(f.caseSensitive);
  chkWholeWord->setChecked(f.wholeWord);
  edtSizeMin->setText(f.sizeMin);
  cmbSizeMinUnit->setCurrentIndex(static_cast<int>(f.sizeMinUnit));
  edtSizeMax->setText(f.sizeMax);
  cmbSizeMaxUnit->setCurrentIndex(static_cast<int>(f.sizeMaxUnit));
  chkAfter->setChecked(f.after.isValid());
  if (f.after.isValid()) dtpAfter->setDate(f.after);
  chkBefore->setChecked(f.before.isValid());
  if (f.before.isValid()) dtpBefore->setDate(f.before);
  cmbDateKind->setCurrentIndex(static_cast<int>(f.dateKind));
  edtExcludedFolders->setText(f.excludedFolders);
  edtExcludedFiles->setText(f.excludedFiles);
  (f.withHidden ? rbWithHidden : rbWithoutHidden)->setChecked(true);
  lblError->hide();
}

void TCriteriaDialog::accept() {
  if (const std::optional<QString> error = CriteriaError(Fields())) {
    lblError->setText(*error);
    lblError->show();
    return;
  }
  QDialog::accept();
}

void TCriteriaDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  edtPhrase->setFocus(Qt::OtherFocusReason);
  edtPhrase->selectAll();
}

}  // namespace trawlix
