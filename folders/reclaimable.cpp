#include "folders/reclaimable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "folders/entry_check.h"
#include "folders/folder_size.h"
#include "folders/hotfix_folders.h"
#include "folders/path_buffer.h"
#include "folders/system_folders.h"
#include "folders/tmp_files.h"
#include "search/file_finder.h"

using folder_walk::AddSaturating;
using folder_walk::BuildEntryPath;
using folder_walk::EntryBytes;
using folder_walk::IsFolder;
using folder_walk::IsLink;

namespace {

std::uint64_t TmpFileBytes(const std::vector<FoundFile>& files) {
  std::uint64_t total = 0;
  for (const FoundFile& file : files) {
    const DWORD attributes = file.findData.dwFileAttributes;
    char path[MAX_PATH];
    if (IsFolder(attributes) || IsLink(attributes) ||
        !BuildEntryPath(path, file.strFolder, EntryName(file.findData))) {
      continue;
    }
    total = AddSaturating(total, EntryBytes(file.findData));
  }
  return total;
}

std::uint64_t HotfixFolderBytes(Platform& platform, const std::vector<FoundFile>& folders) {
  std::uint64_t total = 0;
  for (const FoundFile& folder : folders) {
    // The size the cleaning pass names these folders in: one it could not
    // name, it would not remove, so it is not counted either.
    char path[folder_walk::kTempPathSize];
    if (!BuildEntryPath(path, folder.strFolder, EntryName(folder.findData))) continue;
    total =
        AddSaturating(total, GetFolderEntrySize(platform, path, folder.findData.dwFileAttributes));
  }
  return total;
}

}  // namespace

DWORD GetReclaimableKB(Platform& platform) {
  char windows[folder_walk::kWindowsDirectorySize];
  const std::string_view windowsText = folder_walk::FetchWindowsDirectory(platform, windows);
  CFileFinder tmpFinder(platform, WindowsTmpFilesSpec(windowsText));
  if (!windowsText.empty()) tmpFinder.Find();

  std::uint64_t total = 0;
  char temp[folder_walk::kTempPathSize];
  const std::string_view tempText = folder_walk::FetchTempPath(platform, temp);
  if (!tempText.empty()) total = GetFolderSize(platform, tempText, true);

  std::vector<FoundFile> hotfixFolders;
  ListHotfixFolders(platform, hotfixFolders);

  total = AddSaturating(total, TmpFileBytes(tmpFinder.Results()));
  total = AddSaturating(total, HotfixFolderBytes(platform, hotfixFolders));

  const std::uint64_t kilobytes = total / 1024;
  return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes);
}
