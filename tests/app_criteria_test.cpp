// The further search criteria: the fields of the dialog, what they make of
// the finder's criteria, the dialog's refusals, the window's button, the
// settings and searches through the window with them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <ctime>
#include <functional>
#include <set>

#include "AppTestSupport.h"
#include "RecordingInteraction.h"
#include "TempTree.h"
#include "app/CriteriaDialog.h"
#include "app/CriteriaFields.h"
#include "app/Tx_main.h"
#include "app/VD_Options.h"
#include "engine/SearchCriteria.h"
#include "platform/Errors.h"

namespace trawlix {
namespace {

const QString kUnreadable = QStringLiteral("FEHLER:  Die Einstellungen können nicht gelesen werden.");

// Every criterion the dialog governs, as one comparable value.
struct Governed {
  uint32_t allowedAttr, setMask, unsetMask;
  bool exactMatch;
  TDateTime createdBefore, createdAfter, modifiedBefore, modifiedAfter, accessedBefore, accessedAfter;
  int64_t min, max;
  std::string phrase;
  bool ignoreCase, wholeWord;
  std::vector<std::string> excluded;
  bool operator==(const Governed&) const = default;
};

Governed Of(const TSearchCriteria& c) {
  const TDateTimeCriteria& t = c.TimeStamp();
  return {c.Attribute().AllowedAttr(), c.AttributeEx().SetMask(), c.AttributeEx().UnsetMask(),
          c.Attribute().ExactMatch(), t.CreatedBefore(), t.CreatedAfter(), t.ModifiedBefore(),
          t.ModifiedAfter(), t.AccessedBefore(), t.AccessedAfter(), c.Size().Min(), c.Size().Max(),
          c.Content().Phrase(), c.Content().IgnoreCase(), c.Content().WholeWord(), c.Files().Excluded()};
}

TCriteriaFields With(const std::function<void(TCriteriaFields&)>& set) {
  TCriteriaFields f;
  set(f);
  return f;
}

// Every field set, each to something other than its default.
TCriteriaFields AllSet() {
  return With([](TCriteriaFields& f) {
    f.phrase = QStringLiteral("Grüße");
    f.caseSensitive = true;
    f.wholeWord = true;
    f.sizeMin = QStringLiteral("1,5");
    f.sizeMinUnit = TSizeUnit::MB;
    f.sizeMax = QStringLiteral("2");
    f.sizeMaxUnit = TSizeUnit::GB;
    f.after = QDate(2026, 1, 1);
    f.before = QDate(2026, 3, 31);
    f.dateKind = TDateKind::Created;
    f.excludedFolders = QStringLiteral(".git; node_modules");
    f.excludedFiles = QStringLiteral("*.bak");
    f.withHidden = false;
  });
}

TEST(CriteriaFields, EachFieldSetsItsCriterion) {
  // 1 January 2026 is day 46023 of the finder's dates, 31 March day 46112.
  const struct {
    const char* name;
    std::function<void(TCriteriaFields&)> set;
    std::function<void(Governed&)> expect;  // applied to the defaults
  } cases[] = {
      {"phrase ignores case by default", [](auto& f) { f.phrase = QStringLiteral("Grüße"); },
       [](auto& g) { g.phrase = "Gr\xC3\xBC\xC3\x9F" "e"; }},
      {"case and whole words",
       [](auto& f) {
         f.phrase = QStringLiteral("x");
         f.caseSensitive = true;
         f.wholeWord = true;
       },
       [](auto& g) {
         g.phrase = "x";
         g.ignoreCase = false;
         g.wholeWord = true;
       }},
      {"sizes with units, 1 KB = 1024", [](auto& f) {
         f.sizeMin = QStringLiteral(" 10 ");
         f.sizeMinUnit = TSizeUnit::MB;
         f.sizeMax = QStringLiteral("3");
         f.sizeMaxUnit = TSizeUnit::GB;
       },
       [](auto& g) {
         g.min = 10 * 1048576LL;
         g.max = 3 * 1073741824LL;
       }},
      {"a decimal comma, whole bytes", [](auto& f) {
         f.sizeMin = QStringLiteral("1,5");
         f.sizeMax = QStringLiteral("0.001");
         f.sizeMaxUnit = TSizeUnit::GB;
       },
       [](auto& g) {
         g.min = 1536;
         g.max = 1073741;
       }},
      {"bytes", [](auto& f) { f.sizeMax = QStringLiteral("1"), f.sizeMaxUnit = TSizeUnit::Bytes; },
       [](auto& g) { g.max = 1; }},
      {"dates of the last write", [](auto& f) {
         f.after = QDate(2026, 1, 1);
         f.before = QDate(2026, 3, 31);
       },
       [](auto& g) {
         g.modifiedAfter = 46023;
         g.modifiedBefore = 46112;
       }},
      {"creation dates", [](auto& f) {
         f.before = QDate(2026, 1, 1);
         f.dateKind = TDateKind::Created;
       },
       [](auto& g) { g.createdBefore = 46023; }},
      {"folders as tails, then file masks", [](auto& f) {
         f.excludedFolders = QStringLiteral(" .git;Node_Modules ;/tmp/x/;.GIT");
         f.excludedFiles = QStringLiteral("*.bak; *.BAK ;Temp/*.log");
       },
       [](auto& g) { g.excluded = {"/.git/", "/Node_Modules/", "/tmp/x/", "*.bak", "Temp/*.log"}; }},
      {"without hidden entries", [](auto& f) { f.withHidden = false; }, [](auto& g) { g.unsetMask = 0x02; }},
  };
  const Governed defaults = Of(TSearchCriteria());
  for (const auto& c : cases) {
    TSearchCriteria criteria;
    ApplyCriteria(With(c.set), criteria);
    Governed expected = defaults;
    c.expect(expected);
    EXPECT_EQ(Of(criteria), expected) << c.name;
  }
}

TEST(CriteriaFields, EmptyFieldsGiveTheDefaultsAndLeaveTheSearchedFoldersAlone) {
  TSearchCriteria c;
  c.Files().SetFileName("*.txt");
  c.Files().ExactFolders() = {"/data"};
  ApplyCriteria(AllSet(), c);
  ASSERT_NE(Of(c), Of(TSearchCriteria()));
  ApplyCriteria(TCriteriaFields(), c);
  EXPECT_EQ(Of(c), Of(TSearchCriteria()));
  EXPECT_EQ(c.Files().FileName(), "*.txt");
  EXPECT_EQ(c.Files().ExactFolders(), std::vector<std::string>{"/data"});
  EXPECT_TRUE(c.Files().Subfolders());
}

const struct BadInput {
  const char* name;
  std::function<void(TCriteriaFields&)> set;
  const char* message;
} kBadInputs[] = {
    {"minimum above maximum", [](auto& f) {
       f.sizeMin = QStringLiteral("2");
       f.sizeMinUnit = TSizeUnit::MB;
       f.sizeMax = QStringLiteral("2000");
       f.sizeMaxUnit = TSizeUnit::KB;
     },
     "Die Größe „mindestens“ liegt über der Größe „höchstens“."},
    {"before ahead of after", [](auto& f) {
       f.after = QDate(2026, 5, 2);
       f.before = QDate(2026, 5, 1);
     },
     "Das Datum „vor“ liegt vor dem Datum „nach“."},
    {"a number too large", [](auto& f) { f.sizeMax = QStringLiteral("9000000000"), f.sizeMaxUnit = TSizeUnit::GB; },
     "Die Größe „höchstens“ ist zu groß."},
    {"more digits than any number", [](auto& f) { f.sizeMin = QString(40, u'9'); },
     "Die Größe „mindestens“ ist zu groß."},
    {"no number", [](auto& f) { f.sizeMin = QStringLiteral("10 MB"); }, "Die Größe „mindestens“ ist keine Zahl."},
    {"two commas", [](auto& f) { f.sizeMin = QStringLiteral("1,5,0"); }, "Die Größe „mindestens“ ist keine Zahl."},
    {"a bound of 0", [](auto& f) { f.sizeMax = QStringLiteral("0"); },
     "Eine Größe muss mindestens 1 Byte betragen; für keine Grenze das Feld leer lassen."},
    {"an empty phrase with its options", [](auto& f) { f.wholeWord = true; },
     "Bitte den Text eingeben, den die Dateien enthalten sollen."},
    {"a blank phrase", [](auto& f) { f.phrase = QStringLiteral("  \t "); },
     "Der gesuchte Text besteht nur aus Leerzeichen."},
    {"a phrase the character set cannot hold", [](auto& f) { f.phrase = QStringLiteral("ab") + QChar(0xD800); },
     "Der gesuchte Text enthält Zeichen, die der Zeichensatz des Systems nicht kennt."},
    {"a phrase of 10,000 characters", [](auto& f) { f.phrase = QString(10000, u'a'); },
     "Der gesuchte Text ist zu lang (höchstens 1.000 Zeichen)."},
    {"folders of only ;", [](auto& f) { f.excludedFolders = QStringLiteral(";;"); },
     "Die Liste „Nicht durchsuchen / nicht listen“ enthält keinen Namen, nur „;“."},
    {"files of only ; and blanks", [](auto& f) { f.excludedFiles = QStringLiteral(" ; ; "); },
     "Die Liste „Nicht durchsuchen / nicht listen“ enthält keinen Namen, nur „;“."},
    {"a mask the character set cannot hold", [](auto& f) { f.excludedFiles = QStringLiteral("*.x") + QChar(0xDC00); },
     "Die Liste „Nicht durchsuchen / nicht listen“ enthält Zeichen, die der Zeichensatz des Systems nicht kennt."},
    {"a wildcard in a folder", [](auto& f) { f.excludedFolders = QStringLiteral("*.cache"); },
     "Ordner werden mit ihrem Namen angegeben, ohne „*“ und „?“."},
};

TEST(CriteriaFields, BadInputIsToldAndNeverSearched) {
  EXPECT_EQ(CriteriaError(TCriteriaFields()), std::nullopt);
  EXPECT_EQ(CriteriaError(AllSet()), std::nullopt);
  EXPECT_EQ(CriteriaError(With([](auto& f) { f.phrase = QString(kMaxPhraseLength, u'a'); })), std::nullopt);
  for (const auto& bad : kBadInputs) {
    const TCriteriaFields f = With(bad.set);
    EXPECT_EQ(CriteriaError(f).value_or(QString()), QString::fromUtf8(bad.message)) << bad.name;
    TSearchCriteria c;
    ApplyCriteria(AllSet(), c);
    const Governed before = Of(c);
    EXPECT_THROW(ApplyCriteria(f, c), EConvertError) << bad.name;
    EXPECT_EQ(Of(c), before) << bad.name;
  }
}

TEST(CriteriaFields, CaptionAndToolTipListWhatIsSet) {
  EXPECT_EQ(CriteriaButtonCaption({}), QStringLiteral("&Kriterien…"));
  EXPECT_EQ(CriteriaToolTip({}), QStringLiteral("weitere Suchkriterien: Inhalt, Größe, Datum, Ausschlüsse"));
  // The phrase's options are part of the phrase, not criteria of their own.
  const TCriteriaFields some = With([](auto& f) {
    f.phrase = QStringLiteral("Rechnung");
    f.wholeWord = true;
    f.sizeMin = QStringLiteral("10");
    f.sizeMinUnit = TSizeUnit::MB;
    f.withHidden = false;
  });
  EXPECT_EQ(CriteriaButtonCaption(some), QStringLiteral("&Kriterien (3)…"));
  EXPECT_EQ(CriteriaToolTip(some), QStringLiteral("Enthält Text: „Rechnung“ (nur ganze Wörter)\n"
                                                  "Größe mindestens: 10 MB\n"
                                                  "ohne versteckte Dateien und Ordner"));
  EXPECT_EQ(CriteriaButtonCaption(AllSet()), QStringLiteral("&Kriterien (8)…"));
  EXPECT_EQ(CriteriaToolTip(AllSet()).split(u'\n'),
            QStringList({QStringLiteral("Enthält Text: „Grüße“ (Groß-/Kleinschreibung beachten, nur ganze Wörter)"),
                         QStringLiteral("Größe mindestens: 1,5 MB"), QStringLiteral("Größe höchstens: 2 GB"),
                         QStringLiteral("Erstellt nach: 01.01.2026"), QStringLiteral("Erstellt vor: 31.03.2026"),
                         QStringLiteral("Nicht durchsuchen: .git; node_modules"),
                         QStringLiteral("Nicht listen: *.bak"), QStringLiteral("ohne versteckte Dateien und Ordner")}));
}

// The dialog.

TEST(CriteriaDialog, ShowsTheFieldsGivesThemBackAndRefusesBadOnes) {
  TCriteriaDialog dialog(AllSet());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Weitere Suchkriterien"));
  EXPECT_EQ(dialog.Fields(), AllSet());
  EXPECT_TRUE(dialog.dtpAfter->isEnabled());
  EXPECT_EQ(dialog.dtpAfter->displayFormat(), QStringLiteral("dd'.'MM'.'yyyy"));
  dialog.SetFields(TCriteriaFields());
  EXPECT_EQ(dialog.Fields(), TCriteriaFields());
  EXPECT_FALSE(dialog.dtpAfter->isEnabled());
  EXPECT_TRUE(dialog.rbWithHidden->isChecked());

  for (const auto& bad : kBadInputs) {
    TCriteriaDialog d(With(bad.set));
    d.show();
    d.accept();
    EXPECT_TRUE(d.isVisible()) << bad.name;
    EXPECT_EQ(d.result(), QDialog::Rejected) << bad.name;
    EXPECT_FALSE(d.lblError->isHidden()) << bad.name;
    EXPECT_EQ(d.lblError->text(), QString::fromUtf8(bad.message)) << bad.name;
    // Mended, OK closes.
    d.SetFields(AllSet());
    d.accept();
    EXPECT_FALSE(d.isVisible()) << bad.name;
    EXPECT_EQ(d.result(), QDialog::Accepted) << bad.name;
  }
}

// The settings.

class CriteriaSettingsTest : public ::testing::Test {
 protected:
  test::StoreFolder store;
  test::RecordingInteraction ui;
  const std::string kFive = "[General]\nWinMainTop=1\nWinMainLeft=2\nWinMainHeight=300\nWinMainWidth=400\n";
};

TEST_F(CriteriaSettingsTest, RoundTripKeepsTheFiveValuesAsTheyWere) {
  {
    TVDOptions o(ui);
    o.WinMainWidth = 500;
    o.Criteria = AllSet();
    o.SaveSettings();
  }
  TVDOptions again(ui);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(again.Criteria, AllSet());
  EXPECT_EQ(again.WinMainWidth, 500);
  // Back to nothing set: the group goes, the five stay.
  again.Criteria = TCriteriaFields();
  again.SaveSettings();
  QSettings raw(QString::fromStdString(store.ConfPath()), QSettings::IniFormat);
  EXPECT_EQ(raw.childGroups(), QStringList());
  EXPECT_EQ(raw.value("WinMainWidth").toString(), QStringLiteral("500"));
}

TEST_F(CriteriaSettingsTest, AValueThatCannotBeReadIsDroppedWithTheMessage) {
  const struct {
    const char* name;
    const char* group;  // the stored group "Kriterien"
    std::function<void(TCriteriaFields&)> expect;
    bool message;
  } cases[] = {
      {"all good", "Text=Rechnung\nGroesseMindestens=10\nGroesseMindestensEinheit=MB\nVersteckte=ohne\n",
       [](auto& f) {
         f.phrase = QStringLiteral("Rechnung");
         f.sizeMin = QStringLiteral("10");
         f.sizeMinUnit = TSizeUnit::MB;
         f.withHidden = false;
       },
       false},
      {"unknown unit", "Text=Rechnung\nGroesseMindestens=10\nGroesseMindestensEinheit=TB\n",
       [](auto& f) {
         f.phrase = QStringLiteral("Rechnung");
         f.sizeMin = QStringLiteral("10");
       },
       true},
      {"no date", "Nach=31.02.2026\nVor=2026-02-01\nGanzeWoerter=vielleicht\n",
       [](auto& f) { f.before = QDate(2026, 2, 1); }, true},
      {"a list, not a text", "NichtListen=a, b\nZeitpunkt=Erstellung\n",
       [](auto& f) { f.dateKind = TDateKind::Created; }, true},
      // Readable values that together cannot be searched are all dropped.
      {"minimum above maximum", "Text=x\nGroesseMindestens=5\nGroesseHoechstens=4\n", [](auto&) {}, true},
      {"a blank phrase", "Text=\"   \"\nVersteckte=ohne\n", [](auto&) {}, true},
  };
  for (const auto& c : cases) {
    store.Write(kFive + "[Kriterien]\n" + c.group);
    ui.messages.clear();
    TVDOptions o(ui);
    EXPECT_EQ(o.Criteria, With(c.expect)) << c.name;
    ASSERT_EQ(ui.messages.size(), c.message ? 1u : 0u) << c.name;
    if (c.message) {
      EXPECT_EQ(ui.messages[0].text, kUnreadable) << c.name;
    }
    EXPECT_EQ(o.WinMainTop, 1) << c.name;
    EXPECT_EQ(o.WinMainWidth, 400) << c.name;
  }
  // A bad value among the five: one message, and the criteria still read.
  store.Write("[General]\nWinMainTop=x\n[Kriterien]\nText=Rechnung\n");
  ui.messages.clear();
  TVDOptions o(ui);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(o.Criteria.phrase, QStringLiteral("Rechnung"));
}

// The window.

time_t Noon(int y, int mo, int d) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

class CriteriaWindowTest : public ::testing::Test {
 protected:
  CriteriaWindowTest() : frm(ui) { frm.show(); }

