#include "store/imds/store_path.h"

#include <algorithm>
#include <filesystem>

#include "agent/store_root.h"

std::string ToPlatformPath(std::string_view path) {
  std::string out(path);
  constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
  std::replace(out.begin(), out.end(), '\\', kSeparator);
  return out;
}

std::string JoinDataPath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  path += '\\';
  path += name;
  return ToPlatformPath(path);
}

std::string RelativeDataPath(std::string_view name) { return JoinDataPath("..\\data", name); }

std::optional<std::string> StoreRootDataPath(std::string_view name) {
  if (gv_storeRoot == nullptr) return std::nullopt;
  std::string path(gv_storeRoot);
  path += "/data/";
  path += name;
  return ToPlatformPath(path);
}
