#include "app/Formatting.h"

#include <gtest/gtest.h>

#include <new>

#include "app/UserInteraction.h"
#include "platform/Errors.h"
#include "RecordingInteraction.h"

namespace trawlix {
namespace {

TEST(FormatGrouped, GroupsDigitsInThreesFromTheRight) {
  const struct {
    int64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},           {7, "7"},           {100, "100"},       {999, "999"},
      {1000, "1.000"},    {12345, "12.345"},  {100000, "100.000"}, {1000000, "1.000.000"},
      {5368709120LL, "5.368.709.120"},          {INT64_MAX, "9.223.372.036.854.775.807"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatGrouped(c.value), c.text) << c.value;
}

TEST(CountLabels, SingularAndPluralForms) {
  EXPECT_EQ(FileCountLabelText(1, 12345), "  1 Datei mit 12.345 Bytes in");
  EXPECT_EQ(FileCountLabelText(0, 0), "  0 Dateien mit 0 Bytes in");
  EXPECT_EQ(FileCountLabelText(2000, 3000000), "  2.000 Dateien mit 3.000.000 Bytes in");
  EXPECT_EQ(DirCountLabelText(1), "  1 Unterverzeichnis.");
  EXPECT_EQ(DirCountLabelText(56), "  56 Unterverzeichnissen.");
  EXPECT_EQ(DirCountLabelText(0), "  0 Unterverzeichnissen.");
}

TEST(GeneralErrorText, FullStopOnlyAfterCharactersAboveTheDot) {
  const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Datei nicht gefunden", "Datei nicht gefunden."},
      {"Fertig.", "Fertig."},
      {"Achtung!", "Achtung!"},
      {"(siehe oben)", "(siehe oben)"},
      {"Wert -", "Wert -"},          // '-' is below '.'
      {"Pfad /", "Pfad /."},         // '/' is above '.'
      {"Größe ä", "Größe ä."},       // bytes of non-ASCII letters are above '.'
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GeneralErrorText(c.message), c.shown) << c.message;
}

TEST(GeneralErrorDisplay, EscapingErrorsAreShownAndEndOnlyTheCommand) {
  test::RecordingInteraction ui;
  bool after = false;
  RunGuarded(ui, [] { throw EInOutError(5); });
  RunGuarded(ui, [] { throw std::bad_alloc(); });
  RunGuarded(ui, [] { throw Exception("'x' ist keine gültige Datums- und Uhrzeitangabe"); });
  RunGuarded(ui, [] { throw 42; });
  RunGuarded(ui, [&] { after = true; });
  ASSERT_EQ(ui.messages.size(), 4u);
  for (const auto& m : ui.messages) EXPECT_TRUE(m.errorBox);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Dateizugriff verweigert."));
  EXPECT_EQ(ui.messages[1].text, QStringLiteral("Zu wenig Arbeitsspeicher."));
  EXPECT_EQ(ui.messages[2].text, QStringLiteral("'x' ist keine gültige Datums- und Uhrzeitangabe."));
  EXPECT_EQ(ui.messages[3].text, QStringLiteral("Unbekannter Fehler."));
  EXPECT_TRUE(after);
}

TEST(MessageTitles, OneTitlePerKind) {
  EXPECT_EQ(MessageTitle(TMsgKind::Error), QStringLiteral("Fehler"));
  EXPECT_EQ(MessageTitle(TMsgKind::Warning), QStringLiteral("Warnung"));
  EXPECT_EQ(MessageTitle(TMsgKind::Information), QStringLiteral("Informationen"));
}

}  // namespace
}  // namespace trawlix
