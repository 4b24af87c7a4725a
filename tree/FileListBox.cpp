#include "tree/FileListBox.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <optional>

#include "platform/DirEnum.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "tree/ReadableName.h"
#include "tree/WaitCursor.h"

namespace trawlix {

namespace {

// Entries the list never shows.
constexpr uint32_t kLeftOut = faHidden | faSysFile | faVolumeID | faDirectory;

// From this many entries on, a reading shows the wait cursor.
constexpr size_t kBusyFrom = 101;

// The path that enters folder: opening "folder/." needs the right to search
// the folder as well as to read it, as changing into it would.
std::string EnterPath(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/') return folder + ".";
  return folder + "/.";
}

std::string NormalFolder(const std::string& folder) {
  std::string p = ExpandFileName(folder);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

QString DisplayName(const std::string& bytes) { return ReadableName(bytes); }

QPixmap DrawPicture(bool program) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  if (program) {
    // A small application window: frame, title bar, client area.
    p.setPen(QColor(40, 40, 40));
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 13, 11);
    p.fillRect(2, 3, 12, 3, QColor(0, 0, 128));
    p.fillRect(11, 4, 2, 1, Qt::white);
    p.fillRect(3, 8, 4, 3, QColor(192, 192, 192));
  } else {
    // A page with a folded corner and a few lines of text.
    const QPoint page[] = {{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}};
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawPolygon(page, 5);
    p.drawLine(10, 1, 10, 4);
    p.drawLine(10, 4, 13, 4);
    p.setPen(QColor(150, 150, 150));
    for (int y = 6; y <= 12; y += 2) p.drawLine(5, y, 11, y);
  }
  return pm;
}

}  // namespace

// The rows of the list over plain storage: one reset per reading.
class TFileListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : static_cast<int>(entries.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(entries.size())) return {};
    const TFileListEntry& e = entries[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return e.text;
    if (role == Qt::DecorationRole) return e.program ? programIcon : fileIcon;
    return {};
  }

  void Replace(std::vector<TFileListEntry>&& fresh) {
    beginResetModel();
    entries.swap(fresh);
    endResetModel();
  }

  std::vector<TFileListEntry> entries;
  // Drawn once per list; they go with the window, while the application
  // that pixmaps need still exists.
  const QIcon programIcon = FileListIcon(true);
  const QIcon fileIcon = FileListIcon(false);
};

bool IsProgramName(std::string_view name) {
  if (name.size() < 4 || name[name.size() - 4] != '.') return false;
  std::string ext(name.substr(name.size() - 3));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == "exe" || ext == "com" || ext == "bat" || ext == "pif";
}

QIcon FileListIcon(bool program) { return QIcon(DrawPicture(program)); }

QCollator FileNameCollator() {
  QLocale locale = QLocale::system();
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::German, QLocale::Germany);
  QCollator collator(locale);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  return collator;
}

int ReadFileNames(const std::string& folder, const std::string& masks, const QCollator& collator,
                  std::vector<TFileListEntry>& entries, const std::function<void()>& onBusy) {
  entries.clear();
  // No folder (the current folder could not be determined) lists nothing;
  // it is not the root.
  if (folder.empty()) return kErrPathNotFound;
  TFolderListing listing;
  if (const int rc = listing.Read(EnterPath(folder)); rc != 0) return rc;

  std::vector<TFileListEntry> found;
  bool busy = false;
  TSearchRec rec;
  for (size_t start = 0; start <= masks.size();) {
    size_t end = masks.find(';', start);
    if (end == std::string::npos) end = masks.size();
    const std::string_view piece(masks.data() + start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    const TNameMask mask(piece);
    for (size_t i = 0; listing.FindNext(i, mask, kLeftOut, rec, true) == 0; ++i) {
      found.push_back({rec.Name, DisplayName(rec.Name), IsProgramName(rec.Name)});
      if (!busy && found.size() == kBusyFrom) {
        busy = true;
        if (onBusy) onBusy();
      }
    }
  }
  listing.Clear();

  SortByName(found, collator);
  entries = std::move(found);
  return 0;
}

TFileListBox::TFileListBox(QWidget* parent) : QListView(parent), model_(new TFileListModel(this)) {
  setModel(model_);
  setUniformItemSizes(true);
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { SelectionChanged(); });
  // The start folder is whatever the program was started in; a folder that
  // cannot be read there leaves the list empty.
  directory_ = GetCurrentDir();
  std::vector<TFileListEntry> entries;
  if (ReadFileNames(directory_, mask_, FileNameCollator(), entries) == 0) model_->Replace(std::move(entries));
}

int TFileListBox::Count() const { return static_cast<int>(model_->entries.size()); }

const TFileListEntry& TFileListBox::Entry(int i) const { return model_->entries.at(static_cast<size_t>(i)); }

std::string TFileListBox::FileName() const { return selected_ >= 0 ? Entry(selected_).name : std::string(); }

std::string TFileListBox::FileEditBytes() const {
  if (!edit_) return {};
  const QString text = edit_->text();
  if (text == editText_) return editBytes_;
  return QFile::encodeName(text).toStdString();
}

bool TFileListBox::FileEditIsPickedName() const { return edit_ && editIsName_ && edit_->text() == editText_; }

void TFileListBox::SetDirectory(const std::string& folder) {
  const std::string target = NormalFolder(folder);
  // Linux names tell letter case apart: only the same bytes are the same
  // folder.
  if (target == directory_) return;
  std::optional<TWaitCursor> busy;
  std::vector<TFileListEntry> entries;
  const int rc = ReadFileNames(target, mask_, FileNameCollator(), entries, [&busy] { busy.emplace(); });
  if (rc != 0) throw EInOutError(rc);
  directory_ = target;
  Show(std::move(entries));
}

void TFileListBox::SetMask(const std::string& mask) {
  if (mask == mask_) return;
  mask_ = mask;
  Reread();
}

void TFileListBox::Reread() {
  std::optional<TWaitCursor> busy;
  std::vector<TFileListEntry> entries;
  ReadFileNames(directory_, mask_, FileNameCollator(), entries, [&busy] { busy.emplace(); });
  Show(std::move(entries));
}

void TFileListBox::Show(std::vector<TFileListEntry>&& entries) {
  resetting_ = true;
  model_->Replace(std::move(entries));
  selectionModel()->clear();
  resetting_ = false;
  selected_ = -1;
  ChangeStep();
}

void TFileListBox::SelectionChanged() {
  if (resetting_) return;
  const QModelIndexList rows = selectionModel()->selectedRows();
  const int row = rows.isEmpty() ? -1 : rows.first().row();
  if (row == selected_) return;
  selected_ = row;
  ChangeStep();
}

void TFileListBox::ChangeStep() {
  if (!edit_) return;
  if (selected_ >= 0) {
    editBytes_ = Entry(selected_).name;
    editText_ = Entry(selected_).text;
    editIsName_ = true;
  } else {
    editIsName_ = false;
    editBytes_ = mask_;
    editText_ = DisplayName(mask_);
  }
  edit_->setText(editText_);
  edit_->selectAll();
}

}  // namespace trawlix
