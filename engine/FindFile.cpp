#include "engine/FindFile.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "engine/ContentSearch.h"
#include "platform/Errors.h"

namespace trawlix {

// The state a running walk uses. It is shared between the finder and the
// walk, so a finder destroyed while its walk is still on the call stack (or
// in a worker) leaves the walk with valid state to unwind on.
//
// Who touches what: Aborted is set by Abort in any thread and read by the
// walk; Busy, Destroyed and Level are written by one thread and read by
// others (Busy(), Level(), Abort()), so these four are atomic. SearchPlan
// and Worker are written only by the creating thread, before the worker
// starts and after it has been joined; ActiveTarget only by the walk.
struct TFinderCore {
  std::atomic<bool> Aborted{false};
  std::atomic<bool> Busy{false};
  std::atomic<bool> Destroyed{false};  // the finder object is gone; raise nothing more
  std::atomic<uint16_t> Level{0};
  std::unique_ptr<TTargetSearch> SearchPlan;
  const TTargetFolder* ActiveTarget = nullptr;
  std::recursive_mutex EventLock;
  std::unique_ptr<TSearchThread> Worker;
};

namespace {

std::mutex g_errorDisplayMutex;
TShowErrorProc g_errorDisplay;

void ShowWorkerError(const std::string& message) {
  TShowErrorProc proc;
  {
    std::lock_guard lock(g_errorDisplayMutex);
    proc = g_errorDisplay;
  }
  if (proc)
    proc(message);
  else
    std::fprintf(stderr, "Trawlix: %s\n", message.c_str());
}

// Nice values for the thread priorities, lowest to highest.
constexpr int kNiceOf[] = {19, 10, 5, 0, -5, -10, -20};

}  // namespace

void SetWorkerErrorDisplay(TShowErrorProc proc) {
  std::lock_guard lock(g_errorDisplayMutex);
  g_errorDisplay = std::move(proc);
}

// The folder walk. Every call into the finder is made only while the search
// is not aborted: once it is, the finder may already be gone.
struct TWalker {
  TFinderCore& core;
  TFindFile* finder;
  std::string path;  // the folder being walked, ending in "/"
  std::vector<std::unique_ptr<TFolderListing>> listings;  // one per depth, reused
  TSearchRec rec;
  size_t depth = 0;

  bool Aborted() const { return core.Aborted.load(std::memory_order_relaxed); }

  void Run() {
    const TTargetFolderList& folders = core.SearchPlan->TargetFolders();
    int n = folders.Count();
    while (!Aborted() && n > 0) {
      core.Level = 0;
      --n;
      core.ActiveTarget = &folders.Items(n);
      path = core.ActiveTarget->Folder;
      Walk();
    }
  }

  void Walk() {
    if (Aborted()) return;
    ++core.Level;
    struct LevelGuard {
      TFinderCore& c;
      ~LevelGuard() { --c.Level; }
    } levelGuard{core};
    const TTargetFolder& target = *core.ActiveTarget;

    const TFolderIgnore ignore = finder->NotifyFolderChange(path);
    if (Aborted()) return;

    const bool filePass = (ignore == fiNone || ignore == fiJustSubfolders) &&
                          core.Level >= target.MinLevel;
    const bool subfolderPass = target.Subfolders && (ignore == fiNone || ignore == fiJustThis) &&
                               (target.MaxLevel == 0 || core.Level < target.MaxLevel);
    if (!filePass && !subfolderPass) return;

    if (listings.size() <= depth) listings.push_back(std::make_unique<TFolderListing>());
    TFolderListing& listing = *listings[depth];
    struct ListingGuard {
      TFolderListing& l;
      ~ListingGuard() { l.CloseHandle(); }
    } listingGuard{listing};
    if (listing.Read(path) != 0) return;  // unreadable: no entries, no subfolders

    if (filePass) {
      // Masks are taken from the last to the first.
      size_t m = target.CompiledMasks.size();
      const uint32_t excludeAttr = ~0x37u & 0x1E;
      while (m > 0 && !Aborted()) {
        --m;
        if (Aborted()) continue;
        const TNameMask& mask = target.CompiledMasks[m];
        size_t index = 0;
        if (listing.FindNext(index, mask, excludeAttr, rec, /*skipDots=*/true) != 0) continue;
        do {
          if (finder->AcceptsEntry(path, rec) && !Aborted()) finder->NotifyFileMatch(path, rec);
          if (Aborted()) break;
          ++index;
        } while (listing.FindNext(index, mask, excludeAttr, rec, true) == 0);
      }
    }

    if (subfolderPass && !Aborted()) {
      listing.CloseHandle();  // keep one folder open at a time, however deep
      const size_t base = path.size();
      ++depth;
      struct DepthGuard {
        size_t& d;
        std::string& p;
        size_t base;
        ~DepthGuard() {
          --d;
          p.resize(base);
        }
      } depthGuard{depth, path, base};
      for (size_t i = 0; i < listing.Count() && !Aborted(); ++i) {
        if (!listing.IsDirectory(i) || listing.IsDotOrDotDot(i)) continue;
        path.resize(base);
        path.append(listing.Name(i));
        path.push_back('/');
        Walk();
      }
    }
  }
};

class TSearchThread {
 public:
  TSearchThread(std::shared_ptr<TFinderCore> core, TFindFile* finder, platform::HWND window,
                TThreadPriority priority)
      : Finder(finder), core_(std::move(core)), window_(window), priority_(priority) {}

