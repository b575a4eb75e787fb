#include "preview/preview_report.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "app/run_cleanup.h"
#include "folders/folder_walk.h"
#include "folders/reclaimable.h"
#include "folders/windows_places.h"
#include "platform/find_data.h"
#include "platform/scoped_handle.h"

using folder_walk::BuildEntryPath;
using folder_walk::IsFolder;
using folder_walk::IsLink;

namespace {

// The estimate walks the temporary folder by its text as fetched, trailing
// backslash included, and the purge by that text without it; each entry is
// sized under the estimate's path, so the items add up to its term exactly.
std::uint64_t CountedBytes(Platform& platform, std::string_view estimateFolder,
                           const WIN32_FIND_DATAA& entry, bool kept) {
  char path[MAX_PATH];
  if (kept || !BuildEntryPath(path, estimateFolder, EntryName(entry))) return 0;
  const DWORD attributes = entry.dwFileAttributes;
  if (!IsFolder(attributes)) return IsLink(attributes) ? 0 : folder_walk::EntryBytes(entry);
  return GetFolderEntrySize(platform, path, attributes);
}

PreviewEntryKind KindOf(DWORD attributes) {
  if (IsLink(attributes)) return PreviewEntryKind::kLink;
  return IsFolder(attributes) ? PreviewEntryKind::kFolder : PreviewEntryKind::kFile;
}

// Appends one item per top-level entry of the temporary folder that the pass
// would reach: files and links to delete, folders to delete with their trees,
// and the GUID-shaped folders it keeps. Entries whose path the pass could not
// build are left out, as the pass leaves them alone. Nothing is appended when
// the temporary folder cannot be had or listed.
void AddTempFolderItems(Platform& platform, std::vector<PreviewItem>& items) {
  char temp[folder_walk::kTempPathSize];
  const std::string_view estimateFolder = folder_walk::FetchTempPath(platform, temp);
  if (estimateFolder.empty()) return;
  std::string_view purgeFolder = estimateFolder;
  if (purgeFolder.back() == '\\') purgeFolder.remove_suffix(1);

  char pattern[MAX_PATH];
  if (!folder_walk::BuildSearchPattern(pattern, purgeFolder)) return;
  WIN32_FIND_DATAA entry = {};
  ScopedFindHandle listing(platform, platform.FindFirstFileA(pattern, &entry));
  if (!listing) return;
  do {
    const std::string_view name = EntryName(entry);
    char path[MAX_PATH];
    if (name.empty() || IsSelfOrParent(name) || !BuildEntryPath(path, purgeFolder, name)) {
      continue;
    }
    PreviewItem item;
    item.step = PreviewStep::kTempFolderEntry;
    item.kind = KindOf(entry.dwFileAttributes);
    // Only folders are spared for their names, links to folders included.
    const bool kept = IsFolder(entry.dwFileAttributes) && IsGuidShapedName(name);
    item.action = kept ? PreviewAction::kKeep : PreviewAction::kDelete;
    item.path = path;
    item.bytes = CountedBytes(platform, estimateFolder, entry, kept);
    items.push_back(std::move(item));
  } while (platform.FindNextFileA(listing.get(), &entry));
}

// Opens the entry the way the pass opens the list before deleting from it.
UninstallState CheckUninstallEntry(Platform& platform, const std::string& keyName) {
  const ScopedRegKey list = OpenRegKey(platform, HKEY_LOCAL_MACHINE, kUninstallKey);
  if (!list) return UninstallState::kUnavailable;
  LSTATUS status = ERROR_SUCCESS;
  if (OpenRegKey(platform, list.get(), keyName.c_str(), &status)) return UninstallState::kPresent;
  return status == ERROR_FILE_NOT_FOUND ? UninstallState::kAbsent : UninstallState::kUnknown;
}

PreviewGate ReadGate(Platform& platform) {
  PreviewGate gate;
  SYSTEMTIME now{};
  platform.GetLocalTime(&now);
  gate.today = FormatRunDate(now);
  gate.settings = ReadGateSettings(platform);
  gate.startToday = PeekRunGate(gate.settings, gate.today, 0);
  return gate;
}

PreviewEstimate Estimate(Platform& platform, const ReclaimableTerms& terms, DWORD limitMB) {
  PreviewEstimate estimate;
  char windows[folder_walk::kWindowsDirectorySize];
  estimate.windowsDirectory = std::string(folder_walk::FetchWindowsDirectory(platform, windows));
  char temp[folder_walk::kTempPathSize];
  estimate.tempFolder = std::string(folder_walk::FetchTempPath(platform, temp));
  estimate.tmpFileBytes = terms.tmpFileBytes;
  estimate.tempFolderBytes = terms.tempFolderBytes;
  estimate.hotfixFolderBytes = terms.hotfixFolderBytes;
  for (const CountedEntry& folder : terms.hotfixFolders) {
    estimate.hotfixFolders.push_back({folder.path, folder.bytes});
  }
  estimate.kilobytes = KilobytesOf(TotalBytes(terms));
  estimate.limitMB = limitMB;
  estimate.thresholdKB = ThresholdKB(limitMB);
  estimate.cleans = ReachesThreshold(estimate.kilobytes, limitMB);
  return estimate;
}

PreviewItem TmpFileItem(const CountedEntry& file) {
  PreviewItem item;
  item.step = PreviewStep::kWindowsTmpFile;
  item.kind = folder_walk::IsLink(file.found.findData.dwFileAttributes) ? PreviewEntryKind::kLink
                                                                        : PreviewEntryKind::kFile;
  item.path = file.path;
  item.bytes = file.bytes;
  return item;
}

PreviewItem HotfixFolderItem(Platform& platform, const CountedEntry& folder) {
  PreviewItem item;
  item.step = PreviewStep::kHotfixFolder;
  item.kind = folder_walk::IsLink(folder.found.findData.dwFileAttributes)
                  ? PreviewEntryKind::kLink
                  : PreviewEntryKind::kFolder;
  item.path = folder.path;
  item.bytes = folder.bytes;
  const std::string keyName = HotfixKeyName(std::string(EntryName(folder.found.findData)));
  if (!keyName.empty()) {
    item.uninstallKey = std::string(kUninstallKey) + "\\" + keyName;
    item.uninstall = CheckUninstallEntry(platform, keyName);
  }
  return item;
}

}  // namespace

PreviewReport BuildPreviewReport(Platform& platform) {
  PreviewReport report;
  report.gate = ReadGate(platform);
  const ReclaimableTerms terms = GetReclaimableTerms(platform);
  report.estimate = Estimate(platform, terms, report.gate.startToday.limitMB);

  for (const CountedEntry& file : terms.tmpFiles) report.items.push_back(TmpFileItem(file));
  AddTempFolderItems(platform, report.items);
  for (const CountedEntry& folder : terms.hotfixFolders) {
    report.items.push_back(HotfixFolderItem(platform, folder));
  }
  return report;
}

PreviewEstimate BuildPreviewEstimate(Platform& platform) {
  const DWORD limitMB = ReadGate(platform).startToday.limitMB;
  return Estimate(platform, GetReclaimableTerms(platform), limitMB);
}
