// A temporary folder for tests, removed with everything below it when the
// fixture ends. createFile writes bytes and optionally sets the time of the
// last write. Files and folders are made name by name, relative to their
// parent, so a tree may reach below the depth where its paths grow longer
// than the system takes; the removal works the same way.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <dirent.h>

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
    // Permissions a test took away are given back on the way down.
    ::chmod(root_.c_str(), 0755);
    RemoveBelow(AT_FDCWD, root_.c_str());
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
    const size_t slash = rel.rfind('/');
    const int dir = OpenFolder(slash == std::string::npos ? std::string() : rel.substr(0, slash));
    const int fd = ::openat(dir, rel.c_str() + (slash == std::string::npos ? 0 : slash + 1),
                            O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(dir);
    if (fd < 0) throw std::runtime_error("cannot create " + p);
    if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("cannot write " + p);
    ::close(fd);
    if (mtime != static_cast<time_t>(-1)) setMtime(rel, mtime);
    return p;
  }

  std::string createDir(const std::string& rel) const {
    ::close(OpenFolder(rel));
    return root_ + rel;
  }

  // The folder rel below the root, made with its parents where missing, as
  // an open descriptor the caller closes. Each name is taken relative to the
  // folder before it, so rel may be of any length.
  int OpenFolder(const std::string& rel) const {
    int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    size_t pos = 0;
    while (fd >= 0 && pos < rel.size()) {
      size_t end = rel.find('/', pos);
      if (end == std::string::npos) end = rel.size();
      const std::string name = rel.substr(pos, end - pos);
      pos = end + 1;
      if (name.empty()) continue;
      ::mkdirat(fd, name.c_str(), 0755);
      const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = next;
    }
    if (fd < 0) throw std::runtime_error("cannot make " + root_ + rel);
    return fd;
  }

  // Removes everything below the folder name of dirFd and the folder
  // itself, giving each folder its permissions back first.
  static void RemoveBelow(int dirFd, const char* name) {
    ::fchmodat(dirFd, name, 0755, 0);
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (DIR* d = ::fdopendir(fd)) {
      while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        struct stat st;
        if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
          RemoveBelow(fd, n.c_str());
        else
          ::unlinkat(fd, n.c_str(), 0);
      }
      ::closedir(d);  // closes fd
    } else {
      ::close(fd);
    }
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
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
