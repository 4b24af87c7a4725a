// Content phrase search: the criteria's derived fields, matching rules,
// block boundaries of the scan, case folding beyond ASCII, and the answers
// for files that cannot or must not be read.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

#include "TempTree.h"
#include "ScopedLocale.h"
#include "engine/ContentSearch.h"
#include "engine/ScanKernels.h"
#include "engine/SearchCriteria.h"

namespace trawlix {
namespace {

using test::ScopedLocale;

constexpr size_t kBlock = kContentBlockSize;

// Every scan test runs once per kernel this processor can execute.
class ContentSearchTest : public ::testing::TestWithParam<TScanKernel> {
 protected:
  void SetUp() override {
    saved_ = ActiveScanKernel();
    ASSERT_TRUE(SetScanKernel(GetParam()));
  }
  void TearDown() override { SetScanKernel(saved_); }

  // Writes content to a fresh file and asks the criteria about it.
  bool Holds(const std::string& content, const std::string& phrase, bool ignoreCase = true,
             bool wholeWord = false) {
    const std::string path = tree_.createFile("f" + std::to_string(counter_++), content);
    TContentCriteria c;
    c.SetPhrase(phrase);
    c.SetIgnoreCase(ignoreCase);
    c.SetWholeWord(wholeWord);
    return c.Matches(path);
  }

