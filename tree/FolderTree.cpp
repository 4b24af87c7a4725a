#include "tree/FolderTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTimer>

namespace trawlix {

TFolderTree::TFolderTree(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setReadOnly(true);
  model_->setRootPath(QStringLiteral("/"));
  setModel(model_);
  // Only the name column: size, type and date say nothing about folders.
  for (int c = 1; c < model_->columnCount(); ++c) hideColumn(c);
  header()->hide();
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformRowHeights(true);
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this] {
    // The model sorts freshly read rows a moment later; scroll after that.
    if (pendingScroll_.isValid() && currentIndex() == pendingScroll_)
      QTimer::singleShot(100, this, [this] {
        if (pendingScroll_.isValid()) scrollTo(pendingScroll_);
      });
    else
      pendingScroll_ = QPersistentModelIndex();
  });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    changeRaised_ = true;
    emit Change();
  });
}

bool TFolderTree::SelectPath(const std::string& path) {
  if (path.empty()) return false;
  const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(path)));
  if (!info.isDir()) return false;
  // Absolute and without "." or "..", but symbolic links kept as written.
  const QString clean = QDir::cleanPath(info.absoluteFilePath());
  const QModelIndex index = model_->index(clean);
  if (!index.isValid()) return false;

  collapseAll();
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
  expand(index);
  changeRaised_ = false;
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
  scrollTo(index);
  pendingScroll_ = index;
  setFocus(Qt::OtherFocusReason);
  // Moving to the folder that is already selected changes no selection; the
  // caller still hears of the move.
  if (!changeRaised_) emit Change();
  return true;
}

std::string TFolderTree::SelectedPath() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  if (rows.isEmpty()) return {};
  const QModelIndex index = rows.first();
  if (!model_->isDir(index)) return {};
  return QFile::encodeName(model_->filePath(index)).toStdString();
}

}  // namespace trawlix
