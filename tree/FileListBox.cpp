#include "tree/FileListBox.h"

#include <QCollator>
#include <QStyle>
#include <algorithm>

#include "platform/DirEnum.h"
#include "platform/Paths.h"

namespace trawlix {

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setUniformItemSizes(true);
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  SetDirectory(GetCurrentDir());
}

void TFileListBox::SetDirectory(const std::string& directory) {
  directory_ = directory;
  Reread();
}

void TFileListBox::Reread() {
  clear();
  TFolderListing listing;
  if (listing.Read(directory_) != 0) return;
  QStringList names;
  for (size_t i = 0; i < listing.Count(); ++i) {
    if (listing.IsDirectory(i) || listing.IsDotOrDotDot(i)) continue;
    const std::string_view n = listing.Name(i);
    names.push_back(QString::fromUtf8(n.data(), static_cast<qsizetype>(n.size())));
  }
  listing.CloseHandle();
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::sort(names.begin(), names.end(),
            [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
  const QIcon icon = style()->standardIcon(QStyle::SP_FileIcon);
  for (const QString& n : names) addItem(new QListWidgetItem(icon, n));
}

}  // namespace trawlix
