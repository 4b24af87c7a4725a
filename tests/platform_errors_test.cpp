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
  EXPECT_EQ(ErrnoText(EACCES), "Dateizugriff verweigert");
  try {
    RaiseErrno(ENOSPC);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), 101);
    EXPECT_EQ(e.Message(), "Zu wenig Speicherplatz");
  }
}

// Regression: an errno without a code of its own was taken for the code of
// the same number, so EIO (5) read "Dateizugriff verweigert", ENETUNREACH
// (101) "Zu wenig Speicherplatz" and EISCONN (106) "Ungültige numerische
// Eingabe". Whichever way the code travels (the text of the code, or an
// error built from it), it reads "E/A-Fehler {errno}".
TEST(ErrnoMapping, UnmappedErrnoReadsAsInOutErrorWithItsNumber) {
  for (int err : {EIO, ENETDOWN, ENETUNREACH, EISCONN, ESRCH, EINTR, EPIPE, 4711}) {
    const std::string expected = "E/A-Fehler " + std::to_string(err);
    EXPECT_EQ(ErrnoText(err), expected) << err;
    EXPECT_EQ(InOutErrorText(ErrnoToErrorCode(err)), expected) << err;
    EXPECT_EQ(EInOutError(ErrnoToErrorCode(err)).Message(), expected) << err;
    try {
      RaiseErrno(err);
      FAIL();
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message(), expected) << err;
    }
  }
  // The mapped ones keep their texts and codes.
  EXPECT_EQ(EInOutError(ErrnoToErrorCode(EACCES)).Message(), "Dateizugriff verweigert");
  EXPECT_EQ(EInOutError(ErrnoToErrorCode(ENOENT)).ErrorCode(), 2);
}

}  // namespace trawlix
