#include "app/VD_Options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSettings>
#include <optional>

#include "AppTestSupport.h"
#include "RecordingInteraction.h"

namespace trawlix {
namespace {

const QString kUnreadable = QStringLiteral("FEHLER:  Die Einstellungen können nicht gelesen werden.");
const QString kUnwritable = QStringLiteral("FEHLER:  Die Einstellungen können nicht gespeichert werden.");

struct Values {
  int32_t top, left, height, width;
  std::string lastDir;
};

void ExpectValues(const TVDOptions& o, const Values& v) {
  EXPECT_EQ(o.WinMainTop, v.top);
  EXPECT_EQ(o.WinMainLeft, v.left);
  EXPECT_EQ(o.WinMainHeight, v.height);
  EXPECT_EQ(o.WinMainWidth, v.width);
  EXPECT_EQ(o.LastDir, v.lastDir);
}

std::vector<QString> Texts(const test::RecordingInteraction& ui) {
  std::vector<QString> texts;
  for (const auto& m : ui.messages) {
    EXPECT_FALSE(m.errorBox);
    EXPECT_EQ(m.kind, TMsgKind::Error);
    texts.push_back(m.text);
  }
  return texts;
}

const Values kDefaults{0, 0, 600, 600, ""};

// Every store file, however broken, gives the values read up to the first
// bad one, defaults after it, at most one message; and the store written at
// close reads back cleanly at the next start.
TEST(VDOptionsLoad, StoreFilesGoodAndBad) {
  const struct {
    const char* name;
    std::optional<std::string> file;  // none: no store at all
    bool message;
    Values values;
  } cases[] = {
      {"no store", std::nullopt, false, kDefaults},
      {"complete", "[General]\nWinMainTop=1\nWinMainLeft=-2\nWinMainHeight=300\nWinMainWidth=400\nLastDir=/x y\n",
       false, {1, -2, 300, 400, "/x y"}},
      {"32-bit limits",
       "[General]\nWinMainTop=-2147483648\nWinMainLeft=2147483647\nWinMainHeight=0\nWinMainWidth=7\n", false,
       {INT32_MIN, INT32_MAX, 0, 7, ""}},
      {"LastDir missing", "[General]\nWinMainTop=1\nWinMainLeft=2\nWinMainHeight=3\nWinMainWidth=4\n", false,
       {1, 2, 3, 4, ""}},
      {"LastDir as bytes",
       "[General]\nWinMainTop=1\nWinMainLeft=2\nWinMainHeight=3\nWinMainWidth=4\nLastDir=@ByteArray(/caf\\xe9)\n",
       false, {1, 2, 3, 4, "/caf\xE9"}},
      {"empty file", "", true, kDefaults},
      {"WinMainTop missing", "[General]\nWinMainLeft=2\nWinMainHeight=3\nWinMainWidth=4\nLastDir=/x\n", true,
       kDefaults},
      {"truncated", "[General]\nWinMainTop=10\nWinMainLeft=20\nWinMainHei", true, {10, 20, 600, 600, ""}},
      {"text for a number", "[General]\nWinMainTop=1\nWinMainLeft=zwei\nWinMainHeight=3\nWinMainWidth=4\n", true,
       {1, 0, 600, 600, ""}},
      {"empty number", "[General]\nWinMainTop=\nWinMainLeft=2\nWinMainHeight=3\nWinMainWidth=4\n", true, kDefaults},
      {"above 32 bits", "[General]\nWinMainTop=1\nWinMainLeft=2\nWinMainHeight=2147483648\nWinMainWidth=4\n", true,
       {1, 2, 600, 600, ""}},
      {"below 32 bits", "[General]\nWinMainTop=-2147483649\nWinMainLeft=2\nWinMainHeight=3\nWinMainWidth=4\n", true,
       kDefaults},
      {"list for a number", "[General]\nWinMainTop=1\nWinMainLeft=2\nWinMainHeight=3\nWinMainWidth=4,5\n", true,
       {1, 2, 3, 600, ""}},
      {"LastDir of another type",
       "[General]\nWinMainTop=1\nWinMainLeft=2\nWinMainHeight=3\nWinMainWidth=4\nLastDir=/a,b\n", true,
       {1, 2, 3, 4, ""}},
      {"binary garbage", std::string("\x00\x01\xff\xfe [[[ ]]] ===\n\x7f", 18), true, kDefaults},
      {"broken section", "[Gene", true, kDefaults},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::StoreFolder store;
    if (c.file) store.Write(*c.file);
    test::RecordingInteraction ui;
    {
      TVDOptions options(ui);
      EXPECT_EQ(Texts(ui), c.message ? std::vector<QString>{kUnreadable} : std::vector<QString>{});
      ExpectValues(options, c.values);

      ui.messages.clear();
      options.WinMainTop = 11;
      options.WinMainLeft = 22;
      options.WinMainHeight = 333;
      options.WinMainWidth = 444;
      options.LastDir = "/after";
      options.SaveSettings();
      EXPECT_TRUE(ui.messages.empty());
    }
    TVDOptions next(ui);
    EXPECT_TRUE(ui.messages.empty());
    ExpectValues(next, {11, 22, 333, 444, "/after"});
  }
}

TEST(VDOptionsSave, FolderNamesComeBackAsTheSameBytes) {
  for (const std::string dir : {"/tmp/caf\xE9", "/tmp/a,b", "/tmp/\xC3\xBC" "ber \"x\"", "/tmp/tab\there", "",
                                "/tmp/Projekte;alt ", "/tmp/ vorn", "/tmp/neu\nzeile", "/tmp/a=b#c"}) {
    SCOPED_TRACE(dir);
    test::StoreFolder store;
    test::RecordingInteraction ui;
    {
      TVDOptions options(ui);
      options.LastDir = dir;
      options.SaveSettings();
    }
    TVDOptions next(ui);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(next.LastDir, dir);
  }
}

// A store that cannot be written is told once; a store that cannot be read
// for the same reason starts silently with the defaults.
void ExpectDefaultsAndOneMessageOnSave() {
  test::RecordingInteraction ui;
  TVDOptions options(ui);
  EXPECT_TRUE(ui.messages.empty());
  ExpectValues(options, kDefaults);
  options.SaveSettings();
  EXPECT_EQ(Texts(ui), std::vector<QString>{kUnwritable});
}

TEST(VDOptionsSave, StoreThatCannotBeWritten) {
  enum Kind { ConfigIsAFile, StoreIsAFolder };
  const struct {
    const char* name;
    Kind kind;
  } cases[] = {
      {"the settings folder is a regular file", ConfigIsAFile},
      {"the store's path is a folder", StoreIsAFolder},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::StoreFolder store;
    switch (c.kind) {
      case ConfigIsAFile: store.Use(store.Folder().createFile("config-file")); break;
      case StoreIsAFolder: std::filesystem::create_directories(store.ConfPath()); break;
    }
    ExpectDefaultsAndOneMessageOnSave();
  }
}

TEST(VDOptionsSave, StoreInAReadOnlyFolder) {
  test::StoreFolder store;
  const std::string folder = std::filesystem::path(store.ConfPath()).parent_path();
  std::filesystem::create_directories(folder);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  test::WithoutPermissionOverride noOverride;
  // Root passes over permissions unless that right could be dropped.
  const std::string probe = folder + "/probe";
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd >= 0) {
    ::close(fd);
    ::unlink(probe.c_str());
    GTEST_SKIP() << "permissions cannot be enforced here";
  }
  ExpectDefaultsAndOneMessageOnSave();
}

}  // namespace
}  // namespace trawlix
