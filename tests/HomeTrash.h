// The desktop's home trash for tests: XDG_DATA_HOME points at a temporary
// folder of the process (on the file system of the temporary folders, which
// is also the home folder's here), set before GLib first reads it (it keeps
// the value for the life of the process). Empty clears it between tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempTree.h"

namespace trawlix::test {

class HomeTrash {
 public:
  // The process's trash; the first call sets XDG_DATA_HOME.
  static HomeTrash& Get() {
    static HomeTrash trash;
    return trash;
  }

  std::string Folder() const { return data_.Path("Trash/"); }
  std::string Files() const { return Folder() + "files/"; }
  std::string Info() const { return Folder() + "info/"; }

  // The names in files/, in the order of the folder.
  std::vector<std::string> Names() const { return NamesIn(Files()); }
  static std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) out.push_back(e.path().filename());
    return out;
  }
  void Empty() const {
    std::error_code ec;
    std::filesystem::remove_all(Folder(), ec);
  }

 private:
  HomeTrash() { ::setenv("XDG_DATA_HOME", data_.Root().c_str(), 1); }
  TempTree data_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A path as a .trashinfo file writes it: every byte but the unreserved
// characters of a URI and "/" percent-encoded.
inline std::string PercentEncoded(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace trawlix::test
