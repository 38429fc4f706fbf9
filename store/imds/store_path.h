// Paths of the store's data files. Names in data lists and in the store's own code
// are written Windows-style ("..\\data\\datadictionary.txt"); every data path is built
// here, so a backslash becomes the platform's separator in one place only.
// Everything returns std::string values owned by the caller; no state, thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Longest data file name a list may hold, and longest path built from one, in bytes.
inline constexpr std::size_t kMaxDataFileNameLength = 127;
inline constexpr std::size_t kMaxDataPathLength = 259;

// `path` with every backslash turned into the platform's separator.
std::string ToPlatformPath(std::string_view path);
// "directory\\name" as a platform path.
std::string JoinDataPath(std::string_view directory, std::string_view name);
// "..\\data\\name" (the data directory beside the current one) as a platform path.
std::string RelativeDataPath(std::string_view name);
// "<store root>/data/name" as a platform path; nullopt while no store root is set.
std::optional<std::string> StoreRootDataPath(std::string_view name);
