// What the two floor walks (bench/floor.cpp through Win32, bench/floor_walk.cpp
// through Platform) share: the plainest tests of a name and the plainest way
// of naming an entry, zero-terminated texts measured again where needed.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/win32_types.h"

namespace floor_paths {

inline bool IsDots(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

inline bool IsGuidShaped(const char* name) {
  return std::strlen(name) >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
         name[19] == '-';
}

// Writes "folder\" into `path` and returns its length, or 0 when even a
// one-character name would not fit after it.
inline std::size_t StartPath(char (&path)[MAX_PATH], const char* folder) {
  const std::size_t length = std::strlen(folder);
  if (length + 2 >= sizeof path) return 0;
  std::memcpy(path, folder, length);
  path[length] = '\\';
  return length + 1;
}

// Writes the name after "folder\"; false, with nothing written, when it would
// not fit.
inline bool AppendName(char (&path)[MAX_PATH], std::size_t start, const char* name) {
  const std::size_t length = std::strlen(name);
  if (start + length >= sizeof path) return false;
  std::memcpy(path + start, name, length + 1);
  return true;
}

}  // namespace floor_paths
