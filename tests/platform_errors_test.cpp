#include <gtest/gtest.h>

#include <cerrno>

#include "platform/Errors.h"

namespace trawlix {

TEST(InOutErrorText, KnownCodesAndFallback) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {2, "Datei nicht gefunden"},
      {3, "Ungültiger Dateiname"},
      {4, "Zu viele geöffnete Dateien"},
      {5, "Dateizugriff verweigert"},
      {100, "Versuch hinter dem Dateiende zu lesen"},
      {101, "Zu wenig Speicherplatz"},
      {106, "Ungültige numerische Eingabe"},
      {32, "E/A-Fehler 32"},
  };
  for (const auto& c : cases) EXPECT_EQ(InOutErrorText(c.code), c.text) << c.code;
}

TEST(ErrnoMapping, MapsOntoCodesAndKeepsOthersApart) {
  EXPECT_EQ(ErrnoToErrorCode(ENOENT), 2);
  for (int e : {ENOTDIR, ENAMETOOLONG, EINVAL, ELOOP}) EXPECT_EQ(ErrnoToErrorCode(e), 3);
  for (int e : {EMFILE, ENFILE}) EXPECT_EQ(ErrnoToErrorCode(e), 4);
  for (int e : {EACCES, EPERM, EROFS}) EXPECT_EQ(ErrnoToErrorCode(e), 5);
  for (int e : {ENOSPC, EDQUOT, EFBIG}) EXPECT_EQ(ErrnoToErrorCode(e), 101);
  // EIO is errno 5 but no access problem: it must not read as one.
  EXPECT_EQ(ErrnoText(EIO), "E/A-Fehler 5");
  EXPECT_EQ(ErrnoText(EACCES), "Dateizugriff verweigert");
  try {
    RaiseErrno(ENOSPC);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 101);
    EXPECT_EQ(e.Message(), "Zu wenig Speicherplatz");
  }
}

}  // namespace trawlix
