#include "app/run_cleanup.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "folders/folder_walk.h"
#include "folders/purge_folder.h"
#include "folders/reclaimable.h"
#include "folders/windows_places.h"
#include "platform/find_data.h"
#include "platform/scoped_handle.h"
#include "search/file_finder.h"

using folder_walk::HeldPlace;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

// Only the letters A to Z fold; other bytes compare exactly.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Each found, through the held Windows directory, is deleted as itself: the
// very entry listed, whatever its ANSI name spells.
void DeleteWindowsTmpFiles(Platform& platform, const HeldPlace& windows) {
  for (const FoundFile& file : FindWindowsTmpFiles(platform, windows)) {
    DeleteListedFile(platform, windows.handle.get(), ListedEntryOf(file));
  }
}

// Only the temporary folder's contents go: programs that write to it fail
// when the folder itself is missing.
void PurgeTempFolder(Platform& platform) {
  if (const HeldPlace temp = folder_walk::OpenTempFolder(platform)) {
    PurgeHeldFolder(platform, temp.handle.get(), true);
  }
}

// A name whose ANSI form is a best fit of its own (the full-width reverse
// solidus U+FF3C read as "\", say) names no hotfix: only one that is the
// same text in both, plain ASCII, gives an entry.
bool IsAsciiName(const FoundFile& folder) {
  const std::string_view ansi = EntryName(folder.findData);
  if (ansi.size() != folder.strName.size()) return false;
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    if (folder.strName[i] >= 0x80 || static_cast<WCHAR>(ansi[i]) != folder.strName[i]) return false;
  }
  return true;
}

void DeleteUninstallEntry(Platform& platform, const FoundFile& folder) {
  if (!IsAsciiName(folder)) return;
  const std::string keyName = HotfixKeyName(std::string(EntryName(folder.findData)));
  if (keyName.empty()) return;
  const ScopedRegKey uninstall = OpenRegKey(platform, HKEY_LOCAL_MACHINE, kUninstallKey);
  if (uninstall) platform.RegDeleteKeyA(uninstall.get(), keyName.c_str());
}

// Each folder is removed as itself (a link as a link) and its uninstall entry
// deleted, whether or not the folder could be removed.
void RemoveHotfixFolders(Platform& platform, const HeldPlace& windows) {
  std::vector<FoundFile> folders;
  ListHotfixFolders(platform, windows, folders);
  for (const FoundFile& folder : folders) {
    RemoveListedFolder(platform, windows.handle.get(), ListedEntryOf(folder));
    DeleteUninstallEntry(platform, folder);
  }
}

}  // namespace

std::uint64_t ThresholdKB(DWORD limitMB) { return static_cast<std::uint64_t>(limitMB) << 10; }

bool ReachesThreshold(DWORD kilobytes, DWORD limitMB) { return kilobytes >= ThresholdKB(limitMB); }

void RunCleanup(Platform& platform, DWORD limitMB) {
  if (!ReachesThreshold(GetReclaimableKB(platform), limitMB)) return;
  const HeldPlace windows = folder_walk::OpenWindowsDirectory(platform);
  DeleteWindowsTmpFiles(platform, windows);
  PurgeTempFolder(platform);
  RemoveHotfixFolders(platform, windows);
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

std::string HotfixKeyNameOf(const FoundFile& folder) {
  const std::string_view ansi = EntryName(folder.findData);
  if (ansi.size() != folder.strName.size()) return {};
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    if (folder.strName[i] >= 0x80 || static_cast<WCHAR>(ansi[i]) != folder.strName[i]) return {};
  }
  return HotfixKeyName(std::string(ansi));
}
