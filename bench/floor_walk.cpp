#include "bench/floor_walk.h"

#include <cstring>

namespace {

bool IsDots(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool IsGuidShaped(const char* name) {
  return std::strlen(name) >= 20 && name[0] == '{' && name[9] == '-' && name[14] == '-' &&
         name[19] == '-';
}

// Writes "folder\" into `path` and returns its length, or 0 when even a
// one-character name would not fit.
std::size_t StartPath(char (&path)[MAX_PATH], const char* folder) {
  const std::size_t length = std::strlen(folder);
  if (length + 2 >= sizeof path) return 0;
  std::memcpy(path, folder, length);
  path[length] = '\\';
  return length + 1;
}

bool AppendName(char (&path)[MAX_PATH], std::size_t start, const char* name) {
  const std::size_t length = std::strlen(name);
  if (start + length >= sizeof path) return false;
  std::memcpy(path + start, name, length + 1);
  return true;
}

}  // namespace

std::uint64_t FloorFolderSize(Platform& platform, const char* folder, bool guard) {
  char path[MAX_PATH];
  const std::size_t start = StartPath(path, folder);
  if (start == 0 || !AppendName(path, start, "*")) return 0;
  WIN32_FIND_DATAA entry;
  HANDLE listing = platform.FindFirstFileA(path, &entry);
  if (listing == INVALID_HANDLE_VALUE) return 0;
  std::uint64_t total = 0;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      total += (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    } else if (!IsDots(entry.cFileName) && !(guard && IsGuidShaped(entry.cFileName)) &&
               AppendName(path, start, entry.cFileName)) {
      total += FloorFolderSize(platform, path, false);
    }
  } while (platform.FindNextFileA(listing, &entry));
  platform.FindClose(listing);
  return total;
}

void FloorPurgeContents(Platform& platform, const char* folder, bool guard) {
  char path[MAX_PATH];
  const std::size_t start = StartPath(path, folder);
  if (start == 0 || !AppendName(path, start, "*")) return;
  WIN32_FIND_DATAA entry;
  HANDLE listing = platform.FindFirstFileA(path, &entry);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if (IsDots(entry.cFileName) || !AppendName(path, start, entry.cFileName)) continue;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        platform.SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
      }
      platform.DeleteFileA(path);
    } else if (!(guard && IsGuidShaped(entry.cFileName))) {
      FloorPurgeContents(platform, path, false);
      platform.RemoveDirectoryA(path);
    }
  } while (platform.FindNextFileA(listing, &entry));
  platform.FindClose(listing);
}
