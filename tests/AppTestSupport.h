// Helpers for the window tests: a private settings store per test, and a way
// to meet the permission checks that root normally passes over.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <fstream>
#include <functional>
#include <string>

#include "PermissionOverride.h"
#include "TempTree.h"
#include "app/Tx_main.h"
#include "tree/FileListBox.h"

namespace trawlix::test {

// Runs a search of folder with mask through the window's handler; onFolder
// runs between folders, when the window lets input through.
inline void RunSearch(TfrmTrawlix& frm, const std::string& folder, const QString& mask,
                      const std::function<void()>& onFolder) {
  frm.FileListBox1->SetDirectory(folder);
  frm.edtFileMask->setText(mask);
  QTimer poll;
  if (onFolder) {
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, onFolder);
    poll.start();
  }
  frm.btnSearchClick(frm.btnSearch);
}

// Points the per-user settings store at a fresh temporary folder while it
// lives, and back at the test program's folder afterwards. (Qt's test mode
// of the standard paths ignores XDG_CONFIG_HOME, so the store's folder is
// set directly.)
class StoreFolder {
 public:
  StoreFolder() { Use(folder_.Path("config")); }
  ~StoreFolder() { Use(DefaultRoot()); }
  StoreFolder(const StoreFolder&) = delete;
  StoreFolder& operator=(const StoreFolder&) = delete;

  // Where the settings of the program live for the store.
  std::string ConfPath() const { return root_ + "/Vendrel/VD_Trawlix.conf"; }
  // Uses root as the folder of per-user settings (it need not exist).
  void Use(const std::string& root) {
    root_ = root;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(root));
  }
  // Writes the store file with exactly these bytes.
  void Write(const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(ConfPath()).parent_path());
    std::ofstream(ConfPath(), std::ios::binary | std::ios::trunc) << bytes;
  }
  const TempTree& Folder() const { return folder_; }

  // The folder the test program set up for stores no test asked for.
  static std::string& DefaultRoot() {
    static std::string root;
    return root;
  }

 private:
  TempTree folder_;
  std::string root_;
};

}  // namespace trawlix::test
