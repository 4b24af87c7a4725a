// TFileListBox: the list of the files in one folder. Its folder is where
// the window searches. It starts at the process's current folder.
//
// The folder is kept as the bytes the system knows it by; the listed names
// are for display.
//
// User-interface thread only.
#pragma once

#include <QListWidget>
#include <string>

namespace trawlix {

class TFileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  // The current folder, without a trailing "/" (the root is "/").
  const std::string& Directory() const { return directory_; }
  // Moves to the folder and lists its files (hidden ones included), sorted
  // by name. A folder that cannot be read gives an empty list.
  void SetDirectory(const std::string& directory);

 private:
  void Reread();
  std::string directory_;
};

}  // namespace trawlix