  ~TSearchThread() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();  // released from inside its own walk: it ends by itself
    else
      thread_.join();
  }

  void Start() {
    thread_ = std::thread([core = core_, finder = Finder, window = window_,
                           nice = kNiceOf[priority_]] {
      // A priority the system refuses (raising needs privileges) is ignored.
      setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
      try {
        TWalker walker{*core, finder, {}, {}, {}, 0};
        walker.Run();
      } catch (const std::exception& e) {
        ShowWorkerError(e.what());
      } catch (...) {
      }
      platform::PostMessage(window, kSearchFinishedMessage, 0, 0);
    });
  }

  TFindFile* Finder;

 private:
  std::shared_ptr<TFinderCore> core_;
  platform::HWND window_;
  TThreadPriority priority_;
  std::thread thread_;
};

TFindFile::TFindFile(TComponent* Owner)
    : TComponent(Owner),
      core_(std::make_shared<TFinderCore>()),
      criteria_(std::make_unique<TSearchCriteria>()) {
  InitContentTables();
  notifyWindow_ = platform::AllocateHWnd([this](platform::TMessage& m) { NotifyWindowProc(m); });
}

TFindFile::~TFindFile() {
  BeginDestruction();
  const std::shared_ptr<TFinderCore> core = core_;
  if (core->Busy) {
    Abort();
    core->Destroyed = true;
    // A worker is joined here; a synchronous walk further up this thread's
    // call chain unwinds on the shared state once this returns.
    core->Worker.reset();
  }
  core->Destroyed = true;
  criteria_.reset();
  platform::DeallocateHWnd(notifyWindow_);
}

TSearchCriteria& TFindFile::Criteria() { return *criteria_; }
const TSearchCriteria& TFindFile::Criteria() const { return *criteria_; }
void TFindFile::SetCriteria(const TSearchCriteria& Value) { criteria_->Assign(&Value); }

bool TFindFile::Busy() const { return core_->Busy; }
bool TFindFile::Aborted() const { return core_->Aborted; }
uint16_t TFindFile::Level() const { return core_->Level.load(std::memory_order_relaxed); }

void TFindFile::NotifySearchBegin() {
  if (OnSearchBegin && !Destroying()) {
    TNotifyEvent handler = OnSearchBegin;
    handler(this);
  }
}

void TFindFile::NotifySearchFinish() {
  if (OnSearchFinish && !Destroying()) {
    TNotifyEvent handler = OnSearchFinish;
    handler(this);
  }
}

void TFindFile::NotifySearchAbort() {
  if (OnSearchAbort && !Destroying()) {
    TNotifyEvent handler = OnSearchAbort;
    handler(this);
  }
}

// The handlers are called through copies: a handler may destroy the finder,
// and with it the member it was called through.
TFolderIgnore TFindFile::NotifyFolderChange(const std::string& Folder) {
  TFolderIgnore result = fiNone;
  TFinderCore& core = *core_;
  if (!core.Aborted && OnFolderChange) {
    TFolderChangeEvent handler = OnFolderChange;
    std::lock_guard lock(core.EventLock);
    // An Abort from another thread may have held the lock meanwhile: once it
    // has, no handler runs any more.
    if (core.Aborted) return result;
    handler(this, Folder, result);
  }
  return result;
}

