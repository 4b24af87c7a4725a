#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <new>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <sys/mount.h>
#include <sys/statfs.h>

#include "PermissionOverride.h"
#include "TempTree.h"
#include "engine/FindFile.h"
#include "platform/Errors.h"

// Allocations fail in a thread while it sets this: how a test makes the
// start of a worker fail for want of memory.
namespace {
thread_local bool g_failAllocations = false;
}

// The replacements pair malloc with free; the compiler cannot see that
// they replace each other and warns where it inlines them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (g_failAllocations) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace trawlix {

using test::TempTree;
using namespace std::chrono_literals;

namespace {

// Records every event of a finder as a line: "begin", "finish", "abort",
// "F <folder>" and "M <folder><name>".
struct Recorder {
  std::vector<std::string> events;
  std::mutex mutex;

  void Attach(TFindFile& f) {
    f.OnSearchBegin = [this](TFindFile*) { Add("begin"); };
    f.OnSearchFinish = [this](TFindFile*) { Add("finish"); };
    f.OnSearchAbort = [this](TFindFile*) { Add("abort"); };
    f.OnFolderChange = [this](TFindFile*, const std::string& folder, TFolderIgnore&) { Add("F " + folder); };
    f.OnFileMatch = [this](TFindFile*, const std::string& folder, const TSearchRec& r) {
      Add("M " + folder + r.Name);
    };
  }
  void Add(const std::string& e) {
    std::lock_guard lock(mutex);
    events.push_back(e);
  }
  long Index(const std::string& e) const {
    auto it = std::find(events.begin(), events.end(), e);
    return it == events.end() ? -1 : it - events.begin();
  }
  size_t Count(const std::string& prefix) const {
    return std::count_if(events.begin(), events.end(),
                         [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }
  std::set<std::string> Matches() const {
    std::set<std::string> out;
    for (const auto& e : events)
      if (e.rfind("M ", 0) == 0) out.insert(e.substr(2));
    return out;
  }
};

class FinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.createFile("a.txt", "aaa");
    t.createFile("b.doc", "bb");
    t.createFile(".hidden.txt");
    t.createFile("sub1/c.txt");
    t.createFile("sub1/deep/d.txt");
    t.createFile("sub2/e.doc");
    t.createFile(".hid/h.txt");
    t.createDir("x.txt");  // a folder whose name matches "*.txt"
    finder.Criteria().Files().SetLocation(t.Root());
    rec.Attach(finder);
  }
  std::string R(const std::string& rel = "") const { return t.Path(rel); }

  TempTree t;
  TFindFile finder;
  Recorder rec;
};

// Runs the calling thread's message queue until the finder is idle.
void WaitUntilIdle(TFindFile& f) {
  while (f.Busy()) {
    platform::TMessage msg;
    if (platform::WaitMessage(msg, 20ms)) platform::DispatchMessage(msg);
  }
}

// Bytes this process has read through read(2) and its kind so far (0 where
// the system does not count them).
uint64_t BytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

// A sparse file of 50 GB holding "needle" only at its very end: a content
// scan that is not stopped reads every byte of it.
constexpr int64_t kHugeSize = int64_t{50} << 30;
bool CreateHugeFile(const TempTree& t, const std::string& rel) {
  const std::string path = t.createFile(rel);
  if (::truncate(path.c_str(), kHugeSize - 6) != 0) return false;
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
  if (fd < 0) return false;
  const bool ok = ::write(fd, "needle", 6) == 6;
  ::close(fd);
  return ok;
}

// Holds the process to 90 open descriptors while it lives: a walk that kept
// one per folder of a deep chain would run out of them.
class FewDescriptors {
 public:
  FewDescriptors() {
    if (getrlimit(RLIMIT_NOFILE, &saved_) != 0) throw std::runtime_error("getrlimit failed");
    rlimit low = saved_;
    low.rlim_cur = 90;
    if (setrlimit(RLIMIT_NOFILE, &low) != 0) throw std::runtime_error("setrlimit failed");
  }
  ~FewDescriptors() { setrlimit(RLIMIT_NOFILE, &saved_); }
  FewDescriptors(const FewDescriptors&) = delete;
  FewDescriptors& operator=(const FewDescriptors&) = delete;

 private:
  rlimit saved_{};
};

}  // namespace

