#include "platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace trawlix {

std::string GetCurrentDir() {
  std::string buf(4096, '\0');
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return {};
    buf.resize(buf.size() * 2);
  }
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  return buf;
}

std::string ExpandFileName(std::string_view path) {
  std::string full;
  if (path.empty() || path.front() != '/') {
    full = GetCurrentDir();
    if (full.empty()) return {};
    full.push_back('/');
  }
  full.append(path);
  const bool trailing = !path.empty() && path.back() == '/';

  std::vector<std::string_view> parts;
  std::string_view rest(full);
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (auto p : parts) {
    out.push_back('/');
    out.append(p);
  }
  if (out.empty()) return "/";
  if (trailing) out.push_back('/');
  return out;
}

std::string IncludeTrailingPathDelimiter(std::string path) {
  if (!path.empty() && path.back() != '/') path.push_back('/');
  return path;
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace trawlix
