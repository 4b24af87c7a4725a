// TfrmTrawlix: the main window. On the left the folder tree, the mask field
// with its list of masks and the file list; on the right the result table;
// at the bottom the buttons and the two count labels, and below them, after
// a search that could not open or read every folder, a note of how many
// (lblUnreadFolders; its tooltip names them). The note is left out after a
// search the user stopped; while it shows, the bottom panel is one line
// taller.
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
// Tree, file list and search always name the same folder: when the file
// list cannot go where the tree went, the tree goes back.
// The settings store (Options) is created first in FormCreate, sizes the
// window and moves the tree to the stored folder, or else to the folder the
// file list starts in; FormClose stores the geometry and the tree's folder
// before the finder is freed.
//
// Layout: Panel1 keeps its width at the left, Panel2 its height at the
// bottom and the grid takes the rest; at and above the design size every
// control has its designed place. Where the window is shorter, the file
// list ends above the button row; where it is too narrow for the buttons
// and the counters side by side, the counters go below the buttons. The
// window's minimum size keeps every control whole.
//
// Keyboard: Tab goes through the grid, Panel1 (filter, mask field, tree),
// the file list and Panel2's buttons; it never moves between the grid's
// cells. Shift+F10 and the Menu key open the grid's context menu.
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
#include <utility>
#include <vector>

#include "app/DrawPacer.h"
#include "app/ResultTable.h"
#include "app/UserInteraction.h"
#include "app/VD_Options.h"
#include "engine/FindFile.h"
#include "results/Duplicates.h"
#include "results/Sort.h"
#include "tree/FolderTree.h"

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

class TfrmTrawlix : public QWidget {
  Q_OBJECT
 public:
  // ui receives every message box; the window does not own it and it must
  // outlive the window. startFolder, when given (the command line's
  // folder), takes the place of the stored folder at the start.
  explicit TfrmTrawlix(TUserInteraction& ui, QWidget* parent = nullptr, std::string startFolder = {});
  ~TfrmTrawlix() override;

  // Controls, named as their object names.
  QTableView* StringGrid1 = nullptr;
  QWidget* Panel1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* FilterComboBox1 = nullptr;
  QLineEdit* edtFileMask = nullptr;
  QPushButton* btnCriteria = nullptr;  // opens the dialog of further criteria
  TFolderTree* VirtualExplorerTreeview1 = nullptr;
  TFileListBox* FileListBox1 = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* lblFileCount = nullptr;
  QLabel* lblDirCount = nullptr;
  QLabel* lblUnreadFolders = nullptr;
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
  // The finder could not open or read Folder: kept for the note's tooltip.
  void FinderFolderError(TFindFile* Sender, const std::string& Folder, int ErrorCode);
  // The tree's selection changed: the file list follows it to an existing
  // folder. Both arguments are ignored.
  void VirtualExplorerTreeview1Change(QObject* Sender, const QModelIndex& Node);
  // A filter entry was chosen: its mask goes into the mask field.
  void FilterComboBox1Change(QObject* Sender);
  // Opens "Weitere Suchkriterien"; OK keeps its fields for the searches to
  // come (and in the settings), and the button's caption and tooltip show
  // them. Does nothing while a search or scan runs.
  void btnCriteriaClick(QObject* Sender);
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

  // Moves the tree to folder in the given way; the tree's change event
  // brings the file list there. True when the file list then shows that
  // folder; false when the tree cannot show it (nothing changes) or the
  // file list cannot enter it (the error is shown and the tree goes back to
  // the file list's folder).
  bool MoveToFolder(const std::string& folder, TSelectMode mode);

  // The controls that take the keyboard focus, in tab order.
  std::vector<QWidget*> TabOrder() const;

  // The smallest client size at which every control is whole.
  QSize MinimumClientSize() const;

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
  // The clock that paces the drawing of a running search or scan (tests).
  void SetDrawClock(TDrawPacer::Clock clock) { pacer_.SetClock(std::move(clock)); }
  // True when FormCreate moved the tree and the file list to the start
  // folder it was given.
  bool StartedInFolder() const { return startedInFolder_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void LayoutControls();
  // The handler of the tree's change event, and the tree put back on the
  // file list's folder where the two part.
  void FollowTree();
  void OpenGridMenuByKeyboard();
  void UpdateFileCountLabel();
  void ShowSearchProgress();
  void ShowScanProgress();
  void ShowUnreadableNote(uint32_t folders);
  void UpdateCriteriaButton();
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
  std::string startFolder_;
  bool startedInFolder_ = false;
  std::unique_ptr<TVDOptions> options_;
  std::unique_ptr<TFindFile> finder_;
  TResultTable* results_ = nullptr;  // owned through QObject parenting
  QMenu* gridMenu_ = nullptr;

  bool stopRequested_ = false;
  int32_t folderCount_ = 0;
  int64_t totalBytes_ = 0;
  // The first folders the last search could not read, with their codes.
  std::vector<std::pair<std::string, int>> unreadFolders_;

  bool searching_ = false;
  bool scanning_ = false;
  bool cleaning_ = false;  // mnuErsteBehaltenClick moves files
  TDuplicateScanResult lastScan_;
  bool duplicateView_ = false;
  bool closePending_ = false;
  bool fileLabelStale_ = false;
  TDrawPacer pacer_;
  int32_t shownFolderCount_ = -1;  // what lblDirCount shows while a search runs
  // The row the scan is at, the one its progress text shows, of how many.
  int scanRow_ = 0, shownScanRow_ = 0;
  int32_t scanTotal_ = 0;
  bool shownOnce_ = false;
  bool returningTree_ = false;
  // The counter labels below each other, at the right of the buttons.
  std::vector<QLabel*> counterLines_;
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

// The client size the window starts with, on a screen of the given
// available size. Without a stored size it is the design size, or the
// available size where that is smaller. A stored width or height that is
// not positive or below the minimum is replaced by that default, one
// beyond the screen is cut to it, and one in range is used as it is. The
// minimum wins over a screen smaller than it.
QSize StartWindowSize(bool stored, int width, int height, const QSize& available, const QSize& minimum);

// The top-left corner that centres a window of the given outer size on a
// screen: each coordinate halved with the remainder dropped toward zero,
// negative when the window is larger than the screen.
QPoint CentredTopLeft(const QRect& screen, const QSize& window);

}  // namespace trawlix
