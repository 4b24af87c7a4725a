#include "app/Tx_main.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QModelIndex>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

#include "app/CriteriaDialog.h"
#include "app/Formatting.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "results/DeleteFile.h"
#include "results/Export.h"
#include "results/OpenFile.h"
#include "tree/FileListBox.h"
#include "tree/FolderTree.h"
#include "tree/WaitCursor.h"

namespace trawlix {

namespace {

constexpr int kPanel1Width = 209;
constexpr int kPanel2Height = 37;
constexpr size_t kUnreadFoldersListed = 10;  // in the note's tooltip
constexpr int kMargin = 7;  // of the first controls from the panels' left edge
// The button row of Panel2: its lowest edge and the right edge of its last
// button.
constexpr int kButtonsBottom = 30;
constexpr int kButtonsRight = 665;
// The counter lines: at the right of the buttons, or below them with this
// gap where the window is narrower than the counters' right edge.
constexpr int kCounterLeft = 671;
constexpr int kCounterTop = 5;
constexpr int kCounterWidth = 256;
constexpr int kCounterLineHeight = 13;
constexpr int kCounterGap = 5;
constexpr int kPanel2BottomMargin = 6;
// The file list over Panel1: its designed top and height, the gap it keeps
// above Panel2, and its height at the least (four entries).
constexpr int kFileListTop = 472;
constexpr int kFileListHeight = 249;
constexpr int kFileListGap = 10;
constexpr int kFileListMinHeight = 4 * 16 + 4;
// Progress shown at most about 30 times a second.
constexpr std::chrono::milliseconds kProgressEvery{33};

QString Q(const std::string& s) { return QString::fromStdString(s); }

template <class W>
W* Make(QWidget* parent, const char* name, const QRect& geometry = QRect()) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  if (geometry.isValid()) w->setGeometry(geometry);
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
  auto* l = Make<QLabel>(parent, name, geometry);
  l->setText(text);
  l->setFixedSize(geometry.size());
  return l;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                        const QRect& geometry) {
  auto* b = Make<QPushButton>(parent, name, geometry);
  b->setText(caption);
  if (!hint.isEmpty()) b->setToolTip(hint);
  b->setAutoDefault(false);
  return b;
}

QAction* MakeAction(QMenu* menu, const char* name, const QString& caption) {
  QAction* a = menu->addAction(caption);
  a->setObjectName(QString::fromLatin1(name));
  return a;
}

// Clears a flag when the scope ends, however it ends.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
};

// Hands the events of one object to a function; true from the function
// keeps the event from its receiver.
class TEventHook : public QObject {
 public:
  TEventHook(QObject* watched, std::function<bool(QEvent*)> fn) : QObject(watched), fn_(std::move(fn)) {
    watched->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override { return fn_(event); }

 private:
  std::function<bool(QEvent*)> fn_;
};

}  // namespace

QString FilterMask(QComboBox& filter) {
  if (filter.count() == 0) return QStringLiteral("*.*");
  if (filter.currentIndex() < 0) filter.setCurrentIndex(filter.count() - 1);
  return filter.currentData().toString();
}

QSize StartWindowSize(bool stored, int width, int height, const QSize& available, const QSize& minimum) {
  auto pick = [stored](int value, int designed, int screen, int least) {
    if (screen <= 0) screen = designed;
    const int v = stored && value > 0 && value >= least ? std::min(value, screen) : std::min(designed, screen);
    return std::max(v, least);
  };
  return QSize(pick(width, kDesignClientWidth, available.width(), minimum.width()),
               pick(height, kDesignClientHeight, available.height(), minimum.height()));
}

QPoint CentredTopLeft(const QRect& screen, const QSize& window) {
  // C++ division truncates toward zero, as the centring wants.
  return QPoint(screen.x() + (screen.width() - window.width()) / 2,
                screen.y() + (screen.height() - window.height()) / 2);
}

TfrmTrawlix::TfrmTrawlix(TUserInteraction& ui, QWidget* parent, std::string startFolder)
    : QWidget(parent), ui_(ui), startFolder_(std::move(startFolder)) {
  setObjectName(QStringLiteral("frmTrawlix"));
  setWindowTitle(QStringLiteral("Vendrel-Tools: Dateien suchen"));
  // The control sizes are laid out for a small dialog font (about 8 points).
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  CreateControls();
  setMinimumSize(MinimumClientSize());
  resize(kDesignClientWidth, kDesignClientHeight);
  RunGuarded(ui_, [this] { FormCreate(this); });
}

TfrmTrawlix::~TfrmTrawlix() {
  // The finder goes with the window unless FormClose freed it already. A
  // window destroyed while its walk runs (only possible from inside that
  // walk) leaves the finder to the finder's own rule for a busy destruction.
  finder_.reset();
}

