// Paths the folder walks build in fixed buffers. A path that would not fit is
// refused rather than cut short, so an entry is never named by the wrong path.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "platform/find_data.h"
#include "platform/win32_types.h"

namespace folder_walk {

// Writes the parts one after another into `out`, zero-terminated. False, with
// `out` left empty, when the text would need more than N bytes or a part holds
// a zero byte (which would silently cut the path short).
template <std::size_t N>
bool ComposePath(char (&out)[N], std::initializer_list<std::string_view> parts) {
  out[0] = '\0';
  std::size_t length = 0;
  for (std::string_view part : parts) {
    if (part.find('\0') != std::string_view::npos) return false;
    length += part.size();
  }
  if (length >= N) return false;
  char* cursor = out;
  for (std::string_view part : parts) cursor += part.copy(cursor, part.size());
  *cursor = '\0';
  return true;
}

// The folder's text alone. An empty folder is refused: every path built from
// it would name a place in the current folder or the current drive's root.
template <std::size_t N>
bool CopyFolderPath(char (&out)[N], std::string_view folder) {
  if (folder.empty()) {
    out[0] = '\0';
    return false;
  }
  return ComposePath(out, {folder});
}

// "folder\name", the path of one listed entry.
template <std::size_t N>
bool BuildEntryPath(char (&out)[N], std::string_view folder, std::string_view name) {
  if (folder.empty() || name.empty()) {
    out[0] = '\0';
    return false;
  }
  return ComposePath(out, {folder, "\\", name});
}

// "folder\*.*", which lists every entry of the folder.
template <std::size_t N>
bool BuildSearchPattern(char (&out)[N], std::string_view folder) {
  if (folder.empty()) {
    out[0] = '\0';
    return false;
  }
  return ComposePath(out, {folder, "\\*.*"});
}

}  // namespace folder_walk
