#include "results/Export.h"

#include <fcntl.h>
#include <poll.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <vector>

#include "platform/Errors.h"
#include "platform/FileTime.h"

namespace trawlix {

namespace {

constexpr std::string_view kHeaderUtf8 =
    "Verzeichnis\tDatei\tDatum\tGr\xC3\xB6\xC3\x9F"
    "e in Byte";

// The text in the named character set, or false when it has no room for
// every character.
bool Convert(std::string_view utf8, const char* charset, std::string& out) {
  iconv_t cd = iconv_open(charset, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in(utf8);
  out.assign(in.size() * 4 + 16, '\0');
  char* src = in.data();
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  const bool ok = rc != static_cast<size_t>(-1) && rc == 0 && srcLeft == 0 &&
                  iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - dstLeft);
  return ok;
}

// The folder part of a path, up to and with its last "/"; empty for a bare
// name.
std::string FolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The path a save must replace: a symbolic link is followed to the file it
// names, link by link (a relative link from the link's own folder), so the
// link itself stays a link. A dangling link gives the path of the file it
// would name.
std::string SaveTargetPath(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return path;
    target.resize(static_cast<size_t>(n));
    if (target.empty() || target[0] != '/') target.insert(0, FolderPart(path));
    path = std::move(target);
  }
  RaiseErrno(ELOOP);
}

// The mode bits a newly created file gets: 0666 less the process's umask.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// A file written for a save, filled through a buffer. Every failure throws
// EInOutError; the descriptor is closed however the object goes.
//
// A regular file, or a new name, is never written in place: the text goes
// into a new file in the target's folder, which is flushed to the disk and
// only then renamed over the target, with the replaced file's permission
// bits. Until then, and after any failure (the temporary file is removed),
// the target is exactly as it was. A FIFO or a device is written directly.
//
// Lines are made in place: Reserve gives room for a line, Commit takes what
// was written there.
class TBufferedFile {
 public:
  static constexpr size_t kFlushAt = 256 * 1024;
  // How long a FIFO or device may take nothing before the save fails.
  static constexpr int kStallLimitMs = 10000;

  explicit TBufferedFile(const std::string& path)
      : target_(path.empty() ? path : SaveTargetPath(path)), buffer_(kFlushAt + 64 * 1024) {
    if (target_.empty()) RaiseErrno(ENOENT);
    struct stat st;
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) RaiseErrno(EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
      // Non-blocking: a FIFO without a reader fails at once, and one whose
      // reader stops reading fails after kStallLimit instead of holding the
      // window for good.
      fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
      if (fd_ < 0) RaiseErrno(errno);
      return;
    }
    // The existing file must be one we may replace: the same test the
    // system would make for writing it in place.
    if (exists && ::access(target_.c_str(), W_OK) != 0) RaiseErrno(errno);
    temp_ = FolderPart(target_).append(".trawlix-save-XXXXXX");
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      temp_.clear();
      RaiseErrno(errno);
    }
    const mode_t mode = exists ? (st.st_mode & 07777) : NewFileMode();
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
      (void)::fchown(fd_, st.st_uid, st.st_gid);  // best effort: only root may give files away
    if (::fchmod(fd_, mode) != 0) Fail(errno);
  }
  ~TBufferedFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
  }
  TBufferedFile(const TBufferedFile&) = delete;
  TBufferedFile& operator=(const TBufferedFile&) = delete;

  char* Reserve(size_t n) {
    if (used_ + n > buffer_.size()) {
      Flush();
      if (n > buffer_.size()) buffer_.resize(n);
    }
    return buffer_.data() + used_;
  }
  void Commit(const char* end) {
    used_ = static_cast<size_t>(end - buffer_.data());
    if (used_ >= kFlushAt) Flush();
  }
  void Append(std::string_view text) {
    char* p = Reserve(text.size());
    std::memcpy(p, text.data(), text.size());
    Commit(p + text.size());
  }
  void Flush() {
    const char* p = buffer_.data();
    size_t left = used_;
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // A pipe or device that takes no more for now: wait for room.
        pollfd room{fd_, POLLOUT, 0};
        const int ready = ::poll(&room, 1, kStallLimitMs);
        if (ready == 0) Fail(ETIMEDOUT);
        if (ready < 0 && errno != EINTR) Fail(errno);
        continue;
      }
      if (n <= 0) Fail(n < 0 ? errno : ENOSPC);
      p += n;
      left -= static_cast<size_t>(n);
    }
    used_ = 0;
  }
  void Close() {
    Flush();
    if (!temp_.empty() && ::fsync(fd_) != 0) Fail(errno);
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports EINTR.
    if (::close(fd) != 0 && errno != EINTR) Fail(errno);
    if (temp_.empty()) return;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
    temp_.clear();
    // The rename itself reaches the disk with its folder.
    const std::string part = FolderPart(target_);
    const std::string folder = part.empty() ? "." : part;
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }

 private:
  [[noreturn]] void Fail(int err) {
    used_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    RaiseErrno(err);
  }

  std::string target_;
  std::string temp_;  // the new file until it is renamed over the target
  int fd_ = -1;
  std::vector<char> buffer_;
  size_t used_ = 0;
};