void TfrmTrawlix::CreateControls() {
  // Creation order is stacking order: the file list lies over Panel1 and
  // under Panel2.
  StringGrid1 = Make<QTableView>(this, "StringGrid1");
  results_ = new TResultTable(this);
  results_->setObjectName(QStringLiteral("StringGrid1Model"));
  StringGrid1->setModel(results_);
  results_->SetRowCount(65535);
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setShowGrid(true);
  StringGrid1->setWordWrap(false);
  StringGrid1->setCornerButtonEnabled(false);
  StringGrid1->verticalHeader()->hide();
  StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  StringGrid1->verticalHeader()->setMinimumSectionSize(1);
  StringGrid1->verticalHeader()->setDefaultSectionSize(16);
  StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  StringGrid1->horizontalHeader()->setHighlightSections(false);
  StringGrid1->horizontalHeader()->setStretchLastSection(false);
  StringGrid1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  StringGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  StringGrid1->setToolTip(QStringLiteral("rechte Maustaste zum Sortieren..."));
  StringGrid1->viewport()->setToolTip(StringGrid1->toolTip());
  StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
  // Tab leaves the grid, as for every other control.
  StringGrid1->setTabKeyNavigation(false);
  const int widths[] = {314, 190, 141, 64};
  for (int c = 0; c < 4; ++c) StringGrid1->setColumnWidth(c, widths[c]);
  connect(StringGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (gridMenu_) gridMenu_->popup(StringGrid1->viewport()->mapToGlobal(pos));
  });

  Panel1 = Make<QWidget>(this, "Panel1");
  Label1 = MakeLabel(Panel1, "Label1", QStringLiteral("Suchen in: "), QRect(7, 7, 117, 12));
  Label2 = MakeLabel(Panel1, "Label2", QStringLiteral("Filter:"), QRect(6, 397, 117, 13));
  FilterComboBox1 = Make<QComboBox>(Panel1, "FilterComboBox1", QRect(7, 437, 196, 21));
  const QStringList filter = QString::fromUtf8(kFilterText).split(u'|');
  for (qsizetype i = 0; i + 1 < filter.size(); i += 2) FilterComboBox1->addItem(filter[i], filter[i + 1]);
  edtFileMask = Make<QLineEdit>(Panel1, "edtFileMask", QRect(7, 414, 196, 21));
  edtFileMask->setText(QStringLiteral("*.*"));
  VirtualExplorerTreeview1 = Make<TFolderTree>(Panel1, "VirtualExplorerTreeview1", QRect(8, 24, 193, 361));
  // Right of the text "Filter:", over the empty rest of its label, between
  // the tree and the mask field.
  btnCriteria = MakeButton(Panel1, "btnCriteria", CriteriaButtonCaption({}), CriteriaToolTip({}),
                           QRect(104, 389, 99, 22));

  FileListBox1 = Make<TFileListBox>(this, "FileListBox1", QRect(7, 472, 196, 249));
  FileListBox1->SetFileEdit(edtFileMask);
  // Its hint is kept but not shown as a tooltip.
  FileListBox1->setAccessibleDescription(QStringLiteral("Dateien im aktuellen Verzeichnis"));

  Panel2 = Make<QWidget>(this, "Panel2");
  lblFileCount = MakeLabel(Panel2, "lblFileCount", QString::fromLatin1(kInitialFileCountLabel),
                           QRect(671, 5, 256, 13));
  lblDirCount = MakeLabel(Panel2, "lblDirCount", QString::fromLatin1(kInitialDirCountLabel),
                          QRect(671, 18, 256, 13));
  // The note of folders a search could not read: a third counter line,
  // shown only after such a search.
  lblUnreadFolders = MakeLabel(Panel2, "lblUnreadFolders", QString(), QRect(671, 31, 256, 13));
  {
    QPalette pal = lblUnreadFolders->palette();
    pal.setColor(QPalette::WindowText, Qt::darkRed);
    lblUnreadFolders->setPalette(pal);
    lblUnreadFolders->hide();
  }
  counterLines_ = {lblFileCount, lblDirCount, lblUnreadFolders};
  for (QLabel* l : {lblFileCount, lblDirCount}) {
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, Qt::white);
    l->setPalette(pal);
  }
  btnSearch = MakeButton(Panel2, "btnSearch", QStringLiteral("Suche &starten"),
                         QStringLiteral("sucht alle Dateien in allen Unterverzeichnissen"), QRect(106, 8, 85, 22));
  btnSaveTab = MakeButton(Panel2, "btnSaveTab", QStringLiteral("&Tabelle speichern"),
                          QStringLiteral("speichert die Tabelle in eine Textdatei"), QRect(304, 8, 110, 22));
  btnClose = MakeButton(Panel2, "btnClose", QStringLiteral("&Beenden"), QStringLiteral("beendet das Programm"),
                        QRect(7, 8, 85, 22));
  btnStop = MakeButton(Panel2, "btnStop", QStringLiteral("Suche &abbrechen"), QStringLiteral("bricht die Suche ab"),
                       QRect(192, 8, 97, 22));
  btnFindIdentical = MakeButton(Panel2, "btnFindIdentical", QStringLiteral("&zeige Duplikate"), QString(),
                                QRect(541, 8, 124, 22));
  btnSaveList = MakeButton(Panel2, "btnSaveList", QStringLiteral("&Dateiliste speichern"),
                           QStringLiteral("speichert die Liste in eine Textdatei"), QRect(416, 8, 110, 22));

  // A button's accelerator clicks it at once: the pressed look Qt shows
  // first would hold every command back by a tenth of a second, Stop too.
  // The keyboard focus stays where it is, as with Qt's own handling.
  for (QPushButton* b : {btnSearch, btnSaveTab, btnClose, btnStop, btnFindIdentical, btnSaveList})
    new TEventHook(b, [b](QEvent* e) {
      if (e->type() != QEvent::Shortcut || static_cast<QShortcutEvent*>(e)->isAmbiguous()) return false;
      b->click();
      return true;
    });

  PopupMenu1 = Make<QMenu>(this, "PopupMenu1");
  mnuDirSort = MakeAction(PopupMenu1, "mnuDirSort", QStringLiteral("nach Verzeichnis sortieren"));
  mnuNameSort = MakeAction(PopupMenu1, "mnuNameSort", QStringLiteral("nach Dateinamen sortieren"));
  mnuExtSort = MakeAction(PopupMenu1, "mnuExtSort", QStringLiteral("nach Dateiendung sortieren"));
  mnuDateSort = MakeAction(PopupMenu1, "mnuDateSort", QStringLiteral("nach Datum sortieren"));
  mnuSizeSort = MakeAction(PopupMenu1, "mnuSizeSort", QStringLiteral("nach Größe sortieren"));
  PopupMenu2 = Make<QMenu>(this, "PopupMenu2");
  mnuLoeschen = MakeAction(PopupMenu2, "mnuLoeschen", QStringLiteral("Löschen"));
  mnuPapierkorb = MakeAction(PopupMenu2, "mnuPapierkorb", QStringLiteral("In den Papierkorb verschieben"));
  PopupMenu2->addSeparator();
  mnuErsteBehalten = MakeAction(PopupMenu2, "mnuErsteBehalten",
                                QStringLiteral("Alle Kopien außer der ersten in den Papierkorb…"));
  gridMenu_ = PopupMenu1;

  const std::vector<QWidget*> order = TabOrder();
  for (size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
  // Shift+F10 and the Menu key open the grid's context menu. (Under X the
  // platform turns the Menu key into a context menu event itself; the
  // popup then has the keyboard and this filter never sees the key.)
  new TEventHook(StringGrid1, [this](QEvent* e) {
    if (e->type() != QEvent::KeyPress) return false;
    const auto* ke = static_cast<QKeyEvent*>(e);
    const Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
    const bool menuKey = ke->key() == Qt::Key_Menu && mods == Qt::NoModifier;
    const bool shiftF10 = ke->key() == Qt::Key_F10 && mods == Qt::ShiftModifier;
    if (!menuKey && !shiftF10) return false;
    OpenGridMenuByKeyboard();
    return true;
  });

  // The tree raises its change event synchronously, also while FormCreate
  // moves it to the stored folder.
  connect(VirtualExplorerTreeview1, &TFolderTree::Change, this, [this] { FollowTree(); });
  // activated, not currentIndexChanged: choosing the entry that is already
  // shown puts its mask back into the mask field as well.
  connect(FilterComboBox1, &QComboBox::activated, this,
          [this](int index) { RunGuarded(ui_, [this, index] { FilterComboBox1Choose(index); }); });
  connect(btnSearch, &QPushButton::clicked, this, [this] { btnSearchClick(btnSearch); });
  connect(btnCriteria, &QPushButton::clicked, this,
          [this] { RunGuarded(ui_, [this] { btnCriteriaClick(btnCriteria); }); });
  connect(btnStop, &QPushButton::clicked, this, [this] { RunGuarded(ui_, [this] { btnStopClick(btnStop); }); });
  connect(btnFindIdentical, &QPushButton::clicked, this, [this] { btnFindIdenticalClick(btnFindIdentical); });
  connect(btnClose, &QPushButton::clicked, this,
          [this] { RunGuarded(ui_, [this] { btnCloseClick(btnClose); }); });
  const std::pair<QAction*, void (TfrmTrawlix::*)(QObject*)> sorts[] = {
      {mnuDirSort, &TfrmTrawlix::mnuDirSortClick},   {mnuNameSort, &TfrmTrawlix::mnuNameSortClick},
      {mnuExtSort, &TfrmTrawlix::mnuExtensionSortClick}, {mnuDateSort, &TfrmTrawlix::mnuDateSortClick},
      {mnuSizeSort, &TfrmTrawlix::mnuSizeSortClick},
  };
  for (const auto& [action, handler] : sorts)
    connect(action, &QAction::triggered, this,
            [this, action = action, handler = handler] { RunGuarded(ui_, [&] { (this->*handler)(action); }); });
  ConnectFileCommands();
  LayoutControls();
}

