// How the folder walks tell links from real files and folders. A link
// (junction, symbolic link, any reparse point) is never followed: a standard
// user can plant one in the temporary folder that leads to system files.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace folder_walk {

inline bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
inline bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// What a path is now, asked again just before acting on it: a listing can be
// stale by the time the walk reaches an entry.
enum class PathKind {
  kPlainFolder,
  kPlainFile,
  kLink,
  kUnknown,  // missing or unreadable
};
PathKind CurrentKind(Platform& platform, const char* path);

// The full size of a listed file, both halves.
inline std::uint64_t EntryBytes(const WIN32_FIND_DATAA& entry) {
  return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// Byte counts stop at the largest value rather than wrap to a small one.
inline std::uint64_t AddSaturating(std::uint64_t a, std::uint64_t b) {
  return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

}  // namespace folder_walk