TEST_F(FinderTest, ReportsEveryFileDepthFirstEntriesBeforeSubfolders) {
  finder.Execute();
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(rec.events.front(), "begin");
  EXPECT_EQ(rec.events.back(), "finish");
  EXPECT_EQ(rec.Matches(),
            (std::set<std::string>{R("a.txt"), R("b.doc"), R(".hidden.txt"), R("sub1/c.txt"),
                                   R("sub1/deep/d.txt"), R("sub2/e.doc"), R(".hid/h.txt")}));
  EXPECT_EQ(rec.Count("F "), 6u);  // root, sub1, deep, sub2, .hid, x.txt
  // A folder's own entries come before any of its subfolders is entered.
  const long firstSub = std::min({rec.Index("F " + R("sub1/")), rec.Index("F " + R("sub2/")),
                                  rec.Index("F " + R(".hid/")), rec.Index("F " + R("x.txt/"))});
  EXPECT_LT(rec.Index("M " + R("a.txt")), firstSub);
  EXPECT_LT(rec.Index("M " + R("b.doc")), firstSub);
  EXPECT_LT(rec.Index("F " + R("sub1/")), rec.Index("M " + R("sub1/c.txt")));
  EXPECT_LT(rec.Index("M " + R("sub1/c.txt")), rec.Index("F " + R("sub1/deep/")));
  EXPECT_EQ(rec.Index("F " + R()), 1);
}

TEST_F(FinderTest, MasksAreTakenLastToFirstAndEachReportsItsMatches) {
  finder.Criteria().Files().SetFileName("*.txt;*.doc");
  finder.Criteria().Files().SetSubfolders(false);
  finder.Execute();
  EXPECT_LT(rec.Index("M " + R("b.doc")), rec.Index("M " + R("a.txt")));
  EXPECT_EQ(rec.Count("F "), 1u);

  Recorder twice;
  TFindFile f2;
  twice.Attach(f2);
  f2.Criteria().Files().SetLocation(t.Root());
  f2.Criteria().Files().SetSubfolders(false);
  f2.Criteria().Files().SetFileName("*.txt;a*");
  f2.Execute();
  EXPECT_EQ(std::count(twice.events.begin(), twice.events.end(), "M " + R("a.txt")), 2);
}

TEST_F(FinderTest, TargetsInTheOrderNamed) {
  TempTree other;
  other.createFile("o.txt");
  finder.Criteria().Files().SetLocation(other.Root() + ";" + t.Root() + "sub2");
  finder.Execute();
  EXPECT_LT(rec.Index("M " + other.Path("o.txt")), rec.Index("F " + R("sub2/")));
}

TEST_F(FinderTest, FoldersCanBeAcceptedLikeFiles) {
  finder.Criteria().Attribute().SetAttributes({ffArchive, ffDirectory, ffHidden});
  finder.Criteria().Files().SetFileName("*.txt");
  finder.Execute();
  EXPECT_TRUE(rec.Matches().count(R("x.txt")));
  EXPECT_FALSE(rec.Matches().count(R(".")));
}

TEST_F(FinderTest, Levels) {
  const struct {
    uint16_t minLevel, maxLevel;
    std::set<std::string> rels;
  } cases[] = {
      {2, 0, {"sub1/c.txt", "sub1/deep/d.txt", "sub2/e.doc", ".hid/h.txt"}},
      {0, 1, {"a.txt", "b.doc", ".hidden.txt"}},
      {1, 2, {"a.txt", "b.doc", ".hidden.txt", "sub1/c.txt", "sub2/e.doc", ".hid/h.txt"}},
      {3, 3, {"sub1/deep/d.txt"}},
  };
  for (const auto& c : cases) {
    TFindFile f;
    Recorder r;
    r.Attach(f);
    f.Criteria().Files().SetLocation(t.Root());
    f.Criteria().Files().SetMinLevel(c.minLevel);
    f.Criteria().Files().SetMaxLevel(c.maxLevel);
    std::vector<int> levels;
    f.OnFolderChange = [&](TFindFile* s, const std::string&, TFolderIgnore&) { levels.push_back(s->Level()); };
    f.Execute();
    std::set<std::string> expected;
    for (const auto& rel : c.rels) expected.insert(R(rel));
    EXPECT_EQ(r.Matches(), expected) << c.minLevel << "/" << c.maxLevel;
    EXPECT_EQ(levels.front(), 1);
    EXPECT_LE(*std::max_element(levels.begin(), levels.end()), c.maxLevel ? c.maxLevel : 3);
    EXPECT_EQ(f.Level(), 0);
  }
}

TEST_F(FinderTest, FolderIgnoreAnswersApplyToThatFolderOnly) {
  const struct {
    TFolderIgnore answer;
    std::set<std::string> rels;
  } cases[] = {
      {fiJustThis, {"sub1/c.txt", "sub1/deep/d.txt", "sub2/e.doc", ".hid/h.txt"}},
      {fiJustSubfolders, {"a.txt", "b.doc", ".hidden.txt"}},
      {fiThisAndSubfolders, {}},
  };
  for (const auto& c : cases) {
    TFindFile f;
    Recorder r;
    r.Attach(f);
    f.Criteria().Files().SetLocation(t.Root());
    int calls = 0;
    f.OnFolderChange = [&](TFindFile*, const std::string& folder, TFolderIgnore& ignore) {
      ++calls;
      EXPECT_EQ(ignore, fiNone);
      if (folder == t.Root()) ignore = c.answer;
    };
    f.Execute();
    std::set<std::string> expected;
    for (const auto& rel : c.rels) expected.insert(R(rel));
    EXPECT_EQ(r.Matches(), expected) << c.answer;
    EXPECT_EQ(calls, c.answer == fiJustThis ? 6 : 1);
  }
}

