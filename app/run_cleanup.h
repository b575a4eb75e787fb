// The cleaning pass: compares the reclaimable space with the threshold and,
// when it is reached, deletes what the estimate counted and the uninstall
// entries of the hotfix backup folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "folders/folder_walk.h"
#include "platform/platform.h"
#include "search/file_finder.h"

// What a cleaning pass did.
struct CleanupOutcome {
  DWORD estimateKB = 0;          // the estimate it compared with the threshold
  bool cleaned = false;          // the estimate reached it, and the deletions ran
  std::uint64_t freedBytes = 0;  // what the files it deleted held
};

// Deletes, when the estimate reaches `limitMB` megabytes: the "*.tmp" files
// directly in the Windows directory, the temporary folder's contents (the
// folder itself and the GUID-shaped folders at its top stay) and the hotfix
// backup folders with their uninstall entries; what `rules` keep stays (the
// age rule keeps nothing in the hotfix backup folders, which go whole), and
// the estimate counts exactly what they let go.
CleanupOutcome RunCleanup(Platform& platform, DWORD limitMB,
                          const folder_walk::CleaningRules& rules = {});

// The clock, as file-time ticks (UTC); 0 when it gives nothing.
std::int64_t FileTimeNow(Platform& platform);

// The rules a start at `now` runs with under `settings`.
folder_walk::CleaningRules RulesOf(const RunSettings& settings, std::int64_t now);

// The threshold in kilobytes, reckoned in 64 bits so that a large Limit never
// wraps to a small one, and whether an estimate of `kilobytes` reaches it.
std::uint64_t ThresholdKB(DWORD limitMB);
bool ReachesThreshold(DWORD kilobytes, DWORD limitMB);

// The installed-software list from which hotfix entries are deleted, under
// HKEY_LOCAL_MACHINE.
extern const char kUninstallKey[];  // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"

// Key names are kept to 49 characters, as the entries hotfixes make are short.
constexpr std::size_t kMaxHotfixKeyName = 49;

// The part of `folderName` from its first "KB" (letters in any case) to the
// closing "$" that ends the name, without that "$": $NtUninstallKB123456$
// gives KB123456. The name keeps the folder name's letter case. Empty when
// the name does not end in "$" (dropping another last character would name
// another hotfix: $NtUninstallKB1234567 is not KB123456's folder), when it
// holds no "KB", when the key name would be "KB" or "K" alone (no hotfix's
// entry is named so: $hf_migKB$ must not cost another program its entry), or
// when it would be longer than kMaxHotfixKeyName; an empty result means no
// entry is deleted.
std::string HotfixKeyName(const std::string& folderName);

// The entry that a hotfix backup folder found by ListHotfixFolders costs: the
// HotfixKeyName of its name when that name is the same text in ANSI and in
// UTF-16 (plain ASCII); else none, as a name whose ANSI form is a best fit
// (the full-width reverse solidus U+FF3C read as "\", say) names no hotfix.
std::string HotfixKeyNameOf(const FoundFile& folder);
