#include "tree/FolderTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QHeaderView>
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/Paths.h"
#include "tree/FileListBox.h"
#include "tree/ReadableName.h"

namespace trawlix {

namespace {

struct TSubfolder {
  std::string name;
  QString text;
};

// The folders in folder (links to folders included, hidden ones left out),
// unordered.
std::vector<TSubfolder> ReadSubfolders(const std::string& folder) {
  std::vector<TSubfolder> found;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return found;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return found;
  }
  while (const dirent* d = ::readdir(dir)) {
    if (d->d_name[0] == '.') continue;  // hidden, "." and ".."
    bool isDir = d->d_type == DT_DIR;
    if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
      struct stat st;
      isDir = ::fstatat(fd, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    if (isDir) found.push_back({d->d_name, ReadableName(d->d_name)});
  }
  ::closedir(dir);
  return found;
}

bool IsHiddenName(const std::string& name) { return !name.empty() && name[0] == '.'; }

}  // namespace

// The folders as a tree of nodes, each holding its name's bytes. A node's
// subfolders are read when the view first asks for them, and read again
// when SelectPath looks for a folder that is not among them. A hidden folder
// gets a node only when SelectPath goes through it, and keeps it while it
// exists. Subfolders are in the tree's order: by text in the collation of
// the file list, ties by bytes.
class TFolderModel : public QAbstractItemModel {
 public:
  struct Node {
    std::string name;  // "/" for the root
    QString text;
    Node* parent = nullptr;
    int row = 0;
    bool loaded = false;
    std::vector<std::unique_ptr<Node>> children;
  };

  explicit TFolderModel(QObject* parent) : QAbstractItemModel(parent) {
    auto root = std::make_unique<Node>();
    root->name.push_back('/');
    root->text = QStringLiteral("/");
    root->parent = &top_;
    top_.children.push_back(std::move(root));
    top_.loaded = true;
    const QFileIconProvider icons;
    folderIcon_ = icons.icon(QFileIconProvider::Folder);
    rootIcon_ = icons.icon(QFileIconProvider::Drive);
  }

  Node* NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : const_cast<Node*>(&top_);
  }
  QModelIndex IndexOf(Node* n) const { return n == &top_ ? QModelIndex() : createIndex(n->row, 0, n); }
  Node* Root() { return top_.children.front().get(); }