TEST_F(FinderTest, WithoutSubfoldersOneFolderEventPerTarget) {
  finder.Criteria().Files().SetSubfolders(false);
  finder.Criteria().Files().SetLocation(t.Root() + ";" + t.Root() + "sub1;>" + t.Root() + "sub2");
  finder.Execute();
  EXPECT_EQ(rec.Count("F "), 3u);
}

TEST_F(FinderTest, MissingTargetAndNoTargets) {
  finder.Criteria().Files().SetLocation(t.Root() + "missing");
  finder.Execute();
  EXPECT_EQ(rec.events, (std::vector<std::string>{"begin", "F " + R("missing/"), "finish"}));

  rec.events.clear();
  finder.Criteria().Files().SetLocation("");
  finder.Execute();
  EXPECT_EQ(rec.events, (std::vector<std::string>{"begin", "finish"}));
}

TEST_F(FinderTest, AbortFromAHandler) {
  finder.Criteria().Files().SetFileName("*.txt");
  int afterAbort = -1;
  finder.OnFileMatch = [&](TFindFile* s, const std::string& folder, const TSearchRec& r) {
    rec.Add("M " + folder + r.Name);
    if (afterAbort < 0) {
      s->Abort();
      afterAbort = static_cast<int>(rec.events.size());
      s->Abort();    // a second call does nothing
      s->Execute();  // nor does a new search while this one runs
    }
  };
  finder.Execute();
  ASSERT_GE(afterAbort, 0);
  // OnSearchAbort came inside the handler, then nothing but the finish.
  EXPECT_EQ(rec.events[static_cast<size_t>(afterAbort) - 1], "abort");
  EXPECT_EQ(rec.events.size(), static_cast<size_t>(afterAbort) + 1);
  EXPECT_EQ(rec.events.back(), "finish");
  EXPECT_EQ(rec.Count("abort"), 1u);
  EXPECT_EQ(rec.Count("begin"), 1u);
  EXPECT_TRUE(finder.Aborted());
  EXPECT_FALSE(finder.Busy());

  rec.events.clear();
  finder.Abort();  // idle: nothing
  EXPECT_TRUE(rec.events.empty());
  finder.OnFileMatch = nullptr;
  finder.Execute();  // the next search runs to its end
  EXPECT_FALSE(finder.Aborted());
  EXPECT_EQ(rec.Count("abort"), 0u);
}

TEST_F(FinderTest, HandlerErrorReachesTheCallerAfterTheFinish) {
  finder.OnFileMatch = [](TFindFile*, const std::string&, const TSearchRec&) { throw EConvertError("kaputt"); };
  EXPECT_THROW(finder.Execute(), EConvertError);
  EXPECT_EQ(rec.events.back(), "finish");
  EXPECT_FALSE(finder.Busy());

  // A failing OnSearchBegin does not leave the finder busy either.
  finder.OnSearchBegin = [](TFindFile*) { throw EConvertError("begin"); };
  EXPECT_THROW(finder.Execute(), EConvertError);
  EXPECT_FALSE(finder.Busy());
}

TEST_F(FinderTest, ThreadedSearchEndsThroughTheMessageQueue) {
  finder.SetThreaded(true);
  finder.SetThreadPriority(tpLower);
  std::atomic<bool> inWorker{true};
  const auto mainThread = std::this_thread::get_id();
  finder.OnFileMatch = [&](TFindFile*, const std::string& folder, const TSearchRec& r) {
    if (std::this_thread::get_id() == mainThread) inWorker = false;
    rec.Add("M " + folder + r.Name);
  };
  std::thread::id finishThread;
  bool finished = false;
  finder.OnSearchFinish = [&](TFindFile*) {
    finishThread = std::this_thread::get_id();
    finished = true;
  };
  finder.Execute();
  EXPECT_TRUE(finder.Busy());
  finder.Execute();  // ignored while busy
  for (int i = 0; i < 500 && !finished; ++i) {
    platform::TMessage m;
    if (platform::WaitMessage(m, 20ms)) platform::DispatchMessage(m);
  }
  ASSERT_TRUE(finished);
  EXPECT_EQ(finishThread, mainThread);
  EXPECT_TRUE(inWorker);
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(rec.Matches().size(), 7u);
  EXPECT_EQ(rec.Count("begin"), 1u);
}