std::vector<QWidget*> TfrmTrawlix::TabOrder() const {
  // The window's children: the grid, Panel1, the file list, Panel2.
  return {StringGrid1, FilterComboBox1, edtFileMask, btnCriteria, VirtualExplorerTreeview1, FileListBox1,
          btnSearch,   btnSaveTab,      btnClose,    btnStop,     btnFindIdentical,         btnSaveList};
}

namespace {

// Where the counter lines go at a window width: their left edge, the top of
// the first, and the height Panel2 needs for n of them.
struct TCounterPlace {
  int left, top, panelHeight;
};

TCounterPlace CounterPlace(int windowWidth, int lines) {
  const bool besideButtons = windowWidth >= kCounterLeft + kCounterWidth;
  const int left = besideButtons ? kCounterLeft : kMargin;
  const int top = besideButtons ? kCounterTop : kButtonsBottom + kCounterGap;
  return {left, top, std::max(kPanel2Height, top + lines * kCounterLineHeight + kPanel2BottomMargin)};
}

}  // namespace

QSize TfrmTrawlix::MinimumClientSize() const {
  // The buttons whole, the counters below them, and the file list with a
  // few entries above them.
  const int width = kButtonsRight + kMargin;
  const int lines = static_cast<int>(counterLines_.size());
  return QSize(width, kFileListTop + kFileListMinHeight + kFileListGap + CounterPlace(width, lines).panelHeight);
}

void TfrmTrawlix::LayoutControls() {
  // Panel1 keeps its width at the left, Panel2 its height at the bottom; the
  // grid takes the rest. Controls inside the panels keep their positions,
  // but for the counters of a narrow window; the file list keeps its place
  // and ends above Panel2.
  const int w = width(), h = height();
  int lines = 0;
  for (QLabel* l : counterLines_)
    if (!l->isHidden()) ++lines;
  const TCounterPlace counters = CounterPlace(w, lines);
  int y = counters.top;
  for (QLabel* l : counterLines_) {
    if (l->isHidden()) continue;
    l->setGeometry(counters.left, y, kCounterWidth, kCounterLineHeight);
    y += kCounterLineHeight;
  }
  const int top = std::max(0, h - counters.panelHeight);
  Panel2->setGeometry(0, top, w, counters.panelHeight);
  Panel1->setGeometry(0, 0, kPanel1Width, top);
  StringGrid1->setGeometry(kPanel1Width, 0, std::max(0, w - kPanel1Width), top);
  const int listHeight = std::clamp(top - kFileListGap - kFileListTop, 0, kFileListHeight);
  FileListBox1->setGeometry(FileListBox1->x(), kFileListTop, FileListBox1->width(), listHeight);
}

void TfrmTrawlix::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutControls();
}

