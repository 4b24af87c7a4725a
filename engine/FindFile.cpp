#include "engine/FindFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <typeinfo>
#include <utility>

#include "engine/ContentSearch.h"
#include "platform/Errors.h"
#include "platform/FileSystems.h"

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
  std::atomic<uint32_t> Unreadable{0};  // written by the walk, read by anyone
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

// Raises an event of the walk under the event lock, unless the search is
// aborted. No handler, no lock. The handler is called through a copy: it may
// destroy the finder, and with it the member it was called through. An
// Abort from another thread may have held the lock meanwhile: once it has,
// no handler runs any more.
template <class Event, class... Args>
void RaiseLocked(TFinderCore& core, const Event& event, Args&&... args) {
  if (core.Aborted || !event) return;
  Event handler = event;
  std::lock_guard lock(core.EventLock);
  if (core.Aborted) return;
  handler(std::forward<Args>(args)...);
}

// Nice values for the thread priorities, lowest to highest.
constexpr int kNiceOf[] = {19, 10, 5, 0, -5, -10, -20};

}  // namespace

void SetWorkerErrorDisplay(TShowErrorProc proc) {
  std::lock_guard lock(g_errorDisplayMutex);
  g_errorDisplay = std::move(proc);
}

// One folder of the walk's current chain, reused for every folder at that
// depth.
struct TWalkLevel {
  TFolderListing listing;  // its names; holds its descriptor while open
  dev_t dev = 0;
  ino_t ino = 0;
  TFsKind kind = TFsKind::Plain;
  size_t nameStart = 0;  // where its name begins in the walker's path
  size_t nameLength = 0;
};

// The folder walk. Every call into the finder is made only while the search
// is not aborted: once it is, the finder may already be gone.
//
// Each subfolder is opened relative to its parent's descriptor with
// O_NOFOLLOW | O_DIRECTORY, so a folder swapped for a symbolic link after
// the listing is not followed out of the tree, and entries are examined
// relative to their folder; no path handed to the system grows with the
// depth, so the walk has no depth limit. The descriptors of the current
// chain stay open, at most kHeldFolders of them besides the target's; a
// folder whose descriptor was given up is opened again from the nearest open
// one, name by name in the same way, and must be the same folder (device and
// inode) as before. The folders opened on the way keep their descriptors as
// far as the bound allows, so the walk back up a deep chain opens each of
// them once, not once per folder below. Subfolders on another device are looked at before they are
// entered: a kernel pseudo file system is passed over unless the target
// itself lies on one, and where automount points may exist a folder is
// examined with AT_NO_AUTOMOUNT first and an untriggered automount point is
// not entered. Memory grows with the depth of the tree, not its size.
struct TWalker {
  TWalker(TFinderCore& c, TFindFile* f) : core(c), finder(f) {}

  TFinderCore& core;
  TFindFile* finder;
  std::string path;  // the folder being walked, ending in "/"
  std::vector<std::unique_ptr<TWalkLevel>> levels;  // one per depth, reused
  TSearchRec rec;
  size_t depth = 0;

  static constexpr size_t kHeldFolders = 64;
  static constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;

  TMountTable mounts;
  bool pseudoAllowed = false;  // the target lies on a pseudo file system
  uint32_t excludeAttr = 0;

  bool Aborted() const { return core.Aborted.load(std::memory_order_relaxed); }

  void Run() {
    const TTargetSearch& plan = *core.SearchPlan;
    mounts = TMountTable::Current();
    // Directories the plan refuses need no examination in the file pass,
    // unless a derived finder decides acceptance itself.
    excludeAttr = ~0x37u & 0x1E;
    if (plan.RefusesDirectories() && typeid(*finder) == typeid(TFindFile)) excludeAttr |= faDirectory;
    const TTargetFolderList& folders = plan.TargetFolders();
    int n = folders.Count();
    while (!Aborted() && n > 0) {
      core.Level = 0;
      --n;
      core.ActiveTarget = &folders.Items(n);
      path = core.ActiveTarget->Folder;
      depth = 0;
      Walk(-1);
    }
  }

