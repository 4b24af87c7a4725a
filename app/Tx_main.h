// TfrmTrawlix: the main window. On the left the folder tree, the mask field
// with its list of masks and the file list; on the right the result table;
// at the bottom the buttons and the two count labels.
//
// A search runs synchronously in the window's thread: btnSearchClick
// returns when the walk is over. Once per folder entered the window lets
// pending input through, so the stop button, repainting and the other
// controls keep working; a second press of btnSearch meanwhile does nothing,
// and closing the window asks the search to stop and closes once the walk
// has unwound. The finder is freed only when no walk runs.
//
// On the left the folder tree drives the file list (its folder is the search
// location), choosing a filter entry sets the file list's mask, and the file
// list writes its mask, or the name the user picks, into the mask field.
// The settings store (Options) is created first in FormCreate, sizes the
// window and moves the tree to the stored folder; FormClose stores the
// geometry and the tree's folder before the finder is freed.
//
// Every modal interaction goes through the TUserInteraction the window was
// given (not owned). Errors that escape a handler end that command and are
// shown through its general error display.
//
// The handlers are thin; the texts come from Formatting.h and DateText.h,
// the rows live in the row store behind TResultTable, and the operations
// on them in results/.
#pragma once

#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "app/ResultTable.h"
#include "app/UserInteraction.h"
#include "app/VD_Options.h"
#include "engine/FindFile.h"
#include "results/Duplicates.h"
#include "results/Sort.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPushButton;
class QTableView;

namespace trawlix {

enum class TRemoval;
class TFileListBox;
class TFolderTree;

class TfrmTrawlix : public QWidget {
  Q_OBJECT
 public:
  // ui receives every message box; the window does not own it and it must
  // outlive the window.
  explicit TfrmTrawlix(TUserInteraction& ui, QWidget* parent = nullptr);
  ~TfrmTrawlix() override;

  // Controls, named as their object names.
  QTableView* StringGrid1 = nullptr;
  QWidget* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* FilterComboBox1 = nullptr;
  QLineEdit* edtFileMask = nullptr;
  TFolderTree* VirtualExplorerTreeview1 = nullptr;
  TFileListBox* FileListBox1 = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* lblFileCount = nullptr;
  QLabel* lblDirCount = nullptr;
  QPushButton* btnSearch = nullptr;
  QPushButton* btnSaveTab = nullptr;
  QPushButton* btnClose = nullptr;
  QPushButton* btnStop = nullptr;
  QPushButton* btnFindIdentical = nullptr;
  QPushButton* btnSaveList = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* mnuDirSort = nullptr;
  QAction* mnuNameSort = nullptr;
  QAction* mnuExtSort = nullptr;
  QAction* mnuDateSort = nullptr;
  QAction* mnuSizeSort = nullptr;
  QMenu* PopupMenu2 = nullptr;
  QAction* mnuLoeschen = nullptr;
  QAction* mnuPapierkorb = nullptr;
  QAction* mnuErsteBehalten = nullptr;

  // Handlers.
  void FormCreate(QObject* Sender);
  void FormClose(QObject* Sender);
  void btnSearchClick(QObject* Sender);
  void btnStopClick(QObject* Sender);
  void btnCloseClick(QObject* Sender);
  void FinderFolderChange(TFindFile* Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder);
  void FinderFileMatch(TFindFile* Sender, const std::string& Folder, const TSearchRec& FileInfo);
  // The tree's selection changed: the file list follows it to an existing
  // folder. Both arguments are ignored.
  void VirtualExplorerTreeview1Change(QObject* Sender, const QModelIndex& Node);
  // A filter entry was chosen: its mask goes into the mask field.
  void FilterComboBox1Change(QObject* Sender);
  // The five orders of the context menu PopupMenu1.
  void mnuDirSortClick(QObject* Sender);
  void mnuNameSortClick(QObject* Sender);
  void mnuExtensionSortClick(QObject* Sender);
  void mnuDateSortClick(QObject* Sender);
  void mnuSizeSortClick(QObject* Sender);
  // Reduces the table to the files that have a byte-for-byte copy: the
  // duplicate view (five columns, the delete menu, the button disabled).
  void btnFindIdenticalClick(QObject* Sender);
  // The checksum column's value for a file (see results/Duplicates.h).
  int32_t FileChecksum(const std::string& path);

