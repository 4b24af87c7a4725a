// TFileListBox: the files of one folder. Its folder is where the window
// searches; it starts at the process's current folder with the mask "*.*".
//
// The list shows the entries of its folder that one of the masks of its mask
// text selects (masks separated by ";", each listed in turn), leaving out
// folders, hidden entries (names beginning with ".") and system entries
// (devices, FIFOs, sockets). Symbolic links are entries of their own and are
// listed. The entries are ordered by name without regard to case in the
// user's collation.
//
// Names are kept as the bytes the system returned; the text drawn is their
// decoding for display only. A linked edit field (SetFileEdit) receives the
// list's mask after every reading, or the name of the entry the user
// selects, with its whole text selected. FileEditBytes gives back the exact
// bytes of what the list wrote there for as long as the user has not changed
// the text, so a picked name that is not valid UTF-8 still names its file.
//
// The folder changes only through SetDirectory, the mask only through
// SetMask; each change reads the folder again. User-interface thread only.
#pragma once

#include <QCollator>
#include <QCollatorSortKey>
#include <QIcon>
#include <QListView>
#include <QString>
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;

namespace trawlix {

struct TFileListEntry {
  std::string name;  // the bytes as stored
  QString text;      // for display
  bool program = false;
};

// True for names ending in ".exe", ".com", ".bat" or ".pif" (any letter
// case): they are drawn with the program picture.
bool IsProgramName(std::string_view name);

// Draws one of the two pictures of the list: the one for programs or the one
// for other files.
QIcon FileListIcon(bool program);

// Reads the entries of folder for the ";"-separated masks into entries,
// sorted by collator (ties by bytes). onBusy, when given, is called once, at
// the moment the 101st entry is taken: the caller shows the wait cursor from
// then on until the reading is over. Returns 0, or the error code of the
// failure when the folder cannot be entered or read (entries then empty).
int ReadFileNames(const std::string& folder, const std::string& masks, const QCollator& collator,
                  std::vector<TFileListEntry>& entries, const std::function<void()>& onBusy = nullptr);

class TFileListModel;

class TFileListBox : public QListView {
  Q_OBJECT
 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  // The current folder, without a trailing "/" (the root is "/").
  const std::string& Directory() const { return directory_; }
  // Moves to folder (made absolute, "." and ".." removed, symbolic links
  // kept) and reads it. Moving to the current folder does nothing. A folder
  // that cannot be entered or read throws EInOutError with its error code;
  // the list then keeps its folder and its entries.
  void SetDirectory(const std::string& folder);

  const std::string& Mask() const { return mask_; }
  // Sets the mask text and, when it differs, reads the folder again. A
  // folder that can no longer be read then shows no entries.
  void SetMask(const std::string& mask);

  // The edit field the list writes into; not owned, may be null.
  void SetFileEdit(QLineEdit* edit) { edit_ = edit; }
  QLineEdit* FileEdit() const { return edit_; }
  // The edit field's text as bytes: exactly what the list wrote into it
  // while the text is unchanged, else the typed text in the file-name
  // encoding.
  std::string FileEditBytes() const;
  // True while the edit field shows, unchanged, the name of the entry the
  // user picked: FileEditBytes is then one exact name, not mask text.
  bool FileEditIsPickedName() const;

  int Count() const;
  const TFileListEntry& Entry(int i) const;
  // The selected entry, or -1.
  int ItemIndex() const { return selected_; }
  // The selected entry's name, or an empty text.
  std::string FileName() const;

 private:
  void Reread();
  void Show(std::vector<TFileListEntry>&& entries);
  void SelectionChanged();
  void ChangeStep();

  TFileListModel* model_;
  std::string directory_;
  std::string mask_ = "*.*";
  int selected_ = -1;
  bool resetting_ = false;
  QLineEdit* edit_ = nullptr;
  std::string editBytes_;
  QString editText_;
  bool editIsName_ = false;
};

// The collation of names in the list: the user's locale, German under the
// C/POSIX locale; letter case ignored.
QCollator FileNameCollator();

// Orders items (each with a drawn QString text and the bytes of its name)
// by text in collator, ties by bytes. One sort key per item keeps the
// collation out of the comparisons.
template <class T>
void SortByName(std::vector<T>& items, const QCollator& collator) {
  std::vector<QCollatorSortKey> keys;
  keys.reserve(items.size());
  for (const T& e : items) keys.push_back(collator.sortKey(e.text));
  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const int c = keys[a].compare(keys[b]);
    return c != 0 ? c < 0 : items[a].name < items[b].name;
  });
  std::vector<T> sorted;
  sorted.reserve(items.size());
  for (size_t i : order) sorted.push_back(std::move(items[i]));
  items.swap(sorted);
}

}  // namespace trawlix