TEST_F(FinderTest, AbortFromAnotherThreadWaitsForTheRunningHandler) {
  finder.SetThreaded(true);
  std::mutex m;
  std::condition_variable cv;
  bool inHandler = false, release = false;
  std::atomic<int> matches{0};
  finder.OnFileMatch = [&](TFindFile*, const std::string&, const TSearchRec&) {
    ++matches;
    std::unique_lock lock(m);
    inHandler = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  };
  finder.Execute();
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return inHandler; });
  }
  // Let the handler go on a little later, while Abort waits for it.
  std::thread releaser([&] {
    std::this_thread::sleep_for(50ms);
    std::lock_guard lock(m);
    release = true;
    cv.notify_all();
  });
  finder.Abort();
  releaser.join();
  EXPECT_EQ(rec.Count("abort"), 1u);
  EXPECT_EQ(matches.load(), 1);
  for (int i = 0; i < 500 && finder.Busy(); ++i) {
    platform::TMessage msg;
    if (platform::WaitMessage(msg, 20ms)) platform::DispatchMessage(msg);
  }
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(matches.load(), 1);
  EXPECT_EQ(rec.events.back(), "finish");
}

TEST_F(FinderTest, WorkerErrorsAreShownAndTheSearchStillEnds) {
  std::string shown;
  SetWorkerErrorDisplay([&](const std::string& msg) { shown = msg; });
  finder.SetThreaded(true);
  finder.OnFolderChange = [](TFindFile*, const std::string&, TFolderIgnore&) { throw EInOutError(5); };
  finder.Execute();
  for (int i = 0; i < 500 && finder.Busy(); ++i) {
    platform::TMessage msg;
    if (platform::WaitMessage(msg, 20ms)) platform::DispatchMessage(msg);
  }
  SetWorkerErrorDisplay({});
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(shown, "Dateizugriff verweigert");
  EXPECT_EQ(rec.events.back(), "finish");
}

TEST(FinderLifetime, IdleDestructionRaisesNothingAndOwnerFreesTheFinder) {
  Recorder rec;
  {
    TFindFile f;
    rec.Attach(f);
  }
  EXPECT_TRUE(rec.events.empty());
  auto owner = std::make_unique<TComponent>();
  auto* owned = new TFindFile(owner.get());
  EXPECT_EQ(owned->Owner(), owner.get());
  EXPECT_EQ(owner->ComponentCount(), 1);
  owner.reset();  // frees the finder too (a leak checker would tell otherwise)
}

TEST(FinderLifetime, ReleasedFromItsOwnHandlerDuringASynchronousWalk) {
  TempTree t;
  for (int i = 0; i < 20; ++i) t.createFile("d" + std::to_string(i % 4) + "/f" + std::to_string(i));
  auto* f = new TFindFile;
  Recorder rec;
  rec.Attach(*f);
  f->Criteria().Files().SetLocation(t.Root());
  int matchesAfterRelease = 0;
  bool released = false;
  f->OnFileMatch = [&](TFindFile* sender, const std::string&, const TSearchRec&) {
    if (released) {
      ++matchesAfterRelease;
      return;
    }
    released = true;
    delete sender;  // as if a dispatched message closed the window that owns it
  };
  f->Execute();
  EXPECT_TRUE(released);
  EXPECT_EQ(matchesAfterRelease, 0);
  EXPECT_EQ(rec.Count("abort"), 0u);
  EXPECT_EQ(rec.Count("finish"), 0u);
}

TEST(FinderLifetime, ReleasedWhileItsWorkerRuns) {
  TempTree t;
  for (int i = 0; i < 50; ++i) t.createFile("d" + std::to_string(i % 5) + "/f" + std::to_string(i));
  Recorder rec;
  std::atomic<int> matches{0};
  {
    TFindFile f;
    rec.Attach(f);
    f.Criteria().Files().SetLocation(t.Root());
    f.SetThreaded(true);
    f.OnFileMatch = [&](TFindFile*, const std::string&, const TSearchRec&) {
      ++matches;
      std::this_thread::sleep_for(1ms);
    };
    f.Execute();
    while (matches == 0) std::this_thread::yield();
  }
  const int atRelease = matches;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(matches.load(), atRelease);  // the worker is gone
  EXPECT_LT(atRelease, 50);
  EXPECT_EQ(rec.Count("abort"), 0u);
  EXPECT_EQ(rec.Count("finish"), 0u);
  platform::ProcessMessages();  // the end message went nowhere
  EXPECT_EQ(rec.Count("finish"), 0u);
}

