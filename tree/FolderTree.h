// TFolderTree: the folder tree of the main window. The root is "/" with the
// folders below it, read lazily when a branch is opened, with the icons of
// the platform's file icon provider.
//
// The window relies on three operations and one signal: SelectPath moves the
// selection to a folder, SelectedPath gives the selected folder, and Change
// is raised whenever the selection changes (also by SelectPath), with the new
// selection already in place.
//
// Paths are byte strings as the rest of the program uses them. Folder names
// pass through Qt's file-name decoding here, so a folder whose name is not
// valid UTF-8 cannot be told apart from its neighbours in this tree.
//
// User-interface thread only.
#pragma once

#include <QTreeView>
#include <string>

class QFileSystemModel;

namespace trawlix {

class TFolderTree : public QTreeView {
  Q_OBJECT
 public:
  explicit TFolderTree(QWidget* parent = nullptr);

  // Collapses all open branches, opens the path down to the folder, expands
  // the folder, makes it the only selected and the current entry, scrolls it
  // into view and takes the keyboard focus. Returns false and changes
  // nothing when the path names no folder the tree can show.
  bool SelectPath(const std::string& path);

  // The path of the selected folder (without a trailing "/", "/" for the
  // root), or an empty text when nothing is selected.
  std::string SelectedPath() const;

 signals:
  void Change();

 private:
  QFileSystemModel* model_;
  // The folder SelectPath moved to, scrolled into view again while its
  // parents are still being read (the model reads folders in the background).
  QPersistentModelIndex pendingScroll_;
  bool changeRaised_ = false;
};

}  // namespace trawlix
