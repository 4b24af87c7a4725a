// Error kinds shared by the platform layer, the engine and the window.
//
// Every error the program raises derives from Exception, which carries the
// message shown to the user. Input/output failures carry the error code and
// the German text chosen by it.
#pragma once

#include <stdexcept>
#include <string>

namespace trawlix {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// An input/output failure with its error code (Windows numbering, see
// ErrnoToErrorCode) and the German text of that code.
class EInOutError : public Exception {
 public:
  explicit EInOutError(int errorCode);
  EInOutError(int errorCode, const std::string& message);
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

// A failed conversion, such as assigning criteria of another class.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The worker thread of a search could not be created.
class EThread : public Exception {
 public:
  using Exception::Exception;
};

// Error codes in the numbering the texts are chosen by.
enum : int {
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrTooManyOpenFiles = 4,
  kErrAccessDenied = 5,
  kErrNoMoreFiles = 18,
  kErrReadBeyondEnd = 100,
  kErrDiskFull = 101,
  kErrInvalidNumeric = 106,
};

// The German text of an input/output error code: "Datei nicht gefunden" for
// 2 and so on; "E/A-Fehler {n}" for any code without a text of its own, and
// for an unmapped errno n (code kErrnoCodeBase + n).
std::string InOutErrorText(int errorCode);

// Codes from here on stand for an errno value n without a code of its own
// (kErrnoCodeBase + n); their text is "E/A-Fehler {n}".
inline constexpr int kErrnoCodeBase = 0x10000;

// Maps an errno value onto the error code numbering above. An errno value
// without a code of its own becomes kErrnoCodeBase + errno, so it is never
// read as the code of the same number (EIO, errno 5, is no access denial).
int ErrnoToErrorCode(int err);

// The text for an errno value: the text of its mapped code, or
// "E/A-Fehler {n}" with the errno number when it has no code of its own.
std::string ErrnoText(int err);

// Throws EInOutError for the given errno value.
[[noreturn]] void RaiseErrno(int err);

}  // namespace trawlix
