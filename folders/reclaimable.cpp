#include "folders/reclaimable.h"

#include <memory>
#include <string_view>
#include <utility>

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

using folder_walk::CopyFolderPath;
using folder_walk::FolderListing;
using folder_walk::Kind;
using folder_walk::KindOf;
using folder_walk::ListedEntry;
using folder_walk::OpenEntry;
using folder_walk::OpenFolder;

namespace {

struct Level {
  Level(Platform& platform, ScopedFileHandle handle)
      : folder(std::move(handle)), listing(platform, folder.get()) {}
  ScopedFileHandle folder;
  FolderListing listing;
};

// A purge walks into a subfolder only when it may remove it after: a
// read-only one it leaves whole.
bool PurgeEnters(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_READONLY) == 0; }

// The bytes of the files in the tree below the folder `top` holds, walked as
// a purge walks it: depth first, through handles, links neither counted nor
// entered, and with `guard` the GUID-shaped folders at the top left out.
std::uint64_t SizeOfTree(Platform& platform, ScopedFileHandle top, bool guard) {
  std::vector<std::unique_ptr<Level>> levels;
  if (top) levels.push_back(std::make_unique<Level>(platform, std::move(top)));
  std::uint64_t total = 0;
  ListedEntry entry;
  while (!levels.empty()) {
    Level& level = *levels.back();
    if (!level.listing.Next(entry)) {
      levels.pop_back();
      continue;
    }
    switch (KindOf(entry.attributes)) {
      case Kind::kFile:
        total = AddSaturating(total, entry.bytes);
        break;
      case Kind::kLink:
        break;
      case Kind::kFolder:
        if (guard && levels.size() == 1 && IsGuidShapedName(entry.ansi)) break;
        if (!PurgeEnters(entry.attributes)) break;
        if (auto sub = OpenEntry(platform, level.folder.get(), entry, FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ);
            sub.handle) {
          levels.push_back(std::make_unique<Level>(platform, std::move(sub.handle)));
        }
        break;
    }
  }
  return total;
}

}  // namespace

std::uint64_t GetFolderSize(Platform& platform, std::string_view folder, bool guard) {
  char path[MAX_PATH];
  if (!CopyFolderPath(path, folder)) return 0;
  return SizeOfTree(platform, OpenFolder(platform, path, 0), guard);
}

std::uint64_t GetFolderEntrySize(Platform& platform, std::string_view path,
                                 DWORD listedAttributes) {
  char entryPath[MAX_PATH];
  if (KindOf(listedAttributes) != Kind::kFolder || !CopyFolderPath(entryPath, path)) return 0;
  ScopedFileHandle folder = OpenFolder(platform, entryPath, 0);
  FILE_BASIC_INFORMATION basic{};
  IO_STATUS_BLOCK io{};
  if (!folder ||
      !NtSuccess(platform.NtQueryInformationFile(folder.get(), &io, &basic, sizeof(basic),
                                                 FileBasicInformation)) ||
      !PurgeEnters(basic.FileAttributes)) {
    return 0;
  }
  return SizeOfTree(platform, std::move(folder), false);
}

std::uint64_t GetListedEntrySize(Platform& platform, HANDLE folder, const ListedEntry& entry) {
  switch (KindOf(entry.attributes)) {
    case Kind::kFile:
      return entry.bytes;
    case Kind::kLink:
      return 0;
    case Kind::kFolder:
      break;
  }
  if (!PurgeEnters(entry.attributes)) return 0;
  auto sub = OpenEntry(platform, folder, entry, FILE_LIST_DIRECTORY, FILE_SHARE_READ);
  return SizeOfTree(platform, std::move(sub.handle), false);
}
