// A temporary folder for tests, removed with everything below it when the
// fixture ends. createFile writes bytes and optionally sets the time of the
// last write.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace trawlix::test {

class TempTree {
 public:
  TempTree() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "trawlix-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    root_ = tmpl + "/";
  }
  ~TempTree() {
    std::error_code ec;
    // Restore permissions a test took away so that everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(
             root_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
    }
    ::chmod(root_.c_str(), 0755);
    std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The root, ending in "/".
  const std::string& Root() const { return root_; }
  std::string Path(const std::string& rel) const { return root_ + rel; }

  // Creates the file (and its folders) with the given bytes; mtime in Unix
  // seconds when given.
  std::string createFile(const std::string& rel, const std::string& bytes = "",
                         time_t mtime = static_cast<time_t>(-1)) const {
    const std::string p = root_ + rel;
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + p);
    if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("cannot write " + p);
    ::close(fd);
    if (mtime != static_cast<time_t>(-1)) setMtime(rel, mtime);
    return p;
  }

  std::string createDir(const std::string& rel) const {
    const std::string p = root_ + rel;
    std::filesystem::create_directories(p);
    return p;
  }

  void setMtime(const std::string& rel, time_t mtime) const {
    struct timespec ts[2] = {{mtime, 0}, {mtime, 0}};
    ::utimensat(AT_FDCWD, (root_ + rel).c_str(), ts, AT_SYMLINK_NOFOLLOW);
  }

  void symlink(const std::string& target, const std::string& rel) const {
    if (::symlink(target.c_str(), (root_ + rel).c_str()) != 0)
      throw std::runtime_error("symlink failed");
  }

 private:
  std::string root_;
};

// Makes folder the process's current folder while it lives.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

// Makes a fresh folder the process's current folder and removes it, as
// when the folder a program was started in is deleted; the previous current
// folder comes back at the end.
class InVanishedFolder {
 public:
  InVanishedFolder() : previous_(std::filesystem::current_path()) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "trawlix-gone-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    if (::chdir(tmpl.c_str()) != 0 || ::rmdir(tmpl.c_str()) != 0) throw std::runtime_error("cannot vanish");
  }
  ~InVanishedFolder() { std::filesystem::current_path(previous_); }
  InVanishedFolder(const InVanishedFolder&) = delete;
  InVanishedFolder& operator=(const InVanishedFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace trawlix::test
