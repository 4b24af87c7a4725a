#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "TempTree.h"
#include "results/OpenFile.h"

namespace trawlix {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(OpenErrorTextTest, CodesInsertPathFolderOrNumber) {
  const std::string p = "/home/anna/x.qqq", f = "/home/anna/";
  struct Case {
    int code;
    std::string text;
  } cases[] = {
      {0, "Zuwenig Speicher, ausführbare Datei war zerstört, Relokationswerte waren ungültig"},
      {2, "Die Datei \"/home/anna/x.qqq\" wurde nicht gefunden."},
      {3, "Das Verzeichnis \"/home/anna/\" wurde nicht gefunden."},
      {8, "Zuwenig Speicher, um die Anwendung \"/home/anna/x.qqq\" zu starten."},
      {11,
       "Ungültige ausführbare Datei \"/home/anna/x.qqq\". Entweder keine Windows-Anwendung oder "
       "Fehler in der EXE-Datei."},
      {14, "Typ der ausführbaren Datei \"/home/anna/x.qqq\" unbekannt."},
      {21, "Die Anwendung \"/home/anna/x.qqq\" benötigt Windows-32-Bit-Erweiterungen."},
      {31, "Die Datei \"/home/anna/x.qqq\" ist nicht mit einer Anwendung verknüpft."},
      {10, "Falsche Windows-Version."},
      {1, "Nicht näher spezifizierter Fehler 1"},
      {17, "Nicht näher spezifizierter Fehler 17"},
      {32, "Nicht näher spezifizierter Fehler 32"},
      {33, ""},
      {42, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(OpenErrorText(c.code, p, f), c.text) << c.code;
  EXPECT_EQ(ProgramNotFoundText(""), "Programm \"\" nicht gefunden.");
  EXPECT_EQ(ProgramNotFoundText(p), "Programm \"/home/anna/x.qqq\" nicht gefunden.");
}

TEST(ListedFileExistsTest, EntriesThatAreNoFolder) {
  test::TempTree tree;
  const std::string file = tree.createFile("a.txt", "x", 100);  // a time before 1980
  tree.createDir("sub");
  tree.symlink(tree.Path("gone"), "dangling");
  tree.symlink(tree.Path("sub"), "tosub");
  EXPECT_TRUE(ListedFileExists(file));
  EXPECT_TRUE(ListedFileExists(tree.Path("dangling")));
  EXPECT_TRUE(ListedFileExists(tree.Path("tosub")));
  EXPECT_FALSE(ListedFileExists(tree.Path("sub")));
  EXPECT_FALSE(ListedFileExists(tree.Path("missing")));
  EXPECT_FALSE(ListedFileExists(""));
}

// A stand-in for the desktop's open command: records its arguments and
// exits with the given status (or sleeps).
class FakeOpener {
 public:
  explicit FakeOpener(const std::string& body) {
    program_ = tree_.createFile("opener", "#!/bin/sh\n" + body + "\n");
    ::chmod(program_.c_str(), 0755);
  }
  TOpenerSettings Settings(int waitMs = 3000) const {
    TOpenerSettings s;
    s.program = program_;
    s.waitMilliseconds = waitMs;
    return s;
  }
  std::string Out(const char* name) const { return Slurp(tree_.Path(name)); }
  std::string OutPath(const char* name) const { return tree_.Path(name); }

 private:
  test::TempTree tree_;
  std::string program_;
};

TEST(OpenerTest, ExitStatusGivesTheCode) {
  struct Case {
    const char* body;
    int code;
  } cases[] = {
      {"exit 0", kOpenSucceeded},
      {"exit 2", 2},
      {"exit 3", 31},
      {"exit 4", 31},
      {"exit 1", 1},
      {"exit 7", 1},
      {"kill -9 $$", 1},
  };
  for (const Case& c : cases) {
    FakeOpener opener(c.body);
    EXPECT_EQ(OpenWithDefaultApplication("/x", opener.Settings()), c.code) << c.body;
  }
}

TEST(OpenerTest, PathReachesTheCommandAsItsOneArgumentUnchanged) {
  FakeOpener opener(
      "printf '%s' \"$#\" > \"$(dirname \"$0\")/argc\"; printf '%s' \"$1\" > \"$(dirname "
      "\"$0\")/arg\"");
  const std::string paths[] = {
      "/home/anna/Brief an \"Otto\" $HOME `id`;*.txt",
      "/t\xE4st/a\tb\nc\xFF",
      "/d/-n",
  };
  for (const std::string& p : paths) {
    ASSERT_EQ(OpenWithDefaultApplication(p, opener.Settings()), kOpenSucceeded);
    EXPECT_EQ(opener.Out("argc"), "1");
    EXPECT_EQ(opener.Out("arg"), p);
  }
  // A path that would read as an option is passed so that it cannot.
  ASSERT_EQ(OpenWithDefaultApplication("-x.txt", opener.Settings()), kOpenSucceeded);
  EXPECT_EQ(opener.Out("arg"), "./-x.txt");
}

TEST(OpenerTest, MissingCommandMeansNoApplication) {
  TOpenerSettings s;
  s.program = "trawlix-test-no-such-opener";
  EXPECT_EQ(OpenWithDefaultApplication("/x", s), 31);
}

char ProcessState(pid_t pid) {
  const std::string stat = Slurp("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? 0 : stat[close + 2];
}

TEST(OpenerTest, HangingCommandCountsAsOpenedAndIsReapedLater) {
  FakeOpener opener("echo $$ > \"$(dirname \"$0\")/pid\"; exec sleep 600");
  ASSERT_EQ(OpenWithDefaultApplication("/x", opener.Settings(100)), kOpenSucceeded);
  const pid_t pid = static_cast<pid_t>(std::atoi(opener.Out("pid").c_str()));
  ASSERT_GT(pid, 0);
  EXPECT_NE(ProcessState(pid), 'Z');
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  // The reaper thread collects it: the process vanishes instead of staying a
  // zombie. (The bound only keeps a broken reaper from hanging the run.)
  char state = 'Z';
  for (int i = 0; i < 3000 && (state = ProcessState(pid)) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(state, 0) << "still there in state " << state;
}

// The machine's own xdg-open, kept away from desktops, browsers and the
// user's settings.
class RealXdgOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v xdg-open >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdg-open";
    const char* path = std::getenv("PATH");
    settings.environment = {
        std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
        "HOME=" + tree.Path("home"),
        "XDG_CONFIG_HOME=" + tree.Path("config"),
        "XDG_DATA_HOME=" + tree.Path("data"),
        "XDG_DATA_DIRS=" + tree.Path("data"),
        "XDG_CONFIG_DIRS=" + tree.Path("config"),
        "BROWSER=trawlix-test-no-browser",
    };
  }
  test::TempTree tree;
  TOpenerSettings settings;
};

TEST_F(RealXdgOpen, FileOfATypeWithoutApplication) {
  const std::string file = tree.createFile("x.trawlixunknown", std::string("\x00\x01\x02", 3));
  EXPECT_EQ(OpenWithDefaultApplication(file, settings), 31);
}

TEST_F(RealXdgOpen, MissingFile) {
  EXPECT_EQ(OpenWithDefaultApplication(tree.Path("missing.trawlixunknown"), settings), 2);
}

}  // namespace
}  // namespace trawlix
