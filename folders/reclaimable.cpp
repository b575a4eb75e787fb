#include "folders/reclaimable.h"

#include <string_view>

#include "folders/folder_walk.h"
#include "folders/windows_places.h"
#include "platform/scoped_handle.h"

using folder_walk::AddSaturating;
using folder_walk::BuildEntryPath;
using folder_walk::EntryBytes;
using folder_walk::IsFolder;
using folder_walk::IsLink;

namespace {

// What the cleaning pass does not need from the estimate, the entries behind
// the sums, is kept only for a caller that shows them.
enum class Entries { kKeep, kDrop };

void CountTmpFiles(const std::vector<FoundFile>& files, Entries entries, ReclaimableTerms& terms) {
  for (const FoundFile& file : files) {
    // The cleaning pass names these files in MAX_PATH bytes: one it could not
    // name, it would not delete, so it is not counted either.
    char path[MAX_PATH];
    if (!BuildEntryPath(path, file.strFolder, EntryName(file.findData))) continue;
    const DWORD attributes = file.findData.dwFileAttributes;
    const std::uint64_t bytes =
        IsFolder(attributes) || IsLink(attributes) ? 0 : EntryBytes(file.findData);
    if (entries == Entries::kKeep) terms.tmpFiles.push_back({file, path, bytes});
    terms.tmpFileBytes = AddSaturating(terms.tmpFileBytes, bytes);
  }
}

void CountHotfixFolders(Platform& platform, const std::vector<FoundFile>& folders, Entries entries,
                        ReclaimableTerms& terms) {
  for (const FoundFile& folder : folders) {
    // The size the cleaning pass names these folders in: one it could not
    // name, it would not remove, so it is not counted either.
    char path[folder_walk::kTempPathSize];
    if (!BuildEntryPath(path, folder.strFolder, EntryName(folder.findData))) continue;
    const std::uint64_t bytes =
        GetFolderEntrySize(platform, path, folder.findData.dwFileAttributes);
    if (entries == Entries::kKeep) terms.hotfixFolders.push_back({folder, path, bytes});
    terms.hotfixFolderBytes = AddSaturating(terms.hotfixFolderBytes, bytes);
  }
}

// The "*.tmp" search's results are counted as soon as it ends, so that they are
// gone before the long walk of the temporary folder.
void CountWindowsTmpFiles(Platform& platform, Entries entries, ReclaimableTerms& terms) {
  char windows[folder_walk::kWindowsDirectorySize];
  const std::string_view windowsText = folder_walk::FetchWindowsDirectory(platform, windows);
  CFileFinder tmpFinder(platform, WindowsTmpFilesSpec(windowsText));
  if (!windowsText.empty()) tmpFinder.Find();
  CountTmpFiles(tmpFinder.Results(), entries, terms);
}

ReclaimableTerms SumTerms(Platform& platform, Entries entries) {
  ReclaimableTerms terms;
  CountWindowsTmpFiles(platform, entries, terms);

  char temp[folder_walk::kTempPathSize];
  const std::string_view tempText = folder_walk::FetchTempPath(platform, temp);
  if (!tempText.empty()) terms.tempFolderBytes = GetFolderSize(platform, tempText, true);

  std::vector<FoundFile> hotfixFolders;
  ListHotfixFolders(platform, hotfixFolders);
  CountHotfixFolders(platform, hotfixFolders, entries, terms);
  return terms;
}

}  // namespace

ReclaimableTerms GetReclaimableTerms(Platform& platform) {
  return SumTerms(platform, Entries::kKeep);
}

std::uint64_t TotalBytes(const ReclaimableTerms& terms) {
  return AddSaturating(AddSaturating(terms.tempFolderBytes, terms.tmpFileBytes),
                       terms.hotfixFolderBytes);
}

DWORD KilobytesOf(std::uint64_t bytes) {
  const std::uint64_t kilobytes = bytes / 1024;
  return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes);
}

DWORD GetReclaimableKB(Platform& platform) {
  return KilobytesOf(TotalBytes(SumTerms(platform, Entries::kDrop)));
}

// ---- The size of one folder's tree ----

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
