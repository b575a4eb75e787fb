#include "folders/folder_size.h"

#include "folders/entry_check.h"
#include "folders/guid_name.h"
#include "folders/path_buffer.h"
#include "platform/scoped_handle.h"

using folder_walk::AddSaturating;
using folder_walk::BuildEntryPath;
using folder_walk::BuildSearchPattern;
using folder_walk::CopyFolderPath;
using folder_walk::CurrentKind;
using folder_walk::EntryBytes;
using folder_walk::IsFolder;
using folder_walk::IsLink;
using folder_walk::PathKind;

namespace {

std::uint64_t SizeOfContents(Platform& platform, const char* folder, bool guard);

std::uint64_t SizeOfListedFolder(Platform& platform, const char* path, DWORD listedAttributes) {
  if (IsLink(listedAttributes)) return 0;
  if (CurrentKind(platform, path) != PathKind::kPlainFolder) return 0;
  return SizeOfContents(platform, path, false);
}

std::uint64_t SizeOfEntry(Platform& platform, const char* folder, const WIN32_FIND_DATAA& entry,
                          bool guard) {
  const std::string_view name = EntryName(entry);
  if (name.empty() || IsSelfOrParent(name)) return 0;
  // What a purge could not name, it would not delete either.
  char path[MAX_PATH];
  if (!BuildEntryPath(path, folder, name)) return 0;

  const DWORD attributes = entry.dwFileAttributes;
  if (!IsFolder(attributes)) return IsLink(attributes) ? 0 : EntryBytes(entry);
  if (guard && IsGuidShapedName(name)) return 0;
  return SizeOfListedFolder(platform, path, attributes);
}

std::uint64_t SizeOfContents(Platform& platform, const char* folder, bool guard) {
  char pattern[MAX_PATH];
  if (!BuildSearchPattern(pattern, folder)) return 0;
  WIN32_FIND_DATAA entry = {};
  ScopedFindHandle listing(platform, platform.FindFirstFileA(pattern, &entry));
  if (!listing) return 0;
  std::uint64_t total = 0;
  do {
    total = AddSaturating(total, SizeOfEntry(platform, folder, entry, guard));
  } while (platform.FindNextFileA(listing.get(), &entry));
  return total;
}

}  // namespace

std::uint64_t GetFolderSize(Platform& platform, std::string_view folder, bool guard) {
  char path[MAX_PATH];
  if (!CopyFolderPath(path, folder)) return 0;
  return SizeOfContents(platform, path, guard);
}

std::uint64_t GetFolderEntrySize(Platform& platform, std::string_view path,
                                 DWORD listedAttributes) {
  char entryPath[MAX_PATH];
  if (!CopyFolderPath(entryPath, path)) return 0;
  return SizeOfListedFolder(platform, entryPath, listedAttributes);
}