void TfrmTrawlix::FormCreate(QObject*) {
  // The stored settings come first. A size the store did not hold, or one
  // that would hide controls, gives the design size.
  options_ = std::make_unique<TVDOptions>(ui_);
  move(options_->WinMainLeft, options_->WinMainTop);  // replaced by the centring at the first show
  const QScreen* s = screen();
  const QSize available = s ? s->availableGeometry().size() : QSize();
  resize(StartWindowSize(options_->SizeStored(), options_->WinMainWidth, options_->WinMainHeight, available,
                         minimumSize()));
  // The tree shows where a search starts: the folder given on the command
  // line, else the stored folder, when it exists and the file list can
  // enter it (the tree then has the focus), else the folder the file list
  // starts in (the focus goes to the first control).
  startedInFolder_ = !startFolder_.empty() && MoveToFolder(startFolder_, TSelectMode::Move);
  const std::string& last = options_->LastDir;
  const bool stored = startedInFolder_ ||
                      (!last.empty() && DirectoryExists(last) && MoveToFolder(last, TSelectMode::Move));
  if (!stored) {
    MoveToFolder(FileListBox1->Directory(), TSelectMode::MoveQuietly);
    for (QWidget* w : TabOrder())
      if (w->isEnabled() && !w->isHidden() && (w->focusPolicy() & Qt::TabFocus)) {
        w->setFocus(Qt::OtherFocusReason);
        break;
      }
  }

  results_->SetHeaderText(TResultTable::colFolder, QStringLiteral("Verzeichnis"));
  results_->SetHeaderText(TResultTable::colName, QStringLiteral("Datei"));
  results_->SetHeaderText(TResultTable::colDate, QStringLiteral("Datum"));
  results_->SetHeaderText(TResultTable::colSize, QStringLiteral("Größe"));
  results_->SetHeaderText(TResultTable::colCrc, QStringLiteral("CRC"));
  finder_ = std::make_unique<TFindFile>();
  finder_->SetThreaded(false);
  finder_->Criteria().Files().SetSubfolders(true);
  UpdateCriteriaButton();
}

void TfrmTrawlix::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  QScreen* s = screen();
  if (!s) return;
  QSize outer = frameGeometry().size();
  if (!outer.isValid() || outer.width() < width()) outer = size();
  const QPoint topLeft = CentredTopLeft(s->geometry(), outer);
  move(topLeft);
  // The tree was moved before it had its final size.
  const QModelIndex folder = VirtualExplorerTreeview1->currentIndex();
  if (folder.isValid()) VirtualExplorerTreeview1->scrollTo(folder, QAbstractItemView::PositionAtCenter);
}

void TfrmTrawlix::closeEvent(QCloseEvent* event) {
  if (TableBusy()) {
    // A walk or a scan is still on the call stack below us: ask it to stop
    // and close once its handler has unwound.
    stopRequested_ = true;
    closePending_ = true;
    event->ignore();
    return;
  }
  RunGuarded(ui_, [this] { FormClose(this); });
  event->accept();
}

void TfrmTrawlix::FormClose(QObject*) {
  // Never reached while a walk runs (closeEvent defers the close). The size
  // stored is the one FormCreate gives back to resize(), so it survives any
  // number of starts unchanged.
  if (options_) {
    options_->WinMainTop = y();
    options_->WinMainLeft = x();
    options_->WinMainHeight = height();
    options_->WinMainWidth = width();
    options_->LastDir = VirtualExplorerTreeview1->SelectedPath();
    options_->SaveSettings();
  }
  finder_.reset();
}