  TWalkLevel& LevelAt(size_t d) {
    while (levels.size() <= d) levels.push_back(std::make_unique<TWalkLevel>());
    return *levels[d];
  }

  // The error code to report for a folder that could not be opened, or 0
  // when it is simply no longer there as a folder (it vanished, or a file or
  // a link took its place).
  static int ReportedOpenError(int err) {
    return err == ENOENT || err == ENOTDIR || err == ELOOP ? 0 : ErrnoToErrorCode(err);
  }

  // The descriptor of the folder at depth d of the chain, opened again when
  // it was given up; -1 when it can no longer be reached as it was, with
  // error the code to report for it (0: it is no longer the folder listed).
  int EnsureOpen(size_t d, int& error) {
    error = 0;
    if (levels[d]->listing.Handle() >= 0) return levels[d]->listing.Handle();
    size_t j = d;
    while (j > 0 && levels[j]->listing.Handle() < 0) --j;
    int fd = levels[j]->listing.Handle();
    if (fd < 0) return -1;
    bool owned = false;  // fd belongs to no listing
    for (size_t m = j + 1; m <= d; ++m) {
      TWalkLevel& lv = *levels[m];
      const std::string name = path.substr(lv.nameStart, lv.nameLength);
      const int next = ::openat(fd, name.c_str(), kOpenFlags | O_NOFOLLOW);
      const int err = errno;
      if (owned) ::close(fd);
      if (next < 0) {
        error = ReportedOpenError(err);
        return -1;
      }
      struct stat st;
      if (::fstat(next, &st) != 0 || st.st_dev != lv.dev || st.st_ino != lv.ino) {
        ::close(next);
        return -1;
      }
      fd = next;
      owned = d - m >= kHeldFolders;
      if (!owned) lv.listing.Reattach(fd);
    }
    return fd;
  }

  // Counts the folder at path as unreadable and tells the finder.
  void ReportUnreadable(int code) {
    if (Aborted()) return;
    core.Unreadable.fetch_add(1, std::memory_order_relaxed);
    finder->NotifyFolderError(path, code);
  }

  // Opens the subfolder name of the folder at the current depth into
  // child's listing slot. Returns the descriptor, -1 when it cannot be
  // opened (the walk still enters it and finds nothing; error is the code to
  // report for it, or 0), or -2 when it is not to be entered at all.
  int OpenSubfolder(int parentFd, const TWalkLevel& parent, std::string_view nameView, TWalkLevel& child,
                    int& error) {
    error = 0;
    const std::string name(nameView);
    if (parent.kind != TFsKind::Plain || mounts.AutomountAnywhere()) {
      struct statx stx;
      if (::statx(parentFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE, &stx) == 0 &&
          (stx.stx_attributes_mask & STATX_ATTR_AUTOMOUNT) && (stx.stx_attributes & STATX_ATTR_AUTOMOUNT))
        return -2;
    }
    const int fd = ::openat(parentFd, name.c_str(), kOpenFlags | O_NOFOLLOW);
    if (fd < 0) {
      error = ReportedOpenError(errno);
      return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      error = ErrnoToErrorCode(errno);
      ::close(fd);
      return -1;
    }
    child.dev = st.st_dev;
    child.ino = st.st_ino;
    child.kind = st.st_dev == parent.dev ? parent.kind : mounts.KindOf(fd, st.st_dev);
    if (child.kind == TFsKind::Pseudo && !pseudoAllowed) {
      ::close(fd);
      return -2;
    }
    return fd;
  }

