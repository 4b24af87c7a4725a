// TFindFile: the finder component. A caller fills Criteria, sets handlers
// and calls Execute; the finder builds a search plan from a copy of the
// criteria, walks every target folder depth first and reports through
// events.
//
// Threads: the thread that creates the finder calls Execute, Abort and the
// setters, and receives the end of a threaded search through its message
// queue (platform::ProcessMessages or the program's bridge to its event
// loop). In threaded mode one worker thread walks and raises OnFolderChange
// and OnFileMatch; Abort may be called from any thread.
//
// Ownership: the finder owns its criteria and, while a search runs, the plan.
// Destroying a busy finder aborts the search first. A threaded search is then
// joined; a synchronous walk that is still running further up the same call
// chain (a handler dispatched messages and one of them destroyed the finder)
// keeps the walk's state alive until it has unwound, and raises no event any
// more.
//
// Depth has no limit: every folder is reached relative to its parent's
// descriptor, so no path handed to the system grows with the depth, and the
// folder texts of the events hold full paths of any length.
//
// Folders the walk cannot open or read (access denied, an I/O error, no
// descriptor to be had) are reported through OnFolderError and counted in
// UnreadableFolders(); their entries and subfolders are missing from the
// result. A subfolder that vanished, or was replaced by something that is no
// folder, between the listing of its parent and its opening is not reported:
// there is nothing left of it to read.
//
// The walk never leaves a target folder: each subfolder is opened relative
// to its parent's descriptor without following a symbolic link (a folder
// swapped for a link after the listing yields nothing), untriggered
// automount points are not entered, and the kernel's pseudo file systems
// (proc, sysfs, devtmpfs ...) are passed over unless the target lies on one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/Component.h"
#include "engine/SearchCriteria.h"
#include "engine/TargetSearch.h"
#include "platform/DirEnum.h"
#include "platform/MessageQueue.h"

namespace trawlix {

enum TFolderIgnore { fiNone, fiJustThis, fiJustSubfolders, fiThisAndSubfolders };

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TFindFile;

using TFileMatchEvent =
    std::function<void(TFindFile* Sender, const std::string& Folder, const TSearchRec& FileInfo)>;
using TFolderChangeEvent =
    std::function<void(TFindFile* Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder)>;
using TNotifyEvent = std::function<void(TFindFile* Sender)>;
// Folder: as OnFolderChange gave it; ErrorCode: in the numbering of
// platform/Errors.h (5 access denied, 4 too many open files, 2 a target that
// does not exist, kErrnoCodeBase + errno for an I/O error and the like).
using TFolderErrorEvent =
    std::function<void(TFindFile* Sender, const std::string& Folder, int ErrorCode)>;

// The message the worker posts to the finder's message window at its end.
inline constexpr uint32_t kSearchFinishedMessage = platform::WM_USER + 1;  // 1025

// How the worker thread shows an error raised inside it (the message text).
// Set by the program; by default the text goes to standard error. Called in
// the worker thread.
using TShowErrorProc = std::function<void(const std::string& Message)>;
void SetWorkerErrorDisplay(TShowErrorProc proc);

class TSearchThread;
struct TFinderCore;

class TFindFile : public TComponent {
 public:
  explicit TFindFile(TComponent* Owner = nullptr);
  ~TFindFile() override;

  TSearchCriteria& Criteria();
  const TSearchCriteria& Criteria() const;
  void SetCriteria(const TSearchCriteria& Value);
  bool Threaded() const { return threaded_; }
  void SetThreaded(bool v) { threaded_ = v; }
  TThreadPriority ThreadPriority() const { return threadPriority_; }
  void SetThreadPriority(TThreadPriority v) { threadPriority_ = v; }

  TFileMatchEvent OnFileMatch;
  TFolderChangeEvent OnFolderChange;
  TNotifyEvent OnSearchBegin;
  TNotifyEvent OnSearchFinish;
  TNotifyEvent OnSearchAbort;
  // A folder the walk entered could not be opened or read. Raised right
  // after that folder's OnFolderChange, in the thread that walks and under
  // the same lock, once per folder; not raised when the handler of
  // OnFolderChange asked for neither its files nor its subfolders, nor once
  // the search is aborted.
  TFolderErrorEvent OnFolderError;

  // Starts a search; does nothing while one runs. Synchronous: returns when
  // the search is over. Threaded: returns once the worker has started.
  void Execute();
  // Asks a running search to stop; does nothing when idle or stopping.
  void Abort();

  bool Busy() const;
  bool Aborted() const;
  uint16_t Level() const;
  // The folders of the current or last search that raised OnFolderError
  // (counted also without a handler); 0 again when a search begins.
  uint32_t UnreadableFolders() const;
  platform::HWND NotifyWindow() const { return notifyWindow_; }

 protected:
  virtual void NotifySearchBegin();
  virtual void NotifySearchFinish();
  virtual void NotifySearchAbort();
  virtual TFolderIgnore NotifyFolderChange(const std::string& Folder);
  virtual void NotifyFileMatch(const std::string& Folder, const TSearchRec& FileInfo);
  virtual void NotifyFolderError(const std::string& Folder, int ErrorCode);
  virtual bool AcceptsEntry(const std::string& Folder, const TSearchRec& FileInfo);

 private:
  friend class TSearchThread;
  friend struct TWalker;

  void BeginSearch();
  void EndSearch();
  void SearchTargets();
  void NotifyWindowProc(platform::TMessage& Message);

  std::shared_ptr<TFinderCore> core_;
  std::unique_ptr<TSearchCriteria> criteria_;
  bool threaded_ = false;
  TThreadPriority threadPriority_ = tpNormal;
  platform::HWND notifyWindow_ = 0;
};

}  // namespace trawlix
