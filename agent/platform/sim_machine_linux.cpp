#include "agent/platform/sim_machine.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <vector>

namespace platform::sim {
namespace {

bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::vector<std::string> SplitComponents(const std::string& path, std::size_t from) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = from; i < path.size(); ++i) {
    char c = path[i];
    if (c == '\\' || c == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` ignoring case, or `name` itself.
std::string MatchComponent(const std::string& dir, const std::string& name) {
  if (name == "." || name == ".." || Exists(dir + "/" + name)) return name;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return name;
  std::string found = name;
  while (dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

std::string Root() {
  const char* root = std::getenv("SIMWIN_ROOT");
  std::string r = root ? root : "";
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::string RegistryFile() { return Root() + "/registry.reg"; }

std::string ToHost(const std::string& windowsPath) {
  if (!HasDriveLetter(windowsPath)) {
    std::string p = windowsPath;
    for (char& c : p)
      if (c == '\\') c = '/';
    return p;
  }
  std::string host = Root() + "/" + static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
  for (const std::string& part : SplitComponents(windowsPath, 2)) host += "/" + MatchComponent(host, part);
  return host;
}

std::string ToWindows(const std::string& hostPath) {
  std::string root = Root();
  if (root.empty() || hostPath.compare(0, root.size() + 1, root + "/") != 0) return hostPath;
  std::string rest = hostPath.substr(root.size() + 1);
  if (rest.empty() || !std::isalpha(static_cast<unsigned char>(rest[0])) ||
      (rest.size() > 1 && rest[1] != '/'))
    return hostPath;
  std::string win = std::string(1, rest[0]) + ":";
  std::vector<std::string> parts = SplitComponents(rest, 1);
  if (parts.empty()) return win + "\\";
  for (const std::string& part : parts) win += "\\" + part;
  return win;
}

}  // namespace platform::sim