  // The files a search of the tree lists, relative to its root.
  std::set<std::string> Found(const TCriteriaFields& f) {
    frm.Options()->Criteria = f;
    test::RunSearch(frm, tree.Root(), QStringLiteral("*.*"), nullptr);
    std::set<std::string> found;
    for (int r = 1; r <= frm.FileCount(); ++r)
      found.insert(frm.Results().Store().FullPath(r).substr(tree.Root().size()));
    return found;
  }

  // Runs fn on the dialog once it shows modally, after the window got key.
  void OnDialog(std::function<void(TCriteriaDialog&)> fn) {
    QTimer::singleShot(0, [fn] {
      auto* d = qobject_cast<TCriteriaDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      fn(*d);
    });
  }

  test::StoreFolder store;
  test::RecordingInteraction ui;
  TfrmTrawlix frm;
  test::TempTree tree;
};

TEST_F(CriteriaWindowTest, ButtonSitsBesideFilterWithoutCoveringAnything) {
  EXPECT_EQ(frm.btnCriteria->parentWidget(), frm.Panel1);
  EXPECT_EQ(frm.btnCriteria->text(), QStringLiteral("&Kriterien…"));
  const QRect b = frm.btnCriteria->geometry();
  EXPECT_TRUE(QRect(0, 0, 209, 731).contains(b));
  // It lies in the label's empty part, right of its text, and clear of
  // every other control.
  const QRect label = frm.Label2->geometry();
  EXPECT_GT(b.left(), label.left() + frm.Label2->fontMetrics().horizontalAdvance(frm.Label2->text()) + 8);
  for (const QWidget* w : frm.Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    EXPECT_TRUE(w == frm.btnCriteria || w == frm.Label2 || !b.intersects(w->geometry()))
        << w->objectName().toStdString();
  // Its caption, at its widest, fits with a margin on either side.
  EXPECT_LE(frm.btnCriteria->fontMetrics().horizontalAdvance(QStringLiteral("Kriterien (8)…")) + 8, b.width());
  // In Panel1's tab order right after the mask field.
  QWidget* next = frm.edtFileMask->nextInFocusChain();
  while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
  EXPECT_EQ(next, frm.btnCriteria);
}

TEST_F(CriteriaWindowTest, DialogOpensWithThePhraseFocusedAndOkKeepsItsFields) {
  OnDialog([](TCriteriaDialog& d) {
    EXPECT_EQ(d.focusWidget(), d.edtPhrase);
    QTest::keyClicks(d.edtPhrase, QStringLiteral("Rechnung"));
    d.rbWithoutHidden->setChecked(true);
    QTest::keyClick(d.edtPhrase, Qt::Key_Return);
  });
  // Alt+K is the button's mnemonic (pressed for real in the end-to-end test).
  EXPECT_EQ(frm.btnCriteria->shortcut(), QKeySequence(Qt::ALT | Qt::Key_K));
  frm.btnCriteria->click();
  EXPECT_EQ(frm.Options()->Criteria.phrase, QStringLiteral("Rechnung"));
  EXPECT_EQ(frm.btnCriteria->text(), QStringLiteral("&Kriterien (2)…"));
  EXPECT_EQ(frm.btnCriteria->toolTip(),
            QStringLiteral("Enthält Text: „Rechnung“\nohne versteckte Dateien und Ordner"));

  // Escape leaves them as they were.
  OnDialog([](TCriteriaDialog& d) {
    d.edtPhrase->clear();
    QTest::keyClick(d.edtPhrase, Qt::Key_Escape);
  });
  frm.btnCriteria->click();
  EXPECT_EQ(frm.Options()->Criteria.phrase, QStringLiteral("Rechnung"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CriteriaWindowTest, SearchesListWhatTheCriteriaLetThrough) {
  tree.createFile("rechnung.txt", "Ihre RECHNUNG vom Mai", Noon(2026, 5, 2));
  tree.createFile("brief.txt", "Sehr geehrte Damen", Noon(2026, 1, 15));
  tree.createFile("gross.bin", std::string(3000, 'r'), Noon(2025, 12, 31));
  tree.createFile("Archiv/alt.txt", "Rechnungen 2019", Noon(2019, 3, 1));
  tree.createFile("Archiv/tief/auch.txt", "Rechnung", Noon(2026, 2, 1));
  tree.createFile(".git/config", "rechnung", Noon(2026, 2, 1));
  tree.createFile(".profil", "Rechnung", Noon(2026, 2, 1));
  tree.createFile("sicher.bak", "Rechnung", Noon(2026, 2, 1));
  const std::set<std::string> all = {"rechnung.txt", "brief.txt",   "gross.bin",  "Archiv/alt.txt",
                                     "Archiv/tief/auch.txt", ".git/config", ".profil", "sicher.bak"};
  const struct {
    const char* name;
    std::function<void(TCriteriaFields&)> set;
    std::set<std::string> found;
  } cases[] = {
      {"nothing set", [](auto&) {}, all},
      {"phrase, any case", [](auto& f) { f.phrase = QStringLiteral("rechnung"); },
       {"rechnung.txt", "Archiv/alt.txt", "Archiv/tief/auch.txt", ".git/config", ".profil", "sicher.bak"}},
      {"phrase, case and whole words", [](auto& f) {
         f.phrase = QStringLiteral("Rechnung");
         f.caseSensitive = true;
         f.wholeWord = true;
       },
       {"Archiv/tief/auch.txt", ".profil", "sicher.bak"}},
      {"size range", [](auto& f) {
         f.sizeMin = QStringLiteral("16"), f.sizeMinUnit = TSizeUnit::Bytes;
         f.sizeMax = QStringLiteral("2"), f.sizeMaxUnit = TSizeUnit::KB;
       },
       {"rechnung.txt", "brief.txt"}},
      {"dates, both days count", [](auto& f) {
         f.after = QDate(2026, 1, 15);
         f.before = QDate(2026, 5, 2);
       },
       {"rechnung.txt", "brief.txt", "Archiv/tief/auch.txt", ".git/config", ".profil", "sicher.bak"}},
      {"folders not searched, files not listed", [](auto& f) {
         f.excludedFolders = QStringLiteral("archiv; .git");
         f.excludedFiles = QStringLiteral("*.BAK;gross.*");
       },
       {"rechnung.txt", "brief.txt", ".profil"}},
      {"without hidden entries", [](auto& f) { f.withHidden = false; },
       {"rechnung.txt", "brief.txt", "gross.bin", "Archiv/alt.txt", "Archiv/tief/auch.txt", "sicher.bak"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Found(With(c.set)), c.found) << c.name;
  EXPECT_TRUE(ui.messages.empty());

  // Leaving out a folder leaves out its count too: the root, Archiv, tief
  // and .git are four folders; without Archiv two.
  Found(With([](auto& f) { f.excludedFolders = QStringLiteral("Archiv"); }));
  EXPECT_EQ(frm.FolderCount(), 2);
  Found({});
  EXPECT_EQ(frm.FolderCount(), 4);
}

TEST_F(CriteriaWindowTest, HiddenStartFolderIsSearchedWithoutHiddenEntries) {
  tree.createFile(".versteckt/a.txt", "1");
  tree.createFile(".versteckt/.b", "1");
  tree.createFile(".versteckt/.c/d.txt", "1");
  frm.Options()->Criteria.withHidden = false;
  test::RunSearch(frm, tree.Path(".versteckt"), QStringLiteral("*.*"), nullptr);
  ASSERT_EQ(frm.FileCount(), 1);
  EXPECT_EQ(frm.Results().Store().FullPath(1), tree.Path(".versteckt/a.txt"));
}

}  // namespace
}  // namespace trawlix