  test::TempTree tree_;
  int counter_ = 0;
  TScanKernel saved_ = TScanKernel::Portable;
};

INSTANTIATE_TEST_SUITE_P(Kernels, ContentSearchTest, ::testing::ValuesIn(AvailableScanKernels()),
                         [](const ::testing::TestParamInfo<TScanKernel>& info) {
                           return std::string(ScanKernelName(info.param));
                         });

// Letters that are no delimiters, so only the bytes placed on purpose
// decide a whole word.
std::string Filler(size_t n) { return std::string(n, 'x'); }

std::string RandomLetters(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, ' ');
  for (char& ch : s) ch = static_cast<char>('a' + rng() % 26);
  return s;
}

TEST(ContentCriteria, WritersKeepDerivedFieldsCurrent) {
  TContentCriteria c;
  EXPECT_EQ(c.PhraseLength(), 0);
  EXPECT_TRUE(c.IgnoreCase());
  EXPECT_FALSE(c.WholeWord());
  EXPECT_EQ(c.Table(), LowerCaseTable());

  c.SetPhrase("Hello World");
  EXPECT_EQ(c.PhraseLength(), 11);
  EXPECT_EQ(c.ComparePhrase(), "hello world");
  c.SetIgnoreCase(false);
  EXPECT_EQ(c.ComparePhrase(), "Hello World");
  EXPECT_EQ(c.Table(), IdentityTable());
  c.SetWholeWord(true);

  TContentCriteria copy;
  copy.Assign(c);
  EXPECT_EQ(copy.Phrase(), "Hello World");
  EXPECT_EQ(copy.ComparePhrase(), "Hello World");
  EXPECT_EQ(copy.Table(), IdentityTable());
  EXPECT_TRUE(copy.WholeWord());

  c.SetIgnoreCase(true);
  copy.Assign(c);
  EXPECT_EQ(copy.ComparePhrase(), "hello world");
  EXPECT_EQ(copy.Table(), LowerCaseTable());
}

TEST(ContentTables, DelimitersAndLowerCase) {
  EXPECT_EQ(IdentityTable()[0xC4], 0xC4);
  EXPECT_EQ(LowerCaseTable()['Q'], 'q');
  EXPECT_EQ(LowerCaseTable()[0], 0);
  for (int b : {0, int('\t'), int(' '), int('.'), int('('), int('-'), int('_')}) EXPECT_TRUE(IsDelimiter(static_cast<uint8_t>(b))) << b;
  for (int b : {int('a'), int('Z'), int('0'), int('9')}) EXPECT_FALSE(IsDelimiter(static_cast<uint8_t>(b))) << b;
}

TEST_P(ContentSearchTest, EmptyPhrasePassesWithoutOpening) {
  TContentCriteria c;
  EXPECT_TRUE(c.Matches(tree_.Path("does-not-exist")));
}

struct PhraseCase {
  const char* content;
  const char* phrase;
  bool ignoreCase;
  bool wholeWord;
  bool found;
};

TEST_P(ContentSearchTest, MatchingRules) {
  const PhraseCase cases[] = {
      {"abc", "abcd", true, false, false},  // file shorter than the phrase
      {"x", "x", true, false, true},
      {"say HELLO", "Hello", true, false, true},
      {"say HELLO", "Hello", false, false, false},
      {"say Hello", "Hello", false, false, true},
      {"aaab", "aab", false, false, true},  // overlap after a failed candidate
      {"cat dog", "cat", true, true, true},
      {"the cat", "cat", true, true, true},
      {"a cat.", "cat", true, true, true},
      {"(cat)", "cat", true, true, true},
      {"concat", "cat", true, true, false},
      {"cats", "cat", true, true, false},
      {"cat5", "cat", true, true, false},
      {"cat_x", "cat", true, true, true},  // "_" is no letter or digit
      {"cats cat", "cat", true, true, true},
      {"cats concat", "cat", true, true, false},
      {"a - b", " - ", true, true, false},  // the character before is a letter
      {"a  -  b", " - ", true, true, true},
      {"-----", "--", true, true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Holds(c.content, c.phrase, c.ignoreCase, c.wholeWord), c.found)
        << "content '" << c.content << "' phrase '" << c.phrase << "' ignoreCase " << c.ignoreCase
        << " wholeWord " << c.wholeWord;
  }
}

TEST_P(ContentSearchTest, PhraseWithNulBytes) {
  const std::string phrase("a\0b", 3);
  EXPECT_TRUE(Holds(std::string("xxa\0byy", 7), phrase));
  EXPECT_FALSE(Holds(std::string("xxa\0cyy", 7), phrase));
  EXPECT_TRUE(Holds(std::string("a\0b", 3), phrase, true, true));
}

TEST_P(ContentSearchTest, PhraseAcrossTheBlockBoundary) {
  // Straddling the end of the first block, beginning exactly at the second
  // block, and ending exactly at the end of the first block.
  for (size_t start : {kBlock - 3, kBlock, kBlock - 6, kBlock - 1}) {
    const std::string content = Filler(start) + "needle" + Filler(5000);
    EXPECT_TRUE(Holds(content, "needle", false)) << start;
    EXPECT_TRUE(Holds(content, "NEEDLE", true)) << start;
    EXPECT_FALSE(Holds(content, "needles", false)) << start;
  }
}

TEST_P(ContentSearchTest, PartialMatchCarriedOver) {
  // "aab" begins at the last byte of the block after an "a" that fails.
  const std::string content = Filler(kBlock - 2) + "aaab" + Filler(100);
  EXPECT_TRUE(Holds(content, "aab", false));
  EXPECT_FALSE(Holds(Filler(kBlock - 1) + "aa" + "c" + Filler(100), "aab", false));
}

TEST_P(ContentSearchTest, WholeWordEndingAtBlockBoundary) {
  // " cat" with its last letter at the block's last byte: the first byte of
  // the next block decides.
  const std::string head = Filler(kBlock - 4) + " cat";
  ASSERT_EQ(head.size(), kBlock);
  EXPECT_TRUE(Holds(head + " more", "cat", true, true));
  EXPECT_FALSE(Holds(head + "s more", "cat", true, true));
  EXPECT_TRUE(Holds(head, "cat", true, true));  // the file ends there
  // Beginning right after a boundary byte: the byte before decides.
  EXPECT_TRUE(Holds(Filler(kBlock - 1) + " cat " + Filler(10), "cat", true, true));
  EXPECT_FALSE(Holds(Filler(kBlock) + "cat " + Filler(10), "cat", true, true));
}

TEST_P(ContentSearchTest, ManyBlocks) {
  const std::string body = RandomLetters(1 << 20, 7);
  const std::string phrase = body.substr(900000, 40);
  EXPECT_TRUE(Holds(body, phrase, false));
  std::string altered = body;
  altered[900020] = '#';
  // The altered spot was the only occurrence (random letters never repeat
  // 40 of them).
  EXPECT_FALSE(Holds(altered, phrase, false));
}

TEST_P(ContentSearchTest, PhraseLongerThanTheBlock) {
  const std::string phrase = RandomLetters(70000, 1);
  const std::string content = Filler(50000) + phrase + Filler(80000);
  EXPECT_TRUE(Holds(content, phrase, false));
  EXPECT_TRUE(Holds(Filler(1) + phrase, phrase, true));  // at the very end
  std::string damaged = phrase;
  damaged[69999] = '#';
  EXPECT_FALSE(Holds(Filler(50000) + damaged + Filler(80000), phrase, false));
}

TEST_P(ContentSearchTest, WholeWordPhraseFillingAWholeBlock) {
  // A phrase of exactly one block: the byte after it lies beyond the block
  // and must be read, not taken for the end of the file.
  for (size_t len : {kBlock, kBlock + 1}) {
    const std::string phrase = RandomLetters(len, 3);
    EXPECT_FALSE(Holds(phrase + "s", phrase, false, true)) << len;
    EXPECT_TRUE(Holds(phrase + " s", phrase, false, true)) << len;
    EXPECT_TRUE(Holds(phrase, phrase, false, true)) << len;
    EXPECT_FALSE(Holds("s" + phrase, phrase, false, true)) << len;
  }
}

// The plain definition: some position where the phrase lies, for a whole
// word with no letter or digit right before and after it.
bool ReferenceHolds(const std::string& text, const std::string& phrase, bool ignoreCase,
                    bool wholeWord) {
  auto fold = [&](char c) {
    return ignoreCase ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
  };
  auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  for (size_t p = 0; p + phrase.size() <= text.size(); ++p) {
    size_t k = 0;
    while (k < phrase.size() && fold(text[p + k]) == fold(phrase[k])) ++k;
    if (k < phrase.size()) continue;
    if (!wholeWord) return true;
    const bool before = p == 0 || !word(text[p - 1]);
    const bool after = p + phrase.size() == text.size() || !word(text[p + phrase.size()]);
    if (before && after) return true;
  }
  return false;
}

TEST_P(ContentSearchTest, AgreesWithThePlainDefinition) {
  // Few distinct bytes, so phrases occur often, overlap, and cross block
  // boundaries in every way.
  std::mt19937 rng(12345);
  const std::string alphabet = "abAB .";
  for (int round = 0; round < 12; ++round) {
    const size_t size = kBlock - 20 + rng() % (2 * kBlock);
    std::string text(size, ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    for (int q = 0; q < 8; ++q) {
      std::string phrase(1 + rng() % 9, ' ');
      if (q % 2 == 0) {
        // Taken from the text across the end of the first block.
        phrase = text.substr(kBlock - rng() % phrase.size(), phrase.size());
      } else {
        for (char& c : phrase) c = alphabet[rng() % alphabet.size()];
      }
      const bool ignoreCase = rng() % 2;
      const bool wholeWord = rng() % 2;
      EXPECT_EQ(Holds(text, phrase, ignoreCase, wholeWord),
                ReferenceHolds(text, phrase, ignoreCase, wholeWord))
          << "round " << round << " phrase '" << phrase << "' ignoreCase " << ignoreCase
          << " wholeWord " << wholeWord;
    }
  }
}

TEST_P(ContentSearchTest, FilesOfFourGibibytesAndMore) {
  // A sparse file whose size does not fit 32 bits: the phrase at its start
  // is found, the size is not taken for a small one.
  const std::string path = tree_.createFile("big", "needle ");
  if (::truncate(path.c_str(), (int64_t{4} << 30) + 3) != 0) GTEST_SKIP() << "no sparse files here";
  TContentCriteria c;
  c.SetPhrase("needle");
  EXPECT_TRUE(c.Matches(path));
}

TEST_P(ContentSearchTest, AbortRequestStopsTheScanBetweenBlocks) {
  // A sparse 50 GB file whose only "needle" is its last bytes: the scan is
  // stopped from another thread long before it gets there.
  const std::string path = tree_.createFile("huge", "");
  if (::truncate(path.c_str(), (int64_t{50} << 30) - 6) != 0) GTEST_SKIP() << "no sparse files here";
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "needle", 6), 6);
  ::close(fd);

