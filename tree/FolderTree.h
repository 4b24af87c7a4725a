// TFolderTree: the folder tree of the main window. The root is "/" with the
// folders below it, read lazily when a branch is opened; hidden folders
// (names beginning with ".") are left out unless a selected folder lies in
// or below one, symbolic links to folders are shown as folders. Folders are ordered by name without regard to case.
//
// The window relies on three operations and one signal: SelectPath moves the
// selection to a folder, SelectedPath gives the selected folder, and Change
// is raised whenever the selection changes (also by SelectPath), with the new
// selection already in place.
//
// Every folder is held by the bytes of its name as the system returned them,
// so SelectPath and SelectedPath give and take any folder exactly, also one
// whose name is not valid UTF-8 or holds ";", blanks or control characters.
// The text drawn is ReadableName of those bytes (\xNN for stray bytes).
//
// User-interface thread only.
#pragma once

#include <QTreeView>
#include <string>

namespace trawlix {

class TFolderModel;

// How SelectPath moves the selection.
enum class TSelectMode {
  // The full move: all other branches collapse, the folder opens, and the
  // tree takes the keyboard focus.
  Move,
  // The same without taking the focus.
  MoveQuietly,
  // Only selects the folder: the branches down to it open, the others stay
  // as they are, the folder itself is not opened and the focus stays where
  // it is. For putting the selection back where it was.
  Return,
};

class TFolderTree : public QTreeView {
  Q_OBJECT
 public:
  explicit TFolderTree(QWidget* parent = nullptr);

  // Collapses all open branches, opens the path down to the folder, expands
  // the folder, makes it the only selected and the current entry, scrolls it
  // into view and takes the keyboard focus (less of it as mode says). The
  // path is made absolute and "." and ".." parts are removed; symbolic links
  // stay as written. A hidden folder on the way is shown for as long as it
  // exists, although the tree leaves hidden folders out otherwise. Returns
  // false and changes nothing when the path names no folder (missing or not
  // a folder).
  bool SelectPath(const std::string& path, TSelectMode mode = TSelectMode::Move);

  // The path of the selected folder (without a trailing "/", "/" for the
  // root), or an empty text when nothing is selected.
  std::string SelectedPath() const;

 signals:
  void Change();

 private:
  TFolderModel* model_;
  bool changeRaised_ = false;
};

}  // namespace trawlix
