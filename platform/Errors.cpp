#include "platform/Errors.h"

#include <cerrno>

namespace trawlix {

EInOutError::EInOutError(int errorCode)
    : Exception(InOutErrorText(errorCode)), errorCode_(errorCode) {}

EInOutError::EInOutError(int errorCode, const std::string& message)
    : Exception(message), errorCode_(errorCode) {}

std::string InOutErrorText(int errorCode) {
  if (errorCode >= kErrnoCodeBase) return "E/A-Fehler " + std::to_string(errorCode - kErrnoCodeBase);
  switch (errorCode) {
    case 2: return "Datei nicht gefunden";
    case 3: return "Ungültiger Dateiname";
    case 4: return "Zu viele geöffnete Dateien";
    case 5: return "Dateizugriff verweigert";
    case 100: return "Versuch hinter dem Dateiende zu lesen";
    case 101: return "Zu wenig Speicherplatz";
    case 106: return "Ungültige numerische Eingabe";
    default: return "E/A-Fehler " + std::to_string(errorCode);
  }
}

int ErrnoToErrorCode(int err) {
  switch (err) {
    case ENOENT: return kErrFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP: return kErrPathNotFound;
    case EMFILE:
    case ENFILE: return kErrTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS: return kErrAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrDiskFull;
    default: break;
  }
  // An errno of no code of its own: its own number would be read as the
  // code of that number (EIO, 5, as access denied), so it travels marked.
  if (err < 0 || err >= kErrnoCodeBase) return kErrnoCodeBase;
  return kErrnoCodeBase + err;
}

std::string ErrnoText(int err) { return InOutErrorText(ErrnoToErrorCode(err)); }

void RaiseErrno(int err) { throw EInOutError(ErrnoToErrorCode(err)); }

}  // namespace trawlix