  std::atomic<bool> abort{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    abort = true;
  });
  TContentCriteria c;
  c.SetPhrase("needle");
  EXPECT_FALSE(c.Matches(path, &abort));
  stopper.join();

  // Set before the scan begins: the file is not searched at all; without
  // the flag the phrase is found in a small file.
  const std::string small = tree_.createFile("small", "a needle");
  EXPECT_FALSE(c.Matches(small, &abort));
  EXPECT_TRUE(c.Matches(small));
}

TEST_P(ContentSearchTest, ScanCallableDirectly) {
  const std::string path = tree_.createFile("d", "Some TEXT here");
  const std::string lower = LowerCasePhrase("TEXT");
  EXPECT_TRUE(ScanFileForPhrase(path, lower.data(), lower.size(), true, LowerCaseTable()));
  EXPECT_FALSE(ScanFileForPhrase(path, "text", 4, false, IdentityTable()));
  EXPECT_FALSE(ScanFileForPhrase(path, "TEXT", 0, false, IdentityTable()));
}

TEST_P(ContentSearchTest, UnreadableThingsGiveFalse) {
  TContentCriteria c;
  c.SetPhrase("data");
  EXPECT_FALSE(c.Matches(tree_.Path("vanished")));
  EXPECT_FALSE(c.Matches(tree_.createDir("folder")));

  // A symbolic link is never followed, even to a file holding the phrase.
  tree_.createFile("target", "data data");
  tree_.symlink(tree_.Path("target"), "link");
  EXPECT_TRUE(c.Matches(tree_.Path("target")));
  EXPECT_FALSE(c.Matches(tree_.Path("link")));

  // A FIFO is no file to search, even while it holds the phrase; without a
  // writer an open for reading would block.
  ASSERT_EQ(::mkfifo(tree_.Path("fifo").c_str(), 0644), 0);
  EXPECT_FALSE(c.Matches(tree_.Path("fifo")));
  const int fifo = ::open(tree_.Path("fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fifo, 0);
  ASSERT_EQ(::write(fifo, "data data", 9), 9);
  EXPECT_FALSE(c.Matches(tree_.Path("fifo")));
  ::close(fifo);
}

TEST_P(ContentSearchTest, DeviceFilesAreNotRead) {
  // A zero device holds every run of NUL bytes, endlessly; reading it would
  // find the phrase (or never end).
  const std::string path = tree_.Path("zero");
  if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0)
    GTEST_SKIP() << "cannot create a device file here";
  TContentCriteria c;
  c.SetPhrase(std::string(4, '\0'));
  EXPECT_FALSE(c.Matches(path));
}

TEST_P(ContentSearchTest, NoReadPermission) {
  const std::string path = tree_.createFile("secret", "data");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  if (::geteuid() != 0) {
    TContentCriteria c;
    c.SetPhrase("data");
    EXPECT_FALSE(c.Matches(path));
    return;
  }
  // Root reads everything: ask from a child that gave up root.
  ASSERT_EQ(::chmod(tree_.Root().c_str(), 0755), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    TContentCriteria c;
    c.SetPhrase("data");
    const bool hidden = !c.Matches(path);
    ::chmod(path.c_str(), 0);  // keep the child honest: it must not own the file
    ::_exit(hidden ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop root here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_P(ContentSearchTest, Utf8CaseFoldingBeyondAscii) {
  ScopedLocale locale("de_DE.UTF-8");
  ASSERT_TRUE(locale.ok()) << "locale de_DE.UTF-8 is missing (scripts/setup.sh generates it)";
  const PhraseCase cases[] = {
      {"Der Äpfel Ärger", "äpfel", true, false, true},
      {"der äpfel ärger", "ÄPFEL", true, false, true},
      {"der äpfel ärger", "ÄPFEL", false, false, false},
      {"ΣΟΦΊΑ και γνώση", "σοφία", true, false, true},
      {"ΣΟΦΊΑ και γνώση", "ΓΝΏΣΗ", true, false, true},
      {"λόγος", "ΛΌΓΟΣ", true, false, true},  // final sigma folds to sigma
      {"ПРИВЕТ мир", "привет", true, false, true},
      {"ПРИВЕТ мир", "МИР", true, false, true},
      {"Temperatur 300 \u212A", "300 k", true, false, true},  // Kelvin sign, three bytes
      {"300 k", "300 \u212A", true, false, true},
      {"Straße", "STRASSE", true, false, false},  // simple folding only
      {"K\xC3", "k\xC3", true, false, true},  // a stray lead byte is a character of its own
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Holds(c.content, c.phrase, c.ignoreCase, c.wholeWord), c.found)
        << "content '" << c.content << "' phrase '" << c.phrase << "'";
  }
}

TEST_P(ContentSearchTest, Utf8WholeWordsOnCharacters) {
  ScopedLocale locale("de_DE.UTF-8");
  ASSERT_TRUE(locale.ok()) << "locale de_DE.UTF-8 is missing (scripts/setup.sh generates it)";
  const PhraseCase cases[] = {
      {"Kätzchen", "K", true, true, false},
      {"Kätzchen", "K", false, true, false},
      {"Kätzchen", "ätz", true, true, false},
      {"das Kätzchen", "kätzchen", true, true, true},
      {"(Kätzchen)", "KÄTZCHEN", true, true, true},
      {"Käse Ölwanne", "ölwanne", true, true, true},
      {"Schwarzwälder", "schwarzw", true, true, false},
      {"über", "ber", true, true, false},
      {"café", "caf", false, true, false},
      {"«mot» suite", "mot", true, true, true},  // guillemets are punctuation
      {"K\xE4tzchen", "K", true, true, false},  // a Latin-1 letter is no boundary either
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Holds(c.content, c.phrase, c.ignoreCase, c.wholeWord), c.found)
        << "content '" << c.content << "' phrase '" << c.phrase << "' ignoreCase " << c.ignoreCase;
  }
}

TEST_P(ContentSearchTest, Utf8CharactersAcrossTheBlockBoundary) {
  ScopedLocale locale("de_DE.UTF-8");
  ASSERT_TRUE(locale.ok()) << "locale de_DE.UTF-8 is missing (scripts/setup.sh generates it)";
  // "ä" with its first byte the last of the block.
  const std::string split = Filler(kBlock - 2) + " \xC3\xA4rger " + Filler(10);
  EXPECT_TRUE(Holds(split, "ÄRGER", true, false));
  EXPECT_TRUE(Holds(split, "ÄRGER", true, true));
  EXPECT_TRUE(Holds(split, "ärger", false, true));
  // A whole word ending at the block boundary, followed by a split "ä".
  const std::string word = Filler(kBlock - 3) + " K\xC3\xA4tzchen";
  EXPECT_FALSE(Holds(word, "k", true, true));
  EXPECT_FALSE(Holds(word, "K", false, true));
  // The character before the phrase split by the boundary.
  const std::string before = Filler(kBlock - 2) + " \xC3\xA4tz " + Filler(10);
  EXPECT_FALSE(Holds(before, "tz", true, true));
  EXPECT_TRUE(Holds(before, "ätz", true, true));
  // A three-byte sign before the phrase, its first two bytes in the first
  // block: still read as one character, which is no letter.
  const std::string euro = Filler(kBlock - 2) + "\u20ACtz " + Filler(10);
  EXPECT_TRUE(Holds(euro, "tz", true, true));
  EXPECT_TRUE(Holds(euro, "tz", false, true));
  // The Kelvin sign (three bytes) matching a one-byte "k" across the boundary.
  EXPECT_TRUE(Holds(Filler(kBlock - 2) + " \u212Aelvin", "kelvin", true, true));
}

TEST_P(ContentSearchTest, SingleByteLocaleUsesItsTables) {
  ScopedLocale locale("de_DE.ISO-8859-1");
  ASSERT_TRUE(locale.ok()) << "locale de_DE.ISO-8859-1 is missing (scripts/setup.sh generates it)";
  EXPECT_FALSE(ContentTablesUtf8());
  EXPECT_EQ(LowerCaseTable()[0xC4], 0xE4);
  EXPECT_FALSE(IsDelimiter(0xE4));  // ä is a letter in Latin-1
  EXPECT_TRUE(Holds("der \xE4pfel", "\xC4PFEL", true, false));
  EXPECT_FALSE(Holds("der \xE4pfel", "\xC4PFEL", false, false));
  EXPECT_FALSE(Holds("K\xE4tzchen", "K", true, true));
  EXPECT_TRUE(Holds("K \xE4tzchen", "K", true, true));
}

}  // namespace
}  // namespace trawlix