// The date texts of one export, made once per distinct part and copied
// after that. A packed time is the date (upper 16 bits) and the time of day
// (lower 16 bits). A table holds few distinct dates; the time of day is
// looked up by hour and minute, its seconds put in as two digits. Texts
// too long for the small entries are made in full each time.
class TDateTexts {
 public:
  explicit TDateTexts(const TDateTextFormat& format)
      : format_(format), dates_(65536), times_(2048) {
    const TDateTextSettings& s = format.Settings();
    longest_ = std::max(std::strlen(kInvalidDateText),
                        s.prefix.size() + s.sep1.size() + s.sep2.size() + s.suffix.size() + 8 + 2 +
                            std::max(s.amText.size(), s.pmText.size()) + 2 * s.timeSep.size() + 6);
  }

  // The most bytes Append writes.
  size_t Longest() const { return longest_; }

  // Writes the date text of a packed time at p; returns its end.
  char* Append(char* p, int32_t packed) {
    const uint32_t bits = static_cast<uint32_t>(packed);
    const DateEntry& date = Date(bits >> 16);
    const uint32_t seconds = (bits & 31) * 2;
    const TimeEntry& time = Time((bits & 0xFFFF) >> 5);
    if (date.state == kLong || time.state == kLong) return Slow(p, packed);
    if (date.state != kValid || time.state != kValid || seconds >= 60)
      return Copy(p, kInvalidDateText, std::strlen(kInvalidDateText));
    p = Copy(p, date.text, date.length);
    if ((bits & 0xFFFF) == 0) return p;  // midnight: the date alone
    p = Copy(p, time.head, time.headLength);
    *p++ = static_cast<char>('0' + seconds / 10);
    *p++ = static_cast<char>('0' + seconds % 10);
    return Copy(p, time.tail, time.tailLength);
  }

 private:
  enum : uint8_t { kUnknown = 0, kValid, kInvalid, kLong };
  struct DateEntry {
    uint8_t state = kUnknown;
    uint8_t length = 0;
    char text[14];
  };
  // The time text of one hour and minute: what comes before the seconds
  // (the blank after the date included) and what follows them.
  struct TimeEntry {
    uint8_t state = kUnknown;
    uint8_t headLength = 0, tailLength = 0;
    char head[20];
    char tail[9];
  };
  // A date that is always valid, to test a time of day alone.
  static constexpr uint32_t kFirstDay = (1u << 5) | 1u;  // 1 January 1980