  static std::string PathOf(const Node* n) {
    std::vector<const Node*> chain;  // below the root, deepest first
    for (; n->parent && n->parent->parent; n = n->parent) chain.push_back(n);
    if (chain.empty()) return "/";
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      path.push_back('/');
      path.append((*it)->name);
    }
    return path;
  }

  // Makes the node's subfolders those on the disk now, keeping the nodes of
  // folders still there (and so their open branches and indexes).
  void Load(Node* n, const std::string& pinned = std::string()) {
    const std::string path = PathOf(n);
    std::vector<TSubfolder> fresh = ReadSubfolders(path);
    auto inFolder = [&](const std::string& name) { return path == "/" ? "/" + name : path + "/" + name; };
    auto keepHidden = [&](const std::string& name) {
      if (name == "." || name == ".." || name.find('/') != std::string::npos) return;
      if (std::any_of(fresh.begin(), fresh.end(), [&](const TSubfolder& f) { return f.name == name; })) return;
      if (DirectoryExists(inFolder(name))) fresh.push_back({name, ReadableName(name)});
    };
    for (const auto& c : n->children)
      if (IsHiddenName(c->name)) keepHidden(c->name);
    if (IsHiddenName(pinned)) keepHidden(pinned);
    SortByName(fresh, FileNameCollator());
    const QModelIndex parent = IndexOf(n);
    auto present = [&](const std::string& name) {
      return std::any_of(fresh.begin(), fresh.end(), [&](const TSubfolder& f) { return f.name == name; });
    };
    for (int i = static_cast<int>(n->children.size()) - 1; i >= 0; --i) {
      if (present(n->children[static_cast<size_t>(i)]->name)) continue;
      beginRemoveRows(parent, i, i);
      n->children.erase(n->children.begin() + i);
      endRemoveRows();
    }
    size_t i = 0;
    for (TSubfolder& f : fresh) {
      if (i < n->children.size() && n->children[i]->name == f.name) {
        ++i;
        continue;
      }
      beginInsertRows(parent, static_cast<int>(i), static_cast<int>(i));
      auto child = std::make_unique<Node>();
      child->name = std::move(f.name);
      child->text = std::move(f.text);
      child->parent = n;
      n->children.insert(n->children.begin() + static_cast<std::ptrdiff_t>(i), std::move(child));
      Renumber(n);
      endInsertRows();
      ++i;
    }
    Renumber(n);
    n->loaded = true;
  }

  // The child of n with exactly this name, reading n again once when it is
  // not there (the folder may be newer than the reading, or hidden).
  Node* Child(Node* n, const std::string& name) {
    auto find = [&]() -> Node* {
      for (auto& c : n->children)
        if (c->name == name) return c.get();
      return nullptr;
    };
    if (!n->loaded) Load(n);
    if (Node* c = find()) return c;
    Load(n, name);
    return find();
  }

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override {
    const Node* p = NodeOf(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(p->children.size())) return {};
    return createIndex(row, 0, p->children[static_cast<size_t>(row)].get());
  }
  QModelIndex parent(const QModelIndex& index) const override {
    if (!index.isValid()) return {};
    return IndexOf(NodeOf(index)->parent);
  }
  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return static_cast<int>(NodeOf(parent)->children.size());
  }
  int columnCount(const QModelIndex& = QModelIndex()) const override { return 1; }
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override {
    const Node* n = NodeOf(parent);
    return !n->loaded || !n->children.empty();
  }
  bool canFetchMore(const QModelIndex& parent) const override { return !NodeOf(parent)->loaded; }
  void fetchMore(const QModelIndex& parent) override { Load(NodeOf(parent)); }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const Node* n = NodeOf(index);
    if (role == Qt::DisplayRole) return n->text;
    if (role == Qt::DecorationRole) return n->parent == &top_ ? rootIcon_ : folderIcon_;
    return {};
  }

 private:
  static void Renumber(Node* n) {
    for (size_t r = 0; r < n->children.size(); ++r) n->children[r]->row = static_cast<int>(r);
  }

  Node top_;  // invisible; its one child is the root "/"
  QIcon folderIcon_;
  QIcon rootIcon_;
};

TFolderTree::TFolderTree(QWidget* parent) : QTreeView(parent), model_(new TFolderModel(this)) {
  setModel(model_);
  header()->hide();
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformRowHeights(true);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    changeRaised_ = true;
    emit Change();
  });
}

bool TFolderTree::SelectPath(const std::string& path, TSelectMode mode) {
  if (path.empty()) return false;
  const std::string full = ExpandFileName(path);
  if (full.empty() || !DirectoryExists(full)) return false;
  TFolderModel::Node* node = model_->Root();
  for (size_t start = 1; start < full.size();) {
    size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    if (end > start) {
      node = model_->Child(node, full.substr(start, end - start));
      if (!node) return false;
    }
    start = end + 1;
  }
  // Read now, so a folder without subfolders shows no branch to open.
  if (!node->loaded) model_->Load(node);
  const QModelIndex index = model_->IndexOf(node);

  if (mode != TSelectMode::Return) collapseAll();
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) expand(up);
  if (mode != TSelectMode::Return) expand(index);
  changeRaised_ = false;
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index, mode == TSelectMode::Return ? EnsureVisible : PositionAtCenter);
  if (mode == TSelectMode::Move) setFocus(Qt::OtherFocusReason);
  // Moving to the folder that is already selected changes no selection; the
  // caller still hears of the move.
  if (!changeRaised_) emit Change();
  return true;
}

std::string TFolderTree::SelectedPath() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  if (rows.isEmpty()) return {};
  return TFolderModel::PathOf(model_->NodeOf(rows.first()));
}

}  // namespace trawlix
