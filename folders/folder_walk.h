// What the folder walks share: telling links from real files and folders, the
// GUID-shaped names they spare, byte sums, and the paths they build in fixed
// buffers. A link (junction, symbolic link, any reparse point) is never
// followed: a standard user can plant one in the temporary folder that leads
// to system files. A path that would not fit is refused rather than cut short,
// so an entry is never named by the wrong path.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/find_data.h"
#include "platform/platform.h"
#include "platform/win32_types.h"

// True when `name` has "{" at position 0 and "-" at positions 9, 14 and 19.
// Nothing else is looked at (not the hex digits, the length beyond 20, the
// closing brace); a name shorter than 20 characters is never GUID-shaped.
bool IsGuidShapedName(std::string_view name);

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

// The paths a walk builds for one folder, in one buffer: "folder\" is written
// once, and the search pattern and then each entry's name go after it, each
// replacing the one before. Naming an entry then costs the copy of its name
// alone, not of the whole folder's text again. The rules are those of
// BuildSearchPattern and BuildEntryPath.
template <std::size_t N>
class FolderPaths {
 public:
  FolderPaths() { buffer_[0] = '\0'; }
  FolderPaths(const FolderPaths&) = delete;
  FolderPaths& operator=(const FolderPaths&) = delete;

  // Starts on `folder` and gives "folder\*.*", zero-terminated; an empty view
  // (and no folder to name entries in) when BuildSearchPattern would refuse.
  std::string_view SearchPattern(std::string_view folder) {
    folderLength_ = 0;
    buffer_[0] = '\0';
    if (folder.empty() || folder.find('\0') != std::string_view::npos) return {};
    constexpr std::string_view kPattern = "\\*.*";
    if (folder.size() + kPattern.size() >= N) return {};
    folder.copy(buffer_, folder.size());
    kPattern.copy(buffer_ + folder.size(), kPattern.size());
    buffer_[folder.size() + kPattern.size()] = '\0';
    folderLength_ = folder.size() + 1;
    return std::string_view(buffer_, folder.size() + kPattern.size());
  }

  // Whether "folder\name" fits: the name is not empty and leaves room for the
  // terminating zero. Names are those EntryName gives, which never hold a
  // zero byte, so that they are not searched for one again for every entry.
  bool Fits(std::string_view name) const {
    return folderLength_ != 0 && !name.empty() && folderLength_ + name.size() < N;
  }

  // "folder\name", zero-terminated and valid until the next call, or an empty
  // view when it does not fit.
  std::string_view EntryPath(std::string_view name) {
    if (!Fits(name)) return {};
    name.copy(buffer_ + folderLength_, name.size());
    buffer_[folderLength_ + name.size()] = '\0';
    return std::string_view(buffer_, folderLength_ + name.size());
  }

 private:
  char buffer_[N];
  std::size_t folderLength_ = 0;  // "folder\" when there is a folder, else 0
};

}  // namespace folder_walk
