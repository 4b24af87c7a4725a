#include "results/Export.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Errors.h"

namespace trawlix {

namespace {

constexpr std::string_view kHeaderUtf8 = "Verzeichnis\tDatei\tDatum\tGr\xC3\xB6\xC3\x9F" "e in Byte";

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

// A file opened for writing, filled through a buffer. Every failure throws
// EInOutError; the descriptor is closed however the object goes.
class TBufferedFile {
 public:
  static constexpr size_t kFlushAt = 256 * 1024;

  explicit TBufferedFile(const std::string& path) {
    // O_NONBLOCK only for the open: a FIFO without a reader fails at once
    // instead of blocking the window until someone reads it.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd_ < 0) RaiseErrno(errno);
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    buffer_.reserve(kFlushAt + 64 * 1024);
  }
  ~TBufferedFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  TBufferedFile(const TBufferedFile&) = delete;
  TBufferedFile& operator=(const TBufferedFile&) = delete;

  std::string& Buffer() { return buffer_; }
  void FlushIfFull() {
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    const char* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail(n < 0 ? errno : ENOSPC);
      p += n;
      left -= static_cast<size_t>(n);
    }
    buffer_.clear();
  }
  void Close() {
    Flush();
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close reports EINTR.
    if (::close(fd) != 0 && errno != EINTR) RaiseErrno(errno);
  }

 private:
  [[noreturn]] void Fail(int err) {
    buffer_.clear();
    ::close(fd_);
    fd_ = -1;
    RaiseErrno(err);
  }

  int fd_ = -1;
  std::string buffer_;
};

}  // namespace

std::string TableHeaderLine() {
  std::string line;
  const char* charset = nl_langinfo(CODESET);
  if (!charset || !*charset || std::strcmp(charset, "UTF-8") == 0 || !Convert(kHeaderUtf8, charset, line))
    line.assign(kHeaderUtf8);
  line += "\r\n";
  return line;
}

void AppendTableLine(std::string& out, const TRowStore& store, int row, bool fiveFields) {
  store.AppendCellText(out, row, TRowStore::colFolder);
  out.push_back('\t');
  store.AppendCellText(out, row, TRowStore::colName);
  out.push_back('\t');
  store.AppendCellText(out, row, TRowStore::colDate);
  out.push_back('\t');
  store.AppendCellText(out, row, TRowStore::colSize);
  if (fiveFields) {
    out.push_back('\t');
    store.AppendCellText(out, row, TRowStore::colCrc);
  }
  out += "\r\n";
}

void AppendListLine(std::string& out, const TRowStore& store, int row) {
  out.append(store.Folder(row));
  out.append(store.Name(row));
  out += "\r\n";
}

void ExportTable(const TRowStore& store, int colCount, const std::string& path) {
  TBufferedFile file(path);
  const bool fiveFields = colCount == 5;
  std::string& buf = file.Buffer();
  buf += TableHeaderLine();
  const int32_t rows = store.FileCount();
  for (int32_t r = 1; r <= rows; ++r) {
    AppendTableLine(buf, store, r, fiveFields);
    file.FlushIfFull();
  }
  file.Close();
}

void ExportList(const TRowStore& store, const std::string& path) {
  TBufferedFile file(path);
  std::string& buf = file.Buffer();
  const int32_t rows = store.FileCount();
  for (int32_t r = 1; r <= rows; ++r) {
    AppendListLine(buf, store, r);
    file.FlushIfFull();
  }
  file.Close();
}

}  // namespace trawlix
