#include "folders/folder_size.h"

#include "folders/entry_check.h"
#include "folders/guid_name.h"
#include "folders/path_buffer.h"
#include "platform/scoped_handle.h"

using folder_walk::AddSaturating;
using folder_walk::CopyFolderPath;
using folder_walk::CurrentKind;
using folder_walk::EntryBytes;
using folder_walk::FolderPaths;
using folder_walk::IsFolder;
using folder_walk::IsLink;
using folder_walk::PathKind;

namespace {

std::uint64_t SizeOfContents(Platform& platform, std::string_view folder, bool guard);

// `path` is zero-terminated.
std::uint64_t SizeOfListedFolder(Platform& platform, std::string_view path,
                                 DWORD listedAttributes) {
  if (IsLink(listedAttributes)) return 0;
  if (CurrentKind(platform, path.data()) != PathKind::kPlainFolder) return 0;
  return SizeOfContents(platform, path, false);
}

std::uint64_t SizeOfEntry(Platform& platform, FolderPaths<MAX_PATH>& paths,
                          const WIN32_FIND_DATAA& entry, bool guard) {
  const std::string_view name = EntryName(entry);
  if (name.empty() || IsSelfOrParent(name)) return 0;
  // What a purge could not name, it would not delete either. A file's size
  // needs no path, only the knowledge that one could be built.
  if (!paths.Fits(name)) return 0;

  const DWORD attributes = entry.dwFileAttributes;
  if (!IsFolder(attributes)) return IsLink(attributes) ? 0 : EntryBytes(entry);
  if (guard && IsGuidShapedName(name)) return 0;
  return SizeOfListedFolder(platform, paths.EntryPath(name), attributes);
}

std::uint64_t SizeOfContents(Platform& platform, std::string_view folder, bool guard) {
  FolderPaths<MAX_PATH> paths;
  const std::string_view pattern = paths.SearchPattern(folder);
  if (pattern.empty()) return 0;
  WIN32_FIND_DATAA entry = {};
  ScopedFindHandle listing(platform, platform.FindFirstFileA(pattern.data(), &entry));
  if (!listing) return 0;
  std::uint64_t total = 0;
  do {
    total = AddSaturating(total, SizeOfEntry(platform, paths, entry, guard));
  } while (platform.FindNextFileA(listing.get(), &entry));
  return total;
}

}  // namespace

std::uint64_t GetFolderSize(Platform& platform, std::string_view folder, bool guard) {
  // The search pattern refuses whatever CopyFolderPath would, and more.
  return SizeOfContents(platform, folder, guard);
}

std::uint64_t GetFolderEntrySize(Platform& platform, std::string_view path,
                                 DWORD listedAttributes) {
  char entryPath[MAX_PATH];
  if (!CopyFolderPath(entryPath, path)) return 0;
  return SizeOfListedFolder(platform, std::string_view(entryPath, path.size()), listedAttributes);
}