  // The table's file commands. Each acts on the stored bytes of the rows.
  // btnSaveTabClick and btnSaveListClick write the table file and the list
  // file to a path chosen in SaveDialog1. StringGrid1DblClick opens the
  // file of the selected row; mnuLoeschenClick deletes it and blanks the
  // row, at once, without a question and without a message, and leaves every
  // counter as it was; StringGrid1KeyDown does the same for the Delete key
  // whatever the modifiers (Key is a Qt::Key and stays unchanged).
  void btnSaveTabClick(QObject* Sender);
  void btnSaveListClick(QObject* Sender);
  void StringGrid1DblClick(QObject* Sender);
  void mnuLoeschenClick(QObject* Sender);
  void StringGrid1KeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
  // The duplicate view's trash commands. mnuPapierkorbClick moves the
  // highlighted row's file to the desktop's trash with the checks of a
  // deletion and blanks the row. mnuErsteBehaltenClick asks first, then
  // moves every file of each group but the group's first row to the trash,
  // each checked as before, blanking the rows of the files moved, and ends
  // with a message of what went and what stayed; "Suche abbrechen" stops it
  // between two files, and it lets input through every CleanupIdleEvery.
  void mnuPapierkorbClick(QObject* Sender);
  void mnuErsteBehaltenClick(QObject* Sender);
  std::chrono::milliseconds CleanupIdleEvery{30};
  // The top row of the grid's selection (1 for row 1); 0 when no row is
  // highlighted. The current cell alone (its focus frame) selects nothing.
  int SelectedRow() const;
  // True while the table shows the duplicate view of the last scan.
  bool DuplicateView() const { return duplicateView_; }

  // Window state shared by the result list operations.
  // FileCount is the row store's count of listed rows.
  int32_t FileCount() const;
  int32_t FolderCount() const { return folderCount_; }
  int64_t TotalBytes() const { return totalBytes_; }
  bool StopRequested() const { return stopRequested_; }

  // True while btnSearchClick runs its walk.
  bool Searching() const { return searching_; }
  // True while btnFindIdenticalClick reads files.
  bool Scanning() const { return scanning_; }
  // What the last completed duplicate scan read and found.
  const TDuplicateScanResult& LastScan() const { return lastScan_; }
  // The finder; null after FormClose.
  TFindFile* Finder() const { return finder_.get(); }
  TResultTable& Results() { return *results_; }
  TUserInteraction& Interaction() { return ui_; }
  // The context menu the grid shows now (PopupMenu1 in the list view).
  QMenu* GridMenu() const { return gridMenu_; }
  // The settings store, created by FormCreate.
  TVDOptions* Options() const { return options_.get(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void LayoutControls();
  void UpdateFileCountLabel();
  void FilterComboBox1Choose(int index);
  void SortCommand(TSortOrder order);
  void ScanForDuplicates();
  void ConnectFileCommands();
  void SaveCommand(bool tableFile);
  void RemoveCommand(TRemoval how);
  void KeepFirstOfEachGroup();
  // Every rewrite of the table (a search, a sort, the duplicate view) drops
  // the highlight: the row under it would be another file.
  void ClearHighlight();
  // True while a search or another long command runs below the current
  // handler; commands that rewrite the table then do nothing.
  bool TableBusy() const { return searching_ || scanning_ || cleaning_; }

  TUserInteraction& ui_;
  std::unique_ptr<TVDOptions> options_;
  std::unique_ptr<TFindFile> finder_;
  TResultTable* results_ = nullptr;  // owned through QObject parenting
  QMenu* gridMenu_ = nullptr;

  bool stopRequested_ = false;
  int32_t folderCount_ = 0;
  int64_t totalBytes_ = 0;

  bool searching_ = false;
  bool scanning_ = false;
  bool cleaning_ = false;  // mnuErsteBehaltenClick moves files
  TDuplicateScanResult lastScan_;
  bool duplicateView_ = false;
  bool closePending_ = false;
  bool fileLabelStale_ = false;
  bool shownOnce_ = false;
};

// The design size of the window's client area.
inline constexpr int kDesignClientWidth = 976;
inline constexpr int kDesignClientHeight = 768;

// The filter list of the mask drop-down: description and mask pairs joined
// by "|".
inline constexpr const char* kFilterText =
    "Alle Dateien (*.*)|*.*|temporäre Dateien (*.tmp)|*.tmp|Word-Dokumente (*.doc)|*.doc|"
    "Textdateien (*.txt)|*.txt|C-Sourcen (*.c)|*.c|Pascal-Sourcen (*.pas)|*.pas|"
    "Programme (*.exe)|*.exe";

// The folder the save dialog opens in: the file list's folder without a
// trailing "/", except for the root "/" itself.
std::string SaveDialogFolder(std::string folder);

// The mask of the filter list's current entry. With no current entry the
// last entry is made current first; a list without entries gives "*.*".
QString FilterMask(QComboBox& filter);

// The size a stored width and height give the window on a screen of the
// given available size: held between a small minimum and the screen, as a
// window manager would hold it, so no stored value makes the window vanish
// or outgrow the screen.
QSize BoundedWindowSize(int width, int height, const QSize& available);

// The top-left corner that centres a window of the given outer size on a
// screen: each coordinate halved with the remainder dropped toward zero,
// negative when the window is larger than the screen.
QPoint CentredTopLeft(const QRect& screen, const QSize& window);

}  // namespace trawlix