TEST(FinderBadInput, DeepTreesOddNamesAndOddTexts) {
  TempTree t;
  std::string deep;
  for (int i = 0; i < 320; ++i) deep += "d/";
  t.createFile(deep + "bottom.txt");
  t.createFile("-rf", "x");
  t.createFile(" lead space", "x");
  t.createFile("tab\there\nnewline", "x");
  t.createFile("bad\xff.txt", "x");
  t.createFile("*?<>|", "x");
  const std::string longest(255, 'n');
  t.createFile(longest + "/" + longest, "x");
  TFindFile f;
  Recorder rec;
  rec.Attach(f);
  f.Criteria().Files().SetLocation(t.Root());
  f.Execute();
  EXPECT_TRUE(rec.Matches().count(t.Path(deep + "bottom.txt")));
  const std::vector<std::string> odd = {"-rf", " lead space", "tab\there\nnewline", "bad\xff.txt", "*?<>|",
                                       longest + "/" + longest};
  for (const std::string& n : odd)
    EXPECT_TRUE(rec.Matches().count(t.Path(n))) << n;

  for (const char* loc : {";;", "   ", "<", ">", "<;>"}) {
    TFindFile g;
    g.Criteria().Files().SetLocation(loc);
    g.Criteria().Files().SetFileName(";;");
    int n = 0;
    g.OnFolderChange = [&](TFindFile*, const std::string&, TFolderIgnore& ignore) {
      ++n;
      ignore = fiThisAndSubfolders;  // don't walk the current folder for real
    };
    EXPECT_NO_THROW(g.Execute()) << loc;
    EXPECT_FALSE(g.Busy());
    // No piece at all gives no folder; a bare prefix names the current
    // folder, once however often it is named.
    const std::string text(loc);
    EXPECT_EQ(n, text.find_first_of("<>") == std::string::npos ? 0 : 1) << loc;
  }
}

// What find lists below folder (given without its closing "/"): folders
// with a closing "/", the folder itself included, and every other entry.
struct FindListing {
  std::set<std::string> folders, others;
};
FindListing ListWithFind(const std::string& folder) {
  FindListing out;
  for (const bool dirs : {true, false}) {
    const std::string cmd = "find '" + folder + "' " + (dirs ? "-type d -printf '%p/\\0'" : "! -type d -print0");
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    std::string all;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) all.append(buf, n);
    ::pclose(p);
    for (size_t pos = 0, end; (end = all.find('\0', pos)) != std::string::npos; pos = end + 1)
      (dirs ? out.folders : out.others).insert(all.substr(pos, end - pos));
  }
  return out;
}

// A chain of 300 folders with 32-byte names reaches far below the depth at
// which its paths outgrow the system's limit (4,096 bytes). The walk enters
// every folder and lists every file that find lists, from the top, from a
// start folder whose own path is beyond the limit, and with a content
// phrase; within a small descriptor limit, so folders far down the chain are
// opened again from their ancestors when side branches follow the chain.
TEST(FinderWalk, ChainBeyondThePathLimitGivesWhatFindGives) {
  TempTree t;
  std::string rel, level200;
  for (int level = 0; level <= 300; ++level) {
    if (level > 0) {
      const std::string num = std::to_string(level);
      rel += std::string(32 - num.size(), 'n') + num + "/";
    }
    if (level == 200) level200 = rel;
    if (level % 50 == 0 && level < 300) t.createFile(rel + "f.txt");
    if (level == 100 || level == 250) {
      t.createFile(rel + "a-side/x.txt");
      t.createFile(rel + "z-side/y.txt");
    }
  }
  t.createFile(rel + "bottom.txt", "the needle at the bottom");
  ASSERT_GT(t.Path(rel).size(), 9000u);
  ASSERT_GT(t.Path(level200).size(), 4096u);

  struct Case {
    const char* name;
    std::string start;  // relative to the root
    const char* phrase;
  };
  const Case cases[] = {
      {"from the top", "", ""},
      {"from a folder beyond the limit", level200, ""},
      {"with a content phrase", "", "needle"},
  };
  std::string root = t.Root();
  root.pop_back();
  const FindListing everything = ListWithFind(root);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string start = t.Path(c.start);
    start.pop_back();
    // find takes no start folder beyond the limit: what lies below it is
    // taken from find's listing of the whole tree.
    FindListing found;
    for (const bool dirs : {true, false})
      for (const std::string& p : dirs ? everything.folders : everything.others)
        if (p.rfind(t.Path(c.start), 0) == 0) (dirs ? found.folders : found.others).insert(p);
    ASSERT_GT(found.folders.size(), 3u);

    TFindFile f;
    Recorder rec;
    rec.Attach(f);
    f.Criteria().Files().ExactFolders() = {start};
    f.Criteria().Content().SetPhrase(c.phrase);
    {
      const FewDescriptors few;
      f.Execute();
    }

    std::set<std::string> folders;
    for (const std::string& e : rec.events)
      if (e.rfind("F ", 0) == 0) folders.insert(e.substr(2));
    // Sets of paths this long are compared without printing them.
    const std::set<std::string> files =
        *c.phrase ? std::set<std::string>{t.Path(rel + "bottom.txt")} : found.others;
    EXPECT_EQ(rec.Count("F "), folders.size());  // each folder entered once
    EXPECT_TRUE(folders == found.folders) << folders.size() << " folders entered, find has " << found.folders.size();
    EXPECT_TRUE(rec.Matches() == files) << rec.Matches().size() << " files listed, expected " << files.size();
    EXPECT_EQ(f.UnreadableFolders(), 0u);
  }
}