void TFindFile::NotifyFileMatch(const std::string& Folder, const TSearchRec& FileInfo) {
  TFinderCore& core = *core_;
  if (!core.Aborted && OnFileMatch) {
    TFileMatchEvent handler = OnFileMatch;
    std::lock_guard lock(core.EventLock);
    if (core.Aborted) return;
    handler(this, Folder, FileInfo);
  }
}

bool TFindFile::AcceptsEntry(const std::string& Folder, const TSearchRec& FileInfo) {
  TFinderCore& core = *core_;
  if (core.Aborted) return false;
  return core.SearchPlan->Matches(Folder, FileInfo);
}

void TFindFile::BeginSearch() {
  TFinderCore& core = *core_;
  core.Busy = true;
  core.Aborted = false;
  try {
    core.SearchPlan = std::make_unique<TTargetSearch>(*criteria_);
    // A content scan stops between blocks once the search is aborted.
    core.SearchPlan->SetAbortFlag(&core.Aborted);
  } catch (...) {
    core.Busy = false;
    throw;
  }
}

void TFindFile::EndSearch() {
  const std::shared_ptr<TFinderCore> core = core_;
  // The plan and the busy state are released even when OnSearchFinish
  // raises an error (or releases the finder).
  struct Release {
    TFinderCore& c;
    ~Release() {
      c.SearchPlan.reset();
      c.ActiveTarget = nullptr;
      c.Busy = false;
    }
  } release{*core};
  NotifySearchFinish();
}

void TFindFile::SearchTargets() {
  const std::shared_ptr<TFinderCore> core = core_;
  TWalker walker{*core, this, {}, {}, {}, 0};
  walker.Run();
}

void TFindFile::Execute() {
  const std::shared_ptr<TFinderCore> core = core_;
  if (core->Busy) return;
  BeginSearch();

  // Ends the search unless the finder was released meanwhile; then only the
  // walk's own state is cleaned up and no event is raised.
  auto finish = [&] {
    if (core->Destroyed) {
      core->SearchPlan.reset();
      core->Busy = false;
    } else {
      EndSearch();
    }
  };

  try {
    NotifySearchBegin();
  } catch (...) {
    // A failing OnSearchBegin must not leave the finder busy for good.
    finish();
    throw;
  }
  if (core->Destroyed) {
    finish();
    return;
  }

  if (!threaded_) {
    try {
      SearchTargets();
    } catch (...) {
      finish();
      throw;
    }
    finish();
    return;
  }

  try {
    auto worker = std::make_unique<TSearchThread>(core, this, notifyWindow_, threadPriority_);
    worker->Start();
    core->Worker = std::move(worker);
  } catch (...) {
    // Whatever kept the worker from starting (no thread to be had, no
    // memory for it), the search ends as a failed start: the finish step
    // runs, then the error reaches the caller. The reason is taken without
    // allocating, as memory may be what is missing.
    const char* reason = "unbekannter Fehler";
    try {
      throw;
    } catch (const std::system_error& e) {
      reason = std::strerror(e.code().value());
    } catch (const std::bad_alloc&) {
      reason = std::strerror(ENOMEM);
    } catch (const std::exception& e) {
      reason = e.what();
    } catch (...) {
    }
    EndSearch();
    throw EThread(std::string("Fehler beim Erzeugen des Thread: ") + reason);
  }
}

void TFindFile::Abort() {
  const std::shared_ptr<TFinderCore> core = core_;
  if (!core->Busy || core->Aborted) return;
  core->Aborted = true;
  // Wait until no handler runs, keeping this thread's messages flowing.
  while (!core->EventLock.try_lock()) {
    platform::PumpOnce();
    std::this_thread::yield();
  }
  std::lock_guard lock(core->EventLock, std::adopt_lock);
  if (!core->Destroyed) NotifySearchAbort();
}

void TFindFile::NotifyWindowProc(platform::TMessage& Message) {
  if (Message.Msg == kSearchFinishedMessage) {
    core_->Worker.reset();  // waits for the worker to end
    EndSearch();
  } else {
    platform::DefWindowProc(Message);
  }
}

}  // namespace trawlix