  // Walks the folder at path and depth. fd is its open descriptor, or -1:
  // the target is opened here, after its folder event, and a subfolder that
  // could not be opened yields nothing (and is reported with openError
  // unless that is 0).
  void Walk(int fd, int openError = 0) {
    struct FdGuard {
      int fd;
      ~FdGuard() {
        if (fd >= 0) ::close(fd);
      }
    } fdGuard{fd};
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

    TWalkLevel& level = LevelAt(depth);
    TFolderListing& listing = level.listing;
    struct ListingGuard {
      TFolderListing& l;
      ~ListingGuard() { l.CloseHandle(); }
    } listingGuard{listing};

    if (depth == 0) {
      // The target is the folder the caller named: a link to a folder is
      // followed there, as the caller's own path would be.
      fdGuard.fd = OpenPath(path, kOpenFlags);
      struct stat st;
      if (fdGuard.fd < 0 || ::fstat(fdGuard.fd, &st) != 0) {
        ReportUnreadable(ErrnoToErrorCode(errno));
        return;
      }
      level.dev = st.st_dev;
      level.ino = st.st_ino;
      level.kind = mounts.KindOf(fdGuard.fd, st.st_dev);
      pseudoAllowed = level.kind == TFsKind::Pseudo;
    }
    if (fdGuard.fd < 0) {
      if (openError != 0) ReportUnreadable(openError);
      return;
    }
    const int own = fdGuard.fd;
    fdGuard.fd = -1;  // the listing owns it now
    if (const int err = listing.Read(own)) {  // no entries, no subfolders
      ReportUnreadable(err);
      return;
    }
    listing.KeepExamined(target.CompiledMasks.size() > 1);

    if (filePass) {
      // Masks are taken from the last to the first.
      size_t m = target.CompiledMasks.size();
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
      // Names without details: the folder may be read but not searched.
      if (const int err = listing.ExamineError()) ReportUnreadable(err);
    }

    if (subfolderPass && !Aborted()) {
      const size_t base = path.size();
      struct DepthGuard {
        size_t& d;
        std::string& p;
        size_t base;
        ~DepthGuard() {
          --d;
          p.resize(base);
        }
      } depthGuard{++depth, path, base};
      const size_t parentDepth = depth - 1;
      for (size_t i = 0; i < listing.Count() && !Aborted(); ++i) {
        if (!listing.IsDirectory(i) || listing.IsDotOrDotDot(i)) continue;
        int reopenError = 0;
        const int parentFd = EnsureOpen(parentDepth, reopenError);
        if (parentFd < 0) {  // the rest of this folder cannot be reached
          path.resize(base);
          if (reopenError != 0) ReportUnreadable(reopenError);
          break;
        }
        const std::string_view name = listing.Name(i);
        path.resize(base);
        path.append(name);
        path.push_back('/');
        TWalkLevel& child = LevelAt(depth);
        child.nameStart = base;
        child.nameLength = name.size();
        int openError = 0;
        const int childFd = OpenSubfolder(parentFd, *levels[parentDepth], name, child, openError);
        if (childFd == -2) continue;
        // Give up the oldest held descriptor of the chain (never the
        // target's) so a deep tree does not run out of them.
        if (depth > kHeldFolders) levels[depth - kHeldFolders]->listing.CloseHandle();
        Walk(childFd, openError);
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
        TWalker walker(*core, finder);
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
uint32_t TFindFile::UnreadableFolders() const { return core_->Unreadable.load(std::memory_order_relaxed); }

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
  RaiseLocked(*core_, OnFolderChange, this, Folder, result);
  return result;
}

void TFindFile::NotifyFileMatch(const std::string& Folder, const TSearchRec& FileInfo) {
  RaiseLocked(*core_, OnFileMatch, this, Folder, FileInfo);
}

void TFindFile::NotifyFolderError(const std::string& Folder, int ErrorCode) {
  RaiseLocked(*core_, OnFolderError, this, Folder, ErrorCode);
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
  core.Unreadable = 0;
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
  TWalker walker(*core, this);
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
