// TVDOptions: the per-user settings of the main window — its geometry and the
// folder last selected in the folder tree — kept in the QSettings store of
// organisation "Vendrel" and application "VD_Trawlix"
// ($XDG_CONFIG_HOME/Vendrel/VD_Trawlix.conf).
//
// The store is read once, when it is created, and written once, when the
// window closes. Values are read and written in the order WinMainTop,
// WinMainLeft, WinMainHeight, WinMainWidth, LastDir; a read stops at the
// first value that is missing or of the wrong type (an integer must read as
// a 32-bit integer), keeping what was read before it. A missing LastDir
// reads as empty. A store that does not exist yet, or cannot be opened,
// leaves the defaults without a word; every other failure to read or to
// write is told through the window's message seam, and the program goes on.
//
// The fields start at their defaults (600 x 600 at 0, 0), so the window has
// a usable size even when the store could not be created at all.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/CriteriaFields.h"

class QSettings;

namespace trawlix {

class TUserInteraction;

class TVDOptions {
 public:
  // Creates the store and loads the settings.
  explicit TVDOptions(TUserInteraction& ui);
  ~TVDOptions();
  TVDOptions(const TVDOptions&) = delete;
  TVDOptions& operator=(const TVDOptions&) = delete;

  int32_t WinMainHeight = 600;
  int32_t WinMainLeft = 0;
  int32_t WinMainWidth = 600;
  int32_t WinMainTop = 0;
  std::string LastDir;
  // The further search criteria, under keys of their own (group
  // "Kriterien"); a value that cannot be read is dropped with the message of
  // an unreadable store, and the five values above are read as before.
  TCriteriaFields Criteria;

  void LoadSettings();
  void SaveSettings();

  // True when the last LoadSettings read both WinMainHeight and
  // WinMainWidth from the store; false at the first start and after a read
  // that failed before them, when the two fields hold their defaults.
  bool SizeStored() const { return sizeStored_; }

 private:
  TUserInteraction& ui_;
  std::unique_ptr<QSettings> settings_;
  bool unparsable_ = false;  // the file read could not be parsed
  bool sizeStored_ = false;
};

}  // namespace trawlix