// Folders the walk cannot open or read are reported, each once, right after
// their folder event, and counted; the rest of the tree is walked. Folders
// the handler asked nothing of, folders gone before they were opened and a
// search stopped before them say nothing.
TEST(FinderWalk, FoldersThatCannotBeReadAreReportedAndCounted) {
  struct Case {
    const char* name;
    // Runs in OnFolderChange; may answer for the folder or abort.
    std::function<void(TFindFile*, const std::string& rel, TFolderIgnore&)> onFolder;
    std::vector<std::string> reported;  // "rel code", in the order raised
  };
  const Case cases[] = {
      {"plain", nullptr, {"locked/ 5", "names-only/ 5", "open/locked-too/ 5"}},
      {"nothing asked of a locked folder",
       [](TFindFile*, const std::string& rel, TFolderIgnore& ignore) {
         if (rel == "locked/") ignore = fiThisAndSubfolders;
       },
       {"names-only/ 5", "open/locked-too/ 5"}},
      {"files only of a locked folder",
       [](TFindFile*, const std::string& rel, TFolderIgnore& ignore) {
         if (rel == "locked/") ignore = fiJustSubfolders;
       },
       {"locked/ 5", "names-only/ 5", "open/locked-too/ 5"}},
      // Which folders came before it depends on the order of the listing:
      // they are what this row expects, the aborted one is not among them.
      {"aborted at a locked folder",
       [](TFindFile* s, const std::string& rel, TFolderIgnore&) {
         if (rel == "open/locked-too/") s->Abort();
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempTree t;
    t.createFile("a.txt");
    t.createFile("locked/inside.txt");
    t.createFile("names-only/unseen.txt");
    t.createFile("open/b.txt");
    t.createFile("open/locked-too/inside.txt");
    t.createFile("open/z/c.txt");
    t.createDir("gone");
    ::chmod(t.Path("locked").c_str(), 0);
    ::chmod(t.Path("open/locked-too").c_str(), 0);
    ::chmod(t.Path("names-only").c_str(), 0444);  // names, but no entry may be looked at
    test::WithoutPermissionOverride asEveryone;
    if (!test::FolderIsRefused(t.Path("locked").c_str())) GTEST_SKIP() << "permissions are not enforced here";

    TFindFile f;
    Recorder rec;
    rec.Attach(f);
    auto rel = [&](const std::string& folder) { return folder.substr(t.Root().size()); };
    f.OnFolderChange = [&](TFindFile* s, const std::string& folder, TFolderIgnore& ignore) {
      rec.Add("F " + folder);
      if (c.onFolder) c.onFolder(s, rel(folder), ignore);
    };
    f.OnFileMatch = [&](TFindFile*, const std::string& folder, const TSearchRec& r) {
      rec.Add("M " + folder + r.Name);
      // The file pass of the top comes before its subfolders are opened.
      if (r.Name == "a.txt") ::rmdir(t.Path("gone").c_str());
    };
    std::vector<std::string> reported;
    f.OnFolderError = [&](TFindFile*, const std::string& folder, int code) {
      // Right after the folder's own event.
      EXPECT_EQ(rec.events.back(), "F " + folder);
      reported.push_back(rel(folder) + " " + std::to_string(code));
      rec.Add("E " + folder);
    };
    f.Criteria().Files().SetLocation(t.Root());
    f.Execute();

    EXPECT_EQ(f.UnreadableFolders(), reported.size());
    std::sort(reported.begin(), reported.end());
    EXPECT_TRUE(rec.Matches().count(t.Path("a.txt")));
    if (rec.Count("abort") == 0) {
      EXPECT_EQ(reported, c.reported);
      EXPECT_TRUE(rec.Matches().count(t.Path("open/z/c.txt")));
    } else {
      EXPECT_EQ(std::count(reported.begin(), reported.end(), "open/locked-too/ 5"), 0);
      EXPECT_EQ(rec.events.end()[-2], "abort");  // nothing between the abort and the finish
    }
    EXPECT_FALSE(rec.Matches().count(t.Path("names-only/unseen.txt")));
  }
}

// A target that cannot be opened is reported with its error code.
TEST(FinderWalk, MissingTargetIsReported) {
  TempTree t;
  TFindFile f;
  std::vector<std::pair<std::string, int>> reported;
  f.OnFolderError = [&](TFindFile*, const std::string& folder, int code) { reported.emplace_back(folder, code); };
  f.Criteria().Files().ExactFolders() = {t.Path("missing")};
  f.Execute();
  EXPECT_EQ(reported, (std::vector<std::pair<std::string, int>>{{t.Path("missing/"), 2}}));
  EXPECT_EQ(f.UnreadableFolders(), 1u);
}

// A folder swapped for a symbolic link after its parent was listed is not
// followed: the walk stays inside the tree it was given.
TEST(FinderWalk, FolderSwappedForALinkIsNotFollowedOutOfTheTree) {
  TempTree t;
  t.createFile("tree/a.txt");
  t.createFile("tree/sub/inner.txt");
  t.createFile("outside/secret.txt");
  TFindFile f;
  Recorder rec;
  rec.Attach(f);
  f.OnFileMatch = [&](TFindFile*, const std::string& folder, const TSearchRec& r) {
    rec.Add("M " + folder + r.Name);
    if (r.Name == "a.txt") {  // the file pass of tree/ runs before its subfolders
      std::filesystem::rename(t.Path("tree/sub"), t.Path("sub.moved"));
      t.symlink(t.Path("outside"), "tree/sub");
    }
  };
  f.Criteria().Files().ExactFolders() = {t.Path("tree")};
  f.Execute();
  // The listed folder is entered (its event comes) but yields nothing.
  EXPECT_EQ(rec.Matches(), std::set<std::string>{t.Path("tree/a.txt")});
}

TEST(FinderWalk, StartFolderRemovedDuringTheWalkYieldsWhatIsLeft) {
  TempTree t;
  t.createFile("tree/a.txt");
  t.createFile("tree/b/c/d.txt");
  TFindFile f;
  Recorder rec;
  rec.Attach(f);
  f.OnFolderChange = [&](TFindFile*, const std::string& folder, TFolderIgnore&) {
    rec.Add("F " + folder);
    if (folder == t.Path("tree/b/")) std::filesystem::remove_all(t.Path("tree"));
  };
  f.Criteria().Files().ExactFolders() = {t.Path("tree")};
  EXPECT_NO_THROW(f.Execute());
  EXPECT_EQ(rec.Matches(), std::set<std::string>{t.Path("tree/a.txt")});
  EXPECT_FALSE(f.Busy());
}

// The descriptors of a deep chain are given up and taken again: the walk
// finds everything within a small descriptor limit, also the second of two
// deep branches, whose shallow parent had to be opened again.
TEST(FinderWalk, DeepBranchesWithinFewDescriptors) {
  TempTree t;
  std::string chain;
  for (int i = 0; i < 150; ++i) chain += "d/";
  t.createFile("top/one/" + chain + "bottom1.txt");
  t.createFile("top/two/" + chain + "bottom2.txt");
  t.createFile("top/three.txt");
  TFindFile f;
  Recorder rec;
  rec.Attach(f);
  f.Criteria().Files().SetLocation(t.Root());
  {
    const FewDescriptors few;
    f.Execute();
  }
  EXPECT_EQ(rec.Matches(), (std::set<std::string>{t.Path("top/one/" + chain + "bottom1.txt"),
                                                  t.Path("top/two/" + chain + "bottom2.txt"),
                                                  t.Path("top/three.txt")}));
}

// A folder bound into itself shows the tree once more below itself, and no
// further: the walk ends and reports nothing outside the tree.
TEST(FinderWalk, FolderBoundIntoItself) {
  TempTree t;
  t.createFile("tree/f.txt");
  const std::string inner = t.createDir("tree/b");
  if (::mount(t.Path("tree").c_str(), inner.c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "no bind mounts here";
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{inner};
  TFindFile f;
  Recorder rec;
  rec.Attach(f);
  f.Criteria().Files().ExactFolders() = {t.Path("tree")};
  f.Execute();
  EXPECT_EQ(rec.Matches(), (std::set<std::string>{t.Path("tree/f.txt"), t.Path("tree/b/f.txt")}));
}

// The kernel's pseudo file systems hold no files: a search from "/" passes
// them over, one started inside them walks them.
TEST(FinderWalk, PseudoFileSystemsPassedOverFromTheRootButWalkedFromInside) {
  struct statfs sf;
  if (::statfs("/proc", &sf) != 0 || sf.f_type != 0x9fa0) GTEST_SKIP() << "no proc file system at /proc";
  TFindFile f;
  std::set<std::string> entered;
  f.OnFolderChange = [&](TFindFile* s, const std::string& folder, TFolderIgnore& ignore) {
    if (s->Level() == 1) {
      ignore = fiJustThis;  // not the files of "/", but its folders
    } else {
      entered.insert(folder);
      ignore = fiThisAndSubfolders;  // and no deeper
    }
  };
  f.Criteria().Files().ExactFolders() = {"/"};
  f.Execute();
  EXPECT_EQ(entered.count("/proc/"), 0u);
  if (::statfs("/sys", &sf) == 0 && sf.f_type == 0x62656572) {
    EXPECT_EQ(entered.count("/sys/"), 0u);
  }
  EXPECT_EQ(entered.count("/tmp/") + entered.count("/usr/"), std::filesystem::exists("/usr") ? 2u : 1u);

  TFindFile g;
  Recorder rec;
  rec.Attach(g);
  g.Criteria().Files().ExactFolders() = {"/proc"};
  g.Criteria().Files().SetSubfolders(false);
  g.Criteria().Files().ExactNames() = {"version"};
  g.Execute();
  EXPECT_EQ(rec.Matches(), std::set<std::string>{"/proc/version"});
}

// Regression: a worker whose start failed for want of memory (not a
// std::system_error) left the finder busy for good.
TEST_F(FinderTest, WorkerThatCannotStartForWantOfMemoryEndsTheSearch) {
  finder.SetThreaded(true);
  int walked = 0;
  finder.OnFolderChange = [&](TFindFile*, const std::string&, TFolderIgnore&) { ++walked; };
  // From OnSearchBegin on, the next thing the finder allocates is its worker.
  finder.OnSearchBegin = [](TFindFile*) { g_failAllocations = true; };
  finder.OnSearchFinish = [this](TFindFile*) {
    g_failAllocations = false;
    rec.Add("finish");
  };
  std::exception_ptr error;
  try {
    finder.Execute();
  } catch (...) {
    g_failAllocations = false;
    error = std::current_exception();
  }
  g_failAllocations = false;
  ASSERT_TRUE(error);
  try {
    std::rethrow_exception(error);
  } catch (const EThread& e) {
    EXPECT_EQ(e.Message().rfind("Fehler beim Erzeugen des Thread: ", 0), 0u) << e.Message();
  } catch (...) {
    ADD_FAILURE() << "not EThread";
  }
  EXPECT_FALSE(finder.Busy());
  EXPECT_EQ(rec.Count("finish"), 1u);
  EXPECT_EQ(walked, 0);

  // The finder is free for the next search, which runs.
  finder.OnSearchBegin = nullptr;
  finder.Execute();
  WaitUntilIdle(finder);
  EXPECT_EQ(rec.Count("finish"), 2u);
  EXPECT_EQ(walked, 6);
}

// Level and Busy are read from another thread while the worker walks (a
// data race detector has nothing to report), and Level is back at 0 at the
// end.
TEST_F(FinderTest, StateReadFromAnotherThreadWhileTheWorkerWalks) {
  for (int i = 0; i < 40; ++i) t.createFile("w" + std::to_string(i % 8) + "/x/f" + std::to_string(i));
  finder.SetThreaded(true);
  std::atomic<int> deepest{0};
  finder.OnFolderChange = [&](TFindFile* s, const std::string&, TFolderIgnore&) {
    deepest = std::max<int>(deepest, s->Level());
  };
  finder.Execute();
  std::atomic<bool> stop{false};
  std::atomic<int> seen{0};
  std::thread watcher([&] {
    while (!stop) {
      seen = std::max<int>(seen, finder.Level());
      (void)finder.Busy();
      (void)finder.Aborted();
    }
  });
  WaitUntilIdle(finder);
  stop = true;
  watcher.join();
  EXPECT_EQ(deepest.load(), 3);
  EXPECT_LE(seen.load(), 3);
  EXPECT_EQ(finder.Level(), 0);
}

// Regression: a content scan could not be stopped inside a file, so Abort,
// or releasing the finder, waited until a huge file had been read to its
// end. The scan now looks at the abort request between blocks.
TEST(FinderAbort, AbortStopsAContentScanInsideAHugeFile) {
  TempTree t;
  if (!CreateHugeFile(t, "huge.bin")) GTEST_SKIP() << "no sparse files here";
  if (BytesReadSoFar() == 0) GTEST_SKIP() << "the system counts no bytes read";
  for (const bool release : {false, true}) {
    auto f = std::make_unique<TFindFile>();
    Recorder rec;
    rec.Attach(*f);
    f->Criteria().Files().SetLocation(t.Root());
    f->Criteria().Content().SetPhrase("needle");
    f->SetThreaded(true);
    const uint64_t before = BytesReadSoFar();
    f->Execute();
    // Wait until the worker is well inside the file.
    while (BytesReadSoFar() - before < (64u << 20)) std::this_thread::sleep_for(1ms);
    if (release) {
      f.reset();  // aborts and waits for the worker
      EXPECT_EQ(rec.Count("finish"), 0u);
    } else {
      f->Abort();
      WaitUntilIdle(*f);
      EXPECT_EQ(rec.events.back(), "finish");
    }
    EXPECT_EQ(rec.Count("M "), 0u);
    // Far less than the file was read (it ends with the phrase).
    EXPECT_LT(BytesReadSoFar() - before, static_cast<uint64_t>(kHugeSize / 4)) << release;
  }
}

}  // namespace trawlix
