#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>
#include <fstream>
#include <iterator>
#include <string>

#include "PermissionOverride.h"
#include "TempTree.h"
#include "platform/Errors.h"
#include "results/Export.h"

namespace trawlix {
namespace {

// 31.12.2004 13:45:10
constexpr int32_t kTime = static_cast<int32_t>((24u << 25) | (12u << 21) | (31u << 16) |
                                               (13u << 11) | (45u << 5) | (10u / 2));
const std::string kHeader =
    "Verzeichnis\tDatei\tDatum\tGr\xC3\xB6\xC3\x9F"
    "e in Byte\r\n";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Switches LC_CTYPE for one test.
class CtypeLocale {
 public:
  explicit CtypeLocale(const char* name) : old_(std::setlocale(LC_CTYPE, nullptr)) {
    ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
  }
  ~CtypeLocale() { std::setlocale(LC_CTYPE, old_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_;
};

class ExportTest : public ::testing::Test {
 protected:
  void Add(const std::string& folder, const std::string& name, uint64_t size) {
    const int row = store.FileCount() + 1;
    store.SetRow(row, folder, name, kTime, TFileIdentity{1, static_cast<uint64_t>(row), size, 0});
    store.SetFileCount(row);
  }
  std::string Table(int colCount = 4) {
    const std::string path = tree.Path("table.txt");
    ExportTable(store, colCount, path);
    return Slurp(path);
  }
  std::string List() {
    const std::string path = tree.Path("list.txt");
    ExportList(store, path);
    return Slurp(path);
  }

  TRowStore store;
  test::TempTree tree;
};

TEST_F(ExportTest, HeaderInTheLocaleCharacterSet) {
  {
    CtypeLocale utf8("de_DE.UTF-8");
    if (utf8.ok()) {
      EXPECT_EQ(TableHeaderLine(), kHeader);
    }
  }
  {
    // A Latin-1 locale writes one byte each for the two letters: 37 bytes
    // before the line end.
    CtypeLocale latin1("de_DE.ISO-8859-1");
    if (!latin1.ok()) GTEST_SKIP() << "no Latin-1 German locale";
    const std::string header = TableHeaderLine();
    EXPECT_EQ(header,
              "Verzeichnis\tDatei\tDatum\tGr\xF6\xDF"
              "e in Byte\r\n");
    EXPECT_EQ(header.size(), 37u + 2u);
  }
  {
    // ASCII cannot hold them: UTF-8 rather than question marks.
    CtypeLocale c("C");
    EXPECT_EQ(TableHeaderLine(), kHeader);
  }
}

TEST_F(ExportTest, OneRowGivesTwoTableLinesAndOneListLine) {
  CtypeLocale utf8("C.UTF-8");
  Add("/home/anna/Briefe/", "Brief 1.txt", 1234);
  EXPECT_EQ(Table(), kHeader + "/home/anna/Briefe/\tBrief 1.txt\t31.12.2004 13:45:10\t1234\r\n");
  EXPECT_EQ(List(), "/home/anna/Briefe/Brief 1.txt\r\n");
}

TEST_F(ExportTest, DuplicateViewWritesFiveFieldsUnderFourNames) {
  CtypeLocale utf8("C.UTF-8");
  Add("/d/", "a.bin", 5000);
  Add("/e/", "b.bin", 5000);
  store.SetChecksum(1, -123456789);
  store.SetChecksum(2, 42);
  EXPECT_EQ(Table(5), kHeader + "/d/\ta.bin\t31.12.2004 13:45:10\t5000\t-123456789\r\n" +
                          "/e/\tb.bin\t31.12.2004 13:45:10\t5000\t42\r\n");
  // Four columns shown: the checksums stay out even though the rows hold them.
  EXPECT_EQ(Table(4), kHeader + "/d/\ta.bin\t31.12.2004 13:45:10\t5000\r\n" +
                          "/e/\tb.bin\t31.12.2004 13:45:10\t5000\r\n");
  EXPECT_EQ(List(), "/d/a.bin\r\n/e/b.bin\r\n");
}

TEST_F(ExportTest, BlankRowsAreWrittenAsTabsOrEmptyLines) {
  CtypeLocale utf8("C.UTF-8");
  Add("/d/", "a", 1);
  Add("/d/", "b", 2);
  Add("/d/", "c", 3);
  store.ClearRow(2);
  const std::string a = "/d/\ta\t31.12.2004 13:45:10\t1\r\n",
                    c = "/d/\tc\t31.12.2004 13:45:10\t3\r\n";
  EXPECT_EQ(Table(4), kHeader + a + "\t\t\t\r\n" + c);
  store.SetChecksum(1, 7);
  store.SetChecksum(3, 9);
  EXPECT_EQ(Table(5), kHeader + "/d/\ta\t31.12.2004 13:45:10\t1\t7\r\n\t\t\t\t\r\n" +
                          "/d/\tc\t31.12.2004 13:45:10\t3\t9\r\n");
  EXPECT_EQ(List(), "/d/a\r\n\r\n/d/c\r\n");
}

TEST_F(ExportTest, NamesAreWrittenAsTheirBytes) {
  CtypeLocale utf8("C.UTF-8");
  const std::string folder = "/t\xE4st/";  // Latin-1 byte, no UTF-8
  const std::string name = "a\tb\nc\r\xFF.txt";
  Add(folder, name, 9);
  EXPECT_EQ(Table(), kHeader + folder + "\t" + name + "\t31.12.2004 13:45:10\t9\r\n");
  EXPECT_EQ(List(), folder + name + "\r\n");
}

TEST_F(ExportTest, ManyRowsGiveTheCellsAsShownAcrossBufferFills) {
  // Long names so the lines cross several buffer fills at odd places; times
  // valid, at midnight and invalid; blank rows; checksums of both signs.
  const int32_t times[] = {
      kTime,
      kTime & ~0xFFFF,
      0,
      static_cast<int32_t>(0xFFFFFFFFu),
      kTime + 1,
      static_cast<int32_t>((127u << 25) | (2u << 21) | (29u << 16)),  // no 29.2.2107
      static_cast<int32_t>((20u << 25) | (2u << 21) | (29u << 16) | (23u << 11))};
  for (int i = 0; i < 3000; ++i) {
    const std::string folder = "/f" + std::to_string(i % 7) + "/";
    const std::string name =
        std::string(100 + i % 151, static_cast<char>('a' + i % 26)) + std::to_string(i);
    const int row = i + 1;
    store.SetRow(
        row, folder, name, times[i % std::size(times)],
        TFileIdentity{1, static_cast<uint64_t>(row), static_cast<uint64_t>(i) * 1000003u, 0});
    store.SetChecksum(row, (i % 2 ? -1 : 1) * i * 7919);
    if (i % 11 == 5) store.ClearRow(row);
  }
  store.SetFileCount(3000);
  // Formats whose texts come in pieces of other lengths: 12 hours with the
  // day period after the time, and one too long for the short cuts.
  TDateTextSettings twelve;
  twelve.order[0] = TDateTextSettings::Month;
  twelve.order[1] = TDateTextSettings::Day;
  twelve.sep1 = twelve.sep2 = "/";
  twelve.twelveHour = true;
  twelve.hourLeadingZero = false;
  TDateTextSettings lengthy = twelve;
  lengthy.prefix = "am Tag ";
  lengthy.suffix = " unserer Zeitrechnung";
  lengthy.ampmBefore = true;
  lengthy.amText = "vormittags";
  lengthy.pmText = "nachmittags";
  const TDateTextFormat german, twelveFormat(twelve), lengthyFormat(lengthy);
  const std::pair<const TDateTextFormat*, int> views[] = {
      {&german, 4}, {&german, 5}, {&twelveFormat, 4}, {&lengthyFormat, 5}};
  for (const auto& [format, colCount] : views) {
    store.SetDateFormat(format);
    std::string expectTable = TableHeaderLine(), expectList;
    for (int r = 1; r <= 3000; ++r) {
      for (int c = 0; c < colCount; ++c) expectTable += (c ? "\t" : "") + store.CellText(r, c);
      expectTable += "\r\n";
      expectList += store.CellText(r, 0) + store.CellText(r, 1) + "\r\n";
    }
    ASSERT_GT(expectTable.size(), 2 * 256 * 1024u);
    EXPECT_EQ(Table(colCount), expectTable);
    EXPECT_EQ(List(), expectList);
  }
}

TEST_F(ExportTest, ReplacesAnExistingFileWhateverItHeld) {
  CtypeLocale utf8("C.UTF-8");
  tree.createFile("table.txt", std::string(100000, 'x'));
  tree.createFile("list.txt", std::string(100000, 'y'));
  Add("/d/", "a", 1);
  EXPECT_EQ(Table(), kHeader + "/d/\ta\t31.12.2004 13:45:10\t1\r\n");
  EXPECT_EQ(List(), "/d/a\r\n");
}

TEST_F(ExportTest, TargetsThatCannotBeCreatedAreReportedAndStayUnwritten) {
  Add("/d/", "a", 1);
  tree.createDir("readonly");
  ::chmod(tree.Path("readonly").c_str(), 0555);
  tree.createDir("folder.txt");
  struct Case {
    const char* what;
    std::string path;
    int code;
    const char* text;
  } cases[] = {
      {"read-only folder", tree.Path("readonly/x.txt"), 5, "Dateizugriff verweigert"},
      {"missing folder", tree.Path("nowhere/x.txt"), 2, "Datei nicht gefunden"},
      {"name longer than any name", tree.Path(std::string(300, 'n')), 3, "Ungültiger Dateiname"},
      {"a folder", tree.Path("folder.txt"), ErrnoToErrorCode(EISDIR), "E/A-Fehler 21"},
      {"empty path", "", 2, "Datei nicht gefunden"},
  };
  test::WithoutPermissionOverride asEveryone;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int kind = 0; kind < 2; ++kind) {
      try {
        if (kind == 0)
          ExportTable(store, 4, c.path);
        else
          ExportList(store, c.path);
        ADD_FAILURE() << "no error";
      } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), c.code);
        EXPECT_STREQ(e.what(), c.text);
      }
    }
  }
  struct stat st;
  EXPECT_NE(::stat(tree.Path("readonly/x.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR((::stat(tree.Path("folder.txt").c_str(), &st), st.st_mode)));
}

TEST_F(ExportTest, FullDeviceEndsTheCommandWithItsError) {
  Add("/d/", "a", 1);
  for (int kind = 0; kind < 2; ++kind) {
    try {
      if (kind == 0)
        ExportTable(store, 4, "/dev/full");
      else
        ExportList(store, "/dev/full");
      ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode(), 101);
      EXPECT_STREQ(e.what(), "Zu wenig Speicherplatz");
    }
  }
}

TEST_F(ExportTest, FifoWithoutReaderFailsInsteadOfBlocking) {
  Add("/d/", "a", 1);
  const std::string fifo = tree.Path("pipe.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_THROW(ExportList(store, fifo), EInOutError);
}


std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A save that fails half-way must not cost the file it was to replace, nor
// leave a piece of the new one behind.
TEST_F(ExportTest, AFailedSaveKeepsTheOldFileAsItWas) {
  for (int i = 0; i < 20000; ++i) Add("/some/folder/", "file" + std::to_string(i), i);
  const std::string old = "the previous results\r\n";
  const struct {
    const char* what;
    std::function<void()> before, after;
    int code;
  } cases[] = {
      // The file size limit fails the write as a full disk does (EFBIG).
      {"disk full while writing",
       [] {
         std::signal(SIGXFSZ, SIG_IGN);
         rlimit small{64 * 1024, RLIM_INFINITY};
         ::setrlimit(RLIMIT_FSIZE, &small);
       },
       [] {
         rlimit none{RLIM_INFINITY, RLIM_INFINITY};
         ::setrlimit(RLIMIT_FSIZE, &none);
       },
       101},
      {"folder without write permission", [this] { ::chmod(tree.Path("out").c_str(), 0555); },
       [this] { ::chmod(tree.Path("out").c_str(), 0755); }, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string target = tree.createFile("out/ScanResult.txt", old);
    const auto entries = FolderEntries(tree.Path("out"));
    c.before();
    int code = 0;
    {
      test::WithoutPermissionOverride asEveryone;
      try {
        ExportTable(store, 4, target);
      } catch (const EInOutError& e) {
        code = e.ErrorCode();
      }
    }
    c.after();
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(Slurp(target), old);
    EXPECT_EQ(FolderEntries(tree.Path("out")), entries);
  }
}

TEST_F(ExportTest, ReplacingKeepsPermissionBitsAndLinks) {
  CtypeLocale utf8("C.UTF-8");
  Add("/d/", "a", 1);
  const std::string line = "/d/a\r\n";
  tree.createFile("private.txt", "old");
  ::chmod(tree.Path("private.txt").c_str(), 0640);
  ExportList(store, tree.Path("private.txt"));
  struct stat st;
  ASSERT_EQ(::stat(tree.Path("private.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Slurp(tree.Path("private.txt")), line);

  // A link as the target stays a link; the file it names gets the text,
  // also when it does not exist yet.
  tree.createFile("real/target.txt", "old");
  tree.symlink("real/target.txt", "link.txt");
  tree.symlink(tree.Path("real/new.txt"), "dangling.txt");
  for (const char* link : {"link.txt", "dangling.txt"}) {
    SCOPED_TRACE(link);
    ExportList(store, tree.Path(link));
    ASSERT_EQ(::lstat(tree.Path(link).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
  EXPECT_EQ(Slurp(tree.Path("real/target.txt")), line);
  EXPECT_EQ(Slurp(tree.Path("real/new.txt")), line);
  EXPECT_EQ(FolderEntries(tree.Path("real")), (std::vector<std::string>{"new.txt", "target.txt"}));
}

// With SIGPIPE ignored (the program does so at start), a reader that leaves
// is a write error like any other.
TEST_F(ExportTest, AReaderThatLeavesIsAnErrorNotTheProgramsEnd) {
  for (int i = 0; i < 50000; ++i) Add("/a/long/enough/folder/", "name" + std::to_string(i), i);
  const std::string fifo = tree.Path("pipe.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const auto old = std::signal(SIGPIPE, SIG_IGN);
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    char buf[16];
    (void)::read(fd, buf, sizeof buf);
    ::close(fd);
  });
  // The writer must find the reader there when it opens the FIFO.
  int code = 0;
  for (int tries = 0; tries < 1000 && code == 0; ++tries) {
    try {
      ExportTable(store, 4, fifo);
      ADD_FAILURE() << "no error";
      break;
    } catch (const EInOutError& e) {
      if (e.ErrorCode() != ErrnoToErrorCode(ENXIO)) code = e.ErrorCode();
      else std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  reader.join();
  std::signal(SIGPIPE, old);
  EXPECT_EQ(code, ErrnoToErrorCode(EPIPE));
}

// A reader that holds the FIFO open and never reads must not hold the
// window for good: the save fails once nothing went through for a while.
TEST_F(ExportTest, AReaderThatNeverReadsFailsTheSave) {
  for (int i = 0; i < 20000; ++i) Add("/a/long/enough/folder/", "name" + std::to_string(i), i);
  const std::string fifo = tree.Path("pipe.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  try {
    ExportList(store, fifo);
    ADD_FAILURE() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ErrnoToErrorCode(ETIMEDOUT));
  }
  ::close(reader);
}

}  // namespace
}  // namespace trawlix
