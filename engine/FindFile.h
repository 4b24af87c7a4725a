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

  // Starts a search; does nothing while one runs. Synchronous: returns when
  // the search is over. Threaded: returns once the worker has started.
  void Execute();
  // Asks a running search to stop; does nothing when idle or stopping.
  void Abort();

  bool Busy() const;
  bool Aborted() const;
  uint16_t Level() const;
  platform::HWND NotifyWindow() const { return notifyWindow_; }

 protected:
  virtual void NotifySearchBegin();
  virtual void NotifySearchFinish();
  virtual void NotifySearchAbort();
  virtual TFolderIgnore NotifyFolderChange(const std::string& Folder);
  virtual void NotifyFileMatch(const std::string& Folder, const TSearchRec& FileInfo);
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
