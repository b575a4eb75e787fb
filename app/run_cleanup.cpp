#include "app/run_cleanup.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "folders/folder_walk.h"
#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "folders/windows_places.h"
#include "platform/scoped_handle.h"
#include "search/file_finder.h"

using folder_walk::BuildEntryPath;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

// Only the letters A to Z fold; other bytes compare exactly.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void DeleteWindowsTmpFiles(Platform& platform) {
  char windows[folder_walk::kWindowsDirectorySize];
  const std::string_view windowsText = folder_walk::FetchWindowsDirectory(platform, windows);
  if (windowsText.empty()) return;
  CFileFinder finder(platform, WindowsTmpFilesSpec(windowsText));
  finder.Find();
  for (const FoundFile& file : finder.Results()) {
    char path[MAX_PATH];
    if (!BuildEntryPath(path, file.strFolder, EntryName(file.findData))) continue;
    // A link's attributes may be its target's to change; only a plain
    // read-only file is made writable.
    const DWORD attributes = platform.GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        !folder_walk::IsLink(attributes) && !folder_walk::IsFolder(attributes)) {
      platform.SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    }
    platform.DeleteFileA(path);
  }
}

// Only the temporary folder's contents go: programs that write to it fail
// when the folder itself is missing.
void PurgeTempFolder(Platform& platform) {
  char temp[folder_walk::kTempPathSize];
  std::string_view tempText = folder_walk::FetchTempPath(platform, temp);
  if (tempText.empty()) return;
  if (tempText.back() == '\\') tempText.remove_suffix(1);
  PurgeFolderContents(platform, tempText, true);
}

void DeleteUninstallEntry(Platform& platform, std::string_view folderName) {
  const std::string keyName = HotfixKeyName(std::string(folderName));
  if (keyName.empty()) return;
  const ScopedRegKey uninstall = OpenRegKey(platform, HKEY_LOCAL_MACHINE, kUninstallKey);
  if (uninstall) platform.RegDeleteKeyA(uninstall.get(), keyName.c_str());
}

// Each folder is removed (a link as a link) and its uninstall entry deleted,
// whether or not the folder could be removed.
void RemoveHotfixFolders(Platform& platform) {
  std::vector<FoundFile> folders;
  ListHotfixFolders(platform, folders);
  for (const FoundFile& folder : folders) {
    const std::string_view name = EntryName(folder.findData);
    char path[folder_walk::kTempPathSize];
    if (!BuildEntryPath(path, folder.strFolder, name)) continue;
    RemoveFolderEntry(platform, path, folder.findData.dwFileAttributes);
    DeleteUninstallEntry(platform, name);
  }
}

}  // namespace

std::uint64_t ThresholdKB(DWORD limitMB) { return static_cast<std::uint64_t>(limitMB) << 10; }

bool ReachesThreshold(DWORD kilobytes, DWORD limitMB) { return kilobytes >= ThresholdKB(limitMB); }

void RunCleanup(Platform& platform, DWORD limitMB) {
  if (!ReachesThreshold(GetReclaimableKB(platform), limitMB)) return;
  DeleteWindowsTmpFiles(platform);
  PurgeTempFolder(platform);
  RemoveHotfixFolders(platform);
}

std::string HotfixKeyName(const std::string& folderName) {
  if (folderName.empty() || folderName.back() != '$') return {};
  for (std::size_t i = 0; i + 1 < folderName.size(); ++i) {
    if (UpperAscii(folderName[i]) == 'K' && UpperAscii(folderName[i + 1]) == 'B') {
      const std::size_t length = folderName.size() - i - 1;
      if (length <= 2 || length > kMaxHotfixKeyName) return {};
      return folderName.substr(i, length);
    }
  }
  return {};
}