bool TfrmTrawlix::MoveToFolder(const std::string& folder, TSelectMode mode) {
  if (!VirtualExplorerTreeview1->SelectPath(folder, mode)) return false;
  std::string wanted = ExpandFileName(folder);
  while (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
  return FileListBox1->Directory() == wanted;
}

void TfrmTrawlix::FollowTree() {
  RunGuarded(ui_, [this] { VirtualExplorerTreeview1Change(VirtualExplorerTreeview1, QModelIndex()); });
  // Where the file list did not follow (its error shown by now, or the
  // folder gone), the tree goes back to the folder the list shows, so the
  // tree never names another folder than the search would walk.
  if (returningTree_) return;
  const std::string& listed = FileListBox1->Directory();
  if (VirtualExplorerTreeview1->SelectedPath() == listed) return;
  TFlagScope back(returningTree_);
  if (!VirtualExplorerTreeview1->SelectPath(listed, TSelectMode::Return))
    VirtualExplorerTreeview1->selectionModel()->clear();  // the list has no folder
}

void TfrmTrawlix::OpenGridMenuByKeyboard() {
  // At the current cell, as Qt places a menu opened by the Menu key, held
  // inside the visible part of the grid.
  const QRect cell = StringGrid1->visualRect(StringGrid1->currentIndex());
  const QRect view = StringGrid1->viewport()->rect();
  QPoint at = cell.isValid() ? cell.center() : view.topLeft();
  at.setX(std::clamp(at.x(), view.left(), view.right()));
  at.setY(std::clamp(at.y(), view.top(), view.bottom()));
  QContextMenuEvent event(QContextMenuEvent::Keyboard, at, StringGrid1->viewport()->mapToGlobal(at));
  QCoreApplication::sendEvent(StringGrid1, &event);
}

void TfrmTrawlix::VirtualExplorerTreeview1Change(QObject*, const QModelIndex&) {
  const std::string path = VirtualExplorerTreeview1->SelectedPath();
  // No folder (nothing selected, or it vanished meanwhile): the file list
  // and with it the search location stay where they are.
  if (path.empty() || !DirectoryExists(path)) return;
  FileListBox1->SetDirectory(path);
}

void TfrmTrawlix::FilterComboBox1Choose(int index) {
  if (index >= 0 && index < FilterComboBox1->count())
    FileListBox1->SetMask(QFile::encodeName(FilterComboBox1->itemData(index).toString()).toStdString());
  FilterComboBox1Change(FilterComboBox1);
}

void TfrmTrawlix::FilterComboBox1Change(QObject*) { edtFileMask->setText(FilterMask(*FilterComboBox1)); }

void TfrmTrawlix::btnCriteriaClick(QObject*) {
  if (TableBusy() || !options_) return;
  TCriteriaDialog dialog(options_->Criteria, this);
  if (dialog.exec() != QDialog::Accepted) return;
  options_->Criteria = dialog.Fields();
  UpdateCriteriaButton();
}

void TfrmTrawlix::UpdateCriteriaButton() {
  const TCriteriaFields none;
  const TCriteriaFields& f = options_ ? options_->Criteria : none;
  btnCriteria->setText(CriteriaButtonCaption(f));
  btnCriteria->setToolTip(CriteriaToolTip(f));
}

// The table's file commands: export, opening and deleting.

std::string SaveDialogFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

void TfrmTrawlix::ConnectFileCommands() {
  connect(btnSaveTab, &QPushButton::clicked, this,
          [this] { RunGuarded(ui_, [this] { btnSaveTabClick(btnSaveTab); }); });
  connect(btnSaveList, &QPushButton::clicked, this,
          [this] { RunGuarded(ui_, [this] { btnSaveListClick(btnSaveList); }); });
  connect(mnuLoeschen, &QAction::triggered, this,
          [this] { RunGuarded(ui_, [this] { mnuLoeschenClick(mnuLoeschen); }); });
  connect(mnuPapierkorb, &QAction::triggered, this,
          [this] { RunGuarded(ui_, [this] { mnuPapierkorbClick(mnuPapierkorb); }); });
  connect(mnuErsteBehalten, &QAction::triggered, this, [this] { mnuErsteBehaltenClick(mnuErsteBehalten); });
  // Keys reach the grid itself; the Delete key is also left to the grid.
  new TEventHook(StringGrid1, [this](QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
      auto* ke = static_cast<QKeyEvent*>(e);
      int key = ke->key();
      RunGuarded(ui_, [&] { StringGrid1KeyDown(StringGrid1, key, ke->modifiers()); });
    }
    return false;
  });
  // A double-click anywhere on the grid opens the selected row's file,
  // whichever cell, header or empty space it lands on. A press on the space
  // below the rows keeps the selection, as a grid does.
  new TEventHook(StringGrid1->viewport(), [this](QEvent* e) {
    const QEvent::Type t = e->type();
    if (t != QEvent::MouseButtonPress && t != QEvent::MouseButtonDblClick) return false;
    const bool onRow = StringGrid1->indexAt(static_cast<QMouseEvent*>(e)->position().toPoint()).isValid();
    if (t == QEvent::MouseButtonDblClick && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
      RunGuarded(ui_, [this] { StringGrid1DblClick(StringGrid1); });
    return !onRow;
  });
  new TEventHook(StringGrid1->horizontalHeader()->viewport(), [this](QEvent* e) {
    if (e->type() == QEvent::MouseButtonDblClick && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
      RunGuarded(ui_, [this] { StringGrid1DblClick(StringGrid1); });
    return false;
  });
}

int TfrmTrawlix::SelectedRow() const {
  // Only a highlighted row counts: the focus frame alone (a cell that is
  // current but not selected) names no row the user chose.
  int top = -1;
  if (const QItemSelectionModel* sel = StringGrid1->selectionModel()) {
    for (const QItemSelectionRange& range : sel->selection())
      if (range.isValid() && (top < 0 || range.top() < top)) top = range.top();
  }
  return top < 0 ? 0 : top + 1;
}

void TfrmTrawlix::ClearHighlight() {
  if (QItemSelectionModel* sel = StringGrid1->selectionModel()) {
    sel->clearSelection();
    sel->clearCurrentIndex();
  }
}

void TfrmTrawlix::SaveCommand(bool tableFile) {
  if (FileCount() == 0) {
    ui_.ShowMessage(TMsgKind::Warning, QStringLiteral("Es gibt nichts zum Speichern."));
    return;
  }
  TSaveDialogRequest request;
  request.initialFolder = SaveDialogFolder(FileListBox1->Directory());
  request.filter = QStringLiteral("Textdatei (*.TXT)");
  request.fileName = tableFile ? QStringLiteral("ScanResult.txt") : QStringLiteral("ScanList.txt");
  const std::optional<std::string> path = ui_.SaveDialog1(request);
  if (!path) return;
  // A failure throws; the guard of the handler shows it.
  if (tableFile)
    ExportTable(results_->Store(), results_->ColCount(), *path);
  else
    ExportList(results_->Store(), *path);
}

void TfrmTrawlix::btnSaveTabClick(QObject*) { SaveCommand(true); }
void TfrmTrawlix::btnSaveListClick(QObject*) { SaveCommand(false); }

void TfrmTrawlix::StringGrid1DblClick(QObject*) {
  const int row = SelectedRow();
  const TRowStore& store = results_->Store();
  // Rows beyond FileCount are hidden leftovers of an earlier fill: blank.
  const bool listed = row >= 1 && row <= FileCount();
  const std::string path = listed ? store.FullPath(row) : std::string();
  const std::string shownPath = ReadableText(path).toStdString();
  if (PathTooLongToOpen(path)) {
    ui_.ShowMessage(TMsgKind::Error, Q(PathTooLongText(ReadableText(store.Name(row)).toStdString(),
                                                       FormatGrouped(static_cast<int64_t>(path.size())))));
    return;
  }
  if (!ListedFileExists(path)) {
    ui_.ShowMessage(TMsgKind::Error, Q(ProgramNotFoundText(shownPath)));
    return;
  }
  int code;
  {
    TWaitCursor wait;
    code = ui_.OpenFile(path);
  }
  if (code > 32) return;
  ui_.ShowMessage(TMsgKind::Error,
                  Q(OpenErrorText(code, shownPath, ReadableText(store.Folder(row)).toStdString())));
}

void TfrmTrawlix::mnuLoeschenClick(QObject*) { RemoveCommand(TRemoval::Delete); }
void TfrmTrawlix::mnuPapierkorbClick(QObject*) {
  // The trash belongs to the duplicate view's menu.
  if (duplicateView_) RemoveCommand(TRemoval::Trash);
}

void TfrmTrawlix::RemoveCommand(TRemoval how) {
  if (TableBusy()) return;
  const int row = SelectedRow();
  if (row < 1 || row > FileCount()) return;
  const TRowStore& store = results_->Store();
  std::string reason;
  const TDeleteOutcome outcome =
      RemoveRowFile(store, row, duplicateView_ ? &lastScan_ : nullptr, how, &reason);
  if (outcome == TDeleteOutcome::Changed || outcome == TDeleteOutcome::LastCopy ||
      outcome == TDeleteOutcome::TrashFailed) {
    const std::string shown = ReadableText(store.FullPath(row)).toStdString();
    ui_.ShowMessage(TMsgKind::Error, Q(outcome == TDeleteOutcome::Changed    ? FileChangedSinceSearchText(shown, how)
                                       : outcome == TDeleteOutcome::LastCopy ? LastCopyText(shown, how)
                                                                              : TrashFailedText(shown, reason)));
    return;
  }
  if (outcome != TDeleteOutcome::Deleted) return;
  if (how == TRemoval::Trash && row <= static_cast<int>(lastScan_.Groups.size())) {
    // The middle copy of three shows in two rows: both name what went.
    const std::string path = store.FullPath(row);
    const auto& groups = lastScan_.Groups;
    for (int r = row - 1; r >= 1 && groups[r - 1] == groups[row - 1]; --r)
      if (store.FullPath(r) == path) results_->ClearRow(r);
    for (int r = row + 1; r <= static_cast<int>(groups.size()) && groups[r - 1] == groups[row - 1]; ++r)
      if (store.FullPath(r) == path) results_->ClearRow(r);
  }
  results_->ClearRow(row);
  results_->FlushChanges();
}

namespace {

std::string Files(uint64_t n) { return n == 1 ? "1 Datei" : FormatGrouped(static_cast<int64_t>(n)) + " Dateien"; }
std::string Bytes(uint64_t n) { return FormatGrouped(static_cast<int64_t>(std::min<uint64_t>(n, INT64_MAX))) + " Bytes"; }

}  // namespace

void TfrmTrawlix::mnuErsteBehaltenClick(QObject*) {
  if (TableBusy() || !duplicateView_) return;
  RunGuarded(ui_, [this] { KeepFirstOfEachGroup(); });
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void TfrmTrawlix::KeepFirstOfEachGroup() {
  const TKeepFirstPlan plan = PlanKeepFirst(results_->Store(), lastScan_.Groups);
  if (plan.items.empty()) {
    ui_.ShowMessage(TMsgKind::Information, QStringLiteral("Es gibt keine Kopien zum Verschieben."));
    return;
  }
  const bool one = plan.items.size() == 1;
  if (!ui_.Question(Q(Files(plan.items.size()) + " mit zusammen " + Bytes(plan.bytes) +
                      (one ? " wird" : " werden") +
                      " in den Papierkorb verschoben; von jeder Gruppe bleibt die erste Datei. Fortfahren?"),
                    QStringLiteral("&Verschieben"), QStringLiteral("Abbrechen")))
    return;
  stopRequested_ = false;
  uint64_t moved = 0, movedBytes = 0, changed = 0, lastCopy = 0, failed = 0, notTried = 0;
  std::string firstFailure;
  {
    TWaitCursor wait;
    TFlagScope running(cleaning_);
    struct Flush {
      TResultTable* t;
      ~Flush() { t->FlushChanges(); }
    } flush{results_};
    auto lastIdle = std::chrono::steady_clock::now();
    for (size_t i = 0; i < plan.items.size(); ++i) {
      if (stopRequested_) {
        notTried = plan.items.size() - i;
        break;
      }
      const TKeepFirstItem& item = plan.items[i];
      std::string reason;
      switch (TrashRowFile(results_->Store(), item.row, &lastScan_, &reason)) {
        case TDeleteOutcome::Deleted:
          ++moved;
          movedBytes += item.size;
          results_->ClearRow(item.row);
          for (int r : item.sameEntry) results_->ClearRow(r);
          break;
        case TDeleteOutcome::Changed: ++changed; break;
        case TDeleteOutcome::LastCopy: ++lastCopy; break;
        case TDeleteOutcome::TrashFailed:
          if (firstFailure.empty())
            firstFailure = TrashFailedText(ReadableText(results_->Store().FullPath(item.row)).toStdString(), reason);
          ++failed;
          break;
        case TDeleteOutcome::Refused: ++failed; break;
      }
      const auto now = std::chrono::steady_clock::now();
      if (now - lastIdle >= CleanupIdleEvery) {
        lastIdle = now;
        results_->FlushChanges();
        QCoreApplication::processEvents();
      }
    }
  }
  if (closePending_) return;  // the window closes: nobody is left to read a message
  std::string text = Files(moved) + " mit " + Bytes(movedBytes) + " in den Papierkorb verschoben.";
  if (changed) text += "\n" + Files(changed) + " nach der Suche geändert oder ersetzt: nicht verschoben.";
  if (lastCopy) text += "\n" + Files(lastCopy) + " als letzte unveränderte Kopie behalten.";
  if (failed) text += "\n" + Files(failed) + " nicht verschoben (fehlt, schreibgeschützt oder kein Zugriff).";
  if (!firstFailure.empty()) text += "\n" + firstFailure;
  if (notTried) text += "\nAbgebrochen: " + Files(notTried) + " nicht mehr geprüft.";
  ui_.ShowMessage(TMsgKind::Information, Q(text));
}

void TfrmTrawlix::StringGrid1KeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers) {
  if (Key == Qt::Key_Delete) mnuLoeschenClick(Sender);
}

int32_t TfrmTrawlix::FileCount() const { return results_->Store().FileCount(); }

void TfrmTrawlix::btnCloseClick(QObject*) { close(); }

void TfrmTrawlix::SortCommand(TSortOrder order) {
  if (TableBusy()) return;
  if (FileCount() <= 1) {
    ui_.ShowMessage(TMsgKind::Warning, QStringLiteral("Es gibt nichts zum Sortieren."));
    return;
  }
  TWaitCursor wait;
  SortRows(results_->Store(), order);
  ClearHighlight();
  results_->RowsChanged(1, FileCount());
}

void TfrmTrawlix::mnuDirSortClick(QObject*) { SortCommand(TSortOrder::Folder); }
void TfrmTrawlix::mnuNameSortClick(QObject*) { SortCommand(TSortOrder::Name); }
void TfrmTrawlix::mnuExtensionSortClick(QObject*) { SortCommand(TSortOrder::Extension); }
void TfrmTrawlix::mnuDateSortClick(QObject*) { SortCommand(TSortOrder::Date); }
void TfrmTrawlix::mnuSizeSortClick(QObject*) { SortCommand(TSortOrder::Size); }

void TfrmTrawlix::btnStopClick(QObject*) { stopRequested_ = true; }

void TfrmTrawlix::UpdateFileCountLabel() {
  fileLabelStale_ = false;
  lblFileCount->setText(Q(FileCountLabelText(FileCount(), totalBytes_)));
}

void TfrmTrawlix::btnSearchClick(QObject*) {
  // A press during a running search or scan (possible while they let input
  // through) must not reset the counters of the command in progress.
  if (TableBusy() || !finder_) return;
  bool showMessages = false;
  RunGuarded(ui_, [this, &showMessages] {
    folderCount_ = 0;
    results_->Store().SetFileCount(0);
    totalBytes_ = 0;
    stopRequested_ = false;
    shownFolderCount_ = -1;
    fileLabelStale_ = true;
    pacer_.Start();
    unreadFolders_.clear();
    ShowUnreadableNote(0);
    duplicateView_ = false;
    lastScan_ = TDuplicateScanResult();
    results_->SetGroups({});
    ClearHighlight();
    {
      TWaitCursor wait;
      TFlagScope running(searching_);
      finder_->OnFileMatch = [this](TFindFile* s, const std::string& folder, const TSearchRec& rec) {
        FinderFileMatch(s, folder, rec);
      };
      finder_->OnFolderChange = [this](TFindFile* s, const std::string& folder, TFolderIgnore& ignore) {
        FinderFolderChange(s, folder, ignore);
      };
      finder_->OnFolderError = [this](TFindFile* s, const std::string& folder, int code) {
        FinderFolderError(s, folder, code);
      };
      // Exactly the file list's folder, whatever bytes its name holds (";",
      // blanks at either end, "<"); an empty one (no current folder) names
      // no folder. A name picked in the list and still shown in the field
      // is searched as exactly that name; typed text is mask text.
      TFileCriteria& files = finder_->Criteria().Files();
      files.SetLocation(std::string());
      files.ExactFolders() = {FileListBox1->Directory()};
      if (FileListBox1->FileEditIsPickedName()) {
        files.SetFileName(std::string());
        files.ExactNames() = {FileListBox1->FileEditBytes()};
      } else {
        files.SetFileName(FileListBox1->FileEditBytes());
        files.ExactNames().clear();
      }
      ApplyCriteria(options_->Criteria, finder_->Criteria());
      results_->Store().BeginFill();
      struct Flush {  // the counters and rows as they are also after a failure
        TfrmTrawlix* w;
        ~Flush() { w->ShowSearchProgress(); }
      } flush{this};
      finder_->Execute();
      results_->SetColCount(4);
      results_->SetRowCount(FileCount() + 1);
      gridMenu_ = PopupMenu1;
      UpdateFileCountLabel();
      lblDirCount->setText(Q(DirCountLabelText(folderCount_)));
      // Holes in a result the user cut short are no news.
      ShowUnreadableNote(stopRequested_ ? 0 : finder_->UnreadableFolders());
      btnFindIdentical->setEnabled(true);
    }
    showMessages = true;
  });
  if (closePending_) {
    closePending_ = false;
    close();
    return;
  }
  if (!showMessages) return;
  RunGuarded(ui_, [this] {
    if (FileCount() == 0)
      ui_.ShowMessage(TMsgKind::Information, QStringLiteral("Keine passenden Dateien gefunden!"));
    else if (stopRequested_)
      ui_.ShowMessage(TMsgKind::Error, QStringLiteral("Stop nach %1 Dateien.").arg(Q(FormatGrouped(FileCount()))));
  });
}

int32_t TfrmTrawlix::FileChecksum(const std::string& path) { return trawlix::FileChecksum(path); }

void TfrmTrawlix::btnFindIdenticalClick(QObject*) {
  if (TableBusy()) return;
  RunGuarded(ui_, [this] { ScanForDuplicates(); });
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void TfrmTrawlix::ScanForDuplicates() {
  if (FileCount() <= 1) {
    ui_.ShowMessage(TMsgKind::Warning, QStringLiteral("Es gibt nichts zum Filtern."));
    return;
  }
  stopRequested_ = false;
  mnuSizeSortClick(this);
  // These stay even when the scan fails.
  results_->SetColCount(5);
  results_->SetHeaderText(TResultTable::colCrc, QStringLiteral("CRC"));
  gridMenu_ = PopupMenu2;

  TWaitCursor wait;
  TDuplicateScanResult found;
  {
    TFlagScope running(scanning_);
    struct Repaint {  // the checksums and the progress so far show also after a failure
      TfrmTrawlix* w;
      ~Repaint() {
        w->ShowScanProgress();
        w->results_->RowsChanged(1, w->results_->RowCount() - 1);
      }
    } repaint{this};
    scanRow_ = shownScanRow_ = 0;
    scanTotal_ = FileCount();
    pacer_.Start();
    // How far the scan is shows in the window title, paced like the
    // counters, and goes when the scan ends.
    struct Title {
      TfrmTrawlix* w;
      QString plain;
      int shown = -1;
      std::chrono::steady_clock::time_point last{};
      void Show(const TDuplicateProgress& p) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last < kProgressEvery || p.Total == 0) return;
        last = now;
        const uint64_t done = std::min(p.Done, p.Total);
        const int percent = static_cast<int>(p.Total > UINT64_MAX / 100 ? done / (p.Total / 100) : done * 100 / p.Total);
        if (percent == shown) return;
        shown = percent;
        w->setWindowTitle(QStringLiteral("%1 % – %2").arg(percent).arg(plain));
      }
      ~Title() { w->setWindowTitle(plain); }
    } title{this, windowTitle()};
    TDuplicateProgress progress;
    TDuplicateScanEvents events;
    events.Progress = &progress;
    events.IdleEvery = kProgressEvery;
    events.OnPair = [this, &title, &progress](int row) {
      scanRow_ = row;
      if (pacer_.Due()) ShowScanProgress();
      title.Show(progress);
      QCoreApplication::processEvents();
      return stopRequested_;
    };
    events.OnIdle = [this, &title, &progress] {
      title.Show(progress);
      QCoreApplication::processEvents();
      return stopRequested_;
    };
    found = FindDuplicates(results_->Store(), events);
    lastScan_ = found;
    duplicateView_ = true;
    results_->SetGroups(found.Groups);
    ClearHighlight();
    results_->SetRowCount(found.Lines + 1);
  }
  btnFindIdentical->setEnabled(false);
  // Files that could not be compared are told in the counter, not in a box.
  const std::string passedOver = found.PassedOver == 0 ? std::string()
                                 : found.PassedOver == 1
                                     ? " (1 Datei übergangen)"
                                     : " (" + FormatGrouped(found.PassedOver) + " Dateien übergangen)";
  if (closePending_) {
    // The window closes: nobody is left to read a message.
  } else if (found.Lines == 0) {
    if (!passedOver.empty()) lblFileCount->setText(Q("  0 Duplikate" + passedOver + " in"));
    ui_.ShowMessage(TMsgKind::Information, QStringLiteral("Keine doppelten Dateien > 1K gefunden!"));
  } else if (stopRequested_) {
    lblFileCount->setText(Q("Stop nach " + FormatGrouped(found.Lines) + " Duplikaten" + passedOver + " in"));
  } else {
    lblFileCount->setText(Q("  " + FormatGrouped(found.Lines) + " Duplikate" + passedOver + " in"));
  }
}

void TfrmTrawlix::ShowSearchProgress() {
  // Only what changed since it was last shown: an unchanged text costs no
  // repaint.
  if (folderCount_ != shownFolderCount_) {
    shownFolderCount_ = folderCount_;
    lblDirCount->setText(Q(DirCountLabelText(folderCount_)));
  }
  if (fileLabelStale_) UpdateFileCountLabel();
  results_->FlushChanges();
}

void TfrmTrawlix::ShowScanProgress() {
  if (scanRow_ == shownScanRow_) return;
  shownScanRow_ = scanRow_;
  lblFileCount->setText(
      Q("  prüfe Datei " + FormatGrouped(scanRow_) + " von " + FormatGrouped(scanTotal_) + " in"));
}

void TfrmTrawlix::FinderFolderChange(TFindFile* Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder) {
  // A folder the criteria leave out is neither searched nor counted.
  if (Sender && SkipsFolder(Sender->Criteria(), Folder, Sender->Level())) {
    IgnoreFolder = fiThisAndSubfolders;
    return;
  }
  ++folderCount_;
  // Input is let through at every folder; the counters and rows are drawn
  // at the pacer's rate only.
  if (pacer_.Due()) ShowSearchProgress();
  QCoreApplication::processEvents();
  if (stopRequested_ && Sender) Sender->Abort();
}

void TfrmTrawlix::FinderFolderError(TFindFile*, const std::string& Folder, int ErrorCode) {
  if (unreadFolders_.size() < kUnreadFoldersListed) unreadFolders_.emplace_back(Folder, ErrorCode);
}

void TfrmTrawlix::ShowUnreadableNote(uint32_t folders) {
  const bool wasShown = !lblUnreadFolders->isHidden();
  if (folders == 0) {
    lblUnreadFolders->hide();
    lblUnreadFolders->clear();
    lblUnreadFolders->setToolTip(QString());
  } else {
    lblUnreadFolders->setText(Q(UnreadableNoteText(folders)));
    QString tip = QStringLiteral("Nicht gelesen:");
    for (const auto& [folder, code] : unreadFolders_) {
      // A path of thousands of bytes is shown by its ends.
      QString shown = ReadableText(folder);
      if (shown.size() > 120) {
        qsizetype head = 40, tail = shown.size() - 77;
        if (shown[head - 1].isHighSurrogate()) --head;
        if (shown[tail].isLowSurrogate()) ++tail;
        shown = shown.left(head) + QChar(0x2026) + shown.mid(tail);
      }
      tip += u'\n' + shown + QStringLiteral(" (") + Q(InOutErrorText(code)) + u')';
    }
    if (folders > unreadFolders_.size())
      tip += QStringLiteral("\n\u2026 und %1 weitere").arg(Q(FormatGrouped(folders - unreadFolders_.size())));
    lblUnreadFolders->setToolTip(tip);
    lblUnreadFolders->show();
  }
  if (wasShown != !lblUnreadFolders->isHidden()) LayoutControls();
}

void TfrmTrawlix::FinderFileMatch(TFindFile*, const std::string& Folder, const TSearchRec& FileInfo) {
  // The date text is made from the stored time when the cell is drawn or
  // read; an invalid time then gives the fallback text.
  const int32_t row = FileCount() + 1;
  const TFindData& fd = FileInfo.FindData;
  results_->SetRow(row, Folder, FileInfo.Name, FileInfo.Time,
                   TFileIdentity{fd.Device, fd.Inode, FileInfo.Size, fd.ftLastWriteTime});
  results_->Store().SetFileCount(row);
  // Sparse files can claim sizes near the limit: the sum stops there
  // instead of wrapping to a negative count.
  const uint64_t room = static_cast<uint64_t>(INT64_MAX - totalBytes_);
  totalBytes_ = FileInfo.Size >= room ? INT64_MAX : totalBytes_ + static_cast<int64_t>(FileInfo.Size);
  fileLabelStale_ = true;
  // A folder of very many files would keep the counters still until its
  // end: they are painted from here too. Only the window's pending repaint
  // is delivered; input waits for the next folder.
  if (pacer_.Due()) {
    ShowSearchProgress();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
  }
}

}  // namespace trawlix
