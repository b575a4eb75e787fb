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

using folder_walk::CleaningRules;
using folder_walk::HeldPlace;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

// Only the letters A to Z fold; other bytes compare exactly.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Each found, through the held Windows directory, is deleted as itself: the
// very entry listed, whatever its ANSI name spells; those the rules keep stay.
std::uint64_t DeleteWindowsTmpFiles(Platform& platform, const HeldPlace& windows,
                                    const CleaningRules& rules) {
  std::uint64_t freed = 0;
  for (const FoundFile& file : FindWindowsTmpFiles(platform, windows)) {
    const ListedEntry entry = ListedEntryOf(file);
    if (rules.KeepsFile(entry) || !DeleteListedFile(platform, windows.handle.get(), entry))
      continue;
    if (folder_walk::KindOf(entry.attributes) == folder_walk::Kind::kFile) {
      freed = folder_walk::AddSaturating(freed, entry.bytes);
    }
  }
  return freed;
}

// Only the temporary folder's contents go: programs that write to it fail
// when the folder itself is missing.
std::uint64_t PurgeTempFolder(Platform& platform, const CleaningRules& rules) {
  const HeldPlace temp = folder_walk::OpenTempFolder(platform);
  return temp ? PurgeHeldFolder(platform, temp.handle.get(), true, rules) : 0;
}

void DeleteUninstallEntry(Platform& platform, const FoundFile& folder) {
  const std::string keyName = HotfixKeyNameOf(folder);
  if (keyName.empty()) return;
  const ScopedRegKey uninstall = OpenRegKey(platform, HKEY_LOCAL_MACHINE, kUninstallKey);
  if (uninstall) platform.RegDeleteKeyA(uninstall.get(), keyName.c_str());
}

// Each folder is removed as itself (a link as a link) and its uninstall entry
// deleted, whether or not the folder could be removed.
std::uint64_t RemoveHotfixFolders(Platform& platform, const HeldPlace& windows,
                                  const CleaningRules& rules) {
  std::uint64_t freed = 0;
  std::vector<FoundFile> folders;
  ListHotfixFolders(platform, windows, folders);
  for (const FoundFile& folder : folders) {
    freed = folder_walk::AddSaturating(
        freed, RemoveListedFolder(platform, windows.handle.get(), ListedEntryOf(folder),
                                  rules.skipUndeletable));
    DeleteUninstallEntry(platform, folder);
  }
  return freed;
}

}  // namespace

std::int64_t FileTimeNow(Platform& platform) {
  FILETIME clock{};
  platform.GetSystemTimeAsFileTime(&clock);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(clock.dwHighDateTime) << 32) |
                                   clock.dwLowDateTime);
}

CleaningRules RulesOf(const RunSettings& settings, std::int64_t now) {
  return folder_walk::RulesFor(now, settings.keepDays.value, settings.skipUndeletable.value != 0);
}

std::uint64_t ThresholdKB(DWORD limitMB) { return static_cast<std::uint64_t>(limitMB) << 10; }

bool ReachesThreshold(DWORD kilobytes, DWORD limitMB) { return kilobytes >= ThresholdKB(limitMB); }

CleanupOutcome RunCleanup(Platform& platform, DWORD limitMB, const CleaningRules& rules) {
  CleanupOutcome outcome;
  outcome.estimateKB = GetReclaimableKB(platform, rules);
  if (!ReachesThreshold(outcome.estimateKB, limitMB)) return outcome;
  outcome.cleaned = true;
  const HeldPlace windows = folder_walk::OpenWindowsDirectory(platform);
  outcome.freedBytes = DeleteWindowsTmpFiles(platform, windows, rules);
  outcome.freedBytes =
      folder_walk::AddSaturating(outcome.freedBytes, PurgeTempFolder(platform, rules));
  outcome.freedBytes =
      folder_walk::AddSaturating(outcome.freedBytes, RemoveHotfixFolders(platform, windows, rules));
  return outcome;
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
