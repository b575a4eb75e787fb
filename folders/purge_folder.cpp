#include "folders/purge_folder.h"

#include "folders/folder_walk.h"
#include "platform/scoped_handle.h"

using folder_walk::CopyFolderPath;
using folder_walk::CurrentKind;
using folder_walk::FolderPaths;
using folder_walk::IsFolder;
using folder_walk::IsLink;
using folder_walk::PathKind;

namespace {

// Folder texts below are zero-terminated views: the calls take the text, and
// the next level's walk its length.
void PurgeContents(Platform& platform, std::string_view folder, bool guard);

void RemoveListedFolder(Platform& platform, std::string_view path, DWORD listedAttributes) {
  if (IsLink(listedAttributes)) {
    platform.RemoveDirectoryA(path.data());
    return;
  }
  // The listing may be stale: a folder swapped for a link since then must not
  // be entered. A narrower window would need handle-based calls.
  switch (CurrentKind(platform, path.data())) {
    case PathKind::kPlainFolder:
      PurgeContents(platform, path, false);
      platform.RemoveDirectoryA(path.data());
      return;
    case PathKind::kLink:
      platform.RemoveDirectoryA(path.data());
      return;
    case PathKind::kPlainFile:
    case PathKind::kUnknown:
      return;
  }
}

// False when the file stays.
bool DeleteListedFile(Platform& platform, const char* path, DWORD listedAttributes) {
  // SetFileAttributesA may act on a link's target, so only a file that is
  // still a plain file gets its read-only bit cleared.
  if ((listedAttributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      CurrentKind(platform, path) == PathKind::kPlainFile) {
    platform.SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  }
  return platform.DeleteFileA(path) != FALSE;
}

// False when the walk of the folder ends here.
bool PurgeEntry(Platform& platform, FolderPaths<MAX_PATH>& paths, const WIN32_FIND_DATAA& entry,
                bool guard) {
  const std::string_view name = EntryName(entry);
  if (name.empty() || IsSelfOrParent(name)) return true;
  // Too long to name: the entry stays, and with it its folder.
  const std::string_view entryPath = paths.EntryPath(name);
  if (entryPath.empty()) return true;
  const char* path = entryPath.data();

  const DWORD attributes = entry.dwFileAttributes;
  if (!IsFolder(attributes)) {
    if (IsLink(attributes)) {
      // DeleteFileA removes the link itself. One that cannot be removed (a
      // read-only link, say) is not ours to clear, and says nothing about the
      // entries after it.
      platform.DeleteFileA(path);
      return true;
    }
    return DeleteListedFile(platform, path, attributes);
  }
  if (guard && IsGuidShapedName(name)) return true;
  RemoveListedFolder(platform, entryPath, attributes);
  return true;
}

void PurgeListing(Platform& platform, std::string_view folder, bool guard) {
  FolderPaths<MAX_PATH> paths;
  const std::string_view pattern = paths.SearchPattern(folder);
  if (pattern.empty()) return;
  WIN32_FIND_DATAA entry = {};
  ScopedFindHandle listing(platform, platform.FindFirstFileA(pattern.data(), &entry));
  if (!listing) return;
  do {
    if (!PurgeEntry(platform, paths, entry, guard)) return;
  } while (platform.FindNextFileA(listing.get(), &entry));
}

void PurgeContents(Platform& platform, std::string_view folder, bool guard) {
  if (platform.RemoveDirectoryA(folder.data())) return;
  const DWORD error = platform.GetLastError();
  if (error != static_cast<DWORD>(ERROR_DIR_NOT_EMPTY) &&
      error != static_cast<DWORD>(ERROR_SHARING_VIOLATION)) {
    return;
  }
  PurgeListing(platform, folder, guard);
}

}  // namespace

void PurgeFolder(Platform& platform, std::string_view folder, bool guard) {
  char path[MAX_PATH];
  if (!CopyFolderPath(path, folder)) return;
  PurgeContents(platform, std::string_view(path, folder.size()), guard);
}

void PurgeFolderContents(Platform& platform, std::string_view folder, bool guard) {
  // The search pattern refuses whatever CopyFolderPath would, and more.
  PurgeListing(platform, folder, guard);
}

void RemoveFolderEntry(Platform& platform, std::string_view path, DWORD listedAttributes) {
  char entryPath[MAX_PATH];
  if (!CopyFolderPath(entryPath, path)) return;
  RemoveListedFolder(platform, std::string_view(entryPath, path.size()), listedAttributes);
}