  static char* Copy(char* p, const char* s, size_t n) {
    std::memcpy(p, s, n);
    return p + n;
  }
  char* Slow(char* p, int32_t packed) {
    slow_.clear();
    format_.AppendFormat(slow_, packed);
    return Copy(p, slow_.data(), std::min(slow_.size(), longest_));
  }
  const DateEntry& Date(uint32_t half) {
    DateEntry& e = dates_[half];
    if (e.state != kUnknown) return e;
    TDateTimeFields f;
    if (!DecodeDosDateTime(static_cast<int32_t>(half << 16), f)) {
      e.state = kInvalid;
      return e;
    }
    const std::string text = format_.Format(f.Year, f.Month, f.Day, 0, 0, 0);
    if (text.size() > sizeof e.text) {
      e.state = kLong;
      return e;
    }
    std::memcpy(e.text, text.data(), text.size());
    e.length = static_cast<uint8_t>(text.size());
    e.state = kValid;
    return e;
  }
  const TimeEntry& Time(uint32_t hourMinute) {
    TimeEntry& e = times_[hourMinute];
    if (e.state != kUnknown) return e;
    TDateTimeFields f;
    if (!DecodeDosDateTime(static_cast<int32_t>((kFirstDay << 16) | (hourMinute << 5)), f)) {
      e.state = kInvalid;
      return e;
    }
    // The seconds are where the texts for 0 and 1 second differ.
    std::string zero(1, ' '), one(1, ' ');
    zero += format_.TimeText(f.Hour, f.Minute, 0);
    one += format_.TimeText(f.Hour, f.Minute, 1);
    size_t at = 0;
    while (at < zero.size() && at < one.size() && zero[at] == one[at]) ++at;
    if (at == 0 || at >= zero.size() || zero.size() != one.size() || at - 1 > sizeof e.head ||
        zero.size() - at - 1 > sizeof e.tail) {
      e.state = kLong;
      return e;
    }
    e.headLength = static_cast<uint8_t>(at - 1);
    std::memcpy(e.head, zero.data(), e.headLength);
    e.tailLength = static_cast<uint8_t>(zero.size() - at - 1);
    std::memcpy(e.tail, zero.data() + at + 1, e.tailLength);
    e.state = kValid;
    return e;
  }

  const TDateTextFormat& format_;
  std::vector<DateEntry> dates_;
  std::vector<TimeEntry> times_;
  size_t longest_;
  std::string slow_;
};

// Writes the table file's row lines straight into the file's buffer: the
// cells as CellText gives them, made without a string operation per cell.
class TTableLineWriter {
 public:
  TTableLineWriter(const TRowStore& store, bool fiveFields)
      : store_(store), fiveFields_(fiveFields), dates_(store.DateFormat()) {}

  void Append(TBufferedFile& file, int row) {
    const std::string_view folder = store_.Folder(row), name = store_.Name(row);
    char* p = file.Reserve(folder.size() + name.size() + dates_.Longest() + 64);
    std::memcpy(p, folder.data(), folder.size());
    p += folder.size();
    *p++ = '\t';
    std::memcpy(p, name.data(), name.size());
    p += name.size();
    *p++ = '\t';
    if (store_.HasTime(row)) p = dates_.Append(p, store_.Time(row));
    *p++ = '\t';
    if (store_.HasSize(row)) p = std::to_chars(p, p + 24, store_.Size(row)).ptr;
    if (fiveFields_) {
      *p++ = '\t';
      if (store_.HasChecksum(row)) p = std::to_chars(p, p + 24, store_.Checksum(row)).ptr;
    }
    *p++ = '\r';
    *p++ = '\n';
    file.Commit(p);
  }

 private:
  const TRowStore& store_;
  const bool fiveFields_;
  TDateTexts dates_;
};

}  // namespace

std::string TableHeaderLine() {
  std::string line;
  const char* charset = nl_langinfo(CODESET);
  if (!charset || !*charset || std::strcmp(charset, "UTF-8") == 0 ||
      !Convert(kHeaderUtf8, charset, line))
    line.assign(kHeaderUtf8);
  line += "\r\n";
  return line;
}

void ExportTable(const TRowStore& store, int colCount, const std::string& path) {
  TBufferedFile file(path);
  file.Append(TableHeaderLine());
  TTableLineWriter lines(store, colCount == 5);
  const int32_t rows = store.FileCount();
  for (int32_t r = 1; r <= rows; ++r) lines.Append(file, r);
  file.Close();
}

void ExportList(const TRowStore& store, const std::string& path) {
  TBufferedFile file(path);
  const int32_t rows = store.FileCount();
  for (int32_t r = 1; r <= rows; ++r) {
    const std::string_view folder = store.Folder(r), name = store.Name(r);
    char* p = file.Reserve(folder.size() + name.size() + 2);
    std::memcpy(p, folder.data(), folder.size());
    p += folder.size();
    std::memcpy(p, name.data(), name.size());
    p += name.size();
    *p++ = '\r';
    *p++ = '\n';
    file.Commit(p);
  }
  file.Close();
}

}  // namespace trawlix
