#include "bench/floor_walk.h"

#include "bench/floor_paths.h"

using floor_paths::AppendName;
using floor_paths::IsDots;
using floor_paths::IsGuidShaped;
using floor_paths::StartPath;

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
